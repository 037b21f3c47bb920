// Implode.h: encoder for the implode format of the PKWARE Data Compression
// Library, the format in which the data volumes carry every file.
//
// A stream is two header bytes (literal mode, dictionary size code) and a bit
// stream of literals and (length, distance) copies with fixed prefix codes,
// closed by an end code. Because every code is fixed, the exact bit cost of
// each choice is known up front, and the encoder searches for the cheapest
// sequence of literals and copies (shortest path over a block) instead of
// taking the longest match it sees.
//
// The encoder streams: feed it blocks with write(), close the stream with
// finish(); compressed bytes leave through the output callback. Memory stays
// bounded whatever the input size. restart() begins the next stream in the
// same memory, which spares a file set of many small files the setting up
// of the encoder's tables (some 2 MB) for each.
#ifndef SETUP_IMPLODE_H
#define SETUP_IMPLODE_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

enum ImplodeLiteralMode : int {
    ImplodeBinary = 0, // plain 8-bit literals (header byte 0 = 0)
    ImplodeAscii = 1   // literals coded with the fixed table tuned for text
};

struct ImplodeOptions {
    ImplodeLiteralMode literals = ImplodeBinary;
    unsigned dictionarySize = 4096; // 1024, 2048 or 4096
    // Match finder effort: tree nodes visited per position. Higher finds a
    // few more of the nearest matches at some cost in speed.
    unsigned searchDepth = 48;
    // A match at least this long is taken at once instead of weighed against
    // the alternatives; bounds the work on long repeats.
    unsigned niceLength = 200;
    // Copies up to this length are weighed at every length; longer ones only
    // at the whole match length and at the longest length of each run of
    // lengths whose codes cost the same. 518 weighs every length.
    unsigned fullLength = 16;
};

// One prefix code: its bits go into the stream from bit 0 of value upwards.
struct ImplodeCode {
    uint16_t value;
    uint8_t bits;
};

// Receives compressed bytes in stream order.
typedef void (*ImplodeOutputFn)(const unsigned char* data, size_t size, void* param);

class Imploder {
public:
    // Throws std::invalid_argument for a dictionary size other than 1024,
    // 2048 or 4096 or a literal mode other than the two above.
    Imploder(const ImplodeOptions& options, ImplodeOutputFn output, void* param);
    ~Imploder();
    Imploder(const Imploder&) = delete;
    Imploder& operator=(const Imploder&) = delete;

    // Adds input. Output appears in batches as blocks are completed; the
    // stream produced does not depend on how the input is cut into calls.
    void write(const void* data, size_t size);
    // Encodes what is left, writes the end code and pads the last byte with
    // zero bits. The object accepts no more input afterwards.
    void finish();
    // Begins a new stream, with new options and output, as a new Imploder
    // would (the stream is the same), keeping the memory of the last one;
    // whatever the last stream had not finished is dropped. Throws as the
    // constructor does.
    void restart(const ImplodeOptions& options, ImplodeOutputFn output, void* param);

    uint64_t bytesIn() const;
    uint64_t bytesOut() const;

    // For tests, before the first Write: starts the internal position
    // counter at `base`, so that a short input reaches the renumbering of
    // positions that otherwise happens only after gigabytes.
    void setPositionBaseForTesting(uint32_t base);

    struct State;

private:
    std::unique_ptr<State> state;
};

// One-shot helper: the whole stream for a buffer.
std::vector<unsigned char> implodeBuffer(const void* data, size_t size, const ImplodeOptions& options);

bool implodeValidDictionarySize(unsigned size);

// The fixed code tables of the format, built from their code lengths.
const ImplodeCode* implodeLiteralCodes();  // 256 coded literals
const ImplodeCode* implodeLengthCodes();   // 16 length codes
const ImplodeCode* implodeDistanceCodes(); // 64 distance-position codes

#endif // SETUP_IMPLODE_H
