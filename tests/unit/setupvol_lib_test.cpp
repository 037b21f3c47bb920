// The parts of the volume tool: manifest parsing, names, the version
// resource reader, literal mode choice, and reading damaged volume sets
// from memory.
#include "implode/Implode.h"
#include "format/FileCheck.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"
#include "tools/setupvol/Archive.h"
#include "tools/setupvol/Manifest.h"
#include "tools/setupvol/Names.h"
#include "tools/setupvol/Packer.h"
#include "tools/setupvol/PeVersion.h"

#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

typedef std::vector<unsigned char> Bytes;

// ---------------------------------------------------------------------------
// Manifest

std::string parseError(const std::string& text) {
    Manifest m;
    std::string error;
    EXPECT_FALSE(parseManifest(text, "m.txt", &m, &error)) << text;
    return error;
}

TEST(Manifest, ParsesSettingsFilesAndTrees) {
    const char* text =
        "# product files\n"
        "groups 3\n"
        "shortcut-prefix 23\n"
        "\n"
        "file bin\\App.exe install - 1 version=2.1.0.7   # the program\n"
        "literals ascii\n"
        "file docs/read.me install \"Read Me\" 2 name=ReadMe.txt\n"
        "dict 2048\n"
        "tree help programs \"My App/Help\" 3 literals=binary\n"
        "file x.dll system \"\" 1 dict=1024\n";
    Manifest m;
    std::string error;
    ASSERT_TRUE(parseManifest(text, "m.txt", &m, &error)) << error;
    EXPECT_TRUE(m.hasGroups);
    EXPECT_EQ(m.groups, 3);
    EXPECT_EQ(m.shortcutPrefixLength, 23u);
    ASSERT_EQ(m.entries.size(), 4u);
    const ManifestEntry& app = m.entries[0];
    EXPECT_EQ(app.line, 5);
    EXPECT_EQ(app.source, "bin/App.exe");
    EXPECT_EQ(app.targetDir, TargetInstall);
    EXPECT_EQ(app.subDir, "");
    EXPECT_TRUE(app.hasVersion);
    EXPECT_EQ(app.version[3], 7);
    EXPECT_EQ(app.literals, LiteralsAuto);
    EXPECT_EQ(app.dict, 4096u);
    EXPECT_EQ(m.entries[1].subDir, "Read Me");
    EXPECT_EQ(m.entries[1].name, "ReadMe.txt");
    EXPECT_EQ(m.entries[1].literals, LiteralsAscii);
    EXPECT_TRUE(m.entries[2].tree);
    EXPECT_EQ(m.entries[2].targetDir, TargetPrograms);
    EXPECT_EQ(m.entries[2].subDir, "My App\\Help");
    EXPECT_EQ(m.entries[2].literals, LiteralsBinary);
    EXPECT_EQ(m.entries[2].dict, 2048u);
    EXPECT_EQ(m.entries[3].dict, 1024u);
    EXPECT_EQ(m.entries[3].targetDir, TargetSystem);
}

TEST(Manifest, ErrorsNameTheLineAndTheProblem) {
    EXPECT_EQ(parseError("groups 2\n\nfile a.exe instal - 1\n"),
              "m.txt:3: unknown target 'instal' (expected windows, system, desktop, none, install, startup, "
              "startmenu or programs)");
    EXPECT_EQ(parseError("file a.exe install - 0\n"), "m.txt:1: the group is a whole number from 1 up, not '0'");
    EXPECT_EQ(parseError("\nfile a.exe install\n"), "m.txt:2: 'file' needs SOURCE TARGET SUBDIR GROUP (2 given)");
    EXPECT_EQ(parseError("copy a b\n"),
              "m.txt:1: unknown statement 'copy' (expected file, tree, groups, shortcut-prefix, names, literals or "
              "dict)");
    EXPECT_NE(parseError("file a.exe install - 1 version=1.2.3.4.5\n").find("m.txt:1: version '1.2.3.4.5'"),
              std::string::npos);
    EXPECT_NE(parseError("file a.exe install - 1 version=1,2\n").find("m.txt:1:"), std::string::npos);
    EXPECT_NE(parseError("file a.exe install \"open - 1\n").find("m.txt:1: a double quote"), std::string::npos);
    EXPECT_NE(parseError("file a.exe install ..\\x 1\n").find("m.txt:1: subfolder"), std::string::npos);
    EXPECT_NE(parseError("file a.exe install - 1 name=a:b\n").find("m.txt:1: name 'a:b'"), std::string::npos);
    EXPECT_NE(parseError("tree d install - 1 name=x\n").find("m.txt:1: 'name=' is for single files"),
              std::string::npos);
    EXPECT_NE(parseError("groups 2\ngroups 3\n").find("m.txt:2: 'groups' is already given on line 1"),
              std::string::npos);
    EXPECT_NE(parseError("dict 512\n").find("m.txt:1: 'dict'"), std::string::npos);
    EXPECT_NE(parseError("file a install - 1 literals=text\n").find("m.txt:1: literals="), std::string::npos);
    EXPECT_NE(parseError("file a install - 1 mode=x\n").find("m.txt:1: unknown option 'mode'"), std::string::npos);
    EXPECT_NE(parseError("file a install \xE2\x82\xAC\xE4\xB8\xAD 1\n").find("U+4E2D"), std::string::npos);
}

