// Checking a setup's target as the uninstaller will see it: every kind of
// folder refused on a made-up machine (already resolved), and the refusal's
// text naming the folder as given and as it resolves.
#include "tools/companion/TargetRules.h"

#include <gtest/gtest.h>

namespace {

// The machine as the target check sees it: each folder already resolved.
KnownFolders machineWith(const std::string& install) {
    KnownFolders f;
    f.install = install;
    f.windows = "C:\\Windows";
    f.system = "C:\\Windows\\System32";
    f.startMenu = "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
    f.programs = f.startMenu + "\\Programs";
    f.desktop = "C:\\Users\\Ann\\Desktop";
    f.shared = {"C:\\", "D:\\", "C:\\Windows", "C:\\Program Files", "C:\\ProgramData", "C:\\Users\\Ann", f.startMenu};
    return f;
}

TEST(InstallTarget, RefusedWhereTheUninstallerCouldNotRemoveIt) {
    struct Case {
        const char* folder;
        TargetFault fault;
        const char* which;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Sample Product", TargetFault::None, ""},
        {"C:\\Quoted App", TargetFault::None, ""},
        {"C:\\A:B", TargetFault::NotDrivePath, ""},  // the stream B of C:\A
        {"\\\\?\\C:\\X", TargetFault::NotDrivePath, ""},
        {"\\\\.\\C:\\X", TargetFault::NotDrivePath, ""},
        {"C:\\App\\NUL", TargetFault::NotDrivePath, ""},
        {"\\\\server\\share\\App", TargetFault::NotDrivePath, ""},
        {"D:\\", TargetFault::DriveRoot, ""},
        {"C:\\Program Files", TargetFault::SharedRoot, "C:\\Program Files"},
        {"c:\\programdata.", TargetFault::SharedRoot, "C:\\ProgramData"},
        {"C:\\Users", TargetFault::HoldsShared, "C:\\Users\\Ann"},
        // The Start Menu's folders are the uninstaller's shortcut folders.
        {"C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs", TargetFault::Refused, ""},
        {"C:\\Windows\\System32", TargetFault::Refused, ""},
    };
    for (const Case& c : cases) {
        KnownFolders machine = machineWith(c.folder);
        std::string which;
        EXPECT_EQ(c.fault, targetFault(machine, &which)) << c.folder;
        EXPECT_EQ(c.which, which) << c.folder;
        // Whatever a setup installs, its uninstaller accepts.
        EXPECT_EQ(c.fault == TargetFault::None, installFolderAcceptable(machine)) << c.folder;
        std::string text = targetFaultText({c.fault, c.folder, which}, c.folder);
        EXPECT_EQ(c.fault == TargetFault::None, text.empty()) << c.folder;
        if (!text.empty()) {
            EXPECT_NE(std::string::npos, text.find(c.folder)) << text;
        }
    }
}

TEST(InstallTarget, TheRefusalNamesTheFolderAsGivenAndAsItResolves) {
    std::string text = targetFaultText({TargetFault::SharedRoot, "C:\\Program Files", ""}, "C:\\PROGRA~1");
    EXPECT_NE(std::string::npos, text.find("C:\\PROGRA~1 (C:\\Program Files)")) << text;
    text = targetFaultText({TargetFault::SharedRoot, "C:\\Program Files", ""}, "c:\\program files");
    EXPECT_EQ(std::string::npos, text.find('(')) << text;
}

TEST(InstallTarget, AFolderHoldsOneProduct) {
    const std::vector<RegisteredProduct> products = {
        {"Sample Product", "Sample Product", "C:\\Apps\\Sample"},
        {"Other", "Other Product 2.0", "C:\\Apps\\Other"},
        {"NoName", "", "C:\\Apps\\Bare"},
        {"NoFolder", "No Folder", ""},
    };
    struct Case {
        const char* folder;
        bool holdsLog;
        FolderClaim claim;
        const char* other;
    };
    const Case cases[] = {
        {"C:\\Apps\\New", false, FolderClaim::Free, ""},
        {"c:\\apps\\sample", true, FolderClaim::Own, ""},  // an upgrade: installed over
        {"C:\\Apps\\Other", true, FolderClaim::OtherProduct, "Other Product 2.0"},
        {"C:\\Apps\\Other", false, FolderClaim::OtherProduct, "Other Product 2.0"},
        {"C:\\Apps\\Bare", false, FolderClaim::OtherProduct, "NoName"},
        {"C:\\Apps\\Stray", true, FolderClaim::UnknownLog, ""},  // an Install.log nobody registered
        {"C:\\Apps", false, FolderClaim::Free, ""},
    };
    for (const Case& c : cases) {
        std::string other;
        FolderClaim claim = folderClaim(c.folder, "sample product", products, c.holdsLog, &other);
        EXPECT_EQ(c.claim, claim) << c.folder;
        EXPECT_EQ(c.other, other) << c.folder;
        std::string text = folderClaimText(claim, c.folder, other);
        EXPECT_EQ(claim == FolderClaim::Free || claim == FolderClaim::Own, text.empty()) << c.folder;
        EXPECT_NE(std::string::npos, text.find(other)) << text;
    }
}

}  // namespace
