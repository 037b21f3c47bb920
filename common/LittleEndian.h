// Little-endian numbers read straight from a byte buffer, whatever the
// machine: one unaligned load, swapped only on a big-endian host. For the
// decoder's and the encoder's inner loops, where a byte-by-byte assembly
// costs. Portable: no <windows.h>.
#ifndef SETUP_COMMON_LITTLE_ENDIAN_H
#define SETUP_COMMON_LITTLE_ENDIAN_H

#include <stdint.h>
#include <string.h>

// T is uint32_t or uint64_t.
template <class T>
inline T loadLittleEndian(const unsigned char* p) {
    static_assert(sizeof(T) == 4 || sizeof(T) == 8, "32 or 64 bits");
    T v;
    memcpy(&v, p, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    if constexpr (sizeof(T) == 8)
        v = __builtin_bswap64(v);
    else
        v = __builtin_bswap32(v);
#endif
    return v;
}

#endif
