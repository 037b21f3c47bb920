// The uninstaller QRVUnins.Exe, run as a program on a product the engine
// installed: the uninstaller itself goes to the Windows folder with it, as
// the product's registration expects. Removal with the "_" argument of a
// setup that asked already and with /S; a user's file keeps its folder;
// shared files stay; the registration goes; a missing or damaged log removes
// nothing; a file in use goes at the next start; the question answered No
// removes nothing. Folders and files named through 8.3 aliases and symbolic
// links are judged by what they resolve to; a file another registered
// product's log lists stays. The uninstaller's message boxes
// belong to its own process: the test finds them there, reads them and
// presses what a user would.
#include "Setup.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "RestartKit.h"
#include "TestEnv.h"
#include "UiAuto.h"
#include "format/NameEncoding.h"

namespace {

const char kProduct[] = "Unins Test Product";
const char kExe[] = "UninsSample.exe";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Unins Test Product";
const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\UninsSample.exe";
const char kProductKey[] = "SOFTWARE\\Tarvelon\\Unins Test Product";
const char kVerb[] = "QRV_Files\\Shell\\Unins Test Product";
// A second product, registered beside the first.
const char kOther[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Unins Other Product";

bool setText(HKEY root, const std::string& key, const char* name, const std::string& value) {
    HKEY k;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(k);
    return ok;
}

bool keyExists(HKEY root, const std::string& key) {
    HKEY k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

void deleteKey(HKEY root, const std::string& key) {
    // Deepest first; the test's keys are at most two levels deep.
    RegDeleteKeyA(root, (key + "\\command").c_str());
    RegDeleteKeyA(root, key.c_str());
}

std::string shellFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

bool writeLink(const std::string& path, const std::string& target) {
    CoInitialize(nullptr);
    IShellLinkA* shell = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(&shell)));
    if (ok) {
        shell->SetPath(target.c_str());
        IPersistFile* file = nullptr;
        ok = SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
        if (ok) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            ok = SUCCEEDED(file->Save(wide, TRUE));
            file->Release();
        }
        shell->Release();
    }
    CoUninitialize();
    return ok;
}

// What the uninstaller showed and what it ended with.
struct Outcome {
    int exitCode = -1;  // -1: it did not end in time (it was stopped)
    std::vector<ui::WindowInfo> boxes;
};

struct WindowsOf {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collectOf(HWND w, LPARAM param) {
    WindowsOf* of = reinterpret_cast<WindowsOf*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == of->pid && IsWindowVisible(w))
        of->found.push_back(w);
    return TRUE;
}

// Runs the uninstaller with `arguments` and answers each message box it
// shows with `answer` (the button to press). Bounded: a program that does not
// end within 30 s is stopped and reported as -1.
Outcome runUninstaller(const std::string& program, const std::string& arguments,
                       std::function<int(const ui::WindowInfo&)> answer = nullptr) {
    Outcome out;
    std::string command = "\"" + program + "\" " + arguments;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process))
        return out;
    std::vector<HWND> answered;
    DWORD began = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount() - began > 30000) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
            return out;
        }
        WindowsOf of{process.dwProcessId, {}};
        EnumWindows(collectOf, reinterpret_cast<LPARAM>(&of));
        for (HWND w : of.found) {
            // Message boxes only: the progress dialog has no message.
            if (!GetDlgItem(w, 0xFFFF) || std::find(answered.begin(), answered.end(), w) != answered.end())
                continue;
            ui::WindowInfo info = ui::describe(w);
            if (info.text.empty())
                continue;  // still being filled in
            answered.push_back(w);
            out.boxes.push_back(info);
            int button = answer ? answer(info) : IDOK;
            // A box nobody expected is closed the way that does least.
            if (std::find(info.buttons.begin(), info.buttons.end(), button) == info.buttons.end())
                button = info.buttons.empty() ? IDOK : info.buttons.front();
            ui::press(w, button);
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    out.exitCode = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return out;
}

// QRVUnins.log, what the last run did and kept.
std::string report() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::vector<unsigned char> bytes = testenv::readFile(std::string(temp) + "QRVUnins.log");
    return std::string(bytes.begin(), bytes.end());
}

tagCompressFileHeader recordOf(int32_t targetDir, const std::string& subDir, const std::string& name) {
    tagCompressFileHeader r = {};
    r.targetDir = targetDir;
    lstrcpynA(r.subDir, subDir.c_str(), sizeof r.subDir);
    lstrcpynA(r.fileName, name.c_str(), sizeof r.fileName);
    return r;
}

