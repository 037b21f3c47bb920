// Damaged archives and failing targets: a truncated volume, corrupt streams,
// an unknown targetDir, unterminated and over-long names, an empty volume and
// a target whose writes fail. Each stops the run with its message, leaves the
// files before it in place with their records, and never crashes.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace {

const char kCaption[] = "Engine Test Setup";
const char kCorrupt[] = "Installation disk might be corrupted.\nInstallation aborted.";

class EngineDamage : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        volumes = dir + "\\vol";
        app = dir + "\\App";
        sources.clear();
        records.clear();
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        kit::Manifest m;
        for (int i = 0; i < 4; ++i) {
            sources.push_back(kit::content(40 + i, 6000 + 7000 * i));
            std::string name = "d" + std::to_string(i) + ".dat";
            ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + name, sources[i]));
            m.file("src\\" + name, "install", "sub", 1);
        }
        ASSERT_TRUE(kit::pack(m, dir, volumes));
        volume = testenv::readFile(volumes + "\\Data1.Dat");
        // Where each file's record stands in the single volume.
        size_t pos = 24;
        for (int i = 0; i < 4; ++i) {
            ASSERT_LE(pos + 564, volume.size());
            records.push_back(pos);
            uint32_t chunk;
            memcpy(&chunk, &volume[pos + 12], 4);
            pos += 564 + chunk;
        }
        ASSERT_EQ(volume.size(), pos);
        // The cases below damage records on purpose to test the engine's own
        // rules, which hold for sets without a check file (those of other
        // tools, or earlier sets); the check file's cases put it back.
        checkFile = testenv::readFile(volumes + "\\Data.Chk");
        ASSERT_FALSE(checkFile.empty());
        ASSERT_TRUE(DeleteFileA((volumes + "\\Data.Chk").c_str()));
    }
    tagCompressFileHeader* record(int i) {
        return reinterpret_cast<tagCompressFileHeader*>(&volume[records[i]]);
    }
    size_t chunkStart(int i) { return records[i] + 564; }
    void save() { ASSERT_TRUE(testenv::writeFile(volumes + "\\Data1.Dat", volume)); }

    // Runs the engine expecting one message box with `text`, then checks that
    // exactly the first `installed` files are in place with their records.
    void expectStop(const std::string& text, int installed) {
        {
            kit::Engine engine;
            engine.MakeGroupList(1);
            ui::Script ui;
            ui.messageBox(nullptr, kCaption, text, IDOK, MB_ICONSTOP);
            kit::DialogGuard guard(&ui, 1);
            kit::RunResult r = kit::install(engine, volumes, app);
            EXPECT_TRUE(ui.finish());
            EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
            EXPECT_EQ(2, r.init);
            EXPECT_EQ(0, r.run);
        }
        std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
        ASSERT_EQ(static_cast<size_t>(installed), log.size());
        for (int i = 0; i < installed; ++i) {
            EXPECT_EQ("d" + std::to_string(i) + ".dat", std::string(log[i].fileName));
            EXPECT_TRUE(sources[i] == testenv::readFile(app + "\\sub\\" + log[i].fileName)) << i;
        }
    }
    // Runs the set in `set` expecting 11113 and the files `logged` listed.
    void expectCheckStop(const std::string& set, const std::vector<std::string>& logged) {
        testenv::removeTree(app);
        {
            kit::Engine engine;
            ui::Script ui;
            ui.messageBox(nullptr, kCaption, kCorrupt, IDOK, MB_ICONSTOP);
            kit::DialogGuard guard(&ui, 1);
            kit::RunResult r = kit::install(engine, set, app);
            EXPECT_TRUE(ui.finish());
            EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
            EXPECT_EQ(2, r.init);
            EXPECT_EQ(0, r.run);
        }
        std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
        ASSERT_EQ(logged.size(), log.size());
        for (size_t i = 0; i < logged.size(); ++i)
            EXPECT_EQ(logged[i], log[i].fileName);
    }
    std::string dir, volumes, app;
    std::vector<std::vector<unsigned char>> sources;
    std::vector<unsigned char> volume;
    std::vector<unsigned char> checkFile;
    std::vector<size_t> records;
};

TEST_F(EngineDamage, VolumeCutInTheMiddleOfAFilesData) {
    volume.resize(chunkStart(2) + 100);
    save();
    expectStop(kCorrupt, 2);
}

