// Candidate paths of the volume search (the joiner behind them is tested
// with the other path helpers).
#include "reader/VolumeSearch.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

TEST(VolumeCandidates, CurrentFolderThenSiblingDisk) {
    char out[260];
    ASSERT_TRUE(currentFolderCandidate(out, sizeof out, "D:\\Disk1", 2));
    EXPECT_STREQ("D:\\Disk1\\Data2.Dat", out);
    ASSERT_TRUE(siblingDiskCandidate(out, sizeof out, "D:\\Disk1", 2));
    EXPECT_STREQ("D:\\Disk2\\Data2.Dat", out);
    ASSERT_TRUE(siblingDiskCandidate(out, sizeof out, "E:\\Setup\\Disk1", 12));
    EXPECT_STREQ("E:\\Setup\\Disk12\\Data12.Dat", out);
}

TEST(VolumeCandidates, FromADriveRoot) {
    char out[260];
    ASSERT_TRUE(currentFolderCandidate(out, sizeof out, "D:\\", 2));
    EXPECT_STREQ("D:\\Data2.Dat", out);
    ASSERT_TRUE(siblingDiskCandidate(out, sizeof out, "D:\\", 2));
    EXPECT_STREQ("D:\\Disk2\\Data2.Dat", out);
}

TEST(VolumeCandidates, DeepFoldersAreRefusedNotCut) {
    char out[260];
    std::string deep = "C:\\" + std::string(250, 'd');
    strcpy(out, "C:\\Old\\Data1.Dat");  // an earlier candidate
    EXPECT_FALSE(currentFolderCandidate(out, sizeof out, deep.c_str(), 1));
    EXPECT_STREQ("", out);
    // The parent is short, the sibling path fits.
    std::string parentShort = "C:\\p\\" + std::string(250, 'd');
    ASSERT_TRUE(siblingDiskCandidate(out, sizeof out, parentShort.c_str(), 1));
    EXPECT_STREQ("C:\\p\\Disk1\\Data1.Dat", out);
    std::string parentDeep = "C:\\" + std::string(245, 'p') + "\\x";
    EXPECT_FALSE(siblingDiskCandidate(out, sizeof out, parentDeep.c_str(), 1));
    EXPECT_STREQ("", out);
}

TEST(VolumeCandidates, VolumeFileNames) {
    char name[kVolumeNameSize];
    volumeFileName(name, sizeof name, 1);
    EXPECT_STREQ("Data1.Dat", name);
    volumeFileName(name, sizeof name, 2147483647);
    EXPECT_STREQ("Data2147483647.Dat", name);
}

}  // namespace
