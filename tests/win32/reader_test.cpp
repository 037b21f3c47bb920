// The volume reader on real volume files made by setupvol: records and data
// read back exactly across volumes split at awkward points, the volume
// search in the current directory, the Disk%d siblings, a drive root and
// folders the user points to, and the questions on the way.
#include "Setup.h"

#include <winioctl.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "UiAuto.h"
#include "resource.h"

namespace {

using Bytes = std::vector<unsigned char>;

const char kCaption[] = "Product Setup";
const char kCorrupted[] = "Installation disk might be corrupted.\nInstallation aborted.";
const char kWrongDisk[] = "Installation disk might be corrupted.\nInstallation aborted";
const char kExitQuestion[] =
    "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?";
const char kMissingFolder[] = "This directory does not exist!";
const unsigned kRecord = 564;

Bytes pseudoRandom(size_t n, unsigned seed) {
    std::mt19937 g(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<unsigned char>(g());
    return out;
}

uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }

// The source files and the compressed stream setupvol makes of each.
class Sources {
public:
    explicit Sources(const std::string& dir) : dir_(dir + "\\src") { CreateDirectoryA(dir_.c_str(), nullptr); }
    // Adds a file; returns its compressed stream (binary literals, 4096 dictionary).
    Bytes add(const std::string& name, const Bytes& content) {
        testenv::writeFile(dir_ + "\\" + name, content);
        std::string out = dir_ + "\\" + name + ".imp";
        EXPECT_EQ(0, testenv::run(inQuotes(testenv::binPath("setupvol.exe")) +
                                  " implode --literals binary --dict 4096 " + inQuotes(dir_ + "\\" + name) +
                                  " " + inQuotes(out)));
        names_.push_back(name);
        streams_.push_back(testenv::readFile(out));
        return streams_.back();
    }
    const Bytes& stream(size_t i) const { return streams_[i]; }
    const std::string& name(size_t i) const { return names_[i]; }
    // Packs every file added so far into `out` (Data%d.Dat, or Disk%d\Data%d.Dat).
    void pack(const std::string& out, unsigned long long volumeSize = 0, bool diskDirs = false) {
        std::string manifest = "literals binary\ndict 4096\n";
        for (size_t i = 0; i < names_.size(); ++i)
            manifest += "file " + names_[i] + " install " + (i % 2 ? "Sub\\Dir" : "-") + " 1\n";
        testenv::writeFile(dir_ + "\\manifest.txt", manifest);
        std::string cmd = inQuotes(testenv::binPath("setupvol.exe")) + " pack " +
                          inQuotes(dir_ + "\\manifest.txt") + " -o " + inQuotes(out) + " --quiet";
        if (volumeSize)
            cmd += " --volume-size " + std::to_string(volumeSize);
        if (diskDirs)
            cmd += " --disk-dirs";
        ASSERT_EQ(0, testenv::run(cmd));
    }

private:
    std::string dir_;
    std::vector<std::string> names_;
    std::vector<Bytes> streams_;
};

// A Reader that records the volumes it announces.
class RecordingReader : public Reader {
public:
    std::vector<std::string> opened;
    bool pointsAtVolumePath = true;
    int TakeProcessInfo(int kind, void* data) override {
        if (kind == 1) {
            opened.push_back(static_cast<char*>(data));
            pointsAtVolumePath = pointsAtVolumePath && data == volumePath;
        }
        return 2;
    }
};

struct Record {
    int result;
    tagCompressFileHeader fields;
};

Record readRecord(Reader& r) {
    unsigned char buf[kRecord];
    unsigned int size = kRecord;
    Record rec{r.Read(buf, &size, 0), {}};
    memcpy(&rec.fields, buf, kRecord);
    EXPECT_EQ(kRecord, size);
    return rec;
}

// The current file's data in requests of `request` bytes, until the end.
Bytes readData(Reader& r, unsigned int request, int* last = nullptr) {
    Bytes out, buf(request);
    for (int guard = 0; guard < 100000; ++guard) {
        unsigned int size = request;
        int result = r.Read(buf.data(), &size, 1);
        if (result != 2) {
            if (last)
                *last = result;
            return out;
        }
        EXPECT_LE(size, request);
        out.insert(out.end(), buf.begin(), buf.begin() + size);
    }
    ADD_FAILURE() << "the data never ends";
    return out;
}

ArchiveHeader readHeader(Reader& r, int* result) {
    ArchiveHeader h = {};
    unsigned int size = sizeof h;
    *result = r.Read(reinterpret_cast<unsigned char*>(&h), &size, 2);
    return h;
}

std::string fieldText(HWND dialog) {
    char text[1024] = {};
    GetDlgItemTextA(dialog, IDC_BROWSE_PATH, text, sizeof text);
    return text;
}

// The tree fills the path field once its selection settles.
std::string settledField(HWND dialog) {
    for (int i = 0; i < 100 && fieldText(dialog).empty(); ++i)
        Sleep(50);
    return fieldText(dialog);
}

// The shell's folder browser can take many seconds to appear on a loaded
// machine (it walks the drives first): its steps wait longer than the usual
// 15 s. The wait only ends early when the window comes.
const DWORD kBrowserWaitMs = 60000;

bool isBrowser(const ui::WindowInfo& w) { return w.className == "#32770" && GetDlgItem(w.hwnd, IDC_BROWSE_PATH); }

// Expects the folder browser; records the folder it starts in, then either
// types `folder` and presses OK or, with an empty `folder`, presses Cancel.
ui::Script& browser(ui::Script& ui, std::string* startedIn, std::string folder) {
    return ui.window("folder browser", isBrowser, [startedIn, folder](HWND dialog) {
        std::string shown = settledField(dialog);
        if (startedIn)
            *startedIn = shown;
        if (folder.empty()) {
            ui::press(dialog, IDCANCEL);
        } else {
            ui::type(dialog, IDC_BROWSE_PATH, folder);
            ui::press(dialog, IDOK);
        }
    });
}

// For reads that must ask nothing: a dialog that comes all the same is
// recorded and answered so that the read ends (Cancel, or Yes to leaving).
void failOnAnyDialog(ui::Script& ui) {
    for (int i = 0; i < 4; ++i) {
        ui.window(
            "no dialog", [](const ui::WindowInfo& w) { return w.className == "#32770"; },
            [](HWND w) {
                auto b = ui::describe(w).buttons;
                auto has = [&](int id) { return std::find(b.begin(), b.end(), id) != b.end(); };
                ui::press(w, has(IDCANCEL) ? IDCANCEL : has(IDYES) ? IDYES : IDOK);
            });
    }
}

// A drive letter mapped to a folder through the Wine prefix's dosdevices
// links (made by the host's ln, which Wine starts like any program).
class MappedDrive {
public:
    explicit MappedDrive(const std::string& folder) {
        const char* prefix = getenv("WINEPREFIX");
        if (!prefix || folder.compare(0, 2, "Z:") != 0)
            return;
        DWORD used = GetLogicalDrives();
        for (char c = 'R'; c <= 'Y' && !letter_; ++c)
            if (!(used & (1u << (c - 'A'))))
                letter_ = c;
        if (!letter_)
            return;
        std::string unixFolder = folder.substr(2);
        for (char& ch : unixFolder)
            if (ch == '\\')
                ch = '/';
        link_ = std::string(prefix) + "/dosdevices/" + static_cast<char>(letter_ - 'A' + 'a') + ":";
        testenv::run("Z:\\bin\\ln -sfn " + unixFolder + " " + link_);
        for (int i = 0; i < 100 && !testenv::dirExists(root()); ++i)
            Sleep(50);
    }
    ~MappedDrive() {
        if (!link_.empty()) {
            testenv::run("Z:\\bin\\rm -f " + link_);
            for (int i = 0; i < 100 && testenv::dirExists(root()); ++i)
                Sleep(50);
        }
    }
    bool ok() const { return letter_ && testenv::dirExists(root()); }
    std::string root() const { return std::string(1, letter_) + ":\\"; }

private:
    char letter_ = 0;
    std::string link_;
};

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        reader.InitBI(testenv::library(), caption);
        reader.SetParentForMessage(nullptr);
        dir = testenv::scratchDir();
        home = testenv::currentDir();
    }
    void TearDown() override { SetCurrentDirectoryA(home.c_str()); }
    void enter(const std::string& folder) { ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str())); }
    std::string sub(const std::string& name) {
        std::string p = dir + "\\" + name;
        CreateDirectoryA(p.c_str(), nullptr);
        return p;
    }
    // Moves a volume file elsewhere.
    void move(const std::string& from, const std::string& to) {
        ASSERT_TRUE(MoveFileA(from.c_str(), to.c_str())) << from << " -> " << to;
    }
    char caption[32] = "Product Setup";
    RecordingReader reader;
    std::string dir, home;
};

