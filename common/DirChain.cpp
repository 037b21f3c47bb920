// Directory chain creation; see DirChain.h.
#include "common/DirChain.h"

#include <string.h>

int createDirectoryChain(const char* path, DirectoryActions& actions) {
    if (actions.create(path))
        return 1;
    // A network path begins with two backslashes and is refused with the
    // rest; the colon of a drive is allowed.
    if (strpbrk(path, "/*?\"<>|") || strstr(path, "\\\\"))
        return 0;
    size_t length = strlen(path);
    if (length > kDirPathLimit)
        return 0;
    char work[kDirPathLimit + 1];
    memcpy(work, path, length + 1);

    char* separator = strchr(work, '\\');
    if (!separator)
        return 0;
    for (;;) {
        char* next = strchr(separator + 1, '\\');
        if (next)
            *next = '\0';
        actions.create(work);  // may exist already
        if (!actions.enter(work))
            return 0;
        if (!next)
            return 1;
        *next = '\\';
        separator = next;
    }
}
