// The install engine on whole archives packed by setupvol: a multi-volume
// archive installed byte for byte with its times and Install.log, the file
// groups and the answers to the notifications, engines running on several
// threads at once, and the start of the archive (header checks, group count,
// protocol file, the system directory probe).
#include "Setup.h"

#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace {

const char kCaption[] = "Engine Test Setup";

struct Source {
    std::string subDir;  // below the installation directory
    std::string name;
    std::vector<unsigned char> bytes;
    uint64_t time;
};

// Writes the sources below `dir`\src and returns them in manifest order.
std::vector<Source> makeSources(const std::string& dir, size_t count) {
    std::vector<Source> out;
    CreateDirectoryA((dir + "\\src").c_str(), nullptr);
    for (size_t i = 0; i < count; ++i) {
        Source s;
        s.subDir = (i % 3 == 0) ? "" : (i % 3 == 1) ? "bin" : "data\\level" + std::to_string(i % 5);
        s.name = "file" + std::to_string(i) + ((i % 4 == 0) ? ".txt" : ".bin");
        // Sizes around the decompressor's 4096-byte blocks, some empty, a few
        // large enough to run over several volumes.
        size_t size = (i % 50 == 7) ? 90000 + i * 13 : (i * 977) % 9000;
        if (i % 37 == 0)
            size = 0;
        s.bytes = kit::content(static_cast<uint32_t>(i + 1), size);
        // Distinct times, two seconds apart, from 1 January 2000.
        s.time = 125911584000000000ull + uint64_t(i) * 20000000ull;
        std::string path = dir + "\\src\\" + s.name;
        EXPECT_TRUE(testenv::writeFile(path, s.bytes));
        EXPECT_TRUE(kit::setWriteTime(path, s.time));
        out.push_back(s);
    }
    return out;
}

kit::Manifest manifestFor(const std::vector<Source>& sources, int group = 1) {
    kit::Manifest m;
    for (const Source& s : sources)
        m.file("src\\" + s.name, "install", s.subDir, group);
    return m;
}

std::vector<unsigned char> readBytes(const std::string& path) { return testenv::readFile(path); }

// The diagnostic log's records, as a product's hook receives them, kept
// while a LogRecording lives.
struct Recorded {
    uint32_t size;
    int kind;
    int severity;
    std::string path, otherPath, text;
    uint32_t error;
};
std::mutex g_recordedLock;
std::vector<Recorded> g_recorded;

void CALLBACK recordLog(const SetupLogRecord* r) {
    std::lock_guard<std::mutex> hold(g_recordedLock);
    g_recorded.push_back({r->size, r->kind, r->severity, r->path, r->otherPath, r->text, r->error});
}

class LogRecording {
public:
    LogRecording() : previous_(SetLogHook(recordLog)) { g_recorded.clear(); }
    ~LogRecording() { SetLogHook(previous_); }
    // The records of `kind` so far.
    std::vector<Recorded> of(SetupLogKind kind) const {
        std::lock_guard<std::mutex> hold(g_recordedLock);
        std::vector<Recorded> found;
        for (const Recorded& r : g_recorded)
            if (r.kind == kind)
                found.push_back(r);
        return found;
    }

private:
    LogHook previous_;
};

// Patches 32 bits at `offset` of a volume. The set's check file no longer
// fits it and goes: the patched set is one without a check file.
void patch32(const std::string& path, long offset, uint32_t value) {
    std::vector<unsigned char> bytes = testenv::readFile(path);
    ASSERT_GE(bytes.size(), static_cast<size_t>(offset) + 4);
    memcpy(&bytes[offset], &value, 4);
    ASSERT_TRUE(testenv::writeFile(path, bytes));
    std::string check = path.substr(0, path.rfind('\\') + 1) + "Data.Chk";
    DeleteFileA(check.c_str());
}

int countVolumes(const std::string& dir) {
    int n = 0;
    while (testenv::fileExists(dir + "\\Data" + std::to_string(n + 1) + ".Dat"))
        ++n;
    return n;
}

class EngineInstall : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        app = dir + "\\App";
    }
    std::string dir, volumes, app;
};

