// SetupFileManager: the install engine. It opens the archive (header check,
// write probe of the system directory, Install.log), then installs one file
// per record: group and version decisions, the target path and its
// directories, the "before a file" notification, the target or a temporary
// file beside it when the target is in use, expansion through the
// decompressor, time stamp, shortcut fix-up and protocol records.
//
// Runs on the file-copy worker thread; every notification goes through the
// virtual TakeProcessInfo, so the most derived override receives it. The
// decisions themselves live in EngineRules (portable, tested natively).
//
// Rules of our own where the archive can be damaged or unusual:
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
//  - A write to the target that fails is reported once (11115, and command
//    11101 to the background window); the file's expansion stops there, it
//    gets no protocol record, and the run ends with 0.
//  - A file whose data does not end where its stream ends, and an empty
//    volume met while records are still expected, stop the run with 11113.
//  - Install.log holds whole records of whole files: a protocol write that
//    fails or stops short cuts the log back to where the file's records
//    began (11119, the run ends with 0).
//  - Per-file check: when the set has a check file (Data.Chk beside
//    Data1.Dat), InitSFM reads it; one that is damaged or belongs to another
//    set stops the run with 11113 before Install.log is made. Each record
//    read must match its entry (else 11113 before anything is made for it),
//    and each file's expanded bytes its CRC-32: a file that differs is
//    deleted, 11113 is shown and the run ends with 0, the files before it
//    keeping their records. Without the file nothing changes.
//  - A system file redirected to the Windows directory gets its
//    subdirectories created there, not in the write-protected system
//    directory.
//  - A shortcut written under a temporary name (the real one was in use) is
//    fixed up in that temporary file, which is the one that will take its place.
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
//  - A stream that reaches its end code with bytes of its chunks left is
//    complete: the rest is skipped like a skipped file's data.
//  - A target in a drive root gets its temporary file in that root.
//
// Speed: an install costs about what copying its files costs, because the
// system calls per file are few. During MakeSetupFileOperation the engine
// keeps, beside the object (whose layout is fixed), an EngineRun: the
// volume's read-ahead and the folders already made or found, which are then
// only checked for existence (one call) instead of walked level by level.
// The decompressor's 4,096-byte blocks are collected per file into writes of
// FileOutput::kSize bytes.
#include "Setup.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "explode/Explode.h"
#include "common/ThreadScoped.h"
#include "filemanager/EngineRules.h"
#include "format/FileCheck.h"
#include "reader/ReadAhead.h"
#include "format/VolumeFormat.h"
#include "resources/resource.h"
#include "win32/Ownership.h"


namespace {

// Process-wide number of the last file-in-use exchange: the rename file's
// keys go on from one object to the next and are never reused in a process.
unsigned int exchangeCounter = 0;

// ---------------------------------------------------------------------------
// The per-file check of a run. The exported classes' data members are part
// of the binary interface, so the check table cannot live in the object: it
// is kept beside it, keyed by the object's address, made by InitSFM when the
// set has a check file and dropped at the end of the run, by a new InitSFM
// and by the destructor. One lock guards the map (engines on several
// threads); the expansion itself reaches its table through `expanding`, a
// pointer of the worker thread, so the decoder's output is summed without a
// lock.

struct RunCheck {
    const SetupFileManager* owner;
    CheckTable table;
    uint32_t nextFile = 0;                // entry of the next first record
    const CheckEntry* current = nullptr;  // entry of the file being installed
    uint32_t crc = 0;                     // of the bytes expanded so far
    uint32_t bytes = 0;
};

std::mutex runChecksLock;
std::map<const SetupFileManager*, std::unique_ptr<RunCheck>> runChecks;
thread_local RunCheck* expanding = nullptr;

RunCheck* runCheckOf(const SetupFileManager* engine) {
    std::lock_guard<std::mutex> hold(runChecksLock);
    auto found = runChecks.find(engine);
    return found == runChecks.end() ? nullptr : found->second.get();
}

void dropRunCheck(const SetupFileManager* engine) {
    std::lock_guard<std::mutex> hold(runChecksLock);
    runChecks.erase(engine);
}

void keepRunCheck(std::unique_ptr<RunCheck> check) {
    std::lock_guard<std::mutex> hold(runChecksLock);
    const SetupFileManager* owner = check->owner;
    runChecks[owner] = std::move(check);
}

// The decoder's output, summed for the file being checked (the hook of
// WriteBuff, before anything else is done with the bytes).
void sumOutput(const SetupFileManager* engine, const char* buffer, unsigned int size) {
    RunCheck* check = expanding;
    if (check && check->owner == engine) {
        check->crc = crc32Update(check->crc, buffer, size);
        check->bytes += size;
    }
}

enum class CheckFileRead { Absent, Read, Damaged };

// Reads the check file beside the first volume (`volumePath`) into `table`.
// Absent when there is none; Damaged when it cannot be read, its length is
// not that of a check file of `fileCount` files, or its own checksum fails.
CheckFileRead readCheckFile(const char* volumePath, uint32_t fileCount, CheckTable* table) {
    char path[PathSize];
    if (!copyPath(path, volumePath) || !cutAtLastBackslash(path) || !appendName(path, kCheckFileName))
        return CheckFileRead::Absent;
    win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CheckFileRead::Absent
                                                                              : CheckFileRead::Damaged;
    }
    uint64_t expected = CheckHeaderSize + static_cast<uint64_t>(fileCount) * CheckEntrySize +
                        CheckTrailerSize;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) != expected ||
        fileCount > CheckMaxFiles)
        return CheckFileRead::Damaged;
    std::vector<unsigned char> bytes(static_cast<size_t>(expected));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size())
        return CheckFileRead::Damaged;
    return parseCheckFile(bytes.data(), bytes.size(), table) == CheckFileState::Valid
               ? CheckFileRead::Read
               : CheckFileRead::Damaged;
}

