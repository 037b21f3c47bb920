// The generic setup as `setupvol build` lays it out: GenericSetup.exe with
// Setup.Dll, Product.toml, the licence it names and the volumes of the
// product's manifest (plus the uninstaller's line) in one folder. Unattended:
// a few hundred files in nested folders (names with blanks, an empty file, a
// read-only one) installed byte for byte into a folder with blanks, the
// shortcuts, registry values, file type and Uninstall entry made, and all of
// it gone after the entry's QuietUninstallString. On screen: the licence
// page's Next stays disabled until "I accept" is ticked. And a folder whose
// product file is missing exits with 1603 having written nothing.
#include "Setup.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <map>
#include <string>

#include "EngineKit.h"
#include "SampleResource.h"
#include "SetupRules.h"
#include "TestEnv.h"
#include "tools/genericsetup/GenericResource.h"
#include "win32/Ownership.h"

namespace {

const DWORD kRunLimitMs = 60000;
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Generic Test";

std::string readText(const std::string& path) {
    std::vector<unsigned char> bytes = testenv::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string registryText(HKEY root, const std::string& key, const char* name) {
    char data[1024] = "";
    DWORD size = sizeof data - 1, type = 0;
    win32::RegistryKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS ||
        RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
        return "<none>";
    return type == REG_DWORD ? std::to_string(*reinterpret_cast<DWORD*>(data)) : std::string(data);
}

bool keyExists(HKEY root, const std::string& key) {
    win32::RegistryKey k;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.out()) == ERROR_SUCCESS;
}

std::string shellFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

// The product file: three pages, two components, two shortcuts, two
// registry values and a file type; no restart offered.
const char kProductFile[] = R"(
[product]
name = "Generic Test"
version = "2.1.0"
publisher = "Test Maker"
about-url = "https://example.com/generic"
icon = 'Tools\tool one.exe'
restart = false

[files]
lines = '''
tree files install - 1
file extra.txt install Extras 2
'''

[[component]]
name = "Program"
required = true

[[component]]
name = "Extras"

[pages.welcome]
title = "Hello from Generic Test"
[pages.licence]
file = "licence.txt"
[pages.ready]
title = "All set"

[[shortcut]]
name = "Tool One"
target = 'Tools\tool one.exe'
[[shortcut]]
place = "desktop"
name = "Generic Tool"
target = 'Tools\tool one.exe'

[[registry]]
root = "HKLM"
key = 'Software\Test Maker\Generic Test'
name = "Edition"
data = "Standard"
[[registry]]
root = "HKCU"
key = 'Software\Test Maker\Generic Test'
name = "Flags"
type = "dword"
data = 4294967295

[[association]]
extension = ".gnt"
progid = "GenericTest.Document"
description = "Generic test document"
target = 'Tools\tool one.exe'
)";

class GenericSetupRun : public ::testing::Test {
protected:
    void SetUp() override {
        cleanMachine();
        dir = testenv::scratchDir();
        setup = dir + "\\setup";
        source = dir + "\\product";
        target = dir + "\\Generic Test Folder";
        log = dir + "\\run.log";
        CreateDirectoryA(setup.c_str(), nullptr);
        CreateDirectoryA(source.c_str(), nullptr);
        // 300 files in nested folders, names with blanks, one empty, one read-only.
        for (int i = 0; i < 300; ++i) {
            std::string folder = "files\\level " + std::to_string(i % 5) + "\\sub " + std::to_string(i % 7);
            std::string name = folder + "\\file " + std::to_string(i) + ".bin";
            files[name] = kit::content(static_cast<uint32_t>(i), i == 0 ? 0 : 100 + 37 * i);
        }
        files["files\\Tools\\tool one.exe"] = testenv::readFile(testenv::binPath("setupvol.exe"));
        files["extra.txt"] = kit::content(999, 4000);
        for (const auto& f : files) {
            std::string path = source + "\\" + f.first;
            SHCreateDirectoryExA(nullptr, path.substr(0, path.rfind('\\')).c_str(), nullptr);
            ASSERT_TRUE(testenv::writeFile(path, f.second)) << path;
        }
        SetFileAttributesA((source + "\\files\\level 1\\sub 1\\file 1.bin").c_str(), FILE_ATTRIBUTE_READONLY);
        ASSERT_TRUE(testenv::writeFile(source + "\\QRVUnins.Exe", testenv::readFile(testenv::binPath("QRVUnins.Exe"))));
        // As `setupvol build` lays it out: the product's manifest and the
        // uninstaller's line packed, the runtime beside the program.
        kit::Manifest manifest;
        manifest.line("tree files install - 1").line("file extra.txt install Extras 2");
        manifest.line("file QRVUnins.Exe windows - 1");
        ASSERT_TRUE(kit::pack(manifest, source, setup));
        for (const char* name : {"GenericSetup.exe", "Setup.Dll", "Setup_en.Dll"})
            ASSERT_TRUE(CopyFileA(testenv::binPath(name).c_str(), (setup + "\\" + name).c_str(), FALSE)) << name;
        ASSERT_TRUE(testenv::writeFile(setup + "\\Product.toml", std::string(kProductFile)));
        ASSERT_TRUE(testenv::writeFile(setup + "\\licence.txt", std::string("Terms of the test.\nLine two.\n")));
    }
    void TearDown() override { cleanMachine(); }

