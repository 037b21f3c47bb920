// The one rule for the size of what the library draws or places in pixels:
// drawn for a 96-DPI screen, one dot of a picture to one pixel, and grown
// with the screen's dots per inch as the dialogs laid out in dialog units
// grow. Header-only; Win32 builds only.
#ifndef SETUP_BASEINTERFACE_SCREEN_SCALE_H
#define SETUP_BASEINTERFACE_SCREEN_SCALE_H

#include <windows.h>

// The screen the pictures and pixel positions are given for.
const int kDesignDpi = 96;

// `length` pixels of the 96-DPI design on the screen of `dc`.
inline int scaledToScreen(HDC dc, int length) {
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    return MulDiv(length, dpi > 0 ? dpi : kDesignDpi, kDesignDpi);
}

#endif
