// Files in use: a target that another program holds open is written under a
// temporary name beside it, the pair is recorded in QrvInit.Ini (or, when
// that cannot be written, as a [rename] line of wininit.ini that puts the
// temporary file in the target's place), Install.log gets a second record
// with the temporary name, and the run ends with 3.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "RestartKit.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace {

const char kCaption[] = "Engine Test Setup";

std::string renameFile() { return kit::windowsDir() + "\\QrvInit.Ini"; }

std::string profileValue(const std::string& key) {
    char value[520] = "";
    GetPrivateProfileStringA("", key.c_str(), "", value, sizeof value, renameFile().c_str());
    return value;
}

// What Windows does with wininit.ini's [rename] section at its next start,
// line by line: "NUL=<file>" deletes the file, "<target>=<source>" replaces
// the target by the source. Lines whose files are not ours are skipped.
void startWindowsAgain(const std::vector<std::string>& lines, const std::string& ours) {
    for (const std::string& line : lines) {
        size_t equals = line.find('=');
        std::string left = line.substr(0, equals), right = line.substr(equals + 1);
        if (left == "NUL") {
            if (right.rfind(ours, 0) == 0)
                DeleteFileA(right.c_str());
        } else if (left.rfind(ours, 0) == 0 && right.rfind(ours, 0) == 0) {
            MoveFileExA(right.c_str(), left.c_str(), MOVEFILE_REPLACE_EXISTING);
        }
    }
}

std::string shortPath(const std::string& path) {
    char out[MAX_PATH] = "";
    DWORD n = GetShortPathNameA(path.c_str(), out, MAX_PATH);
    return n && n < MAX_PATH ? out : "";
}

class EngineInUse : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        app = dir + "\\App";
        DeleteFileA(renameFile().c_str());
        wininit = testenv::readFile(kit::windowsDir() + "\\wininit.ini");
        hadWininit = testenv::fileExists(kit::windowsDir() + "\\wininit.ini");
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        for (int i = 0; i < 4; ++i) {
            sources.push_back(kit::content(100 + i, 3000 + 5000 * i));
            ASSERT_TRUE(testenv::writeFile(dir + "\\src\\f" + std::to_string(i) + ".dll", sources[i]));
            manifest.file("src\\f" + std::to_string(i) + ".dll", "install", i % 2 ? "lib" : "", 1);
        }
        ASSERT_TRUE(kit::pack(manifest, dir, volumes));
        CreateDirectoryA(app.c_str(), nullptr);
        CreateDirectoryA((app + "\\lib").c_str(), nullptr);
    }
    void TearDown() override {
        DeleteFileA(renameFile().c_str());
        std::string path = kit::windowsDir() + "\\wininit.ini";
        if (hadWininit)
            testenv::writeFile(path, wininit);
        else
            DeleteFileA(path.c_str());
    }
    std::string target(int i) {
        return app + (i % 2 ? "\\lib" : "") + "\\f" + std::to_string(i) + ".dll";
    }
    std::string dir, volumes, app;
    std::vector<std::vector<unsigned char>> sources;
    kit::Manifest manifest;
    std::vector<unsigned char> wininit;
    bool hadWininit = false;
};

TEST_F(EngineInUse, FreeTargetIsOpenedItself) {
    kit::Engine engine;
    char temporary[260] = "garbage";
    std::string path = app + "\\free.dll";
    ASSERT_TRUE(testenv::writeFile(path, "old content"));
    HANDLE h = engine.ExchFilePrepare(path.c_str(), temporary);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD done = 0;
    WriteFile(h, "new", 3, &done, nullptr);
    CloseHandle(h);
    EXPECT_STREQ("", temporary);
    EXPECT_EQ("new", std::string(reinterpret_cast<const char*>(testenv::readFile(path).data()), 3));
    EXPECT_EQ(3u, testenv::readFile(path).size());  // truncated, not overwritten in place
    EXPECT_EQ(0, engine.rebootFlag);
    EXPECT_FALSE(testenv::fileExists(renameFile()));
    EXPECT_TRUE(kit::temporaries(app).empty());
}

