// The background window's arithmetic: the gradient's bands for the screen
// heights met in practice and every height up to 1300 against a plain
// re-run of the painting loop, the high-contrast fill, the F3 key-down test
// and the Tab ring's keys and stops, the exit button's place.
#include "setup/BackgroundRules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct HeightCase {
    int height;
    int bands;
    int step;
    int painted;
    int firstBlue;
    int lastBlue;
};

const HeightCase kScreens[] = {
    {480, 60, 4, 60, 255, 19},   {600, 75, 3, 75, 255, 33},     {768, 96, 2, 96, 255, 65},
    {1024, 128, 2, 128, 255, 1}, {1025, 128, 2, 129, 255, 255}, {1200, 150, 1, 150, 255, 106},
};

TEST(Gradient, ScreenHeights) {
    for (const HeightCase& c : kScreens) {
        GradientPlan plan = planGradient(c.height);
        EXPECT_EQ(c.bands, plan.bands) << c.height;
        EXPECT_EQ(c.step, plan.step) << c.height;
        EXPECT_EQ(c.painted, plan.painted) << c.height;
        EXPECT_EQ(c.firstBlue, gradientBandBlue(plan, 0)) << c.height;
        EXPECT_EQ(c.lastBlue, gradientBandBlue(plan, plan.painted - 1)) << c.height;
    }
}

TEST(Gradient, ExtraBandOf1025WrapsToFullBlue) {
    GradientPlan plan = planGradient(1025);
    // The band before the extra one is the darkest; the extra one wraps.
    EXPECT_EQ(1, gradientBandBlue(plan, 127));
    EXPECT_EQ(255, gradientBandBlue(plan, 128));
}

TEST(Gradient, NoWholeBandPaintsNothing) {
    for (int h : {-8, -1, 0, 1, 6}) {
        GradientPlan plan = planGradient(h);
        EXPECT_EQ(0, plan.bands) << h;
        EXPECT_EQ(0, plan.painted) << h;
    }
    // Seven pixels already make one band (of 256 steps) and paint it.
    GradientPlan seven = planGradient(7);
    EXPECT_EQ(1, seven.bands);
    EXPECT_EQ(256, seven.step);
    EXPECT_EQ(1, seven.painted);
    EXPECT_EQ(255, gradientBandBlue(seven, 0));
}

// The painting loop as a window procedure runs it, with a signed level.
std::vector<int> paintedBlues(int height) {
    std::vector<int> blues;
    int bands = (height + 1) / 8;
    if (bands == 0)
        return blues;
    int step = 256 / bands;
    int level = 255;
    for (int y = 0; y < height; y += 8) {
        blues.push_back(((level % 256) + 256) % 256);
        level -= step;
    }
    return blues;
}

TEST(Gradient, EveryHeightMatchesThePaintingLoop) {
    for (int h = 0; h <= 1300; ++h) {
        std::vector<int> expected = paintedBlues(h);
        GradientPlan plan = planGradient(h);
        ASSERT_EQ(static_cast<int>(expected.size()), plan.painted) << h;
        for (int i = 0; i < plan.painted; ++i)
            ASSERT_EQ(expected[i], gradientBandBlue(plan, i)) << "height " << h << " band " << i;
    }
}

TEST(ExitKey, F3DownAndRepeatAskRelease) {
    const uint32_t f3 = 0x72;
    EXPECT_TRUE(isExitKeyPress(f3, 0x003D0001u));          // first press
    EXPECT_TRUE(isExitKeyPress(f3, 0x403D0001u));          // auto-repeat: previous state set
    EXPECT_FALSE(isExitKeyPress(f3, 0xC03D0001u));         // release: transition bit set
    EXPECT_FALSE(isExitKeyPress(f3, 0x803D0001u));
    EXPECT_FALSE(isExitKeyPress(f3, 0));                   // not "greater than 0"
    EXPECT_TRUE(isExitKeyPress(0xABCD0000u | f3, 1));      // only the low word is the key
    EXPECT_FALSE(isExitKeyPress(0x71, 0x003D0001u));       // F2
    EXPECT_FALSE(isExitKeyPress(0x73, 0x003D0001u));       // F4
    EXPECT_FALSE(isExitKeyPress(0x00720000u, 0x003D0001u)); // F3's code in the high word only
}

TEST(ExitButton, OneButtonFromTheCorner) {
    ButtonPlace p = exitButtonPlace(1024, 768, 60, 23);
    EXPECT_EQ(1024 - 120, p.x);
    EXPECT_EQ(768 - 46, p.y);
    // The button's own right and bottom edges lie one button inside the corner.
    EXPECT_EQ(1024 - 60, p.x + 60);
    EXPECT_EQ(768 - 23, p.y + 23);
}

