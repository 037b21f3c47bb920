// Implode-format decompressor: header check, lookup construction and the
// expansion loop. See Explode.h for the interface.
//
// The bits are read two ways that give the same calls of the callbacks.
// The careful reader follows the format's own: it consumes at most 8 bits at
// a time, keeps at least 8 in hand and reads the next input block when a
// step would leave fewer with the block used up, so which symbol meets the
// end of the input is exactly defined. The fast reader holds up to 64 bits,
// filled 8 bytes at a time, and runs only while the block in hand covers the
// longest element and 8 bits more: there the careful reader could not have
// asked for input, so the fast one skips every check. Near the end of each
// block the careful reader takes one element at a time.
#include "explode/Explode.h"
#include "common/LittleEndian.h"
#include "explode/ImplodeCodes.h"

#include <stdint.h>
#include <string.h>

namespace {


// The coded literals in order of code length, for building the fast lookup.
struct AsciiByLength {
    unsigned char symbols[256];
    unsigned short end[14];  // end[L]: symbols of length L or less
    unsigned int shortest;
    unsigned int longest;
};

constexpr AsciiByLength orderAsciiByLength() {
    AsciiByLength o{};
    o.shortest = 13;
    unsigned int n = 0;
    for (unsigned int len = 0; len <= 13; ++len) {
        for (unsigned int c = 0; c < 256; ++c) {
            if (kAsciiCodeBits[c] == len) {
                o.symbols[n++] = static_cast<unsigned char>(c);
                o.shortest = len < o.shortest ? len : o.shortest;
                o.longest = len;
            }
        }
        o.end[len] = static_cast<unsigned short>(n);
    }
    return o;
}

constexpr AsciiByLength kAsciiByLength = orderAsciiByLength();
static_assert(kAsciiByLength.end[13] == 256 && kAsciiByLength.longest == 13,
              "every coded literal fits the 13-bit fast lookup");

// Symbols of the expansion loop besides literals 0..255 and copies
// 256 + (length - 2).
enum : unsigned int {
    kSymbolCopyBase = 256,
    kSymbolEnd = 773,    // length code 15 with extra value 255
    kSymbolError = 774,  // input ran out
};

// A code of length L owns every index whose low L bits equal its value, so
// one look at the next 8 input bits finds any code of up to 8 bits. In a
// prefix code no two codes claim the same index.
void fillLookup(unsigned char* lookup, unsigned int size, const unsigned char* bits,
                const unsigned char* values, int count) {
    for (int sym = count - 1; sym >= 0; --sym)
        for (unsigned int i = values[sym]; i < size; i += 1u << bits[sym])
            lookup[i] = static_cast<unsigned char>(sym);
}

void fillSpan(unsigned char* lookup, unsigned int size, unsigned int first, unsigned int step,
              int sym) {
    for (unsigned int i = first; i < size; i += step)
        lookup[i] = static_cast<unsigned char>(sym);
}

// Literal codes run up to 13 bits. Codes of up to 8 bits are found by
// asciiLookupShort alone; a longer code leaves the mark 255 there and is
// finished by a second lookup after 4 bits (its low 6 bits are not all 0),
// after 6 bits (its low 6 are 0, the low 8 not) or after 8 bits (its low 8
// are 0). The table of lengths keeps what is left after each step within 8.
void fillAsciiLookups(ExplodeWork* w) {
    for (int c = 255; c >= 0; --c) {
        unsigned int len = w->asciiBitsLeft[c];
        unsigned int value = kAsciiCodeValues[c];
        if (len <= 8) {
            fillSpan(w->asciiLookupShort, 256, value, 1u << len, c);
        } else if ((value & 0xFF) != 0) {
            w->asciiLookupShort[value & 0xFF] = 255;
            if ((value & 0x3F) != 0) {
                w->asciiBitsLeft[c] = static_cast<unsigned char>(len - 4);
                fillSpan(w->asciiLookupAfter4, 256, value >> 4, 1u << (len - 4), c);
            } else {
                w->asciiBitsLeft[c] = static_cast<unsigned char>(len - 6);
                fillSpan(w->asciiLookupAfter6, 128, value >> 6, 1u << (len - 6), c);
            }
        } else {
            w->asciiBitsLeft[c] = static_cast<unsigned char>(len - 8);
            fillSpan(w->asciiLookupAfter8, 256, value >> 8, 1u << (len - 8), c);
        }
    }
}

// Reads the next block; false when the stream has no more bytes. A count
// above the block size cannot be true and is taken as a failed read.
bool readBlock(ExplodeWork* w) {
    unsigned int size = ExplodeInputBlock;
    unsigned int got = w->readInput(reinterpret_cast<char*>(w->inBuffer), &size, w->param);
    if (got == 0 || got > ExplodeInputBlock)
        return false;
    w->inCount = got;
    w->inPos = 0;
    return true;
}

// Drops n (1..8) bits, keeping at least 8 in hand. false: the input is exhausted.
bool consumeBits(ExplodeWork* w, unsigned int n) {
    if (n <= w->extraBits) {
        w->bitBuffer >>= n;
        w->extraBits -= n;
        return true;
    }
    w->bitBuffer >>= w->extraBits;
    if (w->inPos == w->inCount && !readBlock(w))
        return false;
    w->bitBuffer |= static_cast<unsigned int>(w->inBuffer[w->inPos++]) << 8;
    w->bitBuffer >>= n - w->extraBits;
    w->extraBits = 8 - (n - w->extraBits);
    return true;
}

// Literal 0..255, copy 256 + (length - 2), kSymbolEnd or kSymbolError.
unsigned int nextSymbol(ExplodeWork* w) {
    unsigned int flag = w->bitBuffer & 1;
    if (!consumeBits(w, 1))
        return kSymbolError;
    if (flag) {
        unsigned int code = w->lengthLookup[w->bitBuffer & 0xFF];
        if (!consumeBits(w, w->lengthCodeBits[code]))
            return kSymbolError;
        unsigned int extraCount = w->lengthExtraBitCounts[code];
        if (extraCount == 0)
            return kSymbolCopyBase + code;
        unsigned int extra = w->bitBuffer & ((1u << extraCount) - 1);
        unsigned int symbol = kSymbolCopyBase + w->lengthBases[code] + extra;
        // The end code may end on the very last bit of the input.
        if (!consumeBits(w, extraCount) && symbol != kSymbolEnd)
            return kSymbolError;
        return symbol;
    }
    if (w->literalMode == 0) {
        unsigned int value = w->bitBuffer & 0xFF;
        if (!consumeBits(w, 8))
            return kSymbolError;
        return value;
    }
    unsigned int value;
    if ((w->bitBuffer & 0xFF) != 0) {
        value = w->asciiLookupShort[w->bitBuffer & 0xFF];
        if (value == 255) {
            if ((w->bitBuffer & 0x3F) != 0) {
                if (!consumeBits(w, 4))
                    return kSymbolError;
                value = w->asciiLookupAfter4[w->bitBuffer & 0xFF];
            } else {
                if (!consumeBits(w, 6))
                    return kSymbolError;
                value = w->asciiLookupAfter6[w->bitBuffer & 0x7F];
            }
        }
    } else {
        if (!consumeBits(w, 8))
            return kSymbolError;
        value = w->asciiLookupAfter8[w->bitBuffer & 0xFF];
    }
    if (!consumeBits(w, w->asciiBitsLeft[value]))
        return kSymbolError;
    return value;
}

// Distance of a copy of the given length; 0 when the input ran out.
unsigned int nextDistance(ExplodeWork* w, unsigned int length) {
    unsigned int position = w->distanceLookup[w->bitBuffer & 0xFF];
    if (!consumeBits(w, w->distanceCodeBits[position]))
        return 0;
    unsigned int distance;
    if (length == 2) {
        distance = (position << 2) | (w->bitBuffer & 3);
        if (!consumeBits(w, 2))
            return 0;
    } else {
        distance = (position << w->dictBits) | (w->bitBuffer & w->dictMask);
        if (!consumeBits(w, w->dictBits))
            return 0;
    }
    return distance + 1;
}

void writeBlock(ExplodeWork* w, unsigned int count) {
    unsigned int size = count;
    w->writeOutput(reinterpret_cast<char*>(w->slidingWindow + ExplodeHistorySize), &size, w->param);
}

// Hands over a full block once the window has passed its end, and slides the
// last 4096 bytes (with whatever the last copy wrote beyond) down to make
// them the history.
inline void flushIfFull(ExplodeWork* w, unsigned int* outPos) {
    if (*outPos >= ExplodeHistorySize + ExplodeOutputBlock) {
        writeBlock(w, ExplodeOutputBlock);
        memmove(w->slidingWindow, w->slidingWindow + ExplodeOutputBlock,
                *outPos - ExplodeOutputBlock);
        *outPos -= ExplodeOutputBlock;
    }
}

// Copies `length` bytes from `distance` back. A distance shorter than the
// length repeats the bytes just written, so a block copy only works from 8
// bytes back; the 8-byte steps may write up to 7 bytes past the end, which
// later output overwrites, hence the room check.
inline void copyMatch(unsigned char* window, unsigned int outPos, unsigned int length,
                      unsigned int distance) {
    unsigned char* to = window + outPos;
    const unsigned char* from = to - distance;
    if (distance >= 8 && outPos + length + 7 <= ExplodeWindowSize) {
        unsigned char* end = to + length;
        do {
            memcpy(to, from, 8);
            to += 8;
            from += 8;
        } while (to < end);
    } else if (distance == 1) {
        memset(to, *from, length);
    } else {
        for (unsigned int i = 0; i < length; ++i)
            to[i] = from[i];
    }
}

// Combined lookups of the fast reader, each giving in one entry what the
// careful reader finds in several steps. Built per stream from the work
// object's lookups (the distance entries depend on the dictionary size) and
// kept on the stack: the work object's layout is fixed.
struct FastTables {
    // Indexed by the 8 bits after a flag 1: the longest length code has 7
    // bits, so 8 find any. Bits 0-4 of an entry: all bits of the element so
    // far (flag, code, extra bits); 5-8: the bits before the extra bits; 9-16:
    // the mask of the extra bits; 17-25: the base.
    uint32_t length[256];
    // Indexed by the next 8 bits (distance position codes have up to 8), for
    // copies of length 2 and for the others: bits 0-3 the code length, 4-7
    // the code and low bits together, 8 on: (position << low bits) + 1.
    uint32_t distance[2][256];
    // Coded literals, indexed by the 13 bits after the flag: the longest
    // literal code has 13, so one look finds any. Bits 0-7: the code length
    // plus the flag; 8-15: the byte.
    uint16_t literal[1 << 13];
};

void buildFastTables(const ExplodeWork* w, FastTables* t) {
    for (unsigned int i = 0; i < 256; ++i) {
        unsigned int code = w->lengthLookup[i];
        unsigned int before = 1 + w->lengthCodeBits[code];
        unsigned int extra = w->lengthExtraBitCounts[code];
        t->length[i] = (before + extra) | before << 5 | ((1u << extra) - 1) << 9 |
                       static_cast<uint32_t>(w->lengthBases[code]) << 17;
        unsigned int position = w->distanceLookup[i];
        unsigned int bits = w->distanceCodeBits[position];
        t->distance[0][i] = bits | (bits + 2) << 4 | ((position << 2) + 1) << 8;
        t->distance[1][i] = bits | (bits + w->dictBits) << 4 | ((position << w->dictBits) + 1) << 8;
    }
    if (w->literalMode == 1) {
        // Grown by doubling: a code of length L set once the table has 2^L
        // entries is repeated by each later doubling at every index whose
        // low L bits are its value. Longer codes set later never land on
        // such an index, the code being prefix-free; being complete, it
        // leaves no index unset.
        memset(t->literal, 0, sizeof(uint16_t) << kAsciiByLength.shortest);
        unsigned int next = 0;
        for (unsigned int len = kAsciiByLength.shortest; len <= kAsciiByLength.longest; ++len) {
            if (len > kAsciiByLength.shortest)
                memcpy(t->literal + (1u << (len - 1)), t->literal, sizeof(uint16_t) << (len - 1));
            for (; next < kAsciiByLength.end[len]; ++next) {
                unsigned int c = kAsciiByLength.symbols[next];
                t->literal[kAsciiCodeValues[c]] = static_cast<uint16_t>(c << 8 | (len + 1));
            }
        }
    }
}

// The longest element: flag, 7 code bits and 8 extra bits of a length, 8
// code bits and 6 low bits of a distance.
const unsigned int kMaxElementBits = 1 + 7 + 8 + 8 + 6;
// With this many bits in hand an element leaves at least 8 behind, so the
// byte-at-a-time reader, which tops up only below 8, would not have asked
// for input inside it: the fast path may skip every check.
const unsigned int kFastBits = kMaxElementBits + 8;

// Expands while the input in hand covers a whole element, with the bits in
// a 64-bit buffer filled up to 8 bytes at a time. Starts from and returns
// to the byte-at-a-time state in the work object. Returns kSymbolEnd at the
// end code, otherwise 0 when the element ahead may need more input.
template <unsigned int LiteralMode>
unsigned int expandFast(ExplodeWork* w, const FastTables& t, unsigned int* outPosInOut) {
    const unsigned char* in = w->inBuffer;
    unsigned char* window = w->slidingWindow;
    unsigned int pos = w->inPos;
    const unsigned int count = w->inCount;
    unsigned int nbits = 8 + w->extraBits;
    uint64_t bits = w->bitBuffer & ((1u << nbits) - 1);
    const unsigned int dictMask = w->dictMask;
    unsigned int outPos = *outPosInOut;
    unsigned int result = 0;

    for (;;) {
        if (nbits < kFastBits) {
            if (count - pos >= 8) {
                // Bits past `nbits` hold the next input bytes in part; the
                // next refill ORs the same values over them.
                bits |= loadLittleEndian<uint64_t>(in + pos) << nbits;
                pos += (63 - nbits) >> 3;
                nbits |= 56;
            } else {
                while (nbits <= 56 && pos < count) {
                    bits |= static_cast<uint64_t>(in[pos++]) << nbits;
                    nbits += 8;
                }
                if (nbits < kFastBits)
                    break;
            }
        }
        if ((bits & 1) == 0) {
            if (LiteralMode == 0) {
                window[outPos++] = static_cast<unsigned char>(bits >> 1);
                bits >>= 9;
                nbits -= 9;
            } else {
                // The 13 bits after the flag, times the entry size, without a shift.
                uint16_t e;
                memcpy(&e, reinterpret_cast<const char*>(t.literal) + (bits & 0x3FFE), 2);
                window[outPos++] = static_cast<unsigned char>(e >> 8);
                bits >>= e & 0xFF;
                nbits -= e & 0xFF;
            }
        } else {
            uint32_t e = t.length[(bits >> 1) & 0xFF];
            unsigned int extra = static_cast<unsigned int>(bits >> ((e >> 5) & 15));
            unsigned int value = (e >> 17) + (extra & ((e >> 9) & 0xFF));
            bits >>= e & 31;
            nbits -= e & 31;
            if (value == kSymbolEnd - kSymbolCopyBase) {
                result = kSymbolEnd;
                break;
            }
            unsigned int length = value + 2;
            unsigned int lowMask = length == 2 ? 3 : dictMask;
            uint32_t d = t.distance[length != 2][bits & 0xFF];
            unsigned int low = static_cast<unsigned int>(bits >> (d & 15)) & lowMask;
            unsigned int distance = (d >> 8) + low;
            bits >>= (d >> 4) & 15;
            nbits -= (d >> 4) & 15;
            copyMatch(window, outPos, length, distance);
            outPos += length;
        }
        if (outPos >= ExplodeHistorySize + ExplodeOutputBlock)
            flushIfFull(w, &outPos);
    }

    // Back to the byte-at-a-time state: it holds 8 to 15 bits, so whole bytes
    // beyond those go back to the input (they all came from this block).
    unsigned int held = 8 + (nbits & 7);
    w->inPos = pos - (nbits - held) / 8;
    w->bitBuffer = static_cast<unsigned int>(bits) & ((1u << held) - 1);
    w->extraBits = held - 8;
    *outPosInOut = outPos;
    return result;
}

unsigned int expand(ExplodeWork* w) {
    FastTables tables;
    buildFastTables(w, &tables);
    unsigned char* window = w->slidingWindow;
    unsigned int outPos = ExplodeHistorySize;
    unsigned int symbol;
    for (;;) {
        symbol = w->literalMode == 0 ? expandFast<0>(w, tables, &outPos)
                                     : expandFast<1>(w, tables, &outPos);
        if (symbol == kSymbolEnd)
            break;
        // Near the end of the input in hand: one element the careful way,
        // which asks for input exactly when it runs short.
        symbol = nextSymbol(w);
        if (symbol >= kSymbolEnd)
            break;
        if (symbol < kSymbolCopyBase) {
            window[outPos++] = static_cast<unsigned char>(symbol);
        } else {
            unsigned int length = symbol - (kSymbolCopyBase - 2);
            unsigned int distance = nextDistance(w, length);
            if (distance == 0) {
                symbol = kSymbolError;
                break;
            }
            copyMatch(window, outPos, length, distance);
            outPos += length;
        }
        flushIfFull(w, &outPos);
    }
    w->outPos = outPos;
    writeBlock(w, outPos - ExplodeHistorySize);
    return symbol;
}

}  // namespace

