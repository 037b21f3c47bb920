// The registry decisions: the root a text key path names, the size of a
// value written from such a path, the values of an application's
// registration, and the uninstaller's program and command line taken from an
// Uninstall entry.
#include "setup/RegistryRules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

std::string rest(const char* keyPath) {
    const char* after = "untouched";
    splitKeyPath(keyPath, &after);
    return after;
}

TEST(RegistryRules, KeyPathRootsAreTheFourFullNamesInAnyCase) {
    const char* after = nullptr;
    EXPECT_EQ(RegistryRoot::ClassesRoot, splitKeyPath("HKEY_CLASSES_ROOT\\.txt", &after));
    EXPECT_STREQ(".txt", after);
    EXPECT_EQ(RegistryRoot::CurrentUser, splitKeyPath("hkey_current_user\\Software\\X", &after));
    EXPECT_STREQ("Software\\X", after);
    EXPECT_EQ(RegistryRoot::LocalMachine, splitKeyPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Product", &after));
    EXPECT_STREQ("SOFTWARE\\Product", after);
    EXPECT_EQ(RegistryRoot::Users, splitKeyPath("Hkey_Users\\.DEFAULT\\X", &after));
    EXPECT_STREQ(".DEFAULT\\X", after);
    // Only the first backslash separates: the rest may be empty or hold more.
    EXPECT_EQ(RegistryRoot::Users, splitKeyPath("HKEY_USERS\\", &after));
    EXPECT_STREQ("", after);
    EXPECT_EQ(RegistryRoot::CurrentUser, splitKeyPath("HKEY_CURRENT_USER\\\\a", &after));
    EXPECT_STREQ("\\a", after);
}

TEST(RegistryRules, OtherRootNamesAreRefusedAndThePathIsOnlyRead) {
    const char* refused[] = {
        "HKLM\\Software\\X",               // abbreviations are not names
        "HKEY_LOCAL_MACHINE",              // no backslash
        "",
        "\\Software",                      // nothing before it
        "HKEY_LOCAL_MACHIN\\Software",     // a prefix of a name
        "HKEY_LOCAL_MACHINEX\\Software",   // a name with more
        " HKEY_USERS\\X",                  // a blank is a character
        "HKEY_USERS \\X",
        "HKEY_CURRENT_CONFIG\\X",          // a root, but not one of the four
        "HKEY_CLASSES_ROOT/x",             // a slash is no separator
    };
    for (const char* path : refused) {
        char copy[64];
        strcpy(copy, path);
        const char* after = "untouched";
        EXPECT_EQ(RegistryRoot::None, splitKeyPath(copy, &after)) << path;
        EXPECT_STREQ("untouched", after) << path;
        EXPECT_STREQ(path, copy);
    }
    // A found root leaves the text as it was too.
    char accepted[] = "HKEY_USERS\\.DEFAULT";
    EXPECT_EQ(".DEFAULT", rest(accepted));
    EXPECT_STREQ("HKEY_USERS\\.DEFAULT", accepted);
    const char* after = "untouched";
    EXPECT_EQ(RegistryRoot::None, splitKeyPath(nullptr, &after));
    EXPECT_STREQ("untouched", after);
    // A name is compared with the ASCII letters folded only: a byte that
    // folds to a letter in some code page does not make one.
    EXPECT_EQ(RegistryRoot::None, splitKeyPath("HKEY_US\xC9RS\\X", &after));
}

TEST(RegistryRules, TextValuesAreMeasuredOtherTypesTakeTheirSize) {
    EXPECT_EQ(5u, userValueSize(kTextValueType, "text", 0));
    EXPECT_EQ(5u, userValueSize(kTextValueType, "text", 1000));
    EXPECT_EQ(1u, userValueSize(kTextValueType, "", 0));
    unsigned int dword = 7;
    EXPECT_EQ(4u, userValueSize(4, &dword, 4));
    EXPECT_EQ(0u, userValueSize(4, &dword, 0));
    EXPECT_EQ(0u, userValueSize(3, &dword, 0));
    // Expandable and multiple texts are not measured: their size is the caller's.
    EXPECT_EQ(3u, userValueSize(2, "%a%", 3));
    EXPECT_EQ(0u, userValueSize(7, "a\0b\0", 0));
    EXPECT_EQ(0u, userValueSize(kTextValueType, nullptr, 10));
    EXPECT_EQ(0u, userValueSize(4, nullptr, 4));
}

struct Values {
    PlannedValue v[MaxApplicationValues];
};

Values planned(const char* product, const char* exe, const char* install,
               const char* windows = "C:\\WINDOWS") {
    Values out;
    memset(&out, 0x55, sizeof out);
    ApplicationTexts texts = {product, exe, install, windows};
    EXPECT_EQ(9, planApplicationValues(texts, out.v)) << product << " " << exe << " " << install;
    return out;
}

void expectValue(const PlannedValue& value, RegistryRoot root, const std::string& key,
                 const char* valueName, const std::string& data) {
    EXPECT_EQ(root, value.root) << key;
    EXPECT_EQ(key, value.key);
    if (valueName)
        EXPECT_STREQ(valueName, value.valueName) << key;
    else
        EXPECT_EQ(nullptr, value.valueName) << key;
    EXPECT_EQ(data, value.data) << key;
}

TEST(RegistryRules, ApplicationValuesInTheirOrder) {
    Values p = planned("My Product", "App.exe", "C:\\Apps\\My Product");
    expectValue(p.v[0], RegistryRoot::ClassesRoot, "QRV_Files\\Shell\\My Product\\command", nullptr,
                "C:\\Apps\\My Product\\App.exe");
    const std::string appPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\App.exe";
    expectValue(p.v[1], RegistryRoot::LocalMachine, appPaths, nullptr, "C:\\Apps\\My Product\\App.exe");
    expectValue(p.v[2], RegistryRoot::LocalMachine, appPaths, "Path", "C:\\Apps\\My Product");
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My Product";
    expectValue(p.v[3], RegistryRoot::LocalMachine, uninstall, "DisplayName", "My Product");
    expectValue(p.v[4], RegistryRoot::LocalMachine, uninstall, "UninstallString",
                "\"C:\\WINDOWS\\QRVUnins.Exe\" My Product");
    expectValue(p.v[5], RegistryRoot::LocalMachine, "SOFTWARE\\Tarvelon\\My Product", nullptr, "App.exe");
    expectValue(p.v[6], RegistryRoot::LocalMachine, uninstall, "QuietUninstallString",
                "\"C:\\WINDOWS\\QRVUnins.Exe\" /S My Product");
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(i == 7 || i == 8 ? kNumberValueType : kTextValueType, p.v[i].type) << i;
    expectValue(p.v[7], RegistryRoot::LocalMachine, uninstall, "NoModify", "");
    expectValue(p.v[8], RegistryRoot::LocalMachine, uninstall, "NoRepair", "");
    EXPECT_EQ(1u, p.v[7].number);
    EXPECT_EQ(1u, p.v[8].number);
}

TEST(RegistryRules, InstallDateAndLinksOnlyWhenGiven) {
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\P";
    struct Case {
        const char* date;
        const char* about;
        const char* help;
        std::vector<std::string> names;  // after NoRepair
    } cases[] = {
        {"20261209", "https://a", "https://h", {"InstallDate", "URLInfoAbout", "HelpLink"}},
        {nullptr, "", "https://h", {"HelpLink"}},
        {"", "https://a", nullptr, {"URLInfoAbout"}},
        {"20261209", nullptr, nullptr, {"InstallDate"}},
    };
    for (const Case& c : cases) {
        Values out;
        ApplicationTexts texts = {"P", "a.exe", "C:\\A", "C:\\W", c.date, c.about, c.help};
        ASSERT_EQ(9 + static_cast<int>(c.names.size()), planApplicationValues(texts, out.v)) << c.names[0];
        for (size_t i = 0; i < c.names.size(); ++i) {
            const PlannedValue& v = out.v[9 + i];
            const char* want = c.names[i] == "InstallDate" ? c.date : c.names[i] == "HelpLink" ? c.help : c.about;
            expectValue(v, RegistryRoot::LocalMachine, uninstall, c.names[i].c_str(), want);
            EXPECT_EQ(kTextValueType, v.type);
        }
    }
    // A link too long for a value refuses the whole registration.
    std::string longLink(PathSize, 'u');
    Values out;
    EXPECT_EQ(0, planApplicationValues({"P", "a.exe", "C:\\A", "C:\\W", nullptr, longLink.c_str()}, out.v));
}

TEST(RegistryRules, InstallDateIsEightDigits) {
    char text[9] = "keep";
    ASSERT_TRUE(installDateText(2026, 12, 9, text));
    EXPECT_STREQ("20261209", text);
    ASSERT_TRUE(installDateText(1601, 1, 31, text));
    EXPECT_STREQ("16010131", text);
    const int refused[][3] = {{1600, 12, 31}, {10000, 1, 1}, {2026, 0, 1}, {2026, 13, 1}, {2026, 1, 0}, {2026, 1, 32}};
    for (const auto& d : refused) {
        EXPECT_FALSE(installDateText(d[0], d[1], d[2], text)) << d[0] << "-" << d[1] << "-" << d[2];
        EXPECT_STREQ("16010131", text);
    }
}

TEST(RegistryRules, ExecutableInASubdirectory) {
    Values p = planned("P", "Bin\\App.exe", "D:\\P");
    EXPECT_STREQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\App.exe", p.v[1].key);
    EXPECT_STREQ("D:\\P\\Bin\\App.exe", p.v[0].data);
    EXPECT_STREQ("D:\\P\\Bin\\App.exe", p.v[1].data);
    EXPECT_STREQ("D:\\P\\Bin", p.v[2].data);
    EXPECT_STREQ("App.exe", p.v[5].data);
    // Deeper, and a file name with blanks and dots.
    Values q = planned("P", "a\\b c\\My.App.exe", "D:\\P");
    EXPECT_STREQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\My.App.exe", q.v[2].key);
    EXPECT_STREQ("D:\\P\\a\\b c", q.v[2].data);
    EXPECT_STREQ("My.App.exe", q.v[5].data);
}

TEST(RegistryRules, ABackslashAlwaysJoinsDirectoryAndExecutable) {
    // A directory that ends in a backslash (a drive root) gets another: the
    // folder of the executable then keeps the root's backslash.
    Values p = planned("P", "App.exe", "C:\\");
    EXPECT_STREQ("C:\\\\App.exe", p.v[1].data);
    EXPECT_STREQ("C:\\", p.v[2].data);
    // An empty directory still puts one before the name.
    Values q = planned("P", "App.exe", "");
    EXPECT_STREQ("\\App.exe", q.v[1].data);
    EXPECT_STREQ("", q.v[2].data);
}

TEST(RegistryRules, ProductNameIsUsedUnchanged) {
    // Blanks, capitals and an ampersand stay; the uninstaller's argument is
    // the name, unquoted, after its quoted path.
    Values p = planned("Tom & Jerry  2", "a.exe", "C:\\T", "C:\\Win Dir");
    EXPECT_STREQ("QRV_Files\\Shell\\Tom & Jerry  2\\command", p.v[0].key);
    EXPECT_STREQ("Tom & Jerry  2", p.v[3].data);
    EXPECT_STREQ("\"C:\\Win Dir\\QRVUnins.Exe\" Tom & Jerry  2", p.v[4].data);
    EXPECT_STREQ("SOFTWARE\\Tarvelon\\Tom & Jerry  2", p.v[5].key);
}

TEST(RegistryRules, ApplicationTextsThatDoNotFitAreRefused) {
    Values out;
    // The executable's path at the limit: 259 characters fit, 260 do not.
    std::string exactly = "C:\\" + std::string(259 - 3 - 8, 'd');  // 259 with "\App.exe"
    ApplicationTexts fits = {"P", "App.exe", exactly.c_str(), "C:\\W"};
    ASSERT_NE(0, planApplicationValues(fits, out.v));
    EXPECT_EQ(259u, strlen(out.v[1].data));
    std::string over = exactly + "e";
    ApplicationTexts tooLong = {"P", "App.exe", over.c_str(), "C:\\W"};
    EXPECT_EQ(0, planApplicationValues(tooLong, out.v));

    // The product's Uninstall key is the longest text a product name makes
    // with short directories: the longest name that fits, and one more.
    std::string name(259 - strlen(kUninstallKey) - 1, 'n');
    ApplicationTexts longest = {name.c_str(), "a.exe", "C:\\A", "C:\\W"};
    ASSERT_NE(0, planApplicationValues(longest, out.v));
    EXPECT_EQ(259u, strlen(out.v[3].key));
    name += 'n';
    ApplicationTexts longName = {name.c_str(), "a.exe", "C:\\A", "C:\\W"};
    EXPECT_EQ(0, planApplicationValues(longName, out.v));

    // A Windows directory that leaves no room for the uninstaller's command.
    std::string windows = "C:\\" + std::string(240, 'w');
    ApplicationTexts longWindows = {"Product", "a.exe", "C:\\A", windows.c_str()};
    EXPECT_EQ(0, planApplicationValues(longWindows, out.v));

    // Missing texts.
    for (int missing = 0; missing < 4; ++missing) {
        const char* t[4] = {"P", "a.exe", "C:\\A", "C:\\W"};
        t[missing] = nullptr;
        ApplicationTexts texts = {t[0], t[1], t[2], t[3]};
        EXPECT_EQ(0, planApplicationValues(texts, out.v)) << missing;
    }
}

std::string programOf(const char* uninstallString, const char* displayName,
                      UninstallProgram expected = UninstallProgram::Found) {
    char program[PathSize] = "untouched";
    EXPECT_EQ(expected, uninstallProgram(uninstallString, displayName, program))
        << uninstallString << " / " << displayName;
    return program;
}

TEST(RegistryRules, UninstallerProgramStandsBeforeTheDisplayName) {
    EXPECT_EQ("c:\\windows\\qrvunins.exe", programOf("c:\\windows\\qrvunins.exe my product", "my product"));
    // Blanks between them go; the character just before the name goes
    // whatever it is.
    EXPECT_EQ("c:\\w\\u.exe", programOf("c:\\w\\u.exe    my product", "my product"));
    EXPECT_EQ("c:\\w\\u.exe", programOf("c:\\w\\u.exe\"my product", "my product"));
    EXPECT_EQ("c:\\w\\u.ex", programOf("c:\\w\\u.exemy product", "my product"));
    // The name where it ends the string, also when it stands in the
    // uninstaller's own path before.
    EXPECT_EQ("c:\\program files\\app\\u.exe", programOf("c:\\program files\\app\\u.exe app", "app"));
    EXPECT_EQ("c:\\windows\\qrvunins.exe", programOf("c:\\windows\\qrvunins.exe qrv", "qrv"));
    EXPECT_EQ("c:\\windows\\qrvunins.exe", programOf("c:\\windows\\qrvunins.exe windows", "windows"));
    EXPECT_EQ("c:\\windows\\qrvunins.exe", programOf("c:\\windows\\qrvunins.exe exe", "exe"));
    // A string that does not end in the name: its first occurrence decides,
    // and the text after it is ignored.
    EXPECT_EQ("c:\\u.exe", programOf("c:\\u.exe app /quiet", "app"));
    EXPECT_EQ("c:\\program files", programOf("c:\\program files\\app\\u.exe app /quiet", "app"));
    // Blanks inside the path stay.
    EXPECT_EQ("c:\\my tools\\u.exe", programOf("c:\\my tools\\u.exe app", "app"));
    // A quoted path, as registration writes it now, loses its quotes; a
    // quote on one side only is part of the path.
    EXPECT_EQ("c:\\my tools\\u.exe", programOf("\"c:\\my tools\\u.exe\" app", "app"));
    EXPECT_EQ("c:\\windows\\qrvunins.exe", programOf("\"c:\\windows\\qrvunins.exe\"  my product", "my product"));
    EXPECT_EQ("\"c:\\u.exe", programOf("\"c:\\u.exe app", "app"));
    EXPECT_EQ("untouched", programOf("\"\" app", "app", UninstallProgram::NoPath));
}

TEST(RegistryRules, UninstallStringWithoutAProgramBeforeTheName) {
    // Another installer's entry: its own command, not naming the product.
    EXPECT_EQ("untouched", programOf("msiexec /x {1234}", "my product", UninstallProgram::NotNamed));
    EXPECT_EQ("untouched", programOf("", "my product", UninstallProgram::NotNamed));
    EXPECT_EQ("untouched", programOf("c:\\u.exe my produc", "my product", UninstallProgram::NotNamed));
    // Nothing before the name: no program can be started.
    EXPECT_EQ("untouched", programOf("my product", "my product", UninstallProgram::NoPath));
    EXPECT_EQ("untouched", programOf("my product c:\\u.exe", "my product", UninstallProgram::NoPath));
    // One character before it is the separator, blanks are trimmed.
    EXPECT_EQ("x", programOf("x my product", "my product"));
    EXPECT_EQ("untouched", programOf("x my product", "my product x", UninstallProgram::NotNamed));
    EXPECT_EQ("untouched", programOf(" my product", "my product", UninstallProgram::NoPath));
    EXPECT_EQ("untouched", programOf("    my product", "my product", UninstallProgram::NoPath));
    // An empty DisplayName stands at the very start.
    EXPECT_EQ("untouched", programOf("c:\\u.exe x", "", UninstallProgram::NoPath));
    // A program path that does not fit the buffer.
    std::string longPath = "c:\\" + std::string(300, 'p') + " app";
    EXPECT_EQ("untouched", programOf(longPath.c_str(), "app", UninstallProgram::NoPath));
}

TEST(RegistryRules, UninstallerCommandLine) {
    char line[PathSize] = "untouched";
    ASSERT_TRUE(uninstallCommandLine(line, "C:\\WINDOWS\\QRVUNINS.EXE", "my product"));
    EXPECT_STREQ("C:\\WINDOWS\\QRVUNINS.EXE my product_", line);
    ASSERT_TRUE(uninstallCommandLine(line, "u", ""));
    EXPECT_STREQ("u _", line);
    // A path with a blank (no short name for it) is quoted.
    ASSERT_TRUE(uninstallCommandLine(line, "C:\\My Win\\QRVUnins.Exe", "p"));
    EXPECT_STREQ("\"C:\\My Win\\QRVUnins.Exe\" p_", line);
    // 259 characters fit, 260 do not, and a refusal leaves the line as it was.
    std::string program(259 - 3, 'p');
    ASSERT_TRUE(uninstallCommandLine(line, program.c_str(), "a"));
    EXPECT_EQ(259u, strlen(line));
    std::string kept = line;
    EXPECT_FALSE(uninstallCommandLine(line, program.c_str(), "ab"));
    EXPECT_EQ(kept, line);
    // A smaller buffer is respected.
    char small[8] = "keep";
    EXPECT_FALSE(uninstallCommandLine(small, "abc", "def", sizeof small));
    EXPECT_STREQ("keep", small);
    EXPECT_TRUE(uninstallCommandLine(small, "abc", "de", sizeof small));
    EXPECT_STREQ("abc de_", small);
}

}  // namespace
