// Names.h: the names stored in volume records.
//
// Records hold Windows-1252 text (the Western code page), or UTF-8 in a set
// whose header says so (format/NameEncoding.h): the manifest chooses. On the
// host, names are UTF-8. The target path of a record is built from its
// subDir (backslash-separated levels) and fileName, so both are checked for
// what would escape the base directory or be refused by Windows.
#ifndef SETUPVOL_NAMES_H
#define SETUPVOL_NAMES_H

#include <stdint.h>

#include <map>
#include <string>

// UTF-8 to Windows-1252; false (with the offending character in `error`)
// when the text is not valid UTF-8 or holds a character that code page lacks.
bool utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* error);
// Windows-1252 to UTF-8; the five unassigned bytes become U+FFFD.
std::string ansiToUtf8(const std::string& ansi);

// A host name in the code of a set's records (UTF-8 as it is, after a check,
// when `namesUtf8`), and back.
bool storedName(const std::string& utf8, bool namesUtf8, std::string* stored, std::string* error);
std::string hostName(const std::string& stored, bool namesUtf8);

// Target directory keywords, in targetDir order: windows, system, desktop,
// none, install, startup, startmenu, programs.
const char* targetDirKeyword(int32_t targetDir); // "?" outside 0..7
int targetDirFromKeyword(const std::string& keyword); // -1 when unknown
std::string targetDirKeywordList(); // "windows, system, ... or programs"

// One level of a target path (a file name or a directory name), by the
// rules of format/RecordNames.h: not empty, not dots only, no device name
// (CON, NUL, COM1 ... with any extension), no control characters and none of
// < > : " / \ | ? *, no trailing dot or space, no byte Windows-1252 leaves
// unassigned (in a UTF-8 name, the last rule holds only where the name is
// Windows-1252 text too). Returns "" when valid, else what is wrong.
std::string checkPathComponent(const std::string& name, bool namesUtf8 = false);

// A name as Windows compares it without case: two names with the same fold
// are one file.
std::string foldName(const std::string& ansi);
// The same for a stored name: a UTF-8 one character by character.
std::string foldName(const std::string& name, bool namesUtf8);

// A subDir: levels separated by backslashes, each a valid component; empty
// is valid. Returns "" when valid, else what is wrong.
std::string checkSubDir(const std::string& subDir, bool namesUtf8 = false);

// The target paths of a set, as Windows would see them: two files whose
// paths fold alike are one file, and a file whose path is a folder of
// another cannot both be made.
class TargetPaths {
public:
    explicit TargetPaths(bool namesUtf8 = false) : namesUtf8_(namesUtf8) {}
    enum Clash { None, SameFile, FileIsFolder, FolderIsFile };
    // Adds the file `id`; on a clash `other` is the id of the file it meets
    // and nothing is added.
    Clash add(int32_t targetDir, const std::string& subDir, const std::string& name, unsigned id,
              unsigned* other);

private:
    bool namesUtf8_;
    std::map<std::string, unsigned> files;    // folded path -> id
    std::map<std::string, unsigned> folders;  // folded folder -> first id below it
};

// Joins subDir levels with a backslash ("" + x = x).
std::string joinSubDir(const std::string& a, const std::string& b);

#endif
