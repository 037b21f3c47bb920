// Installing one file: the steps ProgramFilesCreation takes for a record
// (read and check it, place the file, ask the product, write the target or
// a temporary file beside it, fix up a shortcut, append the protocol
// records) and the decompressor's callbacks that carry the file's bytes.
// Each step acts; the decisions are EngineRules'. Runs on the thread that
// drives the engine; every notification goes through the virtual
// TakeProcessInfo, so the most derived override receives it.
//
// Rules of our own where the archive can be damaged or unusual:
//  - A write to the target that fails is reported once (11115, and the
//    run's control is told: Setup's run then closes the background window);
//    the file's expansion stops there, it gets no protocol record, and the
//    run ends with 0.
//  - A file whose data does not end where its stream ends, and an empty
//    volume met while records are still expected, stop the run with 11113.
//  - A stream that reaches its end code with bytes of its chunks left is
//    complete: the rest is skipped like a skipped file's data.
//  - Install.log holds whole records of whole files: a protocol write that
//    fails or stops short cuts the log back to where the file's records
//    began (11119, the run ends with 0).
//  - A system file redirected to the Windows directory gets its
//    subdirectories created there, not in the write-protected system
//    directory.
//  - A shortcut written under a temporary name (the real one was in use) is
//    fixed up in that temporary file, which is the one that will take its place.
//  - A file that replaces one is written as ~qrvs*.tmp beside it and
//    renamed into place when whole: a failed write, damaged data, a kill or
//    a cancel never leave part of it in the place of the old one. A new file
//    that is not whole is deleted (after a kill, by the journal's recovery
//    when the run had transactions). A file that fails the
//    set's check file is not left behind (CheckFile.cpp); a temporary file
//    whose content is not whole takes its recorded exchange with it
//    (FilesInUse.cpp).
//  - A target that cannot be renamed over is in use: it goes through
//    ExchFilePrepare as before (the target itself when it still opens for
//    writing, else a recorded exchange), with the content already whole.
#include <string.h>

#include <memory>
#include <new>

#include "baseinterface/DiagnosticLog.h"
#include "filemanager/EngineRun.h"
#include "format/NameEncoding.h"
#include "resources/resource.h"
#include "win32/CodePage.h"
#include "win32/Ownership.h"

namespace {

// A failed write of the current file, reported once: the file is closed,
// which stops the reads and tells the loop.
void reportWriteFailure(SetupFileManager& engine) {
    if (logWanted()) {
        DWORD error = GetLastError();
        EngineRun* run = EngineRun::of(engine);
        logEvent(LogWriteError, run && run->writing ? run->writing : "", "", error);
    }
    win32::closeFile(engine.currentFile);
    engine.ShowMessage(IDS_WRITE_ERROR, MB_ICONSTOP);
    // Whoever drives the run decides what else a failed write ends.
    tellWriteFailed();
}

// Puts a system file into the Windows directory instead, at the same place
// below it, and creates its directories there (the write-protected system
// directory could not have them). False when the path does not fit or a
// directory cannot be made.
bool redirectToWindows(SetupFileManager& engine, char* target, const char* relative) {
    char redirected[PathSize];
    char directory[PathSize];
    bool ok = windowsDirectory(redirected) && appendText(redirected, relative) &&
              copyPath(directory, redirected) && cutAtLastBackslash(directory) &&
              makeFolder(engine, directory);
    if (ok)
        memcpy(target, redirected, PathSize);
    return ok;
}

// Expands the file's data into currentFile, open already, through the run's
// memory. The decompressor's result; currentFile is closed when a write
// failed (shown), and the run's check has summed the bytes.
unsigned int expandInto(SetupFileManager& engine, EngineRun& run, Expansion& expansion) {
    startFileCheck(run);
    FileOutput output(engine, expansion.output);
    FileOutput* outer = run.output;
    run.output = &output;
    unsigned int expanded = Explode(SetupFileManager::ReadBuff, SetupFileManager::WriteBuff,
                                    &expansion.work, &engine);
    run.output = outer;
    // What the decompressor handed over reaches the file, also when the
    // stream turns out damaged.
    if (engine.currentFile != INVALID_HANDLE_VALUE && !output.flush())
        reportWriteFailure(engine);
    return expanded;
}

// Names the target being written in the run, for as long as it is (a file
// written from a notification names its own, then the outer one again).
class WritingTarget {
public:
    WritingTarget(EngineRun& run, const char* target) : run_(run), outer_(run.writing) { run.writing = target; }
    ~WritingTarget() { run_.writing = outer_; }
    WritingTarget(const WritingTarget&) = delete;
    WritingTarget& operator=(const WritingTarget&) = delete;

private:
    EngineRun& run_;
    const char* outer_;
};

// The run a file is written in: the engine's, or one made for this file
// alone when the engine has none (null without memory), which ends with it.
class FileRun {
public:
    explicit FileRun(const SetupFileManager& engine)
        : engine_(engine), run_(EngineRun::of(engine)), own_(false) {
        if (!run_) {
            run_ = EngineRun::start(engine);
            own_ = run_ != nullptr;
        }
    }
    ~FileRun() {
        if (own_)
            EngineRun::end(engine_);
    }
    FileRun(const FileRun&) = delete;
    FileRun& operator=(const FileRun&) = delete;
    EngineRun* get() const { return run_; }

private:
    const SetupFileManager& engine_;
    EngineRun* run_;
    bool own_;
};

}  // namespace