TEST_F(EngineDamage, VolumeCutInTheMiddleOfARecord) {
    volume.resize(records[3] + 200);
    save();
    expectStop(kCorrupt, 3);
}

TEST_F(EngineDamage, CorruptStreamHeaders) {
    volume[chunkStart(1)] = 7;  // literal mode other than 0 and 1
    save();
    expectStop(kCorrupt, 1);

    SetUp();
    volume[chunkStart(2) + 1] = 9;  // dictionary size code other than 4, 5, 6
    save();
    expectStop(kCorrupt, 2);
}

// Bytes after a stream's end code belong to the file's chunk and are
// skipped: the next record is read where it stands. Only data that runs
// short of the stream is damage.
TEST_F(EngineDamage, BytesAfterTheEndCodeAreSkippedDataRunningShortIsNot) {
    // Padding within one read-ahead block, and padding longer than a block.
    for (size_t padding : {3000u, 150000u}) {
        SetUp();
        uint32_t chunk = record(1)->chunkSize;
        std::vector<unsigned char> padded(volume.begin(), volume.begin() + chunkStart(1) + chunk);
        padded.insert(padded.end(), padding, 0x55);
        padded.insert(padded.end(), volume.begin() + chunkStart(1) + chunk, volume.end());
        volume = padded;
        record(1)->chunkSize = chunk + static_cast<uint32_t>(padding);
        save();
        {
            kit::Engine engine;
            kit::DialogGuard guard;
            kit::RunResult r = kit::install(engine, volumes, app);
            EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
            EXPECT_EQ(2, r.run) << padding;
        }
        std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
        ASSERT_EQ(4u, log.size()) << padding;
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(sources[i] == testenv::readFile(app + "\\sub\\" + log[i].fileName)) << i;
        EXPECT_EQ(kit::recordTime(log[1]), kit::writeTime(app + "\\sub\\d1.dat"));
        DeleteFileA((app + "\\Install.log").c_str());
    }

    // The record claims less than the stream: its end code is never reached.
    SetUp();
    uint32_t chunk = record(1)->chunkSize;
    volume.erase(volume.begin() + chunkStart(1) + chunk - 40, volume.begin() + chunkStart(1) + chunk);
    record(1)->chunkSize = chunk - 40;
    save();
    expectStop(kCorrupt, 1);
}

TEST_F(EngineDamage, UnknownTargetDirectory) {
    record(2)->targetDir = 8;
    save();
    expectStop(kCorrupt, 2);
    EXPECT_FALSE(testenv::fileExists(app + "\\sub\\d2.dat"));
}

TEST_F(EngineDamage, NamesThatDoNotFit) {
    memset(record(1)->fileName, 'x', sizeof record(1)->fileName);  // no terminator
    save();
    expectStop(kCorrupt, 1);

    // A terminated name that makes the target path longer than 259 characters.
    SetUp();
    std::string longDir(255 - app.size(), 'd');
    memset(record(2)->subDir, 0, sizeof record(2)->subDir);
    memcpy(record(2)->subDir, longDir.c_str(), longDir.size());
    save();
    expectStop(kCorrupt, 2);

    SetUp();
    memset(record(0)->subDir, 'y', sizeof record(0)->subDir);  // no terminator
    save();
    expectStop(kCorrupt, 0);
}

