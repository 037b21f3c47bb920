// Completing the exchange of files that were in use: after a run that ended
// with 3, completeExchanges() hands every TempName/RealName pair of
// QrvInit.Ini to Windows as a rename at its next start and takes it out of
// the rename file; a pair not in the engine's shape stays. Two setups run
// as separate processes before one restart each keep their pair. Wine performs the
// renames Windows keeps in PendingFileRenameOperations whenever wineboot
// starts the session again ("wineboot --restart"), which this test runs to
// see the new content in place and no qrv*.TMP left.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineKit.h"
#include "RestartKit.h"
#include "TestEnv.h"
#include "ExchangeCompleter.h"

namespace {

std::string renameFile() { return kit::windowsDir() + "\\QrvInit.Ini"; }

std::string profileValue(const std::string& key) {
    char value[520] = "";
    GetPrivateProfileStringA("", key.c_str(), "", value, sizeof value, renameFile().c_str());
    return value;
}

// The keys of the rename file's unnamed section.
std::vector<std::string> renameKeys() {
    char keys[4096] = {};
    DWORD n = GetPrivateProfileStringA("", nullptr, "", keys, sizeof keys, renameFile().c_str());
    std::vector<std::string> out;
    for (const char* k = keys; k < keys + n && *k; k += strlen(k) + 1)
        out.push_back(k);
    return out;
}

class Completer : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        app = dir + "\\App";
        DeleteFileA(renameFile().c_str());
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        kit::Manifest manifest;
        for (int i = 0; i < 3; ++i) {
            sources.push_back(kit::content(300 + i, 2000 + 3000 * i));
            ASSERT_TRUE(testenv::writeFile(dir + "\\src\\c" + std::to_string(i) + ".dll", sources[i]));
            manifest.file("src\\c" + std::to_string(i) + ".dll", "install", i == 2 ? "lib" : "", 1);
        }
        ASSERT_TRUE(kit::pack(manifest, dir, dir + "\\vol"));
        CreateDirectoryA(app.c_str(), nullptr);
        CreateDirectoryA((app + "\\lib").c_str(), nullptr);
    }
    void TearDown() override { DeleteFileA(renameFile().c_str()); }
    std::string target(int i) { return app + (i == 2 ? "\\lib" : "") + "\\c" + std::to_string(i) + ".dll"; }

    std::string dir, app;
    std::vector<std::vector<unsigned char>> sources;
};

TEST_F(Completer, PairsAreRegisteredTakenOutAndCarriedOutAtTheRestart) {
    kit::PendingRenamesKeeper keeper;
    const std::string old = "the old content, in use";
    ASSERT_TRUE(testenv::writeFile(target(0), old));
    ASSERT_TRUE(testenv::writeFile(target(2), old));
    // Someone else's pair, and one whose temporary file is gone.
    std::string foreign = app + "\\lib\\qrv9999.tmp";
    ASSERT_TRUE(testenv::writeFile(foreign, "not the engine's"));
    WritePrivateProfileStringA("", "TempName900", foreign.c_str(), renameFile().c_str());
    WritePrivateProfileStringA("", "RealName900", (kit::systemDir() + "\\kernel32.dll").c_str(), renameFile().c_str());
    WritePrivateProfileStringA("", "TempName901", (app + "\\qrvAAAA.tmp").c_str(), renameFile().c_str());
    WritePrivateProfileStringA("", "RealName901", (app + "\\gone.dll").c_str(), renameFile().c_str());
    {
        kit::Held zero(target(0)), two(target(2));
        ASSERT_TRUE(zero.ok() && two.ok());
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(3, kit::install(engine, dir + "\\vol", app).run);
        EXPECT_TRUE(guard.seen().empty());
    }
    std::vector<std::string> top = kit::temporaries(app), lib = kit::temporaries(app + "\\lib");
    ASSERT_EQ(1u, top.size());
    ASSERT_EQ(2u, lib.size());  // the engine's and the foreign one
    std::string libTemp = lib[0] == foreign ? lib[1] : lib[0];
    EXPECT_EQ(8u, renameKeys().size());

    ExchangeCompletion done = completeExchanges();
    EXPECT_EQ(2u, done.registered);
    EXPECT_EQ(1u, done.stale);
    EXPECT_EQ(1u, done.left);
    // Only the foreign pair is left in the rename file.
    EXPECT_EQ((std::vector<std::string>{"TempName900", "RealName900"}), renameKeys());
    EXPECT_EQ(foreign, profileValue("TempName900"));
    // Windows keeps each as "rename, replacing the target" for its next start.
    EXPECT_EQ("!\\??\\" + target(0), kit::pendingFor(top[0]));
    EXPECT_EQ("!\\??\\" + target(2), kit::pendingFor(libTemp));
    EXPECT_EQ("(none)", kit::pendingFor(foreign));
    // Nothing happens before the restart.
    EXPECT_TRUE(testenv::fileExists(top[0]));
    std::vector<unsigned char> before = testenv::readFile(target(0));
    EXPECT_EQ(old, std::string(before.begin(), before.end()));

    // A second call finds nothing more to do.
    ExchangeCompletion again = completeExchanges();
    EXPECT_EQ(0u, again.registered);
    EXPECT_EQ(1u, again.left);

    // Wine's restart of the session carries out the pending renames.
    EXPECT_EQ(0, testenv::run("wineboot.exe --restart"));
    EXPECT_TRUE(sources[0] == testenv::readFile(target(0)));
    EXPECT_TRUE(sources[1] == testenv::readFile(target(1)));
    EXPECT_TRUE(sources[2] == testenv::readFile(target(2)));
    EXPECT_TRUE(kit::temporaries(app).empty());
    EXPECT_EQ((std::vector<std::string>{foreign}), kit::temporaries(app + "\\lib"));
    EXPECT_EQ("(none)", kit::pendingFor(top[0]));
    DeleteFileA(foreign.c_str());
}

