// The rules for the names a volume record carries (its subDir and fileName),
// kept in one place for everyone who writes or installs them: the engine
// refuses a record whose names would leave its base folder or name a device,
// and setupvol packs, verifies and extracts by the full Windows naming rules.
// Names are ANSI text in Windows-1252; a component is one level of a path
// between separators (Windows takes both '\' and '/'). Portable: no
// <windows.h>.
#ifndef SETUP_READER_RECORD_NAMES_H
#define SETUP_READER_RECORD_NAMES_H

#include <stddef.h>

// What is wrong with one component, in the order the checks are made.
enum class NameFault {
    None,
    Empty,              // nothing between two separators
    DotsOnly,           // ".", "..", "...", ". ." : Windows makes them a way up or nothing
    DeviceName,         // CON, PRN, AUX, NUL, COM1-9, LPT1-9 (any case, any extension)
    ControlCharacter,   // a byte below 32
    ReservedCharacter,  // one of < > : " / \ | ? *
    TrailingDotOrBlank, // Windows drops it, so the name is not the one stored
    UnassignedByte      // 0x81, 0x8D, 0x8F, 0x90, 0x9D: no character in Windows-1252
};

// A device name Windows opens instead of a file, whatever folder it stands
// in: the part before the first dot (or colon), without trailing blanks, is
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9 or LPT1-LPT9 (also with the
// superscripts 1, 2 and 3 of Windows-1252), compared without case. "nul.txt",
// "Com1.", "aux .c" are device names; "nul1", "console" are not.
bool isDeviceName(const char* text, size_t length);

// Only dots and blanks, with at least one dot.
bool isDotsOnly(const char* text, size_t length);

// The engine's test of a record's names: every component of `path`
// (separated by '\' or '/'; empty components are allowed, so an absolute
// folder such as "D:\Tools" or "\\server\share" passes) is neither dots only
// nor a device name.
bool pathStaysInside(const char* path);

// The full rules for one component a packer may store: NameFault::None when
// every check passes, else the first fault.
NameFault componentFault(const char* text, size_t length);

// One line of English for a fault ("names a device (CON, NUL, COM1 ...)").
const char* nameFaultText(NameFault fault);

// The byte Windows compares in place of `c` when it looks a name up without
// case (Windows-1252 letters to upper case, the rest unchanged). Two names
// whose bytes fold alike name one file.
char foldNameByte(char c);

// True when the two names are one file's name for Windows: same length and
// every byte folds alike.
bool sameName(const char* a, size_t aLength, const char* b, size_t bLength);

#endif
