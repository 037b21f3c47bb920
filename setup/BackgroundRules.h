// The arithmetic of the background window, kept apart from its Win32 glue so
// that it is tested natively: the vertical gradient of 8-pixel blue bands,
// the F3 key-down test of the keyboard hook, where the exit button goes, and
// what a second wish to leave does while the exit question is open.
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

// The keyboard hook's decision: F3 (virtual key 0x72 in the low word of
// `key`) going down, auto-repeat included (`keyFlags` read as a signed
// 32-bit value is positive: the transition bit is clear), asks to exit.
bool isExitKeyPress(uint32_t key, uint32_t keyFlags);

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

#endif
