// The sample setup as a package manager and a person use it: SampleSetup.exe
// started as its own process on archives packed by setupvol. Unattended
// (/S): an install into a folder with blanks, a target drive without room,
// a damaged volume, files in use that need a restart, a disk that is not
// there, a target or a log that must be refused; every question answered by the program itself and logged, the exit
// code telling how it ended, and no window left waiting (a run that waits
// is killed and fails the test). Interactive: the four wizard pages walked
// with the buttons a person presses, the optional group unticked, and the
// wizard's Cancel. And what --help prints.
//
// What the sample does around the run: the product registered for its
// uninstaller (which the archive puts into the Windows folder) and removed
// with it; an earlier version offered for removal after the Ready page; the
// "Choose language" button changing the open page's texts; the exchange of
// files in use handed to Windows' next start; /S from a floppy going on
// from the copy in the temporary folder.
#include "Setup.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "RestartKit.h"
#include "PageText.h"
#include "SampleResource.h"
#include "SetupRules.h"
#include "resource.h"
#include "TestEnv.h"

namespace {

// Longer than any run here takes under Wine (about a second), short enough
// that a run waiting for an answer fails the test quickly.
const DWORD kRunLimitMs = 30000;

struct Outcome {
    int exitCode = -1;   // -1: did not start; -2: killed after kRunLimitMs
    std::string output;  // what it wrote to its standard output
};

// A running SampleSetup.exe with its standard output in a pipe.
class Child {
public:
    Child(const std::string& arguments, const std::string& workDir) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&read_, &write, &inherit, 0))
            return;
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = write;
        si.hStdError = write;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::string command = "\"" + testenv::binPath("SampleSetup.exe") + "\" " + arguments;
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, workDir.c_str(), &si,
                           &pi_))
            CloseHandle(pi_.hThread);
        CloseHandle(write);
    }
    ~Child() {
        if (pi_.hProcess) {
            // A child still running at this point failed its test already.
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(pi_.hProcess, 0xDEAD);
            CloseHandle(pi_.hProcess);
        }
        if (read_)
            CloseHandle(read_);
    }
    DWORD id() const { return pi_.dwProcessId; }
    bool started() const { return pi_.hProcess != nullptr; }
    // Ends it hard, as a power cut or the task manager would: true when it
    // was still running.
    bool kill() {
        if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_TIMEOUT)
            return false;
        TerminateProcess(pi_.hProcess, 0xDEAD);
        WaitForSingleObject(pi_.hProcess, INFINITE);
        return true;
    }

    // Waits for the end, reading the output on the way.
    Outcome finish() {
        Outcome run;
        if (!started())
            return run;
        DWORD start = GetTickCount();
        for (;;) {
            bool ended = WaitForSingleObject(pi_.hProcess, 50) == WAIT_OBJECT_0;
            // Read after the wait: what it wrote before it ended is all there.
            DWORD available = 0;
            while (PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available) {
                char buffer[4096];
                DWORD got = 0;
                if (!ReadFile(read_, buffer, sizeof buffer, &got, nullptr) || !got)
                    break;
                run.output.append(buffer, got);
            }
            if (ended)
                break;
            if (GetTickCount() - start > kRunLimitMs) {
                TerminateProcess(pi_.hProcess, 0xDEAD);
                run.exitCode = -2;
                return run;
            }
        }
        DWORD code = 0;
        GetExitCodeProcess(pi_.hProcess, &code);
        run.exitCode = static_cast<int>(code);
        return run;
    }

private:
    PROCESS_INFORMATION pi_ = {};
    HANDLE read_ = nullptr;
};

Outcome runSample(const std::string& arguments, const std::string& workDir) {
    Child child(arguments, workDir);
    return child.finish();
}

std::string readText(const std::string& path) {
    std::vector<unsigned char> bytes = testenv::readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The sample's own text `id`, from its executable, with the product's name.
std::string sampleText(int id) {
    static HMODULE exe = LoadLibraryExA(testenv::binPath("SampleSetup.exe").c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE);
    char buffer[1024] = "";
    int length = LoadStringA(exe, id, buffer, sizeof buffer);
    return fillText(std::string(buffer, length > 0 ? length : 0), {"Sample Product"});
}

const char kProduct[] = "Sample Product";

std::string uninstallKey() { return uninstallKeyFor(kProduct); }

// Deletes `path` below `root` with every key under it.
void removeKey(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
        return;
    char name[256];
    DWORD length = sizeof name;
    std::vector<std::string> children;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = sizeof name)
        children.push_back(name);
    RegCloseKey(key);
    for (const std::string& child : children)
        removeKey(root, path + "\\" + child);
    RegDeleteKeyA(root, path.c_str());
}

