// Runs Explode (or the reference decoder) on a stream held in memory, handing
// the input over in pieces of chosen sizes and recording every callback, so
// that tests can compare results, output and the order of reads and writes.
#ifndef SETUP_TESTS_EXPLODE_HARNESS_H
#define SETUP_TESTS_EXPLODE_HARNESS_H

#include "explode/Explode.h"

#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

struct ExplodeRun {
    unsigned result = 0;
    Bytes output;                     // all bytes written, joined
    std::vector<unsigned> writes;     // size of each write
    unsigned reads = 0;               // calls of the input callback
    unsigned bytesRead = 0;           // bytes handed over in all
    std::string trace;                // "r<count> " per read, "w<size> " per write
};

// The sizes of the input pieces cycle through `pieces` (each above 0; empty:
// 2048 at a time), each cut to what the stream has left and to the 2048 the
// decoder asks for.
ExplodeRun runExplode(const Bytes& stream, const std::vector<unsigned>& pieces = {},
                      ExplodeWork* work = nullptr);
ExplodeRun runReference(const Bytes& stream, const std::vector<unsigned>& pieces = {});

Bytes readFile(const std::string& path);

#endif
