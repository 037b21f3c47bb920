// The generic setup as `setupvol build` lays it out: GenericSetup.exe with
// Setup.Dll, Product.toml, the licence it names and the volumes of the
// product's manifest (plus the uninstaller's line) in one folder. Unattended:
// a few hundred files in nested folders (names with blanks, an empty file, a
// read-only one) installed byte for byte into a folder with blanks, the
// shortcuts, registry values, file type and Uninstall entry made, and all of
// it gone after the entry's QuietUninstallString; a run undone after those
// additions (the registration refused) leaves none of them. On
// screen, through the one Setup.exe `setupvol build` makes: the licence
// page's Next stays disabled until "I accept" is ticked. A folder whose
// product file is missing exits with 1603 having written nothing. And the
// generic product and the sample product never share a folder.
#include "Setup.h"

#include <commctrl.h>
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

    // GenericSetup.exe from the setup folder (or `program`); its exit code
    // (-2: killed).
    int runSetup(const std::string& arguments, PROCESS_INFORMATION* running = nullptr,
                 const std::string& program = "") {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::string command = "\"" + (program.empty() ? setup + "\\GenericSetup.exe" : program) + "\" " + arguments;
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, setup.c_str(), &si, &pi))
            return -1;
        CloseHandle(pi.hThread);
        if (running) {
            *running = pi;
            return 0;
        }
        return finish(pi.hProcess);
    }
public:
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

protected:
    // The one Setup.exe `setupvol build` makes of the product: the stub
    // with the generic setup, its runtime and the volumes as its payload.
    std::string buildOneFile() {
        const std::string runtime = dir + "\\runtime", exe = dir + "\\Setup.exe";
        CreateDirectoryA(runtime.c_str(), nullptr);
        for (const char* name : {"GenericSetup.exe", "SetupStub.exe", "Setup.Dll", "Setup_en.Dll", "QRVUnins.Exe"})
            CopyFileA(testenv::binPath(name).c_str(), (runtime + "\\" + name).c_str(), FALSE);
        CopyFileA((setup + "\\Product.toml").c_str(), (source + "\\Product.toml").c_str(), FALSE);
        CopyFileA((setup + "\\licence.txt").c_str(), (source + "\\licence.txt").c_str(), FALSE);
        int built = testenv::run("\"" + testenv::binPath("setupvol.exe") + "\" build \"" + source +
                                 "\\Product.toml\" -o \"" + exe + "\" --runtime \"" + runtime + "\" --quiet");
        return built == 0 ? exe : std::string();
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
    // The library's diagnostic log is followed into /LOG= as in the sample's.
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "library: file installed: " + target + "\\level 0\\sub 0\\file 0.bin\r\n")) << text;
    EXPECT_TRUE(contains(text, "library: run ended in: " + target)) << text;
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
    const std::string appPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tool one.exe";
    EXPECT_EQ(target + "\\Tools", registryText(HKEY_LOCAL_MACHINE, appPaths, "Path"));  // the program's sub-folder

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

// The registration refused after the setup's own additions were made (its
// first key would be a lasting key below one the test made volatile): none
// of the additions stays (shortcuts, their Start menu folder, values, file
// type, InstallReg.log), nor the folder or an Uninstall entry; what the run
// replaced (a value, a desktop shortcut) is back byte for byte.
TEST_F(GenericSetupRun, ARegistrationRefusedAfterTheAdditionsLeavesNoneOfThem) {
    const std::string key = "Software\\Test Maker\\Generic Test", refused = "QRV_Files\\Shell\\Generic Test";
    const std::vector<unsigned char> earlierValue = {0x01, 0x00, 0xFF, 0x7F}, earlierLink = kit::content(5, 700);
    win32::RegistryKey made, lasting, refusing;
    ASSERT_FALSE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, made.out(),
                                 nullptr) ||
                 RegSetValueExA(made.get(), "Edition", 0, REG_BINARY, earlierValue.data(), 4) ||
                 RegCreateKeyExA(HKEY_CLASSES_ROOT, "QRV_Files\\Shell", 0, nullptr, 0, KEY_READ, nullptr,
                                 lasting.out(), nullptr) ||
                 RegCreateKeyExA(HKEY_CLASSES_ROOT, refused.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_READ,
                                 nullptr, refusing.out(), nullptr));
    ASSERT_TRUE(testenv::writeFile(desktopShortcut(), earlierLink));
    EXPECT_EQ(ExitFailure, runSetup("/S \"/LOG=" + log + "\" /D=" + target));
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "shortcut: " + startMenuShortcut() + "\r\n") &&
                contains(text, "registry: value\tHKCR\tGenericTest.Document\\shell\\open\\command") &&
                contains(text, "registration: RegisterApplication failed"))
        << text;
    for (const std::string& gone : {startMenuShortcut(), shellFolder(CSIDL_PROGRAMS) + "\\Generic Test", target})
        EXPECT_FALSE(testenv::fileExists(gone) || testenv::dirExists(gone)) << gone;
    EXPECT_EQ(earlierLink, testenv::readFile(desktopShortcut()));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey) || keyExists(HKEY_CURRENT_USER, key) ||
                 keyExists(HKEY_CLASSES_ROOT, ".gnt"));
    std::vector<unsigned char> value(8);
    DWORD size = 8, type = 0;
    EXPECT_FALSE(RegQueryValueExA(made.get(), "Edition", nullptr, &type, value.data(), &size));
    value.resize(size);
    EXPECT_TRUE(type == REG_BINARY && value == earlierValue);
    refusing.reset();
    SHDeleteKeyA(HKEY_CLASSES_ROOT, refused.c_str());
    DeleteFileA(desktopShortcut().c_str());
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