// How this thread's last file-in-use exchange was recorded, so that a file
// whose content then cannot be written whole can take it back.
struct RecordedExchange {
    enum Kind { None, RenameFile, Wininit } kind;
    unsigned int number;         // RenameFile: the keys' number
    char renameFile[PathSize];   // RenameFile: QrvInit.Ini's path
    char line[kRenameLineSize];  // Wininit: the line added to [rename]
};
thread_local RecordedExchange lastExchange;

struct Expansion;

// What a run keeps beside the engine object: see the file's opening comment.
// Registered for the running thread; runs may nest, the innermost for an
// object is the one it uses.
class EngineRun : public ThreadScoped<EngineRun> {
public:
    explicit EngineRun(SetupFileManager& engine) : engine_(engine), volumes_(engine) {}

    static EngineRun* of(const SetupFileManager& engine) {
        return find([&](const EngineRun& run) { return &run.engine_ == &engine; });
    }
    bool knows(const char* folder) const { return folders_.count(folder) != 0; }
    // The run's expansion memory, made at the first file and used by every
    // file after it; null without memory.
    Expansion* expansion();
    // Without memory the folder is simply walked again next time.
    void remember(const char* folder) {
        try {
            folders_.insert(folder);
        } catch (const std::bad_alloc&) {
        }
    }

private:
    SetupFileManager& engine_;
    ReadAhead volumes_;
    std::unordered_set<std::string> folders_;
    std::unique_ptr<Expansion> expansion_;
};

// The output of the file being expanded: the decompressor's blocks collected
// into writes of kSize bytes. Registered for the thread and engine while the
// file is expanded; WriteBuff without one writes each block at once.
class FileOutput : public ThreadScoped<FileOutput> {
public:
    static const unsigned int kSize = 64 * 1024;

    FileOutput(SetupFileManager& engine, unsigned char* bytes) : engine_(engine), bytes_(bytes) {}

    static FileOutput* of(const SetupFileManager& engine) {
        return find([&](const FileOutput& out) { return &out.engine_ == &engine; });
    }
    // False when a write failed; what was collected is gone either way.
    bool add(const char* data, unsigned int count);
    bool flush();

private:
    SetupFileManager& engine_;
    unsigned char* bytes_;
    unsigned int used_ = 0;
};

// What one file's expansion needs, in one allocation (once per run: a large
// block allocated and freed per file costs system calls of its own).
struct Expansion {
    ExplodeWork work;
    unsigned char output[FileOutput::kSize];
};

Expansion* EngineRun::expansion() {
    if (!expansion_)
        expansion_.reset(new (std::nothrow) Expansion);
    return expansion_.get();
}

bool writeAll(HANDLE file, const void* data, unsigned int count) {
    DWORD done = 0;
    return WriteFile(file, data, count, &done, nullptr) && done == count;
}