TEST_F(EngineInstall, MultiVolumeArchiveInstallsByteForByteWithTimesAndProtocol) {
    std::vector<Source> sources = makeSources(dir, 300);
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes, "--volume-size 150000"));
    int volumeCount = countVolumes(volumes);
    ASSERT_GE(volumeCount, 4);

    kit::Engine engine;
    ASSERT_EQ(1, engine.MakeGroupList(1));
    kit::DialogGuard guard;
    kit::RunResult r = kit::install(engine, volumes, app);
    EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
    ASSERT_EQ(2, r.init);
    ASSERT_EQ(2, r.run);

    for (const Source& s : sources) {
        std::string path = app + (s.subDir.empty() ? "" : "\\" + s.subDir) + "\\" + s.name;
        ASSERT_TRUE(testenv::fileExists(path)) << path;
        EXPECT_TRUE(readBytes(path) == s.bytes) << path;
        EXPECT_EQ(s.time, kit::writeTime(path)) << path;
    }

    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_EQ(sources.size(), log.size());
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(sources[i].name, log[i].fileName) << i;
        EXPECT_EQ(sources[i].subDir, log[i].subDir) << i;
        EXPECT_EQ(TargetInstall, log[i].targetDir) << i;
        EXPECT_EQ(sources[i].time, kit::recordTime(log[i])) << i;
        EXPECT_EQ(sources[i].bytes.size(), log[i].expandedSize) << i;
    }
    // A file that continued into the next volume is logged with its first
    // record: continued set, and the chunk that stood in front of its data.
    size_t continued = 0;
    for (const tagCompressFileHeader& rec : log)
        continued += rec.continued != 0;
    EXPECT_GE(continued, 1u);

    // A volume notice per file from the loop and one per volume opened from
    // the reader, each naming the open volume; the last names the last
    // volume. Overall progress ends at 100.
    std::vector<kit::Notice> volumesSeen = engine.of(1);
    ASSERT_EQ(sources.size() + volumeCount, volumesSeen.size());
    EXPECT_EQ(volumes + "\\Data1.Dat", volumesSeen.front().text);
    EXPECT_EQ(volumes + "\\Data" + std::to_string(volumeCount) + ".Dat", volumesSeen.back().text);
    std::vector<kit::Notice> overall = engine.of(2);
    ASSERT_EQ(sources.size(), overall.size());
    EXPECT_EQ(100, overall.back().value);
    EXPECT_EQ(sources.size(), engine.of(0).size());
    // The protocol file is closed at the end: it can be opened exclusively.
    HANDLE h = CreateFileA((app + "\\Install.log").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
}

// Two engines installing on two threads at once, each started on the test's
// thread: the loop finds the run InitSFM started, with its set's check table,
// on the engine's own thread, and each engine keeps to its own run.
TEST_F(EngineInstall, TwoEnginesOnTwoThreadsEachInstallTheirOwnSet) {
    std::vector<Source> sources[2];
    std::vector<char> installDirs[2];
    kit::Engine engines[2];
    kit::DialogGuard guard;
    for (int t = 0; t < 2; ++t) {
        // One volume each: the reader looks for volumes in the process's
        // current directory, and opens a set's only one in InitSFM.
        std::string work = dir + "\\set" + std::to_string(t);
        ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
        sources[t] = makeSources(work, 40 + 15 * t);
        ASSERT_TRUE(kit::pack(manifestFor(sources[t]), work, work + "\\vol"));
        ASSERT_EQ(1, countVolumes(work + "\\vol"));
        ASSERT_TRUE(testenv::fileExists(work + "\\vol\\Data.Chk"));
        std::string target = app + std::to_string(t);
        installDirs[t].assign(target.begin(), target.end());
        installDirs[t].resize(260, '\0');
        kit::CurrentDir cd(work + "\\vol");
        ASSERT_EQ(2, engines[t].InitSFM(installDirs[t].data()));
    }
    // Both runs are under way before either installs its first file.
    std::atomic<int> started(0);
    int results[2] = {-1, -1};
    std::thread threads[2];
    for (int t = 0; t < 2; ++t) {
        engines[t].answer = [&started, first = true](int kind, void*) mutable {
            if (kind == 0 && first) {
                first = false;
                ++started;
                for (int wait = 0; started < 2 && wait < 5000; ++wait)
                    Sleep(1);
            }
            return 2;
        };
        threads[t] = std::thread(
            [&, t] { results[t] = engines[t].MakeSetupFileOperation(installDirs[t].data()); });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(2, results[t]);
        for (const Source& s : sources[t]) {
            std::string path = app + std::to_string(t) + (s.subDir.empty() ? "" : "\\" + s.subDir) +
                               "\\" + s.name;
            EXPECT_TRUE(readBytes(path) == s.bytes) << path;
        }
    }
}

