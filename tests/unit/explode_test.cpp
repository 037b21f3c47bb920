// Explode on hand-built streams: header checks, block sizes, the window
// limits, cut input, the built lookups, and random streams compared with the
// reference decoder callback by callback.
#include "explode/Explode.h"
#include "tests/unit/support/ExplodeHarness.h"
#include "tests/unit/support/ReferenceExplode.h"
#include "tests/unit/support/StreamWriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

Bytes bytesOf(const char* text) { return Bytes(text, text + strlen(text)); }

// Expands with the reference decoder and demands the same callbacks.
void expectSameAsReference(const Bytes& stream, const std::vector<unsigned>& pieces = {}) {
    ExplodeRun run = runExplode(stream, pieces);
    ExplodeRun ref = runReference(stream, pieces);
    ASSERT_EQ(ref.result, run.result);
    ASSERT_EQ(ref.trace, run.trace);
    ASSERT_TRUE(ref.output == run.output);
}

TEST(ExplodeHeader, DictionaryIsCheckedBeforeLiteralMode) {
    struct Case {
        uint8_t literalMode, dictBits;
        unsigned result;
    } cases[] = {
        {0, 7, ExplodeBadDictionary}, {1, 7, ExplodeBadDictionary},
        {0, 3, ExplodeBadDictionary}, {1, 0, ExplodeBadDictionary},
        {2, 7, ExplodeBadDictionary}, {255, 255, ExplodeBadDictionary},
        {2, 6, ExplodeBadLiteralMode}, {255, 4, ExplodeBadLiteralMode},
        {0, 4, ExplodeOk}, {1, 5, ExplodeOk}, {0, 6, ExplodeOk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.literalMode) << " " << int(c.dictBits));
        bool validMode = c.literalMode <= 1, validDict = c.dictBits >= 4 && c.dictBits <= 6;
        StreamWriter s(validMode ? c.literalMode : 0, validDict ? c.dictBits : 4);
        s.literals("header").end();
        Bytes stream = s.bytes();
        stream[0] = c.literalMode;
        stream[1] = c.dictBits;
        ExplodeRun run = runExplode(stream);
        EXPECT_EQ(c.result, run.result);
        if (c.result != ExplodeOk) {
            EXPECT_TRUE(run.writes.empty()) << "no output on a refused header";
        }
    }
}

TEST(ExplodeHeader, FirstBlockOfFourBytesOrFewerIsTooShort) {
    // The stream of an empty file is exactly 4 bytes: header and end code.
    StreamWriter empty(0, 6);
    empty.end();
    ASSERT_EQ(4u, empty.bytes().size());
    for (size_t n = 0; n <= 4; ++n) {
        ExplodeRun run = runExplode(Bytes(empty.bytes().begin(), empty.bytes().begin() + n));
        EXPECT_EQ(unsigned(ExplodeTooShort), run.result);
        EXPECT_TRUE(run.writes.empty());
        EXPECT_EQ(1u, run.reads);
    }
    // Only the first block counts: a longer stream handed over 4 bytes first
    // is refused too, and nothing more is asked for.
    StreamWriter longer(0, 6);
    longer.literals("more than four bytes").end();
    ExplodeRun run = runExplode(longer.bytes(), {4, 2048});
    EXPECT_EQ(unsigned(ExplodeTooShort), run.result);
    EXPECT_EQ(1u, run.reads);
    // The same 4-byte end code with a spare byte behind it is a valid empty file.
    Bytes padded = empty.bytes();
    padded.push_back(0);
    run = runExplode(padded);
    EXPECT_EQ(unsigned(ExplodeOk), run.result);
    EXPECT_EQ(std::vector<unsigned>{0}, run.writes);
}

TEST(ExplodeSymbols, LiteralThenCopyOfDistanceOneRepeatsIt) {
    for (int mode : {0, 1}) {
        StreamWriter s(mode, 4);
        s.literal('x').copy(10, 1).end();
        EXPECT_EQ(Bytes(11, 'x'), runExplode(s.bytes()).output) << "mode " << mode;
    }
    // A copy longer than its distance repeats the bytes it has just written.
    StreamWriter s(0, 4);
    s.literals("AI").copy(11, 2).end();
    EXPECT_EQ(bytesOf("AIAIAIAIAIAIA"), runExplode(s.bytes()).output);
}

