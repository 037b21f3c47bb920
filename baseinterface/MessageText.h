// Formatting of message texts with one inserted string, the way the Windows
// formatter treats our texts: the first "%s" receives the insert and "%%"
// stands for "%". Unlike wsprintf it never writes past the buffer and never
// reads a second argument that is not there. Portable: no <windows.h>.
#ifndef SETUP_MESSAGE_TEXT_H
#define SETUP_MESSAGE_TEXT_H

#include <stddef.h>

// Room for a message text loaded from the string table: 259 characters and
// the terminator; a longer entry is cut.
const size_t kLoadedTextSize = 260;

// Bytes needed for the formatted text with its terminator.
size_t formattedMessageSize(const char* text, const char* insert);

// Writes the formatted text, cut to `size` - 1 characters, always terminated.
void formatMessage(char* out, size_t size, const char* text, const char* insert);

#endif