TEST_F(ReaderTest, SingleVolumeReadsBackExactly) {
    Sources src(dir);
    src.add("a.bin", pseudoRandom(10000, 1));
    src.add("b.txt", Bytes(5000, 'x'));
    src.add("c.bin", Bytes(1, 7));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out));
    enter(out);
    ui::Script ui;
    failOnAnyDialog(ui);

    int result = 0;
    ArchiveHeader h = readHeader(reader, &result);
    ASSERT_EQ(2, result);
    EXPECT_EQ(3u, h.fileCount);
    EXPECT_EQ(1, h.groupCount);
    EXPECT_EQ(1, h.formatVersion);
    EXPECT_EQ(std::vector<std::string>{out + "\\Data1.Dat"}, reader.opened);
    EXPECT_TRUE(reader.pointsAtVolumePath);
    char name[MAX_PATH];
    reader.GetFileName(name);
    EXPECT_EQ(out + "\\Data1.Dat", name);

    unsigned int requests[] = {2048, 1, 4096};
    for (size_t i = 0; i < 3; ++i) {
        Record rec = readRecord(reader);
        ASSERT_EQ(2, rec.result);
        EXPECT_EQ(src.name(i), rec.fields.fileName);
        EXPECT_STREQ(i % 2 ? "Sub\\Dir" : "", rec.fields.subDir);
        EXPECT_EQ(4, rec.fields.targetDir);
        EXPECT_EQ(0u, rec.fields.continued);
        int last = 0;
        EXPECT_EQ(src.stream(i), readData(reader, requests[i], &last)) << src.name(i);
        EXPECT_EQ(3, last);
    }
    EXPECT_EQ(1u, reader.opened.size());
    EXPECT_TRUE(ui.matched().empty());
}

