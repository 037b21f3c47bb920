// Install transactions: a run with SetInstallTransactions on that ends early
// (damaged data at the first, a middle or the last file, the product's break,
// a file in use before a later failure) leaves the installation folder,
// Install.log and QrvInit.Ini exactly as they were; one that completes
// leaves no side file and no journal; one whose process is ended hard is
// undone by the next start on its folder, and a second start while a run is
// at work is refused. Without transactions, a file whose data breaks never
// leaves part of itself at the target's name.
#include "Setup.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "RestartKit.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace {

using kit::Listing;

const char kCaption[] = "Engine Test Setup";
const char kCorrupt[] = "Installation disk might be corrupted.\nInstallation aborted.";

std::string renameFile() { return kit::windowsDir() + "\\QrvInit.Ini"; }

class EngineJournal : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        top = dir + "\\Top";
        app = top + "\\App";
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        kit::Manifest m;
        for (int i = 0; i < kFiles; ++i) {
            std::string name = "f" + std::to_string(i) + ".dat";
            ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + name, kit::content(70 + i, 5000 + 3000 * i)));
            m.file("src\\" + name, "install", i < 3 ? "" : "new\\deep", 1);
        }
        ASSERT_TRUE(kit::pack(m, dir, volumes));
        volume = testenv::readFile(volumes + "\\Data1.Dat");
        for (size_t pos = 24; pos + 564 <= volume.size();) {
            records.push_back(pos);
            uint32_t chunk;
            memcpy(&chunk, &volume[pos + 12], 4);
            pos += 564 + chunk;
        }
        ASSERT_EQ(static_cast<size_t>(kFiles), records.size());
        // No check file: damaged streams are found by the decoder.
        DeleteFileA((volumes + "\\Data.Chk").c_str());

        makeEarlier();
        hadRenameFile = testenv::fileExists(renameFile());
        if (hadRenameFile)
            renameBytes = testenv::readFile(renameFile());
        SetInstallTransactions(1);
    }
    void TearDown() override {
        SetInstallTransactions(0);
        if (hadRenameFile)
            testenv::writeFile(renameFile(), renameBytes);
        else
            DeleteFileA(renameFile().c_str());
    }
    // The earlier installation: two of the files, one read-only, a file of
    // its own and its Install.log.
    void makeEarlier() {
        testenv::removeTree(top);
        CreateDirectoryA(top.c_str(), nullptr);
        CreateDirectoryA(app.c_str(), nullptr);
        ASSERT_TRUE(testenv::writeFile(app + "\\f0.dat", "twelve bytes"));
        ASSERT_TRUE(testenv::writeFile(app + "\\f2.dat", kit::content(5, 7777)));
        SetFileAttributesA((app + "\\f2.dat").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        ASSERT_TRUE(testenv::writeFile(app + "\\own.txt", "the earlier version's own"));
        ASSERT_TRUE(testenv::writeFile(app + "\\Install.log", std::vector<unsigned char>(564, 'L')));
        kit::setWriteTime(app + "\\f0.dat", 130000000000000000ull);
    }
    void save() { ASSERT_TRUE(testenv::writeFile(volumes + "\\Data1.Dat", volume)); }
    Listing snapshot() {
        Listing out;
        kit::listTree(top, "", out);
        std::vector<unsigned char> ini = testenv::readFile(renameFile());
        out["QrvInit.Ini"] = std::string(ini.begin(), ini.end());
        return out;
    }

    static const int kFiles = 6;
    std::string dir, volumes, top, app;
    std::vector<unsigned char> volume;
    std::vector<size_t> records;
    std::vector<unsigned char> renameBytes;
    bool hadRenameFile = false;
};

