// The wizard's decisions: which messages the product's page procedure sees,
// where a jump to a page leads, the page picture for a display, the
// picture's colour table, and the readme's path and command line. (The
// tables of replies and commands, and Back and Next at the ends of the
// queue, are seen at work in setup_wizard_test.)
#include "setup/WizardRules.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

TEST(WizardRules, ProductSeesMessagesOnlyAfterInitDialogAndWhileInTheQueue) {
    // Before WM_INITDIALOG, or with no object yet: the library alone.
    EXPECT_EQ(PageRoute::Library, routeMessage(false, false, 1, 3));
    EXPECT_EQ(PageRoute::Library, routeMessage(true, false, 1, 3));
    EXPECT_EQ(PageRoute::Library, routeMessage(false, true, 1, 3));
    EXPECT_EQ(PageRoute::Product, routeMessage(true, true, 1, 3));
    EXPECT_EQ(PageRoute::Product, routeMessage(true, true, 3, 3));
    // The wizard ended (0), went past the end, or the queue was released.
    EXPECT_EQ(PageRoute::Nobody, routeMessage(true, true, 0, 3));
    EXPECT_EQ(PageRoute::Nobody, routeMessage(true, true, 4, 3));
    EXPECT_EQ(PageRoute::Nobody, routeMessage(true, true, -1, 3));
    EXPECT_EQ(PageRoute::Nobody, routeMessage(true, true, 1, 0));
}

TEST(WizardRules, GoToPageEndsWithThePageSetOnlyInsideTheQueue) {
    for (int page = 1; page <= 3; ++page) {
        ReplyOutcome go = replyOutcome(PageReplyGoToPage, page, 3);
        EXPECT_TRUE(go.endsPage);
        EXPECT_EQ(page, go.endValue);
        EXPECT_TRUE(go.result);
    }
    // ChangeNextDlg(0) or a page beyond the queue ends the wizard with 0.
    for (int page : {0, 4, -2, INT_MAX}) {
        ReplyOutcome go = replyOutcome(PageReplyGoToPage, page, 3);
        EXPECT_TRUE(go.endsPage) << page;
        EXPECT_EQ(0, go.endValue) << page;
        EXPECT_TRUE(go.result) << page;
    }
}

TEST(WizardRules, PalettePictureOnlyAboveSixteenColours) {
    // True colour and high colour report -1: the basic picture.
    PictureChoice trueColour = pictureFor(-1);
    EXPECT_EQ(21115, trueColour.first);
    EXPECT_EQ(0, trueColour.fallback);
    for (int colours : {0, 2, 16, INT_MIN}) {
        EXPECT_EQ(21115, pictureFor(colours).first) << colours;
        EXPECT_EQ(0, pictureFor(colours).fallback) << colours;
    }
    for (int colours : {17, 20, 256, INT_MAX}) {
        EXPECT_EQ(21116, pictureFor(colours).first) << colours;
        EXPECT_EQ(21115, pictureFor(colours).fallback) << colours;
    }
}

TEST(WizardRules, ColourTableFromTheStatedColours) {
    EXPECT_EQ(2u, colourTableEntries(2, 8));
    EXPECT_EQ(16u, colourTableEntries(16, 4));
    EXPECT_EQ(256u, colourTableEntries(256, 8));
    // Only the low 16 bits count.
    EXPECT_EQ(5u, colourTableEntries(0x10005u, 8));
    // A palette bitmap stating none, or more than its bits index, has its full table.
    EXPECT_EQ(256u, colourTableEntries(0, 8));
    EXPECT_EQ(16u, colourTableEntries(0, 4));
    EXPECT_EQ(2u, colourTableEntries(0, 1));
    EXPECT_EQ(16u, colourTableEntries(17, 4));
    EXPECT_EQ(256u, colourTableEntries(0x10000u, 8));
    // Direct colour: the stated ones only.
    EXPECT_EQ(0u, colourTableEntries(0, 24));
    EXPECT_EQ(4u, colourTableEntries(4, 32));
}

TEST(WizardRules, ReadmePathAddsOneSeparator) {
    char path[PathSize];
    ASSERT_TRUE(readmePath(path, "C:\\Setup"));
    EXPECT_STREQ("C:\\Setup\\Readme.txt", path);
    // A drive root already ends in one.
    ASSERT_TRUE(readmePath(path, "C:\\"));
    EXPECT_STREQ("C:\\Readme.txt", path);
    ASSERT_TRUE(readmePath(path, "\\\\server\\share\\"));
    EXPECT_STREQ("\\\\server\\share\\Readme.txt", path);
}

TEST(WizardRules, ReadmePathThatDoesNotFitIsRefused) {
    char path[PathSize] = "untouched";
    EXPECT_FALSE(readmePath(path, ""));
    EXPECT_STREQ("untouched", path);
    // 259 characters in all is the longest path.
    std::string folder = "C:\\" + std::string(259 - 3 - 11, 'd');
    ASSERT_TRUE(readmePath(path, folder.c_str()));
    EXPECT_EQ(259u, std::string(path).size());
    folder += 'd';
    strcpy(path, "untouched");
    EXPECT_FALSE(readmePath(path, folder.c_str()));
    EXPECT_STREQ("untouched", path);
}

TEST(WizardRules, ReadmeCommandLineIsTheEditorAndThePathUnquoted) {
    char command[kReadmeCommandSize];
    ASSERT_TRUE(readmeCommand(command, "C:\\My Setup\\Readme.txt"));
    EXPECT_STREQ("NotePad.Exe C:\\My Setup\\Readme.txt", command);
    // The longest path fits the command buffer.
    std::string longest(PathSize - 1, 'p');
    ASSERT_TRUE(readmeCommand(command, longest.c_str()));
    EXPECT_EQ("NotePad.Exe " + longest, std::string(command));
    // A buffer too small is left alone.
    char small[16] = "untouched";
    EXPECT_FALSE(readmeCommand(small, "C:\\Readme.txt", sizeof small));
    EXPECT_STREQ("untouched", small);
    ASSERT_TRUE(readmeCommand(small, "ab", sizeof small));  // 12 + 2 + terminator
    EXPECT_STREQ("NotePad.Exe ab", small);
    EXPECT_FALSE(readmeCommand(small, "abcd", sizeof small));
}