bool writeLog(const std::string& path, const std::vector<tagCompressFileHeader>& records) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(records.data());
    return testenv::writeFile(path, std::vector<unsigned char>(bytes, bytes + records.size() * sizeof records[0]));
}

// A symbolic link made on the host, as Wine shows one (a reparse point for
// a folder; a file that opens as its target for a file).
bool symlink(const std::string& link, const std::string& target) {
    return kit::hostCommand("ln -sfn '" + kit::unixPath(target) + "' '" + kit::unixPath(link) + "'");
}

std::string shortPath(const std::string& path) {
    char text[MAX_PATH] = "";
    GetShortPathNameA(path.c_str(), text, MAX_PATH);
    return text;
}

std::string texts(const Outcome& o) {
    std::string all;
    for (const ui::WindowInfo& b : o.boxes)
        all += "[" + b.caption + "] " + b.text + "\n";
    return all;
}

class Uninstaller : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        app = dir + "\\App";
        windows = kit::windowsDir();
        uninstaller = windows + "\\QRVUnins.Exe";
        shared = windows + "\\unins_test_shared.dll";
        menu = shellFolder(CSIDL_PROGRAMS) + "\\" + kProduct;
        cleanRegistry();
        DeleteFileA(uninstaller.c_str());
        DeleteFileA(shared.c_str());

        std::string src = dir + "\\src";
        CreateDirectoryA(src.c_str(), nullptr);
        CreateDirectoryA((src + "\\docs").c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(testenv::binPath("QRVUnins.Exe").c_str(), (src + "\\QRVUnins.Exe").c_str(), FALSE));
        ASSERT_TRUE(testenv::writeFile(src + "\\" + kExe, kit::content(1, 20000)));
        ASSERT_TRUE(testenv::writeFile(src + "\\shared.dll", kit::content(2, 3000)));
        ASSERT_TRUE(testenv::writeFile(src + "\\docs\\readme.txt", kit::content(3, 500)));
        ASSERT_TRUE(testenv::writeFile(src + "\\docs\\guide.txt", kit::content(4, 700)));
        ASSERT_TRUE(writeLink(src + "\\Sample.lnk", "C:\\nowhere\\UninsSample.exe"));
        kit::Manifest manifest;
        manifest.file("src\\QRVUnins.Exe", "windows", "", 1)
            .file("src\\" + std::string(kExe), "install", "bin", 1)
            .file("src\\shared.dll", "windows", "", 1, "name=unins_test_shared.dll")
            .file("src\\docs\\readme.txt", "install", "Docs", 1)
            .file("src\\docs\\guide.txt", "install", "Docs\\en", 1)
            .file("src\\Sample.lnk", "programs", kProduct, 1);
        ASSERT_TRUE(kit::pack(manifest, dir, dir + "\\vol"));
        {
            kit::Engine engine;
            kit::DialogGuard guard;
            kit::RunResult r = kit::install(engine, dir + "\\vol", app);
            ASSERT_EQ(2, r.run);
            ASSERT_TRUE(guard.seen().empty());
        }
        listed = {app + "\\bin\\" + kExe, app + "\\Docs\\readme.txt", app + "\\Docs\\en\\guide.txt",
                  menu + "\\Sample.lnk"};
        for (const std::string& f : listed)
            ASSERT_TRUE(testenv::fileExists(f)) << f;
        ASSERT_TRUE(testenv::fileExists(uninstaller));

        // What the product's registration and its setup write.
        std::string exe = app + "\\bin\\" + kExe;
        ASSERT_TRUE(setText(HKEY_CLASSES_ROOT, std::string(kVerb) + "\\command", nullptr, exe));
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kAppPaths, nullptr, exe));
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kAppPaths, "Path", app + "\\bin"));
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kUninstall, "DisplayName", kProduct));
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kUninstall, "UninstallString", uninstaller + " " + kProduct));
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kUninstall, "InstallLocation", app));
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kUninstall, "DisplayVersion", "1.0"));
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kProductKey, nullptr, kExe));
    }
    void TearDown() override {
        cleanRegistry();
        DeleteFileA(uninstaller.c_str());
        DeleteFileA(shared.c_str());
        DeleteFileA((menu + "\\Sample.lnk").c_str());
        RemoveDirectoryA(menu.c_str());
    }
    void cleanRegistry() {
        deleteKey(HKEY_CLASSES_ROOT, kVerb);
        deleteKey(HKEY_LOCAL_MACHINE, kAppPaths);
        deleteKey(HKEY_LOCAL_MACHINE, kUninstall);
        deleteKey(HKEY_LOCAL_MACHINE, kProductKey);
        deleteKey(HKEY_LOCAL_MACHINE, kOther);
    }
    // Everything the install left is still there.
    void expectUntouched(const std::string& when) {
        for (const std::string& f : listed)
            EXPECT_TRUE(testenv::fileExists(f)) << f << " " << when;
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kUninstall)) << when;
        EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kAppPaths)) << when;
        EXPECT_TRUE(keyExists(HKEY_CLASSES_ROOT, kVerb)) << when;
    }
    void expectRegistrationGone() {
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kUninstall));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kAppPaths));
        EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kProductKey));
        EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kVerb));
    }
    std::string dir, app, windows, uninstaller, shared, menu;
    std::vector<std::string> listed;
};

