// VolumeFormat.cpp: record serialisation, version texts and volume layout.
// Portable: shared by Setup.Dll, the volume tool and the tests.
#include "format/VolumeFormat.h"

#include <string.h>

#include <algorithm>

uint32_t readLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void writeLe32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

void serializeArchiveHeader(const ArchiveHeader& h, unsigned char out[ArchiveHeaderSize]) {
    writeLe32(out + 0, h.totalSize);
    writeLe32(out + 4, h.fileCount);
    writeLe32(out + 8, static_cast<uint32_t>(h.groupCount));
    writeLe32(out + 12, static_cast<uint32_t>(h.formatVersion));
    writeLe32(out + 16, h.shortcutPrefixLength);
}

ArchiveHeader parseArchiveHeader(const unsigned char in[ArchiveHeaderSize]) {
    ArchiveHeader h;
    h.totalSize = readLe32(in + 0);
    h.fileCount = readLe32(in + 4);
    h.groupCount = static_cast<int32_t>(readLe32(in + 8));
    h.formatVersion = static_cast<int32_t>(readLe32(in + 12));
    h.shortcutPrefixLength = readLe32(in + 16);
    return h;
}

namespace {

const size_t kSubDirOffset = 44;
const size_t kFileNameOffset = 304;

void writeText(unsigned char* out, const char* text) {
    size_t n = strnlen(text, RecordTextSize - 1);
    memcpy(out, text, n);
    memset(out + n, 0, RecordTextSize - n);
}

// Only a field without a terminator is cut; after a terminator the bytes stay
// as the volume has them, so a record written back is the record read.
void readText(char* out, const unsigned char* in) {
    memcpy(out, in, RecordTextSize);
    if (!memchr(out, '\0', RecordTextSize))
        out[RecordTextSize - 1] = '\0';
}

} // namespace

void serializeFileRecord(const tagCompressFileHeader& r, unsigned char out[FileRecordSize]) {
    writeLe32(out + 0, r.continued);
    writeLe32(out + 4, r.lastWriteTime.dwLowDateTime);
    writeLe32(out + 8, r.lastWriteTime.dwHighDateTime);
    writeLe32(out + 12, r.chunkSize);
    writeLe32(out + 16, r.expandedSize);
    writeLe32(out + 20, static_cast<uint32_t>(r.group));
    for (int i = 0; i < 4; ++i)
        writeLe32(out + 24 + 4 * i, static_cast<uint32_t>(r.version[i]));
    writeLe32(out + 40, static_cast<uint32_t>(r.targetDir));
    writeText(out + kSubDirOffset, r.subDir);
    writeText(out + kFileNameOffset, r.fileName);
}

tagCompressFileHeader parseFileRecord(const unsigned char in[FileRecordSize]) {
    tagCompressFileHeader r;
    r.continued = readLe32(in + 0);
    r.lastWriteTime.dwLowDateTime = readLe32(in + 4);
    r.lastWriteTime.dwHighDateTime = readLe32(in + 8);
    r.chunkSize = readLe32(in + 12);
    r.expandedSize = readLe32(in + 16);
    r.group = static_cast<int32_t>(readLe32(in + 20));
    for (int i = 0; i < 4; ++i)
        r.version[i] = static_cast<int32_t>(readLe32(in + 24 + 4 * i));
    r.targetDir = static_cast<int32_t>(readLe32(in + 40));
    readText(r.subDir, in + kSubDirOffset);
    readText(r.fileName, in + kFileNameOffset);
    return r;
}

bool recordTextTerminated(const unsigned char in[FileRecordSize], bool fileName) {
    const unsigned char* text = in + (fileName ? kFileNameOffset : kSubDirOffset);
    return memchr(text, 0, RecordTextSize) != nullptr;
}

