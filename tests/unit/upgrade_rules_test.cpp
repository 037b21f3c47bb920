// An earlier installation's Install.log under a new run: which files are
// carried over, which may go, and what is one file across versions.
#include "filemanager/UpgradeRules.h"

#include <gtest/gtest.h>

#include <string.h>

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

std::string keyOf(int32_t targetDir, const char* subDir, const char* name) {
    return installedFileKey(recordOf(targetDir, subDir, name));
}

TEST(UpgradeRules, OneFileAcrossVersionsWhateverItsSpelling) {
    EXPECT_EQ(keyOf(4, "Help", "Index.txt"), keyOf(4, "HELP\\", "index.TXT"));
    EXPECT_EQ(keyOf(4, "Help\\en", "a.txt"), keyOf(4, "\\Help//en\\\\", "a.txt"));
    EXPECT_EQ(keyOf(4, "", "a.txt"), keyOf(4, "\\", "A.TXT"));
    EXPECT_NE(keyOf(4, "Help", "a.txt"), keyOf(0, "Help", "a.txt"));
    EXPECT_NE(keyOf(4, "Help", "a.txt"), keyOf(4, "", "Help.a.txt"));
    EXPECT_NE(keyOf(4, "He", "lpa.txt"), keyOf(4, "Help", "a.txt"));
}

TEST(UpgradeRules, EachEarlierFileHasItsFate) {
    tagCompressFileHeader inUse = recordOf(4, "", "busy.dll"), temporary = inUse;
    strcpy(temporary.fileName, "qrv1A.tmp");
    std::vector<tagCompressFileHeader> earlier = {
        recordOf(4, "", "app.exe"),           // 0 written again
        recordOf(4, "Help", "old.txt"),       // 1 listed again at 7: the latest counts
        recordOf(4, "opt", "extra.dat"),      // 2 shipped, not written (a disabled group)
        recordOf(0, "", "shared.dll"),        // 3 not shipped, but shared
        recordOf(6, "Product", "Help.lnk"),   // 4 not shipped, a shortcut
        inUse, temporary,                     // 5, 6 waits for its exchange
        recordOf(4, "Help", "old.txt"),       // 7
        recordOf(3, "D:\\Tools", "tool.exe"), // 8 outside the folder
    };
    std::unordered_set<std::string> written = {keyOf(4, "", "app.exe")};
    std::unordered_set<std::string> shipped = {keyOf(4, "", "app.exe"), keyOf(4, "opt", "extra.dat")};
    std::vector<unsigned char> log = logOf(earlier);
    UpgradePlan plan = planUpgrade(log.data(), log.size(), written, shipped);
    ASSERT_TRUE(plan.valid && plan.sameProduct);
    const EarlierFate R = EarlierFate::Rewritten, C = EarlierFate::CarriedOver, X = EarlierFate::Candidate;
    struct Expected {
        size_t first, count;
        EarlierFate fate;
    } expected[] = {{0, 1, R}, {2, 1, C}, {3, 1, C}, {4, 1, C}, {5, 2, C}, {7, 1, X}, {8, 1, C}};
    ASSERT_EQ(sizeof expected / sizeof expected[0], plan.files.size());
    for (size_t i = 0; i < plan.files.size(); ++i)
        EXPECT_TRUE(expected[i].first == plan.files[i].first && expected[i].count == plan.files[i].count &&
                    expected[i].fate == plan.files[i].fate) << i;

    // Another product's log shares no file of the installation folder with
    // the set (a shared file or a shortcut is not enough): nothing is touched.
    shipped = {keyOf(0, "", "shared.dll"), keyOf(6, "Product", "Help.lnk"), keyOf(4, "", "app.exe2")};
    plan = planUpgrade(log.data(), log.size(), shipped, shipped);
    EXPECT_TRUE(plan.valid && !plan.sameProduct && plan.files.empty());
}

TEST(UpgradeRules, ALogTheEngineCouldNotHaveWrittenIsNotUsed) {
    std::vector<unsigned char> cut = logOf({recordOf(4, "", "a.txt")});
    cut.pop_back();
    std::vector<unsigned char> climbs = logOf({recordOf(4, "", "a.txt"), recordOf(4, "..", "a.txt")});
    std::unordered_set<std::string> shipped = {keyOf(4, "", "a.txt")};
    EXPECT_FALSE(planUpgrade(cut.data(), cut.size(), shipped, shipped).valid);
    EXPECT_FALSE(planUpgrade(climbs.data(), climbs.size(), shipped, shipped).valid);
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
