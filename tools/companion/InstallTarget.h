// Checking, before anything is written, the folder a product's setup is
// asked to install into and the places it is asked to write beside it
// (static library `companion`; the SDK ships it as include/InstallTarget.h
// with lib/libcompanion.a). The folder is asked exactly as the uninstaller
// asks of an installation folder, with the same list of the machine's shared
// folders, so that whatever a setup installs its uninstaller can remove, and
// removing it never empties a folder other programs share. It includes only
// <string>, so the SDK's copy stands alone: `#include "InstallTarget.h"`.
//
//     TargetCheck check = checkInstallTarget(folder);
//     if (check.fault != TargetFault::None)
//         refuse(targetFaultText(check, folder));   // nothing written yet
#ifndef SETUP_INSTALL_TARGET_H
#define SETUP_INSTALL_TARGET_H

#include <string>

// Why a target folder is refused.
enum class TargetFault {
    None,
    NotDrivePath,  // not "C:\...": a stream (a ':' after the drive), a device, "\\?\", "\\.\", a share
    DriveRoot,     // "C:\"
    SharedRoot,    // one of the machine's shared folders (Program Files, ProgramData, a profile ...)
    HoldsShared,   // a shared folder lies below it
    Refused        // the uninstaller would refuse it (the Windows folder, a shortcut folder ...)
};

struct TargetCheck {
    TargetFault fault = TargetFault::None;
    std::string resolved;    // the folder as it resolves on this machine (8.3 aliases, links, "." and "..")
    std::string sharedRoot;  // the shared folder at fault, for SharedRoot and HoldsShared
};

// Resolves `folder` on this machine and checks it. Windows only; initialises
// COM on the calling thread for the call when it is not already.
TargetCheck checkInstallTarget(const char* folder);

// The refusal as a sentence ("the folder ... is shared with other
// programs"), naming the folder as the user gave it (`spelled`) and as it
// resolves when the two differ; "" when there is no fault.
std::string targetFaultText(const TargetCheck& check, const std::string& spelled);

// Whose installation a folder holds. A folder belongs to one product: a
// second product installed into it would write its own Install.log over the
// first one's list, and the first one's uninstaller would then remove the
// second one's files.
enum class FolderClaim {
    Free,          // no registered product's folder, no Install.log
    Own,           // the product's own registered installation: installed over
    OtherProduct,  // the installation folder of another registered product
    UnknownLog     // it holds an Install.log that no registration of this product owns
};

// Asks the Uninstall entries of this machine (their InstallLocation, as it
// resolves) and the folder itself whose installation `folder` holds, for a
// product whose Uninstall entry is named `ownProduct`. `other` receives the
// other product's display name for OtherProduct. Windows only.
FolderClaim checkFolderClaim(const char* folder, const char* ownProduct, std::string* other);

// The refusal as a sentence naming the folder and the other product; ""
// for Free and Own.
std::string folderClaimText(FolderClaim claim, const std::string& spelled, const std::string& other);

// `path` made full and resolved as checkInstallTarget resolves folders; ""
// when it cannot be made a full path. Windows only.
std::string resolvedFullPath(const char* path);

// Whether `path` lies below `folder`, compared as Windows compares names
// (no case, either slash, trailing dots and blanks dropped).
bool isInsideFolder(const std::string& folder, const std::string& path);

// Whether a file named `name` (no folder) would be taken for a file of the
// installation disks: a volume "Data<n>.Dat" or the check file.
bool isInstallMediaName(const std::string& name);

#endif
