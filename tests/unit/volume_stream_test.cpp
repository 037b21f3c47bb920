// Reading rules of the data volumes, served from memory: records, file data
// joined across volumes at awkward split points, plain bytes, skipping.
#include "reader/VolumeStream.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void put32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A 564-byte record; `tag` goes into the file name so records can be told apart.
Bytes record(uint32_t continued, uint32_t chunkSize, char tag = 'f') {
    Bytes r(FileRecordSize, 0);
    put32(r, 0, continued);
    put32(r, 12, chunkSize);
    r[304] = static_cast<unsigned char>(tag);
    return r;
}

Bytes pattern(size_t n, unsigned seed) {
    Bytes out(n);
    std::mt19937 g(seed);
    for (auto& b : out)
        b = static_cast<unsigned char>(g());
    return out;
}

void append(Bytes& to, const Bytes& what) { to.insert(to.end(), what.begin(), what.end()); }

// Volumes in memory, positioned after their volume number (volume 1 also
// after its archive header). The first volume is open from the start.
class MemoryVolumes : public VolumeSource {
public:
    std::vector<Bytes> volumes;  // contents after the number and header
    size_t current = 0;
    size_t position = 0;
    unsigned int maxPerRead = 0xFFFFFFFF;  // smaller: the source delivers in pieces
    int opens = 0;
    int damagedReports = 0;
    RecordCut lastCut = {false, 0};
    std::vector<unsigned char> continuationTags;  // file name tags of the continuation records read
    int failReadInVolume = -1;   // a read error there
    StepResult openResultPastEnd = StepUserBreak;   // what looking for a volume that is not there gives
    std::vector<unsigned int> skips;

    StepResult read(unsigned char* buffer, unsigned int count, unsigned int* got) override {
        *got = 0;
        if (count == 0)
            return StepContinue;
        if (static_cast<int>(current) == failReadInVolume)
            return StepFailure;
        const Bytes& v = volumes[current];
        size_t n = std::min<size_t>({count, v.size() - position, maxPerRead});
        if (n)
            memcpy(buffer, v.data() + position, n);
        position += n;
        *got = static_cast<unsigned int>(n);
        return n ? StepContinue : StepEndOfData;
    }
    StepResult openNext() override {
        ++opens;
        if (current + 1 >= volumes.size())
            return openResultPastEnd;
        ++current;
        position = 0;
        return StepContinue;
    }
    StepResult skip(unsigned int count) override {
        skips.push_back(count);
        position += count;  // past the end is allowed, as with a file pointer
        if (position > volumes[current].size())
            position = volumes[current].size();
        return StepContinue;
    }
    StepResult damaged(const RecordCut& cut) override {
        ++damagedReports;
        lastCut = cut;
        return StepFailure;
    }
    void continuationRead(const unsigned char* record) override { continuationTags.push_back(record[304]); }
};

struct Reading {
    int fileContinues = 0;
    unsigned int chunkBytesLeft = 0;
    ChunkState state() { return ChunkState{fileContinues, chunkBytesLeft}; }
};

// Reads the current file's data with requests of `request` bytes until 3.
Bytes drain(MemoryVolumes& v, Reading& r, unsigned int request) {
    Bytes out;
    Bytes buf(request + 1);
    for (int guard = 0; guard < 100000; ++guard) {
        unsigned int size = request;
        int result = readFileData(v, r.state(), buf.data(), &size);
        if (result == 3)
            return out;
        EXPECT_EQ(2, result);
        if (result != 2)
            return out;
        EXPECT_LE(size, request);
        out.insert(out.end(), buf.begin(), buf.begin() + size);
    }
    ADD_FAILURE() << "no end of data";
    return out;
}

// Lays files out as a volume writer does: each record followed by as much of
// its data as the volume holds, the rest in continuation pieces.
std::vector<Bytes> layOut(const std::vector<Bytes>& files, size_t capacity) {
    std::vector<Bytes> volumes(1);
    for (size_t f = 0; f < files.size(); ++f) {
        const Bytes& data = files[f];
        // A first piece holds at least one byte.
        if (volumes.back().size() + FileRecordSize + 1 > capacity)
            volumes.emplace_back();
        size_t done = 0;
        for (;;) {
            Bytes& v = volumes.back();
            size_t room = capacity - v.size() - FileRecordSize;
            size_t piece = std::min(room, data.size() - done);
            bool more = done + piece < data.size();
            append(v, record(more, static_cast<uint32_t>(piece), static_cast<char>('a' + f)));
            v.insert(v.end(), data.begin() + done, data.begin() + done + piece);
            done += piece;
            if (!more)
                break;
            volumes.emplace_back();
        }
    }
    return volumes;
}

