// Implode.cpp: the implode-format encoder's setup and streaming interface:
// the format's fixed codes, the bit costs and ready-made codes of every
// literal, length and distance for the chosen options, the input window fed
// by write(), and the end code written by finish(). The match finder and the
// parser that choose what to write are in ImplodeParse.cpp.
#include "implode/ImplodeState.h"

#include <string.h>

#include <algorithm>
#include <stdexcept>

namespace {

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

} // namespace

ImplodeTables::ImplodeTables() {
    buildCodes(kLiteralCodeBits, 256, literal);
    buildCodes(kLengthCodeBits, 16, length);
    buildCodes(kDistanceCodeBits, 64, distance);
    for (unsigned i = 0; i < 16; ++i)
        for (unsigned v = kLengthBase[i]; v < kLengthBase[i] + (1u << kLengthExtraBits[i]); ++v)
            if (v <= kMaxMatch - kMinMatch)
                lengthIndex[v] = static_cast<uint8_t>(i);
}

const ImplodeTables& implodeTables() {
    static const ImplodeTables tables;
    return tables;
}

Imploder::State::State() {
    // Sized for the largest dictionary, so that a restart with any options
    // keeps them.
    buf.resize(kMaxDictionary + 2 * kBlock + kMaxMatch + kSlack);
    nearest2.assign(1 << kHash2Bits, 0);
    nearest3.assign(2 << kHash3Bits, 0);
    treeRoot.assign(1 << kHashBits, 0);
    sonMask = 2 * kMaxDictionary - 1;
    son.assign(2 * (sonMask + 1), 0);
    node.resize(kBlock + 1);
    path.reserve(kBlock);
    // Below kBlock / 2 before a block, at most 16 bits a position in it.
    out.resize(3 * kBlock);
    distanceCost.resize(kMaxDictionary + 1);
    distanceBits.resize(kMaxDictionary + 1);
}

void Imploder::State::begin(const ImplodeOptions& options, ImplodeOutputFn fn, void* p) {
    if (options.literals != ImplodeBinary && options.literals != ImplodeAscii)
        throw std::invalid_argument("literal mode must be binary or ascii");
    if (!implodeValidDictionarySize(options.dictionarySize))
        throw std::invalid_argument("dictionary size must be 1024, 2048 or 4096");
    output = fn;
    param = p;
    literalMode = options.literals;
    dictSize = options.dictionarySize;
    dictBits = dictSize == 1024 ? 4 : dictSize == 2048 ? 5 : 6;
    searchDepth = std::max(1u, options.searchDepth);
    niceLength = std::min(kMaxMatch, std::max(kMinMatch + 1, options.niceLength));
    fullLength = std::min(kMaxMatch, std::max(kMinMatch + 1, options.fullLength));

    const ImplodeTables& t = implodeTables();
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
    distanceBits[0] = shortDistanceBits[0] = {0, 0};
    for (uint32_t d = 1; d <= dictSize; ++d)
        distanceBits[d] = distanceCode(d, dictBits);
    for (uint32_t d = 1; d <= kMaxShortDistance; ++d)
        shortDistanceBits[d] = distanceCode(d, 2);

    // Past the last stream's end by more than any distance; the first
    // stream starts at kBase.
    if (dataEnd != kBase || bytesIn != 0)
        pos = dataEnd + kMaxDictionary + 1;
    bufStart = dataEnd = pos;
    finished = false;
    bytesIn = bytesOut = 0;
    bitBuffer = 0;
    bitCount = 0;
    outLen = 0;
    out[outLen++] = static_cast<uint8_t>(literalMode);
    out[outLen++] = static_cast<uint8_t>(dictBits);
}

Imploder::Imploder(const ImplodeOptions& options, ImplodeOutputFn output, void* param) : state(new State()) {
    state->begin(options, output, param);
}

void Imploder::restart(const ImplodeOptions& options, ImplodeOutputFn output, void* param) {
    state->begin(options, output, param);
}

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
    s.put(1u | (static_cast<uint32_t>(implodeTables().length[15].value) << 1) | (255u << 8), 16);
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

const ImplodeCode* implodeLiteralCodes() { return implodeTables().literal; }
const ImplodeCode* implodeLengthCodes() { return implodeTables().length; }
const ImplodeCode* implodeDistanceCodes() { return implodeTables().distance; }
