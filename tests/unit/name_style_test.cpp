// Component capitalisation, with the character classes of plain ASCII and
// of Latin-1 letters as the system's code page 1252 has them.
#include "common/NameStyle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Code page 1252: A-Z, a-z, and the accented letters C0-DE / DF-FE.
bool isLower(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 0xDF && u != 0xF7);
}
bool isUpper(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7);
}
void toUpper(char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (isLower(s[i]) && static_cast<unsigned char>(s[i]) != 0xDF && static_cast<unsigned char>(s[i]) != 0xFF)
            s[i] = static_cast<char>(s[i] - 32);
}
void toLower(char* s, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (isUpper(s[i]))
            s[i] = static_cast<char>(s[i] + 32);
}

const CharacterClasses kClasses = {isLower, isUpper, toUpper, toLower};

std::string styled(std::string path) {
    styleNameComponents(&path[0], kClasses);
    return path;
}

TEST(NameStyle, OnlyTheFirstLetterOfEachComponent) {
    EXPECT_EQ("C:\\Program files\\Myapp", styled("C:\\PROGRAM FILES\\MYAPP"));
    EXPECT_EQ("C:\\Windows", styled("c:\\windows"));
}

TEST(NameStyle, MixedComponentsStay) {
    EXPECT_EQ("C:\\My Documents", styled("C:\\My Documents"));
    EXPECT_EQ("C:\\Windows\\McAfee", styled("C:\\WINDOWS\\McAfee"));
}

TEST(NameStyle, CharactersBeforeTheFirstLetterStay) {
    EXPECT_EQ("1Stapp", styled("1STAPP"));
    EXPECT_EQ("C:\\1995\\_Tmp", styled("C:\\1995\\_TMP"));
    // Small letters after the leading characters: the first letter still
    // becomes a capital, not the character in front of it.
    EXPECT_EQ("_Tmp", styled("_tmp"));
    EXPECT_EQ("1Stapp", styled("1stapp"));
    EXPECT_EQ("C:\\~~Temp", styled("C:\\~~temp"));
}

TEST(NameStyle, LeadingAndDoubledBackslashesStay) {
    EXPECT_EQ("\\\\Server\\Share", styled("\\\\SERVER\\SHARE"));
    EXPECT_EQ("C:\\\\Dir\\", styled("C:\\\\DIR\\"));
    EXPECT_EQ("\\\\\\", styled("\\\\\\"));
    EXPECT_EQ("", styled(""));
}

TEST(NameStyle, LettersOfTheCodePage) {
    EXPECT_EQ("\xC9t\xE9", styled("\xC9T\xC9"));  // ÉTÉ gives Été
    EXPECT_EQ("\xC9t\xE9", styled("\xE9t\xE9"));  // été gives Été
}

}  // namespace
