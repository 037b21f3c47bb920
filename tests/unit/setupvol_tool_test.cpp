// The setupvol program as a user runs it: a tree of several hundred files
// packed onto floppy-sized volumes in Disk<n> folders, verified, extracted
// bit for bit; reproducible output; manifest errors; damaged volumes.
#include "tools/setupvol/FileSys.h"

#include <gtest/gtest.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kBin = SETUP_NATIVE_BIN_DIR;

fs::path scratch(const std::string& name) {
    fs::path p = kBin.parent_path() / "scratch" / "setupvol" / name;
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

std::string quote(const fs::path& p) { return "'" + p.string() + "'"; }

struct ToolRun {
    int code;
    std::string output;
};

// Runs the tool with a shell command line; stdout and stderr together.
ToolRun tool(const std::string& args, const fs::path& dir) {
    fs::path log = dir / "tool-output.txt";
    std::string cmd = quote(kBin / "setupvol") + " " + args + " > " + quote(log) + " 2>&1";
    int status = system(cmd.c_str());
    std::ifstream in(log);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

std::vector<unsigned char> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& p, const std::vector<unsigned char>& data) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// 320 files in nested folders: compressible text, barely compressible
// noise, and one empty file; about 1.8 MB of noise, so two floppy volumes.
void makeTree(const fs::path& root, std::vector<std::string>* names) {
    std::mt19937 rng(77);
    for (int i = 0; i < 320; ++i) {
        std::string name = "dir" + std::to_string(i % 7) + "/sub" + std::to_string(i % 3) + "/file" +
                           std::to_string(i) + (i % 2 ? ".txt" : ".bin");
        std::vector<unsigned char> data;
        if (i == 5) {
            // empty
        } else if (i % 2) {
            std::string text;
            for (int k = 0; k < 40 + i % 50; ++k)
                text += "Line " + std::to_string(k) + " of file " + std::to_string(i) + ": setup data\r\n";
            data.assign(text.begin(), text.end());
        } else {
            data.resize(9000 + rng() % 4000);
            for (auto& b : data)
                b = static_cast<unsigned char>(rng() % 200);
        }
        writeAll(root / name, data);
        names->push_back(name);
    }
}

TEST(SetupVolTool, FloppySetOfSeveralHundredFilesRoundTrips) {
    fs::path dir = scratch("floppy");
    std::vector<std::string> names;
    makeTree(dir / "src", &names);
    {
        std::ofstream m(dir / "product.txt");
        m << "# sample product\nshortcut-prefix 17\ntree src install App 1\n";
    }
    ToolRun pack = tool("pack " + quote(dir / "product.txt") + " -o " + quote(dir / "out") +
                        " --volume-size 1457664 --disk-dirs --quiet",
                    dir);
    ASSERT_EQ(pack.code, 0) << pack.output;
    ASSERT_TRUE(fs::exists(dir / "out/Disk1/Data1.Dat"));
    ASSERT_TRUE(fs::exists(dir / "out/Disk2/Data2.Dat"));
    EXPECT_FALSE(fs::exists(dir / "out/Disk3"));
    EXPECT_LE(fs::file_size(dir / "out/Disk1/Data1.Dat"), 1457664u);
    EXPECT_LE(fs::file_size(dir / "out/Disk2/Data2.Dat"), 1457664u);

    ToolRun list = tool("list " + quote(dir / "out"), dir);
    EXPECT_EQ(list.code, 0) << list.output;
    EXPECT_NE(list.output.find("files 320"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("shortcut prefix 17"), std::string::npos);
    EXPECT_NE(list.output.find("install\\App\\dir3\\sub1\\file31.txt"), std::string::npos);
    EXPECT_NE(list.output.find(" 1-2 "), std::string::npos) << "no file spans the two volumes";

    ToolRun verify = tool("verify " + quote(dir / "out"), dir);
    EXPECT_EQ(verify.code, 0) << verify.output;
    EXPECT_NE(verify.output.find("320 files in 2 volumes verified"), std::string::npos) << verify.output;

    ToolRun extract = tool("extract " + quote(dir / "out") + " -o " + quote(dir / "x"), dir);
    ASSERT_EQ(extract.code, 0) << extract.output;
    for (const std::string& name : names) {
        fs::path original = dir / "src" / name, copy = dir / "x/install/App" / name;
        ASSERT_TRUE(fs::exists(copy)) << name;
        EXPECT_TRUE(readAll(original) == readAll(copy)) << name;
        uint64_t t1 = 0, t2 = 0;
        std::string error;
        ASSERT_TRUE(getFileWriteTime(original, &t1, &error));
        ASSERT_TRUE(getFileWriteTime(copy, &t2, &error));
        EXPECT_EQ(t1, t2) << name;
    }
    EXPECT_EQ(fs::file_size(dir / "x/install/App/dir5/sub2/file5.txt"), 0u);

    // Volumes can also be found from one disk folder: the next disk is its
    // sibling, as on a set of floppies copied side by side.
    ToolRun fromDisk = tool("verify " + quote(dir / "out/Disk1"), dir);
    EXPECT_EQ(fromDisk.code, 0) << fromDisk.output;

    // Damage in the second volume names the file and the volume.
    std::vector<unsigned char> vol2 = readAll(dir / "out/Disk2/Data2.Dat");
    vol2.resize(vol2.size() - 1000);
    writeAll(dir / "out/Disk2/Data2.Dat", vol2);
    ToolRun damaged = tool("verify " + quote(dir / "out"), dir);
    EXPECT_EQ(damaged.code, 1);
    EXPECT_NE(damaged.output.find("Data2.Dat ends"), std::string::npos) << damaged.output;
    EXPECT_NE(damaged.output.find("file"), std::string::npos) << damaged.output;
}

TEST(SetupVolTool, OutputIsReproducible) {
    fs::path dir = scratch("repro");
    std::vector<std::string> names;
    makeTree(dir / "src", &names);
    {
        std::ofstream m(dir / "m.txt");
        m << "groups 3\ntree src/dir1 install One 1\ntree src/dir2 system - 3 literals=ascii dict=1024\n"
             "file src/dir0/sub0/file0.bin windows - 2 name=Zero.bin version=1.2.3.4\n";
    }
    // Twice on one thread, then on several: compressed in parallel, the
    // files still land in the volumes in the same order with the same bytes.
    for (const char* out : {"a", "b", "2", "7"}) {
        std::string threads = isdigit(out[0]) ? out : "1";
        ToolRun pack = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / out) +
                                " --volume-size 100000 --threads " + threads,
                            dir);
        ASSERT_EQ(pack.code, 0) << pack.output;
    }
    for (const char* other : {"b", "2", "7"}) {
        int volumes = 0;
        for (int n = 1;; ++n) {
            fs::path a = dir / "a" / ("Data" + std::to_string(n) + ".Dat");
            fs::path b = dir / other / ("Data" + std::to_string(n) + ".Dat");
            if (!fs::exists(a)) {
                EXPECT_FALSE(fs::exists(b));
                break;
            }
            EXPECT_TRUE(readAll(a) == readAll(b)) << b;
            ++volumes;
        }
        EXPECT_GT(volumes, 2);
        EXPECT_TRUE(readAll(dir / "a/Data.Chk") == readAll(dir / other / "Data.Chk")) << other;
    }
    // Packing again into the same folder with one volume removes the
    // now-stale Data2.Dat and beyond.
    ToolRun pack = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "a"), dir);
    ASSERT_EQ(pack.code, 0) << pack.output;
    EXPECT_FALSE(fs::exists(dir / "a/Data2.Dat"));
    ToolRun verify = tool("verify " + quote(dir / "a"), dir);
    EXPECT_EQ(verify.code, 0) << verify.output;
}