// What the sample's registration writes, gone: each test starts with no
// earlier version and leaves none.
void removeRegistration() {
    removeKey(HKEY_LOCAL_MACHINE, uninstallKey());
    removeKey(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\Tarvelon\\") + kProduct);
    removeKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SampleTool.exe");
    removeKey(HKEY_CLASSES_ROOT, std::string("QRV_Files\\Shell\\") + kProduct);
}

bool keyExists(const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A text value of the product's Uninstall entry, "(none)" when missing.
std::string uninstallText(const char* name) {
    char data[1024] = "";
    DWORD size = sizeof data;
    DWORD type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(none)";
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "(none)";
}

// A DWORD value of the product's Uninstall entry; -1 when missing.
long long uninstallNumber(const char* name) {
    DWORD data = 0;
    DWORD size = sizeof data;
    DWORD type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_DWORD ? static_cast<long long>(data) : -1;
}

std::string installedUninstaller() { return kit::windowsDir() + "\\QRVUnins.Exe"; }

class SampleSetupRun : public ::testing::Test {
protected:
    void TearDown() override {
        removeRegistration();
        DeleteFileA(installedUninstaller().c_str());
    }
    void SetUp() override {
        removeRegistration();
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        target = dir + "\\Sample Product Folder";
        log = dir + "\\run.log";
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        // Group 1 the program, 2 the documents, 3 the help: as the sample's groups.
        const char* const names[] = {"Tool.exe", "Runtime.dll", "Docs\\Guide.txt", "Help\\One.txt",
                                     "Help\\Two.txt"};
        for (int i = 0; i < 5; ++i) {
            Source s{names[i], kit::content(static_cast<uint32_t>(40 + i), 6000 + 9000 * i), i < 2 ? 1 : i - 1};
            std::string flat = "src\\f" + std::to_string(i);
            ASSERT_TRUE(testenv::writeFile(dir + "\\" + flat, s.bytes));
            std::string name = s.name, sub;
            size_t slash = name.find('\\');
            if (slash != std::string::npos) {
                sub = name.substr(0, slash);
                name = name.substr(slash + 1);
            }
            manifest.line("file \"" + flat + "\" install \"" + (sub.empty() ? "-" : sub) + "\" " +
                          std::to_string(s.group) + " name=" + name);
            sources.push_back(s);
        }
        // The uninstaller travels with the product, into the Windows folder.
        ASSERT_TRUE(testenv::writeFile(dir + "\\src\\QRVUnins.Exe",
                                       testenv::readFile(testenv::binPath("QRVUnins.Exe"))));
        manifest.line("file \"src\\QRVUnins.Exe\" windows - 1");
    }
    void pack(const std::string& extra = "") {
        kit::Manifest full;
        full.line("groups 3");
        full.line(manifest.text());
        ASSERT_TRUE(kit::pack(full, dir, volumes, extra));
    }
    std::string silent(const std::string& more = "") { return silent(more, target); }
    std::string silent(const std::string& more, const std::string& folder) {
        return "/S \"/LOG=" + log + "\" " + more + " /D=" + folder;
    }
    // Every source installed (or, for group `absentGroup`, absent) with its bytes.
    void expectInstalled(int absentGroup = 0) {
        for (const Source& s : sources) {
            std::string path = target + "\\" + s.name;
            if (s.group == absentGroup)
                EXPECT_FALSE(testenv::fileExists(path)) << path;
            else
                EXPECT_EQ(s.bytes, testenv::readFile(path)) << path;
        }
    }

    struct Source {
        std::string name;
        std::vector<unsigned char> bytes;
        int group;
    };
    std::string dir, volumes, target, log;
    kit::Manifest manifest;
    std::vector<Source> sources;
};

TEST_F(SampleSetupRun, SilentInstallIntoAFolderWithBlanksExitsZeroAndLogsEachStep) {
    pack();
    Outcome run = runSample(silent(), volumes);
    ASSERT_EQ(0, run.exitCode) << readText(log);
    expectInstalled();
    std::string text = readText(log);
    for (const char* line : {"start ", "arguments: /S", "mode: unattended", "target: ", "groups: 1 on 2 on 3 on",
                             "message 11130 [OK] \"Setup is complete.\" -> OK (answered automatically)",
                             "end: installed", "exit code 0"})
        EXPECT_TRUE(contains(text, line)) << line << "\n" << text;
    for (const Source& s : sources)
        EXPECT_TRUE(contains(text, "file " + target + "\\" + s.name + "\r\n")) << s.name << "\n" << text;
    // The folder with its blanks arrived whole.
    EXPECT_TRUE(contains(text, "target: " + target + "\r\n")) << text;
}

TEST_F(SampleSetupRun, HelpPrintsTheSwitchesAndExitCodes) {
    for (const char* help : {"--help", "/?"}) {
        Outcome run = runSample(help, dir);
        EXPECT_EQ(0, run.exitCode) << help;
        for (const char* word : {"/S", "/D=", "/LOG=", "/NORESTART", "3010", "1602", "1603"})
            EXPECT_TRUE(contains(run.output, word)) << help << ": " << word << "\n" << run.output;
    }
    // An argument it does not know: said on the output, nothing done.
    Outcome wrong = runSample("/S /QUIET \"/LOG=" + log + "\"", dir);
    EXPECT_EQ(ExitBadArguments, wrong.exitCode);
    EXPECT_TRUE(contains(wrong.output, "unknown argument: /QUIET")) << wrong.output;
    EXPECT_FALSE(testenv::fileExists(log));
}

// /proc reports no free space at all: the check refuses whatever the size,
// before the run starts.
TEST_F(SampleSetupRun, TargetDriveWithoutRoomIsRefusedWith1603) {
    pack();
    target = "Z:\\proc\\Sample Product";
    Outcome run = runSample(silent(), volumes);
    EXPECT_EQ(ExitFailure, run.exitCode);
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "message 1050 [OK] \"There is not enough free space on drive Z:.")) << text;
    EXPECT_TRUE(contains(text, " KB and 0 KB are free.")) << text;
    EXPECT_FALSE(contains(text, "file ")) << text;
    EXPECT_TRUE(contains(text, "exit code 1603")) << text;
}

// 700 files of one byte take 700 clusters of the drive, not 700 bytes: the
// space check counts what the drive allocates.
TEST_F(SampleSetupRun, SmallFilesAreCountedInTheDrivesWholeClusters) {
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\tiny", "x"));
    for (int i = 0; i < 700; ++i)
        manifest.line("file \"src\\tiny\" install \"Tiny\" 1 name=t" + std::to_string(i) + ".txt");
    pack();
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA((dir.substr(0, 3)).c_str(), &sectors, &bytes, &freeClusters, &clusters));
    uint64_t cluster = static_cast<uint64_t>(sectors) * bytes;
    Outcome run = runSample(silent(), volumes);
    ASSERT_EQ(0, run.exitCode) << readText(log);
    std::string text = readText(log);
    size_t at = text.find("space: ");
    ASSERT_NE(std::string::npos, at) << text;
    EXPECT_GE(std::stoull(text.substr(at + 7)), 700 * cluster / 1024) << text;
    EXPECT_TRUE(contains(text, "(706 files in " + std::to_string(cluster) + "-byte clusters)")) << text;
}

