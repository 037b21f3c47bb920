// Versions of files already installed in the Windows and system directories,
// with real PE files stamped with version resources, and the write-protected
// system directory (made truly unwritable with the immutable attribute of the
// Wine prefix's folder, undone at the end of each case).
#include "Setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace {

const char kCaption[] = "Engine Test Setup";

// A previous run that died with the system directory still protected would
// break every later test of the prefix.
class UnprotectSystemDirectory : public ::testing::Environment {
public:
    void SetUp() override { kit::Immutable(kit::systemDir()).ok(); }
};
::testing::Environment* const unprotect =
    ::testing::AddGlobalTestEnvironment(new UnprotectSystemDirectory);

std::vector<int> versionOf(SetupFileManager& engine, const std::string& path) {
    std::vector<int> v(4, -1);
    std::vector<char> p(path.begin(), path.end());
    p.push_back('\0');
    int r = engine.QRV_GetFileVersion(p.data(), v.data());
    v.push_back(r);
    return v;
}

TEST(EngineFileVersion, TextOfTheUsEnglishBlockPieceByPiece) {
    std::string dir = testenv::scratchDir();
    kit::Engine engine;
    struct Case {
        const char* text;
        std::vector<int> expected;  // four parts, then the result
    } cases[] = {
        {"4.00.950", {4, 0, 950, 0, 1}},
        {"1, 2, 3, 4", {1, 0, 0, 0, 1}},  // commas are not separators
        {"1.2.3.4.5", {1, 2, 3, 4, 1}},   // a fifth piece is ignored
        {"7.8", {7, 8, 0, 0, 1}},
        {" 6.-2.x3.4 build", {6, -2, 0, 4, 1}},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string path = dir + "\\v" + std::to_string(n++) + ".dll";
        ASSERT_TRUE(kit::writeDll(path, c.text));
        EXPECT_EQ(c.expected, versionOf(engine, path)) << c.text;
    }
    // Without the US English text, the fixed record's version, its numbers
    // unsigned 16-bit; without that too, 0.0.0.0.
    ASSERT_TRUE(kit::writeDll(dir + "\\german.dll", "5.0.0.0", "040704B0", 0x00060001, 0xFFFF0002));
    EXPECT_EQ((std::vector<int>{6, 1, 65535, 2, 1}), versionOf(engine, dir + "\\german.dll"));
    ASSERT_TRUE(kit::writeDll(dir + "\\nofixed.dll", "5.0.0.0", "040904B0", 0, 0));
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0, 1}), versionOf(engine, dir + "\\nofixed.dll"));
    // No version resource, no file: 0, all parts 0.
    ASSERT_TRUE(kit::writeDll(dir + "\\plain.dll", ""));
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0, 0}), versionOf(engine, dir + "\\plain.dll"));
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0, 0}), versionOf(engine, dir + "\\missing.dll"));
}

TEST(EngineFileVersion, ReplaceDecision) {
    std::string dir = testenv::scratchDir();
    kit::Engine engine;
    tagCompressFileHeader record = {};
    record.version[0] = 4;
    record.version[3] = 950;  // 4.0.0.950
    auto decide = [&](const std::string& installed) {
        std::string path = dir + "\\x.dll";
        EXPECT_TRUE(kit::writeDll(path, installed));
        std::vector<char> p(path.begin(), path.end());
        p.push_back('\0');
        return engine.NewFileVersion(p.data(), &record);
    };
    EXPECT_EQ(1, decide("4.0.0.950"));  // equal: written again
    EXPECT_EQ(1, decide("4.0.0.949"));
    EXPECT_EQ(0, decide("4.0.1.0"));
    EXPECT_EQ(0, decide("5"));
    EXPECT_EQ(1, decide("3.99.99.99"));
    EXPECT_EQ(1, decide(""));  // unreadable version: replaced
    // Numbers, not text: 4.0.0.1000 is newer than 4.0.0.950.
    EXPECT_EQ(0, decide("4.0.0.1000"));
}

TEST(EngineFileVersion, ExistenceAndClearNames) {
    std::string dir = testenv::scratchDir();
    kit::Engine engine;
    std::string path = dir + "\\held.txt";
    ASSERT_TRUE(testenv::writeFile(path, "x"));
    std::vector<char> p(path.begin(), path.end());
    p.push_back('\0');
    EXPECT_EQ(1, engine.QRV_FileExist(p.data()));
    {
        // Held open without read sharing: counts as absent.
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        EXPECT_EQ(0, engine.QRV_FileExist(p.data()));
        CloseHandle(h);
    }
    std::string missing = dir + "\\none.txt";
    EXPECT_EQ(0, engine.QRV_FileExist(&missing[0]));

    std::string inSystem = kit::systemDir() + "\\sub\\x.dll";
    EXPECT_STREQ("\\sub\\x.dll", engine.GetClearName(&inSystem[0], 1));
    std::string inWindows = kit::windowsDir() + "\\x.dll";
    EXPECT_STREQ("\\x.dll", engine.GetClearName(&inWindows[0], 0));
    std::string shortPath = "C:";
    EXPECT_STREQ("", engine.GetClearName(&shortPath[0], 0));  // never past the end
}

