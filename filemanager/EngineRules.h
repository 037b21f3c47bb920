// The install engine's decisions, stated over plain data: 260-character path
// building with one overflow policy, record checks, version comparison,
// progress percentages, the group rule, the answer to the "before a file"
// notification, shortcut keywords, the wininit.ini rename line and the
// temporary name in a protocol record. The Win32 glue in SetupFileManager.cpp
// asks these and acts. Portable: no <windows.h>.
#ifndef SETUP_FILEMANAGER_ENGINERULES_H
#define SETUP_FILEMANAGER_ENGINERULES_H

#include <stddef.h>
#include <stdint.h>

#include "Setup.h"

namespace engine {

// Every path of the engine lives in a buffer of this many characters,
// terminator included.
const size_t PathSize = 260;

// ---------------------------------------------------------------------------
// Paths. Each helper refuses (returns false) rather than cut a path short, and
// leaves `path` unchanged when it refuses.

// path = text.
bool copyPath(char* path, const char* text);
// path += text, nothing in between.
bool appendText(char* path, const char* text);
// path += "\" (unless path is empty or already ends in one) + name.
bool appendName(char* path, const char* name);
// Text after the last backslash (the whole path when there is none).
const char* namePart(const char* path);
// Cuts `path` before its last backslash; false when it has none.
bool cutAtLastBackslash(char* path);
// Extension after the last dot of the name is "lnk", in any case.
bool isShortcutPath(const char* path);

// ---------------------------------------------------------------------------
// Records.

// Both text fields end inside their 260 bytes: a record that does not is
// damaged, and building a path from it would read past the field.
bool recordTextValid(const tagCompressFileHeader& record);

// Where a targetDir keyword puts a file. Special folders carry their CSIDL.
struct TargetBase {
    enum Kind { Invalid, Windows, System, Special, Absolute, Install } kind;
    int csidl;  // for Special
};
TargetBase targetBase(int32_t targetDir);

// Overwrites the start of fileName with the temporary file's name (the part
// after the last backslash of `temporaryPath`) and its terminator; the bytes
// after that terminator keep what the volume had. False when the name does not
// fit the field.
bool stampTemporaryName(tagCompressFileHeader& record, const char* temporaryPath);

// ---------------------------------------------------------------------------
// Versions.

// True when the record's version may replace the installed one: newer or
// equal, compared part by part as signed numbers, most significant first.
bool recordMayReplace(const int32_t installed[4], const int32_t record[4]);

// ---------------------------------------------------------------------------
// Progress.

// Percentage of the current file written. An empty file is complete at once;
// a record that understates the size never shows more than 100.
uint32_t filePercent(uint32_t written, uint32_t expandedSize);
// Percentage of the archive's files done after `done` of `count` files.
uint32_t overallPercent(uint32_t done, uint32_t count);

// ---------------------------------------------------------------------------
// Groups.

// State of `group` in a group list (element 0 the count, then one state per
// group). A run without a list, and a group number outside 1..count (possible
// once the user accepted a group-count mismatch), count as enabled: the
// product can only disable groups it listed, so an unlisted one never was.
int32_t groupState(const int* groupList, int32_t group);

// What the engine does with the answer to notification 0, given the file's
// group state read again after the answer.
enum class FileDecision { Install, Skip, Fail, Break };
FileDecision decideAfterNotice(int answer, int32_t stateAfter);

// ---------------------------------------------------------------------------
// Shortcut keywords.

enum class Keyword { Unknown, Root, Work, Windows, System, Desktop, Startup, StartMenu, Programs };

// Case-insensitive lookup of one path component.
Keyword lookupKeyword(const char* text, size_t length);

// A shipped shortcut path: `prefixLength` characters, one more, the rest of a
// directory name, a backslash, the keyword, then an optional tail that starts
// with a backslash.
struct ShippedPath {
    Keyword keyword;
    const char* tail;  // points into the shipped text; "" when there is none
};
// False when the path is shorter than prefixLength + 1 or has no backslash at
// or after that position.
bool splitShippedPath(const char* shipped, uint32_t prefixLength, ShippedPath* out);

// ---------------------------------------------------------------------------
// wininit.ini.

// Appends `line` to a profile section read into `section` (`used` characters
// before the final terminator, as the profile call reports) and terminates the
// section twice. False when the section plus the line does not fit
// `capacity` characters.
bool appendSectionLine(char* section, size_t capacity, size_t used, const char* line);

}  // namespace engine

#endif
