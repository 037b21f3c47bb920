// The language dialog's decisions; see LanguageRules.h.
#include "setup/LanguageRules.h"

#include <stdio.h>
#include <string.h>

#include "resources/resource.h"

namespace {

// Indexed by button number less IDL_US. The codes are the libraries' own
// names, not ISO codes ("ge" German, "hl" Dutch, "nr" Norwegian ...):
// products ship their language libraries under these names.
const char kCodes[][3] = {"us", "en", "fr", "ge", "hl", "sp", "it", "po", "sw", "nr", "fn"};
static_assert(sizeof kCodes / sizeof kCodes[0] == IDL_FINNISH - IDL_US + 1, "one code per flag");

}  // namespace

const char* languageCode(int buttonId) {
    if (buttonId < IDL_ENGLISH || buttonId > IDL_FINNISH)
        return nullptr;
    return kCodes[buttonId - IDL_US];
}

bool languageLibraryName(int buttonId, char* name, size_t size) {
    const char* code = languageCode(buttonId);
    if (!code || size == 0)
        return false;
    char formed[32];
    int length = snprintf(formed, sizeof formed, "Setup_%s.Dll", code);
    if (length < 0 || static_cast<size_t>(length) >= size)
        return false;
    memcpy(name, formed, static_cast<size_t>(length) + 1);
    return true;
}

ButtonPlace languageButtonPlace(int clientBottom, int width, int height) {
    return ButtonPlace{width / 2, clientBottom - 2 * height};
}

BevelColours bevelColours(bool pressed) {
    if (pressed)
        return BevelColours{BevelShadow, BevelHighlight};
    return BevelColours{BevelHighlight, BevelShadow};
}

BevelPath bevelPath(int left, int top, int right, int bottom) {
    BevelPath path;
    path.start = Point{left, bottom};
    path.upperLeft[0] = Point{left, top};
    path.upperLeft[1] = Point{right - 1, top};
    path.lowerRight[0] = Point{right - 1, bottom - 1};
    path.lowerRight[1] = Point{left, bottom - 1};
    return path;
}

PictureFrame pictureFrame(int left, int top, int right, int bottom) {
    return PictureFrame{left + 3, top + 3, right - 7, bottom - 7};
}

FocusFrame focusFrame(int left, int top, int right, int bottom) {
    // The bevel's pens, two pixels wide, cover the two outer pixels on each
    // side; the flag starts three in and ends four before the far edges.
    return FocusFrame{left + 2, top + 2, right - 2, bottom - 2};
}

bool showsFocusRectangle(unsigned itemState, bool uiHidesFocus) {
    return (itemState & ItemHasFocus) && !(itemState & ItemHidesFocus) && !uiHidesFocus;
}
