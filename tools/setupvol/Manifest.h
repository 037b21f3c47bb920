// Manifest.h: the list of files a product installs, as a person writes it.
//
// A manifest is a UTF-8 text file, one statement per line. Blank lines are
// ignored, and a word starting with '#' (outside quotes) begins a comment that
// runs to the end of the line. Words are separated by spaces or tabs; a word
// containing spaces is written in double quotes ("My Program"), and "" is an
// empty word.
//
// Settings (anywhere, each at most once):
//   groups N              groupCount of the archive header, 1 or more
//                         (default: the highest group a file uses)
//   shortcut-prefix N     shortcutPrefixLength of the archive header (default 0)
//   names utf-8|windows-1252   the code of the names in the volumes (default
//                         windows-1252, which every release installs, but
//                         utf-8 for a product file's manifest; utf-8 takes
//                         names in any script, for installers that know the
//                         header's flag); before the first file
// Defaults for the lines below them:
//   literals auto|binary|ascii   (default auto)
//   dict 1024|2048|4096          (default 4096)
//
// Files, in the order they are to be installed:
//   file SOURCE TARGET SUBDIR GROUP [options]
//   tree SOURCE TARGET SUBDIR GROUP [options]
//
//   SOURCE  a file (file) or a folder (tree), relative to the manifest's
//           folder unless absolute; '/' or '\' between levels. A tree takes
//           every file below the folder, sorted by name level by level, each
//           into SUBDIR plus its folders below SOURCE.
//   TARGET  windows, system, desktop, none, install, startup, startmenu or
//           programs (targetDir 0 to 7).
//   SUBDIR  folder below the target, levels separated by '\' or '/'; '-' for
//           none.
//   GROUP   1 or more.
// Options:
//   name=NAME          installed file name (file only; default: the source's)
//   version=A.B.C.D    version recorded for the file, 1 to 4 numbers (default:
//                      the FileVersion of the file's version resource, read
//                      as the installer reads it; 0.0.0.0 without one)
//   literals=auto|binary|ascii   ascii codes literals with the format's text
//                      table, binary stores them as plain bytes; auto picks
//                      ascii when the file's bytes cost less that way (text)
//   dict=1024|2048|4096          dictionary size of the compressed stream
//
// Names must be valid Windows names, and representable in Windows-1252
// unless the names are UTF-8; a target path may not come twice (compared
// without case). Errors name the
// manifest file and line.
#ifndef SETUPVOL_MANIFEST_H
#define SETUPVOL_MANIFEST_H

#include <stdint.h>

#include <string>
#include <vector>

enum ManifestLiterals { LiteralsAuto = -1, LiteralsBinary = 0, LiteralsAscii = 1 };

struct ManifestEntry {
    int line = 0;
    bool tree = false;
    std::string source;  // UTF-8, as written, '\' turned into '/'
    int targetDir = 0;
    std::string subDir;  // in the manifest's code of names, '\' between levels
    int group = 1;
    bool hasVersion = false;
    int32_t version[4] = {0, 0, 0, 0};
    std::string name;    // in the manifest's code of names; empty: the source's own name
    int literals = LiteralsAuto;
    unsigned dict = 4096;
};

struct Manifest {
    std::string displayName;   // for messages
    bool hasGroups = false;
    int groups = 0;
    int groupsLine = 0;
    uint32_t shortcutPrefixLength = 0;
    bool namesUtf8 = false;    // 'names utf-8'
    std::vector<ManifestEntry> entries;
};

// The code of names when the manifest has no 'names' line: Windows-1252 for
// `setupvol pack` (every release installs it); UTF-8 for a product file's
// manifest, which only the generic setup installs, and that speaks UTF-8.
enum class NamesByDefault { Windows1252, Utf8 };

// Parses manifest text. On failure returns false with "NAME:LINE: problem".
bool parseManifest(const std::string& text, const std::string& displayName, Manifest* manifest,
                   std::string* error, NamesByDefault names = NamesByDefault::Windows1252);

// Parses a version given as 1 to 4 dot-separated decimal numbers, each within
// the signed 32-bit range. False when the text is anything else.
bool parseStrictVersion(const std::string& text, int32_t version[4]);

#endif
