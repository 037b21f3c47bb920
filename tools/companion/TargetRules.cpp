// The portable half of InstallTarget.h: the fault of a resolved folder on a
// described machine, whose installation a folder holds, the refusals'
// texts, and the names a setup must not write over. InstallTarget.cpp resolves and gathers on Windows.
#include "tools/companion/TargetRules.h"

#include <ctype.h>

#include "format/FileCheck.h"
#include "format/FolderPaths.h"

namespace {

// ASCII letters without case: the media's names and the entries' keys as
// the registry compares them (ASCII here).
bool sameNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

}  // namespace

TargetFault targetFault(const KnownFolders& folders, std::string* which) {
    switch (sharedRootClash(folders.install, folders.shared, which)) {
    case RootClash::NotDrivePath: return TargetFault::NotDrivePath;
    case RootClash::DriveRoot: return TargetFault::DriveRoot;
    case RootClash::IsShared: return TargetFault::SharedRoot;
    case RootClash::HoldsShared: return TargetFault::HoldsShared;
    case RootClash::None: break;
    }
    return installFolderAcceptable(folders) ? TargetFault::None : TargetFault::Refused;
}

std::string targetFaultText(const TargetCheck& check, const std::string& spelled) {
    std::string folder = spelled;
    if (!check.resolved.empty() && !samePath(spelled, check.resolved))
        folder += " (" + check.resolved + ")";
    switch (check.fault) {
    case TargetFault::None: break;
    case TargetFault::NotDrivePath:
        return "the folder " + folder +
               " is not a plain drive path: a stream, a device or a \\\\?\\ or \\\\.\\ path cannot be installed into";
    case TargetFault::DriveRoot: return "the folder " + folder + " is a drive root";
    case TargetFault::SharedRoot: return "the folder " + folder + " is shared with other programs";
    case TargetFault::HoldsShared:
        return "the folder " + folder + " holds " + check.sharedRoot + ", which other programs share";
    case TargetFault::Refused:
        return "the folder " + folder + " holds folders of Windows, or is one: nothing installed there could be removed";
    }
    return std::string();
}

FolderClaim folderClaim(const std::string& folder, const std::string& ownProduct,
                        const std::vector<RegisteredProduct>& products, bool holdsInstallLog, std::string* other) {
    bool own = false;
    for (const RegisteredProduct& p : products) {
        if (p.folder.empty() || !samePath(p.folder, folder))
            continue;
        if (!sameNoCase(p.key, ownProduct.c_str())) {
            *other = p.display.empty() ? p.key : p.display;
            return FolderClaim::OtherProduct;
        }
        own = true;
    }
    if (own)
        return FolderClaim::Own;
    return holdsInstallLog ? FolderClaim::UnknownLog : FolderClaim::Free;
}

std::string folderClaimText(FolderClaim claim, const std::string& spelled, const std::string& other) {
    switch (claim) {
    case FolderClaim::Free:
    case FolderClaim::Own: break;
    case FolderClaim::OtherProduct:
        return "the folder " + spelled + " is the installation folder of " + other +
               ": a folder holds one product";
    case FolderClaim::UnknownLog:
        return "the folder " + spelled + " holds the Install.log of another installation: a folder holds one "
               "product";
    }
    return std::string();
}

bool isInsideFolder(const std::string& folder, const std::string& path) { return pathInside(folder, path); }

bool isInstallMediaName(const std::string& name) {
    if (sameNoCase(name, kCheckFileName))
        return true;
    // "Data<number>.Dat", any case: a volume the reader would find on a disk.
    if (name.size() < 9 || !sameNoCase(name.substr(0, 4), "data") || !sameNoCase(name.substr(name.size() - 4), ".dat"))
        return false;
    for (size_t i = 4; i < name.size() - 4; ++i)
        if (!isdigit(static_cast<unsigned char>(name[i])))
            return false;
    return true;
}
