// The per-file check of a volume set: the check file Data.Chk that setupvol
// writes beside Data1.Dat, holding a CRC-32 of every file's record and of its
// expanded bytes, and of the archive header that identifies the set. The
// volume format itself checks nothing of the expanded bytes; with this file
// the engine and setupvol catch a damaged file instead of installing it.
// Sets without it install as they always did. The layout is in
// docs/volume-format.md. Portable: no <windows.h>.
#ifndef SETUP_READER_FILE_CHECK_H
#define SETUP_READER_FILE_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

// The check file's name, in the folder of the first volume.
extern const char kCheckFileName[];

// CRC-32 (the one of zip and PNG: polynomial 0xEDB88320, reflected, all
// ones in and out). `crc` is the value so far, 0 for none; feeding the bytes
// in pieces gives the same result as feeding them at once.
uint32_t crc32Update(uint32_t crc, const void* data, size_t size);

enum CheckFileLayout : size_t {
    CheckHeaderSize = 16,  // magic, format, file count, header CRC
    CheckEntrySize = 12,   // record CRC, expanded size, data CRC
    CheckTrailerSize = 4,  // CRC-32 of everything before it
    CheckFormatVersion = 1,
    // More entries than any header can promise is damage, not a set.
    CheckMaxFiles = 1u << 24
};

// What is known of one file.
struct CheckEntry {
    uint32_t recordCrc;     // the 564 bytes of its first record, as in the volume
    uint32_t expandedSize;
    uint32_t dataCrc;       // its expanded bytes
};

struct CheckTable {
    uint32_t headerCrc = 0;  // the 20 bytes of the archive header
    std::vector<CheckEntry> entries;
};

// The check file's bytes for a set.
std::vector<unsigned char> serializeCheckFile(const CheckTable& table);

// What a check file's bytes are.
enum class CheckFileState {
    Valid,     // read into the table
    Damaged    // wrong magic or format, wrong length, or its own CRC differs
};
CheckFileState parseCheckFile(const unsigned char* bytes, size_t size, CheckTable* table);

// The table belongs to the set whose archive header is `rawHeader` (20
// bytes as in volume 1): the header's CRC matches and there is one entry
// per file the header promises.
bool checkTableFitsHeader(const CheckTable& table, const unsigned char* rawHeader,
                          uint32_t fileCount);

#endif
