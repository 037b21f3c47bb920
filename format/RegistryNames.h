// The registry keys an application's registration writes, named once for
// the library that writes them (RegistryRules) and the uninstaller that
// removes them (tools/uninstaller/RemovalPlan): the Uninstall entries, the
// App Paths entries, the products' own keys and the shell verbs, each the
// parent of one subkey per product or program; and the predefined roots a
// key's full name begins with, for text key paths (Setup's user values) and
// the run journal's registry entries. Portable: no <windows.h>.
#ifndef SETUP_REGISTRYNAMES_H
#define SETUP_REGISTRYNAMES_H

// The uninstaller the Uninstall entry starts (in the Windows directory).
constexpr char kUninstallerName[] = "QRVUnins.Exe";
// Below HKEY_LOCAL_MACHINE: one subkey per installed product.
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Below HKEY_LOCAL_MACHINE: one subkey per program file name.
constexpr char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
// Below HKEY_LOCAL_MACHINE: one subkey per product, its default value the
// program's file name.
constexpr char kProductsKey[] = "SOFTWARE\\Tarvelon";
// Below HKEY_CLASSES_ROOT: one verb per product, its "command" the program.
constexpr char kShellVerbsKey[] = "QRV_Files\\Shell";

// The predefined root keys a text key path may begin with.
enum class KeyRoot {
    None,         // not one of the four names below
    ClassesRoot,  // "HKEY_CLASSES_ROOT"
    CurrentUser,  // "HKEY_CURRENT_USER"
    LocalMachine, // "HKEY_LOCAL_MACHINE"
    Users         // "HKEY_USERS"
};

// The root named by the text before `keyPath`'s first backslash, compared
// without regard to case; only the four full names count (no "HKLM"). The
// path is only read. `*rest` points at the text after that backslash when
// a root is found.
//   KeyRoot::None   no backslash, or an unknown name (*rest untouched)
//   any other            the root; *rest is the key below it (may be "")
KeyRoot splitKeyPath(const char* keyPath, const char** rest);

// The root's full name ("HKEY_LOCAL_MACHINE"); "" for KeyRoot::None.
const char* registryRootName(KeyRoot root);

#endif