// On a drive of 4.5 MB (S:, mounted by wine_start where the machine allows
// it), 700 files of 4,200 bytes are 2.9 MB by their bytes but take 700
// clusters of 8 KB: refused before anything is written. 300 of them fit,
// and install whole: the drive is real and the check no stricter than it.
TEST_F(SampleSetupRun, SmallFilesThatWouldFillASmallDriveAreRefusedUpFront) {
    const std::string drive = "S:\\";
    if (GetDriveTypeA(drive.c_str()) == DRIVE_NO_ROOT_DIR)
        GTEST_SKIP() << "no 4.5 MB drive S: here (wine_start mounts one only where it may mount)";
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA(drive.c_str(), &sectors, &bytes, &freeClusters, &clusters));
    const uint64_t cluster = static_cast<uint64_t>(sectors) * bytes;
    const uint64_t driveBytes = static_cast<uint64_t>(clusters) * cluster;
    ASSERT_LE(driveBytes, 4608u * 1024);
    const size_t small = 4200;
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\small", kit::content(7, small)));
    uint64_t otherBytes = testenv::readFile(testenv::binPath("QRVUnins.Exe")).size();
    for (const Source& s : sources)
        otherBytes += s.bytes.size();
    const std::string folder = "S:\\Sample Product";
    testenv::removeTree(folder);  // an earlier run's, ended by a failed assertion
    for (int files : {700, 300}) {
        kit::Manifest full;
        full.line("groups 3").line(manifest.text());
        for (int i = 0; i < files; ++i)
            full.file("src\\small", "install", "Small", 1, "name=s" + std::to_string(i) + ".bin");
        testenv::removeTree(volumes);
        ASSERT_TRUE(kit::pack(full, dir, volumes, ""));
        DeleteFileA(log.c_str());
        Outcome run = runSample(silent("", folder), volumes);
        std::string text = readText(log);
        if (files == 700) {
            // The set's bytes would fit; the small files' clusters alone would not.
            ASSERT_LT(otherBytes + files * small, driveBytes);
            ASSERT_GT(files * ((small + cluster - 1) / cluster * cluster), driveBytes);
            EXPECT_EQ(ExitFailure, run.exitCode) << text;
            EXPECT_TRUE(contains(text, "message 1050 [OK] \"There is not enough free space on drive S:.")) << text;
            EXPECT_FALSE(contains(text, "file ")) << text;
            EXPECT_FALSE(testenv::dirExists(folder));
        } else {
            EXPECT_EQ(ExitSuccess, run.exitCode) << text;
            EXPECT_EQ(testenv::readFile(dir + "\\src\\small"), testenv::readFile(folder + "\\Small\\s299.bin"));
            EXPECT_EQ(100, testenv::run("\"" + installedUninstaller() + "\" /S Sample Product"));
            EXPECT_FALSE(testenv::dirExists(folder));
        }
    }
}

TEST_F(SampleSetupRun, DamagedVolumeFailsWith1603AndTheLibrarysMessageIsAnsweredAndLogged) {
    pack();
    std::string volume = volumes + "\\Data1.Dat";
    std::vector<unsigned char> bytes = testenv::readFile(volume);
    // The first file's compressed data, just past its record.
    size_t at = 4 + sizeof(ArchiveHeader) + sizeof(tagCompressFileHeader) + 40;
    ASSERT_GT(bytes.size(), at + 64);
    for (size_t i = at; i < at + 64; ++i)
        bytes[i] ^= 0x5A;
    ASSERT_TRUE(testenv::writeFile(volume, bytes));
    Outcome run = runSample(silent(), volumes);
    EXPECT_EQ(ExitFailure, run.exitCode);
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "message 11113 [OK] \"Installation disk might be corrupted.\\nInstallation "
                               "aborted.\" -> OK (answered automatically)"))
        << text;
    EXPECT_TRUE(contains(text, "message 1051 [OK]")) << text;
    EXPECT_TRUE(contains(text, "end: failed")) << text;
    EXPECT_TRUE(contains(text, "exit code 1603")) << text;
}

// A disk that is not there: the reader's folder browser is cancelled for
// the user, its question whether to exit answered Yes, and the run ends as
// failed: nobody cancelled it.
TEST_F(SampleSetupRun, MissingSecondDiskEndsWith1603WithoutAnyWindow) {
    pack("--volume-size 20000");
    ASSERT_TRUE(testenv::fileExists(volumes + "\\Data2.Dat"));
    ASSERT_TRUE(DeleteFileA((volumes + "\\Data2.Dat").c_str()));
    Outcome run = runSample(silent(), volumes);
    EXPECT_EQ(ExitFailure, run.exitCode);
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "folder browser [OK/Cancel] \"Select the folder containing Data2.Dat.\" -> Cancel "
                               "(answered automatically)"))
        << text;
    EXPECT_TRUE(contains(text, "message 11103 [Yes/No]")) << text;
    EXPECT_TRUE(contains(text, "-> Yes (answered automatically)")) << text;
    EXPECT_TRUE(contains(text, "end: failed")) << text;
    EXPECT_TRUE(contains(text, "exit code 1603")) << text;
}

// Every folder the uninstaller would refuse or could not remove the product
// from, however it is spelt: refused before anything is written, naming it.
TEST_F(SampleSetupRun, TargetsThatCouldNotBeRemovedAreRefusedBeforeAnythingIsWritten) {
    pack();
    char programFiles[MAX_PATH] = "", startMenu[MAX_PATH] = "", shortMenu[MAX_PATH] = "";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles)));
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_STARTMENU, nullptr, 0, startMenu)));
    ASSERT_NE(0u, GetShortPathNameA(startMenu, shortMenu, sizeof shortMenu));
    struct Case {
        std::string folder;
        std::string said;   // in the printed refusal
        std::string named;  // the folder as the refusal names it, made absolute
    };
    const std::string programs = programFiles;
    const Case cases[] = {
        {dir + "\\A:B", "is not a plain drive path", dir + "\\A:B"},  // the stream B of the folder A
        {"\\\\?\\" + dir + "\\X", "is not a plain drive path", "\\\\?\\" + dir + "\\X"},
        {"\\\\.\\" + dir + "\\X", "is not a plain drive path", "\\\\.\\" + dir + "\\X"},
        {"C:\\", "is a drive root", "C:\\"},
        {programs, "is shared with other programs", programs},
        {programs + "\\Sample Product\\..", "is shared with other programs", programs},
        {shortMenu, "\\Start Menu)", shortMenu},  // named as it resolves too
        {"C:\\users", "which other programs share", "C:\\users"},  // holds the profiles
    };
    for (const Case& c : cases) {
        Outcome run = runSample(silent("", c.folder), volumes);
        EXPECT_EQ(ExitFailure, run.exitCode) << c.folder << "\n" << run.output;
        EXPECT_TRUE(contains(run.output, "SampleSetup: the folder " + c.named)) << run.output;
        EXPECT_TRUE(contains(run.output, c.said)) << c.folder << "\n" << run.output;
        EXPECT_FALSE(testenv::fileExists(log)) << c.folder;
        EXPECT_FALSE(testenv::fileExists(c.named + "\\Tool.exe")) << c.folder;
        EXPECT_FALSE(testenv::fileExists(installedUninstaller())) << c.folder;
    }
    EXPECT_FALSE(testenv::dirExists(dir + "\\A"));
    EXPECT_FALSE(testenv::dirExists(dir + "\\X"));
}