// Started by a new version's setup, which asked the user already: nothing is
// asked or reported. A file of the user's keeps the installation folder.
TEST_F(Uninstaller, UnderscoreArgumentRemovesTheProductWithoutAQuestion) {
    ASSERT_TRUE(testenv::writeFile(app + "\\mine.txt", "the user's own"));
    // Started as the setup starts it: by its short path.
    char shortPath[MAX_PATH] = "";
    ASSERT_NE(0u, GetShortPathNameA(uninstaller.c_str(), shortPath, MAX_PATH));
    Outcome o = runUninstaller(shortPath, "unins test product_");
    EXPECT_EQ(100, o.exitCode);
    EXPECT_TRUE(o.boxes.empty()) << texts(o);
    for (const std::string& f : listed)
        EXPECT_FALSE(testenv::fileExists(f)) << f;
    EXPECT_FALSE(testenv::dirExists(app + "\\Docs"));
    EXPECT_FALSE(testenv::dirExists(app + "\\bin"));
    EXPECT_FALSE(testenv::dirExists(menu));
    EXPECT_FALSE(testenv::fileExists(app + "\\Install.log"));
    EXPECT_TRUE(testenv::fileExists(app + "\\mine.txt"));
    // Shared files stay, the uninstaller among them; the Programs folder itself stays.
    EXPECT_TRUE(testenv::fileExists(shared));
    EXPECT_TRUE(testenv::fileExists(uninstaller));
    EXPECT_TRUE(testenv::dirExists(shellFolder(CSIDL_PROGRAMS)));
    expectRegistrationGone();
    // The parents other products may share are left when they hold more.
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));

    // What it did is written down, the shared files with it.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::vector<unsigned char> report = testenv::readFile(std::string(temp) + "QRVUnins.log");
    std::string text(report.begin(), report.end());
    EXPECT_NE(std::string::npos, text.find("kept shared\t" + shared)) << text;
    EXPECT_NE(std::string::npos, text.find("removed\t" + listed[0])) << text;

    // Once removed, there is nothing left to remove.
    o = runUninstaller(uninstaller, "/S unins test product_");
    EXPECT_EQ(3, o.exitCode);
}

// Another registered product, its plug-in folder inside ours, whose own
// Install.log also lists one of our files: that file stays, with its
// folder; the rest goes.
TEST_F(Uninstaller, AFileAnotherProductListsStays) {
    std::string plugins = app + "\\Plugins";
    ASSERT_TRUE(CreateDirectoryA(plugins.c_str(), nullptr));
    ASSERT_TRUE(testenv::writeFile(plugins + "\\plugin.dll", "a plug-in"));
    ASSERT_TRUE(writeLog(plugins + "\\Install.log",
                         {recordOf(TargetInstall, "", "plugin.dll"), recordOf(TargetNone, app + "\\DOCS", "ReadMe.txt")}));
    ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kOther, "DisplayName", "Unins Other Product"));
    ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kOther, "InstallLocation", plugins));
    Outcome o = runUninstaller(uninstaller, "/S Unins Test Product");
    EXPECT_EQ(100, o.exitCode);
    EXPECT_TRUE(testenv::fileExists(app + "\\Docs\\readme.txt"));
    EXPECT_NE(std::string::npos, report().find("kept (another product's)\t" + app + "\\Docs\\readme.txt")) << report();
    // The folders that file and the other product keep name what is not
    // ours beside it, and nothing that is.
    EXPECT_NE(std::string::npos, report().find("kept (not installed with the product)\t" + plugins + "\r\n"))
        << report();
    EXPECT_EQ(std::string::npos, report().find("kept (not installed with the product)\t" + app + "\\Docs"))
        << report();
    EXPECT_FALSE(testenv::fileExists(app + "\\Docs\\en\\guide.txt"));
    EXPECT_FALSE(testenv::fileExists(app + "\\bin\\" + kExe));
    EXPECT_TRUE(testenv::fileExists(plugins + "\\plugin.dll"));
    expectRegistrationGone();
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, kOther));
}