// Names that would climb out of the target or vanish into a device stop the
// run before anything is made for them; Install.log lists only what was
// installed.
TEST_F(EngineDamage, NamesThatLeaveTheTargetOrNameADevice) {
    auto setName = [this](int i, const char* subDir, const char* fileName) {
        memset(record(i)->subDir, 0, sizeof record(i)->subDir);
        strcpy(record(i)->subDir, subDir);
        memset(record(i)->fileName, 0, sizeof record(i)->fileName);
        strcpy(record(i)->fileName, fileName);
    };
    const struct {
        const char* subDir;
        const char* fileName;
    } cases[] = {{"sub", "..\\..\\evil5.txt"}, {"..\\..\\outside", "f05.txt"},
                 {"sub", "../../evil6.txt"},     {"sub\\..\\..\\..", "f06.txt"},
                 {"sub", ".. "},                 {"sub", "NUL"},
                 {"sub", "aux.txt"},             {"sub", "nul.txt"},
                 {"sub", "CON"},                 {"COM1", "d.txt"},
                 {"sub\\lpt9.", "d.txt"}};
    for (const auto& c : cases) {
        SetUp();
        setName(2, c.subDir, c.fileName);
        save();
        SCOPED_TRACE(std::string(c.subDir) + " | " + c.fileName);
        expectStop(kCorrupt, 2);
        // Nothing outside the target, no folder made for the refused file.
        EXPECT_FALSE(testenv::fileExists(dir + "\\evil5.txt"));
        EXPECT_FALSE(testenv::fileExists(dir + "\\evil6.txt"));
        EXPECT_FALSE(testenv::dirExists(dir + "\\outside"));
        EXPECT_FALSE(testenv::fileExists(dir + "\\f06.txt"));
        EXPECT_FALSE(testenv::dirExists(app + "\\COM1"));
        EXPECT_FALSE(testenv::fileExists(app + "\\sub\\d2.dat"));
        EXPECT_FALSE(testenv::fileExists(app + "\\sub\\d3.dat"));
    }
    // targetDir 3 still names an absolute folder.
    SetUp();
    record(1)->targetDir = TargetNone;
    std::string elsewhere = dir + "\\elsewhere";
    setName(1, elsewhere.c_str(), "d1.dat");
    save();
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(2, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(guard.seen().empty());
    }
    EXPECT_TRUE(sources[1] == testenv::readFile(elsewhere + "\\d1.dat"));
}

// Host side of a drive of one 4 KiB page: a tmpfs mounted in the build tree
// and mapped as a Wine drive letter, removed again with the guard.
class SmallDrive {
public:
    explicit SmallDrive(const std::string& scratch) {
        // The prefix holds dosdevices (C: is dosdevices/c:, or drive_c).
        std::string c = kit::unixPath("C:\\");
        while (!c.empty() && c.back() == '/')
            c.pop_back();
        size_t at = c.rfind("/dosdevices/");
        std::string prefix = at != std::string::npos ? c.substr(0, at) : c.substr(0, c.rfind('/'));
        DWORD used = GetLogicalDrives();
        for (char d = 'S'; d <= 'Y' && !letter; ++d)
            if (!(used & (1u << (d - 'A'))))
                letter = d;
        if (prefix.empty() || !letter)
            return;
        mountPoint = kit::unixPath(scratch) + "/smalldrive";
        link = prefix + "/dosdevices/" + static_cast<char>(letter - 'A' + 'a') + ":";
        kit::hostCommand("mkdir -p '" + mountPoint + "' && mount -t tmpfs -o size=4k tmpfs '" +
                         mountPoint + "' && touch '" + mountPoint + "/mounted' && ln -sfn '" +
                         mountPoint + "' '" + link + "'");
        root = std::string(1, letter) + ":";
        ready = testenv::fileExists(root + "\\mounted");
        if (!ready)
            why = "no " + root + "\\mounted after mounting " + mountPoint + " as " + link;
    }
    ~SmallDrive() {
        if (!mountPoint.empty())
            kit::hostCommand("rm -f '" + link + "'; umount '" + mountPoint + "'");
    }
    bool ready = false;
    std::string root, why;

private:
    char letter = 0;
    std::string mountPoint, link;
};

// A full disk tears no record: Install.log on a drive of one page fills up
// in the middle of its eighth record, and is cut back to seven whole ones.
TEST_F(EngineDamage, FullDiskLeavesWholeProtocolRecords) {
    // Ten small files installed outside the drive (targetDir 3), so that only
    // Install.log grows on it.
    kit::Manifest m;
    for (int i = 0; i < 10; ++i) {
        std::string name = "s" + std::to_string(i) + ".txt";
        ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + name, "small file " + std::to_string(i)));
        m.file("src\\" + name, "install", "", 1);
    }
    std::string small = dir + "\\smallvol";
    ASSERT_TRUE(kit::pack(m, dir, small));
    std::vector<unsigned char> vol = testenv::readFile(small + "\\Data1.Dat");
    std::string out = dir + "\\out";
    for (size_t pos = 24; pos + 564 <= vol.size();) {
        tagCompressFileHeader* r = reinterpret_cast<tagCompressFileHeader*>(&vol[pos]);
        r->targetDir = TargetNone;
        memset(r->subDir, 0, sizeof r->subDir);
        strcpy(r->subDir, out.c_str());
        pos += 564 + r->chunkSize;
    }
    ASSERT_TRUE(testenv::writeFile(small + "\\Data1.Dat", vol));
    DeleteFileA((small + "\\Data.Chk").c_str());

    SmallDrive drive(dir);
    if (!drive.ready)
        GTEST_SKIP() << "cannot mount a 4 KiB tmpfs as a Wine drive (mount needs root): " << drive.why;
    DeleteFileA((drive.root + "\\mounted").c_str());
    std::string target = drive.root + "\\App";
    {
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Error writing protocol file.", IDOK, MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        kit::RunResult r = kit::install(engine, small, target);
        EXPECT_TRUE(ui.finish());
        EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
        EXPECT_EQ(2, r.init);
        EXPECT_EQ(0, r.run);
    }
    std::vector<unsigned char> log = testenv::readFile(target + "\\Install.log");
    EXPECT_EQ(7u * 564, log.size());
    std::vector<tagCompressFileHeader> records = kit::readLog(target + "\\Install.log");
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ("s" + std::to_string(i) + ".txt", std::string(records[i].fileName));
}

