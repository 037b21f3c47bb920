// A product installed over its earlier version with transactions: the files
// the new version no longer ships go unless the user changed them, the new
// Install.log lists every file either version left, so the uninstaller
// leaves nothing of either; an upgrade that does not complete leaves the
// earlier version exactly as it was, and one whose process was killed is
// undone by the uninstaller before it removes anything.
#include "Setup.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace {

const char kProduct[] = "Upgrade Test Product";  // its Uninstall entry's name
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Upgrade Test Product";
const char* const kRootFiles[] = {"app.exe", "core.dll", "data1.dat", "data2.dat", "readme.txt", "lic.txt"};
const char* const kHelpFiles[] = {"index.hlp", "a.hlp", "b.hlp", "c.hlp"};

// The diagnostic log's lines of a run (the engine reports on the calling thread).
std::vector<std::string> g_logLines;
void CALLBACK keepLogLine(const SetupLogRecord* record) { g_logLines.push_back(record->text); }

class EngineUpgrade : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        app = dir + "\\Product";
        kit::Manifest v1, v2;
        for (const char* folder : {"\\src1", "\\src1\\Help", "\\src2"})
            CreateDirectoryA((dir + folder).c_str(), nullptr);
        uint32_t seed = 1;
        for (const char* name : kRootFiles) {
            ASSERT_TRUE(testenv::writeFile(dir + "\\src1\\" + name, kit::content(seed, 3000 + 500 * seed)));
            // The new version changes two files and keeps the others.
            uint32_t next = seed <= 2 ? seed + 50 : seed;
            ASSERT_TRUE(testenv::writeFile(dir + "\\src2\\" + name, kit::content(next, 2000 + 700 * next)));
            v1.file(std::string("src1\\") + name, "install", "", 1);
            v2.file(std::string("src2\\") + name, "install", "", 1);
            ++seed;
        }
        for (const char* name : kHelpFiles) {
            ASSERT_TRUE(testenv::writeFile(dir + "\\src1\\Help\\" + name, kit::content(seed++, 1500)));
            v1.file(std::string("src1\\Help\\") + name, "install", "Help", 1);
        }
        ASSERT_TRUE(testenv::writeFile(dir + "\\src2\\new.dat", kit::content(99, 4000)));
        v2.file("src2\\new.dat", "install", "", 1);
        ASSERT_TRUE(kit::pack(v1, dir, dir + "\\v1"));
        ASSERT_TRUE(kit::pack(v2, dir, dir + "\\v2"));
        SetInstallTransactions(1);
    }
    void TearDown() override {
        SetInstallTransactions(0);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstall);
    }
    // Version 1 installed afresh, then one of its help files changed by the user.
    void installEarlier() {
        testenv::removeTree(app);
        kit::Engine engine;
        kit::DialogGuard guard;
        ASSERT_EQ(2, kit::install(engine, dir + "\\v1", app).run);
        ASSERT_TRUE(testenv::writeFile(app + "\\Help\\b.hlp", "the user's own notes"));
    }
    // The Uninstall entry the uninstaller finds the folder by.
    bool registerProduct() {
        HKEY key;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstall, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr))
            return false;
        LONG r = RegSetValueExA(key, "InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(app.c_str()),
                                static_cast<DWORD>(app.size() + 1));
        RegCloseKey(key);
        return r == ERROR_SUCCESS;
    }
    int uninstall() { return testenv::run("\"" + testenv::binPath("QRVUnins.Exe") + "\" /S " + kProduct); }
    // The files Install.log lists, as "subDir\fileName".
    std::set<std::string> listed() {
        std::set<std::string> names;
        for (const tagCompressFileHeader& r : kit::readLog(app + "\\Install.log"))
            names.insert(std::string(r.subDir) + "\\" + r.fileName);
        return names;
    }
    std::string dir, app;
};

