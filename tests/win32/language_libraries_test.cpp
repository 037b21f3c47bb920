// The ten language libraries Setup_xx.Dll as a product uses them: each
// loads by name (and as a data file), carries no code, holds every text of
// the sample setup under its number in its own language's string table,
// keeps the English text's format fields and mnemonics, and its accented
// letters come out as the letters themselves (a wrong code page would have
// turned each into two or three others).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../tools/samplesetup/PageText.h"
#include "TestEnv.h"

namespace {

const int kTextIds[] = {TEXT_BACK,          TEXT_NEXT,          TEXT_CANCEL,       TEXT_INSTALL,
                        TEXT_BROWSE,        TEXT_README,        TEXT_WELCOME_TITLE, TEXT_WELCOME_BODY,
                        TEXT_README_TITLE,  TEXT_README_BODY,   TEXT_FOLDER_TITLE, TEXT_FOLDER_BODY,
                        TEXT_GROUP_PROGRAM, TEXT_GROUP_DOCS,    TEXT_GROUP_HELP,   TEXT_READY_TITLE,
                        TEXT_READY_BODY,    TEXT_NO_SPACE,      TEXT_FAILED,       TEXT_CANCELLED,
                        TEXT_FOLDER_REFUSED, TEXT_LICENCE_TITLE, TEXT_LICENCE_BODY, TEXT_LICENCE_ACCEPT,
                        TEXT_COMPONENTS_TITLE, TEXT_COMPONENTS_BODY, TEXT_FOLDER_ONLY_TITLE};
// The texts of buttons, with one mnemonic each.
const int kButtonIds[] = {TEXT_BACK, TEXT_NEXT, TEXT_INSTALL, TEXT_BROWSE, TEXT_README, TEXT_LICENCE_ACCEPT};

struct Library {
    const char* code;
    LANGID language;
    int knownId;             // a text with letters outside ASCII ...
    const wchar_t* known;    // ... and a part of it, written with escapes
};

const Library kLibraries[] = {
    {"en", MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), TEXT_BACK, L"< &Back"},
    {"fr", MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), TEXT_READY_TITLE, L"Pr\u00eat \u00e0 installer"},
    {"ge", MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), TEXT_BACK, L"< &Zur\u00fcck"},
    {"hl", MAKELANGID(LANG_DUTCH, SUBLANG_DUTCH), TEXT_CANCELLED, L"niet ge\u00efnstalleerd"},
    {"sp", MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), TEXT_BACK, L"< &Atr\u00e1s"},
    {"it", MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), TEXT_CANCELLED, L"\u00e8 stata annullata"},
    {"po", MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE), TEXT_WELCOME_TITLE,
     L"Bem-vindo \u00e0 instala\u00e7\u00e3o de %s"},
    {"sw", MAKELANGID(LANG_SWEDISH, SUBLANG_SWEDISH), TEXT_NEXT, L"&N\u00e4sta >"},
    {"nr", MAKELANGID(LANG_NORWEGIAN, SUBLANG_NORWEGIAN_BOKMAL), TEXT_READY_TITLE, L"Klar til \u00e5 installere"},
    {"fn", MAKELANGID(LANG_FINNISH, SUBLANG_FINNISH_FINLAND), TEXT_README_TITLE, L"Lue t\u00e4m\u00e4 ensin"},
};

std::string libraryName(const Library& l) { return std::string("Setup_") + l.code + ".Dll"; }

std::wstring loadText(HMODULE module, int id) {
    wchar_t buffer[1024] = {};
    int length = LoadStringW(module, id, buffer, 1024);
    return std::wstring(buffer, length > 0 ? length : 0);
}

// The format fields in order ("%s", "%lu" ...): a translation that lost or
// swapped one would print garbage or crash the sample's formatting.
std::vector<std::wstring> formatFields(const std::wstring& text) {
    std::vector<std::wstring> fields;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%')
            continue;
        size_t end = i + 1;
        while (end < text.size() && (text[end] == L'l' || text[end] == L'h'))
            ++end;
        fields.push_back(text.substr(i, end + 1 - i));
        i = end;
    }
    return fields;
}

// Single ampersands (a doubled one shows as "&" and marks nothing).
int mnemonics(const std::wstring& text) {
    int count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (i + 1 < text.size() && text[i + 1] == L'&') {
            ++i;
            continue;
        }
        ++count;
    }
    return count;
}

// The linker leaves an import directory that holds only its terminator.
int importedLibraries(const BYTE* base, const IMAGE_NT_HEADERS* nt) {
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress)
        return 0;
    int count = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d)
        ++count;
    return count;
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    reinterpret_cast<std::vector<LANGID>*>(param)->push_back(language);
    return TRUE;
}

class LanguageLibraries : public ::testing::TestWithParam<Library> {};

