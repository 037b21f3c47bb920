// Implode.cpp: implode-format encoder with cost-optimal parsing.
//
// Matches of 2 and 3 bytes come from tables of the last position of each
// prefix; longer ones from a binary tree per four-byte hash over the sliding
// window (each node a position, ordered by the bytes that follow it, newer
// positions nearer the root). One walk down the tree for a position yields
// its matches of strictly increasing length at increasing distance: for
// every length, the nearest position that reaches it. As a nearer copy
// never costs more bits than a farther one of the same length, that list is
// all the parser needs.
//
// The parser is a shortest path over a block of positions: from each
// position, a literal and every copy length up to the longest match, each at
// the exact bit cost of its codes. The codes of the format are fixed, so the
// costs are exact and the path is the cheapest encoding of the block that
// the match finder's candidates allow.
#include "implode/Implode.h"
#include "common/LittleEndian.h"
#include "explode/ImplodeCodes.h"

#include <string.h>

#include <algorithm>
#include <stdexcept>

namespace {

const unsigned kMinMatch = 2;
const unsigned kMaxMatch = 518;       // length code 15, extra 254
const unsigned kMaxShortDistance = 256; // copies of length 2 carry 2 low bits
const unsigned kBlock = 1 << 16;      // positions weighed together

// The format's code tables, shared with the decoder.
const auto& kLengthBase = kLengthBases;
const auto& kLiteralCodeBits = kAsciiCodeBits;

void buildCodes(const uint8_t* lengths, unsigned count, ImplodeCode* codes) {
    unsigned canonical = 0;
    for (unsigned len = 1; len <= 16; ++len) {
        for (unsigned sym = 0; sym < count; ++sym) {
            if (lengths[sym] != len)
                continue;
            // Inverted, then reversed: the stream takes the canonical code's
            // top bit first, and our bit writer sends bit 0 first.
            unsigned inverted = ~canonical & ((1u << len) - 1);
            unsigned value = 0;
            for (unsigned b = 0; b < len; ++b)
                if (inverted & (1u << b))
                    value |= 1u << (len - 1 - b);
            codes[sym].value = static_cast<uint16_t>(value);
            codes[sym].bits = static_cast<uint8_t>(len);
            ++canonical;
        }
        canonical <<= 1;
    }
}

struct CodeTables {
    ImplodeCode literal[256];
    ImplodeCode length[16];
    ImplodeCode distance[64];
    uint8_t lengthIndex[kMaxMatch - kMinMatch + 1]; // copy length - 2 -> code
    CodeTables() {
        buildCodes(kLiteralCodeBits, 256, literal);
        buildCodes(kLengthCodeBits, 16, length);
        buildCodes(kDistanceCodeBits, 64, distance);
        for (unsigned i = 0; i < 16; ++i)
            for (unsigned v = kLengthBase[i]; v < kLengthBase[i] + (1u << kLengthExtraBits[i]); ++v)
                if (v <= kMaxMatch - kMinMatch)
                    lengthIndex[v] = static_cast<uint8_t>(i);
    }
};

const CodeTables& tables() {
    static const CodeTables tables;
    return tables;
}

struct Match {
    uint32_t length;
    uint32_t distance;
};

// Extends a match known to hold for `len` bytes, eight bytes at a time. The
// window has kSlack readable bytes past its end, so the last word may run
// over the input; the limit cuts the result.
const unsigned kSlack = 8;

inline unsigned matchLength(const uint8_t* a, const uint8_t* b, unsigned len, unsigned limit) {
    while (len < limit) {
        uint64_t x, y;
        memcpy(&x, a + len, 8);
        memcpy(&y, b + len, 8);
        uint64_t diff = x ^ y;
        if (diff != 0) {
            len += static_cast<unsigned>(__builtin_ctzll(diff)) >> 3; // little-endian
            return std::min(len, limit);
        }
        len += 8;
    }
    return limit;
}

} // namespace

struct Imploder::State {
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
    // reach. bufStart is the position of buf[0].
    static const uint32_t kBase = 1u << 13;
    std::vector<uint8_t> buf;
    uint32_t bufStart = kBase;
    uint32_t pos = kBase;     // next position to encode
    uint32_t dataEnd = kBase; // end of the input received
    uint32_t renumberAt = 0xC0000000u;