// Each way a run can end early, then the machine as it was.
TEST_F(EngineJournal, RunThatEndsEarlyLeavesEverythingAsItWas) {
    struct Case {
        const char* what;
        int damaged;        // file whose stream is broken, -1 none
        int breakAtFile;    // file whose notice is answered with a break, -1 none
        bool holdFirst;     // f0.dat held open: its new content becomes an exchange
        bool overallBreak;  // answer 1 to the overall percentage of 100
        bool fresh;         // no earlier installation, no folder
    } cases[] = {
        {"damaged first file", 0, -1, false, false, false},
        {"damaged middle file", 3, -1, false, false, false},
        {"damaged last file", kFiles - 1, -1, false, false, false},
        {"break before a file", -1, 4, false, false, false},
        {"break after the last file", -1, -1, false, true, false},
        {"file in use, then damage", 4, -1, true, false, false},
        {"fresh folder, damaged middle file", 3, -1, false, false, true},
    };
    std::vector<unsigned char> intact = volume;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        volume = intact;
        makeEarlier();
        if (c.fresh)
            testenv::removeTree(top);
        if (c.damaged >= 0)
            volume[records[c.damaged] + 564] = 7;  // a literal mode that does not exist
        save();
        Listing before = snapshot();
        {
            kit::Held held(app + "\\f0.dat");
            if (!c.holdFirst)
                held.release();
            kit::Engine engine;
            engine.MakeGroupList(1);
            int fileNotices = 0;
            engine.answer = [&](int kind, void* data) {
                if (kind == 0 && fileNotices++ == c.breakAtFile)
                    return 1;
                if (kind == 2 && c.overallBreak && *static_cast<int*>(data) == 100)
                    return 1;
                return 2;
            };
            ui::Script ui;
            if (c.damaged >= 0)
                ui.messageBox(nullptr, kCaption, kCorrupt, IDOK, MB_ICONSTOP);
            kit::DialogGuard guard(&ui, c.damaged >= 0 ? 1 : 0);
            kit::RunResult r = kit::install(engine, volumes, app);
            EXPECT_TRUE(ui.finish());
            EXPECT_TRUE(guard.seen().empty());
            EXPECT_EQ(2, r.init);
            // The engine's result is the one it always gave.
            EXPECT_EQ(c.damaged >= 0 ? 0 : 1, r.run);
        }
        EXPECT_EQ("", kit::treeDifferences(before, snapshot()));
    }
}

// A run that completes: the new files, no journal, nothing moved aside left.
TEST_F(EngineJournal, CompletedRunLeavesNoSideFiles) {
    save();
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(2, kit::install(engine, volumes, app).run);
    }
    Listing after = snapshot();
    after.erase("QrvInit.Ini");
    // App, new, new\deep, the files, own.txt and Install.log: no side file, no journal.
    EXPECT_EQ(kFiles + 5u, after.size());
    EXPECT_TRUE(testenv::readFile(dir + "\\src\\f2.dat") == testenv::readFile(app + "\\f2.dat"));
    EXPECT_EQ(0u, GetFileAttributesA((app + "\\f2.dat").c_str()) & FILE_ATTRIBUTE_READONLY);
}