// ---------------------------------------------------------------------------
// The per-file check (Data.Chk).

// A bit flipped among the literals of an incompressible file still decodes,
// to wrong bytes: without the check file the run ends "successfully", with it
// the file is caught, deleted and the run stopped.
TEST_F(EngineDamage, CheckFileCatchesDataThatStillDecodes) {
    kit::Manifest m;
    std::vector<std::vector<unsigned char>> data;
    for (int i = 0; i < 3; ++i) {
        std::vector<unsigned char> bytes = kit::content(70 + i, 9000);
        uint32_t x = 12345;
        if (i == 1)  // noise: literals all the way
            for (unsigned char& b : bytes) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                b = static_cast<unsigned char>(x);
            }
        data.push_back(bytes);
        std::string name = "c" + std::to_string(i) + ".bin";
        ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + name, bytes));
        m.file("src\\" + name, "install", "", 1);
    }
    std::string set = dir + "\\checked";
    ASSERT_TRUE(kit::pack(m, dir, set));
    std::vector<unsigned char> clean = testenv::readFile(set + "\\Data1.Dat");
    std::vector<unsigned char> check = testenv::readFile(set + "\\Data.Chk");
    ASSERT_FALSE(check.empty());
    size_t second = 24 + 564 + reinterpret_cast<tagCompressFileHeader*>(&clean[24])->chunkSize;
    uint32_t chunk = reinterpret_cast<tagCompressFileHeader*>(&clean[second])->chunkSize;

    // Find a flip that decodes without the check: a literal's bit.
    std::string plain = dir + "\\plain";
    bool silent = false;
    std::vector<unsigned char> flipped;
    for (size_t at = second + 564 + chunk / 2; at < second + 564 + chunk / 2 + 8 && !silent; ++at) {
        flipped = clean;
        flipped[at] ^= 0x10;
        ASSERT_TRUE(testenv::writeFile(set + "\\Data1.Dat", flipped));
        DeleteFileA((set + "\\Data.Chk").c_str());
        testenv::removeTree(plain);
        kit::Engine engine;
        kit::DialogGuard guard;
        kit::RunResult r = kit::install(engine, set, plain);
        silent = r.run == 2 && guard.seen().empty() &&
                 testenv::readFile(plain + "\\c1.bin") != data[1];
    }
    ASSERT_TRUE(silent) << "no flip decoded silently; the case proves nothing";
    // Without the check file: as before, all three listed.
    EXPECT_EQ(3u, kit::readLog(plain + "\\Install.log").size());

    ASSERT_TRUE(testenv::writeFile(set + "\\Data.Chk", check));
    expectCheckStop(set, {"c0.bin"});
    EXPECT_FALSE(testenv::fileExists(app + "\\c1.bin"));
    EXPECT_FALSE(testenv::fileExists(app + "\\c2.bin"));
    EXPECT_TRUE(data[0] == testenv::readFile(app + "\\c0.bin"));

    // The clean set with its check file installs every file.
    ASSERT_TRUE(testenv::writeFile(set + "\\Data1.Dat", clean));
    testenv::removeTree(app);
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(2, kit::install(engine, set, app).run);
        EXPECT_TRUE(guard.seen().empty());
    }
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(data[i] == testenv::readFile(app + "\\c" + std::to_string(i) + ".bin")) << i;
}