TEST(SetupVolTool, ManifestProblemsNameTheLine) {
    fs::path dir = scratch("manifest");
    writeAll(dir / "a.txt", {'a'});
    {
        std::ofstream m(dir / "m.txt");
        m << "groups 1\nfile a.txt install - 1\nfile missing.dll system - 1\n";
    }
    ToolRun r = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "out"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("m.txt:3: source file 'missing.dll' not found"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "out/Data1.Dat"));
    {
        std::ofstream m(dir / "m.txt");
        m << "groups 1\nfile a.txt install - 1\nfile a.txt install - 2\n";
    }
    r = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "out"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("m.txt:3: target install\\a.txt is already installed by line 2"), std::string::npos)
        << r.output;
    {
        std::ofstream m(dir / "m.txt");
        m << "groups 1\nfile a.txt install - 1\nfile a.txt install B 2\n";
    }
    r = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "out"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("m.txt:3: group 2 exceeds 'groups 1' of line 1"), std::string::npos) << r.output;
    r = tool("pack " + quote(dir / "m.txt"), dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.output.find("usage"), std::string::npos);
}

// A file that cannot be read, among files that can: whatever the threads,
// the failure told is that of the first such file in the manifest, and no
// volume is left behind. (/proc/self/mem reads with an error even as root.)
TEST(SetupVolTool, FirstFailingFileIsToldWhateverTheThreads) {
    fs::path dir = scratch("failing");
    std::vector<std::string> names;
    makeTree(dir / "src", &names);
    {
        std::ofstream m(dir / "m.txt");
        m << "tree src install One 1\n"
             "file /proc/self/mem install - 1 name=first.bin literals=binary\n"
             "tree src/dir1 install Two 1\n"
             "file /proc/self/mem install - 1 name=second.bin\n";
    }
    for (const char* threads : {"1", "2", "7"}) {
        ToolRun r = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "out") + " --quiet --threads " + threads,
                         dir);
        EXPECT_EQ(r.code, 1) << threads;
        EXPECT_EQ(r.output, "setupvol: " + (dir / "m.txt").string() + ":2: /proc/self/mem: read error\n") << threads;
        EXPECT_FALSE(fs::exists(dir / "out/Data1.Dat")) << threads;
    }
    for (const char* bad : {"0", "-1", "x", "2x", "257", "''"}) {
        ToolRun r = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "out") + " --threads " + bad, dir);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_NE(r.output.find("--threads needs a number from 1 to 256"), std::string::npos) << bad << r.output;
    }
}

