// The volume format: byte layout of the header and records, version texts as
// the installer reads them, the layout planner at awkward split points, and
// the check file (Data.Chk) with its CRC-32.
#include "format/VolumeFormat.h"

#include "format/FileCheck.h"

#include <gtest/gtest.h>

#include <string.h>

#include <random>

namespace {

TEST(VolumeFormat, HeaderBytes) {
    ArchiveHeader h = {0x01020304u, 7, 3, 1, 23};
    unsigned char b[ArchiveHeaderSize];
    serializeArchiveHeader(h, b);
    const unsigned char want[20] = {4, 3, 2, 1, 7, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 23, 0, 0, 0};
    EXPECT_EQ(memcmp(b, want, 20), 0);
    ArchiveHeader back = parseArchiveHeader(b);
    EXPECT_EQ(back.totalSize, h.totalSize);
    EXPECT_EQ(back.fileCount, 7u);
    EXPECT_EQ(back.groupCount, 3);
    EXPECT_EQ(back.formatVersion, 1);
    EXPECT_EQ(back.shortcutPrefixLength, 23u);
}

TEST(VolumeFormat, RecordBytes) {
    tagCompressFileHeader r;
    memset(&r, 0xAA, sizeof r); // garbage after the terminators must not leak
    r.continued = 1;
    r.lastWriteTime.dwLowDateTime = 0x11223344u;
    r.lastWriteTime.dwHighDateTime = 0x01D00000u;
    r.chunkSize = 1000;
    r.expandedSize = 0xFFFFFFFFu;
    r.group = 2;
    r.version[0] = 1;
    r.version[1] = -2;
    r.version[2] = 3;
    r.version[3] = 4;
    r.targetDir = 4;
    strcpy(r.subDir, "Help\\Pages");
    strcpy(r.fileName, "index.htm");
    unsigned char b[FileRecordSize];
    serializeFileRecord(r, b);
    EXPECT_EQ(readLe32(b + 0), 1u);
    EXPECT_EQ(readLe32(b + 4), 0x11223344u);
    EXPECT_EQ(readLe32(b + 8), 0x01D00000u);
    EXPECT_EQ(readLe32(b + 12), 1000u);
    EXPECT_EQ(readLe32(b + 16), 0xFFFFFFFFu);
    EXPECT_EQ(readLe32(b + 20), 2u);
    EXPECT_EQ(readLe32(b + 28), 0xFFFFFFFEu);
    EXPECT_EQ(readLe32(b + 40), 4u);
    EXPECT_EQ(memcmp(b + 44, "Help\\Pages\0\0", 12), 0);
    EXPECT_EQ(memcmp(b + 304, "index.htm\0\0", 11), 0);
    for (size_t i = 304 + 9; i < 564; ++i)
        ASSERT_EQ(b[i], 0) << i;
    tagCompressFileHeader back = parseFileRecord(b);
    EXPECT_EQ(back.version[1], -2);
    EXPECT_STREQ(back.subDir, "Help\\Pages");
    EXPECT_STREQ(back.fileName, "index.htm");
    EXPECT_TRUE(recordTextTerminated(b, true));
    // A terminated field keeps the bytes after its terminator, to its last
    // one: the engine writes the record back to Install.log as it was read.
    b[304 + 259] = 'q';
    EXPECT_EQ(parseFileRecord(b).fileName[259], 'q');
    // A name field without a terminator is cut on parsing and reported.
    memset(b + 304, 'x', 260);
    EXPECT_FALSE(recordTextTerminated(b, true));
    EXPECT_EQ(strlen(parseFileRecord(b).fileName), 259u);
}

TEST(VolumeFormat, VersionTextsAsTheInstallerReadsThem) {
    struct Case {
        const char* text;
        int32_t want[4];
    } cases[] = {
        {"4.00.950", {4, 0, 950, 0}},
        {"1, 2, 3, 4", {1, 0, 0, 0}},       // commas are not separators
        {"1.2.3.4.5", {1, 2, 3, 4}},        // only the first four pieces count
        {"1.10", {1, 10, 0, 0}},
        {" 2. 3.\t4", {2, 3, 4, 0}},        // white space before each number
        {"-3.+4.x.7", {-3, 4, 0, 7}},       // signs; no digits gives 0
        {"5.1 (build 2600)", {5, 1, 0, 0}}, // the rest of a piece is ignored
        {"", {0, 0, 0, 0}},
        {"...", {0, 0, 0, 0}},
        {"99999999999.1", {2147483647, 1, 0, 0}}, // out of range clamps
        {"-99999999999", {-2147483647 - 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        int32_t v[4] = {9, 9, 9, 9};
        parseVersionText(c.text, v);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(v[i], c.want[i]) << "'" << c.text << "' part " << i;
    }
}

TEST(VolumeFormat, ResourceVersionTextFirstThenFixedRecord) {
    struct Case {
        const char* text;
        FixedVersion fixed;
        int32_t want[4];
    } cases[] = {
        {"4.0", {true, 0x00050006, 0x00070008}, {4, 0, 0, 0}},  // the text wins, even when older
        {"", {true, 0x00050006, 0x00070008}, {0, 0, 0, 0}},     // an empty text is still the text
        {nullptr, {true, 0x00050006, 0x00070008}, {5, 6, 7, 8}},
        {nullptr, {true, 0xFFFF0001, 0x8000FFFF}, {65535, 1, 32768, 65535}},  // 16-bit numbers, never negative
        {nullptr, {false, 0x00050006, 0x00070008}, {0, 0, 0, 0}},  // no record: 0.0.0.0
    };
    for (const Case& c : cases) {
        int32_t v[4] = {9, 9, 9, 9};
        resourceFileVersion(c.text, c.fixed, v);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(v[i], c.want[i]) << (c.text ? c.text : "(no text)") << " part " << i;
    }
}

TEST(VolumeFormat, VersionsCompareNumberByNumber) {
    int32_t a[4] = {1, 10, 0, 0}, b[4] = {1, 9, 99, 99}, c[4] = {1, 10, 0, 0}, n[4] = {-1, 0, 0, 0};
    EXPECT_EQ(compareVersions(a, b), 1);
    EXPECT_EQ(compareVersions(b, a), -1);
    EXPECT_EQ(compareVersions(a, c), 0);
    EXPECT_EQ(compareVersions(n, b), -1); // signed
}

// Checks every rule of the layout over a plan; returns the problems found.
std::string checkPlan(const std::vector<uint64_t>& sizes, uint64_t cap, const std::vector<VolumePiece>& pieces,
                      const std::vector<uint64_t>& volumeSizes) {
    std::vector<uint64_t> offsetInVolume(volumeSizes.size() + 1, 0);
    for (size_t v = 0; v < volumeSizes.size(); ++v)
        offsetInVolume[v] = v == 0 ? FirstVolumeDataOffset : LaterVolumeDataOffset;
    size_t file = 0;
    uint64_t fileDone = 0;
    uint32_t prevVolume = 1;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const VolumePiece& p = pieces[i];
        std::string at = "piece " + std::to_string(i) + ": ";
        if (p.volume < prevVolume)
            return at + "goes back a volume";
        if (p.volume - 1 >= volumeSizes.size())
            return at + "volume out of range";
        if (p.offset != offsetInVolume[p.volume - 1])
            return at + "not directly after the previous chunk";
        offsetInVolume[p.volume - 1] += FileRecordSize + p.chunkSize;
        if (cap && offsetInVolume[p.volume - 1] > cap)
            return at + "volume over its cap";
        if (p.file != file || p.streamOffset != fileDone)
            return at + "out of order";
        if (p.first != (fileDone == 0))
            return at + "first flag wrong";
        if (p.first && sizes[file] > 0 && p.chunkSize == 0)
            return at + "a first piece without data";
        if (!p.first && (p.volume != prevVolume + 1 || p.offset != LaterVolumeDataOffset))
            return at + "a continuation not at the start of the next volume";
        fileDone += p.chunkSize;
        if (p.continued != (fileDone < sizes[file]))
            return at + "continued flag wrong";
        if (!p.continued) {
            ++file;
            fileDone = 0;
        }
        prevVolume = p.volume;
    }
    if (file != sizes.size())
        return "not every file placed";
    for (size_t v = 0; v < volumeSizes.size(); ++v)
        if (volumeSizes[v] != offsetInVolume[v])
            return "volume size " + std::to_string(v + 1) + " wrong";
    return "";
}

// The check file beside Data1.Dat: its CRC-32, and its bytes read back or
// refused when damaged.
TEST(FileCheck, CrcOfKnownTextsAndInPieces) {
    EXPECT_EQ(0u, crc32Update(0, "", 0));
    EXPECT_EQ(0xCBF43926u, crc32Update(0, "123456789", 9));
    EXPECT_EQ(0x414FA339u, crc32Update(0, "The quick brown fox jumps over the lazy dog", 43));
    std::mt19937 rng(9);
    std::vector<unsigned char> data(10007);
    for (auto& b : data)
        b = static_cast<unsigned char>(rng());
    const uint32_t whole = crc32Update(0, data.data(), data.size());
    for (size_t cut : {size_t{0}, size_t{1}, size_t{3}, size_t{4095}, size_t{10006}}) {
        uint32_t c = crc32Update(0, data.data(), cut);
        EXPECT_EQ(whole, crc32Update(c, data.data() + cut, data.size() - cut)) << cut;
    }
    data[5000] ^= 0x40;
    EXPECT_NE(whole, crc32Update(0, data.data(), data.size()));
}

TEST(FileCheck, CheckFileBytesAndDamage) {
    CheckTable table;
    unsigned char header[ArchiveHeaderSize] = {1, 2, 3};
    table.headerCrc = crc32Update(0, header, sizeof header);
    table.entries.push_back({0x11111111u, 10, 0x22222222u});
    table.entries.push_back({0x33333333u, 0, 0});
    std::vector<unsigned char> bytes = serializeCheckFile(table);
    ASSERT_EQ(size_t{CheckHeaderSize + 2 * CheckEntrySize + CheckTrailerSize}, bytes.size());
    EXPECT_EQ(0, memcmp(bytes.data(), "SVCK", 4));

    CheckTable back;
    ASSERT_EQ(CheckFileState::Valid, parseCheckFile(bytes.data(), bytes.size(), &back));
    ASSERT_EQ(2u, back.entries.size());
    EXPECT_EQ(0x22222222u, back.entries[0].dataCrc);
    EXPECT_EQ(10u, back.entries[0].expandedSize);
    EXPECT_EQ(0x33333333u, back.entries[1].recordCrc);
    EXPECT_TRUE(checkTableFitsHeader(back, header, 2));
    EXPECT_FALSE(checkTableFitsHeader(back, header, 3));
    header[7] ^= 1;
    EXPECT_FALSE(checkTableFitsHeader(back, header, 2));

    // Any flipped bit, a missing or extra byte, a count that lies.
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::vector<unsigned char> bad = bytes;
        bad[i] ^= 0x01;
        EXPECT_EQ(CheckFileState::Damaged, parseCheckFile(bad.data(), bad.size(), &back)) << i;
    }
    EXPECT_EQ(CheckFileState::Damaged, parseCheckFile(bytes.data(), bytes.size() - 1, &back));
    std::vector<unsigned char> longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(CheckFileState::Damaged, parseCheckFile(longer.data(), longer.size(), &back));
    EXPECT_EQ(CheckFileState::Damaged, parseCheckFile(bytes.data(), 0, &back));
    std::vector<unsigned char> huge = bytes;
    writeLe32(&huge[8], 0xFFFFFFFFu);
    EXPECT_EQ(CheckFileState::Damaged, parseCheckFile(huge.data(), huge.size(), &back));

    // Another format version or magic whose own CRC is right: refused for
    // what it says, not because a flipped bit broke the CRC.
    auto resealed = [&](size_t at, uint32_t value) {
        std::vector<unsigned char> other = bytes;
        writeLe32(&other[at], value);
        writeLe32(&other[other.size() - CheckTrailerSize], crc32Update(0, other.data(), other.size() - CheckTrailerSize));
        return parseCheckFile(other.data(), other.size(), &back);
    };
    EXPECT_EQ(CheckFileState::Valid, resealed(4, CheckFormatVersion));
    EXPECT_EQ(CheckFileState::Damaged, resealed(4, CheckFormatVersion + 1));
    EXPECT_EQ(CheckFileState::Damaged, resealed(4, 0));
    EXPECT_EQ(CheckFileState::Damaged, resealed(0, readLe32(reinterpret_cast<const unsigned char*>("SVCL"))));
}

TEST(VolumePlanner, SingleVolumeWithoutCap) {
    std::vector<VolumePiece> pieces;
    std::vector<uint64_t> vols;
    std::string error;
    ASSERT_TRUE(planVolumes({5, 100, 7}, 0, &pieces, &vols, &error));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].offset, 24u); // after the number and the header
    EXPECT_EQ(pieces[1].offset, 24u + 564 + 5);
    ASSERT_EQ(vols.size(), 1u);
    EXPECT_EQ(vols[0], 24u + 3 * 564 + 112);
    EXPECT_EQ(checkPlan({5, 100, 7}, 0, pieces, vols), "");
}

