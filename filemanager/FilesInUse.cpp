// Files in use: a target that cannot be opened for writing gets its content
// in a temporary file qrv*.TMP beside it, and the exchange is recorded for
// the next start of Windows, in QrvInit.Ini (completed by the product's
// companion library) or, failing that, in wininit.ini's [rename] section
// (completed by Windows itself). The run keeps how its last exchange was
// recorded, so that a file whose content is not whole takes it back.
//
// Rules of our own where the machine is unusual:
//  - A new pair takes the number after the highest already in QrvInit.Ini,
//    not the next of a count kept by the process: another setup run before
//    the restart (another product, or this one again) keeps its pairs.
//  - When QrvInit.Ini cannot be written, the line added to wininit.ini's
//    [rename] section is "<short target>=<short temporary>": Windows then
//    puts the new content in the target's place at its next start. A
//    "NUL=<target>" line would only delete the target and leave the new
//    content in the temporary file, so the product would lose that file.
//  - A temporary file whose exchange cannot be recorded anywhere (wininit.ini
//    refused too) is closed and deleted again, and a wininit.ini [rename]
//    section too long for its 32,767-character buffer is not written back
//    cut short.
//  - A temporary file whose exchange was recorded but whose content could
//    not be written whole is taken back: its QrvInit.Ini pair (or wininit.ini
//    line) is removed and the file deleted, so that the next start does not
//    put an incomplete file in place of a good one.
//  - A target in a drive root gets its temporary file in that root.
#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>

#include "filemanager/EngineRun.h"
#include "format/RenameFile.h"
#include "win32/Ownership.h"

namespace {

// The key names of QrvInit.Ini's section are read whole into a buffer of
// this size: some 5,000 pairs.
const DWORD kKeyListCapacity = 65536;

// Writes the pair temporaryName / target into `renameFile` under the number
// after the highest there: pairs of earlier runs, of this setup or another,
// wait there for the restart that completes them and must survive. Choosing
// the number and writing both keys is one step under the rename file's
// mutex.
//   true   both keys written; *number is theirs
//   false  the keys could not be read or written (no half pair is left)
bool recordPair(const char* renameFile, const char* temporaryName, const char* target,
                unsigned long* number) {
    win32::NamedMutexLock lock(kRenameFileMutex, kRenameFileWait);
    std::unique_ptr<char[]> keys(new (std::nothrow) char[kKeyListCapacity]);
    if (!keys)
        return false;
    DWORD used = GetPrivateProfileStringA(kRenameSection, nullptr, "", keys.get(), kKeyListCapacity, renameFile);
    // A list that filled the buffer was cut: its highest number is unknown.
    if (used >= kKeyListCapacity - 2)
        return false;
    unsigned long n = nextExchangeNumber(keys.get(), used);
    if (n == 0)
        return false;
    char temporaryKey[kExchangeKeySize];
    char realKey[kExchangeKeySize];
    exchangeKeys(n, temporaryKey, realKey);
    if (!WritePrivateProfileStringA(kRenameSection, temporaryKey, temporaryName, renameFile))
        return false;
    if (!WritePrivateProfileStringA(kRenameSection, realKey, target, renameFile)) {
        WritePrivateProfileStringA(kRenameSection, temporaryKey, nullptr, renameFile);
        return false;
    }
    *number = n;
    return true;
}

}  // namespace

// The target opened for writing (temporaryName ""), or a new qrv*.TMP beside
// it (temporaryName its full path) recorded for the next start of Windows, or
// INVALID_HANDLE_VALUE when neither can be had. The caller reports failures.
// How the exchange was recorded goes to the engine's run, when it has one.
HANDLE SetupFileManager::ExchFilePrepare(const char* target, char* temporaryName) {
    temporaryName[0] = '\0';
    RecordedExchange unused;
    EngineRun* run = EngineRun::of(*this);
    RecordedExchange& recorded = run ? run->lastExchange : unused;
    recorded.kind = RecordedExchange::None;
    win32::FileHandle direct(createForWriting(target));
    if (direct.valid())
        return direct.release();

    // In use, or refused: write beside it and swap at the next start.
    rebootFlag = 1;
    char renameFile[PathSize];
    if (!windowsDirectory(renameFile) || !appendName(renameFile, kRenameFileName))
        return INVALID_HANDLE_VALUE;

    char directory[PathSize];
    if (!temporaryFolder(directory, target))
        return INVALID_HANDLE_VALUE;
    if (!GetTempFileNameA(directory, "qrv", 0, temporaryName)) {
        temporaryName[0] = '\0';
        return INVALID_HANDLE_VALUE;
    }
    win32::FileHandle file(createForWriting(temporaryName));
    // Undoes the temporary file when the exchange cannot be recorded.
    auto abandon = [&]() {
        file.reset();
        DeleteFileA(temporaryName);
        temporaryName[0] = '\0';
        return INVALID_HANDLE_VALUE;
    };
    if (!file.valid())
        return abandon();

    unsigned long number = 0;
    if (recordPair(renameFile, temporaryName, target, &number)) {
        recorded.kind = RecordedExchange::RenameFile;
        recorded.number = static_cast<unsigned int>(number);
        memcpy(recorded.renameFile, renameFile, sizeof renameFile);
        return file.release();
    }

    // QrvInit.Ini refused: have Windows itself put the temporary file in
    // the target's place at its next start. Its [rename] section takes
    // short paths only, the name to be first.
    char shortTarget[PathSize];
    char shortTemporary[PathSize];
    DWORD length = GetShortPathNameA(target, shortTarget, PathSize);
    if (length == 0 || length >= PathSize)
        return abandon();
    length = GetShortPathNameA(temporaryName, shortTemporary, PathSize);
    if (length == 0 || length >= PathSize)
        return abandon();
    char line[kRenameLineSize];
    if (!wininitRenameLine(line, shortTarget, shortTemporary))
        return abandon();

    std::unique_ptr<char[]> section(new (std::nothrow) char[kWininitSectionCapacity]);
    if (!section)
        return abandon();
    DWORD used = GetPrivateProfileSectionA("rename", section.get(), kWininitSectionCapacity, "wininit.ini");
    // A section that filled the buffer was cut: writing it back would lose lines.
    if (used >= kWininitSectionCapacity - 2 ||
        !appendSectionLine(section.get(), kWininitSectionCapacity, used, line))
        return abandon();
    if (!WritePrivateProfileSectionA("rename", section.get(), "wininit.ini"))
        return abandon();
    recorded.kind = RecordedExchange::Wininit;
    memcpy(recorded.line, line, sizeof line);
    return file.release();
}
