// OutputTree.h: writing a file below the folder `setupvol extract` fills,
// without ever following a link that is already there. A folder link or a
// file link inside the output folder would otherwise carry the bytes of a
// hostile volume set anywhere the user may write; so every level on the way
// to a target is made or entered without following links, an existing link
// anywhere on the way is refused with its path, and the file itself is
// created afresh. The output folder itself is the user's choice and is taken
// as given. An existing regular file at a target is replaced: it is removed
// and a new file takes its name, so a hard link to it elsewhere keeps its old
// bytes.
#ifndef SETUPVOL_OUTPUTTREE_H
#define SETUPVOL_OUTPUTTREE_H

#include <stddef.h>
#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include "win32/Ownership.h"
#endif

// What stands at a name below the output folder.
enum class OutputEntry { Absent, Folder, RegularFile, Link, Other };

// Whether extraction may pass through (wantFolder) or write to `found`, the
// entry at `shown`. This is the one place that decides that a link is never
// followed.
//   ""          go on: an absent name or a folder on the way; an absent name
//               or a regular file (replaced) at the target
//   otherwise   why not, naming `shown`: a link, a file where a folder is
//               needed, a folder or a device where the file goes
std::string outputRefusal(OutputEntry found, bool wantFolder, const std::string& shown);

// One file being written below the output folder. Destroying it unfinished
// removes what was written.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes `root` (with its parents) if needed, then root/folders.../name,
    // entering and making each folder without following links.
    //   true    the file is open, empty
    //   false   *error says which path was refused or failed, and why
    bool create(const std::filesystem::path& root, const std::vector<std::string>& folders,
                const std::string& name, std::string* error);
    //   true    all of `data` written
    //   false   *error names the file and the cause (a full disk as such)
    bool write(const unsigned char* data, size_t size, std::string* error);
    // Gives the file its last-write time (FILETIME units) and closes it.
    //   true    done
    //   false   *error names the file; it is kept, closed
    bool finish(uint64_t fileTime, std::string* error);
    // Closes and removes the file; nothing when none is open.
    void discard();

    const std::filesystem::path& path() const { return path_; }

private:
    void close();

    std::filesystem::path path_;  // for messages, and on Windows to reach it again
#ifdef _WIN32
    win32::FileHandle file_;
#else
    int folder_ = -1;       // the folder holding the file, reached without links
    int file_ = -1;
    std::string name_;
#endif
};

#endif
