// Archive.h: reading a set of data volumes back, as the installer would,
// with a clear message for every way they can be damaged.
//
// The volumes come from a VolumeSet, so tests and the fuzzer can serve them
// from memory. readArchive walks the archive front to back through the
// installer's own reading rules (reader/VolumeStream.h: records, chunks,
// continuation records across volumes), telling which volume and which file
// every problem is in, and, when asked, expands every file through the
// decompressor, checking that it expands cleanly to its recorded size.
#ifndef SETUPVOL_ARCHIVE_H
#define SETUPVOL_ARCHIVE_H

#include <stddef.h>
#include <stdint.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Setup.h"

// One volume file, open for reading from its start.
class VolumeFile {
public:
    virtual ~VolumeFile() = default;
    // Up to n bytes; fewer only at the end of the volume (or on a read
    // error, which failed() then reports).
    virtual size_t read(void* buffer, size_t n) = 0;
    // Skips up to n bytes; returns how many were skipped.
    virtual uint64_t skip(uint64_t n) = 0;
    // Bytes after the current position.
    virtual uint64_t remaining() const = 0;
    virtual bool failed() const { return false; }
};

// Where the volumes of one set are.
class VolumeSet {
public:
    virtual ~VolumeSet() = default;
    // Opens volume `number` (1-based); null when it does not exist. `name`
    // receives what messages call it ("Data2.Dat" or its path).
    virtual std::unique_ptr<VolumeFile> open(uint32_t number, std::string* name) = 0;
    // The check file beside volume 1 (format/FileCheck.h): false when the
    // set has none; else its bytes, `name` what messages call it.
    virtual bool readCheckFile(std::vector<unsigned char>* bytes, std::string* name) {
        (void)bytes;
        (void)name;
        return false;
    }
};

// Volumes held in memory: volumes[0] is Data1.Dat.
class MemoryVolumeSet : public VolumeSet {
public:
    std::vector<std::vector<unsigned char>> volumes;
    bool hasCheck = false;
    std::vector<unsigned char> check;  // Data.Chk when hasCheck
    std::unique_ptr<VolumeFile> open(uint32_t number, std::string* name) override;
    bool readCheckFile(std::vector<unsigned char>* bytes, std::string* name) override;
};

// Volumes in a folder: DIR/Data<n>.Dat, else DIR/Disk<n>/Data<n>.Dat, else
// a sibling DIR/../Disk<n>/Data<n>.Dat (DIR being one disk of a set).
class DirectoryVolumeSet : public VolumeSet {
public:
    explicit DirectoryVolumeSet(const std::filesystem::path& dir) : dir(dir) {}
    std::unique_ptr<VolumeFile> open(uint32_t number, std::string* name) override;
    bool readCheckFile(std::vector<unsigned char>* bytes, std::string* name) override;
    // Where volume `number` is, or an empty path.
    std::filesystem::path find(uint32_t number) const;

private:
    std::filesystem::path dir;
};

struct ArchiveFile {
    unsigned index = 0;            // 1-based, in archive order
    tagCompressFileHeader record;  // the first record
    bool namesUtf8 = false;        // its names are UTF-8 (the header's flag), else Windows-1252
    uint32_t recordCrc = 0;        // CRC-32 of its 564 bytes as they stand in the volume
    uint32_t firstVolume = 0;
    uint32_t lastVolume = 0;
    uint64_t streamSize = 0;       // all chunks together
    uint64_t expandedBytes = 0;    // when expanded
    bool ok = true;                // no error met for this file
};

struct ArchiveReport {
    bool headerRead = false;
    ArchiveHeader header = {};
    std::vector<ArchiveFile> files;
    uint32_t volumes = 0;          // volumes the archive spans
    bool checked = false;          // the set's check file was read and used
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

// Receives the expanded files (extraction).
class ArchiveSink {
public:
    virtual ~ArchiveSink() = default;
    // False (with a message) when the file cannot be written; the file is
    // then still checked but its bytes go nowhere.
    virtual bool beginFile(const ArchiveFile& file, std::string* error) = 0;
    virtual bool write(const unsigned char* data, size_t size, std::string* error) = 0;
    // ok: the file expanded cleanly to its recorded size.
    virtual void endFile(const ArchiveFile& file, bool ok) = 0;
};

// Reads the whole archive. expand: also expand every file (verify and
// extract), handing the bytes to `sink` when there is one. When the set has a
// check file, every record and every expanded file is compared with it; a
// file that differs is damaged (and the sink told so). Names are checked by
// the installer's rules, and two files that Windows would make one (names
// folding alike, a file that is another's folder) are damage. Every problem
// lands in report->errors; the walk goes on wherever the structure still
// tells where the next record is.
void readArchive(VolumeSet& volumes, bool expand, ArchiveSink* sink, ArchiveReport* report);

// "install\Docs\readme.txt", in UTF-8, from names in Windows-1252 or UTF-8.
std::string displayTarget(const tagCompressFileHeader& record, bool namesUtf8 = false);

// The listing printed by `setupvol list`.
std::string formatListing(const ArchiveReport& report);

#endif
