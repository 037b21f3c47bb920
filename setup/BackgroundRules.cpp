// The background window's arithmetic: gradient bands, the exit key and the
// exit button's place, a second wish to leave (see BackgroundRules.h).
#include "setup/BackgroundRules.h"

namespace {

const uint32_t kExitKey = 0x72;  // VK_F3

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
