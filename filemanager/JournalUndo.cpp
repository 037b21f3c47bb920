// Undoing a run's journal, and taking back an exchange of a file in use
// (JournalUndo.h says who does it when). Every undo step tolerates a step
// that never happened: an entry is written before its step, so a kill
// between the two leaves an entry whose files are not there yet.
#include "filemanager/JournalUndo.h"

#include <string.h>

#include <memory>
#include <new>

#include "format/RenameFile.h"
#include "win32/Ownership.h"

namespace {

bool exists(const std::string& path) {
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void undoPut(const JournalEntry& entry) {
    deleteSideFile(entry.staging);
    if (entry.aside.empty()) {
        // Nothing was there before the run.
        deleteSideFile(entry.path);
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
        deleteSideFile(entry.aside);
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
    // not as an empty section. Under the rename file's lock, so that a pair
    // another setup adds meanwhile is not deleted with it.
    win32::NamedMutexLock lock(kRenameFileMutex, kRenameFileWait);
    char probe[4];
    if (GetPrivateProfileSectionA("", probe, sizeof probe, entry.staging.c_str()) == 0) {
        WritePrivateProfileStringA("", nullptr, nullptr, entry.staging.c_str());
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(entry.staging.c_str(), GetFileExInfoStandard, &data) &&
            data.nFileSizeLow == 0 && data.nFileSizeHigh == 0)
            DeleteFileA(entry.staging.c_str());
    }
}

// A registry entry's key: its root and the key below it; false when the
// name begins with no predefined root.
bool registryKeyOf(const JournalEntry& entry, HKEY* root, const char** below) {
    *root = predefinedKey(splitKeyPath(entry.path.c_str(), below));
    return *root != nullptr;
}

void undoValue(const JournalEntry& entry) {
    HKEY root;
    const char* below;
    std::string bytes;
    EarlierValue earlier = EarlierValue::Damaged;
    try {
        earlier = earlierValueOf(entry.aside, &bytes);
    } catch (const std::bad_alloc&) {
    }
    if (earlier == EarlierValue::Damaged || !registryKeyOf(entry, &root, &below))
        return;
    win32::RegistryKey key;
    if (earlier == EarlierValue::Absent) {
        if (RegOpenKeyExA(root, below, 0, KEY_SET_VALUE, key.out()) == ERROR_SUCCESS)
            RegDeleteValueA(key.get(), entry.staging.c_str());
        return;
    }
    // Made again if someone removed it meanwhile: the value had a key.
    if (RegCreateKeyExA(root, below, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.out(),
                        nullptr) == ERROR_SUCCESS)
        RegSetValueExA(key.get(), entry.staging.c_str(), 0, entry.number,
                       reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

// A key the run made goes when it is empty: its values were undone before
// it (they were journalled after it), and what others put there stays.
void undoKey(const JournalEntry& entry) {
    HKEY root;
    const char* below;
    if (!registryKeyOf(entry, &root, &below) || below[0] == '\0')
        return;
    DWORD subkeys = 1, values = 1;
    {
        win32::RegistryKey key;
        if (RegOpenKeyExA(root, below, 0, KEY_READ, key.out()) != ERROR_SUCCESS ||
            RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
    }
    if (subkeys == 0 && values == 0)
        RegDeleteKeyA(root, below);
}

}  // namespace

HKEY predefinedKey(KeyRoot root) {
    switch (root) {
    case KeyRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case KeyRoot::CurrentUser: return HKEY_CURRENT_USER;
    case KeyRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case KeyRoot::Users: return HKEY_USERS;
    case KeyRoot::None: break;
    }
    return nullptr;
}

KeyRoot predefinedRoot(HKEY key) {
    for (KeyRoot root : {KeyRoot::ClassesRoot, KeyRoot::CurrentUser, KeyRoot::LocalMachine,
                              KeyRoot::Users})
        if (predefinedKey(root) == key)
            return root;
    return KeyRoot::None;
}

void deleteSideFile(const std::string& path) {
    if (path.empty())
        return;
    if (!DeleteFileA(path.c_str()) && SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        DeleteFileA(path.c_str());
}

// Takes back the exchange recorded for `temporaryName` (closed already) and
// deletes the file: its content is incomplete, or its run is undone.
void takeBackExchange(RecordedExchange& recorded, char* temporaryName) {
    if (recorded.kind == RecordedExchange::RenameFile) {
        char temporaryKey[kExchangeKeySize];
        char realKey[kExchangeKeySize];
        exchangeKeys(recorded.number, temporaryKey, realKey);
        win32::NamedMutexLock lock(kRenameFileMutex, kRenameFileWait);
        WritePrivateProfileStringA(kRenameSection, temporaryKey, nullptr, recorded.renameFile);
        WritePrivateProfileStringA(kRenameSection, realKey, nullptr, recorded.renameFile);
    } else if (recorded.kind == RecordedExchange::Wininit) {
        std::unique_ptr<char[]> section(new (std::nothrow) char[kWininitSectionCapacity]);
        if (section) {
            DWORD used = GetPrivateProfileSectionA("rename", section.get(), kWininitSectionCapacity,
                                                   "wininit.ini");
            if (used < kWininitSectionCapacity - 2 && removeSectionLine(section.get(), recorded.line))
                WritePrivateProfileSectionA("rename", section.get(), "wininit.ini");
        }
    }
    recorded.kind = RecordedExchange::None;
    DeleteFileA(temporaryName);
    temporaryName[0] = '\0';
}

bool readWholeFile(HANDLE file, size_t largest, std::string* bytes) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || static_cast<uint64_t>(size.QuadPart) > largest)
        return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD done = 0;
    return bytes->empty() ||
           (ReadFile(file, &(*bytes)[0], static_cast<DWORD>(bytes->size()), &done, nullptr) &&
            done == bytes->size());
}

JournalFound recoverJournal(const char* folder, size_t* undone) {
    char path[PathSize];
    if (!copyPath(path, folder) || !appendName(path, kJournalName))
        return JournalFound::None;
    // A run at work holds its journal open for writing: this open, which
    // lets no writer share, fails while it does.
    win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return GetLastError() == ERROR_SHARING_VIOLATION ? JournalFound::InUse : JournalFound::None;
    // A journal names each step once; far below this.
    const size_t kLargest = 64 * 1024 * 1024;
    std::string bytes;
    std::vector<JournalEntry> entries;
    try {
        if (!readWholeFile(file.get(), kLargest, &bytes) ||
            parseJournal(bytes.data(), bytes.size(), &entries) == JournalRead::Foreign)
            return JournalFound::None;
    } catch (const std::bad_alloc&) {
        return JournalFound::None;
    }
    file.reset();
    undoEntries(entries, path);
    if (undone)
        *undone = entries.size();
    return JournalFound::RolledBack;
}

void undoEntries(const std::vector<JournalEntry>& entries, const char* beforeFolders,
                 const UndoProgress& progress) {
    size_t done = 0;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (progress)
            progress(done++, entries.size(), *entry);
        switch (entry->kind) {
        // A file removed is one replaced by nothing: put back from aside.
        case JournalKind::Put:
        case JournalKind::Remove: undoPut(*entry); break;
        case JournalKind::ExchangeIni:
        case JournalKind::ExchangeWininit: undoExchange(*entry); break;
        case JournalKind::Value: undoValue(*entry); break;
        case JournalKind::Key: undoKey(*entry); break;
        case JournalKind::Folder: break;
        }
    }
    DeleteFileA(beforeFolders);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
        if (entry->kind == JournalKind::Folder)
            RemoveDirectoryA(entry->path.c_str());
}