TEST_F(ReaderTest, FileSplitOverThreeVolumes) {
    Sources src(dir);
    const Bytes big = src.add("big.bin", pseudoRandom(12000, 2));
    src.add("after.bin", pseudoRandom(100, 3));
    // Volume 1 holds its number, the header, the record and cap - 588 bytes;
    // volume 2 its number, the continuation record and cap - 568; 300 are left.
    unsigned long long cap = (big.size() + 1156 - 300) / 2;
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out, cap));
    Bytes v1 = testenv::readFile(out + "\\Data1.Dat"), v2 = testenv::readFile(out + "\\Data2.Dat"),
          v3 = testenv::readFile(out + "\\Data3.Dat");
    ASSERT_FALSE(testenv::fileExists(out + "\\Data4.Dat"));
    ASSERT_EQ(1u, le32(v1, 24));  // continued, in volume 1, 2 and 3
    ASSERT_EQ(1u, le32(v2, 4));
    ASSERT_EQ(0u, le32(v3, 4));
    ASSERT_EQ(le32(v3, 4 + 12), big.size() - (cap - 588) - (cap - 568));

    enter(out);
    ui::Script ui;
    failOnAnyDialog(ui);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, result);
    ASSERT_EQ(2, readRecord(reader).result);
    EXPECT_EQ(big, readData(reader, 2048));
    EXPECT_EQ((std::vector<std::string>{out + "\\Data1.Dat", out + "\\Data2.Dat", out + "\\Data3.Dat"}),
              reader.opened);
    Record next = readRecord(reader);
    ASSERT_EQ(2, next.result);
    EXPECT_STREQ("after.bin", next.fields.fileName);
    EXPECT_EQ(src.stream(1), readData(reader, 2048));
    EXPECT_EQ(3, reader.currentVolume);
    EXPECT_TRUE(ui.matched().empty());
}