// Installed copies and an archive for the Windows directory (targetDir 0),
// the system directory (1) and the installation directory (4).
class EngineVersions : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        cleanUp();
    }
    void TearDown() override { cleanUp(); }
    void cleanUp() {
        testenv::removeTree(kit::windowsDir() + "\\EngineVer");
        testenv::removeTree(kit::systemDir() + "\\EngineVer");
        testenv::removeTree(kit::windowsDir() + "\\EngineSub");
        testenv::removeTree(kit::systemDir() + "\\EngineSub");
        for (const char* name : {"engtest_old.dll", "engtest_new.dll", "engtest_absent.dll"}) {
            DeleteFileA((kit::systemDir() + "\\" + name).c_str());
            DeleteFileA((kit::windowsDir() + "\\" + name).c_str());
        }
    }
    std::string dir, volumes;
};

TEST_F(EngineVersions, InstalledCopiesInWindowsAndSystemDirectories) {
    // name, installed version text ("" none), version of the archive's copy.
    struct Case {
        const char* name;
        const char* installed;
        const char* shipped;
        bool replaced;
    } cases[] = {
        {"newer.dll", "5.0.0.0", "4.0.0.0", false},
        {"older.dll", "3.9.0.0", "4.0.0.0", true},
        {"equal.dll", "4.0.0.0", "4.00.0.0", true},  // same numbers, other bytes
        {"plain.dll", "", "4.0.0.0", true},
        {"numbers.dll", "1.9.99.99", "1.10", true},
    };
    const std::string bases[] = {kit::windowsDir() + "\\EngineVer", kit::systemDir() + "\\EngineVer",
                                 dir + "\\App\\EngineVer"};
    const char* targets[] = {"windows", "system", "install"};
    kit::Manifest m;
    CreateDirectoryA((dir + "\\App").c_str(), nullptr);
    for (int t = 0; t < 3; ++t) {
        CreateDirectoryA(bases[t].c_str(), nullptr);
        for (const Case& c : cases) {
            std::string src = std::string(targets[t]) + "_" + c.name;
            ASSERT_TRUE(kit::writeDll(dir + "\\src\\" + src, c.shipped));
            ASSERT_TRUE(kit::writeDll(bases[t] + "\\" + c.name, c.installed));
            m.file("src\\" + src, targets[t], "EngineVer", 1, std::string("name=") + c.name);
        }
    }
    ASSERT_TRUE(kit::pack(m, dir, volumes));

    std::vector<kit::Notice> before;
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        kit::RunResult r = kit::install(engine, volumes, dir + "\\App");
        EXPECT_TRUE(guard.seen().empty());
        ASSERT_EQ(2, r.run);
        EXPECT_EQ(0, engine.systemDirReadOnly);
        before = engine.of(0);
    }
    std::vector<tagCompressFileHeader> log = kit::readLog(dir + "\\App\\Install.log");
    size_t logged = 0;
    for (int t = 0; t < 3; ++t) {
        for (const Case& c : cases) {
            std::string installed = bases[t] + "\\" + c.name;
            std::string src = dir + "\\src\\" + targets[t] + "_" + c.name;
            // Outside the Windows and system directories there is no version test.
            bool replaced = c.replaced || t == 2;
            EXPECT_EQ(replaced, testenv::readFile(installed) == testenv::readFile(src))
                << installed;
            bool noticed = false;
            for (const kit::Notice& n : before)
                noticed |= n.text == installed;
            EXPECT_EQ(replaced, noticed) << installed;
            if (replaced) {
                ASSERT_LT(logged, log.size());
                EXPECT_STREQ(c.name, log[logged].fileName);
                EXPECT_EQ(t == 0 ? 0 : t == 1 ? 1 : 4, log[logged].targetDir);
                ++logged;
            }
        }
    }
    EXPECT_EQ(logged, log.size());
}

TEST_F(EngineVersions, NewerCopyWithOnlyAUnicodeTextBlockIsKept) {
    // Installed copies whose only text block is 040904B0 (the usual default),
    // their text newer than their fixed record: the fixed record decides.
    struct Case {
        const char* name;
        DWORD installedHigh;  // the installed copy's fixed version, x.y.0.0
        bool replaced;
    } cases[] = {
        {"engtest_new.dll", 0x00050000, false},  // 5.0 against the archive's 4.0: kept
        {"engtest_old.dll", 0x00030009, true},   // 3.9: replaced
    };
    kit::Manifest m;
    for (const Case& c : cases) {
        ASSERT_TRUE(kit::writeDll(kit::systemDir() + "\\" + c.name, "9.0.0.0", "040904B0", c.installedHigh));
        ASSERT_TRUE(kit::writeDll(dir + "\\src\\" + c.name, "4.0.0.0"));
        m.file(std::string("src\\") + c.name, "system", "", 1);
    }
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    std::vector<unsigned char> before[2];
    for (int i = 0; i < 2; ++i)
        before[i] = testenv::readFile(kit::systemDir() + "\\" + cases[i].name);
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        ASSERT_EQ(2, kit::install(engine, volumes, dir + "\\App").run);
        EXPECT_TRUE(guard.seen().empty());
    }
    for (int i = 0; i < 2; ++i) {
        std::vector<unsigned char> now = testenv::readFile(kit::systemDir() + "\\" + cases[i].name);
        EXPECT_EQ(cases[i].replaced, now == testenv::readFile(dir + "\\src\\" + cases[i].name)) << cases[i].name;
        EXPECT_EQ(!cases[i].replaced, now == before[i]) << cases[i].name;
    }
}