TEST(ExplodeSymbols, CodedLiteralsForSpaceAndE) {
    StreamWriter s(1, 6);
    s.bits(0, 1).bits(0xF, 4);   // flag 0, stream bits 1111: space
    s.bits(0, 1).bits(27, 5);    // flag 0, the 5-bit code of 'e'
    s.end();
    EXPECT_EQ(bytesOf(" e"), runExplode(s.bytes()).output);
}

TEST(ExplodeSymbols, EveryLiteralAndEveryLengthAndDistanceLimit) {
    for (int mode : {0, 1}) {
        for (int dictBits : {4, 5, 6}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " dict " << dictBits);
            StreamWriter s(mode, dictBits);
            for (int c = 0; c < 256; ++c)
                s.literal(static_cast<uint8_t>(c));
            for (int c = 0; c < 4000; ++c)
                s.literal(static_cast<uint8_t>(c * 7));
            unsigned maxDistance = 64u << dictBits;
            for (unsigned length = 2; length <= 518; length += (length < 20 ? 1 : 37))
                s.copy(length, length == 2 ? 256 : maxDistance);
            s.copy(518, maxDistance).copy(517, 1).end();
            ExplodeRun run = runExplode(s.bytes());
            EXPECT_EQ(unsigned(ExplodeOk), run.result);
            EXPECT_TRUE(s.expected() == run.output);
            expectSameAsReference(s.bytes(), {5, 1, 2048});
        }
    }
}

