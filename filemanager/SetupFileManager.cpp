// SetupFileManager: the install engine's run. It opens the archive (header
// check, write probe of the system directory, the set's check file,
// Install.log), then installs one file per record: group decision, target
// path and its directories, then the steps of FileInstall.cpp. The engine's
// other files: EngineRun (the state of a run, kept beside the object, and
// where a run's effects are recorded), FileInstall (one file and its
// output), InstallJournal (with transactions: the run's journal, committed
// when the loop completes, rolled back when it does not, a killed run's
// undone by InitSFM), FilesInUse (QrvInit.Ini and wininit.ini), CheckFile
// (Data.Chk), Upgrade (with transactions, an earlier installation's
// Install.log carried over and its files no longer shipped removed),
// Shortcuts (shortcuts and special folders), Versions
// (installed copies); the decisions themselves live in EngineRules
// (portable, tested natively).
//
// Runs on the thread that calls MakeSetupFileOperation; every notification
// goes through the virtual TakeProcessInfo, so the most derived override
// receives it, and under the thread's RunControl (RunControl.h), so a run
// its driver gives up ends at the next notification whatever the product
// answers.
//
// Rules of our own where the archive can be damaged or unusual (the other
// files list theirs: writing and expanding in FileInstall.cpp, the check
// file in CheckFile.cpp, files in use in FilesInUse.cpp):
//  - A record whose text fields are not terminated inside their fields, an
//    empty file name, and a target path that does not fit a path buffer
//    (PathSize) stop the run with 11114 ("disk might be corrupted").
//  - A group number outside the group list, and a run without a group list:
//    the file is installed (a group the product never listed was never
//    disabled). The notification before such a file reports its state as 1.
//  - A subDir or fileName with a component that is dots only ("..") or a
//    device name (CON, NUL, aux.txt, COM1 ...) stops the run with 11114
//    before anything is created: such a file would land outside its folder
//    or vanish into a device while Install.log listed it.
//  - targetDir 3 has no base directory: subDir holds the whole directory
//    (for example "D:\Tools"); an empty subDir is refused with 11114.
//  - An empty first volume, a wrong format version and a check file that is
//    damaged or another set's stop the run before Install.log is made.
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "baseinterface/DiagnosticLog.h"
#include "filemanager/EngineRun.h"
#include "filemanager/RunControl.h"
#include "format/FileCheck.h"
#include "format/InstallLog.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"
#include "resources/resource.h"
#include "win32/Ownership.h"

