// An earlier installation's Install.log under a new run: which files are
// carried over, which may go, and what is one file across versions.
#include "filemanager/UpgradeRules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "format/VolumeFormat.h"

namespace {

tagCompressFileHeader recordOf(int32_t targetDir, const char* subDir, const char* name) {
    tagCompressFileHeader r = {};
    r.targetDir = targetDir;
    strcpy(r.subDir, subDir);
    strcpy(r.fileName, name);
    return r;
}

std::vector<unsigned char> logOf(const std::vector<tagCompressFileHeader>& records) {
    std::vector<unsigned char> log(records.size() * FileRecordSize);
    for (size_t i = 0; i < records.size(); ++i)
        serializeFileRecord(records[i], &log[i * FileRecordSize]);
    return log;
}

TEST(UpgradeRules, OneFileAcrossVersionsWhateverItsSpelling) {
    struct Case {
        tagCompressFileHeader a, b;
        bool same;
    } cases[] = {
        {recordOf(4, "Help", "Index.txt"), recordOf(4, "HELP\\", "index.TXT"), true},
        {recordOf(4, "Help\\en", "a.txt"), recordOf(4, "\\Help//en\\\\", "a.txt"), true},
        {recordOf(4, "", "a.txt"), recordOf(4, "\\", "A.TXT"), true},
        {recordOf(4, "Help", "a.txt"), recordOf(0, "Help", "a.txt"), false},
        {recordOf(4, "Help", "a.txt"), recordOf(4, "", "Help.a.txt"), false},
        {recordOf(4, "He", "lpa.txt"), recordOf(4, "Help", "a.txt"), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.same, installedFileKey(c.a) == installedFileKey(c.b))
            << installedFileKey(c.a) << " / " << installedFileKey(c.b);
}

TEST(UpgradeRules, EachEarlierFileHasItsFate) {
    tagCompressFileHeader inUse = recordOf(4, "", "busy.dll");
    tagCompressFileHeader inUseTemporary = inUse;
    strcpy(inUseTemporary.fileName, "qrv1A.tmp");
    tagCompressFileHeader again = recordOf(4, "Help", "old.txt");
    again.expandedSize = 9;
    std::vector<tagCompressFileHeader> earlier = {
        recordOf(4, "", "app.exe"),           // 0 written again
        recordOf(4, "Help", "old.txt"),       // 1 listed twice: its latest (6) counts
        recordOf(4, "opt", "extra.dat"),      // 2 shipped, not written (a disabled group)
        recordOf(0, "", "shared.dll"),        // 3 not shipped, but shared
        recordOf(6, "Product", "Help.lnk"),   // 4 not shipped, a shortcut
        inUse, inUseTemporary,                // 5, 6 waits for its exchange
        again,                                // 7
        recordOf(3, "D:\\Tools", "tool.exe"), // 8 outside the folder
    };
    std::unordered_set<std::string> written = {installedFileKey(earlier[0])};
    std::unordered_set<std::string> shipped = {installedFileKey(earlier[0]), installedFileKey(earlier[2])};
    std::vector<unsigned char> log = logOf(earlier);
    UpgradePlan plan = planUpgrade(log.data(), log.size(), written, shipped);
    ASSERT_TRUE(plan.valid);
    EXPECT_TRUE(plan.sameProduct);
    struct Expected {
        size_t first, count;
        EarlierFate fate;
    } expected[] = {
        {0, 1, EarlierFate::Rewritten},   {2, 1, EarlierFate::CarriedOver},
        {3, 1, EarlierFate::CarriedOver}, {4, 1, EarlierFate::CarriedOver},
        {5, 2, EarlierFate::CarriedOver}, {7, 1, EarlierFate::Candidate},
        {8, 1, EarlierFate::CarriedOver},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], plan.files.size());
    for (size_t i = 0; i < plan.files.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].first, plan.files[i].first);
        EXPECT_EQ(expected[i].count, plan.files[i].count);
        EXPECT_EQ(expected[i].fate, plan.files[i].fate);
    }
}

// Only a log that shares a file of the installation folder with the new set
// is an earlier version's; sharing a shared file or a shortcut is not enough.
TEST(UpgradeRules, AnotherProductsLogIsLeftAlone) {
    std::vector<unsigned char> log =
        logOf({recordOf(4, "", "readme.txt"), recordOf(0, "", "common.dll"), recordOf(6, "Suite", "Go.lnk")});
    std::unordered_set<std::string> shipped = {installedFileKey(recordOf(0, "", "common.dll")),
                                               installedFileKey(recordOf(6, "Suite", "Go.lnk")),
                                               installedFileKey(recordOf(4, "", "readme.txt2"))};
    UpgradePlan plan = planUpgrade(log.data(), log.size(), shipped, shipped);
    EXPECT_TRUE(plan.valid);
    EXPECT_FALSE(plan.sameProduct);
    EXPECT_TRUE(plan.files.empty());
}

TEST(UpgradeRules, ALogTheEngineCouldNotHaveWrittenIsNotUsed) {
    std::vector<unsigned char> sound = logOf({recordOf(4, "", "a.txt"), recordOf(4, "Help", "b.txt")});
    std::vector<std::vector<unsigned char>> damaged(4, sound);
    damaged[0].pop_back();                               // cut short
    damaged[1] = logOf({recordOf(4, "..", "a.txt")});    // climbs out
    damaged[2] = logOf({recordOf(9, "", "a.txt")});      // unknown folder
    memset(&damaged[3][FileRecordSize + 304], 'x', 260); // unterminated name
    for (const std::vector<unsigned char>& log : damaged)
        EXPECT_FALSE(planUpgrade(log.data(), log.size(), {}, {}).valid);
    UpgradePlan empty = planUpgrade(nullptr, 0, {}, {});
    EXPECT_TRUE(empty.valid);
    EXPECT_FALSE(empty.sameProduct);
}

TEST(UpgradeRules, AFileIsUnchangedWhileItsSizeAndTimeAreTheRecords) {
    tagCompressFileHeader r = recordOf(4, "", "a.txt");
    r.expandedSize = 5000;
    r.lastWriteTime.dwLowDateTime = 0x89abcdefu;
    r.lastWriteTime.dwHighDateTime = 0x01d2u;
    const uint64_t time = 0x01d289abcdefull;
    EXPECT_TRUE(unchangedSince(r, 5000, time));
    EXPECT_FALSE(unchangedSince(r, 5001, time));
    EXPECT_FALSE(unchangedSince(r, 5000 + (1ull << 32), time));
    EXPECT_FALSE(unchangedSince(r, 5000, time + 1));
    EXPECT_FALSE(unchangedSince(r, 5000, time ^ (1ull << 40)));
}

}  // namespace