// Two setups before one restart (two products, or one product run twice),
// each a process of its own with a file in use: both pairs stay in the
// rename file, and the completer puts both files in place.
TEST_F(Completer, TwoSetupProcessesBeforeTheRestartEachKeepTheirPair) {
    kit::PendingRenamesKeeper keeper;
    const std::string apps[] = {dir + "\\First", dir + "\\Second"};
    std::vector<std::string> expected, pairs;  // "temporary -> real"
    for (const std::string& app : apps) {
        CreateDirectoryA(app.c_str(), nullptr);
        CreateDirectoryA((app + "\\lib").c_str(), nullptr);
        ASSERT_TRUE(testenv::writeFile(app + "\\c0.dll", "the old content, in use"));
        kit::Held held(app + "\\c0.dll");
        ASSERT_TRUE(held.ok());
        EXPECT_EQ(3, testenv::run("\"" + testenv::binPath("inuse_setup.exe") + "\" \"" + app + "\"", dir + "\\vol"));
        std::vector<std::string> temporary = kit::temporaries(app);
        ASSERT_EQ(1u, temporary.size()) << app;
        expected.push_back(temporary[0] + " -> " + app + "\\c0.dll");
    }
    for (const std::string& key : renameKeys())
        if (key.compare(0, 8, "TempName") == 0)
            pairs.push_back(profileValue(key) + " -> " + profileValue("RealName" + key.substr(8)));
    EXPECT_EQ(expected, pairs);
    EXPECT_EQ(2u, completeExchanges().registered);
    EXPECT_EQ(0, testenv::run("wineboot.exe --restart"));
    for (const std::string& app : apps)
        EXPECT_TRUE(sources[0] == testenv::readFile(app + "\\c0.dll")) << app;
}

TEST_F(Completer, NoRenameFileIsNothingToDo) {
    ExchangeCompletion done = completeExchanges();
    EXPECT_EQ(0u, done.registered + done.stale + done.left);
    EXPECT_FALSE(testenv::fileExists(renameFile()));
    // A rename file given by path, with a pair whose temporary file is there.
    std::string file = dir + "\\rename.ini";
    std::string temporary = app + "\\qrv12.tmp";
    ASSERT_TRUE(testenv::writeFile(temporary, "new"));
    WritePrivateProfileStringA("", "TempName1", temporary.c_str(), file.c_str());
    WritePrivateProfileStringA("", "RealName1", (app + "\\x.dll").c_str(), file.c_str());
    kit::PendingRenamesKeeper keeper;
    done = completeExchanges(file.c_str());
    EXPECT_EQ(1u, done.registered);
    EXPECT_EQ("!\\??\\" + app + "\\x.dll", kit::pendingFor(temporary));
}

}  // namespace
