// What Windows reads from our programs before it runs them, and what they
// load: the manifests and the version record of the uninstaller and the
// sample setup, read from the built files; the DLLs Setup.Dll imports; and a
// stranger's version.dll beside a program, which Windows' own must win over
// once the program has restricted its search and wherever the library loads
// it. Wine prefers its own version.dll to one beside a program; told to
// prefer a native one (a DllOverrides key of the program) it loads the plant
// wherever a program's search looks, as Windows would.
#include "Setup.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"

namespace {

std::string manifestOf(const std::string& program) {
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return "";
    std::string text;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_MANIFEST));
    if (found) {
        const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
        text.assign(bytes, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return text;
}

TEST(Programs, ManifestsAskWhatAPerMachineInstallerNeeds) {
    const char* wanted[] = {
        "<requestedExecutionLevel level=\"requireAdministrator\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        ">true</dpiAware>",
        ">system</dpiAwareness>",
        "\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"",  // Vista
        "\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"",  // 7
        "\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"",  // 8
        "\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"",  // 8.1
        "\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"",  // 10 and 11
    };
    for (const char* program : {"QRVUnins.Exe", "SampleSetup.exe"}) {
        std::string manifest = manifestOf(testenv::binPath(program));
        ASSERT_NE("", manifest) << program;
        for (const char* text : wanted)
            EXPECT_NE(std::string::npos, manifest.find(text)) << program << ": " << text;
    }
}

std::string versionText(const std::vector<char>& info, const char* name) {
    char* text = nullptr;
    UINT length = 0;
    std::string query = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
        return "(none)";
    return text;
}

TEST(Programs, TheUninstallersVersionRecordIsTheRuntimes) {
    std::string path = testenv::binPath("QRVUnins.Exe");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    char numbers[64];
    snprintf(numbers, sizeof numbers, "%lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
             fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
    // The text block setups read, saying the same as the fixed record.
    EXPECT_EQ(SETUP_VERSION ".0", std::string(numbers));
    EXPECT_EQ(SETUP_VERSION ".0", versionText(info, "FileVersion"));
    EXPECT_EQ(SETUP_VERSION ".0", versionText(info, "ProductVersion"));
    EXPECT_EQ("QRVUnins.Exe", versionText(info, "OriginalFilename"));
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
}

// The names in a program's import table (mapped, nothing it imports loaded).
std::vector<std::string> importsOf(const std::string& path) {
    std::vector<std::string> names;
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!module)
        return names;
    auto* base = reinterpret_cast<unsigned char*>(module);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d)
        names.emplace_back(reinterpret_cast<const char*>(base + d->Name));
    FreeLibrary(module);
    return names;
}

// What a setup's folder may not decide: every DLL in the import tables of
// the library and the programs is one Windows takes from its system folder
// whatever lies beside the program (its known DLLs), the library the setups
// are made with, or, for the uninstaller, Common Controls, which its
// manifest names as a side-by-side assembly. These load before a program
// can restrict its search; the library loads the others itself.
TEST(DllSearch, ProgramsImportOnlyKnownDlls) {
    const char* known[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                           "ole32.dll",    "comdlg32.dll", "msvcrt.dll"};
    const struct {
        const char* program;
        const char* alsoAllowed;
    } programs[] = {
        {"Setup.Dll", ""},
        {"SampleSetup.exe", "Setup.Dll"},
        {"GenericSetup.exe", "Setup.Dll"},
        {"SetupStub.exe", ""},
        {"QRVUnins.Exe", "comctl32.dll"},
    };
    for (const auto& p : programs) {
        std::vector<std::string> imports = importsOf(testenv::binPath(p.program));
        EXPECT_GT(imports.size(), 3u) << p.program;
        for (const std::string& name : imports) {
            bool allowed = lstrcmpiA(name.c_str(), p.alsoAllowed) == 0;
            for (const char* k : known)
                allowed |= lstrcmpiA(name.c_str(), k) == 0;
            EXPECT_TRUE(allowed) << p.program << " imports " << name;
        }
    }
}

std::string plantPath(const std::string& name) {
    std::string dir = SETUP_PLANT_DIR;
    for (char& c : dir)
        if (c == '/')
            c = '\\';
    return dir + "\\" + name;
}

