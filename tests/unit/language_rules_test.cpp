// The language dialog's decisions: the code and library name of every
// button and the refusal of every other number, names that do not fit,
// the button's place, and the bevel's colours and strokes for both states.
#include "setup/LanguageRules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "resources/resource.h"

namespace {

struct Language {
    int button;
    const char* library;
};

// The names products ship their language libraries under.
const Language kLanguages[] = {
    {IDL_ENGLISH, "Setup_en.Dll"},   {IDL_FRENCH, "Setup_fr.Dll"},  {IDL_GERMAN, "Setup_ge.Dll"},
    {IDL_DUTCH, "Setup_hl.Dll"},     {IDL_SPANISH, "Setup_sp.Dll"}, {IDL_ITALIAN, "Setup_it.Dll"},
    {IDL_PORTUGUESE, "Setup_po.Dll"}, {IDL_SWEDISH, "Setup_sw.Dll"}, {IDL_NORWEGIAN, "Setup_nr.Dll"},
    {IDL_FINNISH, "Setup_fn.Dll"},
};

TEST(LanguageTable, EveryButtonNamesItsLibrary) {
    for (const Language& l : kLanguages) {
        char name[64];
        ASSERT_TRUE(languageLibraryName(l.button, name, sizeof name)) << l.button;
        EXPECT_STREQ(l.library, name) << l.button;
        ASSERT_NE(nullptr, languageCode(l.button));
        EXPECT_EQ(std::string(l.library).substr(6, 2), languageCode(l.button)) << l.button;
    }
}

TEST(LanguageTable, OtherNumbersNameNothing) {
    // 11400 is the flag of the default language: it has a code but no
    // button, and is never loaded. Cancel (2), the rule (11411) and
    // whatever else reaches the dialog's command handler name nothing.
    for (int id : {IDL_US, IDL_US - 1, IDC_LANGUAGE_RULE, 0, 1, 2, -IDL_FRENCH, 0x10000 + IDL_FRENCH}) {
        EXPECT_EQ(nullptr, languageCode(id)) << id;
        char name[64] = "untouched";
        EXPECT_FALSE(languageLibraryName(id, name, sizeof name)) << id;
        EXPECT_STREQ("untouched", name) << id;
    }
}

TEST(LanguageTable, NameThatDoesNotFitIsRefusedWhole) {
    // "Setup_fr.Dll" is 12 characters: 13 with the terminator.
    char name[16];
    memset(name, 'x', sizeof name);
    name[15] = '\0';
    EXPECT_FALSE(languageLibraryName(IDL_FRENCH, name, 12));
    EXPECT_STREQ("xxxxxxxxxxxxxxx", name);
    EXPECT_FALSE(languageLibraryName(IDL_FRENCH, name, 0));
    EXPECT_TRUE(languageLibraryName(IDL_FRENCH, name, 13));
    EXPECT_STREQ("Setup_fr.Dll", name);
}

TEST(LanguageButton, PlacedHalfItsWidthInAndOneHeightUp) {
    // 86 x 14 dialog units are 129 x 23 pixels at 8-point MS Sans Serif.
    ButtonPlace p = languageButtonPlace(768, 129, 23);
    EXPECT_EQ(64, p.x);  // halved toward zero
    EXPECT_EQ(768 - 46, p.y);
    p = languageButtonPlace(600, 130, 24);
    EXPECT_EQ(65, p.x);
    EXPECT_EQ(552, p.y);
    // A client area lower than two buttons puts it above the window's top.
    p = languageButtonPlace(30, 10, 20);
    EXPECT_EQ(-10, p.y);
}

TEST(FlagButton, BevelColoursOfBothStates) {
    BevelColours raised = bevelColours(false);
    EXPECT_EQ(BevelHighlight, raised.upperLeft);
    EXPECT_EQ(BevelShadow, raised.lowerRight);
    BevelColours pressed = bevelColours(true);
    EXPECT_EQ(BevelShadow, pressed.upperLeft);
    EXPECT_EQ(BevelHighlight, pressed.lowerRight);
    // The system's numbers for the button shadow and highlight colours.
    EXPECT_EQ(16, BevelShadow);
    EXPECT_EQ(20, BevelHighlight);
}

TEST(FlagButton, BevelStrokesRunRoundTheButton) {
    // A 63 x 45 button's item rectangle, and one that does not start at 0.
    BevelPath p = bevelPath(0, 0, 63, 45);
    EXPECT_EQ(0, p.start.x);
    EXPECT_EQ(45, p.start.y);
    EXPECT_EQ(0, p.upperLeft[0].x);
    EXPECT_EQ(0, p.upperLeft[0].y);
    EXPECT_EQ(62, p.upperLeft[1].x);
    EXPECT_EQ(0, p.upperLeft[1].y);
    EXPECT_EQ(62, p.lowerRight[0].x);
    EXPECT_EQ(44, p.lowerRight[0].y);
    EXPECT_EQ(0, p.lowerRight[1].x);
    EXPECT_EQ(44, p.lowerRight[1].y);

    BevelPath q = bevelPath(5, 7, 20, 30);
    // Each stroke starts where the one before it ended: left edge, top edge,
    // right edge, bottom edge back to the left edge.
    EXPECT_EQ(q.start.x, q.upperLeft[0].x);
    EXPECT_EQ(q.upperLeft[0].y, q.upperLeft[1].y);
    EXPECT_EQ(q.upperLeft[1].x, q.lowerRight[0].x);
    EXPECT_EQ(q.lowerRight[0].y, q.lowerRight[1].y);
    EXPECT_EQ(5, q.lowerRight[1].x);
    EXPECT_EQ(7, q.upperLeft[0].y);
    EXPECT_EQ(19, q.upperLeft[1].x);
    EXPECT_EQ(29, q.lowerRight[1].y);
}

TEST(FlagButton, PictureFrameInsideTheBevel) {
    PictureFrame f = pictureFrame(0, 0, 63, 45);
    EXPECT_EQ(3, f.x);
    EXPECT_EQ(3, f.y);
    EXPECT_EQ(56, f.width);
    EXPECT_EQ(38, f.height);
    // Three pixels in on the left and top, four on the right and bottom,
    // clear of the two-pixel bevel on every side.
    EXPECT_EQ(63 - 4, f.x + f.width);
    EXPECT_EQ(45 - 4, f.y + f.height);
    // The size comes from the right and bottom edges alone.
    PictureFrame g = pictureFrame(10, 20, 63, 45);
    EXPECT_EQ(13, g.x);
    EXPECT_EQ(23, g.y);
    EXPECT_EQ(56, g.width);
    EXPECT_EQ(38, g.height);
}

// The focus rectangle's dots (on its rectangle's inner edge) fall in the
// gap between the bevel's two pixels and the flag, on every side; they are
// drawn only for the focus, with the keyboard's cues shown.
TEST(FlagButton, FocusRectangle) {
    FocusFrame f = focusFrame(10, 20, 73, 65);
    PictureFrame p = pictureFrame(10, 20, 73, 65);
    EXPECT_TRUE(f.left == p.x - 1 && f.top == p.y - 1) << f.left << " " << f.top;
    EXPECT_TRUE(f.right - 1 == 73 - 3 && f.bottom - 1 == 65 - 3) << f.right << " " << f.bottom;
    EXPECT_TRUE(showsFocusRectangle(ItemHasFocus | 0x0001u, false));  // selected too
    EXPECT_FALSE(showsFocusRectangle(0, false));
    EXPECT_FALSE(showsFocusRectangle(ItemHasFocus | ItemHidesFocus, false));
    EXPECT_FALSE(showsFocusRectangle(ItemHasFocus, true));
}

}  // namespace
