// libFuzzer target: reading a set of data volumes as `setupvol list` and
// `setupvol verify` do, from memory, through the installer's reading rules
// and the tool's checks and messages. Input layout: byte 0 picks the number of
// volumes (1 to 4), then one 16-bit little-endian length per volume but the
// last, then the volumes' bytes one after another (the last takes the rest).
// Any input must be read without a crash or a sanitizer report; the report
// must be consistent with what was read.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "tools/setupvol/Archive.h"

namespace {

class CountingSink : public ArchiveSink {
public:
    uint64_t bytes = 0;
    bool BeginFile(const ArchiveFile&, std::string*) override { return true; }
    bool Write(const unsigned char*, size_t size, std::string*) override {
        bytes += size;
        return true;
    }
    void EndFile(const ArchiveFile&, bool) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    size_t count = 1 + data[0] % 4;
    size_t pos = 1;
    MemoryVolumeSet volumes;
    for (size_t v = 0; v < count; ++v) {
        size_t len = size - pos;
        if (v + 1 < count) {
            if (pos + 2 > size)
                return 0;
            len = data[pos] | (data[pos + 1] << 8);
            pos += 2;
            if (len > size - pos)
                len = size - pos;
        }
        volumes.volumes.emplace_back(data + pos, data + pos + len);
        pos += len;
    }
    ArchiveReport listed;
    ReadArchive(volumes, false, nullptr, &listed);
    FormatListing(listed);
    ArchiveReport verified;
    CountingSink sink;
    ReadArchive(volumes, true, &sink, &verified);
    // Expanding never finds fewer problems than listing.
    if (verified.errors.size() < listed.errors.size() && listed.errors.size() <= 50)
        abort();
    if (verified.files.size() > listed.files.size() && listed.errors.empty())
        abort();
    // A walk that stops before the last file always says why.
    for (const ArchiveReport* r : {&listed, &verified})
        if (r->headerRead && r->files.size() < r->header.fileCount && r->errors.empty())
            abort();
    return 0;
}