TEST_F(EngineVersions, WriteProtectedSystemDirectorySendsFilesToWindows) {
    // In the system directory: an older copy, a newer copy; nothing for the
    // third file, and no subdirectory for the fourth.
    ASSERT_TRUE(kit::writeDll(kit::systemDir() + "\\engtest_old.dll", "3.0.0.0"));
    ASSERT_TRUE(kit::writeDll(kit::systemDir() + "\\engtest_new.dll", "9.0.0.0"));
    const char* names[] = {"engtest_old.dll", "engtest_new.dll", "engtest_absent.dll", "engtest_sub.dll"};
    kit::Manifest m;
    for (const char* name : names) {
        ASSERT_TRUE(kit::writeDll(dir + "\\src\\" + name, "4.0.0.0"));
        m.file(std::string("src\\") + name, "system",
               std::string(name) == "engtest_sub.dll" ? "EngineSub" : "", 1);
    }
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    std::vector<unsigned char> oldSystemCopy = testenv::readFile(kit::systemDir() + "\\engtest_old.dll");
    std::string question = "An older version of the file " + kit::systemDir() +
                           "\\engtest_old.dll already exists in your write protected system "
                           "directory. Continue at your own risk ?";

    {
        kit::Immutable protect(kit::systemDir());
        ASSERT_TRUE(protect.ok());

        // Cancel ends the run with a user break, before anything is written.
        {
            kit::Engine engine;
            ASSERT_EQ(1, engine.IsSysReadOnly());
            EXPECT_FALSE(testenv::fileExists(kit::systemDir() + "\\qrv_proverka"));
            ui::Script ui;
            // The name goes in as ShowMessage's insert, which brings the box
            // to the foreground.
            ui.messageBox(nullptr, kCaption, question, IDCANCEL, MB_RETRYCANCEL | MB_SETFOREGROUND);
            kit::DialogGuard guard(&ui, 1);
            kit::RunResult r = kit::install(engine, volumes, dir + "\\App1");
            EXPECT_TRUE(ui.finish());
            EXPECT_TRUE(guard.seen().empty());
            EXPECT_EQ(1, engine.systemDirReadOnly);
            EXPECT_EQ(1, r.run);
            EXPECT_FALSE(testenv::fileExists(kit::windowsDir() + "\\engtest_old.dll"));
        }

        // Retry: the older copy's replacement goes to the Windows directory.
        std::vector<kit::Notice> before;
        {
            kit::Engine retry;
            ui::Script ui;
            ui.messageBox(nullptr, kCaption, question, IDRETRY, MB_RETRYCANCEL | MB_SETFOREGROUND);
            kit::DialogGuard guard(&ui, 1);
            kit::RunResult r = kit::install(retry, volumes, dir + "\\App2");
            EXPECT_TRUE(ui.finish());
            EXPECT_TRUE(guard.seen().empty());
            EXPECT_EQ(2, r.run);
            before = retry.of(0);
        }
        ASSERT_EQ(3u, before.size());  // the newer copy is skipped without a word
        EXPECT_EQ(kit::windowsDir() + "\\engtest_old.dll", before[0].text);
        EXPECT_EQ(kit::windowsDir() + "\\engtest_absent.dll", before[1].text);
        EXPECT_EQ(kit::windowsDir() + "\\EngineSub\\engtest_sub.dll", before[2].text);
    }
    EXPECT_TRUE(oldSystemCopy == testenv::readFile(kit::systemDir() + "\\engtest_old.dll"));
    for (const char* name : {"engtest_old.dll", "engtest_absent.dll"})
        EXPECT_TRUE(testenv::readFile(dir + "\\src\\" + name) ==
                    testenv::readFile(kit::windowsDir() + "\\" + name))
            << name;
    EXPECT_TRUE(testenv::readFile(dir + "\\src\\engtest_sub.dll") ==
                testenv::readFile(kit::windowsDir() + "\\EngineSub\\engtest_sub.dll"));
    EXPECT_FALSE(testenv::fileExists(kit::windowsDir() + "\\engtest_new.dll"));
    EXPECT_FALSE(testenv::dirExists(kit::systemDir() + "\\EngineSub"));

    // Logged as Windows-directory files.
    std::vector<tagCompressFileHeader> log = kit::readLog(dir + "\\App2\\Install.log");
    ASSERT_EQ(3u, log.size());
    for (const tagCompressFileHeader& rec : log)
        EXPECT_EQ(TargetWindows, rec.targetDir) << rec.fileName;
    EXPECT_STREQ("EngineSub", log[2].subDir);
}

}  // namespace
