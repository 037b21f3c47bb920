// EngineRun: the runs of the process's engines, kept beside the objects and
// found by the object's address (EngineRun.h says what a run holds and who
// reaches it from where), and the helpers the engine's files share: the
// Windows and system directories, opening a target for writing, making a
// target's folder once per run (journalled), collecting a file's output into large
// writes, and sending notifications under the run's control.
#include "filemanager/EngineRun.h"

#include <string.h>

#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "baseinterface/DiagnosticLog.h"
#include "filemanager/RunControl.h"
#include "win32/Ownership.h"

namespace {

// Every engine's run, by the engine's address. The lock guards the map only;
// each run is used by the thread that drives its engine.
std::mutex runsLock;
std::map<const SetupFileManager*, std::unique_ptr<EngineRun>> runs;
// The recovery lines of the engines whose last start undid a killed run.
std::map<const SetupFileManager*, std::string> recoveries;

}  // namespace

EngineRun* EngineRun::of(const SetupFileManager& engine) {
    std::lock_guard<std::mutex> hold(runsLock);
    auto found = runs.find(&engine);
    return found == runs.end() ? nullptr : found->second.get();
}

EngineRun* EngineRun::start(const SetupFileManager& engine) {
    std::lock_guard<std::mutex> hold(runsLock);
    std::unique_ptr<EngineRun>& run = runs[&engine];
    if (!run)
        run.reset(new (std::nothrow) EngineRun);
    if (!run) {
        runs.erase(&engine);
        return nullptr;
    }
    return run.get();
}

void EngineRun::end(const SetupFileManager& engine) {
    std::unique_ptr<EngineRun> ended;
    {
        std::lock_guard<std::mutex> hold(runsLock);
        auto found = runs.find(&engine);
        if (found == runs.end())
            return;
        ended = std::move(found->second);
        runs.erase(found);
    }
    // Freed outside the lock: other threads' lookups need not wait for it.
}

void EngineRun::noteRecovery(const SetupFileManager& engine, const std::string& line) {
    std::lock_guard<std::mutex> hold(runsLock);
    try {
        if (line.empty())
            recoveries.erase(&engine);
        else
            recoveries[&engine] = line;
    } catch (const std::bad_alloc&) {
    }
}

std::string EngineRun::recoveryOf(const SetupFileManager& engine) {
    std::lock_guard<std::mutex> hold(runsLock);
    auto found = recoveries.find(&engine);
    return found == recoveries.end() ? std::string() : found->second;
}

void EngineRun::forget(const SetupFileManager& engine) { noteRecovery(engine, ""); }

void EngineRun::startLoop(Reader& volumes) {
    // A loop inside a loop of the same engine (from a notification) goes on
    // with the outer one's read-ahead and memory.
    if (loops_++ == 0)
        volumes_.reset(new (std::nothrow) ReadAhead(volumes));  // null: direct reads
}

void EngineRun::stopLoop() {
    if (--loops_ != 0)
        return;
    volumes_.reset();
    folders_.clear();
    expansion_.reset();
}

void EngineRun::remember(const char* folder) {
    // Without memory the folder is simply walked again next time.
    try {
        folders_.insert(folder);
    } catch (const std::bad_alloc&) {
    }
}

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

// The folders of `path` that are not there yet, parents first. Without
// memory, the ones found so far.
std::vector<std::string> missingFolders(const char* path) {
    std::vector<std::string> missing;
    char folder[PathSize];
    if (!copyPath(folder, path))
        return missing;
    try {
        for (;;) {
            size_t length = strlen(folder);
            while (length > 0 && folder[length - 1] == '\\')
                folder[--length] = '\0';
            // A drive ("C:") or nothing is never made.
            if (length <= 2 || GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES)
                break;
            missing.insert(missing.begin(), folder);
            if (!cutAtLastBackslash(folder))
                break;
        }
    } catch (const std::bad_alloc&) {
    }
    return missing;
}

void noteMadeFolder(EngineRun& run, const std::string& folder) {
    // Without memory the next folder inside it is only looked for first.
    try {
        run.madeFolders.insert(folder);
    } catch (const std::bad_alloc&) {
    }
}

namespace {

// A folder inside one this run made cannot be there yet: it is journalled
// and made at once, without the look for what is missing (on Wine, a name
// that is not there costs a read of its whole folder). False when that
// does not apply or the folder could not be made so.
bool makeInsideMadeFolder(EngineRun& run, const char* path) {
    char parent[PathSize];
    if (!copyPath(parent, path) || !cutAtLastBackslash(parent) || !run.madeFolders.count(parent))
        return false;
    if (!run.journal.record(JournalEntry{JournalKind::Folder, path, "", "", 0}, false) ||
        !CreateDirectoryA(path, nullptr))
        return false;
    noteMadeFolder(run, path);
    return true;
}

}  // namespace

// A folder made or found earlier in this run is only checked: it is there
// unless something removed it behind our back. With a journal, the folders
// about to be made are recorded first.
bool makeFolder(SetupFileManager& engine, const char* path) {
    EngineRun* run = EngineRun::of(engine);
    if (run && run->knows(path)) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return true;
    }
    if (run && run->journal.isOpen()) {
        if (makeInsideMadeFolder(*run, path)) {
            logEvent(LogFolderCreated, path);
            run->remember(path);
            return true;
        }
        for (const std::string& folder : missingFolders(path)) {
            if (!run->journal.record(JournalEntry{JournalKind::Folder, folder, "", "", 0}, false))
                return false;
            noteMadeFolder(*run, folder);
        }
    }
    // Only a log needs to know which folders are new.
    std::vector<std::string> missing;
    if (logWanted())
        missing = missingFolders(path);
    if (!engine.DirCreation(path)) {
        logEvent(LogFolderRefused, path, "", GetLastError());
        return false;
    }
    for (const std::string& folder : missing)
        logEvent(LogFolderCreated, folder.c_str());
    if (run)
        run->remember(path);
    return true;
}

bool notify(SetupFileManager& engine, ProcessInfoKind kind, void* data, int* answer) {
    RunControl* control = RunControl::ofThisThread();
    // Held here while the user is asked; a run given up bothers the product no more.
    if (control && !control->mayGoOn())
        return false;
    int given = engine.TakeProcessInfo(kind, data);
    // The run may have been given up while the product's code ran.
    if (control && !control->mayGoOn())
        return false;
    if (answer)
        *answer = given;
    return true;
}

void tellWriteFailed() {
    if (RunControl* control = RunControl::ofThisThread())
        control->writeFailed();
}
