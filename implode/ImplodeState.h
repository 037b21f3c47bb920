// ImplodeState.h: the encoder's state, shared by the two halves of the
// encoder: Implode.cpp (the code tables, the state's costs and codes made for
// the options, the streaming interface) and ImplodeParse.cpp (the match
// finder and the cost-optimal parser). Internal to the implode library.
#ifndef SETUP_IMPLODE_IMPLODE_STATE_H
#define SETUP_IMPLODE_IMPLODE_STATE_H

#include <stdint.h>

#include <vector>

#include "explode/ImplodeCodes.h"
#include "implode/Implode.h"

const unsigned kMinMatch = 2;
const unsigned kMaxDictionary = 4096;
const unsigned kMaxMatch = 518;       // length code 15, extra 254
const unsigned kMaxShortDistance = 256; // copies of length 2 carry 2 low bits
const unsigned kBlock = 1 << 16;      // positions weighed together

// The window has kSlack readable bytes past its end, so that a match is
// extended eight bytes at a time (ImplodeParse.cpp).
const unsigned kSlack = 8;

// The format's fixed codes, made once from the code lengths the decoder
// shares, and the length code of every copy length.
struct ImplodeTables {
    ImplodeCode literal[256];
    ImplodeCode length[16];
    ImplodeCode distance[64];
    uint8_t lengthIndex[kMaxMatch - kMinMatch + 1]; // copy length - 2 -> code
    ImplodeTables();
};
const ImplodeTables& implodeTables();

struct Imploder::State {
    struct Match {
        uint32_t length;
        uint32_t distance;
    };

    ImplodeOutputFn output;
    void* param;
    unsigned literalMode;
    unsigned dictBits;  // 4, 5 or 6: low distance bits of copies longer than 2
    uint32_t dictSize;  // farthest distance a copy may reach
    unsigned searchDepth;
    unsigned niceLength;
    bool finished = false;
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;

    // Input window. Positions are counted from kBase upwards so that 0 can
    // mean "no position" in the match finder: its distance is always out of
    // reach. bufStart is the position of buf[0]. A restarted stream begins
    // more than a dictionary beyond the last one's end, so that whatever the
    // match finder still holds of it is out of reach too.
    static const uint32_t kBase = 1u << 13;
    std::vector<uint8_t> buf;
    uint32_t bufStart = kBase;
    uint32_t pos = kBase;     // next position to encode
    uint32_t dataEnd = kBase; // end of the input received
    uint32_t renumberAt = 0xC0000000u;

    // Match finder. nearest2: the last position of each two-byte prefix, by
    // hash, which gives the cheapest copy of length 2. nearest3: the last
    // two positions of differing three-byte prefixes, by hash, for copies of
    // 3. treeRoot: the root of the tree of each four-byte hash. son: two
    // children per position, in a cyclic table of a power of two entries
    // larger than the window, indexed by the position's low bits, so a slot
    // is reused only after its position has left the window. The window
    // holds at most 4096 prefixes of each kind, so small tables lose few of
    // them, and tables that stay in the first-level cache are what makes
    // the finder fast: it touches each of them at every position.
    static const unsigned kHash2Bits = 14;
    static const unsigned kHash3Bits = 13;
    static const unsigned kHashBits = 14;
    std::vector<uint32_t> nearest2;
    std::vector<uint32_t> nearest3;
    std::vector<uint32_t> treeRoot;
    std::vector<uint32_t> son;
    uint32_t sonMask;

    // Bit costs, flag bit included.
    uint32_t literalCost[256];
    uint32_t lengthCost[kMaxMatch + 1];
    // lengthCost[len] << 32 | len << 16: added to cost << 32 | distance, a
    // parser entry for a copy in one step.
    uint64_t lengthKey[kMaxMatch + 1];
    // The longest length from each length on that costs the same.
    uint16_t runEnd[kMaxMatch + 1];
    unsigned fullLength;
    std::vector<uint32_t> distanceCost;      // by distance, copies of 3 and more
    uint32_t shortDistanceCost[kMaxShortDistance + 1]; // copies of length 2
    // Copy codes ready to write: flag and length code with its extra bits by
    // length; distance code with its low bits by distance.
    struct CopyBits {
        uint32_t value;
        uint32_t bits;
    };
    CopyBits lengthBits[kMaxMatch + 1];
    std::vector<CopyBits> distanceBits;
    CopyBits shortDistanceBits[kMaxShortDistance + 1];
    // Literal codes with the flag bit 0 in front, ready to write.
    uint32_t literalBits[256];
    uint8_t literalBitCount[256];

    // Parser: for each position of the block, the cheapest way found to
    // reach it, packed as cost << 32 | step length << 16 | step distance
    // (length 1 = literal), so that keeping the better of two is one
    // unsigned minimum. Equal costs keep the shorter step.
    std::vector<uint64_t> node;
    std::vector<Match> path;
    Match matches[kMaxMatch + 1];

    // Output: bits gather in bitBuffer and leave 32 at a time into out,
    // which holds what one block can produce beyond the flush threshold.
    uint64_t bitBuffer = 0;
    unsigned bitCount = 0;
    std::vector<uint8_t> out;
    size_t outLen = 0;

    State();
    // Sets the costs and codes for `options` and starts a stream at the
    // next free position.
    void begin(const ImplodeOptions& options, ImplodeOutputFn fn, void* p);

    const uint8_t* at(uint32_t position) const { return buf.data() + (position - bufStart); }

    void put(uint32_t value, unsigned bits) {
        bitBuffer |= static_cast<uint64_t>(value) << bitCount;
        bitCount += bits;
        if (bitCount >= 32) {
            uint8_t* o = out.data() + outLen;
            o[0] = static_cast<uint8_t>(bitBuffer);
            o[1] = static_cast<uint8_t>(bitBuffer >> 8);
            o[2] = static_cast<uint8_t>(bitBuffer >> 16);
            o[3] = static_cast<uint8_t>(bitBuffer >> 24);
            outLen += 4;
            bitBuffer >>= 32;
            bitCount -= 32;
        }
    }
    // Moves the whole bytes still in bitBuffer to out.
    void drain() {
        for (; bitCount >= 8; bitCount -= 8) {
            out[outLen++] = static_cast<uint8_t>(bitBuffer);
            bitBuffer >>= 8;
        }
    }
    void flush() {
        if (outLen != 0) {
            bytesOut += outLen;
            output(out.data(), outLen, param);
            outLen = 0;
        }
    }

    void putLiteral(uint8_t byte) { put(literalBits[byte], literalBitCount[byte]); }
    // Copy: flag 1, length code and its extra bits, distance-position code, then
    // the low distance bits (2 of them for a copy of length 2); at most 30 bits,
    // put at once from the tables made for the mode.
    void putCopy(unsigned length, uint32_t distance) {
        const CopyBits& l = lengthBits[length];
        const CopyBits& d = length == kMinMatch ? shortDistanceBits[distance] : distanceBits[distance];
        put(l.value | (d.value << l.bits), l.bits + d.bits);
    }

    unsigned findMatches(uint32_t position, Match* found);
    void renumber();
    void encode(bool finishing);
    void encodeBlock(uint32_t limit);
    void emitPath(uint32_t start, unsigned count);
};

#endif