    // Match finder. nearest2: the last position of each two-byte prefix,
    // which gives the cheapest copy of length 2. nearest3: the last two
    // positions of differing three-byte prefixes, by hash, for copies of 3.
    // treeRoot: the root of the tree of each four-byte hash. son: two
    // children per position, in a cyclic table of a power of two entries
    // larger than the window, indexed by the position's low bits, so a slot
    // is reused only after its position has left the window.
    static const unsigned kHashBits = 15;
    static const unsigned kHash3Bits = 16;
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

    State(const ImplodeOptions& options, ImplodeOutputFn fn, void* p);

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
    void putCopy(unsigned length, uint32_t distance);

    unsigned findMatches(uint32_t position, Match* found);
    void renumber();
    void encode(bool finishing);
    void encodeBlock(uint32_t limit);
    void emitPath(uint32_t start, unsigned count);
};

Imploder::State::State(const ImplodeOptions& options, ImplodeOutputFn fn, void* p)
    : output(fn), param(p) {
    if (options.literals != ImplodeBinary && options.literals != ImplodeAscii)
        throw std::invalid_argument("literal mode must be binary or ascii");
    if (!implodeValidDictionarySize(options.dictionarySize))
        throw std::invalid_argument("dictionary size must be 1024, 2048 or 4096");
    literalMode = options.literals;
    dictSize = options.dictionarySize;
    dictBits = dictSize == 1024 ? 4 : dictSize == 2048 ? 5 : 6;
    searchDepth = std::max(1u, options.searchDepth);
    niceLength = std::min(kMaxMatch, std::max(kMinMatch + 1, options.niceLength));
    fullLength = std::min(kMaxMatch, std::max(kMinMatch + 1, options.fullLength));

    const CodeTables& t = tables();
    for (unsigned c = 0; c < 256; ++c) {
        if (literalMode == ImplodeAscii) {
            literalBits[c] = static_cast<uint32_t>(t.literal[c].value) << 1;
            literalBitCount[c] = static_cast<uint8_t>(t.literal[c].bits + 1);
        } else {
            literalBits[c] = c << 1;
            literalBitCount[c] = 9;
        }
        literalCost[c] = literalBitCount[c];
    }
    for (unsigned len = kMinMatch; len <= kMaxMatch; ++len) {
        unsigned i = t.lengthIndex[len - kMinMatch];
        lengthCost[len] = 1 + t.length[i].bits + kLengthExtraBits[i];
    }
    lengthCost[0] = lengthCost[1] = 0;
    for (unsigned len = 0; len <= kMaxMatch; ++len)
        lengthKey[len] = (static_cast<uint64_t>(lengthCost[len]) << 32) | (len << 16);
    runEnd[kMaxMatch] = kMaxMatch;
    for (unsigned len = kMaxMatch; len-- > 0;)
        runEnd[len] = lengthCost[len + 1] == lengthCost[len] ? runEnd[len + 1] : static_cast<uint16_t>(len);
    distanceCost.resize(dictSize + 1);
    distanceCost[0] = 0;
    for (uint32_t d = 1; d <= dictSize; ++d)
        distanceCost[d] = t.distance[(d - 1) >> dictBits].bits + dictBits;
    shortDistanceCost[0] = 0;
    for (uint32_t d = 1; d <= kMaxShortDistance; ++d)
        shortDistanceCost[d] = t.distance[(d - 1) >> 2].bits + 2;

    lengthBits[0] = lengthBits[1] = {0, 0};
    for (unsigned len = kMinMatch; len <= kMaxMatch; ++len) {
        unsigned v = len - kMinMatch;
        unsigned i = t.lengthIndex[v];
        const ImplodeCode& lc = t.length[i];
        lengthBits[len] = {1u | (static_cast<uint32_t>(lc.value) << 1) | ((v - kLengthBase[i]) << (1 + lc.bits)),
                           1u + lc.bits + kLengthExtraBits[i]};
    }
    auto distanceCode = [&t](uint32_t distance, unsigned lowBits) {
        uint32_t d = distance - 1;
        const ImplodeCode& dc = t.distance[d >> lowBits];
        return CopyBits{dc.value | ((d & ((1u << lowBits) - 1)) << dc.bits), dc.bits + lowBits};
    };
    distanceBits.resize(dictSize + 1);
    distanceBits[0] = shortDistanceBits[0] = {0, 0};
    for (uint32_t d = 1; d <= dictSize; ++d)
        distanceBits[d] = distanceCode(d, dictBits);
    for (uint32_t d = 1; d <= kMaxShortDistance; ++d)
        shortDistanceBits[d] = distanceCode(d, 2);

    buf.resize(dictSize + 2 * kBlock + kMaxMatch + kSlack);
    nearest2.assign(1 << 16, 0);
    nearest3.assign(2 << kHash3Bits, 0);
    treeRoot.assign(1 << kHashBits, 0);
    sonMask = 2 * dictSize - 1;
    son.assign(2 * (sonMask + 1), 0);
    node.resize(kBlock + 1);
    path.reserve(kBlock);
    // Below kBlock / 2 before a block, at most 16 bits a position in it.
    out.resize(3 * kBlock);

    out[outLen++] = static_cast<uint8_t>(literalMode);
    out[outLen++] = static_cast<uint8_t>(dictBits);
}

