// InstallJournal: writing a run's journal, committing it, and undoing what it
// names (InstallJournal.h says when each happens). Every undo step tolerates
// a step that never happened: an entry is written before its step, so a kill
// between the two leaves an entry whose files are not there yet.
#include "filemanager/InstallJournal.h"

#include <string.h>

#include <atomic>
#include <new>

#include "filemanager/EngineRun.h"

namespace {

// Process-wide, as the product asks for it once for all its runs.
std::atomic<bool> transactions(false);

bool exists(const std::string& path) {
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A moved-aside file may carry the read-only attribute it had as a target.
void deleteFile(const std::string& path) {
    if (path.empty())
        return;
    if (!DeleteFileA(path.c_str()) && SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        DeleteFileA(path.c_str());
}

void undoPut(const JournalEntry& entry) {
    deleteFile(entry.staging);
    if (entry.aside.empty()) {
        // Nothing was there before the run.
        deleteFile(entry.path);
        return;
    }
    const char* target = entry.path.c_str();
    // The target was never moved when its moved-aside copy is not there;
    // only its read-only attribute may have been cleared for writing.
    if (!exists(entry.aside)) {
        SetFileAttributesA(target, entry.number);
        return;
    }
    if (!MoveFileExA(entry.aside.c_str(), target, MOVEFILE_REPLACE_EXISTING)) {
        // Writable but not renamable (in use): put the bytes back in place.
        if (!CopyFileA(entry.aside.c_str(), target, FALSE))
            return;
        deleteFile(entry.aside);
    }
    SetFileAttributesA(target, entry.number);
}

void undoExchange(const JournalEntry& entry) {
    RecordedExchange recorded;
    if (entry.kind == JournalKind::ExchangeIni) {
        recorded.kind = RecordedExchange::RenameFile;
        recorded.number = entry.number;
        if (!copyPath(recorded.renameFile, entry.staging.c_str()))
            return;
    } else {
        recorded.kind = RecordedExchange::Wininit;
        if (entry.staging.size() >= sizeof recorded.line)
            return;
        memcpy(recorded.line, entry.staging.c_str(), entry.staging.size() + 1);
    }
    char temporary[PathSize];
    if (!copyPath(temporary, entry.path.c_str()))
        return;
    takeBackExchange(recorded, temporary);
    if (entry.kind != JournalKind::ExchangeIni)
        return;
    // The run's pairs were the only ones: the rename file goes as it came,
    // not as an empty section.
    char probe[4];
    if (GetPrivateProfileSectionA("", probe, sizeof probe, entry.staging.c_str()) == 0) {
        WritePrivateProfileStringA("", nullptr, nullptr, entry.staging.c_str());
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(entry.staging.c_str(), GetFileExInfoStandard, &data) &&
            data.nFileSizeLow == 0 && data.nFileSizeHigh == 0)
            DeleteFileA(entry.staging.c_str());
    }
}

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
        if (entry.kind == JournalKind::Put)
            deleteFile(entry.aside);
    file_.reset();
    DeleteFileA(path_);
    entries_.clear();
}

void InstallJournal::rollBack() {
    if (!isOpen())
        return;
    file_.reset();
    undoEntries(entries_, path_);
    entries_.clear();
}

JournalFound recoverJournal(const char* folder) {
    char path[PathSize];
    if (!copyPath(path, folder) || !appendName(path, kJournalName))
        return JournalFound::None;
    // A run at work holds its journal open for writing: this open, which
    // lets no writer share, fails while it does.
    win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return GetLastError() == ERROR_SHARING_VIOLATION ? JournalFound::InUse : JournalFound::None;
    LARGE_INTEGER size = {};
    // A journal names each step once; far below this.
    const LONGLONG kLargest = 64 * 1024 * 1024;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargest)
        return JournalFound::None;
    std::string bytes;
    std::vector<JournalEntry> entries;
    try {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD done = 0;
        if (!bytes.empty() &&
            (!ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &done, nullptr) ||
             done != bytes.size()))
            return JournalFound::None;
        if (parseJournal(bytes.data(), bytes.size(), &entries) == JournalRead::Foreign)
            return JournalFound::None;
    } catch (const std::bad_alloc&) {
        return JournalFound::None;
    }
    file.reset();
    undoEntries(entries, path);
    return JournalFound::RolledBack;
}

void undoEntries(const std::vector<JournalEntry>& entries, const char* beforeFolders) {
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        switch (entry->kind) {
        case JournalKind::Put: undoPut(*entry); break;
        case JournalKind::ExchangeIni:
        case JournalKind::ExchangeWininit: undoExchange(*entry); break;
        case JournalKind::Folder: break;
        }
    }
    DeleteFileA(beforeFolders);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        if (entry->kind == JournalKind::Folder)
            RemoveDirectoryA(entry->path.c_str());
}