// One question at a time, whoever asks; a second press of the button that
// asked beeps, and the progress dialog's Cancel beeps at any open question.
TEST(ExitQuestion, OneQuestionAtATime) {
    const ExitAsker askers[] = {ExitAskedByWindow, ExitAskedByButton, ExitAskedByCancel};
    for (ExitAsker asker : askers)
        EXPECT_EQ(ExitWish::Ask, exitWishWhile(NoExitQuestion, asker)) << asker;
    EXPECT_EQ(ExitWish::Ignore, exitWishWhile(ExitAskedByWindow, ExitAskedByWindow));  // F3 held down
    EXPECT_EQ(ExitWish::Ignore, exitWishWhile(ExitAskedByWindow, ExitAskedByButton));
    EXPECT_EQ(ExitWish::Ignore, exitWishWhile(ExitAskedByCancel, ExitAskedByButton));
    EXPECT_EQ(ExitWish::Ignore, exitWishWhile(ExitAskedByCancel, ExitAskedByWindow));
    EXPECT_EQ(ExitWish::Beep, exitWishWhile(ExitAskedByButton, ExitAskedByButton));
    EXPECT_EQ(ExitWish::Beep, exitWishWhile(ExitAskedByWindow, ExitAskedByCancel));
    EXPECT_EQ(ExitWish::Beep, exitWishWhile(ExitAskedByCancel, ExitAskedByCancel));
}

// High contrast: one band of the window colour over any height, even one
// too low for a gradient band; off, the gradient's bands as COLORREFs.
TEST(Background, HighContrastFillsWithTheWindowColour) {
    for (int h : {1, 6, 1025}) {
        BackgroundBand b = backgroundBand(planBackground(h, true, 0xC0FFEEu), 0);
        EXPECT_TRUE(planBackground(h, true, 0).bands == 1 && b.top == 0 && b.bottom == h && b.colour == 0xC0FFEEu);
    }
    BackgroundPaint blue = planBackground(1025, false, 0xFFFFFFu);
    BackgroundBand last = backgroundBand(blue, 128);
    EXPECT_TRUE(blue.bands == 129 && last.top == 1024 && last.bottom == 1032 && last.colour == 0xFF0000u);
    EXPECT_EQ(0x010000u, backgroundBand(blue, 127).colour);
}

TEST(FocusRing, KeysAndStops) {
    const uint32_t down = 0x000F0001u, repeat = 0x400F0001u, up = 0xC00F0001u, alt = 0x200F0001u;
    EXPECT_EQ(RingKey::Next, ringKey(0x09, repeat, false, false));
    EXPECT_EQ(RingKey::Previous, ringKey(0x09, down, true, false));
    EXPECT_TRUE(ringKey(0x0D, down, false, false) == RingKey::Press && ringKey(0x20, down, false, false) == RingKey::Press);
    // Released, Alt+Tab, Ctrl+Tab, Enter held down, Shift+Enter, a letter: no.
    for (RingKey k : {ringKey(0x09, up, false, false), ringKey(0x09, alt, false, false), ringKey(0x09, down, false, true),
                      ringKey(0x0D, repeat, false, false), ringKey(0x0D, down, true, false), ringKey(0x41, down, false, false)})
        EXPECT_EQ(RingKey::None, k);

    using S = FocusStop;
    // Dialog, language button, exit button there; the focus; at the
    // dialog's edge: where Tab and Shift+Tab go.
    const struct {
        FocusRing ring;
        S next, previous;
    } cases[] = {
        {{false, true, true, S::None, false}, S::LanguageButton, S::ExitButton},  // on the background
        {{true, false, false, S::Dialog, true}, S::None, S::None},                // no buttons
        {{true, true, true, S::Dialog, false}, S::None, S::None},                 // inside a page
        {{true, true, true, S::Dialog, true}, S::LanguageButton, S::ExitButton},  // at its edge
        {{true, true, true, S::ExitButton, false}, S::Dialog, S::LanguageButton},
        {{false, true, true, S::ExitButton, false}, S::LanguageButton, S::LanguageButton},
        {{false, false, true, S::ExitButton, false}, S::None, S::None},           // alone
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.next, nextFocusStop(c.ring, false)) << &c - cases;
        EXPECT_EQ(c.previous, nextFocusStop(c.ring, true)) << &c - cases;
    }
}

}  // namespace