TEST(ExplodeOutput, BlocksOf4096ThenTheRestOnceEvenWhenEmpty) {
    struct Case {
        size_t size;
        std::vector<unsigned> writes;
    } cases[] = {
        {0, {0}},           {1, {1}},
        {4095, {4095}},     {4096, {4096, 0}},
        {4097, {4096, 1}},  {8192, {4096, 4096, 0}},
        {12300, {4096, 4096, 4096, 12}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        StreamWriter s(0, 6);
        for (size_t i = 0; i < c.size; ++i)
            s.literal(static_cast<uint8_t>(i * 13 + i / 256));
        s.end().bits(0, 8);  // a spare byte: a 4-byte stream is too short
        ExplodeRun run = runExplode(s.bytes());
        EXPECT_EQ(unsigned(ExplodeOk), run.result);
        EXPECT_EQ(c.writes, run.writes);
        EXPECT_TRUE(s.expected() == run.output);
    }
}

TEST(ExplodeOutput, LongestCopyStartedAtTheLastIndexBeforeAFlush) {
    // 4095 bytes fill the block but one, so the next copy starts at window
    // index 8191 and ends at 8708, the last byte of the window.
    for (int dictBits : {4, 6}) {
        StreamWriter s(0, dictBits);
        for (int i = 0; i < 4095; ++i)
            s.literal(static_cast<uint8_t>(i ^ (i >> 8)));
        s.copy(518, 64u << dictBits).copy(518, 3).literal('!').end();
        auto work = std::make_unique<ExplodeWork>();
        ExplodeRun run = runExplode(s.bytes(), {}, work.get());
        EXPECT_EQ(unsigned(ExplodeOk), run.result);
        EXPECT_EQ((std::vector<unsigned>{4096, 1036}), run.writes);
        EXPECT_TRUE(s.expected() == run.output);
        // Nothing was written past the window: the input block behind it
        // still holds the stream's last block.
        size_t last = (s.bytes().size() - 1) / 2048 * 2048;
        EXPECT_TRUE(std::equal(s.bytes().begin() + last, s.bytes().end(), work->inBuffer));
    }
}

// Callbacks that scribble on the count: reads are still offered 2048 bytes
// and counted by their result, writes still come in 4096-byte blocks.
TEST(ExplodeOutput, CallbacksChangingTheCountAreIgnored) {
    StreamWriter s(1, 5);
    for (int i = 0; i < 9000; ++i)
        s.literal(static_cast<uint8_t>('a' + i % 26));
    s.end();
    struct Io {
        const Bytes* stream;
        size_t pos = 0;
        bool offeredBlock = true;
        Bytes out;
    } io{&s.bytes(), 0, true, {}};
    auto read = [](char* buffer, unsigned* size, void* param) -> unsigned {
        Io* io = static_cast<Io*>(param);
        io->offeredBlock &= *size == 2048;
        size_t n = std::min<size_t>(*size, io->stream->size() - io->pos);
        memcpy(buffer, io->stream->data() + io->pos, n);
        io->pos += n;
        *size = 1;
        return static_cast<unsigned>(n);
    };
    auto write = [](char* buffer, unsigned* size, void* param) {
        Io* io = static_cast<Io*>(param);
        io->out.insert(io->out.end(), buffer, buffer + *size);
        *size = 0;
    };
    auto work = std::make_unique<ExplodeWork>();
    EXPECT_EQ(unsigned(ExplodeOk), Explode(read, write, work.get(), &io));
    EXPECT_TRUE(s.expected() == io.out);
    EXPECT_TRUE(io.offeredBlock);
}

TEST(ExplodeInput, CutStreamWritesEverythingExpandedBeforeTheCut) {
    StreamWriter s(1, 5);
    std::mt19937 rng(7);
    for (int i = 0; i < 3000; ++i) {
        if (i > 10 && rng() % 3 == 0)
            s.copy(2 + rng() % 100, 1 + rng() % 256);
        else
            s.literal(static_cast<uint8_t>(rng()));
    }
    s.end();
    Bytes full = runExplode(s.bytes()).output;
    ASSERT_GT(full.size(), 8192u);
    for (size_t cut : {5ul, 6ul, 100ul, 2048ul, 2049ul, 3000ul, s.bytes().size() - 1}) {
        SCOPED_TRACE(cut);
        Bytes part(s.bytes().begin(), s.bytes().begin() + cut);
        ExplodeRun run = runExplode(part);
        EXPECT_EQ(unsigned(ExplodeDataError), run.result);
        // Every symbol followed by 8 more bits before the cut was expanded
        // and written, in 4096-byte blocks and one remainder.
        ASSERT_EQ(s.expandedBeforeCut(cut), run.output.size());
        EXPECT_TRUE(std::equal(run.output.begin(), run.output.end(), full.begin()));
        for (size_t i = 0; i + 1 < run.writes.size(); ++i)
            EXPECT_EQ(4096u, run.writes[i]);
        expectSameAsReference(part, {11, 2048});
    }
}

TEST(ExplodeInput, SymbolNeedsEightFurtherBitsInHand) {
    // 'Z' takes 9 bits; with 24 bits of input the 15 after it are enough, so
    // it is written. The end code (16 bits) then leaves 15 - 16 < 8: error.
    StreamWriter s(0, 4);
    s.literal('Z').end();
    Bytes stream = s.bytes();
    ASSERT_EQ(6u, stream.size());
    stream.pop_back();
    ExplodeRun run = runExplode(stream);
    EXPECT_EQ(unsigned(ExplodeDataError), run.result);
    EXPECT_EQ(bytesOf("Z"), run.output);

    // The end code may take the very last bits of the input.
    StreamWriter exact(0, 6);
    for (int i = 0; i < 8; ++i)
        exact.literal(static_cast<uint8_t>('0' + i));  // 72 bits, then 16
    exact.end();
    ASSERT_EQ(0u, exact.bitCount() % 8);
    run = runExplode(exact.bytes());
    EXPECT_EQ(unsigned(ExplodeOk), run.result);
    EXPECT_EQ(bytesOf("01234567"), run.output);

    // A literal whose bits are complete but fewer than 8 bits follow it is not
    // written: three literals of 9 bits in 4 bytes after the header leave 5.
    StreamWriter three(0, 6);
    three.literals("abc");
    run = runExplode(three.bytes(), {5, 1});
    EXPECT_EQ(unsigned(ExplodeDataError), run.result);
    EXPECT_EQ(bytesOf("ab"), run.output);
}

TEST(ExplodeInput, BytesAfterTheEndCodeAreNeverAskedFor) {
    StreamWriter s(0, 6);
    s.literals("short").end();
    Bytes stream = s.bytes();
    stream.insert(stream.end(), 5000, 0xEE);
    ExplodeRun run = runExplode(stream, {20});
    EXPECT_EQ(unsigned(ExplodeOk), run.result);
    EXPECT_EQ(bytesOf("short"), run.output);
    EXPECT_EQ(1u, run.reads);
}

// A read callback that claims more than the 2048 bytes it was offered has
// failed; its count is not believed.
TEST(ExplodeInput, ImpossibleReadCountIsAFailedRead) {
    StreamWriter s(0, 6);
    for (int i = 0; i < 3000; ++i)
        s.literal(static_cast<uint8_t>(i));
    s.end();
    struct Source {
        const Bytes* stream;
        unsigned failingCall;
        size_t pos = 0;
        unsigned calls = 0;
        size_t written = 0;
    };
    auto read = [](char* buffer, unsigned* size, void* param) -> unsigned {
        Source* src = static_cast<Source*>(param);
        if (++src->calls == src->failingCall)
            return 2049;
        size_t n = std::min<size_t>(*size, src->stream->size() - src->pos);
        memcpy(buffer, src->stream->data() + src->pos, n);
        src->pos += n;
        return static_cast<unsigned>(n);
    };
    auto write = [](char*, unsigned* size, void* param) {
        static_cast<Source*>(param)->written += *size;
    };
    auto work = std::make_unique<ExplodeWork>();

    Source first{&s.bytes(), 1};
    EXPECT_EQ(unsigned(ExplodeTooShort), Explode(read, write, work.get(), &first));
    EXPECT_EQ(0u, first.written);

    Source second{&s.bytes(), 2};
    EXPECT_EQ(unsigned(ExplodeDataError), Explode(read, write, work.get(), &second));
    EXPECT_EQ(2u, second.calls);
    EXPECT_EQ(s.expandedBeforeCut(2048), second.written);
}

TEST(ExplodeWindow, HistoryStartsZeroedForEveryStream) {
    // Three literals, then a copy of 8 from 5 back: two bytes come from
    // before the start.
    StreamWriter s(0, 4);
    s.literals("xyz").copy(8, 5).end();
    auto work = std::make_unique<ExplodeWork>();
    memset(work.get(), 0xAA, sizeof(ExplodeWork));
    StreamWriter other(1, 6);
    for (int i = 0; i < 5000; ++i)
        other.literal(static_cast<uint8_t>(i * 31));
    other.end();
    runExplode(other.bytes(), {}, work.get());  // leaves its bytes in the window
    ExplodeRun run = runExplode(s.bytes(), {}, work.get());
    EXPECT_EQ(unsigned(ExplodeOk), run.result);
    const uint8_t expected[] = {'x', 'y', 'z', 0, 0, 'x', 'y', 'z', 0, 0, 'x'};
    EXPECT_EQ(Bytes(expected, expected + sizeof expected), run.output);
}

TEST(ExplodeLookups, KnownCodeValues) {
    StreamWriter s(1, 6);
    s.literals("lookups").end();
    auto work = std::make_unique<ExplodeWork>();
    ASSERT_EQ(unsigned(ExplodeOk), runExplode(s.bytes(), {}, work.get()).result);
    const ExplodeWork& w = *work;
    // A code of length L and value V owns every index V + k * 2^L.
    auto owns = [](const unsigned char* lookup, unsigned size, unsigned value, int length,
                   int symbol) {
        for (unsigned i = value; i < size; i += 1u << length)
            if (lookup[i] != symbol)
                return false;
        return true;
    };
    EXPECT_TRUE(owns(w.asciiLookupShort, 256, 15, 4, ' '));
    EXPECT_TRUE(owns(w.asciiLookupShort, 256, 27, 5, 'e'));
    EXPECT_TRUE(owns(w.asciiLookupShort, 256, 49, 6, 'A'));
    EXPECT_TRUE(owns(w.asciiLookupShort, 256, 98, 7, '\n'));
    EXPECT_TRUE(owns(w.asciiLookupShort, 256, 34, 7, '\r'));
    // Byte 0: 11-bit value 1168 (low 8 bits 144, low 6 bits not 0): marked
    // long, finished after 4 bits with 7 left.
    EXPECT_EQ(255, w.asciiLookupShort[1168 & 0xFF]);
    EXPECT_TRUE(owns(w.asciiLookupAfter4, 256, 1168 >> 4, 7, 0));
    EXPECT_EQ(7, w.asciiBitsLeft[0]);
    // Byte 255: 13-bit value 0, found after 8 zero bits with 5 left.
    EXPECT_TRUE(owns(w.asciiLookupAfter8, 256, 0, 5, 255));
    EXPECT_EQ(5, w.asciiBitsLeft[255]);
    // Byte 26: 13-bit value 0x1240, low 6 bits 0: finished after 6 bits.
    EXPECT_EQ(255, w.asciiLookupShort[0x40]);
    EXPECT_TRUE(owns(w.asciiLookupAfter6, 128, 0x1240 >> 6, 7, 26));
    EXPECT_EQ(7, w.asciiBitsLeft[26]);
    EXPECT_EQ(9, w.asciiBitsLeft[' '] + w.asciiBitsLeft['e']);  // 4 + 5: whole codes

    EXPECT_TRUE(owns(w.lengthLookup, 256, 3, 2, 1));    // copy length 3: stream bits 11
    EXPECT_TRUE(owns(w.lengthLookup, 256, 0, 7, 15));   // longest: 0000000
    EXPECT_TRUE(owns(w.distanceLookup, 256, 3, 2, 0));  // position 0: 11
    EXPECT_EQ(63, w.distanceLookup[0]);
    EXPECT_EQ(8, w.lengthExtraBitCounts[15]);
    EXPECT_EQ(262, w.lengthBases[15]);
    EXPECT_EQ(6u, w.dictBits);
    EXPECT_EQ(63u, w.dictMask);
}

TEST(ExplodeLookups, EveryCodeOfTheFormatIsFoundThroughTheLookups) {
    StreamWriter s(1, 4);
    s.end().bits(0, 8);
    auto work = std::make_unique<ExplodeWork>();
    ASSERT_EQ(unsigned(ExplodeOk), runExplode(s.bytes(), {}, work.get()).result);
    const ExplodeWork& w = *work;
    const auto& lengths = reference::lengthCodes();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(i, w.lengthLookup[lengths[i].value]);
        EXPECT_EQ(lengths[i].length, w.lengthCodeBits[i]);
        EXPECT_EQ(reference::lengthExtraBits(i), w.lengthExtraBitCounts[i]);
        EXPECT_EQ(reference::lengthBase(i), w.lengthBases[i]);
    }
    const auto& positions = reference::distanceCodes();
    for (int p = 0; p < 64; ++p) {
        EXPECT_EQ(p, w.distanceLookup[positions[p].value]);
        EXPECT_EQ(positions[p].length, w.distanceCodeBits[p]);
    }
    // Decode every literal code the two-step way the lookups are meant for.
    const auto& literals = reference::literalCodes();
    for (int c = 0; c < 256; ++c) {
        unsigned bits = literals[c].value;
        int used = 0;
        int v;
        if (bits & 0xFF) {
            v = w.asciiLookupShort[bits & 0xFF];
            if (v == 255) {
                used = (bits & 0x3F) ? 4 : 6;
                v = used == 4 ? w.asciiLookupAfter4[(bits >> 4) & 0xFF]
                              : w.asciiLookupAfter6[(bits >> 6) & 0x7F];
            }
        } else {
            used = 8;
            v = w.asciiLookupAfter8[(bits >> 8) & 0xFF];
        }
        EXPECT_EQ(c, v);
        EXPECT_EQ(literals[c].length, used + w.asciiBitsLeft[v]) << "literal " << c;
    }
}