// The visible top-level window of `pid` (0: of any process, as the setup
// the one-file stub starts) whose control `control` (a page's heading, a
// message box's text 0xFFFF) reads `text`, waited for.
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
    if ((f->pid && pid != f->pid) || !IsWindowVisible(window) || !control)
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

// Walked through the one Setup.exe, as a user gets it: its pages are the
// generic setup's, in the process the stub starts.
// Install on the ready page ("All set"), then "Setup is complete." answered
// as a person would: the setup's exit code.
int installFromReadyPage(const PROCESS_INFORMATION& pi) {
    HWND page = waitForPage(pi.dwProcessId, "All set");
    click(page, IDC_LIB_NEXT);
    HWND done = page ? waitForWindow(pi.dwProcessId, 0xFFFF, "Setup is complete.") : nullptr;
    click(done, IDOK);
    return GenericSetupRun::finish(pi.hProcess);
}

TEST_F(GenericSetupRun, LicenceDeclinedKeepsNextDisabledAcceptedLetsTheInstallGoOn) {
    const std::string oneFile = buildOneFile();
    ASSERT_FALSE(oneFile.empty());
    PROCESS_INFORMATION pi = {};
    ASSERT_EQ(0, runSetup("\"/LOG=" + log + "\" /D=" + target, &pi, oneFile));
    pi.dwProcessId = 0;
    HWND page = waitForPage(pi.dwProcessId, "Hello from Generic Test");
    ASSERT_TRUE(page);
    // A walk that fails leaves no setup behind: killing the stub would not end it.
    DWORD setupId = 0;
    GetWindowThreadProcessId(page, &setupId);
    auto endSetup = win32::atScopeExit([setupId] {
        win32::KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, setupId));
        TerminateProcess(process.get(), 1);
    });
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

    EXPECT_EQ(ExitSuccess, installFromReadyPage(pi)) << readText(log);
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "language button: not offered (one language)")) << text;
    EXPECT_TRUE(contains(text, "licence: not accepted")) << text;
    EXPECT_TRUE(contains(text, "licence: accepted")) << text;
    EXPECT_TRUE(testenv::fileExists(target + "\\Tools\\tool one.exe"));
}

