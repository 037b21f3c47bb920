// Directory chain creation over a model file system that records every call.
#include "common/DirChain.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// Paths are absolute (C:\...) or relative to C:\Work. A directory can be
// created when its parent exists and it does not; anything with a character
// the real file system refuses cannot be created.
class ModelDisk : public DirectoryActions {
public:
    std::set<std::string> dirs = {"C:\\", "C:\\Work"};
    std::vector<std::string> created;
    std::vector<std::string> calls;

    static std::string normal(std::string p) {
        if (p.size() < 2 || p[1] != ':')
            p = "C:\\Work\\" + p;
        while (p.size() > 3 && p.back() == '\\')
            p.pop_back();
        return p;
    }
    static std::string parent(const std::string& p) {
        size_t cut = p.rfind('\\');
        return cut == 2 ? p.substr(0, 3) : p.substr(0, cut);
    }
    bool create(const char* path) override {
        calls.push_back(std::string("create ") + path);
        std::string p = normal(path);
        if (p.find_first_of("|*?\"<>/") != std::string::npos || p.find("\\\\") != std::string::npos ||
            p.size() <= 3 || dirs.count(p) || !dirs.count(parent(p)))
            return false;
        dirs.insert(p);
        created.push_back(p);
        return true;
    }
    bool enter(const char* path) override {
        calls.push_back(std::string("enter ") + path);
        return dirs.count(normal(path)) > 0;
    }
};

TEST(DirChain, CreatesEachMissingLevelInOrder) {
    ModelDisk disk;
    EXPECT_EQ(1, createDirectoryChain("C:\\A\\B\\C", disk));
    EXPECT_EQ((std::vector<std::string>{"C:\\A", "C:\\A\\B", "C:\\A\\B\\C"}), disk.created);
    EXPECT_EQ((std::vector<std::string>{"create C:\\A\\B\\C", "create C:\\A", "enter C:\\A",
                                        "create C:\\A\\B", "enter C:\\A\\B", "create C:\\A\\B\\C",
                                        "enter C:\\A\\B\\C"}),
              disk.calls);
}

TEST(DirChain, TrailingBackslash) {
    ModelDisk disk;
    EXPECT_EQ(1, createDirectoryChain("C:\\A\\B\\", disk));
    EXPECT_EQ((std::vector<std::string>{"C:\\A", "C:\\A\\B"}), disk.created);
}

TEST(DirChain, ExistingDirectoryAndDriveRoot) {
    ModelDisk disk;
    EXPECT_EQ(1, createDirectoryChain("C:\\Work", disk));
    EXPECT_EQ(1, createDirectoryChain("C:\\", disk));
    EXPECT_EQ(0, createDirectoryChain("C:", disk));
    EXPECT_TRUE(disk.created.empty());
}

TEST(DirChain, OneCreatedDirectoryIsEnoughWhenTheFirstTrySucceeds) {
    ModelDisk disk;
    EXPECT_EQ(1, createDirectoryChain("C:\\New", disk));
    EXPECT_EQ((std::vector<std::string>{"create C:\\New"}), disk.calls);
}

TEST(DirChain, RefusedCharactersCreateNothing) {
    for (const char* bad : {"C:\\A|B\\C", "C:\\A\\B*", "C:\\A\\?", "C:\\A\"B\\C", "C:\\A<B\\C",
                            "C:\\A>\\B", "C:/A/B", "C:\\A\\\\B", "\\\\Server\\Share\\Dir"}) {
        ModelDisk disk;
        EXPECT_EQ(0, createDirectoryChain(bad, disk)) << bad;
        EXPECT_TRUE(disk.created.empty()) << bad;
        EXPECT_EQ(1u, disk.calls.size()) << bad;
    }
}

TEST(DirChain, PartBeforeTheFirstBackslashIsNeverCreated) {
    ModelDisk disk;
    EXPECT_EQ(0, createDirectoryChain("A\\B", disk));
    EXPECT_TRUE(disk.created.empty());
}

TEST(DirChain, RelativePathUnderAnExistingFirstComponent) {
    ModelDisk disk;
    disk.dirs.insert("C:\\Work\\A");
    EXPECT_EQ(1, createDirectoryChain("A\\B\\C", disk));
    EXPECT_EQ((std::vector<std::string>{"C:\\Work\\A\\B", "C:\\Work\\A\\B\\C"}), disk.created);
}

TEST(DirChain, StopsAtALevelThatCannotBeEntered) {
    struct NoEntry : ModelDisk {
        bool enter(const char* path) override {
            calls.push_back(std::string("enter ") + path);
            return normal(path) != "C:\\Locked" && dirs.count(normal(path)) > 0;
        }
    } noEntry;
    noEntry.dirs.insert("C:\\Locked");
    EXPECT_EQ(0, createDirectoryChain("C:\\Locked\\In\\Deep", noEntry));
    EXPECT_TRUE(noEntry.created.empty());
    EXPECT_EQ("enter C:\\Locked", noEntry.calls.back());
}

// A path of exactly `length` characters: "level" components under C: and a
// last component that makes up the rest.
std::string pathOfLength(size_t length) {
    std::string path = "C:";
    while (path.size() + 7 < length)
        path += "\\level";
    path += "\\" + std::string(length - path.size() - 1, 'x');
    return path;
}

TEST(DirChain, LongestPathIsCreatedAndOneCharacterMoreIsRefused) {
    ASSERT_EQ(kDirPathLimit, 259u);
    {
        ModelDisk disk;
        std::string longest = pathOfLength(kDirPathLimit);
        ASSERT_EQ(259u, longest.size());
        EXPECT_EQ(1, createDirectoryChain(longest.c_str(), disk));
        ASSERT_FALSE(disk.created.empty());
        EXPECT_EQ(longest, disk.created.back());
    }
    {
        ModelDisk disk;
        std::string tooLong = pathOfLength(kDirPathLimit + 1);
        ASSERT_EQ(260u, tooLong.size());
        EXPECT_EQ(0, createDirectoryChain(tooLong.c_str(), disk));
        EXPECT_TRUE(disk.created.empty());
        EXPECT_EQ(1u, disk.calls.size());  // only the try of the whole path
    }
}

TEST(DirChain, OverlongPathsAreRefusedWithoutOverflow) {
    ModelDisk disk;
    std::string deep = "C:\\";
    while (deep.size() < 400)
        deep += "level\\";
    EXPECT_EQ(0, createDirectoryChain(deep.c_str(), disk));
    EXPECT_TRUE(disk.created.empty());
}

}  // namespace
