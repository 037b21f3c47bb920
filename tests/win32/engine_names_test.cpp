// Names in any script, in a process whose code page is UTF-8 as the sample
// setup's is (data/utf8_process.rc): a set packed with 'names utf-8'
// installs into a folder named in Japanese and Greek, its files so named,
// byte for byte, and Install.log keeps Windows-1252 where the names have it;
// a set made the old way, a name in Windows-1252, installs as before.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"

namespace {

const char kJapanese[] = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";                        // 日本語
const char kGreek[] = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1.txt";                   // Ωμέγα.txt
const char kGroesse[] = "Gr\xC3\xB6\xC3\x9F" "e.txt";                                    // Größe.txt

// The bytes of a file found by its Unicode name, whatever the code page.
std::vector<unsigned char> readWide(const std::string& utf8) {
    wchar_t path[MAX_PATH];
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, path, MAX_PATH);
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<unsigned char> bytes(h == INVALID_HANDLE_VALUE ? 0 : GetFileSize(h, nullptr));
    DWORD got = 0;
    if (!bytes.empty())
        ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    return bytes;
}

class EngineNames : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(static_cast<UINT>(CP_UTF8), GetACP()) << "the manifest's code page";
        dir = testenv::scratchDir();
        CreateDirectoryA((dir + "\\src").c_str(), nullptr);
        for (int i = 0; i < 3; ++i) {
            sources.push_back(kit::content(40 + i, 3000 + 1000 * i));
            ASSERT_TRUE(testenv::writeFile(dir + "\\src\\f" + std::to_string(i), sources.back()));
        }
    }
    std::string dir;
    std::vector<std::vector<unsigned char>> sources;
};

TEST_F(EngineNames, NewSetInstallsNamesOfAnyScript) {
    kit::Manifest manifest;
    manifest.line("names utf-8")
        .file("src\\f0", "install", kJapanese, 1, std::string("name=") + kGreek)
        .file("src\\f1", "install", "", 1, std::string("name=") + kGroesse)
        .file("src\\f2", "install", kJapanese, 1, "name=readme.txt");
    ASSERT_TRUE(kit::pack(manifest, dir, dir + "\\vol"));
    const std::string app = dir + "\\" + kJapanese + " \xE8\xA3\xBD\xE5\x93\x81 \xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1";
    kit::Engine engine;
    kit::DialogGuard guard;
    ASSERT_EQ(2, kit::install(engine, dir + "\\vol", app).run);
    EXPECT_TRUE(guard.seen().empty());
    const std::string targets[] = {app + "\\" + kJapanese + "\\" + kGreek, app + "\\" + kGroesse,
                                   app + "\\" + kJapanese + "\\readme.txt"};
    std::vector<kit::Notice> notices = engine.of(0);
    ASSERT_EQ(3u, notices.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(readWide(targets[i]) == sources[i]) << targets[i];
        EXPECT_EQ(targets[i], notices[i].text);
    }
    // UTF-8 marked where Windows-1252 lacks a character, else Windows-1252.
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(kLogNamesUtf8, log[0].continued);
    EXPECT_EQ(std::string(kJapanese) + "\\" + kGreek, std::string(log[0].subDir) + "\\" + log[0].fileName);
    EXPECT_EQ(0u, log[1].continued);
    EXPECT_STREQ("Gr\xF6\xDF" "e.txt", log[1].fileName);
    EXPECT_EQ(kLogNamesUtf8, log[2].continued);
}

TEST_F(EngineNames, OldSetWithAWindows1252NameInstallsAsBefore) {
    kit::Manifest manifest;
    manifest.file("src\\f1", "install", "Daten", 1, std::string("name=") + kGroesse);
    ASSERT_TRUE(kit::pack(manifest, dir, dir + "\\vol"));
    std::vector<unsigned char> volume = testenv::readFile(dir + "\\vol\\Data1.Dat");
    ASSERT_GE(volume.size(), 24u + FileRecordSize);
    EXPECT_EQ(1, volume[16] | volume[17] << 8 | volume[18] << 16 | volume[19] << 24);  // no flag
    kit::Engine engine;
    kit::DialogGuard guard;
    ASSERT_EQ(2, kit::install(engine, dir + "\\vol", dir + "\\App").run);
    EXPECT_TRUE(readWide(dir + "\\App\\Daten\\" + kGroesse) == sources[1]);
    // Install.log holds the volume's record byte for byte, as earlier releases wrote it.
    EXPECT_TRUE(testenv::readFile(dir + "\\App\\Install.log") ==
                std::vector<unsigned char>(volume.begin() + 24, volume.begin() + 24 + FileRecordSize));
}

}  // namespace