// Ten components, more than the page's height shows: all listed, ticked and
// unticked from the keyboard (Space on the focused row; the required first
// one stays ticked), and the run takes the groups as they were left.
TEST_F(GenericSetupRun, ComponentsPageListsAnyCountAndTicksFromTheKeyboard) {
    std::string product = kProductFile, pages = "[pages.components]\ntitle = \"Pick parts\"\n";
    for (int n = 3; n <= 10; ++n)
        pages += "[[component]]\nname = \"Part " + std::to_string(n) + "\"\n";
    size_t welcome = product.find("[pages.welcome]"), ready = product.find("[pages.ready]");
    ASSERT_TRUE(testenv::writeFile(setup + "\\Product.toml", product.replace(welcome, ready - welcome, pages)));
    kit::Manifest manifest;  // the archive's group count is the components'
    manifest.line("groups 10").line("tree files install - 1").line("file QRVUnins.Exe windows - 1");
    ASSERT_TRUE(kit::pack(manifest, source, setup));
    PROCESS_INFORMATION pi = {};
    ASSERT_EQ(0, runSetup("\"/LOG=" + log + "\" /D=" + target, &pi));
    HWND page = waitForPage(pi.dwProcessId, "Pick parts"), list = GetDlgItem(page, IDC_GENERIC_COMPONENTS);
    EXPECT_EQ(10, SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    // Space on the required first row, on the last (Part 10), on Part 5.
    for (UINT key : {VK_SPACE, VK_END, VK_SPACE, VK_UP, VK_UP, VK_UP, VK_UP, VK_UP, VK_SPACE})
        PostMessageA(list, WM_KEYDOWN, key, 0), Sleep(150);
    click(page, IDC_LIB_NEXT);
    EXPECT_EQ(ExitSuccess, installFromReadyPage(pi)) << readText(log);
    const std::string groups = "groups: 1 on 2 on 3 on 4 on 5 off 6 on 7 on 8 on 9 on 10 off";
    EXPECT_TRUE(contains(readText(log), groups)) << readText(log);
}

// Two products, one folder, in both orders: the second setup refuses the
// first one's folder, naming it, and leaves its Install.log as it was; put
// into a folder of its own, the second installs, and each product's
// uninstaller then removes its own files whole, the other's untouched.
TEST_F(GenericSetupRun, TwoProductsInOneFolderTheSecondIsRefusedAndEachUninstallsWhole) {
    const char kSampleKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Product";
    const std::string sample = dir + "\\sample", sampleSource = dir + "\\sample source";
    CreateDirectoryA(sampleSource.c_str(), nullptr);
    ASSERT_TRUE(testenv::writeFile(sampleSource + "\\Tool.exe", kit::content(71, 9000)));
    ASSERT_TRUE(testenv::writeFile(sampleSource + "\\QRVUnins.Exe", testenv::readFile(testenv::binPath("QRVUnins.Exe"))));
    kit::Manifest manifest;
    manifest.line("groups 3").line("file Tool.exe install - 1 name=SampleTool.exe").line("file QRVUnins.Exe windows - 1");
    ASSERT_TRUE(kit::pack(manifest, sampleSource, sample));
    auto uninstall = [](const char* key) {
        std::string quiet = registryText(HKEY_LOCAL_MACHINE, key, "QuietUninstallString");
        return quiet == "<none>" ? -1 : testenv::run(quiet);
    };
    uninstall(kSampleKey);  // an earlier run's, ended by a failed assertion
    // Either setup from its own folder, what it prints kept in `output`: a
    // refused folder is said there, before any log is written.
    const std::string output = dir + "\\output.txt";
    auto runFrom = [&](const std::string& program, const std::string& folder, const std::string& arguments) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        win32::FileHandle out(CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = out.get();
        PROCESS_INFORMATION pi = {};
        std::string command = "\"" + program + "\" " + arguments;
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si, &pi))
            return -1;
        CloseHandle(pi.hThread);
        return finish(pi.hProcess);
    };
    const std::string shared = dir + "\\One Folder", own = dir + "\\Own Folder";
    for (bool genericFirst : {true, false}) {
        SCOPED_TRACE(genericFirst ? "the generic product first" : "the sample product first");
        auto install = [&](bool generic, const std::string& folder) {
            std::string arguments = "/S \"/LOG=" + log + "\" /D=" + folder;
            return generic ? runFrom(setup + "\\GenericSetup.exe", setup, arguments)
                           : runFrom(testenv::binPath("SampleSetup.exe"), sample, arguments);
        };
        DeleteFileA(log.c_str());
        ASSERT_EQ(ExitSuccess, install(genericFirst, shared)) << readText(log);
        std::vector<unsigned char> firstLog = testenv::readFile(shared + "\\Install.log");
        DeleteFileA(log.c_str());
        EXPECT_EQ(ExitFailure, install(!genericFirst, shared));
        std::string text = readText(output);
        EXPECT_TRUE(contains(text, std::string("the installation folder of ") +
                                       (genericFirst ? "Generic Test" : "Sample Product")))
            << text;
        EXPECT_EQ(firstLog, testenv::readFile(shared + "\\Install.log"));
        EXPECT_FALSE(testenv::fileExists(shared + (genericFirst ? "\\SampleTool.exe" : "\\Tools\\tool one.exe")));

        ASSERT_EQ(ExitSuccess, install(!genericFirst, own)) << readText(log);
        EXPECT_EQ(100, uninstall(genericFirst ? kUninstallKey : kSampleKey));
        EXPECT_FALSE(testenv::dirExists(shared));
        // The other product whole, its uninstaller (the one both install) still there.
        if (genericFirst)
            EXPECT_EQ(testenv::readFile(sampleSource + "\\Tool.exe"), testenv::readFile(own + "\\SampleTool.exe"));
        else
            EXPECT_EQ(files["files\\Tools\\tool one.exe"], testenv::readFile(own + "\\Tools\\tool one.exe"));
        EXPECT_EQ(100, uninstall(genericFirst ? kSampleKey : kUninstallKey));
        EXPECT_FALSE(testenv::dirExists(own));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kSampleKey));
    }
}

}  // namespace
