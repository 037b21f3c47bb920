// A run over an earlier installation: with transactions, the earlier
// Install.log (moved aside when the run's journal started) is carried over
// into the new one, and the earlier files the new set no longer ships are
// removed, each through the journal, so that a run that does not complete
// puts them back with their bytes, times and attributes. The decisions are
// UpgradeRules'; this file reads the earlier log, looks at the files and
// acts. Without transactions a run replaces the earlier log as it always
// did, and removes nothing.
//
// Rules of our own:
//  - An earlier log the engine could not have written (its length, a
//    damaged record) is replaced as before: nothing carried over or removed.
//  - A file no longer shipped that is not there any more is dropped from
//    the log; one that cannot be moved (in use, no rights) stays listed.
//  - Folders are removed only after the commit, and only when the removed
//    files left them empty; the installation folder itself stays.
#include <string.h>

#include <new>
#include <string>

#include "baseinterface/DiagnosticLog.h"
#include "filemanager/EngineRun.h"
#include "filemanager/UpgradeRules.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"
#include "resources/resource.h"
#include "win32/CodePage.h"
#include "win32/Ownership.h"

namespace {

// An Install.log lists each file once per install; far below this.
const size_t kLargestLog = 256 * 1024 * 1024;

// Moves `path` aside under the journal (it comes back unless the run
// commits). False when it stays where it is.
bool removeJournalled(EngineRun& run, const char* path, DWORD attributes) {
    char aside[PathSize];
    return sideFileName(aside, sizeof aside, path, 'a', GetCurrentProcessId(), ++run.sideFiles) &&
           run.journal.record(JournalEntry{JournalKind::Remove, path, "", aside, attributes}, true) &&
           MoveFileA(path, aside);
}

// What becomes of a file no longer shipped, at `path`: true when it is gone
// (removed now, or gone already), false when it stays listed. Both are
// logged, a file that stays with why.
bool removeIfUnchanged(EngineRun& run, const tagCompressFileHeader& record, const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        bool gone = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        if (!gone)
            logEvent(LogEarlierFileKept, path, "", error, 0, "cannot be looked at");
        return gone;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        logEvent(LogEarlierFileKept, path, "", 0, 0, "a folder stands in its place");
        return false;
    }
    uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    uint64_t time = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime;
    if (!unchangedSince(record, size, time)) {
        logEvent(LogEarlierFileKept, path, "", 0, 0, "changed since it was installed");
        return false;
    }
    if (!removeJournalled(run, path, data.dwFileAttributes)) {
        logEvent(LogEarlierFileKept, path, "", GetLastError(), 0, "cannot be moved");
        return false;
    }
    logEvent(LogEarlierFileRemoved, path);
    char folder[PathSize];
    if (copyPath(folder, path) && cutAtLastBackslash(folder)) {
        try {
            run.emptied.insert(folder);
        } catch (const std::bad_alloc&) {
        }
    }
    return true;
}

void note(EngineRun& run, std::unordered_set<std::string>& keys, const tagCompressFileHeader& record) {
    if (!run.journal.isOpen() || !run.earlierLog[0])
        return;
    try {
        keys.insert(installedFileKey(record));
    } catch (const std::bad_alloc&) {
        // Without its key a file is not removed, only carried over.
    }
}

}  // namespace

void noteShipped(EngineRun& run, const tagCompressFileHeader& record) { note(run, run.shipped, record); }

void noteWritten(EngineRun& run, const tagCompressFileHeader& record) { note(run, run.written, record); }

//   StepContinue  carried over (or nothing to carry: no earlier log, no
//                 journal, a log the engine could not have written)
//   StepFailure   the new log cannot take the records (11119 shown)
StepResult carryOverEarlierLog(SetupFileManager& engine, const char* installDir) {
    EngineRun* run = EngineRun::of(engine);
    if (!run || !run->journal.isOpen() || !run->earlierLog[0])
        return StepContinue;
    std::string earlier, carried;
    UpgradePlan plan;
    try {
        win32::FileHandle file(CreateFileA(run->earlierLog, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        run->earlierLog[0] = '\0';
        if (!file.valid() || !readWholeFile(file.get(), kLargestLog, &earlier))
            return StepContinue;
        const unsigned char* log = reinterpret_cast<const unsigned char*>(earlier.data());
        plan = planUpgrade(log, earlier.size(), run->written, run->shipped);
        for (const EarlierFile& file : plan.files) {
            const unsigned char* raw = log + file.first * FileRecordSize;
            if (file.fate == EarlierFate::Rewritten)
                continue;
            if (file.fate == EarlierFate::Candidate) {
                // A name this process's code page lacks cannot be its path: the file stays, listed.
                tagCompressFileHeader stored = parseFileRecord(raw), record;
                std::string shown;
                LocalNames names = localRecordNames(stored, logNamesUtf8(stored), win32::toProcessCodePage,
                                                    win32::processCodePageIs1252(), &record, &shown);
                char path[PathSize];
                if (names != LocalNames::Same && names != LocalNames::Converted)
                    logEvent(LogEarlierFileKept, shown.c_str(), "", 0, 0, "its name has no path in this code page");
                else if (copyPath(path, installDir) && (!record.subDir[0] || appendName(path, record.subDir)) &&
                         appendName(path, record.fileName) && removeIfUnchanged(*run, record, path))
                    continue;
            }
            carried.append(reinterpret_cast<const char*>(raw), file.count * FileRecordSize);
        }
    } catch (const std::bad_alloc&) {
        // Without memory the earlier files stay where they are, unlisted.
        return StepContinue;
    }
    if (!carried.empty() &&
        !writeAll(engine.logFile, carried.data(), static_cast<unsigned int>(carried.size()))) {
        engine.ShowMessage(IDS_PROTOCOL_WRITE_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    return StepContinue;
}

void removeEmptiedFolders(EngineRun& run, const char* installDir) {
    size_t top = strlen(installDir);
    while (top > 0 && installDir[top - 1] == '\\')
        --top;
    for (const std::string& emptied : run.emptied) {
        char folder[PathSize];
        if (!copyPath(folder, emptied.c_str()))
            continue;
        // Up to the installation folder, while each is left empty.
        while (strlen(folder) > top && strncmp(folder, installDir, top) == 0 &&
               RemoveDirectoryA(folder) && cutAtLastBackslash(folder)) {
        }
    }
    run.emptied.clear();
}
