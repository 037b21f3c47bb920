// The arithmetic of the background window, kept apart from its Win32 glue so
// that it is tested natively: the vertical gradient of 8-pixel blue bands
// (or one plain fill in high-contrast mode), the F3 key-down test of the
// keyboard hook, where the exit button goes, what a second wish to leave
// does while the exit question is open, and where Tab moves the focus
// between the open dialog and the corner buttons.
#ifndef SETUP_BACKGROUND_RULES_H
#define SETUP_BACKGROUND_RULES_H

#include <stdint.h>

// Height of one gradient band in pixels.
enum GradientBandHeight { GradientBandPixels = 8 };

// How a client area `height` pixels high is painted.
struct GradientPlan {
    int bands;    // whole bands in height + 1 pixels: the divisor of the step
    int step;     // blue lost from one band to the next
    int painted;  // bands drawn, the last one may reach past the bottom
};

// A height below 7 pixels holds no whole band and is not painted (painted 0).
GradientPlan planGradient(int height);

// Blue of band `index` (0 at the top): 255 less `index` steps, kept to its
// low eight bits, so a band past the 256th level wraps to bright blue again.
uint8_t gradientBandBlue(const GradientPlan& plan, int index);

// What the background paints, one rectangle per band from `top` to `bottom`
// (client coordinates) in `colour` (a COLORREF, 0x00BBGGRR). The blue
// gradient, or in high-contrast mode one band of the user's window colour
// over the whole client area: the user chose those colours to see by, and a
// gradient would draw the corner buttons over a background they did not ask
// for.
struct BackgroundPaint {
    GradientPlan gradient;  // unused when `plain`
    bool plain;
    uint32_t plainColour;
    int height;
    int bands;              // rectangles to fill
};
BackgroundPaint planBackground(int height, bool highContrast, uint32_t windowColour);

struct BackgroundBand {
    int top;
    int bottom;
    uint32_t colour;
};
BackgroundBand backgroundBand(const BackgroundPaint& paint, int index);

// The keyboard hook's decision: F3 (virtual key 0x72 in the low word of
// `key`) going down, auto-repeat included (`keyFlags` read as a signed
// 32-bit value is positive: the transition bit is clear), asks to exit.
bool isExitKeyPress(uint32_t key, uint32_t keyFlags);

// What the keyboard hook does with a key for the Tab ring: Tab going down
// moves on (with Shift, back); Enter or Space going down, not repeated,
// presses the floating button that has the focus. No dialog manager serves those
// buttons, so Enter would do nothing; and the button's own Space holds the
// mouse capture while it notifies, under which Wine gives a dialog opened
// by the press no focus. Alt+Tab (the context bit, 29, of `keyFlags`) is the system's, Ctrl+Tab
// turns a property sheet's pages: both are left alone.
enum class RingKey { None, Next, Previous, Press };
RingKey ringKey(uint32_t key, uint32_t keyFlags, bool shift, bool control);

// Who asks the exit question. exitQuestionGuard holds the asker while the
// question is open, so there is one question at a time, whoever asks: the
// background window (F3) and a wizard page's Cancel hold 1, as products
// may expect; 0 is no question.
enum ExitAsker : int {
    NoExitQuestion = 0,
    ExitAskedByWindow = 1,  // F3, or a wizard page's Cancel
    ExitAskedByButton = 2,  // the floating exit button
    ExitAskedByCancel = 3   // the progress dialog's Cancel
};

enum class ExitWish {
    Ask,    // no question is open: ask it
    Ignore, // another asker's question is open, which answers for this one too
    Beep    // pressed again while its own question waits for its answer
};

// What `asker` does when the guard holds `guard`. The progress dialog's
// Cancel beeps at any open question: it was pressed during a run.
ExitWish exitWishWhile(int guard, ExitAsker asker);

struct ButtonPlace {
    int x;
    int y;
};

// Top-left corner of the exit button of `width` by `height` pixels: one
// button width from the right edge and one height above the bottom edge of
// a client area whose right and bottom edges are given.
ButtonPlace exitButtonPlace(int clientRight, int clientBottom, int width, int height);

// The stops of the keyboard's Tab ring while the background is up: the
// open dialog (a wizard page, the progress dialog, a message box or the
// language dialog), then the "Choose language" button in the lower left
// corner, then the exit button in the lower right one, in reading order.
// The floating buttons are windows of their own, which the dialog manager
// of a page never visits.
enum class FocusStop { None, Dialog, LanguageButton, ExitButton };

// Which stops are there and where the focus is. `atDialogEdge`: the focus
// is in the dialog on its last tab stop (Tab) or first one (Shift+Tab), so
// that the dialog's own manager would wrap round.
struct FocusRing {
    bool dialog;
    bool languageButton;
    bool exitButton;
    FocusStop focus;  // None: on the background itself, or elsewhere
    bool atDialogEdge;
};

// Where Tab (Shift+Tab when `backwards`) takes the focus: None when the
// key is left to whoever has the focus (inside a dialog, or no floating
// button to go to). Entering the dialog lands on its first tab stop, or
// its last one going backwards.
FocusStop nextFocusStop(const FocusRing& ring, bool backwards);
#endif