// Copy: flag 1, length code and its extra bits, distance-position code, then
// the low distance bits (2 of them for a copy of length 2); at most 30 bits,
// put at once from the tables made for the mode.
void Imploder::State::putCopy(unsigned length, uint32_t distance) {
    const CopyBits& l = lengthBits[length];
    const CopyBits& d = length == kMinMatch ? shortDistanceBits[distance] : distanceBits[distance];
    put(l.value | (d.value << l.bits), l.bits + d.bits);
}

// Inserts `position` into its tree and lists its matches, longest last, each
// longer than the one before and no nearer. Returns how many it found. Called
// for every position in order, with at least two bytes left from it.
// Inlined into the parser: a call per position costs more than its work on
// a short walk.
inline __attribute__((always_inline)) unsigned Imploder::State::findMatches(uint32_t position, Match* found) {
    const uint8_t* cur = at(position);
    const unsigned available = std::min<uint32_t>(kMaxMatch, dataEnd - position);
    // The tree compares at most niceLength bytes: strings that agree that
    // far count as equal, so a walk ends as soon as it meets one, and a
    // longer match is measured afterwards.
    const unsigned lenLimit = std::min(available, niceLength);
    unsigned count = 0;

    const unsigned key2 = cur[0] | (cur[1] << 8);
    const uint32_t delta2 = position - nearest2[key2];
    nearest2[key2] = position;
    if (delta2 <= kMaxShortDistance)
        found[count++] = {kMinMatch, delta2};

    uint32_t* const sons = son.data();
    const uint32_t mask = sonMask;
    uint32_t* less = sons + (position & mask) * 2; // where the next smaller node goes
    uint32_t* greater = less + 1;                  // where the next larger node goes
    if (available <= kMinMatch) {
        // Input ends here; nothing longer can follow.
        *less = *greater = 0;
        return count;
    }

    // Copies of 3 bytes come from the last position of each prefix, in
    // slots of two so that two prefixes sharing one both keep theirs; the
    // tree, by four-byte hash, serves the longer ones.
    unsigned best = kMinMatch;
    const uint32_t bytes3 = key2 | (cur[2] << 16);
    uint32_t* const slot3 = &nearest3[((bytes3 * 2654435761u) >> (32 - kHash3Bits)) * 2];
    auto bytesAt = [cur](uint32_t delta) {
        const uint8_t* m = cur - delta;
        return static_cast<uint32_t>(m[0] | (m[1] << 8) | (m[2] << 16));
    };
    const uint32_t delta3 = position - slot3[0];
    if (delta3 <= dictSize && bytesAt(delta3) == bytes3) {
        found[count++] = {3, delta3};
        best = 3;
        slot3[0] = position;
    } else {
        const uint32_t older = position - slot3[1];
        if (older <= dictSize && bytesAt(older) == bytes3) {
            found[count++] = {3, older};
            best = 3;
        }
        // The newest position moves in front, the other prefix one behind.
        slot3[1] = delta3 <= dictSize && bytesAt(delta3) != bytes3 ? slot3[0] : slot3[1];
        slot3[0] = position;
    }
    if (available == 3) {
        *less = *greater = 0;
        return count;
    }

    const uint32_t bytes4 = loadLittleEndian<uint32_t>(cur);
    const uint32_t key4 = (bytes4 * 2654435761u) >> (32 - kHashBits);
    uint32_t candidate = treeRoot[key4];
    treeRoot[key4] = position;

    // The tree orders positions by the bytes that follow them. lenLess and
    // lenGreater: bytes known to match on the smaller and the larger side,
    // so comparing can skip them. A hash bucket may mix prefixes, so those
    // start at 0.
    unsigned lenLess = 0, lenGreater = 0;
    unsigned depth = searchDepth;
    // Locals, not members: the stores into the tree below could otherwise
    // alias them and force reloads on every step.
    const uint32_t window = dictSize;
    for (;;) {
        const uint32_t delta = position - candidate;
        if (delta > window || depth-- == 0) {
            *less = *greater = 0;
            break;
        }
        uint32_t* pair = sons + (candidate & mask) * 2;
        const uint8_t* match = cur - delta;
        const unsigned len = matchLength(match, cur, std::min(lenLess, lenGreater), lenLimit);
        if (len > best) {
            best = len;
            found[count++] = {len, delta};
            if (len == lenLimit) {
                // The candidate equals the new position as far as the tree
                // looks: the new node takes its place and its children.
                *less = pair[0];
                *greater = pair[1];
                found[count - 1].length = matchLength(match, cur, len, available);
                break;
            }
        }
        // Descend; written without branches on the comparison, which
        // predicts badly.
        const bool smaller = match[len] < cur[len];
        *(smaller ? less : greater) = candidate;
        less = smaller ? pair + 1 : less;
        greater = smaller ? greater : pair;
        candidate = pair[smaller];
        lenLess = smaller ? len : lenLess;
        lenGreater = smaller ? lenGreater : len;
    }
    return count;
}

