// The size of every path buffer, for portable code and the ownership layer
// that need it without the rest of Setup.h (which brings <windows.h> in a
// Windows build). Setup.h states the same enum under the same guard, since a
// product's SDK holds Setup.h alone; whichever comes first defines it, and
// tests/unit/path_size_test.cpp checks that the two agree. Portable: no
// <windows.h>.
#ifndef SETUP_COMMON_PATH_SIZE_H
#define SETUP_COMMON_PATH_SIZE_H

#ifndef SETUP_PATH_LIMIT_DEFINED
#define SETUP_PATH_LIMIT_DEFINED
enum PathLimit { PathSize = 260 };
#endif

#endif