// Random streams in every mode, cut and uncut, handed over in random pieces:
// Explode and the reference decoder must agree on every callback.
TEST(ExplodeReference, RandomStreamsAgreeCallbackByCallback) {
    std::mt19937 rng(20240601);
    for (int round = 0; round < 60; ++round) {
        int mode = round & 1;
        int dictBits = 4 + round % 3;
        StreamWriter s(mode, dictBits);
        size_t produced = 0;
        int symbols = 1 + static_cast<int>(rng() % 6000);
        for (int i = 0; i < symbols; ++i) {
            unsigned kind = rng() % 8;
            if (kind < 4 || produced == 0) {
                // Text-like or any byte, so that long literal codes appear.
                s.literal(static_cast<uint8_t>(kind < 2 ? 'a' + rng() % 26 : rng()));
                produced += 1;
            } else {
                unsigned length = kind == 7 ? 2 + rng() % 517 : 2 + rng() % 12;
                unsigned maxDistance = length == 2 ? 256 : 64u << dictBits;
                s.copy(length, 1 + rng() % maxDistance);  // may reach before the start
                produced += length;
            }
        }
        if (round % 5 != 4)
            s.end();
        Bytes stream = s.bytes();
        if (round % 4 == 3)
            stream.resize(5 + rng() % (stream.size() - 4));
        std::vector<unsigned> pieces = {5 + static_cast<unsigned>(rng() % 3000)};
        for (int k = 0; k < 3; ++k)
            pieces.push_back(1 + rng() % (k == 0 ? 8 : 2100));
        SCOPED_TRACE(testing::Message() << "round " << round);
        EXPECT_EQ(s.expandedBeforeCut(stream.size()), runExplode(stream).output.size());
        expectSameAsReference(stream, pieces);
        expectSameAsReference(stream);
    }
}

}  // namespace