void parseVersionText(const char* text, int32_t version[4]) {
    for (int i = 0; i < 4; ++i)
        version[i] = 0;
    const char* p = text;
    for (int part = 0; part < 4 && p; ++part) {
        // Leading white space as the C library's isspace sees it in the
        // "C" locale, then an optional sign, then digits.
        while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
            ++p;
        bool negative = false;
        if (*p == '+' || *p == '-')
            negative = *p++ == '-';
        int64_t value = 0;
        while (*p >= '0' && *p <= '9') {
            value = value * 10 + (*p++ - '0');
            if (value > (int64_t(1) << 31))
                value = int64_t(1) << 31; // saturates, as the conversion does
        }
        if (negative)
            value = -value;
        value = std::min<int64_t>(std::max<int64_t>(value, INT32_MIN), INT32_MAX);
        version[part] = static_cast<int32_t>(value);
        // The rest of the piece up to the next dot is ignored.
        p = strchr(p, '.');
        if (p)
            ++p;
    }
}

void resourceFileVersion(const char* text, const FixedVersion& fixed, int32_t version[4]) {
    if (text) {
        parseVersionText(text, version);
        return;
    }
    const uint32_t halves[2] = {fixed.present ? fixed.high : 0, fixed.present ? fixed.low : 0};
    for (int i = 0; i < 4; ++i)
        version[i] = static_cast<int32_t>((halves[i / 2] >> (i % 2 ? 0 : 16)) & 0xFFFF);
}

int compareVersions(const int32_t a[4], const int32_t b[4]) {
    for (int i = 0; i < 4; ++i) {
        if (a[i] < b[i])
            return -1;
        if (a[i] > b[i])
            return 1;
    }
    return 0;
}

// ---------------------------------------------------------------------------

VolumePlanner::VolumePlanner(uint64_t volumeCap) : cap(volumeCap), sizes(1, FirstVolumeDataOffset) {}

uint64_t VolumePlanner::minimumCap() { return FirstVolumeDataOffset + FileRecordSize + 1; }

void VolumePlanner::nextVolume() {
    ++volume;
    used = LaterVolumeDataOffset;
    sizes.push_back(used);
}

bool VolumePlanner::place(uint64_t streamSize, std::vector<VolumePiece>* pieces, std::string* error) {
    if (cap != 0 && cap < minimumCap()) {
        *error = "a volume must hold at least " + std::to_string(minimumCap()) +
                 " bytes (volume number, archive header, one record and one byte of data)";
        return false;
    }
    const size_t file = files++;
    uint64_t done = 0;
    bool first = true;
    for (;;) {
        const uint64_t left = streamSize - done;
        if (cap != 0) {
            // A first record needs room for itself and one byte of data, so
            // that a record is never the last thing in a volume. A
            // continuation always starts a fresh volume, which has room.
            const uint64_t need = FileRecordSize + std::min<uint64_t>(left, 1);
            if (used + need > cap)
                nextVolume();
        }
        uint64_t chunk = left;
        if (cap != 0)
            chunk = std::min(chunk, cap - used - FileRecordSize);
        if (chunk > UINT32_MAX) {
            if (cap == 0) {
                *error = "a compressed stream of " + std::to_string(streamSize) +
                         " bytes does not fit one volume (chunks are limited to 4 GiB); give a volume size";
                return false;
            }
            chunk = UINT32_MAX;
        }
        VolumePiece piece;
        piece.file = file;
        piece.volume = volume;
        piece.offset = used;
        piece.streamOffset = done;
        piece.chunkSize = static_cast<uint32_t>(chunk);
        piece.first = first;
        piece.continued = done + chunk < streamSize;
        pieces->push_back(piece);
        used += FileRecordSize + chunk;
        sizes.back() = used;
        done += chunk;
        if (!piece.continued)
            return true;
        nextVolume();
        first = false;
    }
}

bool planVolumes(const std::vector<uint64_t>& streamSizes, uint64_t volumeCap,
                 std::vector<VolumePiece>* pieces, std::vector<uint64_t>* volumeSizes,
                 std::string* error) {
    VolumePlanner planner(volumeCap);
    pieces->clear();
    for (uint64_t size : streamSizes)
        if (!planner.place(size, pieces, error))
            return false;
    if (volumeSizes)
        *volumeSizes = planner.volumeSizes();
    return true;
}
