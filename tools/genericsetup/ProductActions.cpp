// What the generic setup adds once the product's files are installed: the
// shortcuts (made by the shell through IShellLink and IPersistFile), the
// registry values and the file types of the product file. Each is listed
// for the uninstaller as it is made: a shortcut as an Install.log record in
// its shell folder (the uninstaller removes it as it removes a shortcut the
// archive installed), a value and every key created on its way in
// InstallReg.log (format/RegistryList.h), merged with the list an earlier
// run of the product left. Each is part of the run as well: the values go
// through Setup's registry writing and the files and folders are journalled
// (JournalCreation) before they are made, so that a run undone after them
// (a registration that fails, a kill) leaves none of them.
#include <windows.h>
#include <shlobj.h>

#include "tools/genericsetup/GenericRules.h"
#include "tools/genericsetup/GenericSetup.h"
#include "format/InstallLog.h"
#include "format/RegistryList.h"
#include "format/VolumeFormat.h"
#include "win32/CodePage.h"
#include "win32/ListedRoot.h"
#include "win32/Ownership.h"

namespace {

// The names are in the code page (toCodePage in GenericSetup.cpp).
std::wstring wide(const std::string& text) { return win32::wideText(text, CP_ACP); }

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Makes `folder` and the folders above it that are missing.
bool makeFolders(const std::string& folder) {
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::string parent = folderOf(folder);
    if (parent.empty() || parent.size() >= folder.size() || !makeFolders(parent))
        return false;
    return CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The shell link at `path` to `target`, started with `arguments` in the
// target's folder and showing `icon`'s first icon.
bool saveShortcut(const std::string& path, const std::string& target, const std::string& arguments,
                  const std::string& icon) {
    win32::ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.outVoid())))
        return false;
    link->SetPath(wide(target).c_str());
    link->SetArguments(wide(arguments).c_str());
    link->SetWorkingDirectory(wide(folderOf(target)).c_str());
    link->SetIconLocation(wide(icon).c_str(), 0);
    win32::ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.outVoid())))
        return false;
    return SUCCEEDED(file->Save(wide(path).c_str(), TRUE));
}

bool appendToFile(const std::string& path, const void* bytes, DWORD size) {
    win32::FileHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file.valid() && WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
}

// The levels of `entry`'s key that are not there yet, parents first, as the
// list names the keys a write creates.
std::vector<ListedEntry> missingKeys(const ListedEntry& entry) {
    std::vector<ListedEntry> missing;
    for (std::string level = entry.key; !level.empty();) {
        win32::RegistryKey probe;
        if (RegOpenKeyExA(win32::listedRootKey(entry.root), level.c_str(), 0, KEY_READ, probe.out()) == ERROR_SUCCESS)
            break;
        ListedEntry made;
        made.createdKey = true;
        made.root = entry.root;
        made.key = level;
        missing.insert(missing.begin(), made);
        size_t slash = level.rfind('\\');
        level.resize(slash == std::string::npos ? 0 : slash);
    }
    return missing;
}

}  // namespace

bool GenericProduct::afterInstall() { return makeShortcuts() && writeRegistry(); }

bool GenericProduct::makeShortcuts() {
    if (description.shortcuts.empty())
        return true;
    win32::ComApartment com;
    std::string logPath = installedPath(installDirectory, kInstallLogName);
    for (const Shortcut& shortcut : description.shortcuts) {
        ShortcutPlacement place = shortcutPlacement(shortcut, facts.productName);
        char shell[PathSize] = "";
        int csidl = place.targetDir == TargetDesktop ? CSIDL_DESKTOPDIRECTORY : CSIDL_PROGRAMS;
        if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, shell))) {
            log.line("shortcut " + shortcut.name + ": its shell folder is unknown");
            return false;
        }
        std::string folder = place.subDir.empty() ? std::string(shell) : installedPath(shell, place.subDir);
        std::string path = installedPath(folder, place.fileName);
        std::string target = installedPath(installDirectory, shortcut.target);
        std::string icon = installedPath(installDirectory, shortcut.icon.empty() ? shortcut.target : shortcut.icon);
        unsigned char record[FileRecordSize];
        // Part of the run: an undone run takes the shortcut and the folders
        // made for it away, and puts back one it replaced.
        bool made = JournalCreation(this, path.c_str(), 0) && makeFolders(folder) &&
                    saveShortcut(path, target, shortcut.arguments, icon) && shortcutLogRecord(place, 1, record) &&
                    appendToFile(logPath, record, sizeof record);
        log.line("shortcut: " + path + (made ? "" : " FAILED"));
        if (!made)
            return false;
    }
    return true;
}

bool GenericProduct::writeRegistry() {
    std::vector<ListedEntry> values;
    for (const RegistryValue& value : description.registry)
        values.push_back(registryValueEntry(value));
    for (const Association& association : description.associations)
        for (const ListedEntry& value : associationValues(association, installDirectory))
            values.push_back(value);
    if (values.empty())
        return true;
    std::vector<ListedEntry> listed;
    bool written = true;
    for (const ListedEntry& value : values) {
        for (const ListedEntry& key : missingKeys(value))
            listed.push_back(key);
        std::string key = value.key, name = value.name, text = value.text;
        DWORD number = value.number;
        // Through the library: while the run keeps its journal, the keys it
        // makes and the value's earlier bytes are journalled first.
        written = value.type == ListedType::Dword
                      ? WriteToRegistry(win32::listedRootKey(value.root), &key[0], &name[0], REG_DWORD,
                                        reinterpret_cast<unsigned char*>(&number), sizeof number)
                      : WriteToRegistry(win32::listedRootKey(value.root), &key[0], &name[0],
                                        value.type == ListedType::String ? REG_SZ : REG_EXPAND_SZ,
                                        reinterpret_cast<unsigned char*>(&text[0]),
                                        static_cast<unsigned long>(text.size() + 1));
        listed.push_back(value);
        log.line("registry: " + registryListLine(value).substr(0, registryListLine(value).size() - 2) +
                 (written ? "" : " FAILED"));
        if (!written)
            break;
    }
    // What was written is listed even when a value failed: the uninstaller
    // removes that much. A list an earlier run left keeps its entries.
    std::string listPath = installedPath(installDirectory, kRegistryListName);
    std::vector<ListedEntry> earlier;
    {
        win32::FileHandle file(CreateFileA(listPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        char buffer[65536];
        DWORD got = 0;
        std::string text;
        while (file.valid() && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got)
            text.append(buffer, got);
        size_t bad = 0;
        if (!parseRegistryList(text, &earlier, &bad))
            log.line("registry list: the earlier " + listPath + " is damaged at line " + std::to_string(bad) +
                     "; written anew");
    }
    std::string text;
    for (const ListedEntry& entry : mergeRegistryLists(earlier, listed))
        text += registryListLine(entry);
    if (!JournalCreation(this, listPath.c_str(), 0)) {
        log.line("registry list: " + listPath + " cannot be made part of the run");
        return false;
    }
    win32::FileHandle file(CreateFileA(listPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD done = 0;
    bool saved = file.valid() && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
                 done == text.size();
    log.line("registry list: " + listPath + (saved ? "" : " FAILED"));
    return written && saved;
}