// Positions grow with the input; before they overflow, shift every stored
// position down, forgetting those that have left the window.
void Imploder::State::renumber() {
    // A multiple of the tree's table size, so that every position keeps its
    // slot.
    const uint32_t shift = (pos - kBase - dictSize - 1) & ~sonMask;
    const uint32_t oldest = pos - dictSize - 1;
    auto fix = [&](uint32_t& v) { v = v < oldest ? 0 : v - shift; };
    for (uint32_t& v : nearest2)
        fix(v);
    for (uint32_t& v : nearest3)
        fix(v);
    for (uint32_t& v : treeRoot)
        fix(v);
    for (uint32_t& v : son)
        fix(v);
    pos -= shift;
    dataEnd -= shift;
    bufStart -= shift;
}

void Imploder::State::emitPath(uint32_t start, unsigned count) {
    // Walk back from the block end, then write forward.
    path.clear();
    for (unsigned j = count; j > 0;) {
        unsigned len = static_cast<uint16_t>(node[j] >> 16);
        path.push_back({len, static_cast<uint16_t>(node[j])});
        j -= len;
    }
    uint32_t p = start;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (it->length == 1)
            putLiteral(*at(p));
        else
            putCopy(it->length, it->distance);
        p += it->length;
    }
}

// Encodes the positions from `pos` up to `limit`, or fewer when a match of at
// least niceLength ends the block early.
void Imploder::State::encodeBlock(uint32_t limit) {
    const uint32_t start = pos;
    const unsigned count = limit - start;
    // Entries are made "unreached" a stretch ahead of use: a block often ends
    // early at a long match, and clearing all of it each time would cost more
    // than the parse.
    node[0] = 0;
    unsigned cleared = 1;
    auto relax = [this](unsigned at, uint64_t cost, unsigned len, uint32_t distance) {
        uint64_t v = (cost << 32) | (len << 16) | distance;
        node[at] = std::min(node[at], v);
    };

    for (unsigned j = 0; j < count; ++j) {
        const uint32_t p = start + j;
        if (cleared < count + 1 && cleared <= j + kMaxMatch) {
            unsigned upTo = std::min(count + 1, j + kMaxMatch + 1 + 1024);
            std::fill(node.begin() + cleared, node.begin() + upTo, ~static_cast<uint64_t>(0));
            cleared = upTo;
        }
        const uint64_t base = node[j] >> 32;
        relax(j + 1, base + literalCost[*at(p)], 1, 0);
        if (dataEnd - p < kMinMatch)
            continue;
        unsigned n = findMatches(p, matches);
        if (n == 0)
            continue;

        unsigned longest = matches[n - 1].length;
        if (longest >= niceLength) {
            // Long repeat: settle the block up to here, take the copy, and
            // only insert the positions it covers.
            emitPath(start, j);
            putCopy(longest, matches[n - 1].distance);
            for (uint32_t q = p + 1; q < p + longest; ++q) {
                if (dataEnd - q >= kMinMatch)
                    findMatches(q, matches);
            }
            pos = p + longest;
            return;
        }

        // Each match serves the lengths above the previous one's. A copy of
        // length 2 reaches 256 bytes back at most, with its own distance
        // cost; the finder lists it first when there is one.
        const unsigned room = count - j;
        unsigned len = kMinMatch + 1;
        unsigned k = 0;
        if (matches[0].length == kMinMatch) {
            if (room >= kMinMatch)
                relax(j + kMinMatch, base + lengthCost[kMinMatch] + shortDistanceCost[matches[0].distance],
                      kMinMatch, matches[0].distance);
            k = 1;
        }
        uint64_t* const at = node.data() + j;
        const uint64_t* const keys = lengthKey;
        for (; k < n; ++k) {
            const uint32_t distance = matches[k].distance;
            const unsigned top = std::min(matches[k].length, room);
            const uint64_t key = ((base + distanceCost[distance]) << 32) | distance;
            const unsigned dense = std::min(top, fullLength);
            for (; len <= dense; ++len)
                at[len] = std::min(at[len], key + keys[len]);
            // Longer copies: the longest length of each equally priced run,
            // and the whole match.
            while (len <= top) {
                const unsigned l = std::min<unsigned>(runEnd[len], top);
                at[l] = std::min(at[l], key + keys[l]);
                len = l + 1;
            }
            if (top == room)
                break;
        }
    }
    emitPath(start, count);
    pos = limit;
}

