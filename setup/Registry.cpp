// Registry writing and application registration: one value under a root key
// given as a handle or under a key given as a text path, and the six values
// that register the installed product with Windows (setup/RegistryRules
// decides them), with the product's links it keeps for them. Nothing here shows a message: each operation returns a
// success flag and the product decides what to tell the user. While the
// engine's run keeps a journal, every key made and value written here is
// journalled first (journalRegistryWrite) and a failure noted, so that the
// run's settling undoes a registration that did not complete.
#include "Setup.h"

#include <string.h>

#include "filemanager/InstallJournal.h"
#include "setup/RegistryRules.h"
#include "win32/Ownership.h"

static_assert(REG_SZ == kTextValueType && REG_DWORD == kNumberValueType, "the value types");

namespace {

// The key a text key path names, opened or created with full access and no
// class, after its making and `valueName` (kKeyOnly: none) are journalled;
// not owned when null.
HKEY openUserKey(const Setup& setup, const char* keyPath, const char* valueName) {
    const char* rest = nullptr;
    HKEY root = predefinedKey(splitKeyPath(keyPath, &rest));
    if (!root || journalRegistryWrite(setup, root, rest, valueName) == RegistryJournalled::Refused)
        return nullptr;
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, rest, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// The class text RegisterApplication gives its keys, in writable storage
// because the member is a char*: it points here for the rest of the run.
char g_registryClassName[sizeof kRegistryClassName];

// The product's links (SetProductLinks), process-wide like the message
// hook: the exported classes have no room for them. Set and read on the
// product's thread.
char g_aboutUrl[PathSize];
char g_helpUrl[PathSize];

}  // namespace

//   1  the value is written
//   0  the key cannot be opened or created, the value cannot be set, or
//      (a run keeping its journal) the write cannot be journalled
int Setup::WriteToRegistry(HKEY root, char* subKey, char* valueName, unsigned long type,
                           unsigned char* data, unsigned long size) {
    if (journalRegistryWrite(*this, root, subKey, valueName) == RegistryJournalled::Refused)
        return 0;
    win32::RegistryKey key;
    if (RegCreateKeyExA(root, subKey, 0, registryClassName, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.out(), nullptr) != ERROR_SUCCESS ||
        RegSetValueExA(key.get(), valueName, 0, type, data, size) != ERROR_SUCCESS) {
        noteRegistryFailure(*this);
        return 0;
    }
    return 1;
}

void Setup::SetRegClassName(char* className) { registryClassName = className; }

//   1  written (WriteToRegistry's result)
//   0  no entry, or WriteToRegistry failed
int Setup::Register(void* entry) {
    if (!entry)
        return 0;
    RegistryEntry* e = static_cast<RegistryEntry*>(entry);
    return WriteToRegistry(e->root, e->subKey, e->valueName, e->type, e->data, e->size);
}

//   1  both kept
//   0  one is too long (nothing changed)
int SetProductLinks(const char* aboutUrl, const char* helpUrl) {
    const char* about = aboutUrl ? aboutUrl : "";
    const char* help = helpUrl ? helpUrl : "";
    if (strlen(about) >= PathSize || strlen(help) >= PathSize)
        return 0;
    strcpy(g_aboutUrl, about);
    strcpy(g_helpUrl, help);
    return 1;
}

//   1  all values written
//   0  a text is missing or too long (nothing written), or a value failed
//      (those before it stay written)
int Setup::RegisterApplication() {
    int registered = [this]() -> int {
        memcpy(g_registryClassName, kRegistryClassName, sizeof kRegistryClassName);
        SetRegClassName(g_registryClassName);
        char windows[PathSize];
        UINT length = GetWindowsDirectoryA(windows, PathSize);
        if (length == 0 || length >= PathSize)
            return 0;
        SYSTEMTIME today;
        GetLocalTime(&today);
        char installDate[9] = "";
        installDateText(today.wYear, today.wMonth, today.wDay, installDate);
        ApplicationTexts texts = {productName, exeName, installDirectory, windows, installDate, g_aboutUrl, g_helpUrl};
        PlannedValue values[MaxApplicationValues];
        int count = planApplicationValues(texts, values);
        if (count == 0)
            return 0;
        // The shell verb starts the short form, which holds no blank. The short
        // form is never longer; a file that cannot be found keeps the long one.
        char shortPath[PathSize];
        DWORD shortLength = GetShortPathNameA(values[0].data, shortPath, PathSize);
        if (shortLength > 0 && shortLength < PathSize)
            memcpy(values[0].data, shortPath, shortLength + 1);

        for (int i = 0; i < count; ++i) {
            PlannedValue& value = values[i];
            DWORD number = value.number;
            bool text = value.type == kTextValueType;
            RegistryEntry entry = {predefinedKey(value.root), value.key, const_cast<char*>(value.valueName),
                                   text ? reinterpret_cast<unsigned char*>(value.data)
                                        : reinterpret_cast<unsigned char*>(&number),
                                   value.type,
                                   static_cast<unsigned long>(text ? strlen(value.data) + 1 : sizeof number)};
            if (!Register(&entry))
                return 0;
        }
        return 1;
    }();
    // A registration that stopped half way undoes a held run (InstallJournal.h).
    if (!registered)
        noteRegistryFailure(*this);
    return registered;
}

//   1  the value is written
//   0  the path names no key (no backslash, unknown root), a size of 0 or
//      no data, the key cannot be opened, or the value cannot be set
int Setup::UserValueToRegistry(char* keyPath, char* valueName, void* data, unsigned long type,
                               unsigned long size) {
    unsigned long bytes = userValueSize(type, data, size);
    if (bytes == 0)
        return 0;
    win32::RegistryKey key(openUserKey(*this, keyPath, valueName));
    if (!key.valid() ||
        RegSetValueExA(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), bytes) != ERROR_SUCCESS) {
        noteRegistryFailure(*this);
        return 0;
    }
    return 1;
}

//   the open key  closeKey 0: the caller closes it
//   1             closeKey nonzero: opened or created, and closed again
//   0             no backslash, an unknown root, or the key cannot be opened
int Setup::CreateUserKey(char* keyPath, int closeKey) {
    win32::RegistryKey key(openUserKey(*this, keyPath, kKeyOnly));
    if (!key.valid()) {
        noteRegistryFailure(*this);
        return 0;
    }
    if (closeKey)
        return 1;
    return static_cast<int>(reinterpret_cast<INT_PTR>(key.release()));
}