TEST_F(EngineInUse, HeldTargetsGoToTemporaryFilesRecordedForTheNextStart) {
    std::vector<unsigned char> oldBytes = kit::content(999, 1234);
    ASSERT_TRUE(testenv::writeFile(target(1), oldBytes));
    ASSERT_TRUE(testenv::writeFile(target(2), oldBytes));
    std::vector<kit::Notice> perFile;
    {
        kit::Held one(target(1)), two(target(2));
        ASSERT_TRUE(one.ok() && two.ok());
        kit::Engine engine;
        kit::DialogGuard guard;
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(guard.seen().empty());
        EXPECT_EQ(3, r.run);
        EXPECT_EQ(1, engine.rebootFlag);
    }
    // The held files are untouched; the new content waits beside each.
    EXPECT_TRUE(oldBytes == testenv::readFile(target(1)));
    EXPECT_TRUE(oldBytes == testenv::readFile(target(2)));
    std::vector<std::string> lib = kit::temporaries(app + "\\lib"), top = kit::temporaries(app);
    ASSERT_EQ(1u, lib.size());
    ASSERT_EQ(1u, top.size());
    EXPECT_TRUE(sources[1] == testenv::readFile(lib[0]));
    EXPECT_TRUE(sources[2] == testenv::readFile(top[0]));
    EXPECT_TRUE(sources[0] == testenv::readFile(target(0)));
    EXPECT_TRUE(sources[3] == testenv::readFile(target(3)));

    // One pair of names per exchange, numbered from 1 in a new rename file.
    EXPECT_EQ(lib[0], profileValue("TempName1"));
    EXPECT_EQ(target(1), profileValue("RealName1"));
    EXPECT_EQ(top[0], profileValue("TempName2"));
    EXPECT_EQ(target(2), profileValue("RealName2"));

    // Install.log: the temporary file's record follows its file's record at
    // once, with the temporary name over the start of fileName.
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_EQ(6u, log.size());
    const char* names[] = {"f0.dll", "f1.dll", nullptr, "f2.dll", nullptr, "f3.dll"};
    const std::string temps[] = {"", "", lib[0], "", top[0], ""};
    for (size_t i = 0; i < log.size(); ++i) {
        if (names[i]) {
            EXPECT_STREQ(names[i], log[i].fileName) << i;
            continue;
        }
        std::string tempName = temps[i].substr(temps[i].rfind('\\') + 1);
        EXPECT_STREQ(tempName.c_str(), log[i].fileName) << i;
        // Everything else as in the file's own record, also the bytes of the
        // old name after the new terminator.
        EXPECT_EQ(0, memcmp(&log[i - 1], &log[i], offsetof(tagCompressFileHeader, fileName))) << i;
        size_t after = tempName.size() + 1;
        EXPECT_EQ(0, memcmp(log[i - 1].fileName + after, log[i].fileName + after,
                            sizeof log[i].fileName - after))
            << i;
        EXPECT_EQ(kit::recordTime(log[i]), kit::writeTime(temps[i])) << i;
    }

    // A second object goes on after the pairs in the file, which stay.
    DeleteFileA((app + "\\Install.log").c_str());
    {
        kit::Held held(target(3));
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(3, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(guard.seen().empty());
    }
    std::vector<std::string> lib2 = kit::temporaries(app + "\\lib");
    ASSERT_EQ(2u, lib2.size());
    std::string newest = lib2[0] == lib[0] ? lib2[1] : lib2[0];
    EXPECT_EQ(newest, profileValue("TempName3"));
    EXPECT_EQ(target(3), profileValue("RealName3"));
    EXPECT_EQ(lib[0], profileValue("TempName1"));
    EXPECT_EQ(top[0], profileValue("TempName2"));
    EXPECT_EQ(4u + 1u, kit::readLog(app + "\\Install.log").size());
}

TEST_F(EngineInUse, UnwritableRenameFileFallsBackOnWininit) {
    // wininit.ini with lines of its own in [rename].
    std::string wininitPath = kit::windowsDir() + "\\wininit.ini";
    ASSERT_TRUE(testenv::writeFile(wininitPath,
                                   "[other]\r\nx=1\r\n[rename]\r\nNUL=C:\\OLD.TXT\r\nC:\\A.TXT=C:\\B.TXT\r\n"));
    ASSERT_TRUE(testenv::writeFile(renameFile(), "; locked\r\n"));
    ASSERT_TRUE(testenv::writeFile(target(2), "in use"));
    {
        kit::Immutable locked(renameFile());
        ASSERT_TRUE(locked.ok());
        kit::Held held(target(2));
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(3, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(guard.seen().empty());
    }
    EXPECT_EQ("; locked\r\n", std::string(reinterpret_cast<const char*>(testenv::readFile(renameFile()).data()),
                                          testenv::readFile(renameFile()).size()));

    std::vector<std::string> top = kit::temporaries(app);
    ASSERT_EQ(1u, top.size());
    EXPECT_TRUE(sources[2] == testenv::readFile(top[0]));
    EXPECT_EQ(5u, kit::readLog(app + "\\Install.log").size());

    // The line names the target, then the temporary file with its new
    // content, both in their short form: the scratch folder's long name
    // must not appear.
    std::string shortTarget = shortPath(target(2)), shortTemporary = shortPath(top[0]);
    ASSERT_NE("", shortTarget);
    ASSERT_NE("", shortTemporary);
    ASSERT_NE(target(2), shortTarget) << "the test wants a folder with a long name";
    char section[4096] = {};
    DWORD n = GetPrivateProfileSectionA("rename", section, sizeof section, "wininit.ini");
    std::vector<std::string> lines;
    for (const char* p = section; p < section + n && *p; p += strlen(p) + 1)
        lines.push_back(p);
    EXPECT_EQ((std::vector<std::string>{"NUL=C:\\OLD.TXT", "C:\\A.TXT=C:\\B.TXT",
                                        shortTarget + "=" + shortTemporary}),
              lines);
    char other[16] = "";
    GetPrivateProfileStringA("other", "x", "", other, sizeof other, "wininit.ini");
    EXPECT_STREQ("1", other);

    // At the next start the held file is free again: Windows carries out the
    // section, and the product has its new file, not a deleted one.
    startWindowsAgain(lines, shortPath(dir));
    EXPECT_TRUE(sources[2] == testenv::readFile(target(2)));
    EXPECT_TRUE(kit::temporaries(app).empty());
}

TEST_F(EngineInUse, NoRoomForATemporaryFileStopsTheRun) {
    ASSERT_TRUE(testenv::writeFile(target(1), "in use"));
    {
        kit::Held held(target(1));
        kit::Immutable locked(app + "\\lib");
        ASSERT_TRUE(locked.ok());
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Cannot create destination file.\nInstallation aborted.", IDOK,
                      MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        EXPECT_EQ(0, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(ui.finish());
        EXPECT_TRUE(guard.seen().empty());
        EXPECT_EQ(1, engine.rebootFlag);
    }
    EXPECT_TRUE(kit::temporaries(app + "\\lib").empty());
    // The file before it keeps its record.
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_EQ(1u, log.size());
    EXPECT_STREQ("f0.dll", log[0].fileName);
}

// wininit.ini refused as well: the exchange is recorded nowhere, so the run
// stops as when no temporary file can be made, and none is left behind.
TEST_F(EngineInUse, RefusedWininitStopsTheRunLikeAnyFailureToRecord) {
    std::string wininitPath = kit::windowsDir() + "\\wininit.ini";
    ASSERT_TRUE(testenv::writeFile(wininitPath, "[rename]\r\nNUL=C:\\OLD.TXT\r\n"));
    ASSERT_TRUE(testenv::writeFile(renameFile(), "; locked\r\n"));
    ASSERT_TRUE(testenv::writeFile(target(1), "in use"));
    {
        kit::Immutable lockedRenames(renameFile()), lockedWininit(wininitPath);
        ASSERT_TRUE(lockedRenames.ok() && lockedWininit.ok());
        kit::Held held(target(1));
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Cannot create destination file.\nInstallation aborted.", IDOK,
                      MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        EXPECT_EQ(0, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(ui.finish());
        EXPECT_TRUE(guard.seen().empty());
    }
    EXPECT_TRUE(kit::temporaries(app + "\\lib").empty());
    EXPECT_EQ(1u, kit::readLog(app + "\\Install.log").size());
}

// A held target whose new content cannot be expanded whole (its stream is
// damaged): the temporary file is deleted and its exchange taken back, so
// that the next start does not put the incomplete file in place of the good
// one. Recorded in QrvInit.Ini, then in wininit.ini.
TEST_F(EngineInUse, FailedExpansionTakesBackItsExchange) {
    // File 2's stream gets a dictionary code that is no dictionary.
    std::vector<unsigned char> volume = testenv::readFile(volumes + "\\Data1.Dat");
    size_t pos = 24;
    for (int i = 0; i < 2; ++i) {
        uint32_t chunk;
        memcpy(&chunk, &volume[pos + 12], 4);
        pos += 564 + chunk;
    }
    ASSERT_STREQ("f2.dll", reinterpret_cast<const char*>(&volume[pos + 304]));
    volume[pos + 564 + 1] = 9;
    ASSERT_TRUE(testenv::writeFile(volumes + "\\Data1.Dat", volume));

    std::string wininitPath = kit::windowsDir() + "\\wininit.ini";
    for (bool wininitOnly : {false, true}) {
        DeleteFileA((app + "\\Install.log").c_str());
        ASSERT_TRUE(testenv::writeFile(wininitPath, "[rename]\r\nNUL=C:\\OLD.TXT\r\n"));
        ASSERT_TRUE(testenv::writeFile(renameFile(), wininitOnly ? "; locked\r\n" : ""));
        ASSERT_TRUE(testenv::writeFile(target(2), "the good old one"));
        {
            std::unique_ptr<kit::Immutable> locked;
            if (wininitOnly) {
                locked.reset(new kit::Immutable(renameFile()));
                ASSERT_TRUE(locked->ok());
            }
            kit::Held held(target(2));
            ASSERT_TRUE(held.ok());
            kit::Engine engine;
            ui::Script ui;
            ui.messageBox(nullptr, kCaption,
                          "Installation disk might be corrupted.\nInstallation aborted.", IDOK);
            kit::DialogGuard guard(&ui, 1);
            EXPECT_EQ(0, kit::install(engine, volumes, app).run);
            EXPECT_TRUE(ui.finish());
            EXPECT_TRUE(guard.seen().empty());
        }
        EXPECT_TRUE(kit::temporaries(app).empty()) << wininitOnly;
        EXPECT_EQ("", profileValue("TempName1"));
        EXPECT_EQ("", profileValue("RealName1"));
        char section[4096] = {};
        DWORD n = GetPrivateProfileSectionA("rename", section, sizeof section, "wininit.ini");
        EXPECT_EQ(std::string("NUL=C:\\OLD.TXT"), std::string(section, n ? n - 1 : 0))
            << wininitOnly;
        std::vector<unsigned char> kept = testenv::readFile(target(2));
        EXPECT_EQ("the good old one", std::string(kept.begin(), kept.end()));
        // The files before it keep their records; no record names the temporary file.
        EXPECT_EQ(2u, kit::readLog(app + "\\Install.log").size());
    }
}

// A held target in a drive root gets its temporary file in that root, not
// in the drive's current directory.
TEST_F(EngineInUse, TemporaryFileOfADriveRootTargetIsInTheRoot) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::string drive(windows, 2);
    std::string rootTarget = drive + "\\speed_engine_root.dll";
    ASSERT_TRUE(testenv::writeFile(rootTarget, "held"));
    // The drive's current directory is elsewhere than its root.
    kit::CurrentDir cd(windows);
    char temporaryName[PathSize] = "";
    {
        kit::Held held(rootTarget);
        ASSERT_TRUE(held.ok());
        kit::Engine engine;
        HANDLE file = engine.ExchFilePrepare(rootTarget.c_str(), temporaryName);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        CloseHandle(file);
    }
    std::string name(temporaryName);
    EXPECT_EQ(drive + "\\qrv", name.substr(0, drive.size() + 4));
    EXPECT_EQ(std::string::npos, name.find('\\', drive.size() + 1)) << name;
    EXPECT_TRUE(testenv::fileExists(name)) << name;
    DeleteFileA(name.c_str());
    DeleteFileA(rootTarget.c_str());
}

}  // namespace
