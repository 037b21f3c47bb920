// The implode encoder: its code tables, round trips through our decoder and
// through libdynamite's (plain literals only: it has no coded-literal mode),
// stream sizes against a brute-force optimal parse and against the
// independent encoder's vectors, and independence from how input is fed.
#include "implode/Implode.h"
#include "tests/unit/support/ExplodeHarness.h"
#include "tests/unit/support/ReferenceExplode.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>

extern "C" {
#include <libdynamite.h>
}

namespace {

const std::string kVectors = std::string(SETUP_VECTORS_DIR) + "/";

struct Mode {
    ImplodeLiteralMode literals;
    unsigned dict;
};
const Mode kModes[] = {{ImplodeBinary, 1024}, {ImplodeBinary, 2048}, {ImplodeBinary, 4096},
                       {ImplodeAscii, 1024},  {ImplodeAscii, 2048},  {ImplodeAscii, 4096}};

std::string modeName(const Mode& m) {
    return std::string(m.literals == ImplodeAscii ? "ascii-" : "bin-") + std::to_string(m.dict);
}

Bytes compress(const Bytes& data, const Mode& m) {
    ImplodeOptions o;
    o.literals = m.literals;
    o.dictionarySize = m.dict;
    return implodeBuffer(data.data(), data.size(), o);
}

// Text-like bytes: words from a small vocabulary, so copies of all lengths
// and distances occur.
Bytes words(size_t n, unsigned seed) {
    static const char* const words[] = {"setup", "the ", "volume", " of ", "file", "\r\n", "data", "install ",
                                        "a", "disk ", "program", "  ", "windows", "system32\\", "e"};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < n) {
        const char* w = words[rng() % 15];
        out.insert(out.end(), w, w + strlen(w));
    }
    out.resize(n);
    return out;
}

