// The decision behind checkInstallTarget(): which fault, if any, a resolved
// install folder has on a machine described by `KnownFolders`. Portable, so
// that it is tested natively with made-up machines; InstallTarget.cpp
// gathers the real machine's folders.
#ifndef SETUP_TOOLS_COMPANION_TARGET_RULES_H
#define SETUP_TOOLS_COMPANION_TARGET_RULES_H

#include <string>
#include <vector>

#include "InstallTarget.h"
#include "tools/uninstaller/RemovalPlan.h"

// Result: the fault of `folders.install`, asked exactly as the uninstaller
// asks of an installation folder. `which` receives the shared root at
// fault, when there is one.
TargetFault targetFault(const KnownFolders& folders, std::string* which);

// A product registered on the machine: its Uninstall entry's name, its
// display name, and its installation folder as it resolves ("" when the
// entry names none).
struct RegisteredProduct {
    std::string key;
    std::string display;
    std::string folder;
};

// Result: whose installation the resolved `folder` holds, among `products`,
// for the product whose entry is named `ownProduct`; `holdsInstallLog`: the
// folder has an Install.log. `other` receives the other product's display
// name (its entry's name when it has none).
FolderClaim folderClaim(const std::string& folder, const std::string& ownProduct,
                        const std::vector<RegisteredProduct>& products, bool holdsInstallLog, std::string* other);

#endif