unsigned int Explode(ExplodeReadFn readInput, ExplodeWriteFn writeOutput, ExplodeWork* work,
                     void* param) {
    ExplodeWork* w = work;
    w->readInput = readInput;
    w->writeOutput = writeOutput;
    w->param = param;
    w->inPos = 0;
    w->inCount = 0;
    // A stream that refers back before its first byte reads zeros, not
    // whatever an earlier stream left in the work object.
    memset(w->slidingWindow, 0, ExplodeHistorySize);
    // The header and the end code alone take 4 bytes: that is the stream of
    // an empty file, and even it cannot be expanded from a block that short.
    if (!readBlock(w) || w->inCount <= 4)
        return ExplodeTooShort;
    w->literalMode = w->inBuffer[0];
    w->dictBits = w->inBuffer[1];
    w->bitBuffer = w->inBuffer[2];
    w->extraBits = 0;
    w->inPos = 3;
    if (w->dictBits < 4 || w->dictBits > 6)
        return ExplodeBadDictionary;
    w->dictMask = (1u << w->dictBits) - 1;
    if (w->literalMode == 1) {
        memcpy(w->asciiBitsLeft, kAsciiCodeBits, sizeof w->asciiBitsLeft);
        fillAsciiLookups(w);
    } else if (w->literalMode != 0) {
        return ExplodeBadLiteralMode;
    }
    memcpy(w->lengthCodeBits, kLengthCodeBits, sizeof w->lengthCodeBits);
    fillLookup(w->lengthLookup, 256, w->lengthCodeBits, kLengthCodeValues, 16);
    memcpy(w->lengthExtraBitCounts, kLengthExtraBits, sizeof w->lengthExtraBitCounts);
    memcpy(w->lengthBases, kLengthBases, sizeof w->lengthBases);
    memcpy(w->distanceCodeBits, kDistanceCodeBits, sizeof w->distanceCodeBits);
    fillLookup(w->distanceLookup, 256, w->distanceCodeBits, kDistanceCodeValues, 64);
    return expand(w) == kSymbolError ? ExplodeDataError : ExplodeOk;
}