TEST_F(EngineInstall, PerFileProgressReachesOneHundredAlsoForEmptyFiles) {
    std::vector<Source> sources = makeSources(dir, 2);  // file0 is empty
    sources[1].bytes = kit::content(9, 10000);
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + sources[1].name, sources[1].bytes));
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes));

    kit::Engine engine;
    engine.MakeGroupList(1);
    kit::DialogGuard guard;
    kit::RunResult r = kit::install(engine, volumes, app);
    ASSERT_EQ(2, r.run);
    EXPECT_TRUE(guard.seen().empty());

    // Per-file percentages in the order sent: the empty file's single final
    // block counts as done; the 10000-byte file goes 40, 81, 100.
    std::vector<int> perFile;
    for (const kit::Notice& n : engine.notices)
        if (n.kind == 3)
            perFile.push_back(n.value);
    EXPECT_EQ((std::vector<int>{100, 40, 81, 100}), perFile);
    EXPECT_EQ(2, engine.lastTransferStatus);  // the last answer to a block is kept
}

TEST_F(EngineInstall, DisabledGroupIsSkippedEvenWhenItsDataSpansVolumes) {
    std::vector<Source> sources = makeSources(dir, 8);
    // file1 is large and in group 2: with small volumes its data runs through
    // several of them, and the files after it must still be read correctly.
    sources[1].bytes = kit::content(77, 120000);
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + sources[1].name, sources[1].bytes));
    kit::Manifest m;
    m.line("groups 3");
    for (size_t i = 0; i < sources.size(); ++i)
        m.file("src\\" + sources[i].name, "install", sources[i].subDir,
               i == 1 || i == 5 ? 2 : (i == 6 ? 3 : 1));
    ASSERT_TRUE(kit::pack(m, dir, volumes, "--volume-size 30000"));
    ASSERT_GE(countVolumes(volumes), 4);

    kit::Engine engine;
    ASSERT_EQ(1, engine.MakeGroupList(3));
    ASSERT_EQ(1, engine.DesableGroup(2));
    kit::DialogGuard guard;
    kit::RunResult r = kit::install(engine, volumes, app);
    EXPECT_TRUE(guard.seen().empty());
    ASSERT_EQ(2, r.run);

    std::vector<std::string> logged;
    for (const auto& rec : kit::readLog(app + "\\Install.log"))
        logged.push_back(rec.fileName);
    EXPECT_EQ((std::vector<std::string>{"file0.txt", "file2.bin", "file3.bin", "file4.txt",
                                        "file6.bin", "file7.bin"}),
              logged);
    for (size_t i : {1, 5}) {
        std::string path = app + (sources[i].subDir.empty() ? "" : "\\" + sources[i].subDir) + "\\" +
                           sources[i].name;
        EXPECT_FALSE(testenv::fileExists(path)) << path;
    }
    EXPECT_TRUE(readBytes(app + "\\bin\\file7.bin") == sources[7].bytes);
    // No notification 0 for the skipped files; each notice carries the group
    // entry of its file (all enabled).
    std::vector<kit::Notice> before = engine.of(0);
    ASSERT_EQ(6u, before.size());
    for (const kit::Notice& n : before) {
        EXPECT_EQ(std::string::npos, n.text.find("file1.")) << n.text;
        EXPECT_EQ(std::string::npos, n.text.find("file5.")) << n.text;
        EXPECT_EQ(1, n.value);
    }
    EXPECT_EQ(app + "\\file0.txt", before[0].text);
    // Overall progress still counts every record, skipped or not.
    EXPECT_EQ(8u, engine.of(2).size());
}

