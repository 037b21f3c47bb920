// VolumeFormat.h: the bytes of the data volumes, without any file access.
//
// Data<n>.Dat starts with its number n (32-bit little-endian); volume 1 then
// holds the 20-byte archive header. After that come 564-byte file records,
// each followed directly by a chunk of the file's compressed stream. A file
// whose stream does not fit goes on in the next volume behind a continuation
// record (a copy of its first record with its own `continued` and
// `chunkSize`). This file turns records into bytes and back, reads version
// texts the way the installer reads them, and plans where every record and
// chunk of an archive goes.
#ifndef SETUP_VOLUME_FORMAT_H
#define SETUP_VOLUME_FORMAT_H

#include "Setup.h"

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

enum {
    VolumeNumberSize = 4,
    ArchiveHeaderSize = 20,
    FileRecordSize = 564,
    RecordTextSize = PathSize, // subDir and fileName, terminator included
    // Where the first record of a volume starts.
    FirstVolumeDataOffset = VolumeNumberSize + ArchiveHeaderSize,
    LaterVolumeDataOffset = VolumeNumberSize,
    ArchiveFormatVersion = 1,
    TargetDirCount = 8 // targetDir keywords 0..7
};

// Little-endian 32-bit fields.
uint32_t readLe32(const unsigned char* p);
void writeLe32(unsigned char* p, uint32_t v);

void serializeArchiveHeader(const ArchiveHeader& header, unsigned char out[ArchiveHeaderSize]);
ArchiveHeader parseArchiveHeader(const unsigned char in[ArchiveHeaderSize]);

// Text fields are written zero-padded after their terminator; a field whose
// 260 bytes hold no terminator is cut to 259 on parsing (and flagged by
// recordTextTerminated).
void serializeFileRecord(const tagCompressFileHeader& record, unsigned char out[FileRecordSize]);
tagCompressFileHeader parseFileRecord(const unsigned char in[FileRecordSize]);
bool recordTextTerminated(const unsigned char in[FileRecordSize], bool fileName);

// A version text as the installer reads a file's "FileVersion" string: split
// at every dot, each piece converted as a signed decimal number (leading
// white space skipped, optional sign, digits up to the first other
// character, 0 without digits, clamped to the 32-bit range), the first four
// pieces into version[0..3], missing pieces 0. "4.00.950" gives 4, 0, 950, 0;
// "1, 2, 3, 4" gives 1, 0, 0, 0.
void parseVersionText(const char* text, int32_t version[4]);

// The string block whose "FileVersion" text the installer reads first: US
// English, Windows-1252.
constexpr char kVersionTextBlock[] = "040904E4";

// The first field of a version resource's fixed record (VS_FIXEDFILEINFO);
// a record without it is no record.
const uint32_t kFixedVersionSignature = 0xFEEF04BD;
const size_t kFixedVersionRecordSize = 52;

// The fixed record's file version, its two 32-bit halves (dwFileVersionMS,
// dwFileVersionLS), or none.
struct FixedVersion {
    bool present;
    uint32_t high;
    uint32_t low;
};

// The version the installer gives a file with a version resource: the parts
// of its kVersionTextBlock "FileVersion" text (null when that text is
// absent) when it has one, else the fixed record's four 16-bit numbers
// (0x00010002, 0x00030004 is 1.2.3.4, each 0..65535), else 0.0.0.0. A file
// whose only text block is another translation (040904B0, the usual
// default) thus keeps its real version and is never taken for 0.0.0.0.
void resourceFileVersion(const char* text, const FixedVersion& fixed, int32_t version[4]);

// Compares two versions part by part as signed numbers: -1, 0 or 1.
int compareVersions(const int32_t a[4], const int32_t b[4]);

// ---------------------------------------------------------------------------
// Volume layout.

// One record and the chunk after it.
struct VolumePiece {
    size_t file;           // index of the file in archive order
    uint32_t volume;       // 1-based volume number
    uint64_t offset;       // offset of the record in its volume
    uint64_t streamOffset; // first stream byte of the chunk
    uint32_t chunkSize;    // stream bytes in the chunk
    bool first;            // the file's first record (else a continuation)
    bool continued;        // the stream goes on in the next volume
};

// Places the files of an archive one after another. Rules: a record is never
// split; a file starts in a volume only when its record and at least one
// stream byte fit there; a piece that does not fit is continued in the next
// volume behind a continuation record; a volume may end right after a chunk,
// and then the next record opens the next volume.
class VolumePlanner {
public:
    // volumeCap: the largest size of a volume file in bytes; 0 = no limit
    // (everything in Data1.Dat).
    explicit VolumePlanner(uint64_t volumeCap);

    // The smallest cap that lets every file make progress: volume 1 must
    // hold its header, a record and a byte.
    static uint64_t minimumCap();

    // Appends the pieces of the next file (whose compressed stream has
    // `streamSize` bytes) to `pieces`. False, with a message, when the cap
    // is below minimumCap() or a chunk would exceed 32 bits.
    bool place(uint64_t streamSize, std::vector<VolumePiece>* pieces, std::string* error);

    uint32_t volumeCount() const { return volume; }
    // Size of each volume planned so far.
    const std::vector<uint64_t>& volumeSizes() const { return sizes; }

private:
    uint64_t cap;
    uint32_t volume = 1;
    uint64_t used = FirstVolumeDataOffset; // bytes of the current volume
    size_t files = 0;
    std::vector<uint64_t> sizes;
    void nextVolume();
};

// Plans a whole archive at once; false with a message on failure.
bool planVolumes(const std::vector<uint64_t>& streamSizes, uint64_t volumeCap,
                 std::vector<VolumePiece>* pieces, std::vector<uint64_t>* volumeSizes,
                 std::string* error);

#endif // SETUP_VOLUME_FORMAT_H
