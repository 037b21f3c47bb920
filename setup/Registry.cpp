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

#include <string>

#include "baseinterface/DiagnosticLog.h"
#include "filemanager/InstallJournal.h"
#include "setup/RegistryRules.h"
#include "win32/Ownership.h"

static_assert(REG_SZ == kTextValueType && REG_DWORD == kNumberValueType, "the value types");

namespace {

// The key a text key path names, opened or created with full access and no
// class, after its making and `valueName` (kKeyOnly: none) are journalled;
// not owned when null, with the registry's error in *error.
HKEY openUserKey(const Setup& setup, const char* keyPath, const char* valueName, LONG* error) {
    const char* rest = nullptr;
    HKEY root = predefinedKey(splitKeyPath(keyPath, &rest));
    *error = ERROR_INVALID_PARAMETER;
    if (!root || journalRegistryWrite(setup, root, rest, valueName) == RegistryJournalled::Refused)
        return nullptr;
    HKEY key = nullptr;
    *error = RegCreateKeyExA(root, rest, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr);
    return *error == ERROR_SUCCESS ? key : nullptr;
}

// The class text RegisterApplication gives its keys, in writable storage
// because the member is a char*: it points here for the rest of the run.
char g_registryClassName[sizeof kRegistryClassName];

// The product's links (SetProductLinks), process-wide like the message
// hook: the exported classes have no room for them. Set and read on the
// product's thread.
char g_aboutUrl[PathSize];
char g_helpUrl[PathSize];

// The log record of one value set under `key` (named in full) with
// `result`, the registry's error code; a text value's data is its detail.
void logValue(const std::string& key, const char* valueName, unsigned long type, const void* data,
              unsigned long size, LONG result) {
    std::string text;
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && data && size)
        text.assign(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), size));
    logEvent(LogRegistryWritten, key.c_str(), valueName ? valueName : "(default)",
             static_cast<uint32_t>(result), 0, text.empty() ? nullptr : text.c_str());
}

const char* rootName(HKEY root) {
    if (root == HKEY_CLASSES_ROOT)
        return "HKEY_CLASSES_ROOT\\";
    if (root == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER\\";
    if (root == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE\\";
    if (root == HKEY_USERS)
        return "HKEY_USERS\\";
    return "(an open key)\\";
}

}  // namespace

//   1  the value is written
//   0  the key cannot be opened or created, the value cannot be set, or
//      (a run keeping its journal) the write cannot be journalled
int Setup::WriteToRegistry(HKEY root, char* subKey, char* valueName, unsigned long type,
                           unsigned char* data, unsigned long size) {
    if (journalRegistryWrite(*this, root, subKey, valueName) == RegistryJournalled::Refused)
        return 0;
    win32::RegistryKey key;
    LONG result = RegCreateKeyExA(root, subKey, 0, registryClassName, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                  nullptr, key.out(), nullptr);
    if (result == ERROR_SUCCESS)
        result = RegSetValueExA(key.get(), valueName, 0, type, data, size);
    if (logWanted())
        logValue(std::string(rootName(root)) + (subKey ? subKey : ""), valueName, type, data, size, result);
    if (result != ERROR_SUCCESS) {
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
    LONG result = ERROR_SUCCESS;
    win32::RegistryKey key(openUserKey(*this, keyPath, valueName, &result));
    if (key.valid())
        result = RegSetValueExA(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), bytes);
    if (logWanted())
        logValue(keyPath ? keyPath : "", valueName, type, data, bytes, result);
    if (result != ERROR_SUCCESS) {
        noteRegistryFailure(*this);
        return 0;
    }
    return 1;
}

//   the open key  closeKey 0: the caller closes it
//   1             closeKey nonzero: opened or created, and closed again
//   0             no backslash, an unknown root, or the key cannot be opened
int Setup::CreateUserKey(char* keyPath, int closeKey) {
    LONG error = ERROR_SUCCESS;
    win32::RegistryKey key(openUserKey(*this, keyPath, kKeyOnly, &error));
    if (!key.valid()) {
        noteRegistryFailure(*this);
        return 0;
    }
    if (closeKey)
        return 1;
    return static_cast<int>(reinterpret_cast<INT_PTR>(key.release()));
}
