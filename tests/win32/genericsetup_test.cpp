// The generic setup as `setupvol build` lays it out: GenericSetup.exe with
// Setup.Dll, Product.toml, the licence it names and the volumes of the
// product's manifest (plus the uninstaller's line) in one folder. Unattended:
// a few hundred files in nested folders (names with blanks, an empty file, a
// read-only one) installed byte for byte into a folder with blanks, the
// shortcuts, registry values, file type and Uninstall entry made, and all of
// it gone after the entry's QuietUninstallString; a run undone after those
// additions (a value or the registration refused) leaves none of them. On
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
    // The program in its sub-folder, where App Paths points.
    const std::string appPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\tool one.exe";
    EXPECT_EQ(target + "\\Tools\\tool one.exe", registryText(HKEY_LOCAL_MACHINE, appPaths, nullptr));
    EXPECT_EQ(target + "\\Tools", registryText(HKEY_LOCAL_MACHINE, appPaths, "Path"));

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

// A run undone after the setup's own additions were made: a product value
// below a key the test made volatile (Windows refuses a lasting key there),
// or the registration's first key below such a key. None of the additions
// stays (shortcuts, their Start menu folder, values, file type,
// InstallReg.log), nor the folder or an Uninstall entry; what the run
// replaced (a value, a desktop shortcut) is back byte for byte.
TEST_F(GenericSetupRun, ARunUndoneAfterTheAdditionsLeavesNoneOfThem) {
    const std::string key = "Software\\Test Maker\\Generic Test";
    const std::vector<unsigned char> earlierValue = {0x01, 0x00, 0xFF, 0x7F, 0x00};
    const std::vector<unsigned char> earlierLink = kit::content(5, 700);
    struct Case {
        const char* what;
        HKEY root;
        const char* lasting;   // made as usual
        const char* volatileKey;  // made volatile below it
        const char* product;   // added to the product file
        const char* logged;    // the log's word for the failure
    } cases[] = {
        {"a product value refused", HKEY_CURRENT_USER, "Software\\Test Maker", "Software\\Test Maker\\Volatile",
         "[[registry]]\nroot = \"HKCU\"\nkey = 'Software\\Test Maker\\Volatile\\Sub'\nname = \"No\"\ndata = \"x\"\n",
         "Volatile\\Sub\tNo\tstring\tx FAILED"},
        {"the registration refused", HKEY_CLASSES_ROOT, "QRV_Files\\Shell", "QRV_Files\\Shell\\Generic Test", "",
         "registration: RegisterApplication failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        win32::RegistryKey made;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, made.out(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(made.get(), "Edition", 0, REG_BINARY, earlierValue.data(),
                                                static_cast<DWORD>(earlierValue.size())));
        ASSERT_TRUE(testenv::writeFile(desktopShortcut(), earlierLink));
        win32::RegistryKey lasting, refusing;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(c.root, c.lasting, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                                 lasting.out(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(c.root, c.volatileKey, 0, nullptr, REG_OPTION_VOLATILE,
                                                 KEY_ALL_ACCESS, nullptr, refusing.out(), nullptr));
        ASSERT_TRUE(testenv::writeFile(setup + "\\Product.toml", std::string(kProductFile) + c.product));
        DeleteFileA(log.c_str());

        EXPECT_EQ(ExitFailure, runSetup("/S \"/LOG=" + log + "\" /D=" + target));
        std::string text = readText(log);
        // The additions were made before the failure, then undone.
        EXPECT_TRUE(contains(text, "shortcut: " + startMenuShortcut() + "\r\n")) << text;
        EXPECT_TRUE(contains(text, "registry: value\tHKLM\t" + key + "\tEdition\tstring\tStandard\r\n")) << text;
        EXPECT_TRUE(contains(text, c.logged)) << text;
        EXPECT_FALSE(testenv::fileExists(startMenuShortcut()));
        EXPECT_FALSE(testenv::dirExists(shellFolder(CSIDL_PROGRAMS) + "\\Generic Test"));
        EXPECT_EQ(earlierLink, testenv::readFile(desktopShortcut()));
        EXPECT_FALSE(testenv::dirExists(target));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, key));
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, ".gnt"));
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, "GenericTest.Document"));
        unsigned char bytes[16];
        DWORD size = sizeof bytes, type = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(made.get(), "Edition", nullptr, &type, bytes, &size));
        EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
        EXPECT_EQ(earlierValue, std::vector<unsigned char>(bytes, bytes + (size < sizeof bytes ? size : 0)));

        refusing.reset();
        SHDeleteKeyA(c.root, c.volatileKey);
        DeleteFileA(desktopShortcut().c_str());
        cleanMachine();
    }
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
TEST_F(GenericSetupRun, LicenceDeclinedKeepsNextDisabledAcceptedLetsTheInstallGoOn) {
    const std::string oneFile = buildOneFile();
    ASSERT_FALSE(oneFile.empty());
    PROCESS_INFORMATION pi = {};
    ASSERT_EQ(0, runSetup("\"/LOG=" + log + "\" /D=" + target, &pi, oneFile));
    pi.dwProcessId = 0;
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
    EXPECT_TRUE(contains(text, "language button: not offered (one language)")) << text;
    EXPECT_TRUE(contains(text, "licence: not accepted")) << text;
    EXPECT_TRUE(contains(text, "licence: accepted")) << text;
    EXPECT_TRUE(testenv::fileExists(target + "\\Tools\\tool one.exe"));
}