    void cleanMachine() {
        std::string quiet = registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString");
        if (quiet != "<none>")
            testenv::run(quiet);
        // What a failed case may have left: the next one finds none of it.
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Test Maker");
        SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\Test Maker");
        SHDeleteKeyA(HKEY_CLASSES_ROOT, ".gnt");
        SHDeleteKeyA(HKEY_CLASSES_ROOT, "GenericTest.Document");
    }

    // GenericSetup.exe from the setup folder; its exit code (-2: killed).
    int runSetup(const std::string& arguments, PROCESS_INFORMATION* running = nullptr) {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::string command = "\"" + setup + "\\GenericSetup.exe\" " + arguments;
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, setup.c_str(), &si, &pi))
            return -1;
        CloseHandle(pi.hThread);
        if (running) {
            *running = pi;
            return 0;
        }
        return finish(pi.hProcess);
    }
    static int finish(HANDLE process) {
        int code = -2;
        if (WaitForSingleObject(process, kRunLimitMs) == WAIT_OBJECT_0) {
            DWORD exit = 0;
            GetExitCodeProcess(process, &exit);
            code = static_cast<int>(exit);
        } else {
            TerminateProcess(process, 0xDEAD);
        }
        CloseHandle(process);
        return code;
    }

    std::string startMenuShortcut() const { return shellFolder(CSIDL_PROGRAMS) + "\\Generic Test\\Tool One.lnk"; }
    std::string desktopShortcut() const { return shellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Generic Tool.lnk"; }

    std::string dir, setup, source, target, log;
    std::map<std::string, std::vector<unsigned char>> files;
};

TEST_F(GenericSetupRun, SilentInstallMakesEverythingAndTheQuietUninstallRemovesIt) {
    ASSERT_EQ(ExitSuccess, runSetup("/S \"/LOG=" + log + "\" /D=" + target)) << readText(log);
    // Every file byte for byte, at its place below the folder.
    for (const auto& f : files) {
        std::string relative = f.first.rfind("files\\", 0) == 0 ? f.first.substr(6) : "Extras\\" + f.first;
        EXPECT_EQ(f.second, testenv::readFile(target + "\\" + relative)) << relative;
    }
    EXPECT_TRUE(testenv::fileExists(target + "\\level 0\\sub 0\\file 0.bin"));
    EXPECT_TRUE(testenv::fileExists(startMenuShortcut()));
    EXPECT_TRUE(testenv::fileExists(desktopShortcut()));
    const std::string key = "Software\\Test Maker\\Generic Test";
    EXPECT_EQ("Standard", registryText(HKEY_LOCAL_MACHINE, key, "Edition"));
    EXPECT_EQ("4294967295", registryText(HKEY_CURRENT_USER, key, "Flags"));
    EXPECT_EQ("GenericTest.Document", registryText(HKEY_CLASSES_ROOT, ".gnt", nullptr));
    EXPECT_EQ("\"" + target + "\\Tools\\tool one.exe\" \"%1\"",
              registryText(HKEY_CLASSES_ROOT, "GenericTest.Document\\shell\\open\\command", nullptr));
    EXPECT_EQ("Generic Test", registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
    EXPECT_EQ("2.1.0", registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayVersion"));
    EXPECT_EQ("Test Maker", registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "Publisher"));
    EXPECT_EQ("https://example.com/generic", registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "URLInfoAbout"));
    EXPECT_EQ(target + "\\Tools\\tool one.exe", registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayIcon"));

    std::string quiet = registryText(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString");
    EXPECT_EQ(100, testenv::run(quiet)) << quiet;
    EXPECT_FALSE(testenv::dirExists(target));
    EXPECT_FALSE(testenv::fileExists(startMenuShortcut()));
    EXPECT_FALSE(testenv::dirExists(shellFolder(CSIDL_PROGRAMS) + "\\Generic Test"));
    EXPECT_FALSE(testenv::fileExists(desktopShortcut()));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, key));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, key));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "Software\\Test Maker"));  // created by the setup, left empty
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, ".gnt"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "GenericTest.Document"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(GenericSetupRun, WithoutAValidProductFileNothingIsWrittenAndTheLogSaysWhy) {
    for (const char* product : {"", "[product]\nname = \"Generic Test\"\n"}) {
        if (*product)
            ASSERT_TRUE(testenv::writeFile(setup + "\\Product.toml", std::string(product)));
        else
            ASSERT_TRUE(DeleteFileA((setup + "\\Product.toml").c_str()));
        DeleteFileA(log.c_str());
        EXPECT_EQ(ExitFailure, runSetup("/S \"/LOG=" + log + "\" /D=" + target));
        EXPECT_FALSE(testenv::dirExists(target));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        std::string text = readText(log);
        EXPECT_TRUE(contains(text, *product ? "is not valid" : "there is no product file")) << text;
        EXPECT_TRUE(contains(text, "Product.toml")) << text;
    }
}

