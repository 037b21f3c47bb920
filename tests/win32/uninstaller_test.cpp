// The uninstaller QRVUnins.Exe, run as a program on a product the engine
// installed: the uninstaller itself goes to the Windows folder with it, as
// the product's registration expects. Removal with the "_" argument of a
// setup that asked already and with /S; a user's file keeps its folder;
// shared files stay; the registration goes; a missing or damaged log removes
// nothing; a file in use goes at the next start; the question answered No
// removes nothing. The uninstaller's message boxes belong to its own process:
// the test finds them there, reads them and presses what a user would.
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

namespace {

const char kProduct[] = "Unins Test Product";
const char kExe[] = "UninsSample.exe";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Unins Test Product";
const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\UninsSample.exe";
const char kProductKey[] = "SOFTWARE\\Tarvelon\\Unins Test Product";
const char kVerb[] = "QRV_Files\\Shell\\Unins Test Product";

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
    tagCompressFileHeader added = log.back();
    added.targetDir = TargetNone;
    lstrcpynA(added.subDir, dir.c_str(), sizeof added.subDir);
    lstrcpynA(added.fileName, "outside.txt", sizeof added.fileName);
    log.push_back(added);
    added.targetDir = TargetDesktop;
    added.subDir[0] = '\0';
    lstrcpynA(added.fileName, "unins_test_budget.xls", sizeof added.fileName);
    log.push_back(added);
    ASSERT_TRUE(testenv::writeFile(app + "\\Install.log",
                                   std::vector<unsigned char>(reinterpret_cast<unsigned char*>(log.data()),
                                                              reinterpret_cast<unsigned char*>(log.data() + log.size()))));

    Outcome o = runUninstaller(uninstaller, "/S Unins Test Product");
    EXPECT_EQ(100, o.exitCode);
    EXPECT_TRUE(testenv::fileExists(outside));
    EXPECT_TRUE(testenv::fileExists(desktopFile));
    for (const std::string& f : listed)
        EXPECT_FALSE(testenv::fileExists(f)) << f;
    EXPECT_FALSE(testenv::dirExists(app));
    DeleteFileA(desktopFile.c_str());
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
    EXPECT_EQ("Usage: QRVUnins.Exe [/S] product name", o.boxes[0].text);
}

}  // namespace