// 'names utf-8' takes names of any script, set before the files it names;
// without it a name Windows-1252 lacks says how to get it.
TEST(Manifest, NamesInUtf8) {
    Manifest m;
    std::string error;
    ASSERT_TRUE(parseManifest("names utf-8\nfile a install \xE6\x97\xA5 1 name=\xCE\xA9.txt\n", "m.txt", &m, &error))
        << error;
    EXPECT_TRUE(m.namesUtf8);
    EXPECT_EQ("\xE6\x97\xA5", m.entries[0].subDir);
    EXPECT_EQ("\xCE\xA9.txt", m.entries[0].name);
    const struct {
        const char *text, *error;
    } refused[] = {
        {"file a install - 1 name=\xCE\xA9\n", "m.txt:1: name '\xCE\xA9': character U+03A9 has no Windows-1252 code "
                                                "(a manifest whose names need it says 'names utf-8')"},
        {"file a install - 1\nnames utf-8\n", "m.txt:2: 'names' comes before the first file or tree"},
        {"names utf-8\nnames utf-8\n", "m.txt:2: 'names' is already given on line 1"},
        {"names utf-8\nfile a install - 1 name=a\xC0\xAF\n", "not valid UTF-8"},
        {"names utf-8\nfile a install - 1 name=COM\xC2\xB9\n", "names a Windows device"},  // COM¹
    };
    for (const auto& r : refused)
        EXPECT_NE(parseError(r.text).find(r.error), std::string::npos) << parseError(r.text);
}

