// Paths built in fixed buffers (PathSize characters unless a size is given),
// with one overflow policy for the whole library: a helper whose result would
// not fit returns false and leaves the buffer exactly as it was. Nothing is
// ever cut short, so a refused path can neither name another, existing file
// nor be opened half-built. Backslashes are added only where needed.
// Portable: no <windows.h>.
#ifndef SETUP_BASEINTERFACE_PATH_TEXT_H
#define SETUP_BASEINTERFACE_PATH_TEXT_H

#include <stddef.h>

#include "common/PathSize.h"

// path = text.
bool copyPath(char* path, const char* text, size_t size = PathSize);
// path += text, nothing in between.
bool appendText(char* path, const char* text, size_t size = PathSize);
// path += "\" (unless path is empty or already ends in one) + name. An empty
// path gets no backslash, so an absolute name stays absolute.
bool appendName(char* path, const char* name, size_t size = PathSize);
// out = folder, "\" unless the folder is empty or ends in one, name. `out`
// may be `folder` itself.
bool joinPath(char* out, const char* folder, const char* name, size_t size = PathSize);
// Text after the last backslash (the whole path when there is none).
const char* namePart(const char* path);
// Cuts `path` before its last backslash; false (path unchanged) when it has none.
bool cutAtLastBackslash(char* path);

#endif