// The version printed is the project's, and the usage text offers the switch.
TEST(SetupVolTool, VersionIsTheProjects) {
    fs::path dir = scratch("version");
    ToolRun r = tool("--version", dir);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, std::string("setupvol ") + SETUP_PROJECT_VERSION + "\n");
    r = tool("--help", dir);
    EXPECT_NE(r.output.find("setupvol --version"), std::string::npos) << r.output;
}

TEST(SetupVolTool, SingleStreams) {
    fs::path dir = scratch("streams");
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += "stream line " + std::to_string(i % 37) + "\n";
    writeAll(dir / "in.txt", std::vector<unsigned char>(text.begin(), text.end()));
    ToolRun r = tool("implode --literals ascii --dict 2048 " + quote(dir / "in.txt") + " " + quote(dir / "s.imp"), dir);
    ASSERT_EQ(r.code, 0) << r.output;
    std::vector<unsigned char> stream = readAll(dir / "s.imp");
    ASSERT_GT(stream.size(), 2u);
    EXPECT_EQ(stream[0], 1);
    EXPECT_EQ(stream[1], 5);
    r = tool("explode " + quote(dir / "s.imp") + " " + quote(dir / "out.txt"), dir);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(readAll(dir / "out.txt") == readAll(dir / "in.txt"));
    stream.resize(stream.size() / 2);
    writeAll(dir / "cut.imp", stream);
    r = tool("explode " + quote(dir / "cut.imp") + " " + quote(dir / "cut.txt"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("damaged or cut-off"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "cut.txt")) << "a partial output looks like a whole one";
}

// Device names, names Windows makes one, a file that is another's folder,
// overlong UTF-8, a volume size beyond 64 bits, a full disk: each refused with
// the file and the cause.
TEST(SetupVolTool, HostileNamesAndSizesAreRefused) {
    fs::path dir = scratch("hostile");
    writeAll(dir / "a.txt", {'a'});
    auto packWith = [&](const std::string& manifest, const std::string& extra = "") {
        std::ofstream(dir / "m.txt") << manifest;
        return tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "out") + " " + extra, dir);
    };
    for (const char* line : {"file a.txt install - 1 name=NUL", "file a.txt install - 1 name=aux.txt",
                             "file a.txt install - 1 name=con.", "file a.txt install COM1 1",
                             "file a.txt install Lpt9.log\\x 1"}) {
        ToolRun r = packWith(std::string(line) + "\n");
        EXPECT_EQ(r.code, 1) << line;
        EXPECT_NE(r.output.find("m.txt:1:"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("Windows device"), std::string::npos) << r.output;
    }
    EXPECT_FALSE(fs::exists(dir / "out/Data1.Dat"));

    ToolRun r = packWith("file a.txt install - 1 name=ReadMe.txt\nfile a.txt install - 1 name=README.TXT\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("m.txt:2: target install\\README.TXT is already installed by line 1"),
              std::string::npos) << r.output;
    r = packWith("file a.txt install - 1 name=doc\nfile a.txt install Doc 1\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("m.txt:2: a folder of target install\\Doc\\a.txt is a file installed by line 1"),
              std::string::npos) << r.output;
    r = packWith("file a.txt install X\\Y 1\nfile a.txt install x 1 name=y\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("m.txt:2: target install\\x\\y is a folder of a file of line 1"), std::string::npos)
        << r.output;

    // "\xC0\xAF" is an overlong '/'.
    r = packWith("file a.txt install a\xC0\xAF.. 1\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("not valid UTF-8"), std::string::npos) << r.output;

    r = packWith("file a.txt install - 1\n", "--volume-size 18446744073709551616");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.output.find("too large"), std::string::npos) << r.output;

    // A volume that lands on a full disk (/dev/full answers every write so).
    fs::create_directories(dir / "full");
    fs::create_symlink("/dev/full", dir / "full/Data1.Dat.new");
    std::ofstream(dir / "m.txt") << "file a.txt install - 1\n";
    r = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "full"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("Data1.Dat.new: the disk is full"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir / "full/Data1.Dat"));
}

