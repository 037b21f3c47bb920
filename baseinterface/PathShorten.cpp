// Path shortening around "..."; see PathShorten.h.
#include "baseinterface/PathShorten.h"

#include <string.h>

namespace {

const char kEllipsis[] = "...";
const size_t kEllipsisLength = 3;

int widthOf(const MeasureText& measure, const char* text) {
    return static_cast<int>(measure(text, strlen(text)) & 0xFFFFu);
}

}  // namespace

bool shortenPath(const char* text, int available, const MeasureText& measure, char* out,
                 size_t outSize) {
    // A text exactly as wide as the control is shortened too.
    if (widthOf(measure, text) < available)
        return false;
    const char* firstSeparator = strchr(text, '\\');
    if (!firstSeparator)
        return false;

    // The prefix keeps its backslash: C:\Program Files\Vendor gives C:\.
    size_t prefixLength = static_cast<size_t>(firstSeparator - text) + 1;
    if (prefixLength + kEllipsisLength + 1 > outSize)
        return false;
    memcpy(out, text, prefixLength);
    memcpy(out + prefixLength, kEllipsis, kEllipsisLength);
    size_t headLength = prefixLength + kEllipsisLength;
    out[headLength] = '\0';

    int prefixWidth = static_cast<int>(measure(text, prefixLength) & 0xFFFFu);
    if (available - prefixWidth <= 0)
        return true;  // not even the drive fits: C:\... says at least that much
    int room = available - widthOf(measure, out);  // may be negative

    // Drop characters from the front of the tail, one at a time (the cut may
    // fall inside a name), until it fits the room and the buffer.
    const char* tail = firstSeparator + 1;
    const char* const fullTail = tail;
    size_t tailRoom = outSize - headLength - 1;
    while (*tail && (strlen(tail) > tailRoom || widthOf(measure, tail) > room))
        ++tail;
    if (tail == fullTail)
        return false;

    strcpy(out + headLength, tail);
    // When the dropped characters were narrower than "...", the whole text
    // shows more in less room.
    if (widthOf(measure, text) < widthOf(measure, out))
        return false;
    return true;
}