// Scripts quote the switch as a whole; the folder's blanks arrive whole.
TEST_F(SampleSetupRun, TargetSwitchQuotedWholeInstalls) {
    pack();
    target = dir + "\\Quoted App";
    Outcome run = runSample("/S \"/LOG=" + log + "\" \"/D=" + target + "\"", volumes);
    ASSERT_EQ(0, run.exitCode) << run.output << readText(log);
    expectInstalled();
}

// The log may not destroy what the run installs or reads: the product's
// Install.log, a volume of the disks (this one or the next), a file that is
// not a log of this setup. Refused with 1639, the file untouched; a log of
// its own is appended to.
TEST_F(SampleSetupRun, LogThatWouldOverwriteTheProductOrTheDisksIsRefused) {
    pack("--volume-size 20000");
    ASSERT_EQ(0, runSample(silent(), volumes).exitCode) << readText(log);
    std::string installLog = target + "\\Install.log";
    std::string other = dir + "\\notes.txt";
    ASSERT_TRUE(testenv::writeFile(other, "someone's notes"));
    const std::string refused[] = {installLog,           "Data1.Dat", "Data.Chk", "..\\vol\\Data2.Dat",
                                   "..\\Disk2\\Data2.Dat", other};
    for (const std::string& name : refused) {
        std::string path = name.find(':') == std::string::npos ? volumes + "\\" + name : name;
        std::vector<unsigned char> before = testenv::readFile(path);
        Outcome run = runSample("/S \"/LOG=" + name + "\" /D=" + target, volumes);
        EXPECT_EQ(ExitBadArguments, run.exitCode) << name << "\n" << run.output;
        EXPECT_TRUE(contains(run.output, "SampleSetup: the log " + name)) << run.output;
        EXPECT_EQ(before, testenv::readFile(path)) << name;
    }
    EXPECT_FALSE(testenv::dirExists(dir + "\\Disk2"));
    // Its own log: the second run's lines follow the first's.
    ASSERT_EQ(0, runSample(silent(), volumes).exitCode) << readText(log);
    std::string text = readText(log);
    EXPECT_EQ(0u, text.find("Sample Product Setup log")) << text;
    EXPECT_NE(text.find("exit code 0"), text.rfind("exit code 0")) << text;
}

// A file held open by another program is written under a temporary name
// and recorded for the next start: 3010, and nothing restarts (the test
// would not survive a restart of Wine's session).
class SampleSetupInUse : public SampleSetupRun {
protected:
    void SetUp() override {
        SampleSetupRun::SetUp();
        renames = kit::windowsDir() + "\\QrvInit.Ini";
        wininit = kit::windowsDir() + "\\wininit.ini";
        hadWininit = testenv::fileExists(wininit);
        wininitBytes = testenv::readFile(wininit);
    }
    void TearDown() override {
        SampleSetupRun::TearDown();
        DeleteFileA(renames.c_str());
        if (hadWininit)
            testenv::writeFile(wininit, wininitBytes);
        else
            DeleteFileA(wininit.c_str());
    }
    std::string renames, wininit;
    // The renames the completer hands to Windows go with the test.
    kit::PendingRenamesKeeper keeper;
    bool hadWininit = false;
    std::vector<unsigned char> wininitBytes;
};

TEST_F(SampleSetupInUse, FileInUseEndsWith3010AndNeverRestarts) {
    pack();
    for (const char* more : {"/NORESTART", ""}) {
        CreateDirectoryA(target.c_str(), nullptr);
        std::string held = target + "\\Tool.exe";
        ASSERT_TRUE(testenv::writeFile(held, "the running program"));
        HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        Outcome run = runSample(silent(more), volumes);
        CloseHandle(h);
        EXPECT_EQ(ExitRebootNeeded, run.exitCode) << more;
        std::string text = readText(log);
        EXPECT_TRUE(contains(text, "restart: needed, left to the caller (/S)")) << text;
        // Neither the run's restart question nor the background window's.
        EXPECT_FALSE(contains(text, "message 11106")) << text;
        EXPECT_TRUE(contains(text, "exit code 3010")) << text;
        // The exchange is Windows' now: the temporary file replaces the
        // program at the next start, and the rename file is done with.
        std::vector<std::string> temporaries = kit::temporaries(target);
        ASSERT_EQ(1u, temporaries.size()) << text;
        std::string destination = kit::pendingFor(temporaries[0]);
        EXPECT_EQ(0, lstrcmpiA(("!\\??\\" + held).c_str(), destination.c_str())) << destination;
        EXPECT_TRUE(contains(text, "exchange at restart: 1 registered, 0 stale, 0 left")) << text;
        EXPECT_FALSE(contains(readText(renames), "RealName")) << readText(renames);
        // Registered all the same: the product can be removed.
        EXPECT_TRUE(contains(text, "registration: EstimatedSize = ")) << text;
        EXPECT_EQ(target, uninstallText("InstallLocation"));
        testenv::removeTree(target);
        DeleteFileA(renames.c_str());
    }
}

// ---------------------------------------------------------------------------
// The wizard, driven from this process as a person would: wait for a page of
// the child's, read it, press its buttons.

struct Seen {
    HWND window = nullptr;
    std::string caption;
    std::string heading;  // a page's heading
    std::string text;     // a message box's text
};

struct WindowSearch {
    DWORD pid;
    std::vector<Seen> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->pid || !IsWindowVisible(window))
        return TRUE;
    Seen seen;
    seen.window = window;
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    seen.caption = text;
    text[0] = '\0';
    if (HWND heading = GetDlgItem(window, IDC_PAGE_TITLE))
        GetWindowTextA(heading, text, sizeof text);
    seen.heading = text;
    text[0] = '\0';
    // A message box keeps its message in the static control 0xFFFF.
    if (HWND message = GetDlgItem(window, 0xFFFF))
        GetWindowTextA(message, text, sizeof text);
    seen.text = text;
    search->found.push_back(seen);
    return TRUE;
}

