// Module-wide state of Setup.Dll shared between its subsystems, and the
// one rule for the size its pictures are drawn at.
#ifndef SETUP_MODULE_H
#define SETUP_MODULE_H

#include <windows.h>

// This library's own instance, stored when the library is loaded.
extern HINSTANCE g_libraryInstance;

// The screen the library's and the product's pictures are drawn for: one dot
// of a picture, one pixel.
const int kDesignDpi = 96;

// `length` pixels of a picture on the screen of `dc`: the dialogs grow with
// the screen's dots per inch, and so do the pictures drawn into them.
inline int scaledToScreen(HDC dc, int length) {
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    return MulDiv(length, dpi > 0 ? dpi : kDesignDpi, kDesignDpi);
}

#endif
