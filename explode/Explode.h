// Decompressor for the implode format of the PKWARE Data Compression Library:
// a two-byte header (literal mode, dictionary size code) followed by a bit
// stream of literals and back-references into a 1024, 2048 or 4096-byte
// dictionary. `Explode` expands one whole stream, pulling input through one
// callback in blocks of up to 2048 bytes and pushing output through another in
// blocks of 4096 bytes. All state lives in the caller's `ExplodeWork`; nothing
// is allocated and nothing is shared, so separate work objects may be used on
// separate threads at once. Portable: no <windows.h>.
#ifndef SETUP_EXPLODE_H
#define SETUP_EXPLODE_H

#include <stddef.h>

// Fills `buffer` with up to *size bytes of the stream (Explode sets *size to
// 2048 before each call) and returns how many it placed; 0 means the stream has
// no more bytes. A result above 2048 is taken as a failed read.
typedef unsigned int (*ExplodeReadFn)(char* buffer, unsigned int* size, void* param);

// Receives *size expanded bytes: 4096 at a time, then the rest (0 to 4095) once
// at the end. Changes to *size are ignored; a write failure is the callback's
// to remember and report.
typedef void (*ExplodeWriteFn)(char* buffer, unsigned int* size, void* param);

// Result of Explode:
//   ExplodeOk             expanded up to the end code; all output written
//   ExplodeBadDictionary  header byte 1 is not 4, 5 or 6 (checked first); no output
//   ExplodeBadLiteralMode header byte 0 is not 0 or 1; no output
//   ExplodeTooShort       the first input block held 4 bytes or fewer; no output
//   ExplodeDataError      input ran out before the end code; everything expanded
//                         so far was written. A symbol is expanded only when 8
//                         more bits of input follow it (the end code excepted).
enum ExplodeResult : unsigned int {
    ExplodeOk = 0,
    ExplodeBadDictionary = 1,
    ExplodeBadLiteralMode = 2,
    ExplodeTooShort = 3,
    ExplodeDataError = 4
};

enum {
    ExplodeHistorySize = 4096,    // the largest dictionary
    ExplodeMaxCopy = 518,         // longest back-reference
    ExplodeInputBlock = 2048,     // bytes asked of readInput at a time
    ExplodeOutputBlock = 4096,    // bytes handed to writeOutput at a time
    // History, one output block, and room for the longest copy started at the
    // last index before the block is flushed.
    ExplodeWindowSize = ExplodeHistorySize + ExplodeOutputBlock + ExplodeMaxCopy - 1
};

// The decompressor's work object, one per stream. The caller supplies it
// (12,596 bytes in the 32-bit build); Explode sets every field before using it.
struct ExplodeWork {
    unsigned int literalMode;     // header byte 0: 0 plain literals, 1 coded literals
    unsigned int outPos;          // index in slidingWindow of the next output byte
    unsigned int dictBits;        // header byte 1: 4, 5 or 6
    unsigned int dictMask;        // (1 << dictBits) - 1
    unsigned int bitBuffer;       // unconsumed input bits, next bit in bit 0
    unsigned int extraBits;       // valid bits in bitBuffer beyond the low 8
    unsigned int inPos;           // next unread byte in inBuffer
    unsigned int inCount;         // valid bytes in inBuffer
    void* param;                  // the caller's value for both callbacks
    ExplodeReadFn readInput;
    ExplodeWriteFn writeOutput;
    // 0..4095 the last 4096 bytes written (history); expansion runs from 4096;
    // 8192..8708 room for a 518-byte copy started at 8191.
    unsigned char slidingWindow[ExplodeWindowSize];
    unsigned char inBuffer[ExplodeInputBlock];
    // Lookups indexed by the next 8 input bits (the next bit in bit 0): a code
    // of L bits fills every entry whose low L bits are its value. Length codes
    // have up to 7 bits and distance position codes up to 8, so 256 entries
    // find any of them.
    unsigned char distanceLookup[256];     // -> distance position 0..63
    unsigned char lengthLookup[256];       // -> length code 0..15
    // Coded literals have up to 13 bits. Codes of up to 8 are found by the
    // first lookup; it marks a longer one 255, which is finished by a second
    // lookup after its first 4, 6 or 8 bits, no code having more than 8 left.
    unsigned char asciiLookupShort[256];   // -> literal, or 255
    unsigned char asciiLookupAfter4[256];  // long code, low 6 bits not all 0
    unsigned char asciiLookupAfter6[128];  // low 6 bits 0, low 8 not: 7 bits left at most
    unsigned char asciiLookupAfter8[256];  // low 8 bits 0
    unsigned char asciiBitsLeft[256];      // per literal: its bits left after the lookup found it
    unsigned char distanceCodeBits[64];    // working copies of the format's tables
    unsigned char lengthCodeBits[16];
    unsigned char lengthExtraBitCounts[16];
    unsigned short lengthBases[16];        // copy length = base + extra bits + 2
};

#if (defined(_WIN32) && !defined(_WIN64)) || \
    (defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4)
static_assert(sizeof(ExplodeWork) == 12596, "the install engine allocates 12,596 bytes per file");
static_assert(offsetof(ExplodeWork, slidingWindow) == 44 &&
                  offsetof(ExplodeWork, inBuffer) == 8753 &&
                  offsetof(ExplodeWork, lengthBases) == 12562,
              "field layout of the 32-bit work object");
#endif

// Expands one stream from readInput to writeOutput; `param` is handed to both
// callbacks unchanged. Returns an ExplodeResult.
unsigned int Explode(ExplodeReadFn readInput, ExplodeWriteFn writeOutput, ExplodeWork* work,
                     void* param);

#endif
