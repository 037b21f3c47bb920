// What Windows reads from our programs before it runs them, and what they
// load: the manifests and the version record of the uninstaller and the
// sample setup, read from the built files, and the DLLs Setup.Dll imports.
// (Wine prefers its own system DLLs and looks beside a program whatever its
// DLL search allows, so a DLL planted there shows nothing under Wine.)
#include "Setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// What a setup's folder may not decide: every DLL in Setup.Dll's import
// table is one Windows takes from its system folder whatever lies beside
// the setup (its known DLLs); the others are loaded by the library itself.
TEST(DllSearch, SetupDllImportsOnlyKnownDlls) {
    const char* known[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                           "ole32.dll",    "comdlg32.dll", "msvcrt.dll"};
    HMODULE module = LoadLibraryA(testenv::binPath("Setup.Dll").c_str());
    ASSERT_NE(nullptr, module);
    auto* base = reinterpret_cast<unsigned char*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int count = 0;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d, ++count) {
        const char* name = reinterpret_cast<const char*>(base + d->Name);
        bool isKnown = false;
        for (const char* k : known)
            isKnown |= lstrcmpiA(name, k) == 0;
        EXPECT_TRUE(isKnown) << name;
    }
    EXPECT_GT(count, 3);
    FreeLibrary(module);
}

}  // namespace