// The visible top-level windows of process `pid`.
std::vector<Seen> windowsOf(DWORD pid) {
    WindowSearch search{pid, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits (bounded) for a window of `pid` that `match` accepts.
HWND waitFor(DWORD pid, const std::string& what, std::function<bool(const Seen&)> match) {
    std::vector<Seen> last;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 15000; Sleep(50)) {
        last = windowsOf(pid);
        for (const Seen& s : last)
            if (match(s))
                return s.window;
    }
    std::string seen;
    for (const Seen& s : last)
        seen += "\n  [" + s.caption + "] " + s.heading + s.text;
    ADD_FAILURE() << "no " << what << " appeared; on screen:" << seen;
    return nullptr;
}

HWND waitForPage(DWORD pid, int headingText) {
    std::string heading = sampleText(headingText);
    return waitFor(pid, "page \"" + heading + "\"", [&](const Seen& s) { return s.heading == heading; });
}

HWND waitForMessage(DWORD pid, const std::string& text) {
    return waitFor(pid, "message \"" + text + "\"", [&](const Seen& s) { return s.text == text; });
}

// A click on a button of another process's dialog: the dialog is told.
void click(HWND dialog, int button) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

std::string controlText(HWND dialog, int control) {
    char text[512] = "";
    GetDlgItemTextA(dialog, control, text, sizeof text);
    return text;
}

TEST_F(SampleSetupRun, WizardWalkedWithTheButtonsInstallsWithoutTheUntickedGroup) {
    pack();
    Child child("\"/LOG=" + log + "\" /D=" + target, volumes);
    ASSERT_TRUE(child.started());
    DWORD pid = child.id();

    HWND page = waitForPage(pid, TEXT_WELCOME_TITLE);
    ASSERT_TRUE(page);
    EXPECT_EQ(sampleText(TEXT_WELCOME_BODY), controlText(page, IDC_PAGE_BODY));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_LIB_BACK)));
    EXPECT_EQ(sampleText(TEXT_NEXT), controlText(page, IDC_LIB_NEXT));
    click(page, IDC_LIB_NEXT);

    page = waitForPage(pid, TEXT_README_TITLE);
    ASSERT_TRUE(page);
    EXPECT_EQ(sampleText(TEXT_README), controlText(page, IDC_LIB_README));
    click(page, IDC_LIB_NEXT);

    page = waitForPage(pid, TEXT_FOLDER_TITLE);
    ASSERT_TRUE(page);
    // Back and forth once: the folder page comes again with the same state.
    click(page, IDC_LIB_BACK);
    page = waitForPage(pid, TEXT_README_TITLE);
    ASSERT_TRUE(page);
    click(page, IDC_LIB_NEXT);
    page = waitForPage(pid, TEXT_FOLDER_TITLE);
    ASSERT_TRUE(page);
    EXPECT_EQ(sampleText(TEXT_GROUP_HELP), controlText(page, IDC_GROUP_HELP));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_GROUP_PROGRAM)));
    EXPECT_EQ(BST_CHECKED, SendDlgItemMessageA(page, IDC_GROUP_PROGRAM, BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_CHECKED, SendDlgItemMessageA(page, IDC_GROUP_HELP, BM_GETCHECK, 0, 0));
    // The folder field shows the target (shortened with "..." if too wide).
    std::string shown = controlText(page, IDC_LIB_FOLDER);
    EXPECT_TRUE(contains(shown, "Sample Product Folder")) << shown;
    // Untick the help, as a click on the box does.
    SendDlgItemMessageA(page, IDC_GROUP_HELP, BM_SETCHECK, BST_UNCHECKED, 0);
    click(page, IDC_GROUP_HELP);
    click(page, IDC_LIB_NEXT);

    page = waitForPage(pid, TEXT_READY_TITLE);
    ASSERT_TRUE(page);
    EXPECT_EQ(sampleText(TEXT_INSTALL), controlText(page, IDC_LIB_NEXT));
    click(page, IDC_LIB_NEXT);

    HWND done = waitForMessage(pid, "Setup is complete.");
    ASSERT_TRUE(done);
    click(done, IDOK);
    Outcome run = child.finish();
    EXPECT_EQ(0, run.exitCode);
    expectInstalled(3);
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "groups: 1 on 2 on 3 off")) << text;
    // Each page as it opened, the folder page twice.
    size_t pages = 0;
    for (size_t at = text.find("  page: "); at != std::string::npos; at = text.find("  page: ", at + 1))
        ++pages;
    EXPECT_EQ(6u, pages) << text;
    EXPECT_TRUE(contains(text, "page: " + sampleText(TEXT_READY_TITLE) + "\r\n")) << text;
    EXPECT_TRUE(contains(text, "message 11130 [OK] \"Setup is complete.\" -> OK (answered by the user)")) << text;
}

TEST_F(SampleSetupRun, WizardCancelledOnTheFirstPageExitsWith1602) {
    pack();
    Child child("\"/LOG=" + log + "\" /D=" + target, volumes);
    ASSERT_TRUE(child.started());
    HWND page = waitForPage(child.id(), TEXT_WELCOME_TITLE);
    ASSERT_TRUE(page);
    click(page, IDC_LIB_CANCEL);
    HWND question = waitForMessage(
        child.id(), "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?");
    ASSERT_TRUE(question);
    click(question, IDYES);
    HWND cancelled = waitForMessage(child.id(), sampleText(TEXT_CANCELLED));
    ASSERT_TRUE(cancelled);
    click(cancelled, IDOK);
    Outcome run = child.finish();
    EXPECT_EQ(ExitCancelled, run.exitCode);
    EXPECT_FALSE(testenv::dirExists(target));
    EXPECT_TRUE(contains(readText(log), "exit code 1602"));
}

// ---------------------------------------------------------------------------
// Registration, the installed uninstaller, the earlier version, the language.