TEST(VolumeStream, RecordFieldsAreLittleEndian) {
    Bytes r = record(0x01020304, 0xA0B0C0D0);
    EXPECT_EQ(0x01020304u, recordContinued(r.data()));
    EXPECT_EQ(0xA0B0C0D0u, recordChunkSize(r.data()));
}

TEST(VolumeStream, RequestCrossingIntoTheLastPieceDeliversBoth) {
    Bytes a = pattern(100, 4), b = pattern(300, 5);
    MemoryVolumes v;
    v.volumes.resize(2);
    append(v.volumes[0], a);
    append(v.volumes[1], record(0, 300));
    append(v.volumes[1], b);
    Reading r;
    r.fileContinues = 1;
    r.chunkBytesLeft = 100;
    Bytes buf(2048);
    unsigned int size = 2048;
    ASSERT_EQ(2, readFileData(v, r.state(), buf.data(), &size));
    EXPECT_EQ(400u, size);
    Bytes expected = a;
    append(expected, b);
    EXPECT_EQ(expected, Bytes(buf.begin(), buf.begin() + 400));
    size = 2048;
    EXPECT_EQ(3, readFileData(v, r.state(), buf.data(), &size));
}

// Exactly 2048 bytes left in a continued chunk: the next volume is opened and
// its continuation record read before the call returns.
TEST(VolumeStream, ChunkEndingAtTheRequestBoundarySwitchesVolumesAtOnce) {
    Bytes a = pattern(2048, 6), b = pattern(10, 7);
    MemoryVolumes v;
    v.volumes.resize(2);
    append(v.volumes[0], a);
    append(v.volumes[1], record(0, 10));
    append(v.volumes[1], b);
    Reading r;
    r.fileContinues = 1;
    r.chunkBytesLeft = 2048;
    Bytes buf(2048);
    unsigned int size = 2048;
    ASSERT_EQ(2, readFileData(v, r.state(), buf.data(), &size));
    EXPECT_EQ(2048u, size);
    EXPECT_EQ(a, buf);
    EXPECT_EQ(1, v.opens);
    EXPECT_EQ(0, r.fileContinues);
    EXPECT_EQ(10u, r.chunkBytesLeft);
    EXPECT_EQ(FileRecordSize, v.position);
    EXPECT_EQ(b, drain(v, r, 2048));
}

TEST(VolumeStream, EmptyContinuationPiecesAreCrossed) {
    Bytes a = pattern(10, 8), c = pattern(20, 9);
    MemoryVolumes v;
    v.volumes.resize(3);
    append(v.volumes[0], a);
    append(v.volumes[1], record(1, 0, 'x'));
    append(v.volumes[2], record(0, 20, 'y'));
    append(v.volumes[2], c);
    Reading r;
    r.fileContinues = 1;
    r.chunkBytesLeft = 10;
    Bytes expected = a;
    append(expected, c);
    EXPECT_EQ(expected, drain(v, r, 10));
    EXPECT_EQ((std::vector<unsigned char>{'x', 'y'}), v.continuationTags);
}

TEST(VolumeStream, RecordAfterAVolumeThatEndsWithAChunk) {
    Bytes first = pattern(100, 10), second = pattern(50, 11);
    MemoryVolumes v;
    v.volumes = layOut({first, second}, FileRecordSize + 100);
    ASSERT_EQ(2u, v.volumes.size());
    Reading r;
    unsigned char rec[FileRecordSize];
    ASSERT_EQ(2, readRecord(v, r.state(), rec));
    EXPECT_EQ(first, drain(v, r, 4096));
    EXPECT_EQ(0, v.opens);
    ASSERT_EQ(2, readRecord(v, r.state(), rec));
    EXPECT_EQ(1, v.opens);
    EXPECT_EQ('b', rec[304]);
    EXPECT_EQ(second, drain(v, r, 4096));
}

