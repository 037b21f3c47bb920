// The records of Install.log and the temporary files they name; see
// InstallLog.h.
#include "format/InstallLog.h"

#include <string.h>

#include "common/AsciiCase.h"
#include "common/PathText.h"
#include "format/Records.h"
#include "format/VolumeFormat.h"

const char kInstallLogName[] = "Install.log";

bool stampTemporaryName(tagCompressFileHeader& record, const char* temporaryPath) {
    const char* name = namePart(temporaryPath);
    size_t n = strlen(name);
    if (n >= sizeof record.fileName)
        return false;
    memcpy(record.fileName, name, n + 1);
    return true;
}

size_t protocolRecords(const tagCompressFileHeader& record, const char* temporaryName,
                       tagCompressFileHeader out[2]) {
    out[0] = record;
    if (!temporaryName[0])
        return 1;
    out[1] = record;
    // A temporary name is a short generated one: it always fits the field.
    stampTemporaryName(out[1], temporaryName);
    return 2;
}

bool temporaryFolder(char* folder, const char* target, size_t size) {
    const char* slash = strrchr(target, '\\');
    if (!slash)
        return false;
    size_t length = static_cast<size_t>(slash - target);
    // "X:" before the backslash is a drive: its root keeps the backslash.
    if (length == 2 && target[1] == ':')
        ++length;
    if (length >= size)
        return false;
    memcpy(folder, target, length);
    folder[length] = '\0';
    return true;
}

bool isTemporaryFileName(const char* name) {
    size_t n = strlen(name);
    if (n < 8 || n > 11 || !equalsAsciiNoCase(name, 3, "qrv") || !equalsAsciiNoCase(name + n - 4, 4, ".tmp"))
        return false;
    for (size_t i = 3; i < n - 4; ++i)
        if (!strchr("0123456789abcdefABCDEF", name[i]))
            return false;
    return true;
}

bool followsAsTemporary(const unsigned char* previous, const unsigned char* record,
                        const tagCompressFileHeader& parsed) {
    return memcmp(previous, record, offsetof(tagCompressFileHeader, fileName)) == 0 &&
           isTemporaryFileName(parsed.fileName);
}

const char* logRecordFault(const unsigned char* raw, tagCompressFileHeader* record) {
    if (!parseRecord(raw, record))
        return "a name is not terminated";
    if (record->fileName[0] == '\0')
        return "a file without a name";
    if (record->targetDir < 0 || record->targetDir >= TargetDirCount)
        return "an unknown target folder";
    if (!recordNamesSafe(*record))
        return "a name climbs out of its folder or names a device";
    return nullptr;
}
