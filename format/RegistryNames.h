// The registry keys an application's registration writes, named once for
// the library that writes them (RegistryRules) and the uninstaller that
// removes them (tools/uninstaller/RemovalPlan): the Uninstall entries, the
// App Paths entries, the products' own keys and the shell verbs, each the
// parent of one subkey per product or program. Plain constants, no
// <windows.h>.
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

#endif
