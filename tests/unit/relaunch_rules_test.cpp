// The relaunch's decisions: splitting the executable's path, the drive root
// asked about, which names are data volumes, the copy list in listing order
// with its keys (directories and volumes passed over, a failure stopping
// the walk with earlier copies listed, paths that do not fit refused), the
// list file's path and the relaunched command line.
#include "setup/RelaunchRules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(RelaunchPaths, SplitAfterTheLastBackslash) {
    char dir[PathSize] = "untouched";
    const char* name = nullptr;
    const char path[] = "A:\\SETUP.EXE";
    ASSERT_TRUE(splitModulePath(path, dir, &name));
    EXPECT_STREQ("A:\\", dir);
    EXPECT_STREQ("SETUP.EXE", name);
    EXPECT_EQ(path + 3, name);  // inside the caller's path, not a copy

    ASSERT_TRUE(splitModulePath("\\\\host\\disk\\one\\Setup.exe", dir, &name));
    EXPECT_STREQ("\\\\host\\disk\\one\\", dir);
    EXPECT_STREQ("Setup.exe", name);

    // A path that ends in a backslash names no file.
    ASSERT_TRUE(splitModulePath("C:\\dir\\", dir, &name));
    EXPECT_STREQ("C:\\dir\\", dir);
    EXPECT_STREQ("", name);
}

TEST(RelaunchPaths, NoBackslashIsRefused) {
    char dir[PathSize] = "untouched";
    const char* name = "kept";
    for (const char* path : {"Setup.exe", "", "A:Setup.exe", "C:/dir/Setup.exe"}) {
        EXPECT_FALSE(splitModulePath(path, dir, &name)) << path;
        EXPECT_STREQ("untouched", dir);
        EXPECT_STREQ("kept", name);
    }
}

TEST(RelaunchPaths, DriveRoots) {
    char root[PathSize];
    ASSERT_TRUE(driveRoot("A:\\", root));
    EXPECT_STREQ("A:\\", root);
    ASSERT_TRUE(driveRoot("b:\\Disk1\\Setup\\", root));
    EXPECT_STREQ("b:\\", root);
    ASSERT_TRUE(driveRoot("\\\\server\\share\\disk1\\", root));
    EXPECT_STREQ("\\\\server\\share\\", root);
    ASSERT_TRUE(driveRoot("\\\\server\\share", root));
    EXPECT_STREQ("\\\\server\\share\\", root);
    ASSERT_TRUE(driveRoot("\\relative\\", root));
    EXPECT_STREQ("\\relative\\", root);
    // A share name filling the whole buffer has no room for the backslash.
    std::string share = "\\\\server\\" + std::string(PathSize - 10, 's');
    ASSERT_EQ(static_cast<size_t>(PathSize - 1), share.size());
    strcpy(root, "untouched");
    EXPECT_FALSE(driveRoot(share.c_str(), root));
}

TEST(RelaunchPaths, DataVolumesByTheirLastExtension) {
    for (const char* name : {"Data1.Dat", "Data2.DAT", "x.dat", ".dat", "Data.bak.dAt"})
        EXPECT_TRUE(isDataVolumeName(name)) << name;
    for (const char* name : {"Data.dat.bak", "Setup.exe", "Setup.Dll", "DAT", "Datadat", "Data1.Data",
                             "Data1.da", "Data1.dat ", "__setup.ini", ""})
        EXPECT_FALSE(isDataVolumeName(name)) << name;
}

// A listing served from memory, with the copies and records it was asked for.
class FakeDisk : public RelaunchActions {
public:
    std::vector<std::pair<std::string, bool>> listing;
    std::vector<std::string> failing;  // sources whose copy fails
    std::vector<std::pair<std::string, std::string>> copies;
    std::vector<std::pair<std::string, std::string>> records;
    std::vector<std::string> order;  // "copy" and "record", interleaved as called
    size_t next = 0;