Bytes random(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

void expectRoundTrip(const Bytes& data, const Mode& m, const std::string& what) {
    Bytes stream = compress(data, m);
    ASSERT_GE(stream.size(), 4u);
    EXPECT_EQ(stream[0], m.literals == ImplodeAscii ? 1 : 0) << what;
    EXPECT_EQ(stream[1], m.dict == 1024 ? 4 : m.dict == 2048 ? 5 : 6) << what;
    if (data.empty()) {
        // Header and end code only; the volume tool pads such streams.
        EXPECT_EQ(stream.size(), 4u);
        return;
    }
    ExplodeRun run = runExplode(stream);
    ASSERT_EQ(run.result, 0u) << what << " " << modeName(m);
    ASSERT_TRUE(run.output == data) << what << " " << modeName(m);
    // The reference decoder agrees, also when the input comes in odd pieces.
    ExplodeRun ref = runReference(stream, {5, 1, 700});
    ASSERT_EQ(ref.result, 0u) << what << " " << modeName(m);
    ASSERT_TRUE(ref.output == data) << what << " " << modeName(m);
}

struct DynamiteIo {
    const Bytes* in;
    size_t pos;
    Bytes out;
};
size_t dynRead(void* buffer, size_t size, void* cookie) {
    auto* io = static_cast<DynamiteIo*>(cookie);
    size_t n = std::min(size, io->in->size() - io->pos);
    memcpy(buffer, io->in->data() + io->pos, n);
    io->pos += n;
    return n;
}
size_t dynWrite(void* buffer, size_t size, void* cookie) {
    auto* io = static_cast<DynamiteIo*>(cookie);
    io->out.insert(io->out.end(), static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + size);
    return size;
}

// Exhaustive optimal parse: every distance at every position, every length.
// Returns the smallest possible stream size in bytes (header and end code
// included). Slow; for small inputs only. Its codes come from the reference
// decoder's tables, not the encoder's.
size_t optimalStreamSize(const Bytes& d, const Mode& m) {
    const auto& lengths = reference::lengthCodes();
    const auto& distances = reference::distanceCodes();
    const auto& literals = reference::literalCodes();
    const unsigned dictBits = m.dict == 1024 ? 4 : m.dict == 2048 ? 5 : 6;
    std::vector<unsigned> lengthCost(519, 0);
    for (int code = 0; code < 16; ++code)
        for (int extra = 0; extra < (1 << reference::lengthExtraBits(code)); ++extra) {
            unsigned len = reference::lengthBase(code) + extra + 2;
            if (len <= 518)
                lengthCost[len] = 1 + lengths[code].length + reference::lengthExtraBits(code);
        }
    const size_t n = d.size();
    std::vector<uint64_t> best(n + 1, UINT64_MAX);
    best[0] = 0;
    for (size_t i = 0; i < n; ++i) {
        unsigned lit = m.literals == ImplodeAscii ? 1 + literals[d[i]].length : 9;
        best[i + 1] = std::min(best[i + 1], best[i] + lit);
        for (size_t dist = 1; dist <= m.dict && dist <= i; ++dist) {
            size_t len = 0;
            while (len < 518 && i + len < n && d[i + len] == d[i + len - dist])
                ++len;
            for (size_t l = 2; l <= len; ++l) {
                unsigned cost = lengthCost[l];
                if (l == 2) {
                    if (dist > 256)
                        continue;
                    cost += distances[(dist - 1) >> 2].length + 2;
                } else {
                    cost += distances[(dist - 1) >> dictBits].length + dictBits;
                }
                best[i + l] = std::min(best[i + l], best[i] + cost);
            }
        }
    }
    return 2 + (best[n] + 16 + 7) / 8;
}

TEST(ImplodeCodes, KnownValues) {
    const ImplodeCode* lit = implodeLiteralCodes();
    // Values given with the format's coded-literal table.
    EXPECT_EQ(lit[' '].value, 15);
    EXPECT_EQ(lit[' '].bits, 4);
    EXPECT_EQ(lit['e'].value, 27);
    EXPECT_EQ(lit['e'].bits, 5);
    EXPECT_EQ(lit['A'].value, 49);
    EXPECT_EQ(lit['A'].bits, 6);
    EXPECT_EQ(lit['\n'].value, 98);
    EXPECT_EQ(lit['\r'].value, 34);
    EXPECT_EQ(lit[0].value, 1168);
    EXPECT_EQ(lit[0].bits, 11);
    EXPECT_EQ(lit[255].value, 0);
    EXPECT_EQ(lit[255].bits, 13);
    const ImplodeCode* len = implodeLengthCodes();
    const unsigned lenValues[16] = {5, 3, 1, 6, 10, 2, 12, 20, 4, 24, 8, 48, 16, 32, 64, 0};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(len[i].value, lenValues[i]) << "length code " << i;
    const ImplodeCode* dist = implodeDistanceCodes();
    const unsigned distValues[16] = {3, 13, 5, 25, 9, 17, 1, 62, 30, 46, 14, 54, 22, 38, 6, 58};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(dist[i].value, distValues[i]) << "distance code " << i;
    EXPECT_EQ(dist[63].value, 0);
    EXPECT_EQ(dist[63].bits, 8);
    // Same codes as the reference decoder, which builds its own.
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(lit[c].bits, reference::literalCodes()[c].length);
        EXPECT_EQ(lit[c].value, reference::literalCodes()[c].value);
    }
}

TEST(Implode, RejectsInvalidOptions) {
    ImplodeOptions o;
    o.dictionarySize = 8192;
    EXPECT_THROW(implodeBuffer("x", 1, o), std::invalid_argument);
    o.dictionarySize = 4096;
    o.literals = static_cast<ImplodeLiteralMode>(2);
    EXPECT_THROW(implodeBuffer("x", 1, o), std::invalid_argument);
}

TEST(Implode, RoundTripsEdgeSizesInAllModes) {
    Bytes text = words(9000, 1), noise = random(9000, 2);
    for (const Mode& m : kModes)
        for (size_t n : {0, 1, 2, 3, 517, 518, 519, 4095, 4096, 4097, 8191, 8192, 8193}) {
            expectRoundTrip(Bytes(text.begin(), text.begin() + n), m, "text " + std::to_string(n));
            expectRoundTrip(Bytes(noise.begin(), noise.begin() + n), m, "random " + std::to_string(n));
        }
}

TEST(Implode, RoundTripsVectorsAndRealFiles) {
    for (const char* name : {"dll.bin", "english.bin", "words.bin", "hand-limits-4096.bin", "random.bin"}) {
        Bytes data = readFile(kVectors + name);
        ASSERT_FALSE(data.empty()) << name;
        for (const Mode& m : kModes)
            expectRoundTrip(data, m, name);
    }
}