// /S: no question, no message; the installation folder found from the
// program's App Paths entry when the Uninstall entry names none.
TEST_F(Uninstaller, UnattendedSwitchRemovesTheWholeFolder) {
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstall, 0, KEY_WRITE, &k));
    RegDeleteValueA(k, "InstallLocation");
    RegCloseKey(k);
    Outcome o = runUninstaller(uninstaller, "/S Unins Test Product");
    EXPECT_EQ(100, o.exitCode);
    EXPECT_TRUE(o.boxes.empty()) << texts(o);
    EXPECT_FALSE(testenv::dirExists(app));
    EXPECT_FALSE(testenv::dirExists(menu));
    EXPECT_TRUE(testenv::fileExists(shared));
    expectRegistrationGone();
}

// Install.log can be edited by anyone: files it names outside the
// installation folder, and files other than shortcuts in the shell's
// folders, stay.
TEST_F(Uninstaller, LogNamingOtherFilesRemovesOnlyTheProducts) {
    std::string outside = dir + "\\outside.txt";
    std::string desktopFile = shellFolder(CSIDL_DESKTOPDIRECTORY) + "\\unins_test_budget.xls";
    ASSERT_TRUE(testenv::writeFile(outside, "not the product's"));
    ASSERT_TRUE(testenv::writeFile(desktopFile, "the user's"));
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_FALSE(log.empty());
    log.push_back(recordOf(TargetNone, dir, "outside.txt"));
    log.push_back(recordOf(TargetDesktop, "", "unins_test_budget.xls"));
    ASSERT_TRUE(writeLog(app + "\\Install.log", log));

    Outcome o = runUninstaller(uninstaller, "/S Unins Test Product");
    EXPECT_EQ(100, o.exitCode);
    EXPECT_TRUE(testenv::fileExists(outside));
    EXPECT_TRUE(testenv::fileExists(desktopFile));
    for (const std::string& f : listed)
        EXPECT_FALSE(testenv::fileExists(f)) << f;
    EXPECT_FALSE(testenv::dirExists(app));
    DeleteFileA(desktopFile.c_str());
}

// Names in any script: records marked UTF-8 (a set of UTF-8 names) and
// Windows-1252 ones (every earlier set) name the files the uninstaller
// removes, whatever the code page of the system.
TEST_F(Uninstaller, NamesOfEveryScriptAreRemoved) {
    const std::wstring folder = std::wstring(app.begin(), app.end()) + L"\\\u65E5\u672C\u8A9E";
    const std::wstring files[] = {folder + L"\\\u03A9\u03BC\u03AD\u03B3\u03B1.txt",
                                  std::wstring(app.begin(), app.end()) + L"\\Gr\u00F6\u00DFe.txt"};
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (const std::wstring& f : files) {
        HANDLE h = CreateFileW(f.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        CloseHandle(h);
    }
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    log.push_back(recordOf(TargetInstall, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
                           "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1.txt"));
    log.back().continued = kLogNamesUtf8;
    log.push_back(recordOf(TargetInstall, "", "Gr\xF6\xDF" "e.txt"));
    ASSERT_TRUE(writeLog(app + "\\Install.log", log));

    Outcome o = runUninstaller(uninstaller, "/S Unins Test Product");
    EXPECT_EQ(100, o.exitCode) << report();
    for (const std::wstring& f : files)
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(f.c_str()));
    EXPECT_FALSE(testenv::dirExists(app));
}

