// The generic helpers of common/ that no other test covers: the path size,
// stated twice under one guard (Setup.h for products, common/PathSize.h for
// portable code), and keyword comparison without case.
#include "common/AsciiCase.h"
#include "common/PathSize.h"

#include <gtest/gtest.h>

#include <string.h>

int pathSizeOfSetupHeader();  // support/SetupHeaderFacts.cpp

namespace {

TEST(CommonFacts, PathSizeAgreesWithSetupHeader) {
    EXPECT_EQ(pathSizeOfSetupHeader(), static_cast<int>(PathSize));
}

TEST(AsciiCase, KeywordsMatchInAnyCaseOnlyWholly) {
    struct Case {
        const char* text;
        size_t length;  // of text that is compared
        const char* word;
        bool equal;
    };
    const Case cases[] = {
        {"lnk", 3, "lnk", true},
        {"LnK", 3, "lnk", true},
        {"con", 3, "CON", true},          // either side may be the upper-case one
        {"CONX", 3, "CON", true},         // only `length` characters count
        {"CO", 2, "CON", false},          // shorter
        {"CONX", 4, "CON", false},        // longer
        {"", 0, "", true},
        {"\xE9t\xE9", 3, "\xC9T\xC9", false},  // Windows-1252 letters are not folded
        {"[", 1, "{", false},             // neighbours of the letters stay apart
        {"@", 1, "`", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.equal, equalsAsciiNoCase(c.text, c.length, c.word)) << c.text << " / " << c.word;
}

}  // namespace