TEST_F(SampleSetupRun, SilentInstallRegistersAndTheInstalledUninstallerRemovesIt) {
    pack();
    Outcome run = runSample(silent(), volumes);
    ASSERT_EQ(0, run.exitCode) << readText(log);
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "registration: RegisterApplication done")) << text;
    EXPECT_EQ("Sample Product", uninstallText("DisplayName"));
    EXPECT_EQ("\"" + installedUninstaller() + "\" Sample Product", uninstallText("UninstallString"));
    EXPECT_EQ("\"" + installedUninstaller() + "\" /S Sample Product", uninstallText("QuietUninstallString"));
    EXPECT_EQ("https://www.example.com/sample-product", uninstallText("URLInfoAbout"));
    EXPECT_EQ(target, uninstallText("InstallLocation"));
    EXPECT_EQ("1.0", uninstallText("DisplayVersion"));
    EXPECT_EQ("Sample Company", uninstallText("Publisher"));
    EXPECT_EQ(target + "\\SampleTool.exe", uninstallText("DisplayIcon"));
    // The archive's totalSize (the product's files and the uninstaller) in KB, rounded up.
    uint64_t bytes = testenv::readFile(testenv::binPath("QRVUnins.Exe")).size();
    for (const Source& s : sources)
        bytes += s.bytes.size();
    EXPECT_EQ(static_cast<long long>((bytes + 1023) / 1024), uninstallNumber("EstimatedSize"));
    EXPECT_TRUE(contains(text, "registration: EstimatedSize = " + std::to_string((bytes + 1023) / 1024))) << text;
    // The archive put the uninstaller into the Windows folder.
    EXPECT_EQ(testenv::readFile(testenv::binPath("QRVUnins.Exe")), testenv::readFile(installedUninstaller()));

    // Removed with it, unattended: files, folder and entry gone.
    EXPECT_EQ(100, testenv::run("\"" + installedUninstaller() + "\" /S Sample Product"));
    for (const Source& s : sources)
        EXPECT_FALSE(testenv::fileExists(target + "\\" + s.name)) << s.name;
    EXPECT_FALSE(testenv::dirExists(target));
    EXPECT_FALSE(keyExists(uninstallKey()));
    EXPECT_FALSE(keyExists(std::string("SOFTWARE\\Tarvelon\\") + kProduct));
}

