// The background window's arithmetic: gradient bands or the high-contrast
// fill, the exit key and the exit button's place, a second wish to leave,
// the Tab ring (see BackgroundRules.h).
#include "setup/BackgroundRules.h"

namespace {

const uint32_t kExitKey = 0x72;  // VK_F3
const uint32_t kTabKey = 0x09;   // VK_TAB
const uint32_t kEnterKey = 0x0D; // VK_RETURN
const uint32_t kSpaceKey = 0x20; // VK_SPACE
const uint32_t kAltHeld = 1u << 29;
const uint32_t kKeyRepeated = 1u << 30;
const uint32_t kKeyReleased = 1u << 31;

}  // namespace

GradientPlan planGradient(int height) {
    GradientPlan plan{0, 0, 0};
    if (height <= 0)
        return plan;
    plan.bands = (height + 1) / GradientBandPixels;
    if (plan.bands == 0)
        return plan;
    plan.step = 256 / plan.bands;
    plan.painted = (height + GradientBandPixels - 1) / GradientBandPixels;
    return plan;
}

uint8_t gradientBandBlue(const GradientPlan& plan, int index) {
    // Unsigned arithmetic: the level goes below zero on purpose and wraps.
    uint32_t level = 255u - static_cast<uint32_t>(index) * static_cast<uint32_t>(plan.step);
    return static_cast<uint8_t>(level & 0xFFu);
}

bool isExitKeyPress(uint32_t key, uint32_t keyFlags) {
    return (key & 0xFFFFu) == kExitKey && static_cast<int32_t>(keyFlags) > 0;
}

RingKey ringKey(uint32_t key, uint32_t keyFlags, bool shift, bool control) {
    if ((keyFlags & (kAltHeld | kKeyReleased)) || control)
        return RingKey::None;
    switch (key & 0xFFFFu) {
    case kTabKey: return shift ? RingKey::Previous : RingKey::Next;
    case kEnterKey:
    case kSpaceKey:
        // One press per stroke: a key held down does not ask twice.
        return shift || (keyFlags & kKeyRepeated) ? RingKey::None : RingKey::Press;
    default: return RingKey::None;
    }
}

ExitWish exitWishWhile(int guard, ExitAsker asker) {
    if (guard == NoExitQuestion)
        return ExitWish::Ask;
    if (asker == ExitAskedByCancel || guard == asker)
        return asker == ExitAskedByWindow ? ExitWish::Ignore : ExitWish::Beep;
    return ExitWish::Ignore;
}

ButtonPlace exitButtonPlace(int clientRight, int clientBottom, int width, int height) {
    return ButtonPlace{clientRight - 2 * width, clientBottom - 2 * height};
}

BackgroundPaint planBackground(int height, bool highContrast, uint32_t windowColour) {
    BackgroundPaint paint{planGradient(height), highContrast, windowColour, height, 0};
    // A plain fill has no bands to run out of: any visible height is filled.
    paint.bands = highContrast ? (height > 0 ? 1 : 0) : paint.gradient.painted;
    return paint;
}

BackgroundBand backgroundBand(const BackgroundPaint& paint, int index) {
    if (paint.plain)
        return BackgroundBand{0, paint.height, paint.plainColour & 0xFFFFFFu};
    int top = index * GradientBandPixels;
    // COLORREF: blue in the third byte.
    uint32_t blue = gradientBandBlue(paint.gradient, index);
    return BackgroundBand{top, top + GradientBandPixels, blue << 16};
}

FocusStop nextFocusStop(const FocusRing& ring, bool backwards) {
    // Inside the dialog, only its wrapping round leaves it.
    if (ring.focus == FocusStop::Dialog && !ring.atDialogEdge)
        return FocusStop::None;
    const FocusStop order[] = {FocusStop::Dialog, FocusStop::LanguageButton, FocusStop::ExitButton};
    const bool present[] = {ring.dialog, ring.languageButton, ring.exitButton};
    const int count = 3;
    int at = -1;
    for (int i = 0; i < count; ++i)
        if (order[i] == ring.focus)
            at = i;
    // From the background itself the ring starts at the dialog's place, so
    // Tab reaches the first button and Shift+Tab the last.
    if (at < 0)
        at = 0;
    for (int step = 1; step <= count; ++step) {
        int i = (at + (backwards ? count - step : step)) % count;
        if (!present[i])
            continue;
        // Round to where it started: nothing else to go to.
        if (order[i] == ring.focus)
            return FocusStop::None;
        // Off the background the dialog is no stop: it does not hold the
        // focus to give back, and Tab from the background starts at a button.
        if (order[i] == FocusStop::Dialog && ring.focus == FocusStop::None)
            continue;
        return order[i];
    }
    return FocusStop::None;
}
