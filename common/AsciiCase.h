// Comparison of keywords without regard to case, for the fixed ASCII words
// of the formats (device names, shortcut keywords, registry roots, the
// "lnk" and "tmp" extensions). Only 'a'-'z' and 'A'-'Z' are folded: the
// bytes of Windows-1252 above 127 stay as they are, unlike Windows' own
// name comparison (format/RecordNames.h, sameName). Portable: no <windows.h>.
#ifndef SETUP_COMMON_ASCII_CASE_H
#define SETUP_COMMON_ASCII_CASE_H

#include <stddef.h>

// The `length` characters at `text` spell `word` (terminated), ASCII letters
// in any case on either side.
bool equalsAsciiNoCase(const char* text, size_t length, const char* word);

#endif