// An upgrade killed hard at ten moments of its run: the next run completes
// it (exactly the new version, nothing of the old one it does not ship), or
// the installed uninstaller, started instead, leaves nothing of either.
TEST_F(SampleSetupRun, UpgradeKilledAtAnyMomentIsCompletedByTheNextRunOrRemovedWhole) {
    // Version 1: the sources and 300 small files, so that the run takes a while.
    const int extra = 300;
    for (int i = 0; i < extra; ++i) {
        ASSERT_TRUE(testenv::writeFile(dir + "\\src\\e" + std::to_string(i), kit::content(100 + i, 1000)));
        manifest.line("file \"src\\e" + std::to_string(i) + "\" install \"Extra\" 1 name=e" + std::to_string(i) +
                      ".txt");
    }
    pack();
    // Version 2: a new program, the extra files changed, no help.
    kit::Manifest next;
    next.line("groups 3");
    const std::vector<unsigned char> newTool = kit::content(77, 7000);
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\tool2", newTool));
    next.line("file \"src\\tool2\" install - 1 name=Tool.exe");
    next.line("file \"src\\f1\" install - 1 name=Runtime.dll");
    next.line("file \"src\\f2\" install \"Docs\" 2 name=Guide.txt");
    std::map<std::string, std::vector<unsigned char>> v2 = {{"Tool.exe", newTool},
                                                             {"Runtime.dll", sources[1].bytes},
                                                             {"Docs\\Guide.txt", sources[2].bytes}};
    for (int i = 0; i < extra; ++i) {
        std::string flat = "src\\n" + std::to_string(i), name = "e" + std::to_string(i) + ".txt";
        v2["Extra\\" + name] = kit::content(200 + i, 500 + 7 * i);
        ASSERT_TRUE(testenv::writeFile(dir + "\\" + flat, v2["Extra\\" + name]));
        next.line("file \"" + flat + "\" install \"Extra\" 1 name=" + name);
    }
    next.line("file \"src\\QRVUnins.Exe\" windows - 1");
    const std::string volumes2 = dir + "\\vol2";
    ASSERT_TRUE(kit::pack(next, dir, volumes2, ""));
    // Every file below the target, its bytes.
    std::function<void(const std::string&, std::map<std::string, std::vector<unsigned char>>&)> tree =
        [&](const std::string& relative, std::map<std::string, std::vector<unsigned char>>& out) {
            WIN32_FIND_DATAA found;
            HANDLE find = FindFirstFileA((target + "\\" + relative + "*").c_str(), &found);
            if (find == INVALID_HANDLE_VALUE)
                return;
            do {
                std::string name = found.cFileName;
                if (name == "." || name == "..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    tree(relative + name + "\\", out);
                else
                    out[relative + name] = testenv::readFile(target + "\\" + relative + name);
            } while (FindNextFileA(find, &found));
            FindClose(find);
        };

    const int moments[] = {1, 3, 10, 30, 60, 100, 150, 200, 250, 300};  // "file" lines of the run before the kill
    int killed = 0;
    for (int m = 0; m < 10; ++m) {
        SCOPED_TRACE("killed after " + std::to_string(moments[m]) + " files");
        ASSERT_EQ(0, runSample(silent(), volumes).exitCode) << readText(log);
        DeleteFileA(log.c_str());
        {
            Child child(silent(), volumes2);
            ASSERT_TRUE(child.started());
            auto filesLogged = [&] {
                // Shared for writing: the running setup holds the log open.
                std::string text;
                HANDLE file = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
                if (file != INVALID_HANDLE_VALUE) {
                    char buffer[65536];
                    DWORD got = 0;
                    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
                        text.append(buffer, got);
                    CloseHandle(file);
                }
                size_t files = 0;
                for (size_t at = text.find("  file "); at != std::string::npos; at = text.find("  file ", at + 1))
                    ++files;
                return contains(text, "exit code ") ? 1000 : files;
            };
            for (DWORD start = GetTickCount(); GetTickCount() - start < kRunLimitMs; Sleep(1))
                if (filesLogged() >= static_cast<size_t>(moments[m]))
                    break;
            if (child.kill())
                ++killed;
            else
                std::printf("the run had ended before the kill after %d files\n", moments[m]);
            // Each line of the log reached the disk as it was written.
            EXPECT_GE(filesLogged(), static_cast<size_t>(moments[m]));
        }
        if (m % 2 == 0) {
            ASSERT_EQ(0, runSample(silent(), volumes2).exitCode) << readText(log);
            std::map<std::string, std::vector<unsigned char>> found;
            tree("", found);
            ASSERT_EQ(1u, found.erase("Install.log"));
            EXPECT_EQ(v2.size(), found.size());
            for (const auto& file : v2)
                EXPECT_TRUE(found[file.first] == file.second) << file.first;
            EXPECT_FALSE(testenv::dirExists(target + "\\Help"));
        }
        EXPECT_EQ(100, testenv::run("\"" + installedUninstaller() + "\" /S Sample Product"));
        EXPECT_FALSE(testenv::dirExists(target)) << "left after uninstalling";
        EXPECT_FALSE(keyExists(uninstallKey()));
    }
    // Most of the moments fall inside the run (the last ones may come after it).
    EXPECT_GE(killed, 8);
}

// Drive A: is a floppy drive in the test prefix (scripts/wine-env.sh): the
// setup started there goes on from its copy in the temporary folder with the
// same switches, and the started program ends at once with 0.
TEST_F(SampleSetupRun, SilentInstallFromAFloppyGoesOnFromTheCopyWithTheSameArguments) {
    ASSERT_EQ(static_cast<UINT>(DRIVE_REMOVABLE), GetDriveTypeA("A:\\"))
        << "drive A: is not a floppy drive: wine_start (scripts/wine-env.sh) maps it";
    pack();
    const char* const onDisk[] = {"SampleSetup.exe", "Setup.Dll", "Data1.Dat", "Data.Chk"};
    for (const char* name : onDisk) {
        std::string from = std::string(name).rfind("Data", 0) == 0 ? volumes + "\\" + name : testenv::binPath(name);
        ASSERT_TRUE(CopyFileA(from.c_str(), (std::string("A:\\") + name).c_str(), FALSE)) << name;
    }
    EXPECT_EQ(0, testenv::run("A:\\SampleSetup.exe " + silent(), "A:\\"));
    // The copy writes the log; it ends on its own.
    std::string text;
    for (DWORD start = GetTickCount(); GetTickCount() - start < kRunLimitMs; Sleep(100)) {
        text = readText(log);
        if (contains(text, "exit code "))
            break;
    }
    for (const char* name : onDisk)
        DeleteFileA((std::string("A:\\") + name).c_str());
    EXPECT_TRUE(contains(text, "arguments: /S \"/LOG=" + log + "\"")) << text;
    // Run by the copy in the temporary folder, not from the floppy.
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    size_t at = text.find("program: ");
    ASSERT_NE(std::string::npos, at) << text;
    std::string program = text.substr(at + 9, text.find('\r', at) - at - 9);
    EXPECT_EQ(0, lstrcmpiA((std::string(temp) + "SampleSetup.exe").c_str(), program.c_str())) << program;
    EXPECT_TRUE(contains(text, "exit code 0")) << text;
    expectInstalled();
}

// "<product> already exists on your computer ...", as the library words it,
// the product named with its version, publisher and folder.
std::string earlierVersionQuestion(const std::string& folder) {
    return std::string(kProduct) + " 1.0 (Sample Company, in " + folder + ")" +
           " already exists on your computer. It is recommended to uninstall existing version before "
           "continuing setup.\nDo you wish to do so ?";
}

// Cancels the wizard on its open page and answers the questions that follow;
// `cancelledText` is the closing message as the chosen language says it.
void cancelWizard(Child& child, HWND page, const std::string& cancelledText) {
    click(page, IDC_LIB_CANCEL);
    HWND question = waitForMessage(
        child.id(), "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?");
    ASSERT_TRUE(question);
    click(question, IDYES);
    HWND cancelled = waitForMessage(child.id(), cancelledText);
    ASSERT_TRUE(cancelled);
    click(cancelled, IDOK);
}

// Walks the wizard from its first page to the Ready page and presses Install.
void installThroughTheWizard(DWORD pid) {
    for (int title : {TEXT_WELCOME_TITLE, TEXT_README_TITLE, TEXT_FOLDER_TITLE, TEXT_READY_TITLE}) {
        HWND page = waitForPage(pid, title);
        ASSERT_TRUE(page) << title;
        click(page, IDC_LIB_NEXT);
    }
}

// A folder holds one product: another registered product's folder, or one
// holding an Install.log nobody registered, is refused untouched.
TEST_F(SampleSetupRun, AnotherProductsFolderIsRefused) {
    pack();
    const std::string other = dir + "\\Other App", stray = dir + "\\Stray";
    const std::string otherKey = uninstallKeyFor("Other Product");
    removeKey(HKEY_LOCAL_MACHINE, otherKey);  // an earlier run's, ended by a failed assertion
    auto installOthers = [&] {
        for (const std::string& folder : {other, stray}) {
            CreateDirectoryA(folder.c_str(), nullptr);
            testenv::writeFile(folder + "\\Install.log", std::string("QRVL"));
        }
        HKEY key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, otherKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
            return;
        const char* values[][2] = {{"DisplayName", "Other Product 2.0"}, {"InstallLocation", other.c_str()}};
        for (const auto& v : values)
            RegSetValueExA(key, v[0], 0, REG_SZ, reinterpret_cast<const BYTE*>(v[1]),
                           static_cast<DWORD>(strlen(v[1]) + 1));
        RegCloseKey(key);
    };
    // The wizard's Install checks the folder again, as it is then: it says
    // so and stays on its page.
    {
        Child child("\"/LOG=" + log + "\" /D=" + other, volumes);
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(waitForPage(child.id(), TEXT_WELCOME_TITLE));
        installOthers();
        installThroughTheWizard(child.id());
        HWND refused = waitForMessage(child.id(), "Setup cannot install into this folder: the folder " + other +
                                                      " is the installation folder of Other Product 2.0: a folder "
                                                      "holds one product.\n\nChoose another folder.");
        ASSERT_TRUE(refused);
        click(refused, IDOK);
        HWND page = waitForPage(child.id(), TEXT_READY_TITLE);
        ASSERT_TRUE(page);
        cancelWizard(child, page, sampleText(TEXT_CANCELLED));
        EXPECT_EQ(ExitCancelled, child.finish().exitCode);
    }
    for (const std::string& folder : {other, stray}) {
        Outcome run = runSample(silent("", folder), volumes);
        removeKey(HKEY_LOCAL_MACHINE, otherKey);
        EXPECT_EQ(ExitFailure, run.exitCode) << run.output;
        EXPECT_TRUE(contains(run.output, folder == other ? "the installation folder of Other Product 2.0"
                                                         : "the Install.log of another installation"))
            << run.output;
        EXPECT_EQ((std::vector<unsigned char>{'Q', 'R', 'V', 'L'}), testenv::readFile(folder + "\\Install.log"));
        EXPECT_FALSE(testenv::fileExists(folder + "\\SampleTool.exe"));
        EXPECT_FALSE(keyExists(uninstallKey()));
    }
}

TEST_F(SampleSetupRun, EarlierVersionIsOfferedForRemovalAfterTheReadyPageAndUnattendedKept) {
    pack();
    ASSERT_EQ(0, runSample(silent(), volumes).exitCode) << readText(log);
    ASSERT_TRUE(keyExists(uninstallKey()));
    // Unattended over it: nothing asked, nothing removed.
    ASSERT_EQ(0, runSample(silent(), volumes).exitCode) << readText(log);
    EXPECT_TRUE(contains(readText(log), "earlier version: registered; kept (/S removes nothing")) << readText(log);
    EXPECT_FALSE(contains(readText(log), "message 11125")) << readText(log);

    // A wizard cancelled before Install asks nothing and changes nothing.
    {
        Child child("\"/LOG=" + log + "\" /D=" + target, volumes);
        ASSERT_TRUE(child.started());
        HWND page = waitForPage(child.id(), TEXT_WELCOME_TITLE);
        ASSERT_TRUE(page);
        cancelWizard(child, page, sampleText(TEXT_CANCELLED));
        EXPECT_EQ(ExitCancelled, child.finish().exitCode);
    }
    EXPECT_FALSE(contains(readText(log), "message 11125")) << readText(log);
    expectInstalled();
    EXPECT_TRUE(keyExists(uninstallKey()));

    // Install, then No: the files go over the earlier version.
    {
        Child child("\"/LOG=" + log + "\" /D=" + target, volumes);
        ASSERT_TRUE(child.started());
        installThroughTheWizard(child.id());
        HWND question = waitForMessage(child.id(), earlierVersionQuestion(target));
        ASSERT_TRUE(question);
        click(question, IDNO);
        HWND done = waitForMessage(child.id(), "Setup is complete.");
        ASSERT_TRUE(done);
        click(done, IDOK);
        EXPECT_EQ(0, child.finish().exitCode);
    }
    std::string text = readText(log);
    EXPECT_TRUE(contains(text, "message 11125 [Yes/No]")) << text;
    EXPECT_TRUE(contains(text, "earlier version: registered; kept (the user answered No)")) << text;
    expectInstalled();

    // Install, then Yes: its uninstaller removes it, and the install follows.
    {
        Child child("\"/LOG=" + log + "\" /D=" + target, volumes);
        ASSERT_TRUE(child.started());
        installThroughTheWizard(child.id());
        HWND question = waitForMessage(child.id(), earlierVersionQuestion(target));
        ASSERT_TRUE(question);
        click(question, IDYES);
        HWND done = waitForMessage(child.id(), "Setup is complete.");
        ASSERT_TRUE(done);
        click(done, IDOK);
        EXPECT_EQ(0, child.finish().exitCode);
    }
    EXPECT_TRUE(contains(readText(log), "earlier version: RunUninstall 100 (removed)")) << readText(log);
    expectInstalled();
    EXPECT_TRUE(keyExists(uninstallKey()));

    // Another publisher's product of the same name is not offered, and stays.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstallKey().c_str(), 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    const char* values[][2] = {{"DisplayName", "Sample Product"},
                               {"UninstallString", "C:\\Other\\unins.exe Sample Product"},
                               {"Publisher", "Other Company"}};
    for (const auto& v : values)
        RegSetValueExA(key, v[0], 0, REG_SZ, reinterpret_cast<const BYTE*>(v[1]), static_cast<DWORD>(strlen(v[1]) + 1));
    RegCloseKey(key);
    DeleteFileA(log.c_str());  // a log of this run alone: the earlier runs' lines would be appended to
    {
        Child child("\"/LOG=" + log + "\" /D=" + target, volumes);
        ASSERT_TRUE(child.started());
        installThroughTheWizard(child.id());
        HWND done = waitForMessage(child.id(), "Setup is complete.");
        ASSERT_TRUE(done);
        click(done, IDOK);
        EXPECT_EQ(0, child.finish().exitCode);
    }
    EXPECT_FALSE(contains(readText(log), "message 11125")) << readText(log);
    EXPECT_TRUE(contains(readText(log), "not ours (publisher \"Other Company\"")) << readText(log);
    EXPECT_TRUE(keyExists(uninstallKey()));
}

