// The install engine's decisions, stated over plain data: where a system
// file goes, version comparison, progress percentages, the group rule, the
// answer to the "before a file" notification, which file gets the shortcut
// fix-up, shortcut keywords and the wininit.ini rename line. What the engine
// shares with the uninstaller and the completer (record checks, target
// folders, Install.log and its temporary names) is in format/, included here
// for the engine's convenience. The Win32 glue in SetupFileManager.cpp asks
// these and acts. Paths are built with common/PathText. Builds natively; on
// Windows, Setup.h brings <windows.h> with the record's FILETIME.
#ifndef SETUP_FILEMANAGER_ENGINERULES_H
#define SETUP_FILEMANAGER_ENGINERULES_H

#include <stddef.h>
#include <stdint.h>

#include "Setup.h"
#include "common/PathText.h"
#include "format/InstallLog.h"
#include "format/Records.h"

// ---------------------------------------------------------------------------
// Versions and the system directory.

// A copy already installed at a file's place in the Windows or system
// directory, as SetupFileManager::IsNewFile reports it.
enum InstalledCopy : int {
    CopyAbsent = 0,      // none there (or none that opens)
    CopyReplaceable = 1, // the record's version is not older
    CopyNewer = -1       // newer than the record: kept
};

// What becomes of a file meant for the system directory.
enum class SystemFilePlan {
    Skip,            // a newer copy is installed
    InPlace,         // written into the system directory
    Redirect,        // the system directory is write-protected: the Windows directory instead
    AskThenRedirect  // the same, once the user accepts leaving an older copy behind
};
SystemFilePlan planSystemFile(InstalledCopy copy, bool systemReadOnly);

// Only a file for the Windows directory (as shipped, or redirected there) is
// compared with the copy installed there; any other target is replaced,
// whatever its version.
bool comparedWithWindowsCopy(int32_t targetDir);

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

// Stores `state` for `group`: 1 stored, -1 no list, 0 a number outside the
// list (nothing stored).
int setGroupState(int* groupList, int32_t group, int state);

// What the engine does with a file.
enum class FileDecision { Install, Skip, Fail, Break };
// The answer to InfoBeforeFile, given the file's group state read again
// after the answer.
FileDecision decideAfterNotice(FileNoticeAnswer answer, int32_t stateAfter);

// ---------------------------------------------------------------------------
// After the data is written.

// The expansion ended where the file's data ends: the decompressor succeeded
// and no byte of the record's chunks is left, or the next record would be
// read from the middle of this file's data.
bool expandedWhole(unsigned int explodeResult, uint32_t chunkBytesLeft, int32_t fileContinues);

// What follows an expansion: the file's data is used up (Complete); the
// stream ended at its end code with bytes of the record's chunks left, which
// the stream format allows and the reader skips (SkipRest); or the stream
// was damaged or ran out of data (Damaged).
enum class ExpansionEnd { Complete, SkipRest, Damaged };
ExpansionEnd expansionEnd(unsigned int explodeResult, uint32_t chunkBytesLeft, int32_t fileContinues);

// Which written file a shortcut fix-up goes to: none for a file that is not a
// shortcut; the temporary file when the target was in use (it will take the
// target's place), else the target itself.
enum class ShortcutFixUp { None, Target, Temporary };
ShortcutFixUp shortcutFixUp(const char* target, const char* temporaryName);


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
// Files in use.


// ---------------------------------------------------------------------------
// wininit.ini.

// Room for a [rename] line: two paths, "=" and the terminator.
const size_t kRenameLineSize = 2 * PathSize;

// The [rename] line that has Windows put the temporary file in the target's
// place at its next start: "<target>=<temporary>", both short (8.3) paths,
// the target first (the name to be, then the file that becomes it).
//   true   built in `line`
//   false  a path is empty or the line would not fit `size` (line untouched)
bool wininitRenameLine(char* line, const char* shortTarget, const char* shortTemporary,
                       size_t size = kRenameLineSize);

// Appends `line` to a profile section read into `section` (`used` characters
// before the final terminator, as the profile call reports) and terminates the
// section twice. False when the section plus the line does not fit
// `capacity` characters.
bool appendSectionLine(char* section, size_t capacity, size_t used, const char* line);

// Removes the last line equal to `line` from a profile section (lines
// terminated one by one, the section by an empty line) and returns true; the
// section stays doubly terminated. False (section untouched) when no line is
// equal.
bool removeSectionLine(char* section, const char* line);


#endif