// 2048 bytes left in a continued chunk and a request of 2048: the next volume
// is opened and its continuation record read before the call returns.
TEST_F(ReaderTest, ChunkEndingExactlyAtARequestBoundary) {
    Sources src(dir);
    const Bytes big = src.add("big.bin", pseudoRandom(7000, 4));
    ASSERT_GT(big.size(), 4096u + 1);
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out, 24 + kRecord + 4096));  // the first chunk is 4096 bytes
    enter(out);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, result);
    ASSERT_EQ(2, readRecord(reader).result);
    EXPECT_EQ(4096u, reader.chunkBytesLeft);
    Bytes buf(2048);
    unsigned int size = 2048;
    ASSERT_EQ(2, reader.Read(buf.data(), &size, 1));
    EXPECT_EQ(1u, reader.opened.size());
    size = 2048;
    ASSERT_EQ(2, reader.Read(buf.data(), &size, 1));
    EXPECT_EQ(2048u, size);
    EXPECT_EQ(Bytes(big.begin() + 2048, big.begin() + 4096), buf);
    EXPECT_EQ(2u, reader.opened.size());
    EXPECT_EQ(2, reader.currentVolume);
    EXPECT_EQ(std::min<size_t>(big.size() - 4096, 24 + kRecord + 4096 - 4 - kRecord), reader.chunkBytesLeft);
    Bytes rest = readData(reader, 2048);
    EXPECT_EQ(Bytes(big.begin() + 4096, big.end()), rest);
}

// Volume 1 ends right after the first file's chunk: the next record is read
// from offset 4 of Data2.Dat.
TEST_F(ReaderTest, VolumeEndingRightAfterAChunk) {
    Sources src(dir);
    const Bytes first = src.add("first.bin", pseudoRandom(3000, 5));
    src.add("second.bin", pseudoRandom(2000, 6));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out, 24 + kRecord + first.size()));
    ASSERT_EQ(24 + kRecord + first.size(), testenv::readFile(out + "\\Data1.Dat").size());
    enter(out);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, readRecord(reader).result);
    int last = 0;
    EXPECT_EQ(first, readData(reader, 4096, &last));
    EXPECT_EQ(3, last);
    EXPECT_EQ(1u, reader.opened.size());
    Record second = readRecord(reader);
    ASSERT_EQ(2, second.result);
    EXPECT_STREQ("second.bin", second.fields.fileName);
    EXPECT_EQ(2u, reader.opened.size());
    EXPECT_EQ(src.stream(1), readData(reader, 4096));
}

TEST_F(ReaderTest, SeekOverAFileSpanningThreeVolumes) {
    Sources src(dir);
    const Bytes big = src.add("big.bin", pseudoRandom(12000, 7));
    src.add("after.bin", pseudoRandom(300, 8));
    unsigned long long cap = (big.size() + 1156 - 400) / 2;
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out, cap));
    enter(out);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, readRecord(reader).result);
    ASSERT_EQ(2, reader.Seek());
    EXPECT_EQ(3, reader.currentVolume);
    // Volume 3 stands at the record after the big file's last chunk.
    unsigned long long lastChunk = big.size() - (cap - 588) - (cap - 568);
    EXPECT_EQ(4 + kRecord + lastChunk, SetFilePointer(reader.volumeFile, 0, nullptr, FILE_CURRENT));
    Record next = readRecord(reader);
    ASSERT_EQ(2, next.result);
    EXPECT_STREQ("after.bin", next.fields.fileName);
    EXPECT_EQ(src.stream(1), readData(reader, 1000));
}