bool FileOutput::add(const char* data, unsigned int count) {
    if (count > kSize - used_ && !flush())
        return false;
    if (count >= kSize)
        return writeAll(engine_.currentFile, data, count);
    memcpy(bytes_ + used_, data, count);
    used_ += count;
    return true;
}

bool FileOutput::flush() {
    unsigned int count = used_;
    used_ = 0;
    return count == 0 || writeAll(engine_.currentFile, bytes_, count);
}

// A failed write of the current file, reported once: the file is closed,
// which stops the reads and tells the loop.
void reportWriteFailure(SetupFileManager& engine) {
    win32::closeFile(engine.currentFile);
    engine.ShowMessage(IDS_WRITE_ERROR, MB_ICONSTOP);
    // During a run the message parent is the progress dialog, whose owner is
    // the background window: command 11101 closes it without a question.
    HWND background = GetParent(engine.GetParentForMessage());
    if (background)
        PostMessageA(background, WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
}

// Takes back the exchange recorded for `temporaryName` (closed already) and
// deletes the file: its content is incomplete.
void takeBackExchange(char* temporaryName) {
    RecordedExchange& recorded = lastExchange;
    if (recorded.kind == RecordedExchange::RenameFile) {
        char key[32];
        snprintf(key, sizeof key, "TempName%u", recorded.number);
        WritePrivateProfileStringA("", key, nullptr, recorded.renameFile);
        snprintf(key, sizeof key, "RealName%u", recorded.number);
        WritePrivateProfileStringA("", key, nullptr, recorded.renameFile);
    } else if (recorded.kind == RecordedExchange::Wininit) {
        const DWORD capacity = 32767;
        std::unique_ptr<char[]> section(new (std::nothrow) char[capacity]);
        if (section) {
            DWORD used = GetPrivateProfileSectionA("rename", section.get(), capacity, "wininit.ini");
            if (used < capacity - 2 && removeSectionLine(section.get(), recorded.line))
                WritePrivateProfileSectionA("rename", section.get(), "wininit.ini");
        }
    }
    recorded.kind = RecordedExchange::None;
    DeleteFileA(temporaryName);
    temporaryName[0] = '\0';
}

// Makes the folder of a target. A folder made or found earlier in this run
// is only checked: it is there unless something removed it behind our back.
bool makeFolder(SetupFileManager& engine, const char* path) {
    EngineRun* run = EngineRun::of(engine);
    if (run && run->knows(path)) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
    }
    if (!engine.DirCreation(path))
        return false;
    if (run)
        run->remember(path);
    return true;
}

bool windowsDirectory(char* path) {
    UINT n = GetWindowsDirectoryA(path, PathSize);
    return n > 0 && n < PathSize;
}

bool systemDirectory(char* path) {
    UINT n = GetSystemDirectoryA(path, PathSize);
    return n > 0 && n < PathSize;
}

