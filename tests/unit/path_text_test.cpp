// Paths in fixed buffers: backslashes only where needed, and the one
// overflow policy (refuse, leave the buffer as it was) that the engine and
// the volume search share.
#include "common/PathText.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

TEST(PathText, BackslashOnlyWhenMissing) {
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

    char out[PathSize];
    ASSERT_TRUE(joinPath(out, "D:\\Disk1", "Data1.Dat"));
    EXPECT_STREQ("D:\\Disk1\\Data1.Dat", out);
    ASSERT_TRUE(joinPath(out, "D:\\", "Data1.Dat"));
    EXPECT_STREQ("D:\\Data1.Dat", out);
}

TEST(PathText, RefusesRatherThanCutsAndLeavesThePathAsItWas) {
    char path[PathSize];
    std::string base(250, 'a');
    ASSERT_TRUE(copyPath(path, base.c_str()));
    // 250 + "\" + 8 = 259 characters fit; one more does not.
    EXPECT_TRUE(appendName(path, "12345678"));
    EXPECT_EQ(259u, strlen(path));
    ASSERT_TRUE(copyPath(path, base.c_str()));
    EXPECT_FALSE(appendName(path, "123456789"));
    EXPECT_EQ(base, path);
    EXPECT_FALSE(appendText(path, std::string(10, 'b').c_str()));
    EXPECT_EQ(base, path);
    EXPECT_TRUE(appendText(path, std::string(9, 'b').c_str()));
    EXPECT_FALSE(copyPath(path, std::string(260, 'c').c_str()));
    EXPECT_EQ(base + std::string(9, 'b'), path);
    EXPECT_TRUE(copyPath(path, std::string(259, 'c').c_str()));
}

TEST(PathText, JoinRefusesWhatWouldNotFitAndLeavesTheOutputAlone) {
    char out[PathSize];
    std::string folder = "C:\\" + std::string(245, 'f');  // 248 characters
    // 248 + 1 + 10 = 259 characters: the longest that fits with the terminator.
    ASSERT_TRUE(joinPath(out, folder.c_str(), "Data1.Dat1"));
    EXPECT_EQ(259u, std::string(out).size());
    strcpy(out, "before");
    EXPECT_FALSE(joinPath(out, folder.c_str(), "Data1.Dat12"));
    EXPECT_STREQ("before", out);
}

TEST(PathText, SmallerBuffersKeepTheSamePolicy) {
    char small[8] = "C:";
    EXPECT_TRUE(appendName(small, "abcd", sizeof small));  // 7 characters
    EXPECT_STREQ("C:\\abcd", small);
    EXPECT_FALSE(appendName(small, "e", sizeof small));
    EXPECT_FALSE(appendText(small, "e", sizeof small));
    EXPECT_STREQ("C:\\abcd", small);
    EXPECT_FALSE(copyPath(small, "12345678", sizeof small));
    EXPECT_STREQ("C:\\abcd", small);
    // A path already as long as the given size takes nothing, not even "".
    char over[8] = "abcd";
    EXPECT_FALSE(appendText(over, "", 4));
    EXPECT_STREQ("abcd", over);
}

TEST(PathText, MayJoinInPlace) {
    char buf[PathSize] = "C:\\Setup";
    ASSERT_TRUE(joinPath(buf, buf, "Data3.Dat"));
    EXPECT_STREQ("C:\\Setup\\Data3.Dat", buf);
}

TEST(PathText, NamePartAndCut) {
    EXPECT_STREQ("qrv1A.TMP", namePart("C:\\App\\qrv1A.TMP"));
    EXPECT_STREQ("plain", namePart("plain"));
    EXPECT_STREQ("", namePart("C:\\App\\"));
    char path[PathSize] = "C:\\App\\bin\\app.exe";
    EXPECT_TRUE(cutAtLastBackslash(path));
    EXPECT_STREQ("C:\\App\\bin", path);
    char bare[PathSize] = "name";
    EXPECT_FALSE(cutAtLastBackslash(bare));
    EXPECT_STREQ("name", bare);
}

}  // namespace
