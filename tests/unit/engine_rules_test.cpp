// The install engine's pure decisions: paths, records, versions, progress,
// groups, the notification answer, shortcut keywords, the wininit.ini line.
#include "filemanager/EngineRules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

using namespace engine;

namespace {

TEST(EnginePaths, BackslashOnlyWhenMissing) {
    char path[PathSize];
    ASSERT_TRUE(copyPath(path, "C:\\App"));
    ASSERT_TRUE(appendName(path, "bin"));
    ASSERT_TRUE(appendName(path, "app.exe"));
    EXPECT_STREQ("C:\\App\\bin\\app.exe", path);

    ASSERT_TRUE(copyPath(path, "C:\\App\\"));
    ASSERT_TRUE(appendName(path, "Install.log"));
    EXPECT_STREQ("C:\\App\\Install.log", path);

    ASSERT_TRUE(copyPath(path, "C:\\"));
    ASSERT_TRUE(appendName(path, "x"));
    EXPECT_STREQ("C:\\x", path);

    // An empty base gets no leading backslash: an absolute subDir stays absolute.
    path[0] = '\0';
    ASSERT_TRUE(appendName(path, "D:\\Tools"));
    EXPECT_STREQ("D:\\Tools", path);
}

TEST(EnginePaths, RefusesRatherThanCuts) {
    char path[PathSize];
    std::string base(250, 'a');
    ASSERT_TRUE(copyPath(path, base.c_str()));
    // 250 + "\" + 8 = 259 characters fit; one more does not.
    EXPECT_TRUE(appendName(path, "12345678"));
    EXPECT_EQ(259u, strlen(path));
    ASSERT_TRUE(copyPath(path, base.c_str()));
    EXPECT_FALSE(appendName(path, "123456789"));
    EXPECT_EQ(base, path);  // unchanged when refused
    EXPECT_FALSE(appendText(path, std::string(10, 'b').c_str()));
    EXPECT_TRUE(appendText(path, std::string(9, 'b').c_str()));
    EXPECT_FALSE(copyPath(path, std::string(260, 'c').c_str()));
    EXPECT_TRUE(copyPath(path, std::string(259, 'c').c_str()));
}

TEST(EnginePaths, NamesAndShortcuts) {
    EXPECT_STREQ("qrv1A.TMP", namePart("C:\\App\\qrv1A.TMP"));
    EXPECT_STREQ("plain", namePart("plain"));
    char path[PathSize] = "C:\\App\\bin\\app.exe";
    EXPECT_TRUE(cutAtLastBackslash(path));
    EXPECT_STREQ("C:\\App\\bin", path);
    char bare[PathSize] = "name";
    EXPECT_FALSE(cutAtLastBackslash(bare));

    EXPECT_TRUE(isShortcutPath("C:\\Menu\\readme.LNK"));
    EXPECT_TRUE(isShortcutPath("C:\\Menu\\a.b.lnk"));
    EXPECT_FALSE(isShortcutPath("C:\\Menu\\readme"));
    EXPECT_FALSE(isShortcutPath("C:\\Menu.lnk\\readme"));  // the dot is in a directory
    EXPECT_FALSE(isShortcutPath("C:\\Menu\\readme.lnk2"));
    EXPECT_FALSE(isShortcutPath("C:\\Menu\\readme.ln"));
}

tagCompressFileHeader blankRecord() {
    tagCompressFileHeader r;
    memset(&r, 0, sizeof r);
    return r;
}

TEST(EngineRecords, UnterminatedTextFieldsAreDamage) {
    tagCompressFileHeader r = blankRecord();
    EXPECT_TRUE(recordTextValid(r));
    memset(r.fileName, 'x', 259);
    EXPECT_TRUE(recordTextValid(r));  // 259 characters and the terminator
    memset(r.fileName, 'x', 260);
    EXPECT_FALSE(recordTextValid(r));
    r = blankRecord();
    memset(r.subDir, 'y', 260);
    EXPECT_FALSE(recordTextValid(r));
}

TEST(EngineRecords, TargetBaseKeywords) {
    EXPECT_EQ(TargetBase::Windows, targetBase(0).kind);
    EXPECT_EQ(TargetBase::System, targetBase(1).kind);
    EXPECT_EQ(TargetBase::Absolute, targetBase(3).kind);
    EXPECT_EQ(TargetBase::Install, targetBase(4).kind);
    const int special[][2] = {{2, 16}, {5, 7}, {6, 11}, {7, 2}};
    for (const auto& s : special) {
        EXPECT_EQ(TargetBase::Special, targetBase(s[0]).kind) << s[0];
        EXPECT_EQ(s[1], targetBase(s[0]).csidl) << s[0];
    }
    EXPECT_EQ(TargetBase::Invalid, targetBase(8).kind);
    EXPECT_EQ(TargetBase::Invalid, targetBase(-1).kind);
}

TEST(EngineRecords, TemporaryNameOverwritesOnlyTheStartOfFileName) {
    tagCompressFileHeader r = blankRecord();
    memset(r.fileName, 'z', sizeof r.fileName);
    memcpy(r.fileName, "averylongoriginalname.dll", 26);
    ASSERT_TRUE(stampTemporaryName(r, "C:\\Windows\\System\\qrv3F.TMP"));
    EXPECT_STREQ("qrv3F.TMP", r.fileName);
    // What followed the new terminator is the old name's rest.
    EXPECT_EQ(0, memcmp(r.fileName + 10, "riginalname.dll", 16));
    EXPECT_EQ('z', r.fileName[259]);
}

TEST(EngineVersions, ComparedPartByPartAsSignedNumbers) {
    const int32_t installed[4] = {4, 0, 0, 950};
    const int32_t same[4] = {4, 0, 0, 950};
    const int32_t newer[4] = {4, 0, 1, 0};
    const int32_t older[4] = {3, 99, 0, 0};
    EXPECT_TRUE(recordMayReplace(installed, same));
    EXPECT_TRUE(recordMayReplace(installed, newer));
    EXPECT_FALSE(recordMayReplace(installed, older));

    // Numbers, not text: 1.10 is newer than 1.9.99.99.
    const int32_t ninetynine[4] = {1, 9, 99, 99};
    const int32_t ten[4] = {1, 10, 0, 0};
    EXPECT_TRUE(recordMayReplace(ninetynine, ten));
    EXPECT_FALSE(recordMayReplace(ten, ninetynine));

    // Signed: a negative part is older than 0.
    const int32_t negative[4] = {1, -1, 0, 0};
    const int32_t zero[4] = {1, 0, 0, 0};
    EXPECT_TRUE(recordMayReplace(negative, zero));
    EXPECT_FALSE(recordMayReplace(zero, negative));
}

TEST(EngineProgress, Percentages) {
    EXPECT_EQ(33u, overallPercent(1, 3));
    EXPECT_EQ(66u, overallPercent(2, 3));
    EXPECT_EQ(100u, overallPercent(3, 3));
    // Beyond 42,949,672 files the 32-bit product would overflow.
    EXPECT_EQ(50u, overallPercent(50000000u, 100000000u));

    EXPECT_EQ(100u, filePercent(0, 0));  // an empty file is done
    EXPECT_EQ(0u, filePercent(0, 10));
    EXPECT_EQ(40u, filePercent(4096, 10240));
    // 100 MB files: written * 100 does not fit 32 bits.
    EXPECT_EQ(50u, filePercent(50u * 1024 * 1024, 100u * 1024 * 1024));
    EXPECT_EQ(100u, filePercent(5000, 10));  // size understated by the record
}

TEST(EngineGroups, ListedUnlistedAndNoList) {
    int list[] = {3, 1, 0, 1};
    EXPECT_EQ(1, groupState(list, 1));
    EXPECT_EQ(0, groupState(list, 2));
    EXPECT_EQ(1, groupState(list, 3));
    // Outside 1..3: never disabled, never read past the list.
    EXPECT_EQ(1, groupState(list, 4));
    EXPECT_EQ(1, groupState(list, 0));
    EXPECT_EQ(1, groupState(list, -7));
    EXPECT_EQ(1, groupState(nullptr, 2));
}

TEST(EngineGroups, AnswerToTheNoticeBeforeAFile) {
    EXPECT_EQ(FileDecision::Fail, decideAfterNotice(0, 1));
    EXPECT_EQ(FileDecision::Break, decideAfterNotice(1, 1));
    EXPECT_EQ(FileDecision::Skip, decideAfterNotice(3, 1));
    EXPECT_EQ(FileDecision::Install, decideAfterNotice(4, 0));
    EXPECT_EQ(FileDecision::Install, decideAfterNotice(2, 1));
    EXPECT_EQ(FileDecision::Skip, decideAfterNotice(2, 0));  // disabled during the notice
    EXPECT_EQ(FileDecision::Install, decideAfterNotice(-5, 1));
}

TEST(EngineKeywords, AnyCaseExactWord) {
    EXPECT_EQ(Keyword::Work, lookupKeyword("WORK", 4));
    EXPECT_EQ(Keyword::StartMenu, lookupKeyword("Start Menu", 10));
    EXPECT_EQ(Keyword::Programs, lookupKeyword("programs", 8));
    EXPECT_EQ(Keyword::System, lookupKeyword("SyStEm", 6));
    EXPECT_EQ(Keyword::Root, lookupKeyword("Root", 4));
    EXPECT_EQ(Keyword::Unknown, lookupKeyword("works", 5));
    EXPECT_EQ(Keyword::Unknown, lookupKeyword("wor", 3));
    EXPECT_EQ(Keyword::Unknown, lookupKeyword("", 0));
}

TEST(EngineKeywords, ShippedPathShape) {
    ShippedPath p;
    ASSERT_TRUE(splitShippedPath("C:\\SRC\\work\\bin\\app.exe", 2, &p));
    EXPECT_EQ(Keyword::Work, p.keyword);
    EXPECT_STREQ("\\bin\\app.exe", p.tail);

    ASSERT_TRUE(splitShippedPath("C:\\SRC\\work", 2, &p));
    EXPECT_EQ(Keyword::Work, p.keyword);
    EXPECT_STREQ("", p.tail);

    ASSERT_TRUE(splitShippedPath("C:\\SRC\\Start Menu\\Acme", 2, &p));
    EXPECT_EQ(Keyword::StartMenu, p.keyword);
    EXPECT_STREQ("\\Acme", p.tail);

    // The backslash at prefixLength is skipped: the search starts one later.
    ASSERT_TRUE(splitShippedPath("C:\\\\windows\\x", 2, &p));
    EXPECT_EQ(Keyword::Windows, p.keyword);

    ASSERT_TRUE(splitShippedPath("C:\\SRC\\elsewhere\\x", 2, &p));
    EXPECT_EQ(Keyword::Unknown, p.keyword);

    EXPECT_FALSE(splitShippedPath("", 2, &p));     // empty working directory
    EXPECT_FALSE(splitShippedPath("C:", 2, &p));   // shorter than prefix + 1
    EXPECT_FALSE(splitShippedPath("C:\\SRC", 2, &p));  // no backslash after the prefix
    // Longer prefix: D:\Build\Out is 12 characters.
    ASSERT_TRUE(splitShippedPath("D:\\Build\\Out\\x\\system\\drv.sys", 12, &p));
    EXPECT_EQ(Keyword::System, p.keyword);
    EXPECT_STREQ("\\drv.sys", p.tail);
}

TEST(EngineWininit, LineFollowsTheOldLines) {
    char section[64];
    memset(section, '#', sizeof section);
    // Two old lines as the profile call returns them: 15 characters counted.
    memcpy(section, "a=C:\\A\0b=C:\\BB\0\0", 17);
    ASSERT_TRUE(appendSectionLine(section, sizeof section, 15, "NUL=C:\\X~1.DLL"));
    EXPECT_EQ(0, memcmp(section, "a=C:\\A\0b=C:\\BB\0NUL=C:\\X~1.DLL\0\0", 31));

    char empty[32] = {};
    ASSERT_TRUE(appendSectionLine(empty, sizeof empty, 0, "NUL=C:\\Y"));
    EXPECT_EQ(0, memcmp(empty, "NUL=C:\\Y\0\0", 10));

    // Room for line + two terminators exactly, and one short.
    char tight[12];
    EXPECT_TRUE(appendSectionLine(tight, 12, 2, "NUL=C:\\Y"));
    EXPECT_FALSE(appendSectionLine(tight, 12, 3, "NUL=C:\\Y"));
}

}  // namespace