    bool nextEntry(ListedEntry& entry) override {
        if (next == listing.size())
            return false;
        entry.name = listing[next].first.c_str();
        entry.directory = listing[next].second;
        ++next;
        return true;
    }
    bool copyFile(const char* source, const char* target) override {
        order.push_back("copy");
        for (const std::string& f : failing)
            if (f == source)
                return false;
        copies.emplace_back(source, target);
        return true;
    }
    void recordCopy(const char* key, const char* target) override {
        order.push_back("record");
        records.emplace_back(key, target);
    }
};

TEST(RelaunchCopies, ProgramFilesInListingOrderWithTheirKeys) {
    FakeDisk disk;
    disk.listing = {{".", true},           {"..", true},        {"Setup.exe", false}, {"Data1.Dat", false},
                    {"Setup.Dll", false},  {"Docs", true},      {"Data2.DAT", false}, {"Setup_fr.Dll", false},
                    {"Data.dat.bak", false}, {"README", false}};
    std::string failed = "untouched";
    ASSERT_EQ(CopyOutcome::AllCopied, copyProgramFiles("A:\\", "C:\\TEMP\\", disk, failed));
    EXPECT_EQ("untouched", failed);
    using Pair = std::pair<std::string, std::string>;
    std::vector<Pair> copies = {{"A:\\Setup.exe", "C:\\TEMP\\Setup.exe"},
                                {"A:\\Setup.Dll", "C:\\TEMP\\Setup.Dll"},
                                {"A:\\Setup_fr.Dll", "C:\\TEMP\\Setup_fr.Dll"},
                                {"A:\\Data.dat.bak", "C:\\TEMP\\Data.dat.bak"},
                                {"A:\\README", "C:\\TEMP\\README"}};
    EXPECT_EQ(copies, disk.copies);
    std::vector<Pair> records = {{"0", "C:\\TEMP\\Setup.exe"},
                                 {"1", "C:\\TEMP\\Setup.Dll"},
                                 {"2", "C:\\TEMP\\Setup_fr.Dll"},
                                 {"3", "C:\\TEMP\\Data.dat.bak"},
                                 {"4", "C:\\TEMP\\README"}};
    EXPECT_EQ(records, disk.records);
    // Each file is listed only once it is there.
    std::vector<std::string> order;
    for (int i = 0; i < 5; ++i) {
        order.push_back("copy");
        order.push_back("record");
    }
    EXPECT_EQ(order, disk.order);
    EXPECT_EQ(disk.listing.size(), disk.next);
}

TEST(RelaunchCopies, KeysCountPastTen) {
    FakeDisk disk;
    for (int i = 0; i < 12; ++i)
        disk.listing.emplace_back("f" + std::to_string(i) + ".exe", false);
    std::string failed;
    ASSERT_EQ(CopyOutcome::AllCopied, copyProgramFiles("A:\\", "T:\\", disk, failed));
    ASSERT_EQ(12u, disk.records.size());
    EXPECT_EQ("10", disk.records[10].first);
    EXPECT_EQ("T:\\f11.exe", disk.records[11].second);
}

TEST(RelaunchCopies, NothingToCopy) {
    FakeDisk disk;
    disk.listing = {{"Data1.Dat", false}, {"sub", true}};
    std::string failed;
    EXPECT_EQ(CopyOutcome::AllCopied, copyProgramFiles("A:\\", "T:\\", disk, failed));
    EXPECT_TRUE(disk.copies.empty());
    EXPECT_TRUE(disk.records.empty());
}

TEST(RelaunchCopies, FailedCopyStopsWithEarlierCopiesListed) {
    FakeDisk disk;
    disk.listing = {{"Setup.exe", false}, {"Setup.Dll", false}, {"Locked.Dll", false}, {"After.txt", false}};
    disk.failing = {"A:\\Locked.Dll"};
    std::string failed;
    ASSERT_EQ(CopyOutcome::CopyFailed, copyProgramFiles("A:\\", "C:\\TEMP\\", disk, failed));
    EXPECT_EQ("A:\\Locked.Dll", failed);
    ASSERT_EQ(2u, disk.records.size());
    EXPECT_EQ("1", disk.records[1].first);
    // The walk ends at the failure: nothing after it is read or copied.
    EXPECT_EQ(3u, disk.next);
    EXPECT_EQ(2u, disk.copies.size());
}

