// InstallJournal: writing a run's journal and committing it (InstallJournal.h
// says when each happens); undoing it is JournalUndo's, shared with the
// uninstaller.
#include "filemanager/InstallJournal.h"

#include <string.h>

#include <atomic>
#include <new>
#include <string>

#include "baseinterface/DiagnosticLog.h"
#include "filemanager/EngineRun.h"

namespace {

// Process-wide, as the product asks for it once for all its runs.
std::atomic<bool> transactions(false);

}  // namespace

bool transactionsWanted() { return transactions.load(); }

int SetInstallTransactions(int on) { return transactions.exchange(on != 0) ? 1 : 0; }

//   n > 0  the line's length (copied, cut to `size`)
//   0      nothing recovered, no engine
int GetRecoveryLine(const SetupFileManager* engine, char* line, unsigned long size) {
    std::string text;
    if (engine) {
        try {
            text = EngineRun::recoveryOf(*engine);
        } catch (const std::bad_alloc&) {
        }
    }
    if (line && size > 0) {
        size_t copied = text.size() < size ? text.size() : size - 1;
        memcpy(line, text.data(), copied);
        line[copied] = '\0';
    }
    return static_cast<int>(text.size());
}

bool InstallJournal::open(const char* folder) {
    if (isOpen() || !copyPath(path_, folder) || !appendName(path_, kJournalName))
        return false;
    entries_.clear();
    file_.reset(CreateFileA(path_, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.valid())
        return false;
    size_t length = strlen(kJournalHeader);
    if (!writeAll(file_.get(), kJournalHeader, static_cast<unsigned int>(length))) {
        file_.reset();
        DeleteFileA(path_);
        return false;
    }
    return true;
}

bool InstallJournal::record(const JournalEntry& entry, bool flush) {
    if (!isOpen())
        return false;
    std::string line;
    try {
        line = journalLine(entry);
        entries_.push_back(entry);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (line.empty() || !writeAll(file_.get(), line.data(), static_cast<unsigned int>(line.size())) ||
        (flush && !FlushFileBuffers(file_.get()))) {
        // Undone like the others: the step may not be taken, but a part of
        // the line may be on disk.
        return false;
    }
    return true;
}

void InstallJournal::commit() {
    if (!isOpen())
        return;
    for (const JournalEntry& entry : entries_)
        if (entry.kind == JournalKind::Put || entry.kind == JournalKind::Remove)
            deleteSideFile(entry.aside);
    file_.reset();
    DeleteFileA(path_);
    entries_.clear();
    logEvent(LogTransactionCommitted, path_);
}

void InstallJournal::rollBack(const UndoProgress& progress) {
    if (!isOpen())
        return;
    file_.reset();
    undoEntries(entries_, path_, progress);
    entries_.clear();
    logEvent(LogTransactionRolledBack, path_);
}

const char kKeyOnly[] = "";

namespace {

// The earlier state of `valueName` below an existing `key`, as a Value
// entry keeps it; false when it cannot be read whole or is too large.
bool readEarlierValue(HKEY key, const char* valueName, JournalEntry* value) {
    DWORD type = 0, size = 0;
    LONG r = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size);
    if (r == ERROR_FILE_NOT_FOUND)
        return true;  // absent: the entry says so already
    if (r != ERROR_SUCCESS || size > kLargestJournalledValue)
        return false;
    std::string bytes(size, '\0');
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) !=
        ERROR_SUCCESS)
        return false;
    value->aside = earlierValueField(bytes.data(), size);
    value->number = type;
    return true;
}