namespace {

// A record's file below its base folder, for a log line about a file whose
// target is never made.
std::string recordName(const tagCompressFileHeader& record) {
    std::string name(record.subDir, strnlen(record.subDir, sizeof record.subDir));
    if (!name.empty())
        name += '\\';
    return name.append(record.fileName, strnlen(record.fileName, sizeof record.fileName));
}

// The file loop: StepContinue when every file is installed or skipped, else
// the first result that ends it (StepFailure shown, or StepUserBreak).
int installEveryFile(SetupFileManager& engine, char* installDir) {
    if (engine.fileCount == 0) {
        int r = carryOverEarlierLog(engine, installDir);
        if (r != StepContinue)
            return r;
    }
    for (unsigned int i = 0; i < engine.fileCount; ++i) {
        char volume[PathSize];
        engine.GetFileName(volume);
        // Its answer is ignored; a run given up ends here.
        if (!notify(engine, InfoVolumeOpened, volume, nullptr))
            return StepUserBreak;

        int r = engine.ProgramFilesCreation(installDir);
        // Over an earlier installation, its files are settled before the
        // product hears that the last file is done.
        if (r == StepContinue && i + 1 == engine.fileCount)
            r = carryOverEarlierLog(engine, installDir);
        if (r != StepContinue)
            return r;

        unsigned int percent = overallPercent(i + 1, engine.fileCount);
        int answer = StepContinue;
        if (!notify(engine, InfoOverallPercent, &percent, &answer))
            return StepUserBreak;
        if (answer == StepUserBreak)
            return StepUserBreak;
        if (answer == StepFailure)
            return StepFailure;
    }
    return StepContinue;
}

// Undoes what the engine's run journalled, when it has an open journal: the
// run did not complete. Install.log is closed first, so that the one it
// replaced can be put back.
void rollBackRun(SetupFileManager& engine) {
    EngineRun* run = EngineRun::of(engine);
    if (!run || !run->journal.isOpen())
        return;
    win32::closeFile(engine.logFile);
    // The run's driver may show the undo's progress.
    RunControl* control = RunControl::ofThisThread();
    run->journal.rollBack([control](size_t done, size_t total, const JournalEntry& entry) {
        if (control)
            control->undoing(done, total, entry.path.c_str());
    });
    if (control)
        control->undoing(1, 1, "");
}

// Starts the run's journal in the installation folder (made already; the
// folders in `made` were made for it, parents first) and moves an earlier
// Install.log aside, so that a run undone finds it again. False when the
// journal cannot be written or the log cannot be moved.
bool startJournal(EngineRun& run, const char* installDir, const std::vector<std::string>& made,
                  const char* logPath) {
    if (!run.journal.open(installDir))
        return false;
    // An earlier run of this engine that was undone leaves nothing to this one.
    run.earlierLog[0] = '\0';
    run.commitHeld = false;
    run.closingFailed = false;
    run.shipped.clear();
    run.written.clear();
    run.emptied.clear();
    run.madeFolders.clear();
    for (const std::string& folder : made) {
        if (!run.journal.record(JournalEntry{JournalKind::Folder, folder, "", "", 0}, false))
            return false;
        noteMadeFolder(run, folder);
    }
    DWORD attributes = GetFileAttributesA(logPath);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return run.journal.record(JournalEntry{JournalKind::Put, logPath, "", "", 0}, false);
    char aside[PathSize];
    if (!sideFileName(aside, sizeof aside, logPath, 'a', GetCurrentProcessId(), ++run.sideFiles) ||
        !run.journal.record(JournalEntry{JournalKind::Put, logPath, "", aside, attributes}, true) ||
        !MoveFileA(logPath, aside))
        return false;
    // The record of an earlier installation, carried over at the run's end.
    memcpy(run.earlierLog, aside, sizeof aside);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Object, groups, reboot flag.

SetupFileManager::SetupFileManager()
    : rebootFlag(0),
      systemDirReadOnly(0),
      currentFile(INVALID_HANDLE_VALUE),
      logFile(INVALID_HANDLE_VALUE),
      groupList(nullptr),
      currentSize(0),
      totalSize(0),
      currentWritten(0),
      shortcutPrefixLength(0),
      lastTransferStatus(0),
      fileCount(0) {}

SetupFileManager::~SetupFileManager() {
    // A run that never completed is undone.
    rollBackRun(*this);
    EngineRun::end(*this);
    EngineRun::forget(*this);
    delete[] groupList;
    groupList = nullptr;
    win32::closeFile(currentFile);
    win32::closeFile(logFile);
}

// A bare engine goes on for every notification and so installs every file.
int SetupFileManager::TakeProcessInfo(int, void*) { return StepContinue; }

unsigned int SetupFileManager::GetSize() { return totalSize; }

void SetupFileManager::SetRebootFlag() { rebootFlag = 1; }

// 1 made (or a list already exists, which is kept as it is), 0 no memory or a
// negative count.
int SetupFileManager::MakeGroupList(int count) {
    if (groupList)
        return 1;
    if (count < 0)
        return 0;
    int* list = new (std::nothrow) int[static_cast<size_t>(count) + 1];
    if (!list)
        return 0;
    list[0] = count;
    for (int i = 1; i <= count; ++i)
        list[i] = 1;
    groupList = list;
    return 1;
}

// 1 enabled, 0 disabled, -1 no list. A number outside the list reads as
// enabled, as the file loop treats it.
int SetupFileManager::GetGroupStatus(int group) {
    if (!groupList)
        return -1;
    return groupState(groupList, group);
}

// 1 set, -1 no list, 0 a number outside the list (nothing stored).
int SetupFileManager::EnableGroup(int group) { return setGroupState(groupList, group, 1); }

// 1 set, -1 no list, 0 a number outside the list (nothing stored).
int SetupFileManager::DesableGroup(int group) { return setGroupState(groupList, group, 0); }

// ---------------------------------------------------------------------------
// Archive start.

// 1 when the probe file cannot be created in the system directory. The probe
// is deleted at once.
int SetupFileManager::IsSysReadOnly() {
    char probe[PathSize];
    if (!systemDirectory(probe) || !appendName(probe, "qrv_proverka"))
        return 1;
    win32::FileHandle file(createForWriting(probe));
    if (!file.valid())
        return 1;
    file.reset();
    DeleteFileA(probe);
    return 0;
}

//   StepContinue   ready: header accepted, check file (if any) read,
//                  Install.log created in installDir
//   StepFailure    shown (wrong format, group count refused, no protocol
//                  file, an empty first volume, a check file that is damaged
//                  or another set's, another run at work on the folder)
//   StepUserBreak  the user gave up at the first disk prompt (from the reader)
int SetupFileManager::InitSFM(char* installDir) {
    systemDirReadOnly = IsSysReadOnly();

    // A run on this folder that never completed (its process was killed) is
    // undone before anything else; one still at work refuses this start.
    // The product may log what was undone (GetRecoveryLine).
    EngineRun* earlier = EngineRun::of(*this);
    EngineRun::noteRecovery(*this, "");
    size_t undone = 0;
    JournalFound found = earlier && earlier->journal.isOpen() ? JournalFound::None
                                                              : recoverJournal(installDir, &undone);
    if (found == JournalFound::RolledBack)
        logEvent(LogTransactionRecovered, installDir);
    if (found == JournalFound::InUse) {
        logEvent(LogWriteError, installDir, kJournalName, 0, 0, "another run is at work on this folder");
        ShowMessage(IDS_SETUP_RUNNING, MB_ICONSTOP);
        return StepFailure;
    }
    if (found == JournalFound::RolledBack)
        EngineRun::noteRecovery(*this, recoveryLine(installDir, undone));

    ArchiveHeader header;
    memset(&header, 0, sizeof header);  // a short volume leaves zeros, not garbage
    unsigned int size = sizeof header;
    int r = Read(reinterpret_cast<unsigned char*>(&header), &size, ReadModePlain);
    if (r == StepEndOfData) {
        logEvent(LogReadError, volumePath, "", 0, 0, "the first volume is empty");
        ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    if (r != StepContinue)
        return r;
    if (!archiveFormatKnown(header.formatVersion)) {
        logEvent(LogReadError, volumePath, "", 0, header.formatVersion, "not a format this library reads");
        ShowMessage(IDS_WRONG_FORMAT_VERSION, MB_ICONSTOP);
        return StepFailure;
    }
    if (groupList && groupList[0] != header.groupCount &&
        ShowMessage(IDS_WRONG_GROUP_COUNT, MB_OKCANCEL) == IDCANCEL)
        return StepFailure;

    totalSize = header.totalSize;
    shortcutPrefixLength = header.shortcutPrefixLength;
    fileCount = header.fileCount;
    win32::closeFile(logFile);  // a second start on the same object replaces the first

    // A new start begins the check afresh; the set's check file, when it has
    // one, must be this set's.
    EngineRun* run = EngineRun::start(*this);
    if (!run) {
        ShowMessage(IDS_NO_MEMORY, MB_ICONSTOP);
        return StepFailure;
    }
    run->namesUtf8 = archiveNamesUtf8(header.formatVersion);
    if (loadCheckFile(*run, volumePath, reinterpret_cast<const unsigned char*>(&header),
                      header.fileCount) == CheckFileRead::Damaged) {
        logEvent(LogReadError, volumePath, kCheckFileName, 0, 0, "the check file is damaged or another set's");
        ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }

    // The whole path is checked before any directory is made. With
    // transactions the run's journal starts here, before Install.log
    // replaces an earlier one.
    char path[PathSize];
    bool journalled = transactionsWanted() && !run->journal.isOpen();
    std::vector<std::string> made;
    if (journalled)
        made = missingFolders(installDir);
    if (!copyPath(path, installDir) || !appendName(path, kInstallLogName))
        logEvent(LogPathTooLong, installDir, kInstallLogName);
    else if (!DirCreation(installDir))
        logEvent(LogFolderRefused, installDir, "", GetLastError());
    else if (journalled && !startJournal(*run, installDir, made, path))
        logEvent(LogWriteError, installDir, kJournalName, GetLastError(), 0, "the run's journal");
    else if ((logFile = createForWriting(path)) == INVALID_HANDLE_VALUE)
        logEvent(LogProtocolError, path, "", GetLastError());
    if (logFile == INVALID_HANDLE_VALUE) {
        ShowMessage(IDS_CANNOT_CREATE_FILE, MB_ICONSTOP);
        rollBackRun(*this);
        return StepFailure;
    }
    logEvent(LogRunStarted, installDir, "", 0, static_cast<int32_t>(fileCount));
    return StepContinue;
}

// ---------------------------------------------------------------------------
// The file loop.

//   StepContinue    every file installed or skipped
//   StepDoneReboot  the same, and a reboot is needed
//   StepFailure (shown) or StepUserBreak: a file's result other than
//   StepContinue ends the loop at once, and Install.log stays open until the
//   object goes.
int SetupFileManager::MakeSetupFileOperation(char* installDir) {
    // The run InitSFM started, or one of its own; without memory the loop
    // goes on without the run's read-ahead and folders.
    EngineRun* run = EngineRun::start(*this);
    if (run)
        run->startLoop(*this);
    int r = installEveryFile(*this, installDir);
    if (run)
        run->stopLoop();
    if (r != StepContinue) {
        // After the run's messages: what it changed is undone.
        rollBackRun(*this);
        logEvent(LogRunEnded, installDir, "", 0, r);
        return r;
    }
    win32::closeFile(logFile);
    // A driver that holds the commit settles the run after its closing
    // operation (settleHeldRun), the product's registration included.
    RunControl* control = RunControl::ofThisThread();
    if (run && run->journal.isOpen() && control && control->holdsCommit() && copyPath(run->heldFolder, installDir)) {
        run->commitHeld = true;
    } else {
        if (run) {
            run->journal.commit();
            removeEmptiedFolders(*run, installDir);
        }
        EngineRun::end(*this);
    }
    r = rebootFlag == 1 ? StepDoneReboot : StepContinue;
    logEvent(LogRunEnded, installDir, "", 0, r);
    return r;
}

//   StepContinue   installed, or skipped (disabled group, newer copy
//                  installed, skip answer)
//   StepFailure    shown
//   StepUserBreak  at a disk prompt, the 11118 question or the notification
int SetupFileManager::ProgramFilesCreation(char* installDir) {
    tagCompressFileHeader record;
    bool intact = false;
    StepResult r = readFileRecord(*this, &record, &intact);
    if (r != StepContinue)
        return r;

    currentSize = record.expandedSize;
    lastTransferStatus = 0;
    currentWritten = 0;

    if (groupState(groupList, record.group) == 0) {
        if (logWanted())
            logEvent(LogFileSkipped, recordName(record).c_str(), "", 0, record.group, "group disabled");
        return skipFile(*this);
    }

    char target[PathSize];
    if (!intact) {
        logEvent(LogReadError, volumePath, "", 0, 0, "a record's names do not end inside their fields");
        ShowMessage(IDS_TARGET_PATH_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    // The names as this process's code page has them, checked before
    // anything is made for the file.
    tagCompressFileHeader local;
    r = localFileNames(*this, installDir, record, &local);
    if (r != StepContinue)
        return r;
    if (!QRV_GetFileName(installDir, target, &local))
        return StepFailure;

    FileDecision decision = placeFile(*this, local, target);
    if (decision == FileDecision::Skip)
        logEvent(LogFileKeptNewer, target);
    if (decision == FileDecision::Install) {
        decision = askBeforeFile(*this, local, target);
        if (decision == FileDecision::Skip)
            logEvent(LogFileSkipped, target, "", 0, record.group, "by the product's answer or its group");
    }
    if (decision != FileDecision::Install)
        return leaveFile(*this, decision);

    char temporaryName[PathSize];
    r = writeTarget(*this, local, target, temporaryName);
    if (r == StepContinue)
        r = fixShortcut(*this, installDir, target, temporaryName);
    if (r == StepContinue) {
        EngineRun* run = EngineRun::of(*this);
        tagCompressFileHeader logged = logRecordOf(record, run && run->namesUtf8);
        logged.targetDir = local.targetDir;  // a system file may have gone to the Windows folder
        r = writeProtocol(*this, logged, temporaryName);
    }
    if (r == StepContinue && temporaryName[0])
        logEvent(LogFileExchangedInUse, target, temporaryName);
    else if (r == StepContinue)
        logEvent(LogFileInstalled, target);
    return r;
}

// 1 with the target path in `target`; 0 after 11114 (damaged record, unknown
// targetDir, special folder not found, path too long, directory not creatable).
int SetupFileManager::QRV_GetFileName(char* installDir, char* target,
                                      tagCompressFileHeader* record) {
    char path[PathSize] = "";
    // Names that would climb out of the base folder or name a device are
    // refused before anything is made.
    bool ok = recordTextValid(*record) && record->fileName[0] != '\0' && recordNamesSafe(*record);
    if (!ok)
        logEvent(LogReadError, volumePath, "", 0, 0, "a record names no file a folder can hold");
    if (ok) {
        TargetBase base = targetBase(record->targetDir);
        switch (base.kind) {
        case TargetBase::Windows: ok = windowsDirectory(path); break;
        case TargetBase::System: ok = systemDirectory(path); break;
        case TargetBase::Special: ok = QRV_SpecialDir(path, base.csidl) != 0; break;
        case TargetBase::Absolute: ok = record->subDir[0] != '\0'; break;
        case TargetBase::Install: ok = copyPath(path, installDir); break;
        case TargetBase::Invalid: ok = false; break;
        }
        if (!ok)
            logEvent(LogFolderRefused, path, "", 0, record->targetDir, "the record's base folder is unknown here");
    }
    if (ok && record->subDir[0] && !(ok = appendName(path, record->subDir)))
        logEvent(LogPathTooLong, path, record->subDir);
    // A write-protected system directory cannot gain subdirectories; its
    // files go to the Windows directory, where they are made.
    if (ok && !makeFolder(*this, path))
        ok = record->targetDir == TargetSystem && systemDirReadOnly == 1;
    if (ok && !(ok = appendName(path, record->fileName)))
        logEvent(LogPathTooLong, path, record->fileName);
    if (!ok) {
        ShowMessage(IDS_TARGET_PATH_ERROR, MB_ICONSTOP);
        return 0;
    }
    memcpy(target, path, PathSize);
    return 1;
}
