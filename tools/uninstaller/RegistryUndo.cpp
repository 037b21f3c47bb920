// The registry values and keys a setup listed, removed in the order of
// registryRemovalOrder: a value only while it holds what was written, a
// key only when nothing is left in it.
#include "tools/uninstaller/RegistryUndo.h"

#include <windows.h>

#include "format/RegistryList.h"
#include "win32/ListedRoot.h"
#include "win32/Ownership.h"

namespace {

const DWORD kListLimit = 4u * 1024 * 1024;

std::string named(const ListedEntry& e) {
    static const char* const roots[] = {"HKLM", "HKCU", "HKCR"};
    std::string text = std::string(roots[static_cast<int>(e.root)]) + "\\" + e.key;
    return e.createdKey ? text : text + "\t" + (e.name.empty() ? "(default)" : e.name);
}

// Whether the value holds what the setup wrote.
bool holdsWritten(HKEY key, const ListedEntry& e) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, e.name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    std::string data(size, '\0');
    if (size && RegQueryValueExA(key, e.name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) !=
                    ERROR_SUCCESS)
        return false;
    data.resize(size);
    if (e.type == ListedType::Dword)
        return type == REG_DWORD && size == sizeof(DWORD) && *reinterpret_cast<const DWORD*>(data.data()) == e.number;
    if (type != (e.type == ListedType::String ? REG_SZ : REG_EXPAND_SZ))
        return false;
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    return data == e.text;
}

const char* undoValue(const ListedEntry& e) {
    win32::RegistryKey key;
    if (RegOpenKeyExA(win32::listedRootKey(e.root), e.key.c_str(), 0, KEY_READ | KEY_SET_VALUE, key.out()) != ERROR_SUCCESS)
        return "value already gone";
    if (!holdsWritten(key.get(), e))
        return RegQueryValueExA(key.get(), e.name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS
                   ? "kept value (changed since)"
                   : "value already gone";
    return RegDeleteValueA(key.get(), e.name.c_str()) == ERROR_SUCCESS ? "removed value" : "FAILED value";
}

const char* undoKey(const ListedEntry& e) {
    DWORD subkeys = 1, values = 1;
    {
        win32::RegistryKey key;
        if (RegOpenKeyExA(win32::listedRootKey(e.root), e.key.c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
            return "key already gone";
        if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return "FAILED key";
    }
    if (subkeys || values)
        return "kept key (not empty)";
    return RegDeleteKeyA(win32::listedRootKey(e.root), e.key.c_str()) == ERROR_SUCCESS ? "removed key" : "FAILED key";
}

}  // namespace

std::vector<std::pair<const char*, std::string>> undoRegistryList(const std::string& installFolder) {
    std::vector<std::pair<const char*, std::string>> report;
    std::string path = installFolder + (installFolder.empty() || installFolder.back() == '\\' ? "" : "\\") +
                       kRegistryListName;
    std::string text;
    {
        win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return report;  // an installation that listed nothing
        LARGE_INTEGER size = {};
        if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kListLimit) {
            report.push_back({"registry list too large: nothing of it removed", path});
            return report;
        }
        text.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!text.empty() && (!ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &got, nullptr) ||
                              got != text.size())) {
            report.push_back({"registry list unreadable: nothing of it removed", path});
            return report;
        }
    }
    std::vector<ListedEntry> entries;
    size_t bad = 0;
    if (!parseRegistryList(text, &entries, &bad)) {
        report.push_back({"registry list damaged: nothing of it removed", path + ":" + std::to_string(bad)});
    } else {
        for (const ListedEntry& e : registryRemovalOrder(entries))
            report.push_back({e.createdKey ? undoKey(e) : undoValue(e), named(e)});
    }
    if (DeleteFileA(path.c_str()))
        report.push_back({"removed", path});
    return report;
}