// Skipping moves past the file's data, through its continuation volumes.
// Results: the reader's, except that volumes ending on the way are damage
// (StepFailure, 11113 shown).
StepResult skipFile(SetupFileManager& engine) {
    int r = engine.Seek();
    if (r == StepEndOfData) {
        logEvent(LogReadError, engine.volumePath, "", 0, 0, "the volumes end inside a file's data");
        engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    return static_cast<StepResult>(r);
}

// The next record, parsed; *intact tells whether its text fields end inside
// their fields. Results: StepContinue; StepFailure when the volumes end
// while the header promises more files, or the record differs from the one
// the check file records (11113 shown); the reader's failure or user break.
StepResult readFileRecord(SetupFileManager& engine, tagCompressFileHeader* record, bool* intact) {
    unsigned char raw[sizeof(tagCompressFileHeader)] = {};
    unsigned int size = sizeof raw;
    int r = engine.Read(raw, &size, ReadModeRecord);
    if (r == StepEndOfData) {
        logEvent(LogReadError, engine.volumePath, "", 0, 0, "the volumes end before the archive's last file");
        engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    if (r != StepContinue)
        return static_cast<StepResult>(r);
    *intact = parseRecord(raw, record);
    EngineRun* run = EngineRun::of(engine);
    if (run && !recordMatchesCheck(*run, raw, sizeof raw)) {
        logEvent(LogReadError, engine.volumePath, "", 0, 0, "a record differs from the check file's");
        engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    if (run && *intact)
        noteShipped(*run, logRecordOf(*record, run->namesUtf8));
    return StepContinue;
}

// The record with its names in the process's code page. Results:
// StepContinue; StepFailure when a name has a character the code page lacks
// (11128 shown, naming the path) or names flagged UTF-8 are not (11114).
StepResult localFileNames(SetupFileManager& engine, const char* installDir, const tagCompressFileHeader& record,
                          tagCompressFileHeader* local) {
    EngineRun* run = EngineRun::of(engine);
    std::string shown;
    switch (localRecordNames(record, run && run->namesUtf8, win32::toProcessCodePage,
                             win32::processCodePageIs1252(), local, &shown)) {
    case LocalNames::Same:
    case LocalNames::Converted: return StepContinue;
    case LocalNames::Invalid: engine.ShowMessage(IDS_TARGET_PATH_ERROR, MB_ICONSTOP); return StepFailure;
    case LocalNames::Unrepresentable: break;
    }
    // A path below the chosen folder is shown in full; others from their keyword's folder on.
    std::string path = record.targetDir == TargetInstall ? std::string(installDir) + "\\" + shown : shown;
    engine.ShowMessage(IDS_NAME_UNREPRESENTABLE, MB_ICONSTOP, &path[0]);
    return StepFailure;
}

// Compares the file with a copy installed in the system or Windows directory,
// redirecting a system file when the system directory is write-protected
// (`target` and the record's targetDir then name the Windows directory).
// Install, Skip (a newer copy stays), Break (the user refused to leave an
// older system copy), Fail (11114 shown).
FileDecision placeFile(SetupFileManager& engine, tagCompressFileHeader& record, char* target) {
    if (record.targetDir == TargetSystem) {
        char* relative = engine.GetClearName(target, 1);
        InstalledCopy copy = static_cast<InstalledCopy>(engine.IsNewFile(relative, &record, 1));
        switch (planSystemFile(copy, engine.systemDirReadOnly == 1)) {
        case SystemFilePlan::Skip: return FileDecision::Skip;
        case SystemFilePlan::InPlace: break;
        case SystemFilePlan::AskThenRedirect:
            if (engine.ShowMessage(IDS_OLDER_SYSTEM_FILE, MB_RETRYCANCEL, target) == IDCANCEL)
                return FileDecision::Break;
            // fall through
        case SystemFilePlan::Redirect:
            if (!redirectToWindows(engine, target, relative)) {
                logEvent(LogPathTooLong, target, relative, 0, 0, "redirected to the Windows folder");
                engine.ShowMessage(IDS_TARGET_PATH_ERROR, MB_ICONSTOP);
                return FileDecision::Fail;
            }
            record.targetDir = TargetWindows;
            break;
        }
    }
    if (comparedWithWindowsCopy(record.targetDir) &&
        engine.IsNewFile(engine.GetClearName(target, 0), &record, 0) == CopyNewer)
        return FileDecision::Skip;
    return FileDecision::Install;
}

// A file that is not installed: the result of a decision other than Install.
StepResult leaveFile(SetupFileManager& engine, FileDecision decision) {
    switch (decision) {
    case FileDecision::Fail: return StepFailure;
    case FileDecision::Break: return StepUserBreak;
    case FileDecision::Skip: return skipFile(engine);
    case FileDecision::Install: break;
    }
    return StepContinue;
}

// Notification InfoBeforeFile and what its answer decides.
FileDecision askBeforeFile(SetupFileManager& engine, const tagCompressFileHeader& record,
                           const char* target) {
    FileNotice notice;
    memcpy(notice.targetPath, target, sizeof notice.targetPath);
    notice.groupState = groupState(engine.groupList, record.group);
    int answer = NoticeGoOn;
    if (!notify(engine, InfoBeforeFile, &notice, &answer))
        return FileDecision::Break;
    // The product may change the group from inside the notification.
    return decideAfterNotice(static_cast<FileNoticeAnswer>(answer),
                             groupState(engine.groupList, record.group));
}

namespace {

// Where a file is written before it is put in place, and where the target
// it replaces goes meanwhile (both beside the target, so that each move is a
// rename); `aside` is "" when nothing is to be moved aside.
struct SideFiles {
    char staging[PathSize] = "";
    char aside[PathSize] = "";
};

// Names the side files for `target`. False when the names do not fit.
bool nameSideFiles(EngineRun& run, const char* target, bool keepReplaced, SideFiles* side) {
    uint32_t process = GetCurrentProcessId();
    if (!sideFileName(side->staging, PathSize, target, 's', process, ++run.sideFiles))
        return false;
    return !keepReplaced || sideFileName(side->aside, PathSize, target, 'a', process, ++run.sideFiles);
}

// A staging file of our own naming, made new (a name taken by something
// else is never written into). INVALID_HANDLE_VALUE when the folder takes no
// new file.
HANDLE createStaging(EngineRun& run, const char* target, SideFiles& side) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        HANDLE file = CreateFileA(side.staging, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
        if (!sideFileName(side.staging, PathSize, target, 's', GetCurrentProcessId(), ++run.sideFiles))
            break;
    }
    return INVALID_HANDLE_VALUE;
}

// The exchange ExchFilePrepare recorded last, as a journal entry.
bool journalExchange(EngineRun& run, const char* temporaryName) {
    const RecordedExchange& recorded = run.lastExchange;
    JournalEntry entry;
    entry.path = temporaryName;
    if (recorded.kind == RecordedExchange::RenameFile) {
        entry.kind = JournalKind::ExchangeIni;
        entry.staging = recorded.renameFile;
        entry.number = recorded.number;
    } else if (recorded.kind == RecordedExchange::Wininit) {
        entry.kind = JournalKind::ExchangeWininit;
        entry.staging = recorded.line;
    } else {
        return true;
    }
    return run.journal.record(entry, false);
}

// The target cannot be renamed over: it is in use. Its new content (complete
// in `side.staging`) goes where ExchFilePrepare says: into the target itself
// when that still opens for writing, else into a temporary file recorded for
// the next start (its path then in temporaryName). StepContinue, or
// StepFailure shown.
StepResult placeInUse(SetupFileManager& engine, EngineRun& run, const char* target,
                      SideFiles& side, char* temporaryName) {
    // A target that is written in place is copied aside first, when the
    // run keeps what it replaces; one that goes to a temporary file stays.
    bool copiedAside = side.aside[0] && CopyFileA(target, side.aside, TRUE);
    win32::FileHandle file(engine.ExchFilePrepare(target, temporaryName));
    if (!file.valid()) {
        logEvent(LogWriteError, target, temporaryName, GetLastError(), 0, "in use");
        DeleteFileA(side.staging);
        if (copiedAside)
            DeleteFileA(side.aside);
        engine.ShowMessage(IDS_CANNOT_CREATE_FILE, MB_ICONSTOP);
        return StepFailure;
    }
    file.reset();
    if (temporaryName[0]) {
        if (copiedAside)
            DeleteFileA(side.aside);
        if (!MoveFileExA(side.staging, temporaryName, MOVEFILE_REPLACE_EXISTING) ||
            (run.journal.isOpen() && !journalExchange(run, temporaryName))) {
            logEvent(LogWriteError, temporaryName, side.staging, GetLastError(), 0, "in use");
            takeBackExchange(run.lastExchange, temporaryName);
            DeleteFileA(side.staging);
            engine.ShowMessage(IDS_CANNOT_CREATE_FILE, MB_ICONSTOP);
            return StepFailure;
        }
        return StepContinue;
    }
    bool copied = CopyFileA(side.staging, target, FALSE) != FALSE;
    DWORD error = GetLastError();
    DeleteFileA(side.staging);
    if (!copied) {
        SetLastError(error);
        reportWriteFailure(engine);
        return StepFailure;
    }
    return StepContinue;
}

// Puts the complete file `side.staging` in the target's place: a rename, and
// with a journal the target that was there is first renamed aside (kept
// until the run commits). A target that cannot be renamed is in use
// (placeInUse). StepContinue, or StepFailure shown.
StepResult putInPlace(SetupFileManager& engine, EngineRun& run, const char* target, bool existed,
                      SideFiles& side, char* temporaryName) {
    if (!existed && MoveFileA(side.staging, target))
        return StepContinue;
    if (side.aside[0]) {
        if (MoveFileA(target, side.aside)) {
            if (MoveFileA(side.staging, target))
                return StepContinue;
            MoveFileA(side.aside, target);
        }
    } else if (MoveFileExA(side.staging, target, MOVEFILE_REPLACE_EXISTING)) {
        return StepContinue;
    }
    return placeInUse(engine, run, target, side, temporaryName);
}

}  // namespace

// Expands the file's data into the target, or, when the target exists, into
// a staging file beside it that is put in place when it is complete, so that
// a target is never replaced by a part of a file; a target in use gets its
// new content in a temporary file recorded for the next start instead (its
// path then in temporaryName, else ""). A new file that cannot be completed
// is deleted. The file carries the record's time stamp. This is the one
// place where a run puts a file in place: with a journal, each step is
// recorded before it is taken, and the target replaced is kept aside until
// the run commits. A folder that takes no new file falls back on writing
// the target itself (ExchFilePrepare).
// StepContinue written and in place; StepFailure shown (a file whose bytes
// differ from the check file's CRC is deleted first); the result of
// skipping bytes left after the stream's end code.
StepResult writeTarget(SetupFileManager& engine, const tagCompressFileHeader& record,
                       char* target, char* temporaryName) {
    temporaryName[0] = '\0';
    DWORD attributes = GetFileAttributesA(target);
    bool existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (existed && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL)) {
        logEvent(LogWriteError, target, "", GetLastError(), 0, "read-only");
        engine.ShowMessage(IDS_WRITE_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    // The run records the exchange ExchFilePrepare makes, and lends its memory.
    FileRun file(engine);
    EngineRun* run = file.get();
    SideFiles side;
    if (!run || !nameSideFiles(*run, target, existed && run->journal.isOpen(), &side)) {
        if (run)
            logEvent(LogPathTooLong, target, "", 0, 0, "no room for the name of a file beside it");
        engine.ShowMessage(run ? IDS_CANNOT_CREATE_FILE : IDS_NO_MEMORY, MB_ICONSTOP);
        return StepFailure;
    }
    // A new file is written at its name at once (a rename per file is the
    // dearest step of a fresh install): a failure deletes it, and with a
    // journal a kill leaves it listed for the next start to delete. A file
    // that replaces one is staged, so the one it replaces stays whole until
    // the new one is.
    if (!existed)
        side.staging[0] = '\0';
    if (run->journal.isOpen()) {
        JournalEntry put{JournalKind::Put, target, side.staging, side.aside, existed ? attributes : 0};
        // Flushed before a file that was on the machine is moved.
        if (!run->journal.record(put, existed)) {
            logEvent(LogWriteError, target, kJournalName, GetLastError(), 0, "the run's journal");
            engine.ShowMessage(IDS_CANNOT_CREATE_FILE, MB_ICONSTOP);
            return StepFailure;
        }
    }
    engine.currentFile = existed ? createStaging(*run, target, side) : INVALID_HANDLE_VALUE;
    bool staged = engine.currentFile != INVALID_HANDLE_VALUE;
    if (!staged) {
        side.staging[0] = '\0';
        if (side.aside[0] && !CopyFileA(target, side.aside, TRUE))
            side.aside[0] = '\0';
        engine.currentFile = engine.ExchFilePrepare(target, temporaryName);
        if (engine.currentFile == INVALID_HANDLE_VALUE) {
            logEvent(LogWriteError, target, temporaryName, GetLastError());
            engine.ShowMessage(IDS_CANNOT_CREATE_FILE, MB_ICONSTOP);
            return StepFailure;
        }
        if (temporaryName[0] && run->journal.isOpen())
            journalExchange(*run, temporaryName);
    }
    // A file whose content is not whole is not left anywhere: neither in
    // the staging file, nor at the target, nor exchanged at the next start.
    auto incomplete = [&]() {
        win32::closeFile(engine.currentFile);
        if (staged)
            DeleteFileA(side.staging);
        else if (temporaryName[0])
            takeBackExchange(run->lastExchange, temporaryName);
        else
            DeleteFileA(target);
        return StepFailure;
    };
    // A file written from a notification of another file's expansion (the
    // product installing from inside one) needs memory of its own.
    std::unique_ptr<Expansion> own;
    if (run->output)
        own.reset(new (std::nothrow) Expansion);
    Expansion* expansion = run->output ? own.get() : run->expansion();
    if (!expansion) {
        incomplete();
        engine.ShowMessage(IDS_NO_MEMORY, MB_ICONSTOP);
        return StepFailure;
    }
    WritingTarget writing(*run, target);
    unsigned int expanded = expandInto(engine, *run, *expansion);
    // A failed write closed the file and has been reported.
    if (engine.currentFile == INVALID_HANDLE_VALUE)
        return incomplete();
    ExpansionEnd end = expansionEnd(expanded, engine.chunkBytesLeft, engine.fileContinues);
    // Damaged data, also when it still decodes (the check file's CRC).
    if (end == ExpansionEnd::Damaged || !expandedMatchesCheck(*run)) {
        if (end == ExpansionEnd::Damaged)
            logEvent(LogReadError, engine.volumePath, target, 0, 0, "the file's data is damaged");
        else
            logEvent(LogCrcError, target);
        incomplete();
        engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    SetFileTime(engine.currentFile, nullptr, nullptr, &record.lastWriteTime);
    win32::closeFile(engine.currentFile);
    if (staged) {
        StepResult placed = putInPlace(engine, *run, target, existed, side, temporaryName);
        if (placed != StepContinue)
            return placed;
    }
    // The stream ended at its end code: its file is whole, and the next
    // record follows the rest of its chunks.
    return end == ExpansionEnd::SkipRest ? skipFile(engine) : StepContinue;
}

// Re-points a shortcut at this machine, in the file that was written.
// StepContinue, or StepFailure with 11116 shown.
StepResult fixShortcut(SetupFileManager& engine, char* installDir, char* target,
                       char* temporaryName) {
    char* written = nullptr;
    switch (shortcutFixUp(target, temporaryName)) {
    case ShortcutFixUp::None: return StepContinue;
    case ShortcutFixUp::Target: written = target; break;
    case ShortcutFixUp::Temporary: written = temporaryName; break;
    }
    if (!engine.QRV_ShortcutModification(installDir, written, engine.shortcutPrefixLength)) {
        logEvent(LogWriteError, written, "", GetLastError(), 0, "shortcut not re-pointed");
        engine.ShowMessage(IDS_SHORTCUT_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    return StepContinue;
}

// Appends the file's protocol records to Install.log, each with one write.
// The file's records go in whole or not at all: after a failed or short
// write (a full disk) the log is cut back to where they began, so it always
// holds whole records of whole files. StepContinue, or StepFailure with 11119
// shown.
StepResult writeProtocol(SetupFileManager& engine, const tagCompressFileHeader& record,
                         const char* temporaryName) {
    tagCompressFileHeader records[2];
    size_t count = protocolRecords(record, temporaryName, records);
    LARGE_INTEGER start = {};
    const LARGE_INTEGER here = {};
    bool startKnown = SetFilePointerEx(engine.logFile, here, &start, FILE_CURRENT) != FALSE;
    for (size_t i = 0; i < count; ++i) {
        if (!writeAll(engine.logFile, &records[i], sizeof records[i])) {
            logEvent(LogProtocolError, kInstallLogName, record.fileName, GetLastError());
            if (startKnown && SetFilePointerEx(engine.logFile, start, nullptr, FILE_BEGIN))
                SetEndOfFile(engine.logFile);
            engine.ShowMessage(IDS_PROTOCOL_WRITE_ERROR, MB_ICONSTOP);
            return StepFailure;
        }
    }
    if (EngineRun* run = EngineRun::of(engine))
        noteWritten(*run, record);
    return StepContinue;
}

// ---------------------------------------------------------------------------
// Decompressor callbacks; `param` is the object.

// The bytes delivered, or 0 (end of input for the decompressor) when the read
// did not succeed or the file's write already failed. The reader serves them
// from the run's read-ahead (reader/ReadAhead.h) during the file loop.
unsigned int SetupFileManager::ReadBuff(char* buffer, unsigned int* size, void* param) {
    SetupFileManager* self = static_cast<SetupFileManager*>(param);
    if (self->currentFile == INVALID_HANDLE_VALUE)
        return 0;
    unsigned int count = *size;
    int r = self->Read(reinterpret_cast<unsigned char*>(buffer), &count, ReadModeFileData);
    self->lastTransferStatus = r;
    return r == StepContinue ? count : 0;
}

// Takes a block of the file's expanded bytes (in order, each exactly once:
// the place for anything that looks at the content), collects it for
// writing, and reports the file's percentage. A failed write is shown once;
// the file is closed, which stops the reads and tells the loop. Outside
// writeTarget's expansion each block is written at once.
void SetupFileManager::WriteBuff(char* buffer, unsigned int* size, void* param) {
    SetupFileManager* self = static_cast<SetupFileManager*>(param);
    if (self->currentFile == INVALID_HANDLE_VALUE)
        return;
    EngineRun* run = EngineRun::of(*self);
    FileOutput* output = run ? run->output : nullptr;
    bool stored;
    if (output) {
        // The per-file check sees the decoder's output as it comes.
        sumExpanded(*run, buffer, *size);
        stored = output->add(buffer, *size);
    } else {
        stored = writeAll(self->currentFile, buffer, *size);
    }
    if (!stored) {
        reportWriteFailure(*self);
        return;
    }
    self->currentWritten += *size;
    unsigned int percent = filePercent(self->currentWritten, self->currentSize);
    // Only kept: a run given up ends after this file, at the next notification.
    int answer = StepUserBreak;
    self->lastTransferStatus = notify(*self, InfoFilePercent, &percent, &answer) ? answer : StepUserBreak;
}
