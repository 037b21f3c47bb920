// A slow, plain decoder of the implode format for checking Explode. It shares
// no tables with the real one: its codes are generated from the code lengths
// by the format's rule, prefix codes are matched one bit at a time, and the
// output is kept whole. It reproduces Explode's callbacks exactly: a read
// whenever fewer than 8 unconsumed bits would be left in hand, a write of each
// complete 4096 bytes after the symbol that completes them, and a final write.
#ifndef SETUP_TESTS_REFERENCE_EXPLODE_H
#define SETUP_TESTS_REFERENCE_EXPLODE_H

#include "explode/Explode.h"

#include <stdint.h>

#include <vector>

namespace reference {

// One prefix code: its length and its value (bits sent from the least
// significant one).
struct Code {
    int length;
    unsigned value;
};

// Canonical prefix code for the lengths, every bit inverted, sent most
// significant bit first: the rule all three tables of the format follow.
std::vector<Code> codesForLengths(const std::vector<int>& lengths);

const std::vector<Code>& lengthCodes();    // 16 length codes
const std::vector<Code>& distanceCodes();  // 64 distance position codes
const std::vector<Code>& literalCodes();   // 256 coded literals
int lengthExtraBits(int code);
int lengthBase(int code);                  // copy length = base + extra + 2

unsigned int explode(ExplodeReadFn readInput, ExplodeWriteFn writeOutput, void* param);

}  // namespace reference

#endif
