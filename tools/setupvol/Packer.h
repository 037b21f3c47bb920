// Packer.h: building the data volumes of a product from its manifest.
#ifndef SETUPVOL_PACKER_H
#define SETUPVOL_PACKER_H

#include <stdint.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "Setup.h"
#include "implode/Implode.h"
#include "tools/setupvol/Manifest.h"

// One file of the archive, resolved from the manifest.
struct PackFile {
    int line = 0;                    // manifest line it came from
    std::filesystem::path source;
    tagCompressFileHeader record;    // all fields but continued and chunkSize
    int literals = LiteralsAuto;
    unsigned dict = 4096;
    bool hasVersion = false;         // version given in the manifest
};

// Expands trees, names every file and checks the targets (valid Windows
// names within 259 bytes, no target twice, groups within the header's
// count). Versions and times are filled in by packArchive.
bool resolveManifest(const Manifest& manifest, const std::filesystem::path& baseDir, std::vector<PackFile>* files,
                     int32_t* groupCount, std::string* error);

// Literal mode for a file's bytes: ascii when the text table codes them in
// fewer bits than plain bytes take (byte histogram over the whole file).
ImplodeLiteralMode chooseLiteralMode(const uint64_t histogram[256]);

// How far packing has come, after each file written.
struct PackProgress {
    size_t filesDone, fileCount;
    uint64_t bytesDone, byteCount; // of the files' own bytes
};

struct PackOptions {
    uint64_t volumeCap = 0; // 0: one volume
    bool diskDirs = false;  // volume n in DIR/Disk<n>/
    // Threads compressing files; the volumes are the same for any number.
    unsigned threads = 1;
    std::function<void(const PackProgress&)> progress; // may be empty
};

struct PackSummary {
    uint32_t files = 0;
    uint32_t volumes = 0;
    uint64_t expanded = 0;
    uint64_t compressed = 0;
};

// Where packArchive puts volume `n` (from 1) in outDir.
std::filesystem::path volumePath(const std::filesystem::path& outDir, bool diskDirs, uint32_t n);

// Packs the manifest's files into Data1.Dat, Data2.Dat, ... in outDir. The
// result depends only on the files (contents, names, times) and the options
// (the number of threads aside). A failure is that of the first file in
// manifest order that fails, whatever the threads.
// Volumes of an earlier run that are not part of the new set are removed.
// On failure nothing of the new set is left behind.
bool packArchive(const Manifest& manifest, const std::filesystem::path& baseDir, const std::filesystem::path& outDir,
                 const PackOptions& options, PackSummary* summary, std::string* error, std::ostream* log);

#endif
