// The fuzz targets' check of a promise: a broken one aborts with the
// condition and its line, so that libFuzzer keeps the input as a finding
// that names what went wrong.
#ifndef SETUP_TESTS_FUZZ_REQUIRE_H
#define SETUP_TESTS_FUZZ_REQUIRE_H

#include <stdio.h>
#include <stdlib.h>

#define REQUIRE(condition)                                                        \
    do {                                                                          \
        if (!(condition)) {                                                       \
            fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                              \
        }                                                                         \
    } while (0)

#endif