TEST(Names, CodePageAndChecks) {
    std::string ansi, error;
    ASSERT_TRUE(utf8ToAnsi("Caf\xC3\xA9 \xE2\x82\xAC", &ansi, &error));
    EXPECT_EQ(ansi, "Caf\xE9 \x80");
    EXPECT_EQ(ansiToUtf8(ansi), "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_FALSE(utf8ToAnsi("\xC3", &ansi, &error));
    EXPECT_EQ(checkPathComponent("readme.txt"), "");
    EXPECT_NE(checkPathComponent(".."), "");
    EXPECT_NE(checkPathComponent("a|b"), "");
    EXPECT_NE(checkPathComponent("trailing."), "");
    // Windows drops a trailing blank as it drops a trailing full stop.
    EXPECT_NE(checkPathComponent("trailing "), "");
    EXPECT_EQ(checkPathComponent("inner blank"), "");
    EXPECT_NE(checkSubDir("a \\b"), "");
    EXPECT_EQ(checkSubDir("a\\b c\\d"), "");
    EXPECT_NE(checkSubDir("a\\\\b"), "");
    EXPECT_NE(checkSubDir("a\\..\\b"), "");
    // Devices swallow the data; unassigned code page bytes have no name on
    // the host, where two of them would make one file.
    for (const char* name : {"NUL", "con", "aux.txt", "nul.txt", "COM1", "lpt9.log", "Nul.", "CON "})
        EXPECT_NE(checkPathComponent(name), "") << name;
    EXPECT_NE(checkPathComponent("nul.txt").find("device"), std::string::npos);
    EXPECT_NE(checkSubDir("COM1\\d"), "");
    EXPECT_NE(checkPathComponent("a\x81"), "");
    EXPECT_NE(checkPathComponent("a\x8D"), "");
    EXPECT_EQ(checkPathComponent("nul1.txt"), "");
    EXPECT_EQ(checkPathComponent("com0"), "");
    EXPECT_EQ(foldName("ReadMe\xE9\x9A\xFF.txt"), foldName("README\xC9\x8A\x9F.TXT"));
    EXPECT_NE(foldName("a\xF7"), foldName("a\xD7"));  // division and multiplication signs differ
    EXPECT_EQ(targetDirFromKeyword("startmenu"), 6);
    EXPECT_EQ(targetDirFromKeyword("Startmenu"), -1);
}

// ---------------------------------------------------------------------------
// Version resources: a minimal PE module built here.

Bytes utf16(const std::string& s) {
    Bytes out;
    for (char c : s) {
        out.push_back(static_cast<unsigned char>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

void pad4(Bytes* b) {
    while (b->size() % 4)
        b->push_back(0);
}

// A VS_VERSIONINFO node; the value counts characters for text nodes.
Bytes versionNode(const std::string& key, const Bytes& value, bool text, const std::vector<Bytes>& children) {
    Bytes b(6, 0);
    Bytes k = utf16(key);
    b.insert(b.end(), k.begin(), k.end());
    pad4(&b);
    b.insert(b.end(), value.begin(), value.end());
    for (size_t i = 0; i < children.size(); ++i) {
        pad4(&b);
        b.insert(b.end(), children[i].begin(), children[i].end());
    }
    size_t valueLength = text ? value.size() / 2 : value.size();
    b[0] = static_cast<unsigned char>(b.size());
    b[1] = static_cast<unsigned char>(b.size() >> 8);
    b[2] = static_cast<unsigned char>(valueLength);
    b[3] = static_cast<unsigned char>(valueLength >> 8);
    b[4] = text ? 1 : 0;
    return b;
}

// `nodeValue`: a text value the StringFileInfo and string table nodes carry
// before their children (writers usually leave it empty).
// `fixedHigh`, `fixedLow`: the fixed record's file version.
Bytes versionInfo(const std::string& table, const std::string& fileVersion, const Bytes& nodeValue = {},
                  uint32_t fixedHigh = 0, uint32_t fixedLow = 0) {
    Bytes str = versionNode("FileVersion", utf16(fileVersion), true, {});
    Bytes company = versionNode("CompanyName", utf16("Tester"), true, {});
    Bytes tab = versionNode(table, nodeValue, true, {company, str});
    Bytes sfi = versionNode("StringFileInfo", nodeValue, true, {tab});
    Bytes fixed(52, 0);
    fixed[0] = 0xBD;
    fixed[1] = 0x04;
    fixed[2] = 0xEF;
    fixed[3] = 0xFE;
    writeLe32(fixed.data() + 8, fixedHigh);
    writeLe32(fixed.data() + 12, fixedLow);
    return versionNode("VS_VERSION_INFO", fixed, false, {sfi});
}

void put32(Bytes* b, size_t at, uint32_t v) {
    if (b->size() < at + 4)
        b->resize(at + 4);
    writeLe32(b->data() + at, v);
}

void put16(Bytes* b, size_t at, uint16_t v) {
    if (b->size() < at + 2)
        b->resize(at + 2);
    (*b)[at] = static_cast<unsigned char>(v);
    (*b)[at + 1] = static_cast<unsigned char>(v >> 8);
}

// DOS header, PE32 headers, one ".rsrc" section at RVA 0x1000 holding the
// resource tree version/1/language -> `info`.
Bytes peWithVersion(const Bytes& info, uint16_t language = 0x409) {
    Bytes pe(0x200, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    put32(&pe, 0x3C, 0x40);
    put32(&pe, 0x40, 0x00004550);
    put16(&pe, 0x44, 0x14C);
    put16(&pe, 0x46, 1);   // sections
    put16(&pe, 0x54, 224); // optional header size
    const size_t opt = 0x58;
    put16(&pe, opt, 0x10B);
    put32(&pe, opt + 92, 16);
    put32(&pe, opt + 96 + 16, 0x1000); // resource directory RVA
    Bytes rsrc(0x58, 0);
    put16(&rsrc, 0x0E, 1);
    put32(&rsrc, 0x10, 16);
    put32(&rsrc, 0x14, 0x80000018);
    put16(&rsrc, 0x18 + 0x0E, 1);
    put32(&rsrc, 0x18 + 0x10, 1);
    put32(&rsrc, 0x18 + 0x14, 0x80000030);
    put16(&rsrc, 0x30 + 0x0E, 1);
    put32(&rsrc, 0x30 + 0x10, language);
    put32(&rsrc, 0x30 + 0x14, 0x48);
    put32(&rsrc, 0x48, 0x1000 + 0x58);
    put32(&rsrc, 0x4C, static_cast<uint32_t>(info.size()));
    rsrc.insert(rsrc.end(), info.begin(), info.end());
    pad4(&rsrc);
    put32(&pe, opt + 96 + 20, static_cast<uint32_t>(rsrc.size()));
    const size_t sec = opt + 224;
    memcpy(pe.data() + sec, ".rsrc", 5);
    put32(&pe, sec + 8, static_cast<uint32_t>(rsrc.size()));
    put32(&pe, sec + 12, 0x1000);
    put32(&pe, sec + 16, static_cast<uint32_t>(rsrc.size()));
    put32(&pe, sec + 20, 0x200);
    pe.insert(pe.end(), rsrc.begin(), rsrc.end());
    return pe;
}

PeVersionResult versionOf(const Bytes& file, int32_t v[4], std::string* text = nullptr) {
    MemoryByteSource src(file.data(), file.size());
    return readPeFileVersion(src, v, text);
}

TEST(PeVersion, ReadsTheUsEnglishFileVersion) {
    int32_t v[4];
    std::string text;
    EXPECT_EQ(versionOf(peWithVersion(versionInfo("040904E4", "4.00.950")), v, &text), PeFileVersionFound);
    EXPECT_EQ(text, "4.00.950");
    EXPECT_EQ(v[0], 4);
    EXPECT_EQ(v[1], 0);
    EXPECT_EQ(v[2], 950);
    EXPECT_EQ(v[3], 0);
    // Keys compare without case; the language entry may be neutral.
    EXPECT_EQ(versionOf(peWithVersion(versionInfo("040904e4", "1, 2, 3, 4"), 0), v), PeFileVersionFound);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 0);
    // A text value before the children: counted in characters, then padded.
    for (const char* nodeValue : {"x", "abc", "abcdefg"}) {
        EXPECT_EQ(versionOf(peWithVersion(versionInfo("040904E4", "2.5", utf16(nodeValue))), v, &text),
                  PeFileVersionFound) << nodeValue;
        EXPECT_EQ(text, "2.5") << nodeValue;
    }
}

TEST(PeVersion, WithoutTheUsEnglishTextTheFixedVersion) {
    int32_t v[4];
    // The text of 040904E4 wins over the fixed record, even when older.
    EXPECT_EQ(versionOf(peWithVersion(versionInfo("040904E4", "4.0", {}, 0x00090000, 0)), v), PeFileVersionFound);
    EXPECT_EQ(v[0], 4);
    // A Unicode string table only: the fixed record's 5.1.2600.0.
    EXPECT_EQ(versionOf(peWithVersion(versionInfo("040904B0", "7.0", {}, 0x00050001, 0x0A280000)), v),
              PeFixedVersionFound);
    EXPECT_EQ(std::vector<int32_t>(v, v + 4), (std::vector<int32_t>{5, 1, 2600, 0}));
    // A fixed record without its signature is none.
    Bytes noSignature = versionInfo("040904B0", "7.0", {}, 0x00050001, 0);
    noSignature[40] = 0;  // the signature's first byte: after the 6-byte header and the padded key
    EXPECT_EQ(versionOf(peWithVersion(noSignature), v), PeNoFileVersion);
    EXPECT_EQ(v[0] | v[1] | v[2] | v[3], 0);
    Bytes text(5000, 'a');
    EXPECT_EQ(versionOf(text, v), PeNoVersionResource);
    EXPECT_EQ(versionOf(Bytes(), v), PeNoVersionResource);
    // A real module built by wine, whose table is 040904B0.
    std::ifstream in(std::string(SETUP_VECTORS_DIR) + "/dll.bin", std::ios::binary);
    Bytes dll((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(dll.empty());
    EXPECT_EQ(versionOf(dll, v), PeFixedVersionFound);
}

TEST(PeVersion, DamagedModulesNeverReadOutOfBounds) {
    Bytes good = peWithVersion(versionInfo("040904E4", "7.8"));
    int32_t v[4];
    for (size_t n = 0; n < good.size(); ++n)
        versionOf(Bytes(good.begin(), good.begin() + n), v);
    std::mt19937 rng(3);
    for (int round = 0; round < 3000; ++round) {
        Bytes bad = good;
        for (int k = 0; k < 1 + round % 4; ++k)
            bad[rng() % bad.size()] = static_cast<unsigned char>(rng());
        PeVersionResult r = versionOf(bad, v);
        if (r == PeNoVersionResource || r == PeNoFileVersion) {
            EXPECT_EQ(v[0] | v[1] | v[2] | v[3], 0);
        }
    }
}

// Progress is told once per file, in order, whatever the threads, and its
// bytes add up to the files' own.
TEST(Packer, ProgressTellsEveryFileInOrder) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(SETUP_NATIVE_BIN_DIR).parent_path() / "scratch" / "packer-progress";
    fs::remove_all(dir);
    fs::create_directories(dir / "src");
    const size_t sizes[] = {0, 1, 70000, 5000, 300000, 17, 4096, 9000};
    uint64_t total = 0;
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        std::ofstream f(dir / "src" / ("f" + std::to_string(i)), std::ios::binary);
        for (size_t k = 0; k < sizes[i]; ++k)
            f.put(static_cast<char>("setup data "[k % 11] + (k / 1000) % 7));
        total += sizes[i];
    }
    Manifest manifest;
    std::string error;
    ASSERT_TRUE(parseManifest("tree src install App 1\n", "m.txt", &manifest, &error)) << error;
    for (unsigned threads : {1u, 3u}) {
        std::vector<PackProgress> seen;
        PackOptions options;
        options.threads = threads;
        options.progress = [&seen](const PackProgress& p) { seen.push_back(p); };
        PackSummary summary;
        ASSERT_TRUE(packArchive(manifest, dir, dir / "out", options, &summary, &error, nullptr)) << error;
        ASSERT_EQ(seen.size(), sizeof sizes / sizeof sizes[0]) << threads;
        // The tree's files are taken by name: f0, f1, ... as made above.
        uint64_t done = 0;
        for (size_t i = 0; i < seen.size(); ++i) {
            done += sizes[i];
            EXPECT_EQ(seen[i].filesDone, i + 1) << threads;
            EXPECT_EQ(seen[i].fileCount, seen.size()) << threads;
            EXPECT_EQ(seen[i].bytesDone, done) << threads << " file " << i;
            EXPECT_EQ(seen[i].byteCount, total) << threads;
        }
        EXPECT_EQ(summary.files, seen.size());
    }
}

TEST(LiteralMode, TextCodedBinaryPlain) {
    uint64_t h[256] = {};
    for (char c : std::string("The quick brown fox jumps over the lazy dog.\r\n"))
        h[static_cast<unsigned char>(c)] += 100;
    EXPECT_EQ(chooseLiteralMode(h), ImplodeAscii);
    for (int b = 0; b < 256; ++b)
        h[b] = 10;
    EXPECT_EQ(chooseLiteralMode(h), ImplodeBinary);
    uint64_t empty[256] = {};
    EXPECT_EQ(chooseLiteralMode(empty), ImplodeBinary);
}

// ---------------------------------------------------------------------------
// Reading volume sets from memory.

struct TestFile {
    std::string name;
    Bytes data;
};

// Builds volumes the way the packer does, without files on disk.
MemoryVolumeSet buildVolumes(const std::vector<TestFile>& files, uint64_t cap) {
    MemoryVolumeSet store;
    VolumePlanner planner(cap);
    uint32_t total = 0;
    for (const TestFile& f : files) {
        ImplodeOptions o;
        Bytes stream = implodeBuffer(f.data.data(), f.data.size(), o);
        if (stream.size() < 5)
            stream.push_back(0);
        std::vector<VolumePiece> pieces;
        std::string error;
        EXPECT_TRUE(planner.place(stream.size(), &pieces, &error));
        for (const VolumePiece& p : pieces) {
            while (store.volumes.size() < p.volume) {
                store.volumes.emplace_back(p.volume == 1 ? 24 : 4, 0);
                writeLe32(store.volumes.back().data(), p.volume);
            }
            tagCompressFileHeader r;
            memset(&r, 0, sizeof r);
            r.continued = p.continued;
            r.chunkSize = p.chunkSize;
            r.expandedSize = static_cast<uint32_t>(f.data.size());
            r.group = 1;
            r.targetDir = TargetInstall;
            strcpy(r.fileName, f.name.c_str());
            unsigned char rec[FileRecordSize];
            serializeFileRecord(r, rec);
            Bytes& vol = store.volumes[p.volume - 1];
            vol.insert(vol.end(), rec, rec + FileRecordSize);
            vol.insert(vol.end(), stream.begin() + p.streamOffset, stream.begin() + p.streamOffset + p.chunkSize);
        }
        total += static_cast<uint32_t>(f.data.size());
    }
    ArchiveHeader h = {total, static_cast<uint32_t>(files.size()), 1, 1, 0};
    serializeArchiveHeader(h, store.volumes[0].data() + 4);
    return store;
}

class CollectSink : public ArchiveSink {
public:
    std::vector<Bytes> files;
    std::vector<bool> ok;
    bool beginFile(const ArchiveFile&, std::string*) override {
        files.emplace_back();
        return true;
    }
    bool write(const unsigned char* data, size_t size, std::string*) override {
        files.back().insert(files.back().end(), data, data + size);
        return true;
    }
    void endFile(const ArchiveFile&, bool good) override { ok.push_back(good); }
};

std::vector<TestFile> sampleFiles() {
    std::mt19937 rng(5);
    std::vector<TestFile> files;
    Bytes noise(3000);
    for (auto& b : noise)
        b = static_cast<unsigned char>(rng());
    files.push_back({"noise.bin", noise});
    files.push_back({"empty.txt", {}});
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "line " + std::to_string(i) + " of the read me file\r\n";
    files.push_back({"readme.txt", Bytes(text.begin(), text.end())});
    return files;
}

std::string allErrors(const ArchiveReport& r) {
    std::string s;
    for (const auto& e : r.errors)
        s += e + "\n";
    return s;
}

TEST(Archive, ReadsAndExpandsASplitSet) {
    std::vector<TestFile> files = sampleFiles();
    MemoryVolumeSet store = buildVolumes(files, 2000);
    ASSERT_GE(store.volumes.size(), 3u);
    CollectSink sink;
    ArchiveReport report;
    readArchive(store, true, &sink, &report);
    EXPECT_TRUE(report.errors.empty()) << allErrors(report);
    EXPECT_TRUE(report.warnings.empty());
    ASSERT_EQ(sink.files.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(sink.files[i] == files[i].data) << files[i].name;
        EXPECT_TRUE(sink.ok[i]);
    }
    EXPECT_EQ(report.files[0].firstVolume, 1u);
    EXPECT_GT(report.files[0].lastVolume, 1u);
    EXPECT_EQ(report.volumes, store.volumes.size());
    std::string listing = formatListing(report);
    EXPECT_NE(listing.find("install\\readme.txt"), std::string::npos) << listing;
}

// A set of names in UTF-8 carries the header's flag and its names as they
// are, Western ones too; Windows compares them without case in every script.
TEST(Packer, Utf8NamesAreFlaggedAndReadBack) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(SETUP_NATIVE_BIN_DIR).parent_path() / "scratch" / "packer-utf8";
    fs::remove_all(dir);
    fs::create_directories(dir / "src");
    std::ofstream(dir / "src" / "a") << "alpha";
    std::ofstream(dir / "src" / "b") << "beta";
    const std::string head = "names utf-8\nfile src/a install \xE6\x97\xA5 1 name=\xCE\xA9.txt\n";
    Manifest clash, m;
    std::string error;
    PackSummary summary;
    ASSERT_TRUE(parseManifest(head + "file src/b install \xE6\x97\xA5 1 name=\xCF\x89.TXT\n", "m.txt", &clash, &error));
    EXPECT_FALSE(packArchive(clash, dir, dir / "clash", PackOptions(), &summary, &error, nullptr));
    EXPECT_NE(error.find("is already installed by line 2"), std::string::npos) << error;

    ASSERT_TRUE(parseManifest(head + "file src/b install \xE6\x97\xA5 1 name=Gr\xC3\xB6\xC3\x9F" "e.txt\n", "m.txt", &m,
                              &error));
    ASSERT_TRUE(packArchive(m, dir, dir / "out", PackOptions(), &summary, &error, nullptr)) << error;
    DirectoryVolumeSet volumes(dir / "out");
    CollectSink sink;
    ArchiveReport report;
    readArchive(volumes, true, &sink, &report);
    EXPECT_TRUE(report.errors.empty()) << allErrors(report);
    const int32_t format = report.header.formatVersion;  // packed: read out first
    EXPECT_EQ(1 | ArchiveNamesUtf8, format);
    ASSERT_EQ(2u, report.files.size());
    EXPECT_STREQ("\xCE\xA9.txt", report.files[0].record.fileName);
    EXPECT_STREQ("Gr\xC3\xB6\xC3\x9F" "e.txt", report.files[1].record.fileName);
    EXPECT_TRUE(sink.files[1] == Bytes({'b', 'e', 't', 'a'}));
    EXPECT_NE(formatListing(report).find("install\\\xE6\x97\xA5\\\xCE\xA9.txt"), std::string::npos)
        << formatListing(report);
}

// Expects an error that contains every one of `parts`.
void expectError(MemoryVolumeSet& store, bool expand, const std::vector<std::string>& parts) {
    ArchiveReport report;
    readArchive(store, expand, nullptr, &report);
    std::string all = allErrors(report);
    bool found = false;
    for (const auto& e : report.errors) {
        bool every = true;
        for (const auto& p : parts)
            every &= e.find(p) != std::string::npos;
        found |= every;
    }
    EXPECT_TRUE(found) << "errors:\n" << all << "wanted: " << parts[0];
}

TEST(Archive, DamageIsReportedWithFileAndVolume) {
    const std::vector<TestFile> files = sampleFiles();
    const MemoryVolumeSet clean = buildVolumes(files, 2000);

    MemoryVolumeSet s = clean;
    s.volumes[1].resize(s.volumes[1].size() - 100); // noise.bin continues in Data2
    expectError(s, false, {"Data2.Dat ends", "noise.bin"});

    s = clean;
    writeLe32(s.volumes[1].data(), 7);
    expectError(s, false, {"Data2.Dat holds volume number 7"});

    s = clean;
    s.volumes.resize(1);
    expectError(s, false, {"Data2.Dat not found", "noise.bin"});

    s = clean;
    writeLe32(s.volumes[0].data() + 24 + 40, 9); // first record's targetDir
    expectError(s, false, {"Data1.Dat", "target directory 9"});

    s = clean;
    writeLe32(s.volumes[0].data() + 4 + 12, 2); // format version
    expectError(s, false, {"format version 2"});

    // File count one short: the last file is left over, in its own volume
    // or after the second file.
    s = clean;
    writeLe32(s.volumes[0].data() + 4 + 4, 2);
    ArchiveReport shortCount;
    readArchive(s, false, nullptr, &shortCount);
    EXPECT_EQ(shortCount.errors.size(), 1u) << allErrors(shortCount);

    s = clean;
    writeLe32(s.volumes[0].data() + 4 + 4, 4); // one file too many
    expectError(s, false, {"file 4 of 4"});

    s = clean;
    s.volumes.push_back(Bytes(4, 0));
    writeLe32(s.volumes.back().data(), static_cast<uint32_t>(s.volumes.size()));
    expectError(s, false, {"Data" + std::to_string(s.volumes.size()) + ".Dat follows the last volume"});

    // Bytes after the last chunk.
    s = clean;
    s.volumes.back().push_back(0);
    expectError(s, false, {"1 byte follows the last file"});
    ArchiveReport report;

    // Damaged compressed data: listing sees nothing wrong, verifying does.
    s = clean;
    Bytes& last = s.volumes.back();
    for (size_t i = last.size() - 40; i < last.size() - 20; ++i)
        last[i] ^= 0x5A;
    readArchive(s, false, nullptr, &report);
    EXPECT_TRUE(report.errors.empty()) << allErrors(report);
    expectError(s, true, {"readme.txt"});

    // A first record with no data after it.
    std::vector<TestFile> one = {{"a.txt", Bytes(10, 'a')}};
    s = buildVolumes(one, 0);
    writeLe32(s.volumes[0].data() + 24 + 12, 0);
    expectError(s, false, {"chunk size 0"});
}

// Records and continuation records that a volume cuts short or leaves out:
// the reading rules stop there, the message names the volume and the file.
TEST(Archive, MissingAndCutRecordsAreNamed) {
    const std::vector<TestFile> files = sampleFiles();
    const MemoryVolumeSet clean = buildVolumes(files, 2000);

    // A continuation volume that holds only its number.
    MemoryVolumeSet s = clean;
    s.volumes[1].resize(4);
    expectError(s, false, {"Data2.Dat ends inside the continuation record of file 1", "noise.bin"});
    expectError(s, true, {"Data2.Dat ends inside the continuation record of file 1", "noise.bin"});

    // A continuation record cut short.
    s = clean;
    s.volumes[1].resize(4 + 300);
    expectError(s, true, {"Data2.Dat ends inside the continuation record of file 1"});

    // The record of the second file cut short, in one volume.
    std::vector<TestFile> two = {{"a.txt", Bytes(10, 'a')}, {"b.txt", Bytes(10, 'b')}};
    s = buildVolumes(two, 0);
    const size_t second = 24 + FileRecordSize + readLe32(s.volumes[0].data() + 24 + 12);
    s.volumes[0].resize(second + 100);
    expectError(s, false, {"Data1.Dat ends inside the record of file 2 (100 of 564 bytes)"});

    // A volume that ends after a chunk, then one that holds only its number
    // where the next file should begin.
    std::vector<TestFile> one = {{"a.txt", Bytes(10, 'a')}};
    s = buildVolumes(one, 0);
    writeLe32(s.volumes[0].data() + 4 + 4, 2); // two files
    s.volumes.push_back(Bytes(4, 0));
    writeLe32(s.volumes[1].data(), 2);
    expectError(s, false, {"Data2.Dat holds no record; file 2 of 2 is missing"});
}

TEST(Archive, ContinuationNamingAnotherFileIsAWarning) {
    MemoryVolumeSet s = buildVolumes(sampleFiles(), 2000);
    s.volumes[1][4 + 304] ^= 0x20; // the continuation record's file name
    ArchiveReport report;
    readArchive(s, true, nullptr, &report);
    EXPECT_TRUE(report.errors.empty()) << allErrors(report);
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(report.warnings[0].find("Data2.Dat: the continuation record of file 1"), std::string::npos)
        << report.warnings[0];
    EXPECT_GT(report.files[0].lastVolume, 1u); // the continuation still counts
}

TEST(Archive, EmptyFileStreamIsPaddedAndExpands) {
    std::vector<TestFile> files = {{"empty.dat", {}}};
    MemoryVolumeSet store = buildVolumes(files, 0);
    EXPECT_EQ(store.volumes[0].size(), 24u + 564 + 5);
    CollectSink sink;
    ArchiveReport report;
    readArchive(store, true, &sink, &report);
    EXPECT_TRUE(report.errors.empty()) << allErrors(report);
    ASSERT_EQ(sink.files.size(), 1u);
    EXPECT_TRUE(sink.files[0].empty());
    // Unpadded, the installer's decoder refuses it.
    store.volumes[0].pop_back();
    writeLe32(store.volumes[0].data() + 24 + 12, 4);
    expectError(store, true, {"4 bytes or shorter"});
}

// Names by the installer's rules: a device name, and two files that Windows
// makes one (same name but for case, a file that is another's folder), are
// damage; so is a record the check file does not know.
TEST(Archive, HostileNamesAndForeignRecordsAreDamage) {
    const std::vector<TestFile> files = sampleFiles();
    const MemoryVolumeSet clean = buildVolumes(files, 0);
    auto rename = [](MemoryVolumeSet& s, size_t at, const char* subDir, const char* name) {
        tagCompressFileHeader r = parseFileRecord(&s.volumes[0][at]);
        memset(r.subDir, 0, sizeof r.subDir);
        strcpy(r.subDir, subDir);
        memset(r.fileName, 0, sizeof r.fileName);
        strcpy(r.fileName, name);
        serializeFileRecord(r, &s.volumes[0][at]);
    };
    // Where the records of noise.bin, empty.txt and readme.txt stand.
    const size_t rec1 = 24;
    const size_t rec2 = rec1 + FileRecordSize + readLe32(&clean.volumes[0][rec1 + 12]);
    const size_t rec3 = rec2 + FileRecordSize + readLe32(&clean.volumes[0][rec2 + 12]);

    MemoryVolumeSet s = clean;
    rename(s, rec1, "", "nul.txt");
    expectError(s, true, {"file 1", "nul.txt", "Windows device"});
    s = clean;
    rename(s, rec1, "COM1", "x");
    expectError(s, false, {"file 1", "subfolder", "Windows device"});
    s = clean;
    rename(s, rec3, "", "NOISE.BIN");
    expectError(s, false, {"file 3", "NOISE.BIN", "names the same file as file 1"});
    s = clean;
    rename(s, rec3, "Noise.bin", "x");
    expectError(s, false, {"file 3", "has a folder that is file 1"});
    s = clean;
    rename(s, rec1, "", "a\x81");
    rename(s, rec3, "", "a\x8D");
    expectError(s, false, {"file 1", "unassigned"});

    // With a check file, a record that differs from the packed one.
    s = clean;
    CheckTable table;
    table.headerCrc = crc32Update(0, &s.volumes[0][4], ArchiveHeaderSize);
    for (size_t at : {rec1, rec2, rec3})
        table.entries.push_back({crc32Update(0, &s.volumes[0][at], FileRecordSize), 0, 0});
    s.hasCheck = true;
    s.check = serializeCheckFile(table);
    s.volumes[0][rec2 + 24] ^= 1;  // its version
    expectError(s, false, {"file 2", "its record differs"});
}

TEST(Archive, EmptyVolumeIsReportedNotReadFrom) {
    MemoryVolumeSet s = buildVolumes(sampleFiles(), 2000);
    s.volumes[1].clear();
    expectError(s, true, {"Data2.Dat is empty"});
    s.volumes[0].clear();
    expectError(s, false, {"Data1.Dat is empty"});
}

TEST(Archive, GarbageNeverCrashes) {
    const MemoryVolumeSet clean = buildVolumes(sampleFiles(), 2000);
    std::mt19937 rng(9);
    for (int round = 0; round < 400; ++round) {
        MemoryVolumeSet s = clean;
        for (int k = 0; k < 1 + round % 6; ++k) {
            Bytes& v = s.volumes[rng() % s.volumes.size()];
            if (rng() % 5 == 0)
                v.resize(rng() % (v.size() + 1));
            else if (!v.empty())
                v[rng() % v.size()] = static_cast<unsigned char>(rng());
        }
        ArchiveReport report;
        CollectSink sink;
        readArchive(s, true, &sink, &report);
        formatListing(report);
    }
}

} // namespace
