// ImplodeParse.cpp: the implode-format encoder's match finder and its
// cost-optimal parser.
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
#include "implode/ImplodeState.h"
#include "common/LittleEndian.h"

#include <string.h>

#include <algorithm>

namespace {

// Extends a match known to hold for `len` bytes, eight bytes at a time; the
// last word may run over the input (into the window's kSlack bytes), and
// the limit cuts the result.
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

    // The next position's table slots are far apart in memory: fetch them
    // now, while this one is searched. The bytes past the input are the
    // window's slack; a slot fetched for nothing costs nothing.
    {
        const uint32_t next4 = loadLittleEndian<uint32_t>(cur + 1);
        __builtin_prefetch(&nearest2[((next4 & 0xFFFF) * 2654435761u) >> (32 - kHash2Bits)]);
        __builtin_prefetch(&nearest3[(((next4 & 0xFFFFFF) * 2654435761u) >> (32 - kHash3Bits)) * 2]);
        __builtin_prefetch(&treeRoot[(next4 * 2654435761u) >> (32 - kHashBits)]);
    }
    const unsigned key2 = cur[0] | (cur[1] << 8);
    uint32_t& slot2 = nearest2[(key2 * 2654435761u) >> (32 - kHash2Bits)];
    const uint32_t delta2 = position - slot2;
    slot2 = position;
    if (delta2 <= kMaxShortDistance && ((cur[0] ^ *(cur - delta2)) | (cur[1] ^ *(cur - delta2 + 1))) == 0)
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