// A folder of its own for a program with the planted version.dll beside
// it; runs start with Wine told to take a native version.dll first and the
// plant told (through the environment the children inherit) where to leave
// its mark.
class PlantedDll : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testenv::scratchDir();
        marker = dir + "\\loaded-by.txt";
        program = dir + "\\program";
        ASSERT_TRUE(CreateDirectoryA(program.c_str(), nullptr));
        ASSERT_TRUE(CopyFileA(plantPath("version.dll").c_str(), (program + "\\version.dll").c_str(), FALSE));
        SetEnvironmentVariableA("SETUP_PLANT_MARKER", marker.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("SETUP_PLANT_MARKER", nullptr); }
    void besideThePlant(const std::string& built) {
        std::string from = built == "plant_control.exe" ? plantPath(built) : testenv::binPath(built);
        ASSERT_TRUE(CopyFileA(from.c_str(), (program + "\\" + built).c_str(), FALSE)) << from;
    }
    // Runs `exe` of the folder with `arguments`. Wine reads its DLL
    // overrides when a process starts, from its own environment and from
    // the registry: a program's own key (AppDefaults) tells it here.
    int runPlanted(const std::string& exe, const std::string& arguments, const std::string& workDir) {
        std::string key = "Software\\Wine\\AppDefaults\\" + exe + "\\DllOverrides";
        HKEY overrides = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &overrides, nullptr) !=
            ERROR_SUCCESS)
            return -1;
        const char native[] = "native,builtin";
        RegSetValueExA(overrides, "version", 0, REG_SZ, reinterpret_cast<const BYTE*>(native), sizeof native);
        RegCloseKey(overrides);
        int exit = testenv::run("\"" + program + "\\" + exe + "\" " + arguments, workDir);
        SHDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + exe).c_str());
        return exit;
    }
    std::string loadedBy() {
        std::vector<unsigned char> bytes = testenv::readFile(marker);
        return testenv::fileExists(marker) ? "loaded by " + std::string(bytes.begin(), bytes.end()) : "not loaded";
    }
    std::string dir, marker, program;
};

// A program beside the plant that imports nothing that would bring it in:
// by its bare name with the default search it loads the plant, which shows
// that this Wine, told so, loads a DLL planted there (without that the
// other cases would pass on a Wine that never does); after the search is
// restricted, and through systemModule, it loads Windows' own.
TEST_F(PlantedDll, LoadedByNameFromTheProgramsFolderUnlessTheSearchIsRestricted) {
    besideThePlant("plant_control.exe");
    const struct {
        const char* way;
        int exit;  // plant_control's: 0 Windows' own, 2 the plant
        bool marked;
    } cases[] = {
        {"plain", 2, true},
        {"restricted", 0, false},
        {"system", 0, false},
    };
    for (const auto& c : cases) {
        DeleteFileA(marker.c_str());
        EXPECT_EQ(c.exit, runPlanted("plant_control.exe", c.way, program)) << c.way;
        EXPECT_EQ(c.marked ? "loaded by " + program + "\\plant_control.exe" : "not loaded", loadedBy()) << c.way;
    }
}

// The sample setup beside the plant installs a file over a newer copy in
// the Windows folder: it reads both versions, and the newer copy stays.
// Wine's own user32.dll imports version.dll, so under Wine the plant is in
// the setup's process from its start, before any code of ours runs; the
// library still reads the versions with Windows' own, which it loads by its
// path in the system folder: a load by the bare name would have been handed
// the plant, which lacks the functions the library asks for, and the older
// file would have replaced the newer.
TEST_F(PlantedDll, TheSetupReadsVersionsWithWindowsOwnDll) {
    for (const char* built : {"SampleSetup.exe", "Setup.Dll"})
        besideThePlant(built);
    std::string probe = kit::windowsDir() + "\\hardening_probe.dll";
    ASSERT_TRUE(kit::writeDll(probe, "3.0.0.0"));
    std::vector<unsigned char> newer = testenv::readFile(probe);
    ASSERT_TRUE(kit::writeDll(dir + "\\probe.dll", "2.0.0.0"));
    ASSERT_TRUE(testenv::writeFile(dir + "\\readme.txt", "installed"));
    kit::Manifest manifest;
    manifest.line("groups 3").file("probe.dll", "windows", "", 1, "name=hardening_probe.dll").file("readme.txt", "install", "", 1);
    ASSERT_TRUE(kit::pack(manifest, dir, dir + "\\vol"));

    std::string target = dir + "\\target";
    std::string log = dir + "\\run.log";
    int exit = runPlanted("SampleSetup.exe", "/S \"/LOG=" + log + "\" /D=" + target, dir + "\\vol");
    std::vector<unsigned char> logBytes = testenv::readFile(log);
    EXPECT_EQ(0, exit) << std::string(logBytes.begin(), logBytes.end());
    EXPECT_TRUE(testenv::fileExists(target + "\\readme.txt"));
    EXPECT_EQ(newer, testenv::readFile(probe)) << "the newer copy was replaced: its version was not read; the plant: "
                                               << loadedBy();

    DeleteFileA(probe.c_str());
    for (const char* key : {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Product",
                            "SOFTWARE\\Tarvelon\\Sample Product",
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SampleTool.exe"})
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    SHDeleteKeyA(HKEY_CLASSES_ROOT, "QRV_Files\\Shell\\Sample Product");
}

}  // namespace
