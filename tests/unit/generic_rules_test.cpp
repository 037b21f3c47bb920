// The generic setup's decisions over a product description: the facts its
// setup program takes (the main program chosen), texts in the chosen
// language, the language of a library, file types' values, where shortcuts
// go and the Install.log record that lists one for the uninstaller.
#include "tools/genericsetup/GenericRules.h"

#include <gtest/gtest.h>

#include "format/Records.h"
#include "format/VolumeFormat.h"
#include "tools/product/ProductFile.h"

namespace {

// A product of two components with `product` added to its [product] table
// and `after` after its components.
ProductDescription describe(const std::string& product, const std::string& after = "") {
    std::string text = "[product]\nname = \"Tool\"\nversion = \"1.2\"\npublisher = \"Maker\"\n" + product +
                       "[files]\nlines = \"\"\"\nfile a.exe install - 1\nfile bin/b.exe install Bin 2\n\"\"\"\n"
                       "[[component]]\nname = \"Program\"\nrequired = true\n"
                       "[[component]]\nname = \"Extras\"\nselected = false\n" + after;
    ProductResult result = parseProductFile(text, "Product.toml");
    EXPECT_TRUE(result.ok()) << (result.errors.empty() ? "" : result.errors[0].text());
    return result.description;
}

TEST(GenericFacts, TheMainProgramIsTheIconProgramElseTheFirstShortcutsElseTheFileTypes) {
    const std::string shortcut = "[[shortcut]]\nname = \"B\"\ntarget = 'Bin\\b.exe'\n";
    const std::string type = "[[association]]\nextension = \".t\"\nprogid = \"T.Doc\"\ndescription = \"T\"\n"
                             "target = \"a.exe\"\n";
    struct Case {
        std::string product;
        std::string after;
        std::string exe;
        std::string icon;
    } cases[] = {
        {"icon = 'Bin\\b.exe'\n", "", "Bin\\b.exe", "Bin\\b.exe"},
        {"icon = \"a.exe\"\n", shortcut, "a.exe", "a.exe"},
        {"", shortcut + type, "Bin\\b.exe", "Bin\\b.exe"},
        {"", type, "a.exe", "a.exe"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        SetupFacts facts = setupFactsFor(describe(c.product, c.after));
        EXPECT_EQ(c.exe, facts.exeName) << c.product << c.after;
        EXPECT_EQ(c.icon, facts.icon) << c.product << c.after;
    }
    // A path with '/' as the library takes it (RegistryRules' sub-folder case).
    EXPECT_EQ("Bin\\b.exe", setupFactsFor(describe("icon = 'Bin/b.exe'\n")).exeName);
    SetupFacts facts = setupFactsFor(describe("default-folder = 'Maker\\Tool'\nrestart = false\n"));
    EXPECT_EQ("Tool Setup", facts.title);
    EXPECT_EQ("Maker\\Tool", facts.defaultFolder);
    EXPECT_EQ(2, facts.groupCount);
    EXPECT_FALSE(facts.restartAllowed);
    EXPECT_EQ("Tool", setupFactsFor(describe("")).defaultFolder);
}

TEST(GenericTexts, ChosenLanguageElseDefaultElseTheSetupsOwn) {
    LocalText text;
    text.byLanguage = {{"en", "Help"}, {"fr", "Aide"}};
    EXPECT_EQ("Aide", localText(text, "fr", "en"));
    EXPECT_EQ("Help", localText(text, "ge", "en"));
    EXPECT_EQ("", localText(LocalText(), "fr", "en"));
    for (const auto& c : std::vector<std::pair<std::string, std::string>>{
             {"C:\\Setup\\Setup_fr.Dll", "fr"}, {"setup_GE.dll", "ge"}, {"C:\\a\\Setup_fr.Dll.bak", ""},
             {"C:\\a\\Setup.Dll", ""}, {"C:\\a\\Setup_f1.Dll", ""}, {"C:\\a\\XSetup_fr.Dll", ""}})
        EXPECT_EQ(c.second, languageOfLibrary(c.first)) << c.first;
}

TEST(GenericRegistry, AFileTypeTakesFourValuesBelowClassesRoot) {
    Association a;
    a.extension = ".smp";
    a.progId = "Sample.Document";
    a.description = "Sample document";
    a.target = "bin/Tool.exe";
    std::vector<ListedEntry> v = associationValues(a, "C:\\Apps\\Tool");
    ASSERT_EQ(4u, v.size());
    for (const ListedEntry& e : v) {
        EXPECT_EQ(ListedRoot::ClassesRoot, e.root);
        EXPECT_EQ("", e.name);
        EXPECT_FALSE(e.createdKey);
    }
    EXPECT_EQ(".smp", v[0].key);
    EXPECT_EQ("Sample.Document", v[0].text);
    EXPECT_EQ("Sample document", v[1].text);
    EXPECT_EQ("\"C:\\Apps\\Tool\\bin\\Tool.exe\",0", v[2].text);
    EXPECT_EQ("Sample.Document\\shell\\open\\command", v[3].key);
    EXPECT_EQ("\"C:\\Apps\\Tool\\bin\\Tool.exe\" \"%1\"", v[3].text);
    a.arguments = "/open \"%1\"";
    a.icon = "doc.ico";
    v = associationValues(a, "C:\\Apps\\Tool\\");
    EXPECT_EQ("\"C:\\Apps\\Tool\\doc.ico\",0", v[2].text);
    EXPECT_EQ("\"C:\\Apps\\Tool\\bin\\Tool.exe\" /open \"%1\"", v[3].text);
}

TEST(GenericShortcuts, PlacedInTheirShellFolderAndListedAsTheUninstallerRemovesThem) {
    Shortcut menu;
    menu.name = "Tool";
    menu.target = "a.exe";
    Shortcut inFolder = menu;
    inFolder.folder = "Maker/Tools";
    Shortcut desktop = menu;
    desktop.place = ShortcutPlace::Desktop;
    desktop.folder = "ignored";
    struct Case {
        Shortcut shortcut;
        int targetDir;
        const char* subDir;
    } cases[] = {{menu, TargetPrograms, "Tool"}, {inFolder, TargetPrograms, "Maker\\Tools"}, {desktop, TargetDesktop, ""}};
    for (const Case& c : cases) {
        ShortcutPlacement place = shortcutPlacement(c.shortcut, "Tool");
        EXPECT_EQ(c.targetDir, place.targetDir);
        EXPECT_EQ(c.subDir, place.subDir);
        EXPECT_EQ("Tool.lnk", place.fileName);
        unsigned char raw[FileRecordSize];
        ASSERT_TRUE(shortcutLogRecord(place, 1, raw));
        tagCompressFileHeader record;
        ASSERT_TRUE(parseRecord(raw, &record));
        EXPECT_TRUE(recordNamesSafe(record));
        EXPECT_EQ(TargetBase::Special, targetBase(record.targetDir).kind);
        EXPECT_TRUE(isShortcutPath(record.fileName));
        EXPECT_STREQ(c.subDir, record.subDir);
    }
    ShortcutPlacement tooLong = shortcutPlacement(menu, "Tool");
    tooLong.fileName = std::string(PathSize, 'x');
    unsigned char raw[FileRecordSize];
    EXPECT_FALSE(shortcutLogRecord(tooLong, 1, raw));
}

TEST(GenericPages, TheReadyPageEndsTheWizardWhetherListedOrNot) {
    ProductDescription d = describe("");
    EXPECT_EQ(std::vector<PageKind>{PageKind::Ready}, wizardPages(d));
    d.pages.resize(2);
    d.pages[0].kind = PageKind::Licence;
    d.pages[1].kind = PageKind::Ready;
    EXPECT_EQ((std::vector<PageKind>{PageKind::Licence, PageKind::Ready}), wizardPages(d));
    d.pages.pop_back();
    EXPECT_EQ((std::vector<PageKind>{PageKind::Licence, PageKind::Ready}), wizardPages(d));
}

}  // namespace
