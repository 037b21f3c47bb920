// libFuzzer target: reading a set of data volumes as `setupvol list` and
// `setupvol verify` do, from memory, through the installer's reading rules
// and the tool's checks and messages. Input layout: byte 0 picks the number of
// volumes (1 to 4), then one 16-bit little-endian length per volume but the
// last, then the volumes' bytes one after another (the last takes the rest).
// Any input must be read without a crash or a sanitizer report; the report
// must be consistent with what was read. The set is then read once more with
// a check file made from what the first reading saw: a set that verified
// clean must verify clean against its own check file, and the check never
// hides a problem.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <string.h>

#include "format/FileCheck.h"
#include "format/VolumeFormat.h"
#include "tools/setupvol/Archive.h"

namespace {

class CountingSink : public ArchiveSink {
public:
    uint64_t bytes = 0;
    bool beginFile(const ArchiveFile&, std::string*) override { return true; }
    bool write(const unsigned char*, size_t size, std::string*) override {
        bytes += size;
        return true;
    }
    void endFile(const ArchiveFile&, bool) override {}
};

// Sums every file's expanded bytes, as pack does for the check file.
class CrcSink : public ArchiveSink {
public:
    std::vector<uint32_t> crcs;
    bool beginFile(const ArchiveFile&, std::string*) override {
        crcs.push_back(0);
        return true;
    }
    bool write(const unsigned char* data, size_t size, std::string*) override {
        crcs.back() = crc32Update(crcs.back(), data, size);
        return true;
    }
    void endFile(const ArchiveFile&, bool) override {}
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
    readArchive(volumes, false, nullptr, &listed);
    formatListing(listed);
    ArchiveReport verified;
    CrcSink sink;
    readArchive(volumes, true, &sink, &verified);
    // Expanding never finds fewer problems than listing.
    if (verified.errors.size() < listed.errors.size() && listed.errors.size() <= 50)
        abort();
    if (verified.files.size() > listed.files.size() && listed.errors.empty())
        abort();
    // A walk that stops before the last file always says why.
    for (const ArchiveReport* r : {&listed, &verified})
        if (r->headerRead && r->files.size() < r->header.fileCount && r->errors.empty())
            abort();

    // The check file of what was read.
    if (!verified.headerRead || volumes.volumes[0].size() < FirstVolumeDataOffset ||
        sink.crcs.size() != verified.files.size())
        return 0;
    CheckTable table;
    table.headerCrc = crc32Update(0, volumes.volumes[0].data() + VolumeNumberSize, ArchiveHeaderSize);
    for (size_t i = 0; i < verified.files.size(); ++i) {
        table.entries.push_back({verified.files[i].recordCrc,
                                 static_cast<uint32_t>(verified.files[i].expandedBytes), sink.crcs[i]});
    }
    volumes.hasCheck = true;
    volumes.check = serializeCheckFile(table);
    ArchiveReport checked;
    CountingSink counting;
    readArchive(volumes, true, &counting, &checked);
    if (verified.errors.empty() && verified.files.size() == verified.header.fileCount &&
        !checked.errors.empty()) {
        fprintf(stderr, "%s\n", checked.errors[0].c_str());
        abort();
    }
    if (checked.errors.size() < verified.errors.size() && verified.errors.size() <= 50)
        abort();
    return 0;
}
