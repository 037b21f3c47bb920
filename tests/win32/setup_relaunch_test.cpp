// Setup::IsRunFromHardDrive under Wine. Most cases run in this process with
// the executable's path, the drive's type and the process start seen or
// stood in for through Setup.Dll's imports, over real files: from a hard
// disk nothing happens; from a floppy the program files are copied in the
// listing's order and listed in __setup.ini, and the copy is started as
// asked; the three errors show their fixed texts. The last case is the real
// thing: a small setup on drive A: (a floppy drive in the test prefix)
// relaunches itself from the temp directory in the disk's directory.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "UiAuto.h"

namespace {

char g_title[] = "Relaunch Test Setup";
char g_product[] = "Test Product";
char g_exe[] = "Product.exe";

HMODULE library() { return GetModuleHandleA("Setup.Dll"); }

bool sameText(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

// ---------------------------------------------------------------------------
// System calls of Setup.Dll seen or stood in for.

using ModuleNameFunction = DWORD(WINAPI*)(HMODULE, LPSTR, DWORD);
using DriveTypeFunction = UINT(WINAPI*)(LPCSTR);
ModuleNameFunction g_realModuleName = nullptr;
DriveTypeFunction g_realDriveType = nullptr;
const void* g_realCreateProcess = nullptr;

std::string g_fakeExecutable;   // the executable's path to report, "" for the real one
std::string g_removableRoot;    // a drive root to report as removable
std::vector<std::string> g_rootsAsked;

DWORD WINAPI fakeModuleName(HMODULE module, LPSTR buffer, DWORD size) {
    if (module || g_fakeExecutable.empty())
        return g_realModuleName(module, buffer, size);
    lstrcpynA(buffer, g_fakeExecutable.c_str(), size);
    return static_cast<DWORD>(std::min<size_t>(g_fakeExecutable.size(), size));
}

UINT WINAPI recordDriveType(LPCSTR root) {
    g_rootsAsked.push_back(root ? root : "(null)");
    if (root && !g_removableRoot.empty() && sameText(root, g_removableRoot))
        return DRIVE_REMOVABLE;
    return g_realDriveType(root);
}

// What CreateProcessA was given, and whether it is to fail.
struct ProcessCall {
    bool applicationNameNull = false;
    std::string commandLine;
    bool securityNull = false;
    BOOL inherit = TRUE;
    DWORD flags = 0xFFFFFFFF;
    bool environmentNull = false;
    std::string currentDirectory;
    DWORD startupSize = 0;
    DWORD startupFlags = 0;
    WORD show = 0;
    HANDLE process = nullptr;  // the handles handed back, to see them closed
    HANDLE thread = nullptr;
};
std::vector<ProcessCall> g_processCalls;
bool g_processFails = false;

BOOL WINAPI recordCreateProcess(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processSecurity,
                                LPSECURITY_ATTRIBUTES threadSecurity, BOOL inherit, DWORD flags, LPVOID environment,
                                LPCSTR currentDirectory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION started) {
    ProcessCall call;
    call.applicationNameNull = application == nullptr;
    call.commandLine = commandLine ? commandLine : "(null)";
    call.securityNull = processSecurity == nullptr && threadSecurity == nullptr;
    call.inherit = inherit;
    call.flags = flags;
    call.environmentNull = environment == nullptr;
    call.currentDirectory = currentDirectory ? currentDirectory : "(null)";
    call.startupSize = startup->cb;
    call.startupFlags = startup->dwFlags;
    call.show = startup->wShowWindow;
    if (g_processFails) {
        g_processCalls.push_back(call);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // Handles of this process and thread stand for the started ones.
    DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &started->hProcess, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &started->hThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    started->dwProcessId = GetCurrentProcessId();
    started->dwThreadId = GetCurrentThreadId();
    call.process = started->hProcess;
    call.thread = started->hThread;
    g_processCalls.push_back(call);
    return TRUE;
}

// Handles Setup.Dll closes. Whether a handle is still open cannot be read
// from its value: the system hands the same value out again at once.
using CloseHandleFunction = BOOL(WINAPI*)(HANDLE);
CloseHandleFunction g_realCloseHandle = nullptr;
std::vector<HANDLE> g_closed;
BOOL WINAPI recordCloseHandle(HANDLE handle) {
    g_closed.push_back(handle);
    return g_realCloseHandle(handle);
}

bool closed(HANDLE handle) { return std::find(g_closed.begin(), g_closed.end(), handle) != g_closed.end(); }

// Files of `dir` in the order the listing gives them, directories left out.
std::vector<std::string> listedFiles(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir + "\\*.*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return names;
}

bool isVolume(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot != std::string::npos && sameText(name.substr(dot), ".dat");
}

// The [CleanUp] section of a list file, "key=value" in file order.
std::vector<std::string> cleanupSection(const std::string& listFile) {
    char buffer[8192] = {};
    DWORD n = GetPrivateProfileSectionA("CleanUp", buffer, sizeof buffer, listFile.c_str());
    std::vector<std::string> lines;
    for (const char* p = buffer; p < buffer + n && *p; p += strlen(p) + 1)
        lines.push_back(p);
    return lines;
}

// The window Setup.Dll is told is in front. The error boxes are owned by
// whatever window is in front when they come; the real one may change at
// any moment (another test program on the shared display, Wine's desktop
// when nothing is active): while a test holds a FrontWindow, Setup.Dll's
// GetForegroundWindow answers with it.
using ForegroundFunction = HWND(WINAPI*)();
ForegroundFunction g_realForeground = nullptr;
HWND g_front = nullptr;
HWND WINAPI fakeForeground() { return g_front ? g_front : g_realForeground(); }

// A window of this test, the one in front for the library.
class FrontWindow {
public:
    FrontWindow()
        : window_(CreateWindowExA(0, "STATIC", "in front", WS_POPUP | WS_VISIBLE, 10, 10, 120, 40, nullptr, nullptr,
                                  nullptr, nullptr)) {
        g_front = window_;
    }
    ~FrontWindow() {
        g_front = nullptr;
        DestroyWindow(window_);
    }
    FrontWindow(const FrontWindow&) = delete;
    FrontWindow& operator=(const FrontWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_;
};

class Relaunch : public ::testing::Test {
protected:
    void SetUp() override {
        ui::visibleWindows();  // the message box recorder goes in first
        scratch_ = testenv::scratchDir();
        disk_ = scratch_ + "\\disk";
        temp_ = scratch_ + "\\temp";
        ASSERT_TRUE(CreateDirectoryA(disk_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA(temp_.c_str(), nullptr));
        saveVariable("TMP", savedTmp_);
        saveVariable("TEMP", savedTemp_);
        SetEnvironmentVariableA("TMP", temp_.c_str());
        SetEnvironmentVariableA("TEMP", temp_.c_str());
        savedDir_ = testenv::currentDir();

        g_fakeExecutable.clear();
        g_removableRoot.clear();
        g_rootsAsked.clear();
        g_processCalls.clear();
        g_processFails = false;
        g_closed.clear();
        g_realCloseHandle = reinterpret_cast<CloseHandleFunction>(const_cast<void*>(ui::replaceImport(
            library(), "kernel32.dll", "CloseHandle", reinterpret_cast<const void*>(&recordCloseHandle))));
        g_realModuleName = reinterpret_cast<ModuleNameFunction>(const_cast<void*>(ui::replaceImport(
            library(), "kernel32.dll", "GetModuleFileNameA", reinterpret_cast<const void*>(&fakeModuleName))));
        g_realDriveType = reinterpret_cast<DriveTypeFunction>(const_cast<void*>(ui::replaceImport(
            library(), "kernel32.dll", "GetDriveTypeA", reinterpret_cast<const void*>(&recordDriveType))));
        g_realCreateProcess = ui::replaceImport(library(), "kernel32.dll", "CreateProcessA",
                                                reinterpret_cast<const void*>(&recordCreateProcess));
        g_front = nullptr;
        g_realForeground = reinterpret_cast<ForegroundFunction>(const_cast<void*>(ui::replaceImport(
            library(), "user32.dll", "GetForegroundWindow", reinterpret_cast<const void*>(&fakeForeground))));
        ASSERT_NE(nullptr, g_realModuleName);
        ASSERT_NE(nullptr, g_realDriveType);
        ASSERT_NE(nullptr, g_realCreateProcess);
        ASSERT_NE(nullptr, g_realCloseHandle);
        ASSERT_NE(nullptr, g_realForeground);
    }
    void TearDown() override {
        if (g_realModuleName)
            ui::replaceImport(library(), "kernel32.dll", "GetModuleFileNameA",
                              reinterpret_cast<const void*>(g_realModuleName));
        if (g_realDriveType)
            ui::replaceImport(library(), "kernel32.dll", "GetDriveTypeA", reinterpret_cast<const void*>(g_realDriveType));
        if (g_realCreateProcess)
            ui::replaceImport(library(), "kernel32.dll", "CreateProcessA", g_realCreateProcess);
        if (g_realCloseHandle)
            ui::replaceImport(library(), "kernel32.dll", "CloseHandle", reinterpret_cast<const void*>(g_realCloseHandle));
        if (g_realForeground)
            ui::replaceImport(library(), "user32.dll", "GetForegroundWindow",
                              reinterpret_cast<const void*>(g_realForeground));
        SetCurrentDirectoryA(savedDir_.c_str());
        SetEnvironmentVariableA("TMP", savedTmp_.empty() ? nullptr : savedTmp_.c_str());
        SetEnvironmentVariableA("TEMP", savedTemp_.empty() ? nullptr : savedTemp_.c_str());
    }

    static void saveVariable(const char* name, std::string& saved) {
        char value[MAX_PATH] = {};
        DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
        saved = n < sizeof value ? std::string(value, n) : std::string();
    }

    // The disk of a product: its setup, this library, a language library,
    // two data volumes in both cases, a backup that only looks like one,
    // and a folder. The setup was started from it: it is the current
    // directory, and the executable's path points into it.
    void makeDisk() {
        for (const char* name : {"SETUP.EXE", "Setup.Dll", "Setup_fr.Dll", "Data1.Dat", "Data2.DAT", "Data.dat.bak"})
            ASSERT_TRUE(testenv::writeFile(disk_ + "\\" + name, std::string("contents of ") + name));
        ASSERT_TRUE(CreateDirectoryA((disk_ + "\\Extras").c_str(), nullptr));
        ASSERT_TRUE(testenv::writeFile(disk_ + "\\Extras\\inside.txt", "not copied"));
        ASSERT_TRUE(SetCurrentDirectoryA(disk_.c_str()));
        g_fakeExecutable = disk_ + "\\SETUP.EXE";
        // The disk folder's drive counts as removable.
        g_removableRoot = disk_.substr(0, 3);
    }

    std::string tempWithSlash() const { return temp_ + "\\"; }
    std::string listFile() const { return temp_ + "\\__setup.ini"; }

    // The program files of the disk in listing order, and the list file's
    // lines that copying them must have written.
    std::vector<std::string> programFiles() const {
        std::vector<std::string> names = listedFiles(disk_);
        names.erase(std::remove_if(names.begin(), names.end(), isVolume), names.end());
        return names;
    }
    std::vector<std::string> expectedList(const std::vector<std::string>& names) const {
        std::vector<std::string> lines;
        for (size_t i = 0; i < names.size(); ++i)
            lines.push_back(std::to_string(i) + "=" + tempWithSlash() + names[i]);
        return lines;
    }

    int relaunch(const char* arguments, int show) {
        ::Setup setup(GetModuleHandleA(nullptr), g_title, g_product, g_exe);
        char args[256];
        lstrcpynA(args, arguments, sizeof args);
        return setup.IsRunFromHardDrive(args, show);
    }

    std::string scratch_, disk_, temp_;
    std::string savedTmp_, savedTemp_, savedDir_;
};

TEST_F(Relaunch, FromAHardDiskGoesOnInPlace) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_NE(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeA(std::string(self, 3).c_str()));
    ui::Script ui(3000);
    EXPECT_EQ(1, relaunch("/x", SW_SHOW));
    EXPECT_TRUE(ui.finish());
    // The drive of this executable was asked about, by its root.
    EXPECT_EQ(std::vector<std::string>{std::string(self, 3)}, g_rootsAsked);
    EXPECT_TRUE(g_processCalls.empty());
    EXPECT_TRUE(listedFiles(temp_).empty());
    EXPECT_FALSE(testenv::fileExists(listFile()));
}

TEST_F(Relaunch, FromAFloppyCopiesTheProgramFilesAndStartsTheCopy) {
    makeDisk();
    std::vector<std::string> names = programFiles();
    ASSERT_EQ(4u, names.size());
    ui::Script ui(3000);
    EXPECT_EQ(0, relaunch("/lang fr -s", SW_SHOWMAXIMIZED));
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(std::vector<std::string>{g_removableRoot}, g_rootsAsked);

    // Each program file is in the temp directory as it was on the disk; the
    // volumes and the folder stay on the disk.
    for (const std::string& name : names)
        EXPECT_EQ(testenv::readFile(disk_ + "\\" + name), testenv::readFile(temp_ + "\\" + name)) << name;
    for (const char* name : {"Data1.Dat", "Data2.DAT", "Extras"})
        EXPECT_FALSE(testenv::fileExists(temp_ + "\\" + name) || testenv::dirExists(temp_ + "\\" + name)) << name;
    // Listed under 0, 1, ... in the order the listing gave them.
    EXPECT_EQ(expectedList(names), cleanupSection(listFile()));

    // The copy, started as asked in the disk's directory, its handles closed.
    ASSERT_EQ(1u, g_processCalls.size());
    const ProcessCall& call = g_processCalls[0];
    EXPECT_TRUE(call.applicationNameNull);
    EXPECT_EQ(tempWithSlash() + "SETUP.EXE /lang fr -s", call.commandLine);
    EXPECT_TRUE(sameText(disk_, call.currentDirectory)) << call.currentDirectory;
    EXPECT_TRUE(call.securityNull);
    EXPECT_FALSE(call.inherit);
    EXPECT_EQ(0u, call.flags);
    EXPECT_TRUE(call.environmentNull);
    EXPECT_EQ(sizeof(STARTUPINFOA), call.startupSize);
    EXPECT_EQ(static_cast<DWORD>(STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK), call.startupFlags);
    EXPECT_EQ(65u, call.startupFlags);
    EXPECT_EQ(SW_SHOWMAXIMIZED, call.show);
    EXPECT_TRUE(closed(call.process));
    EXPECT_TRUE(closed(call.thread));
}

TEST_F(Relaunch, EmptyArgumentsKeepTheBlank) {
    makeDisk();
    EXPECT_EQ(0, relaunch("", SW_SHOWNORMAL));
    ASSERT_EQ(1u, g_processCalls.size());
    EXPECT_EQ(tempWithSlash() + "SETUP.EXE ", g_processCalls[0].commandLine);
    EXPECT_EQ(SW_SHOWNORMAL, g_processCalls[0].show);
}

TEST_F(Relaunch, ALaterRunOverwritesKeysAndLeavesHigherOnes) {
    makeDisk();
    // An earlier run from a fuller disk, and an entry of someone else's.
    std::string earlier = "[Other]\r\nkeep=yes\r\n[CleanUp]\r\n";
    for (int i = 0; i < 7; ++i)
        earlier += std::to_string(i) + "=C:\\old\\" + std::to_string(i) + "\r\n";
    ASSERT_TRUE(testenv::writeFile(listFile(), earlier));
    EXPECT_EQ(0, relaunch("", SW_SHOW));
    std::vector<std::string> expected = expectedList(programFiles());
    ASSERT_EQ(4u, expected.size());
    for (int i = 4; i < 7; ++i)
        expected.push_back(std::to_string(i) + "=C:\\old\\" + std::to_string(i));
    EXPECT_EQ(expected, cleanupSection(listFile()));
    char kept[16] = {};
    GetPrivateProfileStringA("Other", "keep", "", kept, sizeof kept, listFile().c_str());
    EXPECT_STREQ("yes", kept);
}

// "A:\SETUP.EXE" typed at a prompt in another folder: the disk's program
// files are copied, not the current directory's.
TEST_F(Relaunch, StartedFromAnotherFolderCopiesTheDisksFiles) {
    makeDisk();
    std::string elsewhere = scratch_ + "\\elsewhere";
    ASSERT_TRUE(CreateDirectoryA(elsewhere.c_str(), nullptr));
    ASSERT_TRUE(testenv::writeFile(elsewhere + "\\notes.txt", "not the disk's"));
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.c_str()));
    ui::Script ui(3000);
    EXPECT_EQ(0, relaunch("", SW_SHOW));
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(expectedList(programFiles()), cleanupSection(listFile()));
    EXPECT_FALSE(testenv::fileExists(temp_ + "\\notes.txt"));
}

TEST_F(Relaunch, PathWithoutBackslashIsReported) {
    g_fakeExecutable = "SETUP.EXE";
    FrontWindow front;
    ui::Script ui;
    ui.messageBox(front.get(), "SETUP.EXE", "Error in Module File Name", IDOK, MB_OK);
    EXPECT_EQ(1, relaunch("/x", SW_SHOW));
    EXPECT_TRUE(ui.finish());
    EXPECT_TRUE(g_rootsAsked.empty());
    EXPECT_TRUE(g_processCalls.empty());
}

TEST_F(Relaunch, FailedCopyIsReportedAndEarlierCopiesStayListed) {
    makeDisk();
    // A folder where Setup.Dll's copy would go: the copy cannot replace it.
    ASSERT_TRUE(CreateDirectoryA((temp_ + "\\Setup.Dll").c_str(), nullptr));
    std::vector<std::string> names = programFiles();
    auto failing = std::find(names.begin(), names.end(), "Setup.Dll");
    ASSERT_NE(names.end(), failing);
    std::vector<std::string> before(names.begin(), failing);

    FrontWindow front;
    ui::Script ui;
    ui.messageBox(front.get(), "Error Copying File", disk_ + "\\Setup.Dll", IDOK, MB_OK);
    EXPECT_EQ(1, relaunch("/x", SW_SHOW));
    EXPECT_TRUE(ui.finish());
    EXPECT_TRUE(g_processCalls.empty());
    for (const std::string& name : before)
        EXPECT_TRUE(testenv::fileExists(temp_ + "\\" + name)) << name;
    for (auto after = failing + 1; after != names.end(); ++after)
        EXPECT_FALSE(testenv::fileExists(temp_ + "\\" + *after)) << *after;
    EXPECT_EQ(expectedList(before), cleanupSection(listFile()));
}

TEST_F(Relaunch, CopyThatDoesNotStartIsReported) {
    makeDisk();
    g_processFails = true;
    FrontWindow front;
    ui::Script ui;
    // The box shows the arguments, not the program: so it always has.
    ui.messageBox(front.get(), "CreateProcess Error", "/lang fr", IDOK, MB_OK);
    EXPECT_EQ(1, relaunch("/lang fr", SW_SHOW));
    EXPECT_TRUE(ui.finish());
    ASSERT_EQ(1u, g_processCalls.size());
    // The files were copied and listed before the start failed.
    EXPECT_EQ(expectedList(programFiles()), cleanupSection(listFile()));
}

// An unattended setup answers the error itself: the hook sees the box's
// text, caption and owner, and no box opens.
namespace {
struct HookSeen {
    int id = 1;
    std::string text, caption;
    HWND owner = nullptr;
} g_hookSeen;

int CALLBACK answerOk(BaseInterface* asker, int stringId, const char* text, unsigned long) {
    g_hookSeen.id = stringId;
    g_hookSeen.text = text;
    g_hookSeen.caption = asker->messageCaption;
    g_hookSeen.owner = asker->parentForMessage;
    return IDOK;
}
}  // namespace

TEST_F(Relaunch, ErrorIsOfferedToTheMessageHookFirst) {
    makeDisk();
    g_processFails = true;
    MessageHook before = SetMessageHook(answerOk);
    FrontWindow front;
    ui::Script ui;  // expects no window at all
    EXPECT_EQ(1, relaunch("/S", SW_SHOW));
    SetMessageHook(before);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(MessageHookFixedText, g_hookSeen.id);
    EXPECT_EQ("/S", g_hookSeen.text);
    EXPECT_EQ("CreateProcess Error", g_hookSeen.caption);
    EXPECT_EQ(front.get(), g_hookSeen.owner);
}

// The real drive A:, which scripts/wine-env.sh makes a floppy drive of the
// test prefix: the disk's setup starts its copy and ends; the copy runs
// from the temp directory in the disk's directory and writes its report.
TEST_F(Relaunch, SetupOnAFloppyRunsAgainFromTheTempDirectory) {
    // The hooks of this process play no part: everything happens in the
    // programs started here.
    ASSERT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeA("A:\\"))
        << "drive A: is not a floppy drive: wine_start (scripts/wine-env.sh) maps it";
    for (const std::string& name : listedFiles("A:"))
        DeleteFileA(("A:\\" + name).c_str());
    for (const char* name : {"relaunch_probe.exe", "Setup.Dll", "Setup_fr.Dll"})
        ASSERT_TRUE(CopyFileA(testenv::binPath(name).c_str(), (std::string("A:\\") + name).c_str(), FALSE)) << name;
    ASSERT_TRUE(testenv::writeFile("A:\\Data1.Dat", "volume one"));
    ASSERT_TRUE(testenv::writeFile("A:\\Data2.DAT", "volume two"));

    std::string report = scratch_ + "\\report.txt";
    std::string arguments = report + " two words";
    EXPECT_EQ(0, testenv::run("A:\\relaunch_probe.exe " + arguments, "A:\\"));
    for (int i = 0; i < 400 && !testenv::fileExists(report); ++i)
        Sleep(50);
    ASSERT_TRUE(testenv::fileExists(report)) << "the copy never reported";

    std::vector<unsigned char> bytes = testenv::readFile(report);
    std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(3u, lines.size()) << text;
    std::string copy = tempWithSlash() + "relaunch_probe.exe";
    EXPECT_TRUE(sameText(copy, lines[0])) << lines[0];
    EXPECT_TRUE(sameText("A:\\", lines[1])) << lines[1];
    EXPECT_EQ(copy + " " + arguments, lines[2]);

    std::vector<std::string> names = listedFiles("A:");
    names.erase(std::remove_if(names.begin(), names.end(), isVolume), names.end());
    ASSERT_EQ(3u, names.size());
    std::vector<std::string> expected;
    for (size_t i = 0; i < names.size(); ++i)
        expected.push_back(std::to_string(i) + "=" + tempWithSlash() + names[i]);
    EXPECT_EQ(expected, cleanupSection(listFile()));
    EXPECT_FALSE(testenv::fileExists(temp_ + "\\Data1.Dat"));
    EXPECT_FALSE(testenv::fileExists(temp_ + "\\Data2.DAT"));
}

}  // namespace