HANDLE createForWriting(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// A shipped shortcut path rewritten for this machine.
//   > 0 rewritten into `result` (the value QRV_DirReparing reports)
//     0 no usable keyword (root, unknown, no keyword at all): `result` untouched
//    -1 the rewritten path does not fit a path buffer
int repare(SetupFileManager& engine, char* result, const char* shipped, unsigned int prefixLength,
           const char* installDir) {
    ShippedPath split;
    if (!splitShippedPath(shipped, prefixLength, &split))
        return 0;
    char dir[PathSize] = "";
    int status = 0;
    switch (split.keyword) {
    case Keyword::Work:
        status = copyPath(dir, installDir) ? 1 : -1;
        break;
    case Keyword::Windows:
        status = static_cast<int>(GetWindowsDirectoryA(dir, PathSize));
        break;
    case Keyword::System: {
        char system[PathSize] = "";
        UINT n = GetSystemDirectoryA(system, PathSize);
        // A system directory marked read-only sends its files to Windows.
        if (n > 0 && n < PathSize && engine.QRV_IsReadOnly(system)) {
            status = static_cast<int>(GetWindowsDirectoryA(dir, PathSize));
        } else {
            status = static_cast<int>(n);
            memcpy(dir, system, sizeof dir);
        }
        break;
    }
    case Keyword::Desktop: status = engine.QRV_SpecialDir(dir, CSIDL_DESKTOPDIRECTORY); break;
    case Keyword::Startup: status = engine.QRV_SpecialDir(dir, CSIDL_STARTUP); break;
    case Keyword::StartMenu: status = engine.QRV_SpecialDir(dir, CSIDL_STARTMENU); break;
    case Keyword::Programs: status = engine.QRV_SpecialDir(dir, CSIDL_PROGRAMS); break;
    case Keyword::Root:
    case Keyword::Unknown: return 0;
    }
    if (status <= 0)
        return status;
    if (status >= static_cast<int>(PathSize) || !appendText(dir, split.tail))
        return -1;
    memcpy(result, dir, PathSize);
    return status;
}

// Rewrites the loaded link. 1 rewritten and saved, or left as shipped; 0 a
// COM step failed or a rewritten path would not fit.
int rewriteLink(SetupFileManager& engine, const win32::ComPtr<IShellLinkA>& link,
                const win32::ComPtr<IPersistFile>& file, const char* shortcut,
                unsigned int prefixLength, const char* installDir) {
    WCHAR wideName[PathSize] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, shortcut, -1, wideName, PathSize))
        return 0;
    if (FAILED(file->Load(wideName, STGM_READ)))
        return 0;
    char workDir[PathSize] = {};
    char target[PathSize] = {};
    char rewritten[PathSize] = {};
    WIN32_FIND_DATAA found = {};
    if (FAILED(link->GetWorkingDirectory(workDir, PathSize)))
        return 0;
    if (FAILED(link->GetPath(target, PathSize, &found, SLGP_UNCPRIORITY)))
        return 0;

    int status = repare(engine, rewritten, target, prefixLength, installDir);
    if (status < 0)
        return 0;
    if (status == 0)
        return 1;  // no keyword: the shortcut stays as shipped
    if (FAILED(link->SetPath(rewritten)))
        return 0;

    status = repare(engine, rewritten, workDir, prefixLength, installDir);
    if (status < 0)
        return 0;
    if (status == 0)
        return 1;  // nothing saved: the new target is dropped with the object
    link->SetWorkingDirectory(rewritten);  // a failure here shows in the save
    return SUCCEEDED(file->Save(wideName, TRUE)) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The steps of installing one file, in the order ProgramFilesCreation takes
// them. Each acts; the decisions are EngineRules'.

