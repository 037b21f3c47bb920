// Fuzz target: the input is a compressed stream. Explode expands it handed
// over in whole blocks and in pieces of sizes drawn from the input, and the
// reference decoder must agree on the result, the output and the order and
// sizes of every read and write. Any difference aborts.
#include "explode/Explode.h"
#include "tests/unit/support/ExplodeHarness.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

void check(const Bytes& stream, const std::vector<unsigned>& pieces) {
    ExplodeRun run = runExplode(stream, pieces);
    ExplodeRun ref = runReference(stream, pieces);
    if (run.result != ref.result || run.trace != ref.trace || run.output != ref.output) {
        fprintf(stderr, "Explode differs from the reference: result %u vs %u\n"
                        "explode:   %s\nreference: %s\n",
                run.result, ref.result, run.trace.c_str(), ref.trace.c_str());
        abort();
    }
    if (run.result > ExplodeDataError)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes stream(data, data + size);
    check(stream, {});
    // Piece sizes from a hash of the input, so that every stream is also
    // cut at awkward places; the first piece holds the header.
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    check(stream, {5 + h % 2044, 1 + (h >> 11) % 9, 1 + (h >> 16) % 2048});
    if (size < 4000)
        check(stream, {5, 1});
    return 0;
}
