// Removing what a setup program listed in InstallReg.log beside Install.log
// (format/RegistryList.h): its registry values that still hold what was
// written, then the keys it created once they are empty, then the list.
// An installation without the list is left as it is. Win32.
#ifndef SETUP_TOOLS_UNINSTALLER_REGISTRY_UNDO_H
#define SETUP_TOOLS_UNINSTALLER_REGISTRY_UNDO_H

#include <string>
#include <utility>
#include <vector>

// Undoes the list in `installFolder` and removes it. Result: the report's
// lines, what was done and to what ("removed value", "HKCU\Software\...").
std::vector<std::pair<const char*, std::string>> undoRegistryList(const std::string& installFolder);

#endif
