// What names lead to on this machine, and its shared roots: the Windows side
// of format/FolderPaths.h, in a library of its own so that any program that
// deletes or writes on a user's behalf (the uninstaller, a setup refusing a
// target) asks the same questions of the same list. Windows only.
#ifndef SETUP_TOOLS_UNINSTALLER_MACHINE_PATHS_H
#define SETUP_TOOLS_UNINSTALLER_MACHINE_PATHS_H

#include <string>
#include <unordered_map>
#include <vector>

#include "format/FolderPaths.h"
#include "tools/uninstaller/RemovalPlan.h"

// Resolves through the file system: each component's long name (so an 8.3
// alias becomes the name it stands for) and, for an item that carries a
// reparse point (a symbolic link, a junction), the final path of an opened
// handle, so links and junctions on the way are followed. Wine shows a
// file's symbolic link as a plain file that opens elsewhere: the resolver
// does not see it, and whoever deletes must open the item and check its
// final path (the uninstaller does).
class MachineResolver : public PathResolver {
public:
    ResolvedPath resolve(const std::string& path) override;

private:
    const ResolvedPath& folder(const std::string& path);
    // Folders asked for already, by the text they were asked with.
    std::unordered_map<std::string, ResolvedPath> folders_;
};

struct HKEY__;  // HKEY, without <windows.h> here (MachinePaths.cpp needs Vista's)

// A text value (REG_SZ or REG_EXPAND_SZ, as stored) of `key` under `root`;
// `value` null for the default value. "" when there is none, or it is not
// text or longer than 1023 characters.
std::string registryText(HKEY__* root, const std::string& key, const char* value);

// The names of the machine's Uninstall entries (under HKLM), in the
// registry's order.
std::vector<std::string> uninstallEntryNames();

// Where an opened handle leads, as a drive path ("C:\\x") or a share
// ("\\\\server\\x"); "" when Windows cannot tell (before Vista).
std::string finalPathOf(void* handle);

// The machine's shared roots, each as it resolves: every drive root, the
// Windows and system folders (the 32-bit one too), the temporary folder,
// Program Files (both), ProgramData, the profiles, and every known folder of
// the shell that has a path. COM must be initialised on the calling thread
// for the known folders; without it the rest is still gathered.
std::vector<std::string> sharedRoots(PathResolver& resolver);

// The machine's folders as they resolve, for installFolderAcceptable: the
// Windows and system folders, the shell's shortcut folders, the shared
// roots, and `self` the calling program's file (its long path). The
// installation folder is left to the caller. COM as for sharedRoots.
KnownFolders machineFolders(PathResolver& resolver);

#endif