// The visible top-level window of `pid` whose control `control` (a page's
// heading, a message box's text 0xFFFF) reads `text`, waited for.
struct Found {
    DWORD pid;
    int control;
    std::string text;
    HWND window;
};
BOOL CALLBACK findWindow(HWND window, LPARAM param) {
    Found* f = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char text[256] = "";
    HWND control = GetDlgItem(window, f->control);
    if (pid != f->pid || !IsWindowVisible(window) || !control)
        return TRUE;
    GetWindowTextA(control, text, sizeof text);
    if (f->text != text)
        return TRUE;
    f->window = window;
    return FALSE;
}
HWND waitForWindow(DWORD pid, int control, const std::string& text) {
    Found f{pid, control, text, nullptr};
    for (DWORD start = GetTickCount(); !f.window && GetTickCount() - start < 15000; Sleep(50))
        EnumWindows(findWindow, reinterpret_cast<LPARAM>(&f));
    EXPECT_TRUE(f.window) << "no window \"" << text << "\"";
    return f.window;
}
HWND waitForPage(DWORD pid, const std::string& heading) { return waitForWindow(pid, IDC_PAGE_TITLE, heading); }
void click(HWND dialog, int button) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

TEST_F(GenericSetupRun, LicenceDeclinedKeepsNextDisabledAcceptedLetsTheInstallGoOn) {
    PROCESS_INFORMATION pi = {};
    ASSERT_EQ(0, runSetup("\"/LOG=" + log + "\" /D=" + target, &pi));
    HWND page = waitForPage(pi.dwProcessId, "Hello from Generic Test");
    ASSERT_TRUE(page);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_LIB_BACK)));
    click(page, IDC_LIB_NEXT);

    page = waitForPage(pi.dwProcessId, "Licence agreement");
    ASSERT_TRUE(page);
    char shown[256] = "";
    GetDlgItemTextA(page, IDC_GENERIC_FILE, shown, sizeof shown);
    EXPECT_EQ("Terms of the test.\r\nLine two.\r\n", std::string(shown));
    GetDlgItemTextA(page, IDC_GENERIC_ACCEPT, shown, sizeof shown);
    EXPECT_EQ("I &accept the terms of the licence", std::string(shown));
    HWND next = GetDlgItem(page, IDC_LIB_NEXT);
    EXPECT_FALSE(IsWindowEnabled(next));
    // Declined: Next, pressed all the same, leaves the page where it is.
    click(page, IDC_LIB_NEXT);
    Sleep(300);
    EXPECT_TRUE(IsWindowVisible(page));
    EXPECT_FALSE(IsWindowEnabled(next));
    // Ticked, then unticked, then ticked again.
    for (UINT state : {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}) {
        SendDlgItemMessageA(page, IDC_GENERIC_ACCEPT, BM_SETCHECK, state, 0);
        click(page, IDC_GENERIC_ACCEPT);
        Sleep(200);
        EXPECT_EQ(state == BST_CHECKED, IsWindowEnabled(next) != FALSE) << state;
    }
    click(page, IDC_LIB_NEXT);

    page = waitForPage(pi.dwProcessId, "All set");
    ASSERT_TRUE(page);
    click(page, IDC_LIB_NEXT);
    // "Setup is complete.", answered as a person would.
    HWND done = waitForWindow(pi.dwProcessId, 0xFFFF, "Setup is complete.");
    ASSERT_TRUE(done) << readText(log);
    click(done, IDOK);
    EXPECT_EQ(ExitSuccess, finish(pi.hProcess)) << readText(log);
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "licence: not accepted")) << text;
    EXPECT_TRUE(contains(text, "licence: accepted")) << text;
    EXPECT_TRUE(testenv::fileExists(target + "\\Tools\\tool one.exe"));
}

}  // namespace
