// The rename file's names and numbering; see RenameFile.h.
#include "format/RenameFile.h"

#include <stdio.h>
#include <string.h>

#include "format/RecordNames.h"

const char kRenameFileName[] = "QrvInit.Ini";
const char kRenameSection[] = "";
const char kTemporaryKeyPrefix[] = "TempName";
const char kRealKeyPrefix[] = "RealName";
const char kRenameFileMutex[] = "SetupDll.QrvInit.Ini";

//   true   a key of `prefix` with 1 to kExchangeNumberDigits digits
//   false  anything else
bool exchangeKeyNumber(const char* key, size_t length, const char* prefix, unsigned long* number) {
    size_t n = strlen(prefix);
    if (length <= n || length > n + kExchangeNumberDigits)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (foldNameByte(key[i]) != foldNameByte(prefix[i]))
            return false;
    unsigned long value = 0;
    for (size_t i = n; i < length; ++i) {
        if (key[i] < '0' || key[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(key[i] - '0');
    }
    *number = value;
    return true;
}

//   highest + 1   the number of the new pair (1 without pairs)
//   0             the highest is the largest number of kExchangeNumberDigits digits
unsigned long nextExchangeNumber(const char* keyList, size_t used) {
    unsigned long highest = 0;
    for (size_t at = 0; at < used && keyList[at];) {
        size_t length = strnlen(keyList + at, used - at);
        unsigned long n = 0;
        if ((exchangeKeyNumber(keyList + at, length, kTemporaryKeyPrefix, &n) ||
             exchangeKeyNumber(keyList + at, length, kRealKeyPrefix, &n)) &&
            n > highest)
            highest = n;
        at += length + 1;
    }
    return highest >= 999999999ul ? 0 : highest + 1;
}

void exchangeKeys(unsigned long n, char* temporaryKey, char* realKey) {
    snprintf(temporaryKey, kExchangeKeySize, "%s%lu", kTemporaryKeyPrefix, n);
    snprintf(realKey, kExchangeKeySize, "%s%lu", kRealKeyPrefix, n);
}
