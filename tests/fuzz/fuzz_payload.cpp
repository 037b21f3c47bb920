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

#include <vector>

#include "tests/fuzz/Require.h"
#include "tools/onefile/Payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint64_t start = 0;
    std::vector<PayloadEntry> entries;
    auto read = [&](uint64_t offset, unsigned char* buffer, size_t count) {
        REQUIRE(offset <= size && count <= size - offset);  // never a read outside the file
        if (count)  // an empty input has no data pointer to copy from
            memcpy(buffer, data + offset, count);
        return true;
    };
    if (readPayload(size, read, &start, &entries) != PayloadFault::None)
        return 0;
    uint64_t files = 0;
    for (const PayloadEntry& e : entries) {
        REQUIRE(isSafePayloadName(e.name));
        REQUIRE(e.offset == files);
        files += e.size;
    }
    // The files lie inside the file; the index and trailer write back as read.
    std::vector<unsigned char> tail = serializePayloadTail(entries);
    REQUIRE(start + files + tail.size() <= size);
    REQUIRE(memcmp(tail.data(), data + start + files, tail.size()) == 0);
    return 0;
}