TEST_F(EngineInstall, AnswersToTheNoticeBeforeAFile) {
    std::vector<Source> sources = makeSources(dir, 6);
    const int groups[] = {1, 1, 1, 2, 3, 2};
    kit::Manifest m;
    m.line("groups 3");
    for (size_t i = 0; i < sources.size(); ++i)
        m.file("src\\" + sources[i].name, "install", sources[i].subDir, groups[i]);
    ASSERT_TRUE(kit::pack(m, dir, volumes));

    // file1: skip (3). file3: the product disables group 2 and answers 4, so
    // it is still written. file4: the product disables its group 3 and answers
    // 2: skipped after its notice. file5 (group 2, disabled by now): skipped
    // without a notice.
    std::vector<kit::Notice> before;
    {
        kit::Engine engine;
        engine.MakeGroupList(3);
        engine.answer = [&](int kind, void* data) {
            if (kind != 0)
                return 2;
            std::string target = static_cast<const char*>(data);
            if (target.find("file1.") != std::string::npos)
                return 3;
            if (target.find("file3.") != std::string::npos) {
                engine.DesableGroup(2);
                return 4;
            }
            if (target.find("file4.") != std::string::npos)
                engine.DesableGroup(3);
            return 2;
        };
        kit::DialogGuard guard;
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(guard.seen().empty());
        ASSERT_EQ(2, r.run);
        before = engine.of(0);
    }
    std::vector<std::string> logged;
    for (const auto& rec : kit::readLog(app + "\\Install.log"))
        logged.push_back(rec.fileName);
    EXPECT_EQ((std::vector<std::string>{"file0.txt", "file2.bin", "file3.bin"}), logged);
    EXPECT_FALSE(testenv::fileExists(app + "\\bin\\file1.bin"));
    EXPECT_TRUE(testenv::fileExists(app + "\\file3.bin"));
    EXPECT_FALSE(testenv::fileExists(app + "\\bin\\file4.txt"));
    EXPECT_FALSE(testenv::fileExists(app + "\\data\\level0\\file5.bin"));
    ASSERT_EQ(5u, before.size());
    EXPECT_EQ(app + "\\bin\\file4.txt", before[4].text);
    EXPECT_EQ(1, before[4].value);  // the state when the notice was sent
}

TEST_F(EngineInstall, NoticeAnswersFailureAndBreakEndTheRun) {
    std::vector<Source> sources = makeSources(dir, 3);
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes));
    for (int answer : {0, 1}) {
        std::string target = app + std::to_string(answer);
        {
            kit::Engine engine;
            engine.MakeGroupList(1);
            engine.answer = [&](int kind, void* data) {
                return kind == 0 && strstr(static_cast<const char*>(data), "file1.") ? answer : 2;
            };
            kit::DialogGuard guard;
            kit::RunResult r = kit::install(engine, volumes, target);
            EXPECT_TRUE(guard.seen().empty());
            EXPECT_EQ(answer, r.run);
            EXPECT_EQ(2u, engine.of(0).size());
        }
        // The file before stays with its record; nothing after is touched.
        std::vector<tagCompressFileHeader> log = kit::readLog(target + "\\Install.log");
        ASSERT_EQ(1u, log.size());
        EXPECT_STREQ("file0.txt", log[0].fileName);
        EXPECT_FALSE(testenv::fileExists(target + "\\bin\\file1.bin"));
    }
}

// Files of several hundred kilobytes from small volumes: the engine reads
// its volumes in large blocks, so chunks end and volumes change inside one
// block read, and a run that stops early leaves the volume where the file's
// data begins, as a reader of single requests would.
TEST_F(EngineInstall, LargeReadsAcrossVolumeChangesAndWhereAStoppedRunLeavesTheVolume) {
    std::vector<Source> sources;
    CreateDirectoryA((dir + "\\src").c_str(), nullptr);
    const size_t sizes[] = {300000, 1, 70001, 250000, 4096, 65536, 131072, 0, 180000, 9};
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        Source s;
        s.subDir = i % 2 ? "big" : "";
        s.name = "large" + std::to_string(i) + ".bin";
        s.bytes = kit::content(static_cast<uint32_t>(500 + i), sizes[i]);
        s.time = 125911584000000000ull + uint64_t(i) * 20000000ull;
        std::string path = dir + "\\src\\" + s.name;
        ASSERT_TRUE(testenv::writeFile(path, s.bytes));
        ASSERT_TRUE(kit::setWriteTime(path, s.time));
        sources.push_back(s);
    }
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes, "--volume-size 40000"));
    int volumeCount = countVolumes(volumes);
    ASSERT_GE(volumeCount, 6);
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
        ASSERT_EQ(2, r.run);
        for (const Source& s : sources) {
            std::string path = app + (s.subDir.empty() ? "" : "\\" + s.subDir) + "\\" + s.name;
            EXPECT_TRUE(readBytes(path) == s.bytes) << path;
            EXPECT_EQ(s.time, kit::writeTime(path)) << path;
        }
        // Every volume opened once, in order: the notices of the reader are
        // the ones whose volume differs from the notice before.
        std::vector<std::string> opened;
        for (const kit::Notice& n : engine.of(1))
            if (opened.empty() || opened.back() != n.text)
                opened.push_back(n.text);
        ASSERT_EQ(static_cast<size_t>(volumeCount), opened.size());
        for (int v = 0; v < volumeCount; ++v)
            EXPECT_EQ(volumes + "\\Data" + std::to_string(v + 1) + ".Dat", opened[v]);
        EXPECT_EQ(sources.size() + volumeCount, engine.of(1).size());
    }

    // From one volume, stopped before large3.bin: its data is next in the
    // volume, although the engine has read beyond it, and the record after
    // it is the next one read.
    const std::string single = dir + "\\single";
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, single));
    kit::Engine engine;
    engine.answer = [](int kind, void* data) {
        return kind == 0 && strstr(static_cast<const char*>(data), "large3.") ? 1 : 2;
    };
    kit::DialogGuard guard;
    kit::RunResult r = kit::install(engine, single, app + "2");
    EXPECT_TRUE(guard.seen().empty());
    ASSERT_EQ(1, r.run);
    kit::CurrentDir cd(single);
    EXPECT_EQ(2, engine.Seek());
    tagCompressFileHeader next;
    unsigned int size = sizeof next;
    ASSERT_EQ(2, engine.Read(reinterpret_cast<unsigned char*>(&next), &size, ReadModeRecord));
    EXPECT_STREQ("large4.bin", next.fileName);
    EXPECT_EQ(sources[4].bytes.size(), next.expandedSize);
}

