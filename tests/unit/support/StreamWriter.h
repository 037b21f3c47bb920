// Assembles implode-format streams symbol by symbol for tests, from the
// reference decoder's code tables, and keeps the output they expand to (a
// copy reaching before the start reads zeros). Bits go out least significant
// first.
#ifndef SETUP_TESTS_STREAM_WRITER_H
#define SETUP_TESTS_STREAM_WRITER_H

#include "tests/unit/support/ReferenceExplode.h"

#include <stdint.h>

#include <stdexcept>
#include <utility>
#include <vector>

class StreamWriter {
public:
    // Writes the two header bytes.
    StreamWriter(int literalMode, int dictBits) : literalMode_(literalMode), dictBits_(dictBits) {
        bytes_.push_back(static_cast<uint8_t>(literalMode));
        bytes_.push_back(static_cast<uint8_t>(dictBits));
    }

    // A plain number of `count` bits, first bit least significant.
    StreamWriter& bits(unsigned value, int count) {
        for (int i = 0; i < count; ++i) {
            if (used_ == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= static_cast<uint8_t>(1u << used_);
            used_ = (used_ + 1) & 7;
        }
        return *this;
    }

    StreamWriter& code(const reference::Code& c) { return bits(c.value, c.length); }

    StreamWriter& literal(uint8_t byte) {
        expanded_.push_back(byte);
        bits(0, 1);  // flag: literal
        if (literalMode_ == 0)
            bits(byte, 8);
        else
            code(reference::literalCodes()[byte]);
        return mark();
    }

    StreamWriter& literals(const char* text) {
        for (; *text; ++text)
            literal(static_cast<uint8_t>(*text));
        return *this;
    }

    // A back-reference: length 2..518, distance 1..256 for length 2, else
    // 1..(64 << dictBits).
    StreamWriter& copy(unsigned length, unsigned distance) {
        lengthCode(length - 2);
        int lowBits = length == 2 ? 2 : dictBits_;
        unsigned d = distance - 1;
        if ((d >> lowBits) >= 64)
            throw std::invalid_argument("distance out of range");
        code(reference::distanceCodes()[d >> lowBits]);
        for (unsigned i = 0; i < length; ++i) {
            uint8_t b = expanded_[expanded_.size() - distance];
            expanded_.push_back(b);
        }
        bits(d & ((1u << lowBits) - 1), lowBits);
        return mark();
    }

    // The end code: length code 15 with extra value 255.
    StreamWriter& end() { return lengthCode(262 + 255); }

    // Length code and extra bits for base + extra (0..517), after the flag.
    StreamWriter& lengthCode(unsigned value) {
        bits(1, 1);  // flag: back-reference
        int c = 15;
        while (reference::lengthBase(c) > static_cast<int>(value))
            --c;
        code(reference::lengthCodes()[c]);
        return bits(value - reference::lengthBase(c), reference::lengthExtraBits(c));
    }

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> expected() const {
        return std::vector<uint8_t>(expanded_.begin() + 4096, expanded_.end());
    }
    size_t bitCount() const { return (bytes_.size() - 2) * 8 - ((8 - used_) & 7); }

    // Bytes expanded from the stream cut after `streamBytes` bytes: a symbol
    // counts when at least 8 bits of input follow it, as the decoder always
    // keeps 8 bits in hand.
    size_t expandedBeforeCut(size_t streamBytes) const {
        size_t available = (streamBytes - 2) * 8, expanded = 0;
        for (const auto& m : marks_)
            if (m.first + 8 <= available)
                expanded = m.second;
        return expanded;
    }

private:
    // Notes where the symbol just written ends and the output so far.
    StreamWriter& mark() {
        marks_.emplace_back(bitCount(), expanded_.size() - 4096);
        return *this;
    }

    int literalMode_;
    int dictBits_;
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> expanded_ = std::vector<uint8_t>(4096, 0);  // zeroed history first
    int used_ = 0;  // bits used in the last byte, 0 = full
    std::vector<std::pair<size_t, size_t>> marks_;  // per symbol: end bit, bytes expanded
};

#endif
