// Completing the exchange of files that were in use; see ExchangeCompleter.h.
#include "ExchangeCompleter.h"

#include <windows.h>

#include <string.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Setup.h"
#include "common/PathText.h"
#include "format/RenameFile.h"
#include "tools/companion/ExchangeRules.h"
#include "win32/Ownership.h"

namespace {

// Far more than the engine's key names of one rename file can take.
const DWORD kKeyListSize = 65536;

// The section's keys and values; empty when the file has none.
std::vector<ProfileEntry> readSection(const char* file) {
    std::vector<ProfileEntry> out;
    std::unique_ptr<char[]> keys(new (std::nothrow) char[kKeyListSize]);
    if (!keys)
        return out;
    // Without a key name the call lists the section's keys, each terminated.
    DWORD used = GetPrivateProfileStringA(kRenameSection, nullptr, "", keys.get(), kKeyListSize, file);
    for (const char* key = keys.get(); key < keys.get() + used && *key; key += strlen(key) + 1) {
        char value[2 * PathSize] = "";
        GetPrivateProfileStringA(kRenameSection, key, "", value, sizeof value, file);
        out.push_back({key, value});
    }
    return out;
}

void removePair(const ExchangePair& pair, const char* file) {
    char temporaryKey[kExchangeKeySize];
    char realKey[kExchangeKeySize];
    exchangeKeys(pair.number, temporaryKey, realKey);
    WritePrivateProfileStringA(kRenameSection, temporaryKey, nullptr, file);
    WritePrivateProfileStringA(kRenameSection, realKey, nullptr, file);
}

}  // namespace

ExchangeCompletion completeExchanges(const char* renameFile) {
    ExchangeCompletion done;
    char path[PathSize];
    if (renameFile) {
        if (!copyPath(path, renameFile))
            return done;
    } else {
        UINT n = GetWindowsDirectoryA(path, PathSize);
        if (n == 0 || n >= PathSize || !appendName(path, kRenameFileName))
            return done;
    }
    if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return done;

    // A setup recording a pair meanwhile would lose it to our rewrite.
    win32::NamedMutexLock lock(kRenameFileMutex, kRenameFileWait);

    for (const ExchangePair& pair : exchangePairs(readSection(path))) {
        if (checkPair(pair) != PairFault::None) {
            ++done.left;
            continue;
        }
        DWORD attributes = GetFileAttributesA(pair.temporary.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                // Done by an earlier start, or removed since: nothing left to exchange.
                removePair(pair, path);
                ++done.stale;
            } else {
                ++done.left;
            }
            continue;
        }
        if (MoveFileExA(pair.temporary.c_str(), pair.real.c_str(),
                        MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
            removePair(pair, path);
            ++done.registered;
        } else {
            ++done.left;
        }
    }
    return done;
}