TEST_F(ReaderTest, SeekInSkipsTheRestOfTheChunkOnly) {
    Sources src(dir);
    src.add("a.bin", pseudoRandom(3000, 9));
    src.add("b.bin", pseudoRandom(10, 10));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out));
    enter(out);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, readRecord(reader).result);
    Bytes buf(100);
    unsigned int size = 100;
    ASSERT_EQ(2, reader.Read(buf.data(), &size, 1));
    unsigned int left = reader.chunkBytesLeft;
    ASSERT_EQ(2, reader.SeekIn());
    EXPECT_EQ(left, reader.chunkBytesLeft);
    EXPECT_STREQ("b.bin", readRecord(reader).fields.fileName);
}

// A volume over 4 GiB: the first file's chunk ends at 0xFFFFFFFF, where
// SetFilePointer's result looks like INVALID_SET_FILE_POINTER although the
// move succeeded. The volume is written sparse: the gap takes no disk.
TEST_F(ReaderTest, SeekToAPositionWhoseLowPartIsAllOnes) {
    Sources src(dir);
    src.add("a.bin", pseudoRandom(100, 18));
    src.add("b.bin", pseudoRandom(200, 19));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out));
    std::string volume = out + "\\Data1.Dat";
    Bytes packed = testenv::readFile(volume);
    const size_t aChunk = 24 + kRecord;
    const size_t bRecord = aChunk + le32(packed, 24 + 12);
    ASSERT_EQ(packed.size(), bRecord + kRecord + src.stream(1).size());

    // Data1.Dat anew: a's record with a chunk that reaches 0xFFFFFFFF, then
    // b's record and data from there.
    const DWORD bAt = 0xFFFFFFFFu;
    Bytes head(packed.begin(), packed.begin() + aChunk);
    const uint32_t grown = bAt - static_cast<uint32_t>(aChunk);
    memcpy(&head[24 + 12], &grown, 4);
    HANDLE h = CreateFileA(volume.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD unused = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);  // where needed
    DWORD written = 0;
    bool ok = WriteFile(h, head.data(), static_cast<DWORD>(head.size()), &written, nullptr) != FALSE;
    LONG high = 0;
    ok = ok && SetFilePointer(h, static_cast<LONG>(bAt), &high, FILE_BEGIN) == bAt;
    ok = ok && WriteFile(h, &packed[bRecord], static_cast<DWORD>(packed.size() - bRecord), &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(ok);

    enter(out);
    ui::Script ui;
    failOnAnyDialog(ui);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, result);
    ASSERT_EQ(2, readRecord(reader).result);
    EXPECT_EQ(grown, reader.chunkBytesLeft);
    EXPECT_EQ(2, reader.Seek());
    high = 0;
    EXPECT_EQ(bAt, SetFilePointer(reader.volumeFile, 0, &high, FILE_CURRENT));
    EXPECT_EQ(0, high);
    Record next = readRecord(reader);
    EXPECT_EQ(2, next.result);
    EXPECT_STREQ("b.bin", next.fields.fileName);
    EXPECT_EQ(src.stream(1), readData(reader, 4096));
    EXPECT_TRUE(ui.matched().empty());

    // The volume goes at once: 4 GiB as the file system sees it.
    CloseHandle(reader.volumeFile);
    reader.volumeFile = INVALID_HANDLE_VALUE;
    EXPECT_TRUE(DeleteFileA(volume.c_str()));
}

TEST_F(ReaderTest, VolumesInSiblingDiskDirectories) {
    Sources src(dir);
    const Bytes big = src.add("big.bin", pseudoRandom(9000, 11));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out, 4000, true));
    ASSERT_TRUE(testenv::fileExists(out + "\\Disk3\\Data3.Dat"));
    enter(out + "\\Disk1");
    ui::Script ui;
    failOnAnyDialog(ui);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, readRecord(reader).result);
    EXPECT_EQ(big, readData(reader, 2048));
    EXPECT_EQ(out + "\\Disk2\\Data2.Dat", reader.opened.at(1));
    EXPECT_EQ(out + "\\Disk3\\Data3.Dat", reader.opened.at(2));
    EXPECT_EQ(out + "\\Disk1", testenv::currentDir());
    EXPECT_TRUE(ui.matched().empty());
}

