// The registry decisions of registration and of the removal of an earlier
// version, over plain text; see RegistryRules.h.
#include "setup/RegistryRules.h"

#include <string.h>

#include "common/AsciiCase.h"
#include "common/PathText.h"

namespace {

struct RootName {
    const char* name;
    RegistryRoot root;
};

// In the order they are compared.
const RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_USERS", RegistryRoot::Users},
};

// out = a + b + c, all or nothing.
bool concat(char* out, const char* a, const char* b, const char* c = "") {
    char built[PathSize];
    if (!copyPath(built, a) || !appendText(built, b) || !appendText(built, c))
        return false;
    memcpy(out, built, strlen(built) + 1);
    return true;
}

}  // namespace

//   RegistryRoot::None   no backslash, or no root of that name
//   other                the root, *rest after the first backslash
RegistryRoot splitKeyPath(const char* keyPath, const char** rest) {
    if (!keyPath)
        return RegistryRoot::None;
    const char* slash = strchr(keyPath, '\\');
    if (!slash)
        return RegistryRoot::None;
    size_t length = static_cast<size_t>(slash - keyPath);
    for (const RootName& root : kRootNames) {
        if (equalsAsciiNoCase(keyPath, length, root.name)) {
            *rest = slash + 1;
            return root.root;
        }
    }
    return RegistryRoot::None;
}

//   0      no data, or a non-text value of size 0
//   other  the bytes to write
unsigned long userValueSize(unsigned long type, const void* data, unsigned long size) {
    if (!data)
        return 0;
    if (type == kTextValueType)
        return static_cast<unsigned long>(strlen(static_cast<const char*>(data)) + 1);
    return size;
}

//   true   six values planned
//   false  a missing text, or one that would not fit (values unspecified)
bool planApplicationValues(const ApplicationTexts& texts,
                           PlannedValue (&values)[ApplicationValueCount]) {
    if (!texts.productName || !texts.exeName || !texts.installDirectory || !texts.windowsDirectory)
        return false;
    const char* product = texts.productName;
    const char* exeFile = namePart(texts.exeName);

    // Always a backslash between them, even after a directory that ends in one.
    char exePath[PathSize];
    if (!concat(exePath, texts.installDirectory, "\\", texts.exeName))
        return false;
    char exeFolder[PathSize];
    memcpy(exeFolder, exePath, sizeof exePath);
    cutAtLastBackslash(exeFolder);
    char uninstaller[PathSize];
    if (!concat(uninstaller, texts.windowsDirectory, "\\", kUninstallerName) ||
        !appendText(uninstaller, " ") || !appendText(uninstaller, product))
        return false;
    char uninstallKey[PathSize];
    if (!concat(uninstallKey, kUninstallKey, "\\", product))
        return false;
    char appPathsKey[PathSize];
    if (!concat(appPathsKey, kAppPathsKey, "\\", exeFile))
        return false;
    char shellVerbKey[PathSize];
    if (!concat(shellVerbKey, kShellVerbsKey, "\\", product))
        return false;
    char productKey[PathSize];
    if (!concat(productKey, kProductsKey, "\\", product))
        return false;

    struct Plan {
        RegistryRoot root;
        const char* key;
        const char* keyTail;
        const char* valueName;
        const char* data;
    };
    const Plan plans[ApplicationValueCount] = {
        {RegistryRoot::ClassesRoot, shellVerbKey, "", nullptr, exePath},
        {RegistryRoot::LocalMachine, appPathsKey, "", nullptr, exePath},
        {RegistryRoot::LocalMachine, appPathsKey, "", "Path", exeFolder},
        {RegistryRoot::LocalMachine, uninstallKey, "", "DisplayName", product},
        {RegistryRoot::LocalMachine, uninstallKey, "", "UninstallString", uninstaller},
        {RegistryRoot::LocalMachine, productKey, "", nullptr, exeFile},
    };
    for (int i = 0; i < ApplicationValueCount; ++i) {
        PlannedValue& value = values[i];
        value.root = plans[i].root;
        value.valueName = plans[i].valueName;
        if (!concat(value.key, plans[i].key, plans[i].keyTail) || !copyPath(value.data, plans[i].data))
            return false;
    }
    // The shell verb's key ends in the verb's command.
    return appendText(values[0].key, "\\command");
}

//   Found     the path before the DisplayName, in `program`
//   NotNamed  no DisplayName in the UninstallString
//   NoPath    nothing but blanks before it, or a path too long for `size`
UninstallProgram uninstallProgram(const char* uninstallString, const char* displayName,
                                  char* program, size_t size) {
    const char* found = strstr(uninstallString, displayName);
    if (!found)
        return UninstallProgram::NotNamed;
    // Where it ends the string, as RegisterApplication writes it; else the
    // first occurrence.
    size_t stringLength = strlen(uninstallString);
    size_t nameLength = strlen(displayName);
    if (nameLength > 0 && strcmp(uninstallString + stringLength - nameLength, displayName) == 0)
        found = uninstallString + stringLength - nameLength;
    // Without the separating character just before the name.
    size_t length = static_cast<size_t>(found - uninstallString);
    length = length > 0 ? length - 1 : 0;
    while (length > 0 && uninstallString[length - 1] == ' ')
        --length;
    if (length == 0 || length >= size)
        return UninstallProgram::NoPath;
    memcpy(program, uninstallString, length);
    program[length] = '\0';
    return UninstallProgram::Found;
}

//   true   built
//   false  too long for `size` (untouched)
bool uninstallCommandLine(char* commandLine, const char* program, const char* displayName,
                          size_t size) {
    char built[PathSize];
    if (size > PathSize)
        size = PathSize;
    if (!copyPath(built, program, size) || !appendText(built, " ", size) ||
        !appendText(built, displayName, size) || !appendText(built, "_", size))
        return false;
    memcpy(commandLine, built, strlen(built) + 1);
    return true;
}
