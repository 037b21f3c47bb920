// Reference decoder: see ReferenceExplode.h.
#include "tests/unit/support/ReferenceExplode.h"

#include <algorithm>
#include <numeric>

namespace reference {

std::vector<Code> codesForLengths(const std::vector<int>& lengths) {
    std::vector<int> order(lengths.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return lengths[a] < lengths[b]; });
    std::vector<Code> codes(lengths.size());
    unsigned canonical = 0;
    int previous = lengths[order[0]];
    for (size_t k = 0; k < order.size(); ++k) {
        int sym = order[k];
        int len = lengths[sym];
        if (k > 0)
            canonical = (canonical + 1) << (len - previous);
        previous = len;
        unsigned inverted = ~canonical & ((1u << len) - 1);
        // Most significant bit first in the stream = bit 0 of the value.
        unsigned value = 0;
        for (int b = 0; b < len; ++b)
            if (inverted & (1u << (len - 1 - b)))
                value |= 1u << b;
        codes[sym] = Code{len, value};
    }
    return codes;
}

namespace {

std::vector<int> repeat(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<int> out;
    for (auto& r : runs)
        out.insert(out.end(), r.second, r.first);
    return out;
}

}  // namespace

const std::vector<Code>& lengthCodes() {
    static const std::vector<Code> codes =
        codesForLengths({3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7});
    return codes;
}

const std::vector<Code>& distanceCodes() {
    static const std::vector<Code> codes =
        codesForLengths(repeat({{2, 1}, {4, 2}, {5, 4}, {6, 15}, {7, 26}, {8, 16}}));
    return codes;
}

const std::vector<Code>& literalCodes() {
    static const std::vector<Code> codes = codesForLengths({
        11, 12, 12, 12, 12, 12, 12, 12, 12, 8,  7,  12, 12, 7,  12, 12,
        12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12,
        4,  10, 8,  12, 10, 12, 10, 8,  7,  7,  8,  9,  7,  6,  7,  8,
        7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8,  12, 11, 7,  9,  11,
        12, 6,  7,  6,  6,  5,  7,  8,  8,  6,  11, 9,  6,  7,  6,  6,
        7,  11, 6,  6,  6,  7,  9,  8,  9,  9,  11, 8,  11, 9,  12, 8,
        12, 5,  6,  6,  6,  5,  6,  6,  6,  5,  11, 7,  5,  6,  5,  5,
        6,  10, 5,  5,  5,  5,  8,  7,  8,  8,  10, 11, 11, 12, 12, 12,
        13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
        13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
        13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
        12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
        12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
        12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
        13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13,
        13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13});
    return codes;
}

int lengthExtraBits(int code) { return code < 8 ? 0 : code - 7; }

int lengthBase(int code) {
    int base = 0;
    for (int i = 0; i < code; ++i)
        base += 1 << lengthExtraBits(i);
    return base;
}

namespace {

// The bits in hand, oldest first, topped up from the input whenever fewer
// than 8 are left.
class BitSource {
public:
    BitSource(ExplodeReadFn read, void* param) : read_(read), param_(param) {}

    // First block; false when it holds 4 bytes or fewer.
    bool start(int* literalMode, int* dictBits) {
        if (!fetch() || count_ <= 4)
            return false;
        *literalMode = block_[0];
        *dictBits = block_[1];
        pos_ = 2;
        pushByte();
        return true;
    }

    // The next n bits as a number, first bit least significant; n <= 8, and
    // at least 8 are always in hand.
    unsigned peek(int n) const {
        unsigned v = 0;
        for (int i = 0; i < n; ++i)
            v |= static_cast<unsigned>(hand_[first_ + i]) << i;
        return v;
    }

    // Drops one bit; false when the hand needed topping up and the input
    // had no more.
    bool drop() {
        ++first_;
        if (hand_.size() - first_ >= 8)
            return true;
        if (pos_ == count_ && !fetch())
            return false;
        pushByte();
        return true;
    }

    bool drop(int n) {
        for (int i = 0; i < n; ++i)
            if (!drop())
                return false;
        return true;
    }

private:
    bool fetch() {
        unsigned size = 2048;
        unsigned got = read_(reinterpret_cast<char*>(block_), &size, param_);
        if (got == 0 || got > 2048)
            return false;
        count_ = got;
        pos_ = 0;
        return true;
    }

