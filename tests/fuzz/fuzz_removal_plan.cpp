// libFuzzer target: the uninstaller's plan over an Install.log that anyone
// may have written (tools/uninstaller/RemovalPlan.h). Whatever the log says,
// a file to remove lies inside the installation folder or is a shortcut (or
// its temporary stand-in) inside a shortcut folder; nothing of the Windows
// and system folders or elsewhere is removed; every folder to remove lies
// strictly inside the installation or a shortcut folder; a damaged log plans
// nothing; no file is planned twice.
//
// Input layout: the whole input is the log.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "format/InstallLog.h"
#include "format/Records.h"
#include "tests/fuzz/Require.h"
#include "tools/uninstaller/RemovalPlan.h"

namespace {

KnownFolders machine() {
    KnownFolders f;
    f.install = "C:\\Program Files\\Sample";
    f.windows = "C:\\Windows";
    f.system = "C:\\Windows\\System32";
    f.desktop = "C:\\Users\\ann\\Desktop";
    f.startup = "C:\\Users\\ann\\Start Menu\\Programs\\Startup";
    f.startMenu = "C:\\Users\\ann\\Start Menu";
    f.programs = "C:\\Users\\ann\\Start Menu\\Programs";
    f.self = "C:\\Windows\\QRVUnins.Exe";
    return f;
}

bool inShortcutFolder(const KnownFolders& f, const std::string& path) {
    return pathInside(f.desktop, path) || pathInside(f.startMenu, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const KnownFolders f = machine();
    RemovalPlan plan = planRemoval(data, size, f);
    if (!plan.valid) {
        REQUIRE(plan.files.empty() && plan.folders.empty());
        REQUIRE(!plan.fault.empty());
        return 0;
    }
    REQUIRE(plan.files.size() <= size / 564);
    std::vector<std::string> removed;
    for (const PlannedFile& file : plan.files) {
        if (file.fate == FileFate::Shared)
            REQUIRE(pathInside(f.windows, file.path));
        if (file.fate != FileFate::Remove)
            continue;
        REQUIRE(!pathInside(f.windows, file.path));
        REQUIRE(!samePath(f.self, file.path));
        bool install = pathInside(f.install, file.path);
        REQUIRE(install || inShortcutFolder(f, file.path));
        if (!install) {
            const char* name = strrchr(file.path.c_str(), '\\') + 1;
            REQUIRE(isShortcutPath(name) || (file.temporary && isTemporaryFileName(name)));
        }
        for (const std::string& other : removed)
            REQUIRE(!samePath(other, file.path));
        removed.push_back(file.path);
    }
    for (const std::string& folder : plan.folders) {
        REQUIRE(pathInside(f.install, folder) || inShortcutFolder(f, folder));
        REQUIRE(!samePath(folder, f.desktop) && !samePath(folder, f.startMenu) && !samePath(folder, f.programs) &&
                !samePath(folder, f.startup));
    }
    return 0;
}