// A folder the run has made is removed while the run goes on (between two
// files): the next file for it makes it again.
TEST_F(EngineInstall, FolderRemovedDuringTheRunIsMadeAgain) {
    std::vector<Source> sources;
    CreateDirectoryA((dir + "\\src").c_str(), nullptr);
    for (size_t i = 0; i < 6; ++i) {
        Source s;
        s.subDir = i < 4 ? "deep\\er\\folder" : "deep\\other";
        s.name = "f" + std::to_string(i) + ".txt";
        s.bytes = kit::content(static_cast<uint32_t>(700 + i), 3000 + i);
        s.time = 125911584000000000ull;
        ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + s.name, s.bytes));
        ASSERT_TRUE(kit::setWriteTime(dir + "\\src\\" + s.name, s.time));
        sources.push_back(s);
    }
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes));
    const std::string folder = app + "\\deep\\er\\folder";
    auto removeFolder = [&](std::initializer_list<int> files) {
        for (int i : files)
            EXPECT_TRUE(DeleteFileA((folder + "\\f" + std::to_string(i) + ".txt").c_str()));
        EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
    };
    int done = 0;
    {
        kit::Engine engine;
        engine.answer = [&](int kind, void*) {
            if (kind != 2)
                return 2;
            ++done;
            if (done == 1) {
                // The folder and its parent go.
                removeFolder({0});
                EXPECT_TRUE(RemoveDirectoryA((app + "\\deep\\er").c_str()));
            } else if (done == 3) {
                // Files 1 and 2 went into the folder made again. Then a file
                // takes the folder's name: it is no folder any more.
                EXPECT_TRUE(readBytes(folder + "\\f1.txt") == sources[1].bytes);
                EXPECT_TRUE(readBytes(folder + "\\f2.txt") == sources[2].bytes);
                removeFolder({1, 2});
                EXPECT_TRUE(testenv::writeFile(folder, "not a folder"));
            }
            return 2;
        };
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Installation disk might be corrupted.\nInstallation aborted.",
                      IDOK);
        kit::DialogGuard guard(&ui, 1);
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(ui.finish());
        EXPECT_TRUE(guard.seen().empty());
        EXPECT_EQ(0, r.run);
    }
    // File 3 found a file in its folder's place and stopped the run, as it
    // would on a first run.
    EXPECT_EQ(3u, kit::readLog(app + "\\Install.log").size());
    EXPECT_EQ(3, done);
    EXPECT_FALSE(testenv::fileExists(folder + "\\f3.txt"));
}

TEST_F(EngineInstall, OverallProgressAndItsAnswers) {
    std::vector<Source> sources = makeSources(dir, 3);
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes));
    {
        kit::Engine engine;
        engine.MakeGroupList(1);
        kit::RunResult r = kit::install(engine, volumes, app);
        ASSERT_EQ(2, r.run);
        std::vector<int> percents;
        for (const kit::Notice& n : engine.of(2))
            percents.push_back(n.value);
        EXPECT_EQ((std::vector<int>{33, 66, 100}), percents);
    }
    for (int answer : {0, 1}) {
        std::string target = app + std::to_string(answer);
        {
            kit::Engine engine;
            engine.MakeGroupList(1);
            engine.answer = [&](int kind, void*) { return kind == 2 ? answer : 2; };
            kit::RunResult r = kit::install(engine, volumes, target);
            EXPECT_EQ(answer, r.run);
            EXPECT_EQ(1u, engine.of(2).size());
            // After an early end the protocol file stays open with the object.
            EXPECT_NE(INVALID_HANDLE_VALUE, engine.logFile);
        }
        EXPECT_EQ(1u, kit::readLog(target + "\\Install.log").size());
    }
}

