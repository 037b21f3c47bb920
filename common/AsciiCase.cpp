// Keyword comparison without case; see AsciiCase.h.
#include "common/AsciiCase.h"

#include <string.h>

namespace {

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool equalsAsciiNoCase(const char* text, size_t length, const char* word) {
    if (strlen(word) != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (upperAscii(text[i]) != upperAscii(word[i]))
            return false;
    return true;
}