TEST_F(EngineUpgrade, FilesNoLongerShippedGoAndTheUninstallerLeavesNothing) {
    installEarlier();
    g_logLines.clear();
    LogHook previous = SetLogHook(keepLogLine);
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(2, kit::install(engine, dir + "\\v2", app).run);
        EXPECT_TRUE(guard.seen().empty());
    }
    SetLogHook(previous);
    // Each help file is gone, but the one the user changed; the log says which, and why.
    for (const char* name : kHelpFiles) {
        bool changed = std::string(name) == "b.hlp";
        EXPECT_EQ(changed, testenv::fileExists(app + "\\Help\\" + name)) << name;
        std::string line = std::string("earlier file no longer shipped, ") + (changed ? "kept: " : "removed: ") +
                           app + "\\Help\\" + name + (changed ? " (changed since it was installed)" : "");
        EXPECT_EQ(1, std::count(g_logLines.begin(), g_logLines.end(), line)) << line;
    }
    for (const char* name : kRootFiles)
        EXPECT_TRUE(testenv::readFile(dir + "\\src2\\" + name) == testenv::readFile(app + "\\" + name)) << name;
    // Every file either version left, each once; no side file, no journal.
    std::set<std::string> expected = {"\\new.dat", "Help\\b.hlp"};
    for (const char* name : kRootFiles)
        expected.insert(std::string("\\") + name);
    EXPECT_EQ(expected, listed());
    EXPECT_EQ(expected.size() * 564, testenv::readFile(app + "\\Install.log").size());
    kit::Listing after;
    kit::listTree(app, "", after);
    EXPECT_EQ(expected.size() + 2, after.size());  // the files, Help and Install.log

    // The uninstaller finds it through the Uninstall entry and removes it all.
    ASSERT_TRUE(registerProduct());
    EXPECT_EQ(100, uninstall());
    EXPECT_FALSE(testenv::dirExists(app));
}

