// InstallJournal: writing a run's journal and committing it (InstallJournal.h
// says when each happens); undoing it is JournalUndo's, shared with the
// uninstaller.
#include "filemanager/InstallJournal.h"

#include <string.h>

#include <atomic>
#include <new>

#include "baseinterface/DiagnosticLog.h"
#include "filemanager/EngineRun.h"

namespace {

// Process-wide, as the product asks for it once for all its runs.
std::atomic<bool> transactions(false);

}  // namespace

bool transactionsWanted() { return transactions.load(); }

int SetInstallTransactions(int on) { return transactions.exchange(on != 0) ? 1 : 0; }

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
    char line[kJournalLineSize];
    size_t length = formatJournalEntry(entry, line, sizeof line);
    try {
        entries_.push_back(entry);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (length == 0 || !writeAll(file_.get(), line, static_cast<unsigned int>(length)) ||
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

void InstallJournal::rollBack() {
    if (!isOpen())
        return;
    file_.reset();
    undoEntries(entries_, path_);
    entries_.clear();
    logEvent(LogTransactionRolledBack, path_);
}

