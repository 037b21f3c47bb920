// libFuzzer target: the version resource reader of the volume tool on any
// bytes. It must never read outside the input and must report zeros
// whenever it finds neither a FileVersion string nor a fixed record.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "tools/setupvol/PeVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryByteSource source(data, size);
    int32_t version[4];
    std::string text;
    PeVersionResult r = readPeFileVersion(source, version, &text);
    if ((r == PeNoVersionResource || r == PeNoFileVersion) && (version[0] | version[1] | version[2] | version[3]) != 0)
        abort();
    return 0;
}