// The check file: packed beside Data1.Dat; verify and extract compare every
// file with it, and a file whose bytes differ is damage and not extracted.
TEST(SetupVolTool, CheckFileCatchesDamageThatStillDecodes) {
    fs::path dir = scratch("check");
    std::mt19937 rng(3);
    std::vector<unsigned char> noise(20000);
    for (auto& b : noise)
        b = static_cast<unsigned char>(rng());
    writeAll(dir / "src/noise.bin", noise);
    writeAll(dir / "src/text.txt", std::vector<unsigned char>(3000, 'x'));
    std::ofstream(dir / "m.txt") << "file src/text.txt install - 1\nfile src/noise.bin install - 1\n";
    ToolRun r = tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "out"), dir);
    ASSERT_EQ(r.code, 0) << r.output;
    ASSERT_TRUE(fs::exists(dir / "out/Data.Chk"));
    r = tool("verify " + quote(dir / "out"), dir);
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("each against its checksum"), std::string::npos) << r.output;

    // Flip one bit among noise.bin's literals (near the end of the volume):
    // the stream still decodes, to one wrong byte.
    std::vector<unsigned char> clean = readAll(dir / "out/Data1.Dat");
    std::vector<unsigned char> damaged = clean;
    damaged[damaged.size() - 3000] ^= 0x08;
    writeAll(dir / "out/Data1.Dat", damaged);
    fs::path check = dir / "out/Data.Chk";
    std::vector<unsigned char> checkBytes = readAll(check);
    fs::remove(check);
    r = tool("verify " + quote(dir / "out"), dir);
    ASSERT_EQ(r.code, 0) << "the flip does not decode silently; the case proves nothing\n" << r.output;
    EXPECT_NE(r.output.find("no check file"), std::string::npos) << r.output;

    writeAll(check, checkBytes);
    r = tool("verify " + quote(dir / "out"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("file 2 'install\\noise.bin': its expanded bytes differ"), std::string::npos)
        << r.output;
    r = tool("extract " + quote(dir / "out") + " -o " + quote(dir / "x"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("1 of 2 files extracted"), std::string::npos) << r.output;
    EXPECT_TRUE(fs::exists(dir / "x/install/text.txt"));
    EXPECT_FALSE(fs::exists(dir / "x/install/noise.bin"));

    // A damaged check file, and one of another set, are told as such.
    writeAll(dir / "out/Data1.Dat", clean);
    checkBytes[18] ^= 1;
    writeAll(check, checkBytes);
    r = tool("verify " + quote(dir / "out"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("Data.Chk is damaged"), std::string::npos) << r.output;
    std::ofstream(dir / "m2.txt") << "file src/text.txt install - 1\n";
    ASSERT_EQ(tool("pack " + quote(dir / "m2.txt") + " -o " + quote(dir / "other"), dir).code, 0);
    fs::copy_file(dir / "other/Data.Chk", check, fs::copy_options::overwrite_existing);
    r = tool("verify " + quote(dir / "out"), dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("does not belong to this set"), std::string::npos) << r.output;
}

// Links already in the output folder are never followed: a folder link on the
// way and a file link at a target, dangling or not, are refused by path with
// exit 1, and nothing outside OUT changes. A regular file at a target is
// replaced, so a hard link to it outside keeps its bytes.
TEST(SetupVolTool, ExtractFollowsNoLinkInTheOutputFolder) {
    fs::path dir = scratch("links");
    writeAll(dir / "src/a.txt", {'n', 'e', 'w'});
    std::ofstream(dir / "m.txt") << "file src/a.txt install - 1\nfile src/a.txt install Docs 1 name=b.txt\n"
                                    "file src/a.txt install Docs 1 name=c.txt\n";
    ASSERT_EQ(tool("pack " + quote(dir / "m.txt") + " -o " + quote(dir / "vol"), dir).code, 0);
    const fs::path outside = dir / "outside";
    writeAll(outside / "a.txt", {'o', 'l', 'd'});
    auto outsideFiles = [&] {
        std::vector<std::pair<std::string, std::vector<unsigned char>>> files;
        for (const auto& e : fs::recursive_directory_iterator(outside))
            files.emplace_back(e.path().string(), e.is_regular_file() ? readAll(e.path()) : std::vector<unsigned char>());
        std::sort(files.begin(), files.end());
        return files;
    };
    const auto before = outsideFiles();
    auto extractTo = [&](const fs::path& out) {
        return tool("extract " + quote(dir / "vol") + " -o " + quote(out), dir);
    };

    // OUT/install is a link to a folder outside.
    fs::create_directories(dir / "x1");
    fs::create_directory_symlink(outside, dir / "x1/install");
    ToolRun r = extractTo(dir / "x1");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find((dir / "x1/install").string() + " is a link"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("0 of 3 files extracted"), std::string::npos) << r.output;
    EXPECT_TRUE(outsideFiles() == before);

    // File links at targets, to an existing file and to a name that does not
    // exist yet; a folder link deeper down; a hard link to a file outside.
    fs::create_directories(dir / "x2/install");
    fs::create_symlink(outside / "a.txt", dir / "x2/install/a.txt");
    fs::create_directory_symlink(outside, dir / "x2/install/Docs");
    r = extractTo(dir / "x2");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("install/a.txt is a link"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("install/Docs is a link"), std::string::npos) << r.output;
    fs::remove(dir / "x2/install/Docs");
    fs::create_directories(dir / "x2/install/Docs");
    fs::create_symlink(outside / "b.txt", dir / "x2/install/Docs/b.txt");
    fs::create_hard_link(outside / "a.txt", dir / "x2/install/Docs/c.txt");
    r = extractTo(dir / "x2");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("Docs/b.txt is a link"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("1 of 3 files extracted"), std::string::npos) << r.output;
    EXPECT_TRUE(readAll(dir / "x2/install/Docs/c.txt") == readAll(dir / "src/a.txt"));
    EXPECT_TRUE(fs::is_symlink(dir / "x2/install/a.txt"));
    EXPECT_TRUE(outsideFiles() == before);
}

} // namespace