TEST_F(EngineInstall, NoFilesAtAll) {
    std::vector<Source> sources = makeSources(dir, 1);
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes));
    patch32(volumes + "\\Data1.Dat", 8, 0);  // fileCount
    for (int reboot : {0, 1}) {
        std::string target = app + std::to_string(reboot);
        kit::Engine engine;
        engine.MakeGroupList(1);
        if (reboot)
            engine.SetRebootFlag();
        kit::RunResult r = kit::install(engine, volumes, target);
        EXPECT_EQ(2, r.init);
        EXPECT_EQ(reboot ? 3 : 2, r.run);
        // Only the reader's notice that it opened the volume; the loop sends nothing.
        ASSERT_EQ(1u, engine.notices.size());
        EXPECT_EQ(1, engine.notices[0].kind);
        EXPECT_TRUE(testenv::fileExists(target + "\\Install.log"));
        EXPECT_TRUE(testenv::readFile(target + "\\Install.log").empty());
        EXPECT_EQ(INVALID_HANDLE_VALUE, engine.logFile);
    }
}

TEST_F(EngineInstall, RecordOutsideTheGroupListAndRunWithoutAList) {
    std::vector<Source> sources = makeSources(dir, 3);
    kit::Manifest m;
    m.line("groups 5");
    m.file("src\\" + sources[0].name, "install", "", 1);
    m.file("src\\" + sources[1].name, "install", "", 5);
    m.file("src\\" + sources[2].name, "install", "", 2);
    ASSERT_TRUE(kit::pack(m, dir, volumes));

    {
        // The user accepted a list of 2 for an archive of 5 groups: group 5 is
        // not listed, so it was never disabled and its file is installed.
        kit::Engine engine;
        engine.MakeGroupList(2);
        engine.DesableGroup(2);
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Wrong groups number.\nDo you want to continue ?", IDOK,
                      MB_OKCANCEL);
        kit::RunResult r = kit::install(engine, volumes, app + "A");
        EXPECT_TRUE(ui.finish());
        ASSERT_EQ(2, r.run);
        std::vector<tagCompressFileHeader> log = kit::readLog(app + "A\\Install.log");
        ASSERT_EQ(2u, log.size());
        EXPECT_EQ(5, log[1].group);
        EXPECT_EQ(1, engine.of(0)[1].value);  // reported as enabled
        EXPECT_EQ(1, engine.GetGroupStatus(5));
        EXPECT_EQ(0, engine.EnableGroup(5));  // nothing to store outside the list
        EXPECT_EQ(2, engine.groupList[0]);
    }
    {
        // Without a list nothing is asked and every file is installed.
        kit::Engine engine;
        kit::DialogGuard guard;
        kit::RunResult r = kit::install(engine, volumes, app + "B");
        EXPECT_TRUE(guard.seen().empty());
        ASSERT_EQ(2, r.run);
        EXPECT_EQ(3u, kit::readLog(app + "B\\Install.log").size());
    }
}

// ---------------------------------------------------------------------------
// The group list itself.

TEST(EngineGroups, ListLifecycle) {
    kit::Engine engine;
    EXPECT_EQ(nullptr, engine.groupList);
    EXPECT_EQ(-1, engine.GetGroupStatus(1));
    EXPECT_EQ(-1, engine.EnableGroup(1));
    EXPECT_EQ(-1, engine.DesableGroup(1));

    ASSERT_EQ(1, engine.MakeGroupList(3));
    EXPECT_EQ(3, engine.groupList[0]);
    for (int g = 1; g <= 3; ++g)
        EXPECT_EQ(1, engine.GetGroupStatus(g));
    EXPECT_EQ(1, engine.DesableGroup(2));
    EXPECT_EQ(0, engine.GetGroupStatus(2));
    EXPECT_EQ(1, engine.EnableGroup(2));
    EXPECT_EQ(1, engine.GetGroupStatus(2));
    engine.DesableGroup(3);

    // A second list is not made: count and states stay.
    int* list = engine.groupList;
    EXPECT_EQ(1, engine.MakeGroupList(5));
    EXPECT_EQ(list, engine.groupList);
    EXPECT_EQ(3, engine.groupList[0]);
    EXPECT_EQ(0, engine.GetGroupStatus(3));
    EXPECT_EQ(0, engine.DesableGroup(4));
    EXPECT_EQ(0, engine.DesableGroup(0));

    kit::Engine other;
    EXPECT_EQ(0, other.MakeGroupList(-1));
    EXPECT_EQ(nullptr, other.groupList);
    EXPECT_EQ(1, other.MakeGroupList(0));
    EXPECT_EQ(0, other.groupList[0]);
}