// A record that differs from the one packed (a name changed by damage) is
// caught before anything is made for it.
TEST_F(EngineDamage, CheckFileCatchesDamagedRecords) {
    ASSERT_TRUE(testenv::writeFile(volumes + "\\Data.Chk", checkFile));
    record(2)->fileName[1] = '7';  // d2.dat becomes d7.dat
    save();
    expectStop(kCorrupt, 2);
    EXPECT_FALSE(testenv::fileExists(app + "\\sub\\d7.dat"));

    // Any field counts: a changed version is damage too.
    SetUp();
    ASSERT_TRUE(testenv::writeFile(volumes + "\\Data.Chk", checkFile));
    record(1)->version[3] = 99;
    save();
    expectStop(kCorrupt, 1);
}

// A check file that is damaged, or belongs to another set, stops the run at
// the start: no Install.log, nothing installed.
TEST_F(EngineDamage, CheckFileOfAnotherSetOrDamaged) {
    std::vector<std::vector<unsigned char>> bad;
    bad.push_back(checkFile);
    bad.back()[20] ^= 1;  // its own checksum fails
    bad.push_back(checkFile);
    bad.back().resize(bad.back().size() - 12);  // one file missing
    bad.push_back(std::vector<unsigned char>());
    for (size_t i = 0; i < bad.size(); ++i) {
        ASSERT_TRUE(testenv::writeFile(volumes + "\\Data.Chk", bad[i]));
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, kCorrupt, IDOK, MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        EXPECT_EQ(0, kit::install(engine, volumes, app).init) << i;
        EXPECT_TRUE(ui.finish());
        EXPECT_FALSE(testenv::fileExists(app + "\\Install.log")) << i;
    }
    // Another set's: the archive header differs (its total size).
    ASSERT_TRUE(testenv::writeFile(volumes + "\\Data.Chk", checkFile));
    volume[4] ^= 1;
    save();
    {
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, kCorrupt, IDOK, MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        EXPECT_EQ(0, kit::install(engine, volumes, app).init);
        EXPECT_TRUE(ui.finish());
    }
    EXPECT_FALSE(testenv::fileExists(app + "\\sub\\d0.dat"));
}

TEST_F(EngineDamage, EmptyFirstVolume) {
    ASSERT_TRUE(testenv::writeFile(volumes + "\\Data1.Dat", std::vector<unsigned char>()));
    kit::Engine engine;
    ui::Script ui;
    ui.messageBox(nullptr, kCaption, kCorrupt, IDOK, MB_ICONSTOP);
    kit::DialogGuard guard(&ui, 1);
    EXPECT_EQ(0, kit::install(engine, volumes, app).init);
    EXPECT_TRUE(ui.finish());
    EXPECT_TRUE(guard.seen().empty());
    EXPECT_FALSE(testenv::fileExists(app + "\\Install.log"));
}

// The background window: counts the exit commands it receives.
int exitCommands = 0;
LRESULT CALLBACK backgroundProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && LOWORD(wp) == 11101 && lp == 0)
        ++exitCommands;
    return DefWindowProcA(w, msg, wp, lp);
}

