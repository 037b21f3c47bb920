// The Windows half of InstallTarget.h: resolves names on this machine,
// reads its Uninstall entries and gathers its folders (the uninstaller's own library, so both ask the same
// questions of the same list), then leaves the decision to TargetRules.
#include "InstallTarget.h"

#include <windows.h>

#include <vector>

#include "format/InstallLog.h"
#include "tools/companion/TargetRules.h"
#include "tools/uninstaller/MachinePaths.h"
#include "win32/Ownership.h"

namespace {

// What `path` leads to; a path that is not drive-absolute (a stream, a
// device, "\\?\") is left as given, for the rules to refuse.
std::string resolvedWith(MachineResolver& resolver, const std::string& path) {
    std::vector<std::string> parts;
    return splitPath(path, &parts) ? resolver.resolve(path).target : path;
}

// Every Uninstall entry of the machine, its folder resolved.
std::vector<RegisteredProduct> registeredProducts(MachineResolver& resolver) {
    std::vector<RegisteredProduct> products;
    for (const std::string& name : uninstallEntryNames()) {
        std::string key = uninstallKey(name);
        RegisteredProduct p{name, registryText(HKEY_LOCAL_MACHINE, key, "DisplayName"),
                            registryText(HKEY_LOCAL_MACHINE, key, "InstallLocation")};
        if (!p.folder.empty())
            p.folder = resolvedWith(resolver, p.folder);
        products.push_back(p);
    }
    return products;
}

}  // namespace

FolderClaim checkFolderClaim(const char* folder, const char* ownProduct, std::string* other) {
    MachineResolver resolver;
    std::string resolved = resolvedWith(resolver, folder);
    std::string log = resolved + "\\" + kInstallLogName;
    bool holdsLog = GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES;
    return folderClaim(resolved, ownProduct, registeredProducts(resolver), holdsLog, other);
}

TargetCheck checkInstallTarget(const char* folder) {
    win32::ComApartment com;  // the shell's known folders
    MachineResolver resolver;
    KnownFolders folders = machineFolders(resolver);
    folders.self.clear();  // the uninstaller's own file; a setup's does not matter
    folders.install = resolvedWith(resolver, folder);
    TargetCheck check;
    check.resolved = folders.install;
    check.fault = targetFault(folders, &check.sharedRoot);
    return check;
}

std::string resolvedFullPath(const char* path) {
    std::vector<char> full(MAX_PATH);
    DWORD length = GetFullPathNameA(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.resize(length + 1);
        length = GetFullPathNameA(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size())
        return std::string();
    MachineResolver resolver;
    return resolvedWith(resolver, std::string(full.data(), length));
}
