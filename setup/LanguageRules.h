// The language dialog's decisions, kept apart from its Win32 glue so that
// they are tested natively: which language library a button names, where
// the "Choose language" button goes, and how a flag button is drawn (the
// picture's frame, the two-pixel bevel that makes it look raised or
// pressed, and the focus rectangle between the two). Portable: no
// <windows.h>.
#ifndef SETUP_LANGUAGE_RULES_H
#define SETUP_LANGUAGE_RULES_H

#include <stddef.h>

#include "setup/BackgroundRules.h"

// The two-letter code of language button `buttonId` (11401 to 11410), null
// for any other number. The table also holds "us" for 11400, the flag
// without a button, which is never chosen and so never named here.
const char* languageCode(int buttonId);

// Writes "Setup_<code>.Dll" for button `buttonId` into `name` (`size`
// characters with the terminator). False, `name` untouched, when the
// number is no language button or the name does not fit.
bool languageLibraryName(int buttonId, char* name, size_t size);

// Top-left corner of the "Choose language" button of `width` by `height`
// pixels: half its own width from the screen's left edge, one height
// above the bottom of a client area whose bottom edge is given (the same
// height as the exit button in the opposite corner).
ButtonPlace languageButtonPlace(int clientBottom, int width, int height);

// System colour numbers (COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT), named here
// so that the portable code needs no Windows header.
enum BevelColour { BevelShadow = 16, BevelHighlight = 20 };

// The two colours of a flag button's bevel: `upperLeft` for the left and top
// edges, `lowerRight` for the right and bottom ones. Light from the upper
// left makes a raised button; a pressed one swaps them.
struct BevelColours {
    BevelColour upperLeft;
    BevelColour lowerRight;
};
BevelColours bevelColours(bool pressed);

struct Point {
    int x;
    int y;
};

// The bevel as two pen strokes of two lines each, drawn one after the
// other: from `start` through `upperLeft` (left edge, then top edge), then
// on through `lowerRight` (right edge, then bottom edge). The item
// rectangle's right and bottom are outside the button, hence the -1s.
struct BevelPath {
    Point start;
    Point upperLeft[2];
    Point lowerRight[2];
};
BevelPath bevelPath(int left, int top, int right, int bottom);

// Where the flag goes inside the item rectangle: three pixels in from the
// upper left, its size taken from the right and bottom edges less seven,
// which leaves room for the bevel on every side of a rectangle that starts
// at 0, 0 (as a button's own item rectangle does).
struct PictureFrame {
    int x;
    int y;
    int width;
    int height;
};
PictureFrame pictureFrame(int left, int top, int right, int bottom);

// The focus rectangle of a flag button (left, top, right and bottom, the
// last two outside it as in a RECT): in the one-pixel gap between the bevel
// and the flag, where its dots show against the button face rather than
// being lost in the colours of a flag.
struct FocusFrame {
    int left;
    int top;
    int right;
    int bottom;
};
FocusFrame focusFrame(int left, int top, int right, int bottom);

// Item state bits of a drawn control (ODS_FOCUS, ODS_NOFOCUSRECT), named
// here so that the portable code needs no Windows header.
enum ItemStateBit : unsigned { ItemHasFocus = 0x0010, ItemHidesFocus = 0x0200 };

// Whether a flag button shows its focus rectangle: it has the focus and
// the window's keyboard cues are not hidden. Windows hides them in a
// dialog opened with the mouse until a key is used (WM_UPDATEUISTATE); it
// says so in the item state, and `uiHidesFocus` is the control's own
// answer to WM_QUERYUISTATE, for systems that leave the item state alone.
bool showsFocusRectangle(unsigned itemState, bool uiHidesFocus);
#endif