TEST(VolumePlanner, AwkwardSplitPoints) {
    std::vector<VolumePiece> pieces;
    std::vector<uint64_t> vols;
    std::string error;
    const uint64_t cap = 2000;

    // Volume 1 ends exactly after the first chunk: the next record opens
    // volume 2 at offset 4.
    uint64_t exact = cap - 24 - 564;
    ASSERT_TRUE(planVolumes({exact, 10}, cap, &pieces, &vols, &error));
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_FALSE(pieces[0].continued);
    EXPECT_EQ(pieces[1].volume, 2u);
    EXPECT_EQ(pieces[1].offset, 4u);
    EXPECT_EQ(vols[0], cap);

    // Room for a record and exactly one byte: the file starts there.
    uint64_t first = cap - 24 - 564 - 565;
    ASSERT_TRUE(planVolumes({first, 50}, cap, &pieces, &vols, &error));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[1].volume, 1u);
    EXPECT_EQ(pieces[1].chunkSize, 1u);
    EXPECT_TRUE(pieces[1].continued);
    EXPECT_EQ(pieces[2].chunkSize, 49u);
    EXPECT_FALSE(pieces[2].first);

    // Room for a record but no byte: the record goes to the next volume
    // rather than be the last thing in this one.
    uint64_t noByte = cap - 24 - 564 - 564;
    ASSERT_TRUE(planVolumes({noByte, 50}, cap, &pieces, &vols, &error));
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[1].volume, 2u);
    EXPECT_TRUE(pieces[1].first);
    EXPECT_EQ(vols[0], cap - 564);

    // A file over three volumes: continued 1, 1, 0.
    ASSERT_TRUE(planVolumes({4000}, cap, &pieces, &vols, &error));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_TRUE(pieces[0].continued);
    EXPECT_TRUE(pieces[1].continued);
    EXPECT_FALSE(pieces[2].continued);
    EXPECT_EQ(pieces[0].chunkSize + pieces[1].chunkSize + pieces[2].chunkSize, 4000u);
    EXPECT_EQ(pieces[1].chunkSize, cap - 4 - 564);

    // A continued chunk that fills its volume to the byte, then the rest.
    uint64_t twoFull = (cap - 24 - 564) + (cap - 4 - 564);
    ASSERT_TRUE(planVolumes({twoFull, 1}, cap, &pieces, &vols, &error));
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_FALSE(pieces[1].continued);
    EXPECT_EQ(vols[1], cap);
    EXPECT_EQ(pieces[2].volume, 3u);

    EXPECT_EQ(checkPlan({twoFull, 1}, cap, pieces, vols), "");
}