TEST(RelaunchCopies, PathThatDoesNotFitIsAFailedCopyNotACutOne) {
    // The name fits the source path but not the longer temp directory.
    std::string temp = "C:\\" + std::string(200, 't') + "\\";
    std::string name(100, 'n');  // 103 characters from A:\, 304 from the temp directory
    FakeDisk disk;
    disk.listing = {{"Setup.exe", false}, {name, false}};
    std::string failed;
    ASSERT_EQ(CopyOutcome::CopyFailed, copyProgramFiles("A:\\", temp.c_str(), disk, failed));
    EXPECT_EQ("A:\\" + name, failed);
    ASSERT_EQ(1u, disk.copies.size());  // only Setup.exe: the long one was never tried
    EXPECT_EQ(1u, disk.records.size());

    // Too long for the source already: the message still names it in full.
    std::string longName(PathSize, 'x');
    FakeDisk other;
    other.listing = {{longName, false}};
    ASSERT_EQ(CopyOutcome::CopyFailed, copyProgramFiles("A:\\", "T:\\", other, failed));
    EXPECT_EQ("A:\\" + longName, failed);
    EXPECT_TRUE(other.copies.empty());

    // Exactly the longest path that fits is copied.
    std::string fits(PathSize - 1 - 3, 'f');
    FakeDisk edge;
    edge.listing = {{fits, false}};
    ASSERT_EQ(CopyOutcome::AllCopied, copyProgramFiles("A:\\", "T:\\", edge, failed));
    ASSERT_EQ(1u, edge.copies.size());
    EXPECT_EQ("T:\\" + fits, edge.copies[0].second);
}

TEST(RelaunchList, ListFilePath) {
    char path[PathSize] = "untouched";
    ASSERT_TRUE(cleanupListPath("C:\\TEMP\\", path));
    EXPECT_STREQ("C:\\TEMP\\__setup.ini", path);
    // The temp directory as the system reports it, its backslash not doubled
    // nor added: the name is appended as it is.
    ASSERT_TRUE(cleanupListPath("C:\\Users\\me\\Temp\\", path));
    EXPECT_STREQ("C:\\Users\\me\\Temp\\__setup.ini", path);
    std::string temp(PathSize - 11, 't');  // + 11 characters of the name = PathSize: no room
    strcpy(path, "untouched");
    EXPECT_FALSE(cleanupListPath(temp.c_str(), path));
    EXPECT_STREQ("untouched", path);
    temp.pop_back();
    EXPECT_TRUE(cleanupListPath(temp.c_str(), path));
    EXPECT_EQ(static_cast<size_t>(PathSize - 1), strlen(path));
}

TEST(RelaunchList, CommandLine) {
    EXPECT_EQ("C:\\TEMP\\SETUP.EXE /lang fr", relaunchCommandLine("C:\\TEMP\\", "SETUP.EXE", "/lang fr"));
    // Empty arguments keep the blank after the name.
    EXPECT_EQ("C:\\TEMP\\SETUP.EXE ", relaunchCommandLine("C:\\TEMP\\", "SETUP.EXE", ""));
    EXPECT_EQ("C:\\TEMP\\SETUP.EXE ", relaunchCommandLine("C:\\TEMP\\", "SETUP.EXE", nullptr));
    // Long arguments are not cut: the command line is not a path.
    std::string args(1000, 'a');
    EXPECT_EQ("T:\\S.exe " + args, relaunchCommandLine("T:\\", "S.exe", args.c_str()));
}

}  // namespace