TEST(EngineObject, FreshObjectAndRebootFlag) {
    kit::Engine engine;
    EXPECT_EQ(0, engine.rebootFlag);
    EXPECT_EQ(INVALID_HANDLE_VALUE, engine.logFile);
    EXPECT_EQ(INVALID_HANDLE_VALUE, engine.volumeFile);
    engine.SetRebootFlag();
    EXPECT_EQ(1, engine.rebootFlag);
    // The bare engine's own notification answers 2.
    SetupFileManager bare;
    int percent = 50;
    EXPECT_EQ(2, bare.TakeProcessInfo(2, &percent));
}

// ---------------------------------------------------------------------------
// Archive start.

TEST_F(EngineInstall, WrongFormatVersionStopsBeforeAnythingIsCreated) {
    std::vector<Source> sources = makeSources(dir, 1);
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes));
    patch32(volumes + "\\Data1.Dat", 16, 2);  // formatVersion
    kit::Engine engine;
    ui::Script ui;
    ui.messageBox(nullptr, kCaption, "Wrong version sources!", IDOK, MB_ICONSTOP);
    kit::RunResult r = kit::install(engine, volumes, app);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(0, r.init);
    EXPECT_FALSE(testenv::fileExists(app + "\\Install.log"));
    EXPECT_EQ(INVALID_HANDLE_VALUE, engine.logFile);
}

// A set of UTF-8 names on a Western system (this process: Windows-1252): a
// name the code page has installs under it; one it lacks stops the run
// before its file, with a message that names the path.
TEST_F(EngineInstall, NameTheCodePageLacksStopsTheRunBeforeItsFile) {
    ASSERT_EQ(1252u, GetACP());
    std::vector<Source> sources = makeSources(dir, 2);
    kit::Manifest m;
    m.line("names utf-8")
        .file("src\\" + sources[0].name, "install", "", 1, "name=Gr\xC3\xB6\xC3\x9F" "e.txt")
        .file("src\\" + sources[1].name, "install", "Docs", 1, "name=\xCE\xA9\xCE\xBC.txt");
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    kit::Engine engine;
    ui::Script ui;
    ui.messageBox(nullptr, kCaption,
                  app + "\\Docs\\<U+03A9><U+03BC>.txt cannot be installed: this system's code page lacks characters "
                        "of its name.\nInstallation aborted.",
                  IDOK, MB_ICONSTOP | MB_SETFOREGROUND);
    kit::RunResult r = kit::install(engine, volumes, app);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(StepFailure, r.run);
    EXPECT_TRUE(readBytes(app + "\\Gr\xF6\xDF" "e.txt") == sources[0].bytes);
    EXPECT_FALSE(testenv::dirExists(app + "\\Docs"));
    EXPECT_EQ(1u, engine.of(0).size());
}

TEST_F(EngineInstall, GroupCountMismatchAsksAndHonoursTheAnswer) {
    std::vector<Source> sources = makeSources(dir, 1);
    kit::Manifest m = manifestFor(sources);
    m.line("groups 4");
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    const char* text = "Wrong groups number.\nDo you want to continue ?";
    {
        kit::Engine engine;
        engine.MakeGroupList(3);
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, text, IDCANCEL, MB_OKCANCEL);
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, r.init);
        EXPECT_FALSE(testenv::fileExists(app + "\\Install.log"));
    }
    {
        kit::Engine engine;
        engine.MakeGroupList(3);
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, text, IDOK, MB_OKCANCEL);
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(2, r.init);
        EXPECT_EQ(2, r.run);
        EXPECT_EQ(1u, kit::readLog(app + "\\Install.log").size());
    }
    {
        // A list longer than the archive's groups is a mismatch as well.
        kit::Engine engine;
        engine.MakeGroupList(5);
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, text, IDCANCEL, MB_OKCANCEL);
        kit::RunResult r = kit::install(engine, volumes, app + "5");
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, r.init);
        EXPECT_FALSE(testenv::fileExists(app + "5\\Install.log"));
    }
    {
        // A matching list asks nothing.
        kit::Engine engine;
        engine.MakeGroupList(4);
        kit::DialogGuard guard;
        EXPECT_EQ(2, kit::install(engine, volumes, app + "2").run);
        EXPECT_TRUE(guard.seen().empty());
    }
}