// Text `id` of the French language library, with the product's name.
std::string frenchText(int id) {
    static HMODULE french = LoadLibraryExA(testenv::binPath("Setup_fr.Dll").c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE);
    char buffer[1024] = "";
    int length = french ? LoadStringA(french, id, buffer, sizeof buffer) : 0;
    return fillText(std::string(buffer, length > 0 ? length : 0), {kProduct});
}

TEST_F(SampleSetupRun, FrenchChosenWithTheLanguageButtonChangesTheOpenPage) {
    pack();
    std::string frenchTitle = frenchText(TEXT_WELCOME_TITLE);
    ASSERT_FALSE(frenchTitle.empty());
    ASSERT_NE(sampleText(TEXT_WELCOME_TITLE), frenchTitle);
    Child child("\"/LOG=" + log + "\" /D=" + target, volumes);
    ASSERT_TRUE(child.started());
    HWND page = waitForPage(child.id(), TEXT_WELCOME_TITLE);
    ASSERT_TRUE(page);
    HWND button = waitFor(child.id(), "the language button",
                          [](const Seen& s) { return controlText(s.window, IDOK) == "Choose language"; });
    ASSERT_TRUE(button);
    click(button, IDOK);
    HWND languages = waitFor(child.id(), "the language dialog",
                             [](const Seen& s) { return s.caption == "Select language"; });
    ASSERT_TRUE(languages);
    click(languages, IDL_FRENCH);
    // The same page, now in French.
    HWND french = waitFor(child.id(), "the French page", [&](const Seen& s) { return s.heading == frenchTitle; });
    ASSERT_EQ(page, french);
    EXPECT_EQ(frenchText(TEXT_WELCOME_BODY), controlText(page, IDC_PAGE_BODY));
    EXPECT_EQ(frenchText(TEXT_NEXT), controlText(page, IDC_LIB_NEXT));
    cancelWizard(child, page, frenchText(TEXT_CANCELLED));
    EXPECT_EQ(ExitCancelled, child.finish().exitCode);
    EXPECT_TRUE(contains(readText(log), "page: " + frenchTitle + " (language changed)")) << readText(log);
}

}  // namespace