RegistryJournalled journalWrite(InstallJournal& journal, HKEY root, const char* subKey, const char* valueName) {
    KeyRoot named = predefinedRoot(root);
    if (named == KeyRoot::None)
        return RegistryJournalled::Refused;
    std::string below = subKey ? subKey : "";
    std::string rootName = std::string(registryRootName(named)) + "\\";
    // The levels the write will make, parents first.
    std::vector<std::string> missing;
    for (std::string level = below; !level.empty();) {
        win32::RegistryKey probe;
        if (RegOpenKeyExA(root, level.c_str(), 0, KEY_READ, probe.out()) == ERROR_SUCCESS)
            break;
        missing.insert(missing.begin(), level);
        size_t slash = level.rfind('\\');
        level.resize(slash == std::string::npos ? 0 : slash);
    }
    for (const std::string& key : missing)
        if (!journal.record(JournalEntry{JournalKind::Key, rootName + key, "", "", 0}, false))
            return RegistryJournalled::Refused;
    if (valueName == kKeyOnly)
        return RegistryJournalled::Recorded;
    JournalEntry value{JournalKind::Value, rootName + below, valueName ? valueName : "", kAbsentValueField, 0};
    if (missing.empty()) {
        win32::RegistryKey key;
        if (RegOpenKeyExA(root, below.c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS ||
            !readEarlierValue(key.get(), valueName, &value))
            return RegistryJournalled::Refused;
    }
    // A value that was there is the way back: on disk before it changes.
    return journal.record(value, value.aside != kAbsentValueField) ? RegistryJournalled::Recorded
                                                                   : RegistryJournalled::Refused;
}

}  // namespace

RegistryJournalled journalRegistryWrite(const SetupFileManager& engine, HKEY root, const char* subKey,
                                        const char* valueName) {
    EngineRun* run = EngineRun::of(engine);
    if (!run || !run->journal.isOpen())
        return RegistryJournalled::NotCovered;
    RegistryJournalled r = RegistryJournalled::Refused;
    try {
        r = journalWrite(run->journal, root, subKey, valueName);
    } catch (const std::bad_alloc&) {
    }
    if (r == RegistryJournalled::Refused)
        run->closingFailed = true;
    return r;
}

void noteRegistryFailure(const SetupFileManager& engine) {
    EngineRun* run = EngineRun::of(engine);
    if (run && run->journal.isOpen())
        run->closingFailed = true;
}

namespace {

// Journals `path`, which the product is about to create, in `run`'s
// journal: the folders missing on its way (and the folder itself) as
// folders made, a file as one put in place, moved aside first when one is
// there already so that the undo puts it back.
bool journalCreation(EngineRun& run, const char* path, bool folder) {
    char parent[PathSize];
    if (!copyPath(parent, path) || (!folder && !cutAtLastBackslash(parent)))
        return false;
    for (const std::string& made : missingFolders(parent))
        if (!run.journal.record(JournalEntry{JournalKind::Folder, made, "", "", 0}, false))
            return false;
    DWORD attributes = GetFileAttributesA(path);
    if (folder)
        return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return run.journal.record(JournalEntry{JournalKind::Put, path, "", "", 0}, false);
    char aside[PathSize];
    return !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           sideFileName(aside, sizeof aside, path, 'a', GetCurrentProcessId(), ++run.sideFiles) &&
           run.journal.record(JournalEntry{JournalKind::Put, path, "", aside, attributes}, true) &&
           MoveFileA(path, aside);
}

}  // namespace

//   1  journalled, or no run of `engine` keeps a journal
//   0  not journalled: the product must not create it; the held run is undone
int JournalCreation(SetupFileManager* engine, const char* path, int folder) {
    EngineRun* run = engine ? EngineRun::of(*engine) : nullptr;
    if (!run || !run->journal.isOpen())
        return 1;
    bool journalled = false;
    try {
        journalled = path && journalCreation(*run, path, folder != 0);
    } catch (const std::bad_alloc&) {
    }
    if (!journalled)
        run->closingFailed = true;
    return journalled ? 1 : 0;
}

//   1  the run will be undone
//   0  no run of `engine` keeps a journal
int AbandonRun(SetupFileManager* engine) {
    EngineRun* run = engine ? EngineRun::of(*engine) : nullptr;
    if (!run || !run->journal.isOpen())
        return 0;
    run->closingFailed = true;
    return 1;
}

bool settleHeldRun(SetupFileManager& engine, bool complete) {
    EngineRun* run = EngineRun::of(engine);
    if (!run || !run->commitHeld || !run->journal.isOpen()) {
        if (run && run->commitHeld)
            EngineRun::end(engine);
        return true;
    }
    bool kept = complete && !run->closingFailed;
    if (kept) {
        run->journal.commit();
        removeEmptiedFolders(*run, run->heldFolder);
    } else {
        run->journal.rollBack();
    }
    EngineRun::end(engine);
    return kept;
}