TEST(Implode, LongRunsUseFullLengthCopies) {
    // One literal, then 1000 copies of 518 bytes at distance 1, each
    // 1 + 7 + 8 bits (flag, length code 15, extra) + 2 + 6 bits (distance):
    // 9 + 1000 * 24 + 16 bits = 3004 bytes, plus the header. A coder capped
    // at shorter copies needs more of them.
    Bytes run(1 + 518 * 1000, 'A');
    Bytes stream = compress(run, {ImplodeBinary, 4096});
    EXPECT_EQ(stream.size(), 2u + 3004u);
    expectRoundTrip(run, {ImplodeBinary, 4096}, "run");
    // Periodic data: copies at distances 2, 3 and 7.
    for (size_t period : {2, 3, 7}) {
        Bytes p(20000);
        for (size_t i = 0; i < p.size(); ++i)
            p[i] = static_cast<uint8_t>("abcdefg"[i % period]);
        for (const Mode& m : kModes)
            expectRoundTrip(p, m, "period " + std::to_string(period));
    }
}

TEST(Implode, FewerLengthsWeighedStillExpandAndCostLittle) {
    // Weighing long copies only at the ends of their equally priced length
    // runs drops choices from the parse, never adds any: the stream that
    // weighs every length is never larger, and the thinned ones expand too.
    const Bytes dll = readFile(kVectors + "dll.bin");
    Bytes mixed = words(20000, 10);
    Bytes noise = random(3000, 11);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), mixed.begin() + 500, mixed.begin() + 9000);
    for (const Bytes& data : {dll, mixed})
        for (const Mode& m : {kModes[0], kModes[5]}) {
            ImplodeOptions o;
            o.literals = m.literals;
            o.dictionarySize = m.dict;
            o.fullLength = 518;
            const size_t every = implodeBuffer(data.data(), data.size(), o).size();
            for (unsigned full : {3u, 9u, 16u, 40u}) {
                o.fullLength = full;
                Bytes stream = implodeBuffer(data.data(), data.size(), o);
                EXPECT_GE(stream.size(), every) << full << " " << modeName(m);
                EXPECT_LE(stream.size() * 1000, every * 1005) << full << " " << modeName(m);
                ExplodeRun run = runExplode(stream);
                ASSERT_EQ(run.result, 0u) << full << " " << modeName(m);
                EXPECT_TRUE(run.output == data) << full << " " << modeName(m);
            }
        }
}

TEST(Implode, LibdynamiteExpandsPlainLiteralStreams) {
    std::vector<Bytes> inputs = {Bytes(1, 'Z'), words(4097, 3), random(8193, 4), Bytes(70000, 0),
                                 readFile(kVectors + "dll.bin"), readFile(kVectors + "english.bin")};
    for (const Bytes& data : inputs)
        for (unsigned dict : {1024u, 2048u, 4096u}) {
            Bytes stream = compress(data, {ImplodeBinary, dict});
            DynamiteIo io = {&stream, 0, {}};
            ASSERT_EQ(dynamite_explode(dynRead, dynWrite, &io), DYNAMITE_SUCCESS) << data.size() << " " << dict;
            EXPECT_TRUE(io.out == data) << data.size() << " " << dict;
        }
}

TEST(Implode, ReachesTheExhaustiveOptimum) {
    // With an unbounded search and no shortcut for long matches, the parse
    // is the cheapest the format allows.
    const Bytes dll = readFile(kVectors + "dll.bin");
    ASSERT_GT(dll.size(), 9000u);
    std::vector<Bytes> inputs = {words(3000, 5), Bytes(dll.begin() + 4096, dll.begin() + 9000)};
    Bytes mixed = words(1500, 6);
    Bytes noise = random(600, 7);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 900);
    inputs.push_back(mixed);
    for (const Bytes& data : inputs)
        for (const Mode& m : kModes) {
            ImplodeOptions o;
            o.literals = m.literals;
            o.dictionarySize = m.dict;
            o.searchDepth = 100000;
            o.niceLength = 518;
            o.fullLength = 518;
            Bytes stream = implodeBuffer(data.data(), data.size(), o);
            EXPECT_EQ(stream.size(), optimalStreamSize(data, m)) << modeName(m) << " " << data.size();
        }
}