TEST_F(Uninstaller, MissingOrDamagedLogRemovesNothing) {
    std::string log = app + "\\Install.log";
    std::vector<unsigned char> whole = testenv::readFile(log);
    ASSERT_EQ(0u, whole.size() % 564);

    ASSERT_TRUE(DeleteFileA(log.c_str()));
    EXPECT_EQ(4, runUninstaller(uninstaller, "/S " + std::string(kProduct)).exitCode);
    Outcome o = runUninstaller(uninstaller, kProduct);
    EXPECT_EQ(4, o.exitCode);
    ASSERT_EQ(1u, o.boxes.size()) << texts(o);
    EXPECT_EQ("Uninstall", o.boxes[0].caption);
    EXPECT_EQ("The installation log " + log + " cannot be read. Nothing was removed.", o.boxes[0].text);
    expectUntouched("without a log");

    // Cut inside its last record.
    whole.resize(whole.size() - 100);
    ASSERT_TRUE(testenv::writeFile(log, whole));
    EXPECT_EQ(5, runUninstaller(uninstaller, "/S unins test product_").exitCode);
    o = runUninstaller(uninstaller, "unins test product_");
    EXPECT_EQ(5, o.exitCode);
    ASSERT_EQ(1u, o.boxes.size()) << texts(o);
    EXPECT_EQ("The installation log " + log + " is damaged (record " + std::to_string(whole.size() / 564 + 1) +
                  ": the last record is cut short). Nothing was removed.",
              o.boxes[0].text);
    expectUntouched("with a damaged log");
    EXPECT_TRUE(testenv::fileExists(log));
}

// A file in use cannot be deleted: Windows deletes it at its next start, and
// its folders after it.
TEST_F(Uninstaller, FileInUseGoesAtTheNextStart) {
    kit::PendingRenamesKeeper keeper;
    std::string program = listed[0];
    {
        kit::Held held(program);
        ASSERT_TRUE(held.ok());
        Outcome o = runUninstaller(uninstaller, "/S Unins Test Product");
        EXPECT_EQ(100, o.exitCode);
        EXPECT_TRUE(testenv::fileExists(program));
    }
    EXPECT_EQ("", kit::pendingFor(program));
    EXPECT_EQ("", kit::pendingFor(app + "\\bin"));
    EXPECT_EQ("", kit::pendingFor(app));
    // The file is scheduled before its folders.
    std::vector<std::string> pending = kit::pendingRenames();
    auto at = [&](const std::string& path) {
        return std::find(pending.begin(), pending.end(), "\\??\\" + path) - pending.begin();
    };
    EXPECT_LT(at(program), at(app + "\\bin"));
    EXPECT_LT(at(app + "\\bin"), at(app));
    EXPECT_FALSE(testenv::fileExists(listed[1]));
    expectRegistrationGone();
}

// Started from the Uninstall entry: the question first, No removes nothing;
// Yes removes and says so.
TEST_F(Uninstaller, QuestionAnsweredNoRemovesNothing) {
    const std::string question = "Remove Unins Test Product and all of its components?";
    Outcome o = runUninstaller(uninstaller, kProduct, [&](const ui::WindowInfo& box) {
        return box.text == question ? IDNO : IDOK;
    });
    EXPECT_EQ(1, o.exitCode);
    ASSERT_EQ(1u, o.boxes.size()) << texts(o);
    EXPECT_EQ("Uninstall", o.boxes[0].caption);
    EXPECT_EQ(question, o.boxes[0].text);
    EXPECT_NE(o.boxes[0].buttons.end(), std::find(o.boxes[0].buttons.begin(), o.boxes[0].buttons.end(), IDNO));
    expectUntouched("after No");
    EXPECT_TRUE(testenv::fileExists(app + "\\Install.log"));

    o = runUninstaller(uninstaller, kProduct, [&](const ui::WindowInfo& box) {
        return box.text == question ? IDYES : IDOK;
    });
    EXPECT_EQ(100, o.exitCode);
    ASSERT_EQ(2u, o.boxes.size()) << texts(o);
    EXPECT_EQ("Unins Test Product was removed from your computer.", o.boxes[1].text);
    EXPECT_FALSE(testenv::dirExists(app));
    expectRegistrationGone();

    // Arguments it does not know: a message and its own exit code.
    o = runUninstaller(uninstaller, "/X Unins Test Product");
    EXPECT_EQ(2, o.exitCode);
    ASSERT_EQ(1u, o.boxes.size()) << texts(o);
    EXPECT_EQ("Usage: QRVUnins.Exe [/S] [/LOG=file] product name", o.boxes[0].text);
}