// Without transactions a broken stream leaves the target as it was: the new
// content never reaches its name until it is whole.
TEST_F(EngineJournal, WithoutTransactionsABrokenFileNeverReachesItsName) {
    SetInstallTransactions(0);
    volume[records[2] + 564 + 200] ^= 0x55;
    volume.resize(records[2] + 564 + 300);  // the volume ends inside f2's data
    save();
    std::vector<unsigned char> old = testenv::readFile(app + "\\f2.dat");
    kit::Engine engine;
    engine.MakeGroupList(1);
    ui::Script ui;
    ui.messageBox(nullptr, kCaption, kCorrupt, IDOK, MB_ICONSTOP);
    kit::DialogGuard guard(&ui, 1);
    EXPECT_EQ(0, kit::install(engine, volumes, app).run);
    EXPECT_TRUE(ui.finish());
    EXPECT_TRUE(old == testenv::readFile(app + "\\f2.dat"));
    WIN32_FIND_DATAA found;
    HANDLE side = FindFirstFileA((app + "\\~qrv*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, side);
    if (side != INVALID_HANDLE_VALUE)
        FindClose(side);
}

// The moments of a run at which the kill test ends its process: before a
// file (notification 0), in the middle of one (3), after one is in place (2).
struct KillMoment {
    int kind;
    int file;
};
const KillMoment kKillMoments[] = {{0, 0}, {3, 2}, {2, 2}, {0, 4}, {3, 5}, {2, 5}};

// The child's part of the kill test (run by KilledRunIsUndoneByTheNextStart
// as its own process): a run ended hard at the moment it is told, with no
// destructor and no rollback, as a killed setup ends.
TEST(EngineJournalChild, RunEndedHard) {
    char folder[MAX_PATH] = "", moment[16] = "";
    if (!GetEnvironmentVariableA("JOURNAL_TEST_DIR", folder, sizeof folder) ||
        !GetEnvironmentVariableA("JOURNAL_TEST_MOMENT", moment, sizeof moment))
        GTEST_SKIP() << "run by EngineJournal.KilledRunIsUndoneByTheNextStart";
    const KillMoment& at = kKillMoments[atoi(moment)];
    SetInstallTransactions(1);
    kit::Engine engine;
    engine.MakeGroupList(1);
    int file = -1;
    engine.answer = [&](int kind, void* data) {
        if (kind == 0)
            ++file;
        bool middle = kind != 3 || (*static_cast<int*>(data) > 0 && *static_cast<int*>(data) < 100);
        if (kind == at.kind && file == at.file && middle)
            TerminateProcess(GetCurrentProcess(), 9);
        return 2;
    };
    kit::install(engine, std::string(folder) + "\\vol", std::string(folder) + "\\Top\\App");
    ADD_FAILURE() << "the run was not ended";
}

// A setup killed at any of those moments leaves a journal; the next start
// on the folder undoes that run before anything else, so that a run which
// then ends at once leaves everything as before the killed one.
TEST_F(EngineJournal, KilledRunIsUndoneByTheNextStart) {
    save();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    SetEnvironmentVariableA("JOURNAL_TEST_DIR", dir.c_str());
    for (size_t i = 0; i < sizeof kKillMoments / sizeof kKillMoments[0]; ++i) {
        SCOPED_TRACE("moment " + std::to_string(i));
        makeEarlier();
        Listing before = snapshot();
        SetEnvironmentVariableA("JOURNAL_TEST_MOMENT", std::to_string(i).c_str());
        EXPECT_EQ(9, testenv::run(std::string("\"") + self +
                                  "\" --gtest_filter=EngineJournalChild.RunEndedHard"));
        EXPECT_TRUE(testenv::fileExists(app + "\\Install.jnl"));
        kit::Engine engine;
        engine.MakeGroupList(1);
        engine.answer = [](int kind, void*) { return kind == 0 ? 1 : 2; };
        kit::DialogGuard guard;
        EXPECT_EQ(1, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(guard.seen().empty());
        EXPECT_EQ("", kit::treeDifferences(before, snapshot()));
    }
    SetEnvironmentVariableA("JOURNAL_TEST_MOMENT", nullptr);
    SetEnvironmentVariableA("JOURNAL_TEST_DIR", nullptr);
}

// While a run holds its journal, a second start on the folder is refused and
// changes nothing.
TEST_F(EngineJournal, SecondSetupOnTheSameFolderIsRefused) {
    save();
    Listing before = snapshot();
    HANDLE journal = CreateFileA((app + "\\Install.jnl").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, journal);
    {
        kit::Engine engine;
        engine.MakeGroupList(1);
        ui::Script ui;
        ui.messageBox(nullptr, kCaption,
                      "Another Setup is installing into this folder.\nWait until it has finished, "
                      "then run Setup again.",
                      IDOK, MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        EXPECT_EQ(0, kit::install(engine, volumes, app).init);
        EXPECT_TRUE(ui.finish());
    }
    CloseHandle(journal);
    DeleteFileA((app + "\\Install.jnl").c_str());
    EXPECT_EQ("", kit::treeDifferences(before, snapshot()));
}

}  // namespace
