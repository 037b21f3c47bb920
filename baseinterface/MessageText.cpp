// Formatting of a message text with one inserted string.
#include "baseinterface/MessageText.h"

#include <string.h>

namespace {

// Walks the text once, calling emit(piece, length) for every piece of output.
template <typename Emit>
void walk(const char* text, const char* insert, Emit emit) {
    bool inserted = false;
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == 's' && !inserted) {
            emit(insert, strlen(insert));
            inserted = true;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            emit(p, 1);
            ++p;
        } else {
            emit(p, 1);
        }
    }
}

}  // namespace

size_t formattedMessageSize(const char* text, const char* insert) {
    size_t n = 1;
    walk(text, insert, [&](const char*, size_t len) { n += len; });
    return n;
}

void formatMessage(char* out, size_t size, const char* text, const char* insert) {
    if (size == 0)
        return;
    size_t used = 0;
    walk(text, insert, [&](const char* piece, size_t len) {
        size_t room = size - 1 - used;
        if (len > room)
            len = room;
        memcpy(out + used, piece, len);
        used += len;
    });
    out[used] = '\0';
}