TEST_F(EngineInstall, HeaderFieldsAndProtocolPlace) {
    std::vector<Source> sources = makeSources(dir, 2);
    kit::Manifest m = manifestFor(sources);
    m.line("shortcut-prefix 7");
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    patch32(volumes + "\\Data1.Dat", 4, 123456789);  // totalSize as the product sees it
    kit::Engine engine;
    kit::DialogGuard guard;
    std::string withSlash = app + "\\";
    std::vector<char> installDir(withSlash.begin(), withSlash.end());
    installDir.resize(260);
    kit::CurrentDir cd(volumes);
    ASSERT_EQ(2, engine.InitSFM(installDir.data()));
    EXPECT_EQ(123456789u, engine.GetSize());
    EXPECT_EQ(2u, engine.fileCount);
    EXPECT_EQ(7u, engine.shortcutPrefixLength);
    EXPECT_EQ(0, engine.systemDirReadOnly);
    // Given with a trailing backslash, the protocol file is still App\Install.log,
    // created at once and held exclusively while the run goes on.
    EXPECT_TRUE(testenv::fileExists(app + "\\Install.log"));
    HANDLE h = CreateFileA((app + "\\Install.log").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h);
    if (h != INVALID_HANDLE_VALUE)
        CloseHandle(h);
    // The probe of the system directory is gone again.
    EXPECT_FALSE(testenv::fileExists(kit::systemDir() + "\\qrv_proverka"));
    EXPECT_EQ(2, engine.MakeSetupFileOperation(installDir.data()));
    EXPECT_TRUE(guard.seen().empty());
}

TEST_F(EngineInstall, DirectoryOrProtocolFileThatCannotBeCreated) {
    std::vector<Source> sources = makeSources(dir, 1);
    ASSERT_TRUE(kit::pack(manifestFor(sources), dir, volumes));
    const char* text = "Cannot create destination file.\nInstallation aborted.";
    // The diagnostic log says which path and why, where the box cannot.
    LogRecording log;
    EXPECT_EQ(reinterpret_cast<LogHook>(recordLog), SetLogHook(recordLog));
    {
        // Below a file, no directory can be made.
        ASSERT_TRUE(testenv::writeFile(dir + "\\plain.txt", "x"));
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, text, IDOK, MB_ICONSTOP);
        kit::RunResult r = kit::install(engine, volumes, dir + "\\plain.txt\\App");
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, r.init);
        std::vector<Recorded> refused = log.of(LogFolderRefused);
        ASSERT_EQ(1u, refused.size());
        EXPECT_EQ(sizeof(SetupLogRecord), refused[0].size);
        EXPECT_EQ(LogError, refused[0].severity);
        EXPECT_EQ(dir + "\\plain.txt\\App", refused[0].path);
        EXPECT_NE(0u, refused[0].error);
        std::string line = "folder cannot be created: " + dir + "\\plain.txt\\App: error ";
        EXPECT_EQ(0u, refused[0].text.find(line)) << refused[0].text;
    }
    {
        // Install.log exists as a folder.
        ASSERT_TRUE(CreateDirectoryA(app.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((app + "\\Install.log").c_str(), nullptr));
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, text, IDOK, MB_ICONSTOP);
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, r.init);
        std::vector<Recorded> protocol = log.of(LogProtocolError);
        ASSERT_EQ(1u, protocol.size());
        EXPECT_EQ(app + "\\Install.log", protocol[0].path);
        EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), protocol[0].error);
    }
    {
        // A directory too long for "\Install.log" behind it.
        std::string deep = dir + "\\" + std::string(250 - dir.size(), 'd');
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, text, IDOK, MB_ICONSTOP);
        kit::RunResult r = kit::install(engine, volumes, deep);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, r.init);
        std::vector<Recorded> tooLong = log.of(LogPathTooLong);
        ASSERT_EQ(1u, tooLong.size());
        EXPECT_EQ(deep, tooLong[0].path);
        EXPECT_EQ("Install.log", tooLong[0].otherPath);
    }
    // None of the three runs started.
    EXPECT_TRUE(log.of(LogRunStarted).empty());
}

TEST(EngineProbe, WritableSystemDirectoryLeavesNoProbe) {
    kit::Engine engine;
    EXPECT_EQ(0, engine.IsSysReadOnly());
    EXPECT_FALSE(testenv::fileExists(kit::systemDir() + "\\qrv_proverka"));
}

}  // namespace