TEST_P(LanguageLibraries, LoadsByNameAndCarriesNoCode) {
    const Library& l = GetParam();
    // By name, with the system's search (the program's own folder first),
    // as the language dialog loads it.
    HMODULE module = LoadLibraryA(libraryName(l).c_str());
    ASSERT_NE(nullptr, module) << libraryName(l) << " error " << GetLastError();
    auto* base = reinterpret_cast<const BYTE*>(module);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    // Nothing runs when it is loaded and it needs no other library.
    EXPECT_EQ(0u, nt->OptionalHeader.AddressOfEntryPoint);
    EXPECT_EQ(0, importedLibraries(base, nt)) << l.code;
    EXPECT_FALSE(loadText(module, TEXT_WELCOME_TITLE).empty());
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(nullptr, GetModuleHandleA(libraryName(l).c_str()));
}

TEST_P(LanguageLibraries, EveryTextInItsLanguage) {
    const Library& l = GetParam();
    HMODULE english = LoadLibraryExA(testenv::binPath("Setup_en.Dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE module = LoadLibraryExA(testenv::binPath(libraryName(l)).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, english);
    ASSERT_NE(nullptr, module) << libraryName(l);

    for (int id : kTextIds) {
        std::wstring text = loadText(module, id);
        std::wstring original = loadText(english, id);
        ASSERT_FALSE(original.empty()) << id;
        EXPECT_FALSE(text.empty()) << l.code << " " << id;
        EXPECT_EQ(formatFields(original), formatFields(text)) << l.code << " " << id;
        // No replacement character and no sign of UTF-8 read as a
        // single-byte code page ("Ã©" for "é").
        EXPECT_EQ(std::wstring::npos, text.find(L'\ufffd')) << l.code << " " << id;
        EXPECT_EQ(std::wstring::npos, text.find(L'\u00c3')) << l.code << " " << id;
        if (std::string(l.code) != "en" && id == TEXT_WELCOME_BODY) {
            EXPECT_NE(original, text) << l.code << ": not translated";
        }
    }
    for (int id : kButtonIds)
        EXPECT_EQ(1, mnemonics(loadText(module, id))) << l.code << " " << id;
    EXPECT_NE(std::wstring::npos, loadText(module, l.knownId).find(l.known)) << l.code;

    // One string table, in the library's own language: the sample's texts
    // are numbers 1001 to 1052, blocks of sixteen from 63 to 66.
    for (int block = TEXT_BACK / 16 + 1; block <= TEXT_CANCELLED / 16 + 1; ++block) {
        std::vector<LANGID> languages;
        EnumResourceLanguagesW(module, reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(block),
                               collectLanguage, reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(std::vector<LANGID>{l.language}, languages) << l.code << " block " << block;
    }
    FreeLibrary(module);
    FreeLibrary(english);
}

INSTANTIATE_TEST_SUITE_P(All, LanguageLibraries, ::testing::ValuesIn(kLibraries),
                         [](const ::testing::TestParamInfo<Library>& info) { return std::string(info.param.code); });

// Texts that must read exactly so, one or two per language: the button
// names the bodies refer to are the buttons' own names.
TEST(LanguageTexts, ButtonsNamedInTheBodies) {
    struct Case {
        const char* code;
        int button;
        int body;
    };
    const Case cases[] = {{"fr", TEXT_NEXT, TEXT_WELCOME_BODY}, {"ge", TEXT_BROWSE, TEXT_FOLDER_BODY},
                          {"hl", TEXT_INSTALL, TEXT_READY_BODY}, {"sp", TEXT_README, TEXT_README_BODY},
                          {"it", TEXT_BACK, TEXT_READY_BODY},    {"po", TEXT_NEXT, TEXT_WELCOME_BODY},
                          {"sw", TEXT_BROWSE, TEXT_FOLDER_BODY}, {"nr", TEXT_README, TEXT_README_BODY},
                          {"fn", TEXT_INSTALL, TEXT_READY_BODY}, {"en", TEXT_NEXT, TEXT_WELCOME_BODY}};
    for (const Case& c : cases) {
        std::string name = std::string("Setup_") + c.code + ".Dll";
        HMODULE module = LoadLibraryExA(testenv::binPath(name).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module) << name;
        // The button's text without its mnemonic and its arrows.
        std::wstring button;
        for (wchar_t ch : loadText(module, c.button))
            if (ch != L'&' && ch != L'<' && ch != L'>')
                button += ch;
        while (!button.empty() && button.front() == L' ')
            button.erase(button.begin());
        while (!button.empty() && (button.back() == L' ' || button.back() == L'.'))
            button.pop_back();
        EXPECT_NE(std::wstring::npos, loadText(module, c.body).find(button)) << c.code << " " << c.button;
        FreeLibrary(module);
    }
}

}  // namespace
