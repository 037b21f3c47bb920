// The one-file setup: its payload rules (where the payload ends in a signed
// and an unsigned program, the index and trailer read back, every byte of
// the tail guarded, the names an index may hold, the stub's signature
// removed, the command line passed on) and `setupvol build` making one.
#include "tools/onefile/Payload.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "format/FileCheck.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"
#include "tools/setupvol/Build.h"
#include "tools/setupvol/Commands.h"

namespace fs = std::filesystem;

namespace {

void put16(std::vector<unsigned char>& b, size_t at, uint16_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

// A PE image of `sections` sections of 512 bytes after 512 bytes of
// headers, as a linker lays one out: PE32, or PE32+ when `plus`.
std::vector<unsigned char> peImage(bool plus, int sections = 2) {
    std::vector<unsigned char> b(512 + 512 * sections, 0);
    b[0] = 'M';
    b[1] = 'Z';
    writeLe32(&b[0x3C], 64);
    memcpy(&b[64], "PE\0\0", 4);
    const size_t optionalSize = plus ? 240 : 224;
    put16(b, 68 + 2, static_cast<uint16_t>(sections));
    put16(b, 68 + 16, static_cast<uint16_t>(optionalSize));
    put16(b, 88, plus ? 0x20B : 0x10B);
    writeLe32(&b[88 + (plus ? 108 : 92)], 16);
    for (int i = 0; i < sections; ++i) {
        unsigned char* s = &b[88 + optionalSize + 40 * i];
        writeLe32(s + 16, 512);
        writeLe32(s + 20, 512 + 512 * i);
    }
    return b;
}

size_t securityEntry(bool plus) { return 88 + (plus ? 112 : 96) + 4 * 8; }

// Appends a certificate table as a signer does: padding to 8 bytes, the
// table, its place in the directory.
void sign(std::vector<unsigned char>* pe, bool plus, size_t tableSize = 1200) {
    pe->resize((pe->size() + 7) / 8 * 8, 0);
    writeLe32(&(*pe)[securityEntry(plus)], static_cast<uint32_t>(pe->size()));
    writeLe32(&(*pe)[securityEntry(plus) + 4], static_cast<uint32_t>(tableSize));
    pe->resize(pe->size() + tableSize, 0xC5);
}

struct Built {
    std::vector<unsigned char> file;
    std::vector<PayloadEntry> entries;
};

// An image with three files of the given sizes as its payload.
Built withPayload(bool plus, const std::vector<size_t>& sizes) {
    Built b;
    b.file = peImage(plus);
    const char* names[] = {"GenericSetup.exe", "docs/Licence.txt", "Data1.Dat", "Data.Chk"};
    for (size_t i = 0; i < sizes.size(); ++i) {
        std::vector<unsigned char> bytes(sizes[i]);
        for (size_t k = 0; k < bytes.size(); ++k)
            bytes[k] = static_cast<unsigned char>(k * 7 + i);
        PayloadEntry e;
        e.name = names[i];
        e.size = bytes.size();
        e.crc = crc32Update(0, bytes.data(), bytes.size());
        b.entries.push_back(e);
        b.file.insert(b.file.end(), bytes.begin(), bytes.end());
    }
    std::vector<unsigned char> tail = serializePayloadTail(b.entries);
    b.file.insert(b.file.end(), tail.begin(), tail.end());
    return b;
}

// Reads the payload of `file` as the stub does; the entries on success.
PayloadFault readBack(const std::vector<unsigned char>& file, std::vector<PayloadEntry>* entries,
                      uint64_t* start = nullptr) {
    uint64_t at = 0;
    return readPayload(file.size(), [&](uint64_t offset, unsigned char* buffer, size_t size) {
        return offset + size <= file.size() && (memcpy(buffer, file.data() + offset, size), true);
    }, start ? start : &at, entries);
}

TEST(Payload, ReadsBackFromSignedAndUnsignedImagesOfBothWidths) {
    for (bool plus : {false, true})
        for (bool signed_ : {false, true})
            for (const std::vector<size_t>& sizes :
                 std::vector<std::vector<size_t>>{{}, {1}, {3, 0, 17}, {4096, 5, 70000, 7}}) {
                Built b = withPayload(plus, sizes);
                EXPECT_EQ(0u, b.file.size() % PayloadAlignment);
                const std::vector<unsigned char> unsignedFile = b.file;
                if (signed_)
                    sign(&b.file, plus);
                std::vector<PayloadEntry> read;
                uint64_t start = 0;
                ASSERT_EQ(PayloadFault::None, readBack(b.file, &read, &start)) << plus << signed_ << sizes.size();
                ASSERT_EQ(b.entries.size(), read.size());
                EXPECT_EQ(1536u, start);
                uint64_t offset = 0;
                for (size_t i = 0; i < read.size(); ++i) {
                    EXPECT_EQ(b.entries[i].name, read[i].name);
                    EXPECT_EQ(b.entries[i].size, read[i].size);
                    EXPECT_EQ(offset, read[i].offset);
                    EXPECT_EQ(b.entries[i].crc,
                              crc32Update(0, &unsignedFile[start + read[i].offset], read[i].size));
                    offset += read[i].size;
                }
            }
}

// Every byte after the files (padding, index, trailer) is guarded: changed,
// the payload is refused, never read as another one.
TEST(Payload, EveryByteOfTheTailIsChecked) {
    for (bool signed_ : {false, true}) {
        Built b = withPayload(false, {5, 0, 11});
        const size_t files = 1536 + 16, end = b.file.size();
        if (signed_)
            sign(&b.file, false);
        for (size_t at = files; at < end; ++at)
            for (unsigned char flip : {0x01, 0x80}) {
                std::vector<unsigned char> damaged = b.file;
                damaged[at] ^= flip;
                std::vector<PayloadEntry> read;
                EXPECT_NE(PayloadFault::None, readBack(damaged, &read)) << "byte " << at << " of " << end;
            }
    }
}

TEST(Payload, ACutOrLengthenedFileIsRefused) {
    struct Case {
        bool signed_;
        long change;  // bytes added (positive) or cut (negative)
        PayloadFault expected;
    };
    const Case cases[] = {
        {false, 0, PayloadFault::None},           {true, 0, PayloadFault::None},
        {true, -1, PayloadFault::CutOrOverlong},  {true, 1, PayloadFault::CutOrOverlong},
        {true, -1300, PayloadFault::CutOrOverlong}, {false, -1, PayloadFault::NoPayload},
        {false, -8, PayloadFault::NoPayload},     {false, -800, PayloadFault::CutOrOverlong},
        {false, 8, PayloadFault::NoPayload},
    };
    for (const Case& c : cases) {
        Built b = withPayload(false, {100, 200, 300});
        if (c.signed_)
            sign(&b.file, false);
        b.file.resize(b.file.size() + c.change, 0);
        std::vector<PayloadEntry> read;
        EXPECT_EQ(c.expected, readBack(b.file, &read)) << c.signed_ << " " << c.change;
    }
    std::vector<unsigned char> bare = peImage(false);
    std::vector<PayloadEntry> read;
    EXPECT_EQ(PayloadFault::NoPayload, readBack(bare, &read));
    bare[1] = 'X';
    EXPECT_EQ(PayloadFault::NotPe, readBack(bare, &read));
}

TEST(Payload, NamesThatCouldLeaveTheFolderOrNameADeviceAreRefused) {
    const char* good[] = {"Setup.Dll", "docs/licence.txt", "Lizenz-\xC3\x9C" "bersicht.txt", "a b/c.d/e",
                          "nul1", "console", "..a"};
    const std::string bad[] = {"", "/abs", "C:x", "a/../b", "..", ".", "a//b", "a/", "nul.txt", "docs/CON",
                               "COM\xC2\xB9", "LPT3.log", "a\\b", "trail.", "trail ", std::string("ctl\x01"),
                               "q?", "p|q", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                               std::string(PayloadMaxName + 1, 'a')};
    for (const char* name : good)
        EXPECT_TRUE(isSafePayloadName(name)) << name;
    for (const std::string& name : bad)
        EXPECT_FALSE(isSafePayloadName(name)) << name;
    EXPECT_TRUE(isSafePayloadName(std::string(PayloadMaxName, 'a')));
}

// Refused in an index too, as is one name twice without regard to case,
// although the index's checks are right.
TEST(Payload, AnIndexWithABadOrRepeatedNameIsRefused) {
    for (const auto& names : std::vector<std::vector<std::string>>{
             {"ok", "sub/ok"}, {"Setup.Dll", "../Setup.Dll"}, {"Data1.Dat", "DATA1.dat"}, {"aux"}}) {
        std::vector<PayloadEntry> entries(names.size());
        for (size_t i = 0; i < names.size(); ++i)
            entries[i].name = names[i];
        std::vector<unsigned char> tail = serializePayloadTail(entries);
        PayloadTrailer trailer;
        ASSERT_EQ(PayloadFault::None, parsePayloadTrailer(&tail[tail.size() - 32], 0, tail.size(), &trailer));
        const size_t region = payloadIndexRegion(trailer);
        std::vector<PayloadEntry> read;
        EXPECT_EQ(names[1 % names.size()] == "sub/ok" ? PayloadFault::None : PayloadFault::BadName,
                  parsePayloadIndex(&tail[tail.size() - 32 - region], region, trailer, &read)) << names[0];
    }
}

TEST(Payload, TheStubsSignatureIsRemovedAndAPayloadRefused) {
    for (bool plus : {false, true}) {
        const std::vector<unsigned char> bare = peImage(plus);
        std::vector<unsigned char> stub = bare;
        writeLe32(&stub[88 + 64], 0x1234);  // the checksum a signer sets
        sign(&stub, plus);
        ASSERT_EQ(PayloadFault::None, stripSignature(&stub));
        EXPECT_EQ(bare, stub);
        std::vector<unsigned char> again = bare;
        EXPECT_EQ(PayloadFault::None, stripSignature(&again));
        EXPECT_EQ(bare, again);
        Built carrying = withPayload(plus, {10});
        EXPECT_EQ(PayloadFault::NotPe, stripSignature(&carrying.file));
        sign(&carrying.file, plus);
        EXPECT_EQ(PayloadFault::NotPe, stripSignature(&carrying.file));
    }
}

TEST(Payload, TheArgumentsFollowTheProgramName) {
    const char* cases[][2] = {
        {"Setup.exe /S /D=C:\\A B", "/S /D=C:\\A B"},
        {"\"C:\\Down loads\\Setup.exe\"  /S", "/S"},
        {"\"C:\\Down loads\\Setup.exe\"", ""},
        {"\"C:\\a b\"c.exe x", "x"},
        {"Setup.exe\t\"/D=C:\\x y\"", "\"/D=C:\\x y\""},
        {"Setup.exe", ""},
        {"", ""},
        {"\"unclosed /S", ""},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c[1], argumentsAfterProgram(c[0])) << c[0];
}

// --- setupvol build -------------------------------------------------------

std::vector<unsigned char> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

const char* const kLanguages[] = {"en", "fr", "ge", "hl", "sp", "it", "po", "sw", "nr", "fn"};

// A runtime folder (a signed stub, stand-ins for the rest) and a product
// with a licence page in two languages and an inline manifest.
struct BuildKit {
    fs::path root, runtime, product;
    std::vector<unsigned char> bareStub = peImage(false);

    explicit BuildKit(const std::string& name, const std::string& manifestExtra = "") {
        root = fs::path(SETUP_NATIVE_BIN_DIR).parent_path() / "scratch" / "onefile" / name;
        fs::remove_all(root);
        runtime = root / "runtime";
        fs::create_directories(runtime);
        std::vector<unsigned char> stub = bareStub;
        sign(&stub, false);
        std::ofstream(runtime / "SetupStub.exe", std::ios::binary)
            .write(reinterpret_cast<const char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
        for (const char* name : {"GenericSetup.exe", "Setup.Dll", "QRVUnins.Exe"})
            writeText(runtime / name, std::string("runtime ") + name);
        for (const char* code : kLanguages)
            writeText(runtime / (std::string("Setup_") + code + ".Dll"), code);
        writeText(root / "product" / "prog.txt", "the program");
        writeText(root / "product" / "docs" / "licence.txt", "licence");
        writeText(root / "product" / "docs" / "licence_fr.txt", "licence fr");
        product = root / "product" / "Product.toml";
        writeText(product, "[product]\nname = \"P\"\nversion = \"1.0\"\npublisher = \"Q\"\n"
                           "languages = [\"en\", \"fr\"]\n"
                           "[files]\nlines = \"\"\"\nfile prog.txt install - 1\n" + manifestExtra + "\"\"\"\n"
                           "[[component]]\nname = \"Program\"\n"
                           "[pages.licence]\nfile = { en = \"docs/licence.txt\", fr = 'docs\\licence_fr.txt' }\n");
    }
    int build(const std::vector<std::string>& extra, std::string* output) {
        std::vector<std::string> args = {"build", product.string(), "--runtime", runtime.string(), "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::ostringstream out, err;
        int code = runBuild(args, out, err);
        *output = out.str() + err.str();
        return code;
    }
};

TEST(SetupvolBuild, OneFileHoldsTheSetupItsRuntimeTheProductAndItsVolumes) {
    BuildKit kit("one");
    const fs::path exe = kit.root / "out" / "Setup.exe";
    fs::create_directories(exe.parent_path());
    std::string output;
    ASSERT_EQ(0, kit.build({"-o", exe.string()}, &output)) << output;
    const std::vector<unsigned char> file = readAll(exe);
    // The stub's own signature is gone: the payload follows its bare image.
    ASSERT_GT(file.size(), kit.bareStub.size());
    EXPECT_TRUE(std::equal(kit.bareStub.begin(), kit.bareStub.end(), file.begin()));
    std::vector<PayloadEntry> entries;
    uint64_t start = 0;
    ASSERT_EQ(PayloadFault::None, readBack(file, &entries, &start));
    std::vector<std::string> names, expected = {"GenericSetup.exe", "Setup.Dll"};
    // The product's two languages only, of the ten in the runtime.
    expected.insert(expected.end(), {"Setup_en.Dll", "Setup_fr.Dll", "Product.toml", "docs/licence.txt",
                                     "docs/licence_fr.txt", "Data1.Dat", "Data.Chk"});
    for (const PayloadEntry& e : entries) {
        names.push_back(e.name);
        const std::vector<unsigned char> bytes(&file[start + e.offset], &file[start + e.offset] + e.size);
        EXPECT_EQ(e.crc, crc32Update(0, bytes.data(), bytes.size())) << e.name;
        if (e.name == "Product.toml" || e.name == "Setup_fr.Dll") {
            EXPECT_EQ(readAll(e.name == "Product.toml" ? kit.product : kit.runtime / e.name), bytes);
        } else if (e.name == "Data1.Dat") {  // the uninstaller build adds: its record names it
            const std::string added = "QRVUnins.Exe";
            EXPECT_NE(bytes.end(), std::search(bytes.begin(), bytes.end(), added.begin(), added.end()));
        }
    }
    EXPECT_EQ(expected, names);
    // Built again, the same bytes; the scratch volumes are gone.
    ASSERT_EQ(0, kit.build({"-o", exe.string(), "--threads", "3"}, &output)) << output;
    EXPECT_EQ(file, readAll(exe));
    EXPECT_EQ(std::vector<fs::path>{exe}, std::vector<fs::path>(fs::directory_iterator(exe.parent_path()), {}));
}

TEST(SetupvolBuild, TheFloppyLayoutPutsTheSetupBesideTheFirstVolume) {
    // The manifest installs the uninstaller itself: it is not added twice.
    // A name outside Windows-1252 packs: the generic setup speaks UTF-8.
    BuildKit kit("floppy", "file ../runtime/QRVUnins.Exe windows - 1\nfile prog.txt install - 1 name=\xCE\xA9.txt\n");
    std::string output;
    ASSERT_EQ(0, kit.build({"-o", (kit.root / "disks").string(), "--disk-dirs"}, &output)) << output;
    const fs::path disk1 = kit.root / "disks" / "Disk1";
    for (const char* name : {"Setup.exe", "Setup.Dll", "Setup_fr.Dll", "Product.toml", "docs/licence_fr.txt",
                             "Data1.Dat", "Data.Chk"})
        EXPECT_TRUE(fs::is_regular_file(disk1 / name)) << name;
    EXPECT_FALSE(fs::exists(disk1 / "Setup_fn.Dll"));
    EXPECT_EQ(readAll(kit.runtime / "GenericSetup.exe"), readAll(disk1 / "Setup.exe"));
    EXPECT_FALSE(fs::exists(disk1 / "SetupStub.exe"));
    const std::vector<unsigned char> volume = readAll(disk1 / "Data1.Dat");
    ASSERT_GE(volume.size(), size_t(FirstVolumeDataOffset));
    EXPECT_TRUE(archiveNamesUtf8(parseArchiveHeader(&volume[VolumeNumberSize]).formatVersion));
}

TEST(SetupvolBuild, FaultsAreReportedAndLeaveNothingBehind) {
    struct Case {
        const char* what;
        std::string from, to;  // in the product file; empty: a runtime file removed
        const char* message;
    };
    const Case cases[] = {
        {"page file outside", "docs/licence.txt", "../licence.txt", "must be a plain relative path"},
        {"page file absolute", "docs/licence.txt", "/etc/passwd", "must be a plain relative path"},
        {"page file a device", "docs/licence.txt", "docs/nul.txt", "must be a plain relative path"},
        {"group without component", "install - 1", "install - 2", "Product.toml"},
        {"a language library of the product missing", "", "Setup_fr.Dll", "missing:"},
        {"stub missing", "", "SetupStub.exe", "missing:"},
        {"source missing", "prog.txt install", "gone.txt install", "gone.txt"},
    };
    for (const Case& c : cases) {
        BuildKit kit("fault");
        if (c.from.empty()) {
            fs::remove(kit.runtime / c.to);
        } else {
            std::string text;
            std::ifstream in(kit.product);
            text.assign(std::istreambuf_iterator<char>(in), {});
            text.replace(text.find(c.from), c.from.size(), c.to);
            writeText(kit.product, text);
        }
        const fs::path out = kit.root / "out";
        fs::create_directories(out);
        std::string output;
        EXPECT_EQ(1, kit.build({"-o", (out / "Setup.exe").string()}, &output)) << c.what;
        EXPECT_NE(std::string::npos, output.find(c.message)) << c.what << ": " << output;
        EXPECT_TRUE(fs::is_empty(out)) << c.what;
    }
}

}  // namespace
