// The install engine's pure decisions: shortcut names, records, the system
// directory, versions, progress, groups, the notification answer, the
// shortcut fix-up and protocol records, shortcut keywords, the wininit.ini
// line.
#include "filemanager/EngineRules.h"

#include <gtest/gtest.h>

#include <stddef.h>
#include <string.h>

#include <string>
#include <vector>

#include "explode/Explode.h"
#include "format/RecordNames.h"


namespace {

TEST(EnginePaths, Shortcuts) {
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

// A record as it lies in the volume: every byte different, the text fields
// terminated early with the volume's leftovers behind the terminator.
std::vector<unsigned char> rawRecord() {
    std::vector<unsigned char> raw(sizeof(tagCompressFileHeader));
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<unsigned char>(i * 7 + 1);
    raw[offsetof(tagCompressFileHeader, subDir) + 5] = 0;
    raw[offsetof(tagCompressFileHeader, fileName) + 9] = 0;
    return raw;
}

TEST(EngineRecords, ParsedRecordKeepsEveryByteOfTheVolume) {
    std::vector<unsigned char> raw = rawRecord();
    tagCompressFileHeader record;
    ASSERT_TRUE(parseRecord(raw.data(), &record));
    // The protocol file gets the record as the volume had it, leftovers
    // after the names included.
    EXPECT_EQ(0, memcmp(&record, raw.data(), raw.size()));
}

TEST(EngineRecords, UnterminatedTextsInTheVolumeAreDamage) {
    std::vector<unsigned char> raw = rawRecord();
    memset(raw.data() + offsetof(tagCompressFileHeader, fileName), 'x', PathSize);
    tagCompressFileHeader record;
    EXPECT_FALSE(parseRecord(raw.data(), &record));
    raw = rawRecord();
    memset(raw.data() + offsetof(tagCompressFileHeader, subDir), 'y', PathSize);
    EXPECT_FALSE(parseRecord(raw.data(), &record));
    // 259 characters and the terminator in the last byte are a whole name.
    raw = rawRecord();
    memset(raw.data() + offsetof(tagCompressFileHeader, fileName), 'x', PathSize - 1);
    raw[offsetof(tagCompressFileHeader, fileName) + PathSize - 1] = 0;
    ASSERT_TRUE(parseRecord(raw.data(), &record));
    EXPECT_EQ(259u, strlen(record.fileName));
}

// Names that climb out of the base folder or vanish into a device; the same
// rules setupvol packs and verifies by (format/RecordNames.h).
TEST(EngineRecords, NamesThatLeaveTheFolderOrNameADevice) {
    auto named = [](const char* subDir, const char* fileName) {
        tagCompressFileHeader r = blankRecord();
        strcpy(r.subDir, subDir);
        strcpy(r.fileName, fileName);
        return recordNamesSafe(r);
    };
    EXPECT_TRUE(named("", "readme.txt"));
    EXPECT_TRUE(named("bin\\tools", "a..b.txt"));  // dots inside a name are harmless
    EXPECT_TRUE(named("D:\\Tools", "app.exe"));     // targetDir 3: an absolute folder
    EXPECT_TRUE(named("\\\\server\\share", "app.exe"));
    EXPECT_TRUE(named("", ".profile"));
    EXPECT_TRUE(named("", "nul1"));
    EXPECT_TRUE(named("console", "com10.txt"));
    EXPECT_TRUE(named("", "lpt"));
    // Climbing out, with either separator, and the dots Windows strips.
    for (const char* name : {"..\\..\\..\\evil5.txt", "../evil.txt", "a\\..", ".", "..", "...",
                             ".. ", " .."})
        EXPECT_FALSE(named("", name)) << name;
    for (const char* dir : {"..\\..\\..\\windows", "a\\..\\..", "a/../..", ".", "C:\\..\\x"})
        EXPECT_FALSE(named(dir, "f05.txt")) << dir;
    // Devices, in any case, with extensions, trailing dots and blanks.
    for (const char* name : {"NUL", "con", "aux.txt", "nul.txt", "Prn.tar.gz", "COM1", "com9.log",
                             "LPT1", "lpt9", "NUL.", "con ", "aux .c", "nul:", "CONIN$", "conout$",
                             "COM\xB9", "lpt\xB2.txt"})
        EXPECT_FALSE(named("", name)) << name;
    for (const char* dir : {"COM1", "a\\nul\\b", "aux.d", "x/CON"})
        EXPECT_FALSE(named(dir, "d.txt")) << dir;
}

// Names compared as Windows looks them up: case folds for the Windows-1252
// letters too, but not for the division sign, and lengths must agree.
TEST(EngineRecords, NamesComparedWithoutCase) {
    auto same = [](const char* a, const char* b) { return sameName(a, strlen(a), b, strlen(b)); };
    EXPECT_TRUE(same("Program Files", "PROGRAM FILES"));
    EXPECT_TRUE(same("caf\xe9", "CAF\xc9"));          // é and É
    EXPECT_TRUE(same("\x9a\x9c\x9e\xff", "\x8a\x8c\x8e\x9f"));  // š œ ž ÿ
    EXPECT_FALSE(same("a\xf7", "A\xd7"));             // ÷ is not a letter
    EXPECT_FALSE(same("app", "app.exe"));
    EXPECT_FALSE(same("app1", "app2"));
    EXPECT_TRUE(same("", ""));
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

TEST(EngineSystemFiles, WhereASystemFileGoes) {
    // A newer copy stays, writable directory or not.
    EXPECT_EQ(SystemFilePlan::Skip, planSystemFile(CopyNewer, false));
    EXPECT_EQ(SystemFilePlan::Skip, planSystemFile(CopyNewer, true));
    EXPECT_EQ(SystemFilePlan::InPlace, planSystemFile(CopyAbsent, false));
    EXPECT_EQ(SystemFilePlan::InPlace, planSystemFile(CopyReplaceable, false));
    // Write-protected: to the Windows directory, asking only when an older
    // copy is left behind in the system directory.
    EXPECT_EQ(SystemFilePlan::Redirect, planSystemFile(CopyAbsent, true));
    EXPECT_EQ(SystemFilePlan::AskThenRedirect, planSystemFile(CopyReplaceable, true));
    // IsNewFile's numbers.
    EXPECT_EQ(SystemFilePlan::Skip, planSystemFile(static_cast<InstalledCopy>(-1), false));
    EXPECT_EQ(SystemFilePlan::AskThenRedirect, planSystemFile(static_cast<InstalledCopy>(1), true));
}

TEST(EngineSystemFiles, OnlyTheWindowsDirectoryComparesVersions) {
    EXPECT_TRUE(comparedWithWindowsCopy(TargetWindows));
    const int32_t others[] = {TargetSystem,  TargetDesktop,   TargetNone,     TargetInstall,
                              TargetStartup, TargetStartMenu, TargetPrograms, 8, -1};
    for (int32_t t : others)
        EXPECT_FALSE(comparedWithWindowsCopy(t)) << t;
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

    // Storing: only inside 1..3, and never without a list.
    EXPECT_EQ(1, setGroupState(list, 3, 0));
    EXPECT_EQ(0, groupState(list, 3));
    EXPECT_EQ(0, setGroupState(list, 4, 0));
    EXPECT_EQ(0, setGroupState(list, 0, 0));
    EXPECT_EQ(3, list[0]);  // the count is not a group
    EXPECT_EQ(-1, setGroupState(nullptr, 1, 0));
}

TEST(EngineGroups, AnswerToTheNoticeBeforeAFile) {
    EXPECT_EQ(FileDecision::Fail, decideAfterNotice(NoticeFail, 1));
    EXPECT_EQ(FileDecision::Break, decideAfterNotice(NoticeBreak, 1));
    EXPECT_EQ(FileDecision::Skip, decideAfterNotice(NoticeSkip, 1));
    EXPECT_EQ(FileDecision::Install, decideAfterNotice(NoticeInstall, 0));
    EXPECT_EQ(FileDecision::Install, decideAfterNotice(NoticeGoOn, 1));
    EXPECT_EQ(FileDecision::Skip, decideAfterNotice(NoticeGoOn, 0));  // disabled during the notice
    // Any other number a product answers acts as NoticeGoOn.
    EXPECT_EQ(FileDecision::Install, decideAfterNotice(static_cast<FileNoticeAnswer>(-5), 1));
    EXPECT_EQ(FileDecision::Skip, decideAfterNotice(static_cast<FileNoticeAnswer>(7), 0));
    // The names are the numbers products answer with.
    EXPECT_EQ(0, NoticeFail);
    EXPECT_EQ(1, NoticeBreak);
    EXPECT_EQ(3, NoticeSkip);
    EXPECT_EQ(4, NoticeInstall);
}

TEST(EngineAfterWriting, TheStreamMustEndWithTheFilesData) {
    EXPECT_TRUE(expandedWhole(ExplodeOk, 0, 0));
    EXPECT_FALSE(expandedWhole(ExplodeDataError, 0, 0));
    EXPECT_FALSE(expandedWhole(ExplodeTooShort, 0, 0));
    // The end code came early: the rest would be read as the next record.
    EXPECT_FALSE(expandedWhole(ExplodeOk, 1, 0));
    EXPECT_FALSE(expandedWhole(ExplodeOk, 0, 1));
}

TEST(EngineAfterWriting, BytesAfterTheEndCodeAreSkippedNotRefused) {
    EXPECT_EQ(ExpansionEnd::Complete, expansionEnd(ExplodeOk, 0, 0));
    // The end code came before the chunks ended: the file is whole, the rest
    // is skipped, in this volume or through the next ones.
    EXPECT_EQ(ExpansionEnd::SkipRest, expansionEnd(ExplodeOk, 1, 0));
    EXPECT_EQ(ExpansionEnd::SkipRest, expansionEnd(ExplodeOk, 0, 1));
    EXPECT_EQ(ExpansionEnd::SkipRest, expansionEnd(ExplodeOk, 70000, 1));
    // Data that ran short, or a stream that is no stream, stays damage,
    // whatever is left.
    EXPECT_EQ(ExpansionEnd::Damaged, expansionEnd(ExplodeDataError, 0, 0));
    EXPECT_EQ(ExpansionEnd::Damaged, expansionEnd(ExplodeDataError, 5, 1));
    EXPECT_EQ(ExpansionEnd::Damaged, expansionEnd(ExplodeTooShort, 0, 0));
    EXPECT_EQ(ExpansionEnd::Damaged, expansionEnd(ExplodeBadDictionary, 9, 0));
    EXPECT_EQ(ExpansionEnd::Damaged, expansionEnd(ExplodeBadLiteralMode, 0, 0));
}

TEST(EngineInUse, TemporaryFolderKeepsADriveRoot) {
    char folder[PathSize];
    ASSERT_TRUE(temporaryFolder(folder, "D:\\x.dll"));
    EXPECT_STREQ("D:\\", folder);  // "D:" would be the drive's current directory
    ASSERT_TRUE(temporaryFolder(folder, "D:\\Tools\\x.dll"));
    EXPECT_STREQ("D:\\Tools", folder);
    ASSERT_TRUE(temporaryFolder(folder, "C:\\A\\B\\"));
    EXPECT_STREQ("C:\\A\\B", folder);
    // Not a drive: cut as any folder.
    ASSERT_TRUE(temporaryFolder(folder, "ab\\x"));
    EXPECT_STREQ("ab", folder);
    ASSERT_TRUE(temporaryFolder(folder, "\\x.dll"));
    EXPECT_STREQ("", folder);

    strcpy(folder, "kept");
    EXPECT_FALSE(temporaryFolder(folder, "x.dll"));
    EXPECT_STREQ("kept", folder);
    // The root with its backslash needs four characters.
    char small[3] = "k";
    EXPECT_FALSE(temporaryFolder(small, "D:\\x", sizeof small));
    EXPECT_STREQ("k", small);
    char fits[4];
    EXPECT_TRUE(temporaryFolder(fits, "D:\\x", sizeof fits));
    EXPECT_STREQ("D:\\", fits);
}

TEST(EngineAfterWriting, ShortcutFixUpGoesToTheFileWritten) {
    EXPECT_EQ(ShortcutFixUp::None, shortcutFixUp("C:\\App\\app.exe", ""));
    EXPECT_EQ(ShortcutFixUp::None, shortcutFixUp("C:\\App\\app.exe", "C:\\App\\qrv1.TMP"));
    EXPECT_EQ(ShortcutFixUp::Target, shortcutFixUp("C:\\Menu\\App.LNK", ""));
    // The temporary file takes the shortcut's place at the next start.
    EXPECT_EQ(ShortcutFixUp::Temporary, shortcutFixUp("C:\\Menu\\App.lnk", "C:\\Menu\\qrv2.TMP"));
}

TEST(EngineAfterWriting, ProtocolRecords) {
    tagCompressFileHeader r = blankRecord();
    r.targetDir = TargetWindows;
    memset(r.fileName, 'z', sizeof r.fileName);
    memcpy(r.fileName, "app.dll", 8);
    tagCompressFileHeader out[2];
    memset(out, 0xAB, sizeof out);
    ASSERT_EQ(1u, protocolRecords(r, "", out));
    EXPECT_EQ(0, memcmp(&r, &out[0], sizeof r));

    ASSERT_EQ(2u, protocolRecords(r, "C:\\Windows\\qrv7.TMP", out));
    EXPECT_EQ(0, memcmp(&r, &out[0], sizeof r));
    EXPECT_STREQ("qrv7.TMP", out[1].fileName);
    EXPECT_EQ('z', out[1].fileName[9]);  // the rest of the field as it was
    EXPECT_EQ(0, memcmp(&r, &out[1], offsetof(tagCompressFileHeader, fileName)));
    EXPECT_STREQ("app.dll", r.fileName);  // the installed file's record is untouched
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
    // A damaged header's prefix length is longer than any path; plus one it
    // must not wrap round to the path's start.
    EXPECT_FALSE(splitShippedPath("C:\\SRC\\work\\x", 0xFFFFFFFFu, &p));
    EXPECT_FALSE(splitShippedPath("C:\\SRC\\work\\x", 0xFFFFFFFEu, &p));
    EXPECT_FALSE(splitShippedPath("C:\\SRC\\work", 11, &p));  // prefix as long as the path
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

TEST(EngineWininit, RenameLinePutsTheTemporaryFileInTheTargetsPlace) {
    char line[kRenameLineSize] = "untouched";
    ASSERT_TRUE(wininitRenameLine(line, "C:\\PROGRA~1\\APP\\X.DLL", "C:\\PROGRA~1\\APP\\QRV1A.TMP"));
    EXPECT_STREQ("C:\\PROGRA~1\\APP\\X.DLL=C:\\PROGRA~1\\APP\\QRV1A.TMP", line);
    // Two paths of 259 characters each fit the line's buffer.
    std::string longest(259, 'p');
    ASSERT_TRUE(wininitRenameLine(line, longest.c_str(), longest.c_str()));
    EXPECT_EQ(longest + "=" + longest, line);
    // A missing side would delete or create nothing sensible: refused.
    char kept[kRenameLineSize] = "kept";
    EXPECT_FALSE(wininitRenameLine(kept, "", "C:\\QRV1.TMP"));
    EXPECT_FALSE(wininitRenameLine(kept, "C:\\X.DLL", ""));
    // A smaller buffer: the line and its terminator exactly, and one short.
    char small[8] = "kept";
    EXPECT_FALSE(wininitRenameLine(small, "abcd", "ef", sizeof small - 1));
    EXPECT_STREQ("kept", small);
    EXPECT_TRUE(wininitRenameLine(small, "abcd", "ef", sizeof small));
    EXPECT_STREQ("abcd=ef", small);
    EXPECT_STREQ("kept", kept);
}

TEST(EngineWininit, LineTakenBackLeavesTheOthers) {
    char section[64];
    memcpy(section, "a=C:\\A\0NUL=C:\\X\0b=C:\\B\0\0", 24);
    ASSERT_TRUE(removeSectionLine(section, "NUL=C:\\X"));
    EXPECT_EQ(0, memcmp(section, "a=C:\\A\0b=C:\\B\0\0", 15));
    // The last line, then the only one.
    ASSERT_TRUE(removeSectionLine(section, "b=C:\\B"));
    EXPECT_EQ(0, memcmp(section, "a=C:\\A\0\0", 8));
    ASSERT_TRUE(removeSectionLine(section, "a=C:\\A"));
    EXPECT_EQ('\0', section[0]);
    EXPECT_FALSE(removeSectionLine(section, "a=C:\\A"));

    // Of two equal lines the later one goes (the one this run added); a line
    // that only starts like it stays.
    memcpy(section, "NUL=C:\\X\0NUL=C:\\XY\0NUL=C:\\X\0\0", 29);
    ASSERT_TRUE(removeSectionLine(section, "NUL=C:\\X"));
    EXPECT_EQ(0, memcmp(section, "NUL=C:\\X\0NUL=C:\\XY\0\0", 20));
    EXPECT_FALSE(removeSectionLine(section, "NUL=C:"));
    EXPECT_EQ(0, memcmp(section, "NUL=C:\\X\0NUL=C:\\XY\0\0", 20));
}

}  // namespace