// An installation folder that is, or holds, a shared root, however it is
// spelt (an 8.3 alias, a symbolic link), is refused: nothing is removed,
// even what an Install.log there names.
TEST_F(Uninstaller, SharedRootsAreRefusedWhateverTheirSpelling) {
    std::string programFiles = shellFolder(CSIDL_PROGRAM_FILES), data = shellFolder(CSIDL_COMMON_APPDATA);
    std::string startMenu = shellFolder(CSIDL_STARTMENU), profile = shellFolder(CSIDL_PROFILE);
    std::string links = "C:\\UninsLinks";
    CreateDirectoryA(links.c_str(), nullptr);
    ASSERT_TRUE(symlink(links + "\\WinLink", windows));
    ASSERT_TRUE(symlink(links + "\\Home", profile));
    std::string microsoft = startMenu.substr(0, startMenu.rfind("\\Windows\\"));
    const struct {
        std::string registered;  // InstallLocation
        std::string real;        // where it leads: the Install.log is put there
        std::vector<std::string> canaries;  // inside `real`, named by the log
    } cases[] = {
        {programFiles, programFiles, {"UninsOther\\other.dll"}},
        {data, data, {"unins_canary.txt"}},
        {shortPath(programFiles), programFiles, {"UninsOther\\other.dll"}},
        {shortPath(startMenu), startMenu, {"unins_mine.txt", "Programs\\Unins Other.lnk"}},
        {shortPath(microsoft), microsoft, {"Windows\\Start Menu\\unins_mine.txt"}},
        {links + "\\WinLink", windows, {"unins_canary.txt"}},
        {links + "\\Home", profile, {"unins_canary.txt", "Documents\\unins_canary.txt"}},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.registered.empty());
        ASSERT_TRUE(setText(HKEY_LOCAL_MACHINE, kUninstall, "InstallLocation", c.registered));
        std::vector<tagCompressFileHeader> log;
        for (const std::string& canary : c.canaries) {
            size_t slash = canary.rfind('\\');  // npos + 1 is 0: the whole name
            log.push_back(recordOf(TargetInstall, canary.substr(0, slash == std::string::npos ? 0 : slash),
                                   canary.substr(slash + 1)));
            CreateDirectoryA((c.real + "\\" + canary.substr(0, slash + 1)).c_str(), nullptr);
            ASSERT_TRUE(testenv::writeFile(c.real + "\\" + canary, "not the product's")) << canary;
        }
        ASSERT_TRUE(writeLog(c.real + "\\Install.log", log));
        EXPECT_EQ(6, runUninstaller(uninstaller, "/S Unins Test Product").exitCode) << c.registered;
        EXPECT_NE(std::string::npos, report().find("refused folder\t" + c.registered)) << report();
        for (const std::string& canary : c.canaries) {
            EXPECT_TRUE(testenv::fileExists(c.real + "\\" + canary)) << c.registered << ": " << canary;
            DeleteFileA((c.real + "\\" + canary).c_str());
        }
        DeleteFileA((c.real + "\\Install.log").c_str());
    }
    RemoveDirectoryA((programFiles + "\\UninsOther").c_str());
    kit::hostCommand("rm -rf '" + kit::unixPath(links) + "'");
    expectUntouched("after the refusals");
}

// A file of the product that is a symbolic link goes as the link, or stays
// when this Windows cannot open the link as itself; its target stays. A log
// record naming another product's folder by its 8.3 alias is kept.
TEST_F(Uninstaller, LinksAndAliasesNeverReachAnotherProductsFiles) {
    std::string canary = "C:\\unins_canary\\c1.txt";
    CreateDirectoryA("C:\\unins_canary", nullptr);
    ASSERT_TRUE(testenv::writeFile(canary, "not the product's"));
    ASSERT_TRUE(DeleteFileA(listed[1].c_str()));
    ASSERT_TRUE(symlink(listed[1], canary));
    std::string programFiles = shellFolder(CSIDL_PROGRAM_FILES);
    std::string other = programFiles + "\\UninsOther\\other.dll";
    CreateDirectoryA((programFiles + "\\UninsOther").c_str(), nullptr);
    ASSERT_TRUE(testenv::writeFile(other, "another product's"));
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    log.push_back(recordOf(TargetNone, shortPath(programFiles) + "\\UninsOther", "other.dll"));
    ASSERT_TRUE(writeLog(app + "\\Install.log", log));

    EXPECT_EQ(100, runUninstaller(uninstaller, "/S Unins Test Product").exitCode);
    std::string text = report();
    EXPECT_TRUE(testenv::fileExists(canary));
    EXPECT_TRUE(text.find("removed link\t" + listed[1]) != std::string::npos ||
                text.find("without its target)\t" + listed[1]) != std::string::npos) << text;
    EXPECT_TRUE(testenv::fileExists(other));
    EXPECT_NE(std::string::npos, text.find("kept outside\t" + other)) << text;
    EXPECT_FALSE(testenv::fileExists(listed[0]));
    expectRegistrationGone();
    kit::hostCommand("rm -f '" + kit::unixPath(listed[1]) + "'");  // DeleteFile would take the target
    DeleteFileA(canary.c_str());
    RemoveDirectoryA("C:\\unins_canary");
    DeleteFileA(other.c_str());
    RemoveDirectoryA((programFiles + "\\UninsOther").c_str());
}

