// Files in use: a target that cannot be opened for writing gets its content
// in a temporary file qrv*.TMP beside it, and the exchange is recorded for
// the next start of Windows, in QrvInit.Ini (completed by the product's
// companion library) or, failing that, in wininit.ini's [rename] section
// (completed by Windows itself). The run keeps how its last exchange was
// recorded, so that a file whose content is not whole takes it back.
//
// Rules of our own where the machine is unusual:
//  - When QrvInit.Ini cannot be written, the line added to wininit.ini's
//    [rename] section is "<short target>=<short temporary>": Windows then
//    puts the new content in the target's place at its next start. A
//    "NUL=<target>" line would only delete the target and leave the new
//    content in the temporary file, so the product would lose that file.
//  - A temporary file whose exchange cannot be recorded anywhere is closed
//    and deleted again, and a wininit.ini [rename] section too long for its
//    32,767-character buffer is not written back cut short.
//  - A temporary file whose exchange was recorded but whose content could
//    not be written whole is taken back: its QrvInit.Ini pair (or wininit.ini
//    line) is removed and the file deleted, so that the next start does not
//    put an incomplete file in place of a good one.
//  - A target in a drive root gets its temporary file in that root.
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <memory>
#include <new>

#include "filemanager/EngineRun.h"
#include "win32/Ownership.h"

namespace {

// The number of the process's last exchange: the rename file's keys go on
// from one engine and run to the next and are never reused in a process.
// Not a run's: every run of the process shares it.
std::atomic<unsigned int> exchangeCounter(0);

// wininit.ini's [rename] section is read whole into a buffer of this size.
const DWORD kSectionCapacity = 32767;

}  // namespace

// Takes back the exchange recorded for `temporaryName` (closed already) and
// deletes the file: its content is incomplete, or its run is undone.
void takeBackExchange(RecordedExchange& recorded, char* temporaryName) {
    if (recorded.kind == RecordedExchange::RenameFile) {
        char key[32];
        snprintf(key, sizeof key, "TempName%u", recorded.number);
        WritePrivateProfileStringA("", key, nullptr, recorded.renameFile);
        snprintf(key, sizeof key, "RealName%u", recorded.number);
        WritePrivateProfileStringA("", key, nullptr, recorded.renameFile);
    } else if (recorded.kind == RecordedExchange::Wininit) {
        std::unique_ptr<char[]> section(new (std::nothrow) char[kSectionCapacity]);
        if (section) {
            DWORD used = GetPrivateProfileSectionA("rename", section.get(), kSectionCapacity,
                                                   "wininit.ini");
            if (used < kSectionCapacity - 2 && removeSectionLine(section.get(), recorded.line))
                WritePrivateProfileSectionA("rename", section.get(), "wininit.ini");
        }
    }
    recorded.kind = RecordedExchange::None;
    DeleteFileA(temporaryName);
    temporaryName[0] = '\0';
}

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
    if (!windowsDirectory(renameFile) || !appendName(renameFile, "QrvInit.Ini"))
        return INVALID_HANDLE_VALUE;
    unsigned int n = ++exchangeCounter;
    char tempKey[32];
    char realKey[32];
    snprintf(tempKey, sizeof tempKey, "TempName%u", n);
    snprintf(realKey, sizeof realKey, "RealName%u", n);

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

    if (WritePrivateProfileStringA("", tempKey, temporaryName, renameFile) &&
        WritePrivateProfileStringA("", realKey, target, renameFile)) {
        recorded.kind = RecordedExchange::RenameFile;
        recorded.number = n;
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

    std::unique_ptr<char[]> section(new (std::nothrow) char[kSectionCapacity]);
    if (!section)
        return abandon();
    DWORD used = GetPrivateProfileSectionA("rename", section.get(), kSectionCapacity, "wininit.ini");
    // A section that filled the buffer was cut: writing it back would lose lines.
    if (used >= kSectionCapacity - 2 ||
        !appendSectionLine(section.get(), kSectionCapacity, used, line))
        return abandon();
    WritePrivateProfileSectionA("rename", section.get(), "wininit.ini");
    recorded.kind = RecordedExchange::Wininit;
    memcpy(recorded.line, line, sizeof line);
    return file.release();
}