TEST(VolumePlanner, SmallestCapAndTooSmall) {
    std::vector<VolumePiece> pieces;
    std::vector<uint64_t> vols;
    std::string error;
    const uint64_t cap = VolumePlanner::minimumCap();
    EXPECT_EQ(cap, 24u + 564 + 1);
    // One byte per volume in volume 1, then 21 per later volume.
    ASSERT_TRUE(planVolumes({100, 3}, cap, &pieces, &vols, &error)) << error;
    EXPECT_EQ(checkPlan({100, 3}, cap, pieces, vols), "");
    EXPECT_EQ(pieces[0].chunkSize, 1u);
    EXPECT_EQ(pieces[1].chunkSize, 21u);
    EXPECT_FALSE(planVolumes({100}, cap - 1, &pieces, &vols, &error));
    EXPECT_NE(error.find("589"), std::string::npos) << error;
}

TEST(VolumePlanner, RandomPlansKeepEveryRule) {
    std::mt19937 rng(42);
    for (int round = 0; round < 300; ++round) {
        uint64_t cap = round % 10 == 0 ? 0 : VolumePlanner::minimumCap() + rng() % 5000;
        std::vector<uint64_t> sizes(1 + rng() % 12);
        for (auto& s : sizes)
            s = rng() % 4 == 0 ? 5 : 5 + rng() % (rng() % 2 ? 200 : 20000);
        std::vector<VolumePiece> pieces;
        std::vector<uint64_t> vols;
        std::string error;
        ASSERT_TRUE(planVolumes(sizes, cap, &pieces, &vols, &error)) << error;
        ASSERT_EQ(checkPlan(sizes, cap, pieces, vols), "") << "round " << round << " cap " << cap;
    }
}

} // namespace