// /LOG=: each step as it is taken, with the Windows error where one stopped
// it (the folder a user's file keeps, and that file, or folder, by name);
// refused, with nothing removed, inside the product's folder or over a file
// that is not one of its logs; its own log appended to.
TEST_F(Uninstaller, LogSwitchWritesEachRemovalAndWhatWasKept) {
    ASSERT_TRUE(testenv::writeFile(app + "\\mine.txt", "the user's own"));
    ASSERT_TRUE(CreateDirectoryA((app + "\\bin\\Saves").c_str(), nullptr));
    ASSERT_TRUE(testenv::writeFile(app + "\\bin\\Saves\\one.sav", "a saved game"));
    std::string notes = dir + "\\notes.txt";
    ASSERT_TRUE(testenv::writeFile(notes, "someone's notes"));
    for (const std::string& refused : {app + "\\unins.log", notes}) {
        Outcome o = runUninstaller(uninstaller, "/S \"/LOG=" + refused + "\" Unins Test Product");
        EXPECT_EQ(2, o.exitCode) << refused;
        expectUntouched(refused);
    }
    EXPECT_FALSE(testenv::fileExists(app + "\\unins.log"));
    std::vector<unsigned char> kept = testenv::readFile(notes);
    EXPECT_EQ("someone's notes", std::string(kept.begin(), kept.end()));

    std::string log = dir + "\\unins.log";
    Outcome o = runUninstaller(uninstaller, "/S \"/LOG=" + log + "\" Unins Test Product");
    EXPECT_EQ(100, o.exitCode);
    std::vector<unsigned char> bytes = testenv::readFile(log);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(0u, text.find("QRVUnins.Exe uninstall log\r\n")) << text;
    for (const std::string& line :
         {"removed: " + listed[0] + "\r\n", "removed: " + listed[2] + "\r\n", "kept shared: " + shared + "\r\n",
          "removed folder: " + app + "\\Docs\\en\r\n", "removed: " + app + "\\Install.log\r\n",
          "kept folder (not empty): " + app + ": error 145 ERROR_DIR_NOT_EMPTY\r\n",
          "kept (not installed with the product): " + app + "\\mine.txt\r\n",
          "kept folder (not empty): " + app + "\\bin: error 145 ERROR_DIR_NOT_EMPTY\r\n",
          "kept (not installed with the product): " + app + "\\bin\\Saves\r\n",
          "removed key: " + std::string(kUninstall) + "\r\n", std::string("exit code 100\r\n")})
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;
    // A kept folder names what it holds, not what lies deeper; QRVUnins.log as well.
    EXPECT_EQ(std::string::npos, text.find("one.sav")) << text;
    EXPECT_NE(std::string::npos, report().find("kept (not installed with the product)\t" + app + "\\mine.txt\r\n"))
        << report();

    // Appended to: the second run's lines follow the first's.
    EXPECT_EQ(3, runUninstaller(uninstaller, "/S \"/LOG=" + log + "\" Unins Test Product").exitCode);
    bytes = testenv::readFile(log);
    text.assign(bytes.begin(), bytes.end());
    EXPECT_EQ(0u, text.find("QRVUnins.Exe uninstall log")) << text;
    EXPECT_NE(std::string::npos, text.find("refused: no Uninstall entry named Unins Test Product")) << text;
    EXPECT_NE(std::string::npos, text.find("exit code 3\r\n")) << text;
}

}  // namespace