TEST_F(ReaderTest, SiblingDiskDirectoryFromADriveRoot) {
    Sources src(dir);
    const Bytes big = src.add("big.bin", pseudoRandom(6000, 12));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out, 4000));
    std::string root = sub("root");
    move(out + "\\Data1.Dat", root + "\\Data1.Dat");
    CreateDirectoryA((root + "\\Disk2").c_str(), nullptr);
    move(out + "\\Data2.Dat", root + "\\Disk2\\Data2.Dat");
    MappedDrive drive(root);
    if (!drive.ok())
        GTEST_SKIP() << "no drive letter could be mapped to " << root;
    enter(drive.root());
    ui::Script ui;
    failOnAnyDialog(ui);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, readRecord(reader).result);
    EXPECT_EQ(big, readData(reader, 2048));
    EXPECT_EQ((std::vector<std::string>{drive.root() + "Data1.Dat", drive.root() + "Disk2\\Data2.Dat"}),
              reader.opened);
    EXPECT_TRUE(ui.matched().empty());
    SetCurrentDirectoryA(home.c_str());
}

class WrongDiskTest : public ReaderTest {
protected:
    void SetUp() override {
        ReaderTest::SetUp();
        Sources src(dir);
        big = src.add("big.bin", pseudoRandom(6000, 13));
        out = sub("out");
        ASSERT_NO_FATAL_FAILURE(src.pack(out, 4000));
        right = testenv::readFile(out + "\\Data2.Dat");
        // Volume 1 where volume 2 should be.
        ASSERT_TRUE(testenv::writeFile(out + "\\Data2.Dat", testenv::readFile(out + "\\Data1.Dat")));
        enter(out);
        int result = 0;
        readHeader(reader, &result);
        ASSERT_EQ(2, readRecord(reader).result);
    }
    Bytes big, right;
    std::string out;
};

TEST_F(WrongDiskTest, RetryAfterTheRightDiskIsInPlace) {
    ui::Script ui;
    ui.window("the wrong-disk question",
              [](const ui::WindowInfo& w) {
                  return w.className == "#32770" && w.caption == kCaption && w.text == kWrongDisk;
              },
              [this](HWND box) {
                  // The user puts the right disk in, then answers Retry.
                  testenv::writeFile(out + "\\Data2.Dat", right);
                  ui::press(box, IDRETRY);
              });
    EXPECT_EQ(big, readData(reader, 2048));
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ((std::vector<int>{IDRETRY, IDCANCEL}), ui.matched()[0].buttons);
    EXPECT_EQ(out + "\\Data2.Dat", reader.opened.at(1));
}

TEST_F(WrongDiskTest, CancelIsAUserBreak) {
    ui::Script ui;
    ui.messageBox(nullptr, kCaption, kWrongDisk, IDCANCEL, MB_RETRYCANCEL);
    int last = 0;
    readData(reader, 2048, &last);
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(1, last);
    EXPECT_EQ(1u, reader.opened.size());
    EXPECT_EQ(INVALID_HANDLE_VALUE, reader.volumeFile);
}

// Volume 2 is in neither candidate place: the user points to it.
class MissingVolumeTest : public ReaderTest {
protected:
    void SetUp() override {
        ReaderTest::SetUp();
        Sources src(dir);
        big = src.add("big.bin", pseudoRandom(6000, 14));
        out = sub("out");
        ASSERT_NO_FATAL_FAILURE(src.pack(out, 4000));
        elsewhere = sub("elsewhere");
        move(out + "\\Data2.Dat", elsewhere + "\\Data2.Dat");
        empty = sub("empty");
        enter(out);
        int result = 0;
        readHeader(reader, &result);
        ASSERT_EQ(2, readRecord(reader).result);
    }
    Bytes big;
    std::string out, elsewhere, empty;
};

