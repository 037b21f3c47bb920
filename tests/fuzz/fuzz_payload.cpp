// libFuzzer target: SetupStub's reading of its own file (tools/onefile/
// Payload.h) over any bytes a cut, damaged or forged download may hold.
// Whatever the bytes, a payload read as sound lies inside the file after
// the image, names only files that may be written, and writes back as the
// very bytes it was read from.
//
// Input layout: the whole input is the file.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "tests/fuzz/Require.h"
#include "tools/onefile/Payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PeLayout layout;
    if (readPeLayout(data, std::min<size_t>(size, PeHeadSize), size, &layout) != PayloadFault::None)
        return 0;
    REQUIRE(layout.imageEnd <= layout.payloadEnd && layout.payloadEnd <= size);
    if (layout.payloadEnd - layout.imageEnd < PayloadTrailerSize)
        return 0;
    const uint8_t* trailerBytes = data + layout.payloadEnd - PayloadTrailerSize;
    PayloadTrailer trailer;
    if (parsePayloadTrailer(trailerBytes, layout.imageEnd, layout.payloadEnd, &trailer) != PayloadFault::None)
        return 0;
    const uint64_t start = layout.payloadEnd - trailer.payloadSize;
    REQUIRE(start >= layout.imageEnd);
    const uint64_t region = payloadIndexRegion(trailer);
    REQUIRE(region + PayloadTrailerSize <= trailer.payloadSize);
    std::vector<PayloadEntry> entries;
    if (parsePayloadIndex(trailerBytes - region, region, trailer, &entries) != PayloadFault::None)
        return 0;
    uint64_t files = 0;
    for (const PayloadEntry& e : entries) {
        REQUIRE(isSafePayloadName(e.name));
        REQUIRE(e.offset == files);
        files += e.size;
    }
    std::vector<unsigned char> tail = serializePayloadTail(entries);
    REQUIRE(files + tail.size() == trailer.payloadSize);
    REQUIRE(memcmp(tail.data(), data + start + files, tail.size()) == 0);
    return 0;
}
