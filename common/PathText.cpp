// Paths in fixed buffers, one overflow policy; see PathText.h.
#include "common/PathText.h"

#include <string.h>

bool copyPath(char* path, const char* text, size_t size) {
    size_t n = strlen(text);
    if (n >= size)
        return false;
    memmove(path, text, n + 1);
    return true;
}

bool appendText(char* path, const char* text, size_t size) {
    size_t have = strlen(path);
    size_t add = strlen(text);
    if (have >= size || add >= size - have)
        return false;
    memcpy(path + have, text, add + 1);
    return true;
}

bool joinPath(char* out, const char* folder, const char* name, size_t size) {
    size_t have = strlen(folder);
    bool separator = have > 0 && folder[have - 1] != '\\';
    size_t add = strlen(name);
    size_t total = have + (separator ? 1 : 0) + add;
    if (total >= size)
        return false;
    // `out` may be `folder`: move, then append.
    memmove(out, folder, have);
    if (separator)
        out[have++] = '\\';
    memcpy(out + have, name, add);
    out[total] = '\0';
    return true;
}

bool appendName(char* path, const char* name, size_t size) { return joinPath(path, path, name, size); }

const char* namePart(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

bool cutAtLastBackslash(char* path) {
    char* slash = strrchr(path, '\\');
    if (!slash)
        return false;
    *slash = '\0';
    return true;
}