// Each way an upgrade can end early, the earlier version stays exactly as it
// was: the files removed come back with their bytes, times and attributes.
TEST_F(EngineUpgrade, AnUpgradeThatDoesNotCompleteLeavesTheEarlierVersion) {
    struct Case {
        const char* what;
        int damaged;        // file of version 2 whose stream is broken, -1 none
        bool overallBreak;  // the product breaks off at 100 %, after the removals
    } cases[] = {
        {"damaged middle file", 3, false},
        {"break after the last file", -1, true},
    };
    std::vector<unsigned char> intact = testenv::readFile(dir + "\\v2\\Data1.Dat");
    DeleteFileA((dir + "\\v2\\Data.Chk").c_str());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        installEarlier();
        SetFileAttributesA((app + "\\Help\\c.hlp").c_str(), FILE_ATTRIBUTE_READONLY);
        std::vector<unsigned char> volume = intact;
        if (c.damaged >= 0) {
            size_t pos = 24;
            for (int i = 0; i < c.damaged; ++i) {
                uint32_t chunk;
                memcpy(&chunk, &volume[pos + 12], 4);
                pos += 564 + chunk;
            }
            volume[pos + 564] = 7;  // a literal mode that does not exist
        }
        ASSERT_TRUE(testenv::writeFile(dir + "\\v2\\Data1.Dat", volume));
        kit::Listing before;
        kit::listTree(app, "", before);
        {
            kit::Engine engine;
            engine.MakeGroupList(1);
            engine.answer = [&](int kind, void* data) {
                return kind == 2 && c.overallBreak && *static_cast<int*>(data) == 100 ? 1 : 2;
            };
            ui::Script ui;
            if (c.damaged >= 0)
                ui.messageBox(nullptr, kit::caption(),
                              "Installation disk might be corrupted.\nInstallation aborted.", IDOK, MB_ICONSTOP);
            kit::DialogGuard guard(&ui, c.damaged >= 0 ? 1 : 0);
            EXPECT_EQ(c.damaged >= 0 ? 0 : 1, kit::install(engine, dir + "\\v2", app).run);
            EXPECT_TRUE(ui.finish());
        }
        kit::Listing after;
        kit::listTree(app, "", after);
        EXPECT_EQ("", kit::treeDifferences(before, after));
        SetFileAttributesA((app + "\\Help\\c.hlp").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// The moments of an upgrade at which the kill test ends its process: in the
// middle of a file that replaces one, and after the removals (the overall
// notification of the last file).
struct KillMoment {
    int kind;
    int file;
};
const KillMoment kKillMoments[] = {{3, 1}, {2, 6}};

// The child's part of the kill test: the upgrade ended hard, as a killed
// setup ends, with no destructor and no rollback.
TEST(EngineUpgradeChild, UpgradeEndedHard) {
    char folder[MAX_PATH] = "", moment[16] = "";
    if (!GetEnvironmentVariableA("UPGRADE_TEST_DIR", folder, sizeof folder) ||
        !GetEnvironmentVariableA("UPGRADE_TEST_MOMENT", moment, sizeof moment))
        GTEST_SKIP() << "run by EngineUpgrade.TheUninstallerUndoesAKilledUpgradeFirst";
    const KillMoment& at = kKillMoments[atoi(moment)];
    SetInstallTransactions(1);
    kit::Engine engine;
    engine.MakeGroupList(1);
    int file = -1;
    engine.answer = [&](int kind, void* data) {
        if (kind == 0)
            ++file;
        int percent = kind == 0 ? 0 : *static_cast<int*>(data);
        if (kind == at.kind && file == at.file && (kind != 3 || (percent > 0 && percent < 100)))
            TerminateProcess(GetCurrentProcess(), 9);
        return 2;
    };
    kit::install(engine, std::string(folder) + "\\v2", std::string(folder) + "\\Product");
    ADD_FAILURE() << "the run was not ended";
}

// A setup killed while it upgrades leaves its journal; the uninstaller
// undoes that run first (the earlier log and the files removed come back)
// and then removes the earlier version whole, saying so in its report.
TEST_F(EngineUpgrade, TheUninstallerUndoesAKilledUpgradeFirst) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    SetEnvironmentVariableA("UPGRADE_TEST_DIR", dir.c_str());
    for (size_t i = 0; i < sizeof kKillMoments / sizeof kKillMoments[0]; ++i) {
        SCOPED_TRACE("moment " + std::to_string(i));
        installEarlier();
        ASSERT_TRUE(registerProduct());
        SetEnvironmentVariableA("UPGRADE_TEST_MOMENT", std::to_string(i).c_str());
        EXPECT_EQ(9, testenv::run(std::string("\"") + self +
                                  "\" --gtest_filter=EngineUpgradeChild.UpgradeEndedHard"));
        ASSERT_TRUE(testenv::fileExists(app + "\\Install.jnl"));
        EXPECT_EQ(100, uninstall());
        EXPECT_FALSE(testenv::dirExists(app));
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::vector<unsigned char> report = testenv::readFile(std::string(temp) + "QRVUnins.log");
        EXPECT_NE(std::string::npos, std::string(report.begin(), report.end())
                                         .find("rolled back an unfinished setup\t" + app + "\\Install.jnl"));
    }
    SetEnvironmentVariableA("UPGRADE_TEST_MOMENT", nullptr);
    SetEnvironmentVariableA("UPGRADE_TEST_DIR", nullptr);
}

// While a setup holds its journal, the uninstaller removes nothing.
TEST_F(EngineUpgrade, TheUninstallerWaitsForASetupAtWork) {
    installEarlier();
    ASSERT_TRUE(registerProduct());
    kit::Listing before;
    kit::listTree(app, "", before);
    HANDLE journal = CreateFileA((app + "\\Install.jnl").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, journal);
    EXPECT_EQ(8, uninstall());
    CloseHandle(journal);
    DeleteFileA((app + "\\Install.jnl").c_str());
    kit::Listing after;
    kit::listTree(app, "", after);
    EXPECT_EQ("", kit::treeDifferences(before, after));
}

}  // namespace