// Encodes whole blocks while each has a full longest match of lookahead, so
// block boundaries, and with them the output, do not depend on how the input
// was fed; when finishing, encodes everything.
void Imploder::State::encode(bool finishing) {
    for (;;) {
        uint32_t avail = dataEnd - pos;
        if (!finishing && avail < kBlock + kMaxMatch)
            break;
        if (avail == 0)
            break;
        if (pos >= renumberAt)
            renumber();
        encodeBlock(pos + std::min<uint32_t>(avail, kBlock));
        if (outLen >= kBlock / 2)
            flush();
    }
}

Imploder::Imploder(const ImplodeOptions& options, ImplodeOutputFn output, void* param)
    : state(new State(options, output, param)) {}

Imploder::~Imploder() = default;

void Imploder::write(const void* data, size_t size) {
    State& s = *state;
    if (s.finished)
        throw std::logic_error("Imploder::Write after Finish");
    const uint8_t* in = static_cast<const uint8_t*>(data);
    s.bytesIn += size;
    while (size > 0) {
        uint32_t used = s.dataEnd - s.bufStart;
        const uint32_t capacity = static_cast<uint32_t>(s.buf.size() - kSlack);
        if (used == capacity) {
            // Keep the window behind the next position to encode.
            uint32_t keepFrom = s.pos - s.bufStart > s.dictSize ? s.pos - s.dictSize : s.bufStart;
            memmove(s.buf.data(), s.at(keepFrom), s.dataEnd - keepFrom);
            s.bufStart = keepFrom;
            used = s.dataEnd - s.bufStart;
        }
        size_t n = std::min<size_t>(size, capacity - used);
        memcpy(s.buf.data() + used, in, n);
        s.dataEnd += static_cast<uint32_t>(n);
        in += n;
        size -= n;
        s.encode(false);
    }
}

void Imploder::finish() {
    State& s = *state;
    if (s.finished)
        return;
    s.finished = true;
    s.encode(true);
    // End code: length code 15 with the extra value 255.
    s.put(1u | (static_cast<uint32_t>(tables().length[15].value) << 1) | (255u << 8), 16);
    if (s.bitCount % 8 != 0)
        s.put(0, 8 - s.bitCount % 8);
    s.drain();
    s.flush();
}

uint64_t Imploder::bytesIn() const { return state->bytesIn; }
uint64_t Imploder::bytesOut() const { return state->bytesOut + state->outLen; }

void Imploder::setPositionBaseForTesting(uint32_t base) {
    State& s = *state;
    if (s.bytesIn != 0 || base < State::kBase)
        throw std::logic_error("position base must be set before input");
    s.pos = s.bufStart = s.dataEnd = base;
}

bool implodeValidDictionarySize(unsigned size) { return size == 1024 || size == 2048 || size == 4096; }

std::vector<unsigned char> implodeBuffer(const void* data, size_t size, const ImplodeOptions& options) {
    std::vector<unsigned char> result;
    Imploder imploder(
        options,
        [](const unsigned char* bytes, size_t n, void* param) {
            auto* v = static_cast<std::vector<unsigned char>*>(param);
            v->insert(v->end(), bytes, bytes + n);
        },
        &result);
    imploder.write(data, size);
    imploder.finish();
    return result;
}

const ImplodeCode* implodeLiteralCodes() { return tables().literal; }
const ImplodeCode* implodeLengthCodes() { return tables().length; }
const ImplodeCode* implodeDistanceCodes() { return tables().distance; }
