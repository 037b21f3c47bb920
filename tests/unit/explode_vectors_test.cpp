// Explode on the test vectors: streams made by an independent encoder
// and by hand, and malformed ones, each under several ways of cutting the
// input into blocks. Result, byte count and digest must be the listed ones,
// the output must equal the original, and the callbacks must come in the
// same order as the reference decoder's.
#include "explode/Explode.h"
#include "tests/unit/support/ExplodeHarness.h"
#include "tests/unit/support/Sha256.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

const std::string kVectors = std::string(SETUP_VECTORS_DIR) + "/";

struct Vector {
    std::string stream;
    unsigned result;
    size_t bytesWritten;
    std::string sha256;
    std::string original;  // "-" for the malformed streams
};

void PrintTo(const Vector& v, std::ostream* os) { *os << v.stream; }

std::vector<Vector> loadVectors() {
    std::vector<Vector> out;
    std::ifstream list(kVectors + "expected.tsv");
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        Vector v;
        fields >> v.stream >> v.result >> v.bytesWritten >> v.sha256 >> v.original;
        out.push_back(v);
    }
    return out;
}

// Every first block holds more than 4 bytes: a shorter one ends the stream
// with ExplodeTooShort by design.
const std::vector<std::vector<unsigned>> kPieces = {
    {},                   // 2048 at a time
    {5, 1},               // a byte at a time after the header
    {7, 3, 2048, 1},
    {2047, 1},
    {1000, 13, 600, 2},
};

std::string describe(const std::vector<unsigned>& pieces) {
    std::string s = "pieces";
    for (unsigned p : pieces)
        s += " " + std::to_string(p);
    return pieces.empty() ? "pieces 2048" : s;
}

class ExplodeVectors : public ::testing::TestWithParam<Vector> {};

TEST_P(ExplodeVectors, ExpandToTheListedOutcome) {
    const Vector& v = GetParam();
    Bytes stream = readFile(kVectors + v.stream);
    ASSERT_FALSE(stream.empty() && v.result != ExplodeTooShort) << "missing " << v.stream;
    Bytes original;
    if (v.original != "-")
        original = readFile(kVectors + v.original);

    for (const auto& pieces : kPieces) {
        SCOPED_TRACE(describe(pieces));
        ExplodeRun run = runExplode(stream, pieces);
        EXPECT_EQ(v.result, run.result);
        EXPECT_EQ(v.bytesWritten, run.output.size());
        EXPECT_EQ(v.sha256, sha256Hex(run.output));
        if (v.original != "-") {
            EXPECT_TRUE(run.output == original);
        }

        // 4096 bytes per write, then the rest once; nothing at all when the
        // header was refused.
        if (v.result == ExplodeOk || v.result == ExplodeDataError) {
            ASSERT_FALSE(run.writes.empty());
            for (size_t i = 0; i + 1 < run.writes.size(); ++i)
                EXPECT_EQ(4096u, run.writes[i]);
            EXPECT_EQ(v.bytesWritten % 4096, run.writes.back());
        } else {
            EXPECT_TRUE(run.writes.empty());
        }

        ExplodeRun ref = runReference(stream, pieces);
        EXPECT_EQ(ref.trace, run.trace);
        EXPECT_TRUE(ref.output == run.output);
    }
}

std::string vectorName(const ::testing::TestParamInfo<Vector>& info) {
    std::string name;
    for (char c : info.param.stream)
        name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Shared, ExplodeVectors, ::testing::ValuesIn(loadVectors()), vectorName);

// Every proper prefix longer than 4 bytes of a complete stream stops with the
// data error after writing a prefix of the original, the same prefix the
// reference decoder reaches.
TEST(ExplodeVectorPrefixes, CutStreamsWriteWhatWasExpandedBeforeTheCut) {
    for (const char* name : {"short-text.ascii-2048.imp", "short-text.bin-1024.imp",
                             "hand-aiai.bin-1024.imp", "hand-exact-end.bin-4096.imp",
                             "2byte.ascii-4096.imp", "size-4097.bin-4096.imp",
                             "hand-limits-1024.ascii-1024.imp"}) {
        SCOPED_TRACE(name);
        Bytes stream = readFile(kVectors + name);
        Bytes full = runExplode(stream).output;
        size_t step = stream.size() > 300 ? 7 : 1;
        for (size_t cut = 5; cut < stream.size(); cut += step) {
            Bytes part(stream.begin(), stream.begin() + cut);
            ExplodeRun run = runExplode(part, {5, 3});
            ASSERT_EQ(unsigned(ExplodeDataError), run.result) << "cut " << cut;
            ASSERT_LE(run.output.size(), full.size());
            ASSERT_TRUE(std::equal(run.output.begin(), run.output.end(), full.begin()));
            ExplodeRun ref = runReference(part, {5, 3});
            ASSERT_EQ(ref.trace, run.trace) << "cut " << cut;
        }
    }
}

}  // namespace