TEST(VolumeStream, SeekOverAFileSpanningThreeVolumes) {
    Bytes big = pattern(2400, 12), next = pattern(30, 13);
    MemoryVolumes v;
    v.volumes = layOut({big, next}, FileRecordSize + 1000);
    ASSERT_EQ(3u, v.volumes.size());
    Reading r;
    unsigned char rec[FileRecordSize];
    ASSERT_EQ(2, readRecord(v, r.state(), rec));
    ASSERT_EQ(2, skipFileData(v, r.state()));
    EXPECT_EQ(2u, v.current);
    EXPECT_EQ((std::vector<unsigned int>{1000, 1000, 400}), v.skips);
    ASSERT_EQ(2, readRecord(v, r.state(), rec));
    EXPECT_EQ('b', rec[304]);
    EXPECT_EQ(next, drain(v, r, 4096));
}

TEST(VolumeStream, SeekPartWayThroughAChunkSkipsOnlyWhatIsLeft) {
    Bytes data = pattern(1500, 14);
    MemoryVolumes v;
    v.volumes = layOut({data, pattern(5, 15)}, FileRecordSize + 1000);
    Reading r;
    unsigned char rec[FileRecordSize];
    ASSERT_EQ(2, readRecord(v, r.state(), rec));
    Bytes buf(300);
    unsigned int size = 300;
    ASSERT_EQ(2, readFileData(v, r.state(), buf.data(), &size));
    ASSERT_EQ(2, skipFileData(v, r.state()));
    EXPECT_EQ((std::vector<unsigned int>{700, 500}), v.skips);
    ASSERT_EQ(2, readRecord(v, r.state(), rec));
    EXPECT_EQ('b', rec[304]);
}

