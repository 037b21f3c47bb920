// The registry decisions of registration and of the removal of an earlier
// version, stated over plain text: the root key a text key path begins with,
// the size of a value written from such a path, the values that register
// an application, and the uninstaller's program and command line taken from
// an Uninstall entry. The Win32 glue (Registry.cpp, EarlierVersion.cpp) asks these
// and acts. Texts are built in PathSize buffers by common/PathText:
// what would not fit is refused, never cut. Portable: no <windows.h>.
#ifndef SETUP_REGISTRYRULES_H
#define SETUP_REGISTRYRULES_H

#include <stddef.h>

#include "common/PathSize.h"
#include "format/RegistryNames.h"

// Registry value types of text (REG_SZ) and of a 32-bit number
// (REG_DWORD), named here without <windows.h>.
const unsigned long kTextValueType = 1;
const unsigned long kNumberValueType = 4;

// The class text of every key the library creates while registering an
// application.
constexpr char kRegistryClassName[] = "Quorvane";

// ---------------------------------------------------------------------------
// Text key paths (their roots and splitKeyPath: format/RegistryNames.h).

using RegistryRoot = KeyRoot;

// The number of bytes a value written from a text key path takes: text
// (type 1) is measured, its terminator included, whatever `size` says;
// every other type takes `size` as given.
//   0      refused: no data, or a size of 0 for a type other than text
//   other  the size to write
unsigned long userValueSize(unsigned long type, const void* data, unsigned long size);

// ---------------------------------------------------------------------------
// Application registration.

// One value to write: `valueName` null is the key's default value; text in
// `data`, or (kNumberValueType) a number in `number`.
struct PlannedValue {
    RegistryRoot root;
    char key[PathSize];
    const char* valueName;
    unsigned long type;
    char data[PathSize];
    unsigned long number;
};

// Six values always, and up to three of the Uninstall entry's that a
// registration may lack (InstallDate, URLInfoAbout, HelpLink).
enum { ApplicationValueCount = 6, MaxApplicationValues = 12 };

// What registration is built from. The last three may be null (or "") to
// leave their value out.
struct ApplicationTexts {
    const char* productName;
    const char* exeName;          // a file name, or a path below installDirectory
    const char* installDirectory;
    const char* windowsDirectory;
    const char* installDate = nullptr;  // YYYYMMDD (installDateText)
    const char* aboutUrl = nullptr;     // the product's page: URLInfoAbout
    const char* helpUrl = nullptr;      // where to get help: HelpLink
};

// The values that register an application, in the order they are written:
// the shell verb's command, the App Paths default and "Path", the
// Uninstall entry's "DisplayName" and "UninstallString", and the product
// key's default value (the executable's file name); then the rest of the
// Uninstall entry, which Apps & features reads: "QuietUninstallString",
// "NoModify" and "NoRepair" (1: the uninstaller only removes), and those of
// "InstallDate", "URLInfoAbout" and "HelpLink" that are given. A backslash
// always stands between the installation directory and exeName. The
// uninstaller's path is quoted (the Windows folder may hold a blank), the
// product's name follows unquoted as the rest of the command line, after
// /S in the quiet one. The first value's data is the long path; the glue
// turns it into its short form.
//   n > 0  the number of values planned, at least ApplicationValueCount
//   0      a text is missing or one would not fit a path buffer (nothing planned)
int planApplicationValues(const ApplicationTexts& texts, PlannedValue (&values)[MaxApplicationValues]);

// The Uninstall entry's "InstallDate" of a day: YYYYMMDD.
//   true   written to `text`
//   false  not a date of years 1601 to 9999 (`text` untouched)
bool installDateText(int year, int month, int day, char (&text)[9]);

// ---------------------------------------------------------------------------
// Removal of an earlier version.

// What an Uninstall entry's UninstallString says about the program to start.
enum class UninstallProgram {
    Found,     // the program path is the text before the DisplayName
    NotNamed,  // the DisplayName does not occur in it: not an entry of ours
    NoPath     // nothing stands before the DisplayName: nothing can be started
};

// The uninstaller's program path in `uninstallString`, both texts already
// in lower case: the text before the DisplayName, without the character
// just before it (the separating blank), without blanks at its end and
// without the quotes around it, if the path is quoted. The
// name is taken where it ends the string, as RegisterApplication writes it,
// so that a name that also stands in the program's own path ("qrv" in
// "c:\windows\qrvunins.exe qrv") does not cut that path; a string that does
// not end in it is cut at its first occurrence. An UninstallString that
// begins with the DisplayName (an empty DisplayName included), or has only
// blanks before it, leaves no path. `program` is written only for Found.
//   UninstallProgram::Found     `program` holds the path
//   UninstallProgram::NotNamed  the DisplayName is not in the UninstallString
//   UninstallProgram::NoPath    no path stands before it, or it does not fit `size`
UninstallProgram uninstallProgram(const char* uninstallString, const char* displayName,
                                  char* program, size_t size = PathSize);

// The command line that starts the uninstaller: its (short) program path,
// quoted when it holds a blank (a volume without short names), a blank,
// the lower-case DisplayName and "_".
//   true   built in `commandLine`
//   false  it would not fit `size` characters (`commandLine` untouched)
bool uninstallCommandLine(char* commandLine, const char* program, const char* displayName,
                          size_t size = PathSize);

#endif