// Ten components, more than the page's height shows: all of them listed,
// ticked and unticked from the keyboard (Space on the focused row; the
// required first one stays ticked), and the run installs the ticked ones.
TEST_F(GenericSetupRun, ComponentsPageListsAnyCountAndTicksFromTheKeyboard) {
    std::string lines = "file \"files/Tools/tool one.exe\" install Tools 1\n";
    std::string components = "[[component]]\nname = \"Program\"\nrequired = true\n";
    for (int n = 2; n <= 10; ++n) {
        std::string name = "c" + std::to_string(n) + ".txt";
        ASSERT_TRUE(testenv::writeFile(source + "\\" + name, "part " + std::to_string(n)));
        lines += "file " + name + " install - " + std::to_string(n) + "\n";
        components += "[[component]]\nname = \"Part " + std::to_string(n) + "\"\n";
    }
    kit::Manifest manifest;
    manifest.line(lines + "file QRVUnins.Exe windows - 1");
    ASSERT_TRUE(kit::pack(manifest, source, setup));
    ASSERT_TRUE(testenv::writeFile(setup + "\\Product.toml",
                                   "[product]\nname = \"Generic Test\"\nversion = \"1.0\"\npublisher = \"Test Maker\"\n"
                                   "icon = 'Tools\\tool one.exe'\nrestart = false\n[files]\nlines = '''\n" + lines +
                                       "'''\n" + components +
                                       "[pages.components]\ntitle = \"Pick parts\"\n[pages.ready]\ntitle = \"All set\"\n"));
    PROCESS_INFORMATION pi = {};
    ASSERT_EQ(0, runSetup("\"/LOG=" + log + "\" /D=" + target, &pi));
    HWND page = waitForPage(pi.dwProcessId, "Pick parts");
    ASSERT_TRUE(page) << readText(log);
    HWND list = GetDlgItem(page, IDC_GENERIC_COMPONENTS);
    EXPECT_EQ(10, SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    auto press = [&](UINT key) {
        PostMessageA(list, WM_KEYDOWN, key, 0);
        PostMessageA(list, WM_KEYUP, key, 0xC0000000);
        Sleep(150);
    };
    press(VK_SPACE);  // the required first row
    press(VK_END);
    press(VK_SPACE);  // Part 10
    for (int n = 0; n < 5; ++n)
        press(VK_UP);
    press(VK_SPACE);  // Part 5
    for (int row = 0; row < 10; ++row) {
        LRESULT state = SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) >> 12;
        EXPECT_EQ(row == 4 || row == 9 ? 1 : 2, state) << "row " << row;
    }
    click(page, IDC_LIB_NEXT);
    page = waitForPage(pi.dwProcessId, "All set");
    ASSERT_TRUE(page);
    click(page, IDC_LIB_NEXT);
    HWND done = waitForWindow(pi.dwProcessId, 0xFFFF, "Setup is complete.");
    ASSERT_TRUE(done) << readText(log);
    click(done, IDOK);
    EXPECT_EQ(ExitSuccess, finish(pi.hProcess)) << readText(log);
    for (int n = 2; n <= 10; ++n)
        EXPECT_EQ(n != 5 && n != 10, testenv::fileExists(target + "\\c" + std::to_string(n) + ".txt")) << n;
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