    void pushByte() {
        if (first_ > 4096) {
            hand_.erase(hand_.begin(), hand_.begin() + first_);
            first_ = 0;
        }
        uint8_t byte = block_[pos_++];
        for (int i = 0; i < 8; ++i)
            hand_.push_back((byte >> i) & 1);
    }

    ExplodeReadFn read_;
    void* param_;
    uint8_t block_[2048];
    unsigned pos_ = 0;
    unsigned count_ = 0;
    std::vector<uint8_t> hand_;  // one bit per entry; those before first_ are used
    size_t first_ = 0;
};

// Matches a prefix code bit by bit; -1 when the input ran out.
class CodeReader {
public:
    explicit CodeReader(const std::vector<Code>& codes) {
        for (size_t sym = 0; sym < codes.size(); ++sym) {
            auto& byValue = symbols_[codes[sym].length];
            byValue.resize(size_t(1) << codes[sym].length, -1);
            byValue[codes[sym].value] = static_cast<int>(sym);
        }
    }

    int read(BitSource& in) const {
        unsigned value = 0;
        for (int len = 1; len < 16; ++len) {
            value |= in.peek(1) << (len - 1);
            if (!in.drop())
                return -1;
            const auto& byValue = symbols_[len];
            if (!byValue.empty() && byValue[value] >= 0)
                return byValue[value];
        }
        return -1;  // not reached: every table is a complete prefix code
    }

private:
    std::vector<int> symbols_[16];  // by code length, then by code value
};

}  // namespace

unsigned int explode(ExplodeReadFn readInput, ExplodeWriteFn writeOutput, void* param) {
    BitSource in(readInput, param);
    int literalMode = 0, dictBits = 0;
    if (!in.start(&literalMode, &dictBits))
        return ExplodeTooShort;
    if (dictBits < 4 || dictBits > 6)
        return ExplodeBadDictionary;
    if (literalMode != 0 && literalMode != 1)
        return ExplodeBadLiteralMode;

    // Everything ever expanded, after 4096 zeros of history.
    const CodeReader literals(literalCodes()), lengths(lengthCodes()), positions(distanceCodes());
    std::vector<uint8_t> out(4096, 0);
    size_t written = 4096;
    auto flush = [&](size_t count) {
        std::vector<char> block(out.begin() + written, out.begin() + written + count);
        unsigned size = static_cast<unsigned>(count);
        writeOutput(block.data(), &size, param);
        written += count;
    };

    unsigned result = ExplodeOk;
    for (;;) {
        unsigned flag = in.peek(1);
        if (!in.drop()) {
            result = ExplodeDataError;
            break;
        }
        if (flag == 0) {
            int literal;
            if (literalMode == 0) {
                literal = static_cast<int>(in.peek(8));
                if (!in.drop(8))
                    literal = -1;
            } else {
                literal = literals.read(in);
            }
            if (literal < 0) {
                result = ExplodeDataError;
                break;
            }
            out.push_back(static_cast<uint8_t>(literal));
        } else {
            int code = lengths.read(in);
            if (code < 0) {
                result = ExplodeDataError;
                break;
            }
            int extraBits = lengthExtraBits(code);
            unsigned extra = in.peek(extraBits);
            bool complete = in.drop(extraBits);
            if (code == 15 && extra == 255)
                break;  // the end code, even when it took the last bits
            if (!complete) {
                result = ExplodeDataError;
                break;
            }
            unsigned length = lengthBase(code) + extra + 2;
            int position = positions.read(in);
            if (position < 0) {
                result = ExplodeDataError;
                break;
            }
            int lowBits = length == 2 ? 2 : dictBits;
            unsigned low = in.peek(lowBits);
            if (!in.drop(lowBits)) {
                result = ExplodeDataError;
                break;
            }
            size_t distance = (static_cast<size_t>(position) << lowBits) + low + 1;
            for (unsigned i = 0; i < length; ++i)
                out.push_back(out[out.size() - distance]);
        }
        if (out.size() - written >= 4096)
            flush(4096);
    }
    flush(out.size() - written);
    return result;
}

}  // namespace reference