TEST_F(EngineDamage, FailingWritesAreReportedOnceAndEndTheRun) {
    // File 1 goes to a device that accepts the file but no byte of it
    // (Wine maps the host's /dev/full to Z:\dev\full), and is large enough
    // for several blocks.
    ASSERT_GT(record(1)->expandedSize, 3u * 4096);
    record(1)->targetDir = TargetNone;
    memset(record(1)->subDir, 0, sizeof record(1)->subDir);
    strcpy(record(1)->subDir, "Z:\\dev");
    memset(record(1)->fileName, 0, sizeof record(1)->fileName);
    strcpy(record(1)->fileName, "full");
    save();

    WNDCLASSA wc = {};
    wc.lpfnWndProc = backgroundProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "EngineDamageBackground";
    RegisterClassA(&wc);
    HWND background = CreateWindowA("EngineDamageBackground", "background", WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr, wc.hInstance, nullptr);
    HWND progress = CreateWindowA("STATIC", "progress", WS_POPUP, 0, 0, 10, 10, background, nullptr,
                                  wc.hInstance, nullptr);
    ASSERT_TRUE(background && progress);
    exitCommands = 0;
    {
        kit::Engine engine;
        engine.SetParentForMessage(progress);
        ui::Script ui;
        ui.messageBox(progress, kCaption, "Error writing destination file.\nInstallation aborted.", IDOK,
                      MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, r.run);
        Sleep(300);  // room for a second message, which must not come
        EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
        EXPECT_EQ(INVALID_HANDLE_VALUE, engine.currentFile);
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    // A bare engine driven from the product's own windows sends them nothing
    // (only Setup's run closes its background window).
    EXPECT_EQ(0, exitCommands);
    DestroyWindow(progress);
    DestroyWindow(background);

    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_EQ(1u, log.size());
    EXPECT_STREQ("d0.dat", log[0].fileName);
    EXPECT_FALSE(testenv::fileExists(app + "\\sub\\d2.dat"));
}

// A file much larger than the engine's write buffer goes to a device that
// takes no byte: the write fails when the full buffer is written out, in the
// middle of the file, and is reported once like any failed write.
TEST_F(EngineDamage, WriteFailingWhenALargeBufferIsWrittenOut) {
    kit::Manifest m;
    std::vector<unsigned char> big = kit::content(77, 400000);
    ASSERT_TRUE(testenv::writeFile(dir + "\\src\\big.dat", big));
    m.file("src\\d0.dat", "install", "sub", 1);
    m.file("src\\big.dat", "install", "sub", 1);
    m.file("src\\d1.dat", "install", "sub", 1);
    ASSERT_TRUE(kit::pack(m, dir, volumes));
    // The record is patched below: without the check file the engine's own
    // rules decide.
    ASSERT_TRUE(DeleteFileA((volumes + "\\Data.Chk").c_str()));
    volume = testenv::readFile(volumes + "\\Data1.Dat");
    size_t second = 24 + 564 + reinterpret_cast<tagCompressFileHeader*>(&volume[24])->chunkSize;
    tagCompressFileHeader* rec = reinterpret_cast<tagCompressFileHeader*>(&volume[second]);
    ASSERT_STREQ("big.dat", rec->fileName);
    rec->targetDir = TargetNone;
    memset(rec->subDir, 0, sizeof rec->subDir);
    strcpy(rec->subDir, "Z:\\dev");
    memset(rec->fileName, 0, sizeof rec->fileName);
    strcpy(rec->fileName, "full");
    save();
    {
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Error writing destination file.\nInstallation aborted.", IDOK);
        kit::DialogGuard guard(&ui, 1);
        kit::RunResult r = kit::install(engine, volumes, app);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, r.run);
        Sleep(300);  // room for a second message, which must not come
        EXPECT_TRUE(guard.seen().empty()) << guard.seen()[0];
        EXPECT_EQ(INVALID_HANDLE_VALUE, engine.currentFile);
        // The percentages stop short of the whole file: the expansion ended
        // with the failed write.
        std::vector<kit::Notice> percents = engine.of(3);
        ASSERT_FALSE(percents.empty());
        EXPECT_LT(percents.back().value, 100);
    }
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_EQ(1u, log.size());
    EXPECT_STREQ("d0.dat", log[0].fileName);
    EXPECT_FALSE(testenv::fileExists(app + "\\sub\\d1.dat"));
}

}  // namespace

namespace {

TEST_F(EngineDamage, ReadOnlyTargetsAreMadeWritable) {
    CreateDirectoryA(app.c_str(), nullptr);
    CreateDirectoryA((app + "\\sub").c_str(), nullptr);
    std::string path = app + "\\sub\\d1.dat";
    ASSERT_TRUE(testenv::writeFile(path, "old and protected"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        kit::Engine engine;
        kit::DialogGuard guard;
        EXPECT_EQ(2, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(guard.seen().empty());
    }
    EXPECT_TRUE(sources[1] == testenv::readFile(path));
    EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);

    // A read-only file whose attribute cannot be taken away stops the run.
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    {
        kit::Immutable frozen(path);
        ASSERT_TRUE(frozen.ok());
        kit::Engine engine;
        ui::Script ui;
        ui.messageBox(nullptr, kCaption, "Error writing destination file.\nInstallation aborted.", IDOK,
                      MB_ICONSTOP);
        kit::DialogGuard guard(&ui, 1);
        EXPECT_EQ(0, kit::install(engine, volumes, app).run);
        EXPECT_TRUE(ui.finish());
        EXPECT_TRUE(guard.seen().empty());
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(sources[1] == testenv::readFile(path));  // untouched by the second run
}

}  // namespace