// Skipping moves past the file's data, through its continuation volumes.
// Results: the reader's, except that volumes ending on the way are damage
// (StepFailure, 11113 shown).
StepResult skipFile(SetupFileManager& engine) {
    int r = engine.Seek();
    if (r == StepEndOfData) {
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
        engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    if (r != StepContinue)
        return static_cast<StepResult>(r);
    *intact = parseRecord(raw, record);
    // With a check file, the record must be the one packed.
    if (RunCheck* check = runCheckOf(&engine)) {
        check->current = check->nextFile < check->table.entries.size()
                             ? &check->table.entries[check->nextFile++]
                             : nullptr;
        if (check->current && check->current->recordCrc != crc32Update(0, raw, sizeof raw)) {
            engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
            return StepFailure;
        }
    }
    return StepContinue;
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
    int answer = engine.TakeProcessInfo(InfoBeforeFile, &notice);
    // The product may change the group from inside the notification.
    return decideAfterNotice(static_cast<FileNoticeAnswer>(answer),
                             groupState(engine.groupList, record.group));
}

// Expands the file's data into the target, or into a temporary file beside
// it when the target is in use (its path then in temporaryName, else ""),
// and gives it the record's time stamp. StepContinue written and closed;
// StepFailure shown (a file whose bytes differ from the check file's CRC is
// deleted first); the result of skipping bytes left after the stream's end
// code.
StepResult writeTarget(SetupFileManager& engine, const tagCompressFileHeader& record,
                       char* target, char* temporaryName) {
    temporaryName[0] = '\0';
    if (engine.QRV_IsReadOnly(target) && !SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL)) {
        engine.ShowMessage(IDS_WRITE_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    engine.currentFile = engine.ExchFilePrepare(target, temporaryName);
    if (engine.currentFile == INVALID_HANDLE_VALUE) {
        engine.ShowMessage(IDS_CANNOT_CREATE_FILE, MB_ICONSTOP);
        return StepFailure;
    }
    // A file whose content is not whole must not be exchanged at the next start.
    auto incomplete = [&]() {
        win32::closeFile(engine.currentFile);
        if (temporaryName[0])
            takeBackExchange(temporaryName);
        return StepFailure;
    };

    // The run's memory, or this file's own outside a run.
    EngineRun* run = EngineRun::of(engine);
    std::unique_ptr<Expansion> own;
    Expansion* expansion = run ? run->expansion() : nullptr;
    if (!run) {
        own.reset(new (std::nothrow) Expansion);
        expansion = own.get();
    }
    if (!expansion) {
        incomplete();
        engine.ShowMessage(IDS_NO_MEMORY, MB_ICONSTOP);
        return StepFailure;
    }
    RunCheck* check = runCheckOf(&engine);
    if (check && check->current) {
        check->crc = 0;
        check->bytes = 0;
        expanding = check;
    } else {
        check = nullptr;
    }
    unsigned int expanded;
    {
        FileOutput output(engine, expansion->output);
        expanded = Explode(SetupFileManager::ReadBuff, SetupFileManager::WriteBuff,
                           &expansion->work, &engine);
        // What the decompressor handed over reaches the file, also when the
        // stream turns out damaged.
        if (engine.currentFile != INVALID_HANDLE_VALUE && !output.flush())
            reportWriteFailure(engine);
    }
    expanding = nullptr;
    own.reset();
    // A failed write closed the file and has been reported.
    if (engine.currentFile == INVALID_HANDLE_VALUE)
        return incomplete();
    ExpansionEnd end = expansionEnd(expanded, engine.chunkBytesLeft, engine.fileContinues);
    if (end == ExpansionEnd::Damaged) {
        incomplete();
        engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    // Damaged data that still decodes: the file is not left behind, and a
    // temporary one takes its recorded exchange with it.
    if (check && (check->crc != check->current->dataCrc ||
                  check->bytes != check->current->expandedSize)) {
        bool temporary = temporaryName[0] != '\0';
        incomplete();
        if (!temporary)
            DeleteFileA(target);
        engine.ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    SetFileTime(engine.currentFile, nullptr, nullptr, &record.lastWriteTime);
    win32::closeFile(engine.currentFile);
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
        DWORD done = 0;
        if (!WriteFile(engine.logFile, &records[i], sizeof records[i], &done, nullptr) ||
            done != sizeof records[i]) {
            if (startKnown && SetFilePointerEx(engine.logFile, start, nullptr, FILE_BEGIN))
                SetEndOfFile(engine.logFile);
            engine.ShowMessage(IDS_PROTOCOL_WRITE_ERROR, MB_ICONSTOP);
            return StepFailure;
        }
    }
    return StepContinue;
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
    dropRunCheck(this);
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
//                  or another set's)
//   StepUserBreak  the user gave up at the first disk prompt (from the reader)
int SetupFileManager::InitSFM(char* installDir) {
    systemDirReadOnly = IsSysReadOnly();

    ArchiveHeader header;
    memset(&header, 0, sizeof header);  // a short volume leaves zeros, not garbage
    unsigned int size = sizeof header;
    int r = Read(reinterpret_cast<unsigned char*>(&header), &size, ReadModePlain);
    if (r == StepEndOfData) {
        ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    if (r != StepContinue)
        return r;
    if (header.formatVersion != ArchiveFormatVersion) {
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

    // The per-file check, when the set has one; it must be this set's.
    dropRunCheck(this);
    std::unique_ptr<RunCheck> check(new (std::nothrow) RunCheck{this, {}});
    if (!check) {
        ShowMessage(IDS_NO_MEMORY, MB_ICONSTOP);
        return StepFailure;
    }
    switch (readCheckFile(volumePath, header.fileCount, &check->table)) {
    case CheckFileRead::Absent: break;
    case CheckFileRead::Damaged:
        ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
        return StepFailure;
    case CheckFileRead::Read:
        if (!checkTableFitsHeader(check->table, reinterpret_cast<const unsigned char*>(&header),
                                  header.fileCount)) {
            ShowMessage(IDS_EXPAND_ERROR, MB_ICONSTOP);
            return StepFailure;
        }
        keepRunCheck(std::move(check));
        break;
    }

    // The whole path is checked before any directory is made.
    char path[PathSize];
    if (copyPath(path, installDir) && appendName(path, "Install.log") && DirCreation(installDir))
        logFile = createForWriting(path);
    if (logFile == INVALID_HANDLE_VALUE) {
        ShowMessage(IDS_CANNOT_CREATE_FILE, MB_ICONSTOP);
        return StepFailure;
    }
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
    EngineRun run(*this);
    for (unsigned int i = 0; i < fileCount; ++i) {
        char volume[PathSize];
        GetFileName(volume);
        TakeProcessInfo(InfoVolumeOpened, volume);

        int r = ProgramFilesCreation(installDir);
        if (r != StepContinue)
            return r;

        unsigned int percent = overallPercent(i + 1, fileCount);
        int answer = TakeProcessInfo(InfoOverallPercent, &percent);
        if (answer == StepUserBreak)
            return StepUserBreak;
        if (answer == StepFailure)
            return StepFailure;
    }
    win32::closeFile(logFile);
    dropRunCheck(this);
    return rebootFlag == 1 ? StepDoneReboot : StepContinue;
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

    if (groupState(groupList, record.group) == 0)
        return skipFile(*this);

    char target[PathSize];
    if (!intact) {
        ShowMessage(IDS_TARGET_PATH_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    if (!QRV_GetFileName(installDir, target, &record))
        return StepFailure;

    FileDecision decision = placeFile(*this, record, target);
    if (decision == FileDecision::Install)
        decision = askBeforeFile(*this, record, target);
    if (decision != FileDecision::Install)
        return leaveFile(*this, decision);

    char temporaryName[PathSize];
    r = writeTarget(*this, record, target, temporaryName);
    if (r == StepContinue)
        r = fixShortcut(*this, installDir, target, temporaryName);
    if (r == StepContinue)
        r = writeProtocol(*this, record, temporaryName);
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
    }
    if (ok && record->subDir[0])
        ok = appendName(path, record->subDir);
    // A write-protected system directory cannot gain subdirectories; its
    // files go to the Windows directory, where they are made.
    if (ok && !makeFolder(*this, path))
        ok = record->targetDir == TargetSystem && systemDirReadOnly == 1;
    if (ok)
        ok = appendName(path, record->fileName);
    if (!ok) {
        ShowMessage(IDS_TARGET_PATH_ERROR, MB_ICONSTOP);
        return 0;
    }
    memcpy(target, path, PathSize);
    return 1;
}

// ---------------------------------------------------------------------------
// Versions.

char* SetupFileManager::GetClearName(char* path, int system) {
    char dir[PathSize];
    bool ok = system ? systemDirectory(dir) : windowsDirectory(dir);
    size_t skip = ok ? strlen(dir) : 0;
    size_t length = strlen(path);
    return path + (skip < length ? skip : length);
}

// An InstalledCopy:
//   CopyAbsent       no file at the directory + relative
//   CopyReplaceable  a file is there and the record may replace it
//   CopyNewer        a file is there whose version is newer than the record's
int SetupFileManager::IsNewFile(char* relative, tagCompressFileHeader* record, int system) {
    char path[PathSize];
    bool ok = system ? systemDirectory(path) : windowsDirectory(path);
    if (!ok || !appendText(path, relative) || !QRV_FileExist(path))
        return CopyAbsent;
    return NewFileVersion(path, record) ? CopyReplaceable : CopyNewer;
}

// 1 the record's version is equal or newer, or the installed one cannot be read.
int SetupFileManager::NewFileVersion(char* path, tagCompressFileHeader* record) {
    int installed[4];
    if (!QRV_GetFileVersion(path, installed))
        return 1;
    return recordMayReplace(reinterpret_cast<const int32_t*>(installed), record->version) ? 1 : 0;
}

// 1 when the file has a version resource; `version` then holds the parts of
// its US English / code page 1252 FileVersion text (all 0 without that text).
int SetupFileManager::QRV_GetFileVersion(char* path, int* version) {
    for (int i = 0; i < 4; ++i)
        version[i] = 0;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return 0;
    std::unique_ptr<char[]> info(new (std::nothrow) char[size]);
    if (!info || !GetFileVersionInfoA(path, 0, size, info.get()))
        return 0;
    char* text = nullptr;
    UINT length = 0;
    if (VerQueryValueA(info.get(), "\\StringFileInfo\\040904E4\\FileVersion",
                       reinterpret_cast<void**>(&text), &length) &&
        text) {
        // The value's length counts its terminator; copy it out terminated.
        char copy[PathSize];
        size_t n = length < PathSize ? length : PathSize - 1;
        memcpy(copy, text, n);
        copy[n] = '\0';
        parseVersionText(copy, reinterpret_cast<int32_t*>(version));
    }
    return 1;
}

// "Exists" means openable for reading with no sharing: a file that another
// program holds open counts as absent.
int SetupFileManager::QRV_FileExist(char* path) {
    win32::FileHandle file(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Decompressor callbacks; `param` is the object.

// The bytes delivered, or 0 (end of input for the decompressor) when the read
// did not succeed or the file's write already failed.
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
// the file is closed, which stops the reads and tells the loop.
void SetupFileManager::WriteBuff(char* buffer, unsigned int* size, void* param) {
    SetupFileManager* self = static_cast<SetupFileManager*>(param);
    if (self->currentFile == INVALID_HANDLE_VALUE)
        return;
    // Per-file check: the decoder's output as it comes, before it is collected.
    sumOutput(self, buffer, *size);
    FileOutput* output = FileOutput::of(*self);
    bool stored = output ? output->add(buffer, *size) : writeAll(self->currentFile, buffer, *size);
    if (!stored) {
        reportWriteFailure(*self);
        return;
    }
    self->currentWritten += *size;
    unsigned int percent = filePercent(self->currentWritten, self->currentSize);
    self->lastTransferStatus = self->TakeProcessInfo(InfoFilePercent, &percent);
}

// ---------------------------------------------------------------------------
// Files in use.

// The target opened for writing (temporaryName ""), or a new qrv*.TMP beside
// it (temporaryName its full path) recorded for the next start of Windows, or
// INVALID_HANDLE_VALUE when neither can be had. The caller reports failures.
HANDLE SetupFileManager::ExchFilePrepare(const char* target, char* temporaryName) {
    temporaryName[0] = '\0';
    lastExchange.kind = RecordedExchange::None;
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
        lastExchange.kind = RecordedExchange::RenameFile;
        lastExchange.number = n;
        memcpy(lastExchange.renameFile, renameFile, sizeof renameFile);
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

    const DWORD capacity = 32767;
    std::unique_ptr<char[]> section(new (std::nothrow) char[capacity]);
    if (!section)
        return abandon();
    DWORD used = GetPrivateProfileSectionA("rename", section.get(), capacity, "wininit.ini");
    // A section that filled the buffer was cut: writing it back would lose lines.
    if (used >= capacity - 2 || !appendSectionLine(section.get(), capacity, used, line))
        return abandon();
    WritePrivateProfileSectionA("rename", section.get(), "wininit.ini");
    lastExchange.kind = RecordedExchange::Wininit;
    memcpy(lastExchange.line, line, sizeof line);
    return file.release();
}

// ---------------------------------------------------------------------------
// Shortcuts and special folders.

// 1 rewritten, or left as shipped (no keyword in its target or working
// directory); 0 when a COM step failed (not a link, cannot be saved ...) or a
// rewritten path would not fit a path buffer.
int SetupFileManager::QRV_ShortcutModification(char* installDir, char* shortcut,
                                               unsigned int prefixLength) {
    // The worker thread initialises COM for itself on every call. The
    // interfaces are declared after the apartment, so they go first.
    win32::ComApartment com;
    win32::ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.outVoid())))
        return 0;
    win32::ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.outVoid())))
        return 0;
    return rewriteLink(*this, link, file, shortcut, prefixLength, installDir);
}

// Nonzero with the rewritten path in `result`: 1 for work, the directory's
// length for windows and system, 1 for the special folders. 0 for root, an
// unknown keyword, a path without a keyword, or a result that does not fit a
// path buffer; `result` is then untouched. `shipped` is not changed.
int SetupFileManager::QRV_DirReparing(char* result, char* shipped, unsigned int prefixLength,
                                      char* installDir) {
    int status = repare(*this, result, shipped, prefixLength, installDir);
    return status > 0 ? status : 0;
}

// 1 with the folder's path in `path`, 0 when the shell has none.
int SetupFileManager::QRV_SpecialDir(char* path, int csidl) {
    win32::ItemList list;
    if (FAILED(SHGetSpecialFolderLocation(GetActiveWindow(), csidl, list.out())) || !list.valid())
        return 0;
    return SHGetPathFromIDListA(list.get(), path) ? 1 : 0;
}

// 1 when `path` exists and carries the read-only attribute.
int SetupFileManager::QRV_IsReadOnly(char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}