// A volume cut short inside a continued chunk: what it holds is delivered,
// then the end of the data; the next volume is never joined to the hole.
TEST(VolumeStream, VolumeCutShortInsideAChunkIsNotJoinedToTheNext) {
    Bytes a = pattern(60, 16);
    MemoryVolumes v;
    v.volumes.resize(2);
    append(v.volumes[0], a);  // its record claims 100
    append(v.volumes[1], record(0, 5));
    append(v.volumes[1], pattern(5, 17));
    Reading r;
    r.fileContinues = 1;
    r.chunkBytesLeft = 100;
    Bytes buf(2048, 0xEE);
    unsigned int size = 2048;
    ASSERT_EQ(2, readFileData(v, r.state(), buf.data(), &size));
    EXPECT_EQ(60u, size);
    EXPECT_EQ(a, Bytes(buf.begin(), buf.begin() + 60));
    size = 2048;
    EXPECT_EQ(3, readFileData(v, r.state(), buf.data(), &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0, v.opens);
}

TEST(VolumeStream, SourceDeliveringInSmallPiecesGivesTheSameData) {
    std::vector<Bytes> files = {pattern(3000, 18), pattern(1, 19), pattern(4096, 20)};
    MemoryVolumes v;
    v.volumes = layOut(files, FileRecordSize + 777);
    v.maxPerRead = 5;
    Reading r;
    unsigned char rec[FileRecordSize];
    for (const Bytes& f : files) {
        ASSERT_EQ(2, readRecord(v, r.state(), rec));
        EXPECT_EQ(f, drain(v, r, 2048));
    }
}

TEST(VolumeStream, RoundTripsAtManySplitPoints) {
    std::mt19937 g(2024);
    for (int round = 0; round < 200; ++round) {
        std::vector<Bytes> files;
        int count = 1 + static_cast<int>(g() % 5);
        for (int i = 0; i < count; ++i)
            files.push_back(pattern(1 + g() % 5000, g()));
        size_t capacity = FileRecordSize + 1 + g() % 3000;
        unsigned int request = 1 + g() % 4096;
        MemoryVolumes v;
        v.volumes = layOut(files, capacity);
        Reading r;
        unsigned char rec[FileRecordSize];
        for (size_t i = 0; i < files.size(); ++i) {
            ASSERT_EQ(2, readRecord(v, r.state(), rec)) << "round " << round;
            ASSERT_EQ('a' + static_cast<int>(i), rec[304]);
            if (g() % 3 == 0)
                ASSERT_EQ(2, skipFileData(v, r.state()));
            else
                ASSERT_EQ(files[i], drain(v, r, request)) << "round " << round << " file " << i;
        }
        EXPECT_EQ(v.volumes.size() - 1, v.current);
        EXPECT_EQ(v.volumes.back().size(), v.position);
    }
}

TEST(VolumeStream, RecordCutShortIsReportedAsDamage) {
    MemoryVolumes v;
    v.volumes.resize(1);
    Bytes partial = record(0, 10);
    partial.resize(100);
    append(v.volumes[0], partial);
    Reading r;
    unsigned char rec[FileRecordSize];
    EXPECT_EQ(0, readRecord(v, r.state(), rec));
    EXPECT_EQ(1, v.damagedReports);
    EXPECT_FALSE(v.lastCut.continuation);
    EXPECT_EQ(100u, v.lastCut.got);
}

TEST(VolumeStream, ContinuationRecordCutShortIsReportedAsDamage) {
    MemoryVolumes v;
    v.volumes.resize(2);
    append(v.volumes[0], pattern(10, 21));
    Bytes partial = record(0, 10);
    partial.resize(300);
    append(v.volumes[1], partial);
    Reading r;
    r.fileContinues = 1;
    r.chunkBytesLeft = 10;
    Bytes buf(64);
    unsigned int size = 64;
    EXPECT_EQ(0, readFileData(v, r.state(), buf.data(), &size));
    EXPECT_EQ(1, v.damagedReports);
    EXPECT_TRUE(v.lastCut.continuation);
    EXPECT_EQ(300u, v.lastCut.got);
    EXPECT_TRUE(v.continuationTags.empty());
}

TEST(VolumeStream, ResultsOfTheNextVolumeSearchArePassedBack) {
    for (StepResult result : {StepFailure, StepUserBreak, StepEndOfData}) {
        MemoryVolumes v;
        v.volumes.resize(1);
        append(v.volumes[0], pattern(10, 22));
        v.openResultPastEnd = result;
        Reading r;
        r.fileContinues = 1;
        r.chunkBytesLeft = 10;
        Bytes buf(64);
        unsigned int size = 64;
        EXPECT_EQ(result, readFileData(v, r.state(), buf.data(), &size));

        MemoryVolumes w;
        w.volumes.resize(1);
        w.openResultPastEnd = result;
        unsigned char rec[FileRecordSize];
        EXPECT_EQ(result, readRecord(w, r.state(), rec));

        MemoryVolumes s;
        s.volumes.resize(1);
        append(s.volumes[0], pattern(10, 23));
        s.openResultPastEnd = result;
        r.fileContinues = 1;
        r.chunkBytesLeft = 10;
        EXPECT_EQ(result, skipFileData(s, r.state()));
    }
}

TEST(VolumeStream, ReadErrorsFail) {
    MemoryVolumes v;
    v.volumes.resize(1);
    append(v.volumes[0], pattern(10, 24));
    v.failReadInVolume = 0;
    Reading r;
    r.chunkBytesLeft = 10;
    Bytes buf(64);
    unsigned int size = 64;
    EXPECT_EQ(0, readFileData(v, r.state(), buf.data(), &size));
    unsigned char rec[FileRecordSize];
    EXPECT_EQ(0, readRecord(v, r.state(), rec));
    EXPECT_EQ(0, readPlain(v, buf.data(), 20));
}

TEST(VolumeStream, PlainBytesShortOfTheRequestLeaveZerosNotStaleBytes) {
    MemoryVolumes v;
    v.volumes.resize(1);
    append(v.volumes[0], Bytes{1, 2, 3});
    Bytes buf(20, 0xEE);
    ASSERT_EQ(2, readPlain(v, buf.data(), 20));
    Bytes expected(20, 0);
    expected[0] = 1, expected[1] = 2, expected[2] = 3;
    EXPECT_EQ(expected, buf);
    EXPECT_EQ(3, readPlain(v, buf.data(), 20));
    EXPECT_EQ(2, readPlain(v, buf.data(), 0));
}

TEST(VolumeStream, NoDataLeftIsTheEndWithoutReading) {
    MemoryVolumes v;
    v.volumes.resize(1);
    append(v.volumes[0], pattern(10, 25));
    Reading r;
    r.fileContinues = 1;  // a first record that claims a continuation but no byte
    Bytes buf(8);
    unsigned int size = 8;
    EXPECT_EQ(3, readFileData(v, r.state(), buf.data(), &size));
    EXPECT_EQ(0u, v.position);
    EXPECT_EQ(0, v.opens);
}

}  // namespace