TEST(Implode, NoLargerThanTheIndependentEncoder) {
    // Every stream of the test vectors made by the independent encoder, in
    // its mode; ours must not be larger, and the sum must be smaller.
    uint64_t ours = 0, theirs = 0;
    for (const char* name : {"dll", "english", "words", "random", "run", "period1", "period2", "period3",
                             "size-4095", "size-4096", "size-4097", "size-8191", "size-8192", "size-8193",
                             "short-text", "ramp", "1byte", "2byte"}) {
        Bytes data = readFile(kVectors + name + ".bin");
        for (const Mode& m : kModes) {
            std::string mode = m.literals == ImplodeAscii ? "ascii" : "bin";
            Bytes their = readFile(kVectors + name + "." + mode + "-" + std::to_string(m.dict) + ".imp");
            if (their.empty())
                continue;
            size_t size = compress(data, m).size();
            EXPECT_LE(size, their.size()) << name << " " << modeName(m);
            ours += size;
            theirs += their.size();
        }
    }
    EXPECT_GT(theirs, 400000u);
    EXPECT_LT(ours * 1000, theirs * 980) << ours << " vs " << theirs;
}

void appendTo(const unsigned char* data, size_t size, void* param) {
    static_cast<Bytes*>(param)->insert(static_cast<Bytes*>(param)->end(), data, data + size);
}

TEST(Implode, OutputDoesNotDependOnHowInputIsFed) {
    Bytes data = words(300000, 8);
    Bytes noise = random(20000, 9);
    data.insert(data.begin() + 150000, noise.begin(), noise.end());
    for (const Mode& m : {kModes[2], kModes[3]}) {
        Bytes whole = compress(data, m);
        ImplodeOptions o;
        o.literals = m.literals;
        o.dictionarySize = m.dict;
        Bytes pieces;
        Imploder imploder(o, appendTo, &pieces);
        std::mt19937 rng(10);
        for (size_t pos = 0; pos < data.size();) {
            size_t n = std::min<size_t>(data.size() - pos, rng() % 3 == 0 ? 1 : rng() % 100000);
            imploder.write(data.data() + pos, n);
            pos += n;
        }
        imploder.finish();
        EXPECT_TRUE(pieces == whole) << modeName(m);
        EXPECT_EQ(imploder.bytesIn(), data.size());
        EXPECT_EQ(imploder.bytesOut(), whole.size());
    }
}

TEST(Implode, PositionRenumberingChangesNothing) {
    // Positions are renumbered before they overflow; starting the counter
    // just below that point makes a short input go through it.
    Bytes data = words(700000, 11);
    ImplodeOptions o;
    o.literals = ImplodeAscii;
    Bytes plain = implodeBuffer(data.data(), data.size(), o);
    Bytes shifted;
    Imploder imploder(o, appendTo, &shifted);
    imploder.setPositionBaseForTesting(0xC0000000u - 100000);
    imploder.write(data.data(), data.size());
    imploder.finish();
    EXPECT_TRUE(shifted == plain);
}

TEST(Implode, RestartGivesTheStreamOfANewEncoder) {
    // One encoder through streams in a row: each must come out as a new
    // encoder would make it, none reaching back into the one before (the
    // same text again would find it at once), whatever the options before,
    // also after an unfinished stream and across the renumbering.
    const Bytes text = words(90000, 12), other = words(5000, 13), noise = random(3000, 14);
    struct Step {
        const Bytes* data;
        Mode mode;
        bool finish;
    };
    const Step steps[] = {{&text, kModes[5], true},  {&text, kModes[5], true},  {&text, kModes[0], true},
                          {&noise, kModes[4], false}, {&other, kModes[3], true}, {&text, kModes[2], true},
                          {&noise, kModes[1], true},  {&text, kModes[1], true}};
    ImplodeOptions o;
    Bytes stream;
    Imploder imploder(o, appendTo, &stream);
    imploder.setPositionBaseForTesting(0xC0000000u - 250000);
    for (size_t i = 0; i < sizeof steps / sizeof steps[0]; ++i) {
        const Step& step = steps[i];
        o.literals = step.mode.literals;
        o.dictionarySize = step.mode.dict;
        stream.clear();
        imploder.restart(o, appendTo, &stream);
        imploder.write(step.data->data(), step.data->size());
        if (!step.finish)
            continue;
        imploder.finish();
        EXPECT_TRUE(stream == compress(*step.data, step.mode)) << "step " << i << " " << modeName(step.mode);
        EXPECT_EQ(imploder.bytesIn(), step.data->size()) << i;
        EXPECT_EQ(imploder.bytesOut(), stream.size()) << i;
    }
    o.dictionarySize = 3000;
    EXPECT_THROW(imploder.restart(o, appendTo, &stream), std::invalid_argument);
}

} // namespace
