// The registry decisions of registration and of the removal of an earlier
// version, over plain text; see RegistryRules.h.
#include "setup/RegistryRules.h"

#include <string.h>

#include "common/PathText.h"

namespace {

// out = a + b + c + d, all or nothing.
bool concat(char* out, const char* a, const char* b, const char* c = "", const char* d = "") {
    char built[PathSize];
    if (!copyPath(built, a) || !appendText(built, b) || !appendText(built, c) || !appendText(built, d))
        return false;
    memcpy(out, built, strlen(built) + 1);
    return true;
}

}  // namespace

//   0      no data, or a non-text value of size 0
//   other  the bytes to write
unsigned long userValueSize(unsigned long type, const void* data, unsigned long size) {
    if (!data)
        return 0;
    if (type == kTextValueType)
        return static_cast<unsigned long>(strlen(static_cast<const char*>(data)) + 1);
    return size;
}

//   n  the values planned
//   0  a missing text, or one that would not fit (values unspecified)
int planApplicationValues(const ApplicationTexts& texts, PlannedValue (&values)[MaxApplicationValues]) {
    if (!texts.productName || !texts.exeName || !texts.installDirectory || !texts.windowsDirectory)
        return 0;
    const char* product = texts.productName;
    const char* exeFile = namePart(texts.exeName);

    // Always a backslash between them, even after a directory that ends in one.
    char exePath[PathSize];
    if (!concat(exePath, texts.installDirectory, "\\", texts.exeName))
        return 0;
    char exeFolder[PathSize];
    memcpy(exeFolder, exePath, sizeof exePath);
    cutAtLastBackslash(exeFolder);
    // "<windows>\QRVUnins.Exe" quoted, then its arguments.
    char program[PathSize];
    if (!concat(program, "\"", texts.windowsDirectory, "\\") || !appendText(program, kUninstallerName) ||
        !appendText(program, "\" "))
        return 0;
    char uninstaller[PathSize];
    char quietUninstaller[PathSize];
    if (!concat(uninstaller, program, product) || !concat(quietUninstaller, program, "/S ", product))
        return 0;
    char uninstallKey[PathSize];
    if (!concat(uninstallKey, kUninstallKey, "\\", product))
        return 0;
    char appPathsKey[PathSize];
    if (!concat(appPathsKey, kAppPathsKey, "\\", exeFile))
        return 0;
    char shellVerbKey[PathSize];
    if (!concat(shellVerbKey, kShellVerbsKey, "\\", product, "\\command"))
        return 0;
    char productKey[PathSize];
    if (!concat(productKey, kProductsKey, "\\", product))
        return 0;

    struct Plan {
        RegistryRoot root;
        const char* key;
        const char* valueName;
        const char* data;  // a text; null for a number, or an optional text not given
        unsigned long number;
    };
    const Plan plans[] = {
        {RegistryRoot::ClassesRoot, shellVerbKey, nullptr, exePath, 0},
        {RegistryRoot::LocalMachine, appPathsKey, nullptr, exePath, 0},
        {RegistryRoot::LocalMachine, appPathsKey, "Path", exeFolder, 0},
        {RegistryRoot::LocalMachine, uninstallKey, "DisplayName", product, 0},
        {RegistryRoot::LocalMachine, uninstallKey, "UninstallString", uninstaller, 0},
        {RegistryRoot::LocalMachine, productKey, nullptr, exeFile, 0},
        {RegistryRoot::LocalMachine, uninstallKey, "QuietUninstallString", quietUninstaller, 0},
        {RegistryRoot::LocalMachine, uninstallKey, "NoModify", nullptr, 1},
        {RegistryRoot::LocalMachine, uninstallKey, "NoRepair", nullptr, 1},
        {RegistryRoot::LocalMachine, uninstallKey, "InstallDate", texts.installDate, 0},
        {RegistryRoot::LocalMachine, uninstallKey, "URLInfoAbout", texts.aboutUrl, 0},
        {RegistryRoot::LocalMachine, uninstallKey, "HelpLink", texts.helpUrl, 0},
    };
    static_assert(sizeof plans / sizeof plans[0] == MaxApplicationValues, "every value has a place");
    int count = 0;
    for (const Plan& plan : plans) {
        bool number = plan.number != 0;
        // The optional texts are left out when not given.
        if (!number && (!plan.data || !*plan.data) && count >= ApplicationValueCount)
            continue;
        PlannedValue& value = values[count++];
        value.root = plan.root;
        value.valueName = plan.valueName;
        value.type = number ? kNumberValueType : kTextValueType;
        value.number = plan.number;
        if (!copyPath(value.key, plan.key) || !copyPath(value.data, number ? "" : plan.data))
            return 0;
    }
    return count;
}

//   true   YYYYMMDD in `text`
//   false  outside the years 1601 to 9999, or no such month or day
bool installDateText(int year, int month, int day, char (&text)[9]) {
    if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    const int digits[] = {year / 1000, year / 100 % 10, year / 10 % 10, year % 10,
                          month / 10, month % 10, day / 10, day % 10};
    for (int i = 0; i < 8; ++i)
        text[i] = static_cast<char>('0' + digits[i]);
    text[8] = '\0';
    return true;
}

//   Found     the path before the DisplayName, in `program`
//   NotNamed  no DisplayName in the UninstallString
//   NoPath    nothing but blanks (or "") before it, or a path too long for `size`
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
    // A quoted path, as RegisterApplication writes it now, without its quotes.
    const char* start = uninstallString;
    if (length >= 2 && start[0] == '"' && start[length - 1] == '"') {
        ++start;
        length -= 2;
    }
    if (length == 0 || length >= size)
        return UninstallProgram::NoPath;
    memcpy(program, start, length);
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
    const char* quote = strchr(program, ' ') ? "\"" : "";
    if (!copyPath(built, quote, size) || !appendText(built, program, size) || !appendText(built, quote, size) ||
        !appendText(built, " ", size) ||
        !appendText(built, displayName, size) || !appendText(built, "_", size))
        return false;
    memcpy(commandLine, built, strlen(built) + 1);
    return true;
}