// `path` made exactly `length` characters long with folders of `c`, none
// empty, whatever the length of the checkout's path.
std::string pathOfLength(std::string path, size_t length, char c) {
    while (length - path.size() > 41)
        path += "\\" + std::string(40, c);
    if (length - path.size() == 1)
        path.pop_back();  // a last folder of one character rather than none
    return path + "\\" + std::string(length - path.size() - 1, c);
}

TEST_F(MissingVolumeTest, FolderChosenInTheBrowser) {
    std::string startedIn;
    ui::Script ui(kBrowserWaitMs);
    browser(ui, &startedIn, elsewhere);
    EXPECT_EQ(big, readData(reader, 2048));
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(out, startedIn);
    EXPECT_NE(std::string::npos, ui.matched()[0].text.find("Select the folder containing Data2.Dat."))
        << ui.matched()[0].text;
    EXPECT_EQ(elsewhere + "\\Data2.Dat", reader.opened.at(1));
    // Later volumes are looked for in the chosen folder first.
    EXPECT_EQ(elsewhere, testenv::currentDir());
    EXPECT_EQ(nullptr, reader.GetParentForMessage());
}

TEST_F(MissingVolumeTest, CancelThenNoShowsTheBrowserAgain) {
    std::string first, second;
    ui::Script ui(kBrowserWaitMs);
    browser(ui, &first, "");
    ui.messageBox(nullptr, kCaption, kExitQuestion, IDNO, MB_YESNO | MB_ICONQUESTION);
    browser(ui, &second, elsewhere);
    EXPECT_EQ(big, readData(reader, 2048));
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(out, first);
    EXPECT_EQ(out, second);
    EXPECT_EQ(elsewhere, testenv::currentDir());
}

TEST_F(MissingVolumeTest, CancelThenYesIsAUserBreak) {
    ui::Script ui(kBrowserWaitMs);
    browser(ui, nullptr, "");
    ui.messageBox(nullptr, kCaption, kExitQuestion, IDYES, MB_YESNO | MB_ICONQUESTION);
    int last = 0;
    readData(reader, 2048, &last);
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(1, last);
    EXPECT_EQ(out, testenv::currentDir());
}

TEST_F(MissingVolumeTest, ChosenFolderWithoutTheVolume) {
    std::string second;
    ui::Script ui(kBrowserWaitMs);
    browser(ui, nullptr, empty);
    browser(ui, &second, elsewhere);  // starts in the folder chosen last
    EXPECT_EQ(big, readData(reader, 2048));
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(empty, second);
    EXPECT_EQ(elsewhere, testenv::currentDir());
}

TEST_F(MissingVolumeTest, ChosenFolderThatDoesNotExist) {
    std::string second;
    ui::Script ui(kBrowserWaitMs);
    browser(ui, nullptr, dir + "\\nowhere");
    ui.messageBox(nullptr, kCaption, kMissingFolder, IDOK, MB_OK);
    browser(ui, &second, "");  // back where it started
    ui.messageBox(nullptr, kCaption, kExitQuestion, IDYES, MB_YESNO | MB_ICONQUESTION);
    int last = 0;
    readData(reader, 2048, &last);
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(1, last);
    EXPECT_EQ(out, second);
    EXPECT_EQ(out, testenv::currentDir());
}

// A chosen folder so deep that the volume's path would not fit in 260
// characters is refused with a message, never joined past the buffer.
TEST_F(MissingVolumeTest, ChosenFolderTooDeepForTheVolumePath) {
    std::string deep = pathOfLength(dir, 250, 'd');
    ASSERT_EQ(250u, deep.size());
    ASSERT_EQ(1, reader.DirCreation(deep.c_str()));
    ui::Script ui(kBrowserWaitMs);
    browser(ui, nullptr, deep);
    ui.messageBox(nullptr, kCaption, kCorrupted, IDOK, MB_ICONSTOP);
    int last = 0;
    readData(reader, 2048, &last);
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(0, last);
}

// A current directory too deep for the candidates is not looked in; the
// user can still point to the volume.
TEST_F(MissingVolumeTest, CurrentDirectoryTooDeepForTheCandidates) {
    std::string deep = pathOfLength(dir, 252, 'e');
    ASSERT_EQ(1, reader.DirCreation(deep.c_str()));
    enter(deep);
    std::string startedIn;
    ui::Script ui(kBrowserWaitMs);
    browser(ui, &startedIn, elsewhere);
    EXPECT_EQ(big, readData(reader, 2048));
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(deep, startedIn);
    EXPECT_EQ(elsewhere, testenv::currentDir());
}

TEST_F(ReaderTest, EmptyVolumeFileIsTheEndOfTheData) {
    std::string out = sub("out");
    ASSERT_TRUE(testenv::writeFile(out + "\\Data1.Dat", Bytes()));
    enter(out);
    int result = 0;
    readHeader(reader, &result);
    EXPECT_EQ(3, result);
    EXPECT_TRUE(reader.opened.empty());
}

// A record cut short by the end of its volume is a damaged disk, not a
// record with the previous file's bytes in its tail.
TEST_F(ReaderTest, RecordCutShortIsReportedAsDamage) {
    Sources src(dir);
    src.add("a.bin", pseudoRandom(500, 15));
    src.add("b.bin", pseudoRandom(500, 16));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out));
    Bytes v1 = testenv::readFile(out + "\\Data1.Dat");
    v1.resize(v1.size() - src.stream(1).size() - 100);  // into b's record
    ASSERT_TRUE(testenv::writeFile(out + "\\Data1.Dat", v1));
    enter(out);
    int result = 0;
    readHeader(reader, &result);
    ASSERT_EQ(2, readRecord(reader).result);
    ASSERT_EQ(2, reader.Seek());
    ui::Script ui;
    ui.messageBox(nullptr, kCaption, kCorrupted, IDOK, MB_ICONSTOP);
    EXPECT_EQ(0, readRecord(reader).result);
    ASSERT_TRUE(ui.finish());
}

// Read and seek errors (here: no volume open) are reported as a damaged disk.
TEST_F(ReaderTest, ReadAndSeekErrorsReportTheDisk) {
    ui::Script ui;
    ui.messageBox(nullptr, kCaption, kCorrupted, IDOK, MB_ICONSTOP);
    ui.messageBox(nullptr, kCaption, kCorrupted, IDOK, MB_ICONSTOP);
    unsigned char buf[4];
    EXPECT_EQ(0, reader.ReadDataFile(buf, sizeof buf));
    reader.chunkBytesLeft = 10;
    EXPECT_EQ(0, reader.SeekIn());
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(2, reader.ReadDataFile(buf, 0));
}

TEST_F(ReaderTest, UnknownModesAndShortRecordBuffersReadNothing) {
    Sources src(dir);
    src.add("a.bin", pseudoRandom(50, 17));
    std::string out = sub("out");
    ASSERT_NO_FATAL_FAILURE(src.pack(out));
    enter(out);
    unsigned char buf[kRecord];
    unsigned int size = 20;
    EXPECT_EQ(0, reader.Read(buf, &size, 3));
    EXPECT_EQ(1, reader.currentVolume);  // the volume was opened first
    size = 100;
    EXPECT_EQ(0, reader.Read(buf, &size, 0));
    size = 20;
    EXPECT_EQ(2, reader.Read(buf, &size, 2));  // still at the header
    EXPECT_EQ(1u, le32(Bytes(buf, buf + 20), 12));
}

TEST_F(ReaderTest, ConstructionOpensNothing) {
    RecordingReader fresh;
    EXPECT_EQ(INVALID_HANDLE_VALUE, fresh.volumeFile);
    EXPECT_EQ(0, fresh.currentVolume);
    EXPECT_EQ(0, fresh.fileContinues);
    EXPECT_EQ(2, static_cast<Reader&>(fresh).Reader::TakeProcessInfo(1, nullptr));
    char name[MAX_PATH] = "stale";
    fresh.GetFileName(name);
    EXPECT_STREQ("", name);
}

}  // namespace
