// The product file's single-value rules at their edges: versions, paths
// inside the install folder, languages, registry keys, file types, ProgIDs,
// registry data; and the "did you mean" for a misspelt key.
#include <gtest/gtest.h>

#include "tools/product/ProductKeys.h"
#include "tools/product/ProductRules.h"

namespace {

struct RuleCase {
    bool (*rule)(const std::string&);
    const char* text;
    bool holds;
};

TEST(ProductRules, SingleValuesAtTheirEdges) {
    const RuleCase cases[] = {
        {isProductVersion, "1.2", true},         {isProductVersion, "1.2.0.65535", true},
        {isProductVersion, "1", false},          {isProductVersion, "1.2.3.4.5", false},
        {isProductVersion, "1.65536", false},    {isProductVersion, "1..2", false},
        {isProductVersion, "1.-2", false},       {isProductVersion, "1.2 ", false},
        {isProductVersion, "1.0000000000002", false},
        {isInstallRelative, "App.exe", true},    {isInstallRelative, "bin\\tools/App.exe", true},
        {isInstallRelative, "", false},          {isInstallRelative, "/App.exe", false},
        {isInstallRelative, "\\\\server\\App.exe", false},
        {isInstallRelative, "C:App.exe", false}, {isInstallRelative, "bin/../../App.exe", false},
        {isInstallRelative, "bin//App.exe", false}, {isInstallRelative, "./App.exe", false},
        {isLibraryLanguage, "en", true},         {isLibraryLanguage, "fn", true},
        {isLibraryLanguage, "us", false},        {isLibraryLanguage, "de", false},
        {isLibraryLanguage, "EN", false},
        {isRegistryKey, "Software\\Maker", true}, {isRegistryKey, "\\Software", false},
        {isRegistryKey, "Software\\", false},    {isRegistryKey, "Software\\\\Maker", false},
        {isFileExtension, ".smp", true},         {isFileExtension, ".tar-gz_2", true},
        {isFileExtension, ".", false},           {isFileExtension, "smp", false},
        {isFileExtension, ".s p", false},        {isFileExtension, ".abcdefghijklmnop", false},
        {isProgId, "Sample.Document.1", true},   {isProgId, "1Sample", false},
        {isProgId, "Sample.", false},            {isProgId, "Sample Document", false},
        {isProgId, "A234567890123456789012345678901234567890", false},  // 40 characters
    };
    for (const RuleCase& c : cases)
        EXPECT_EQ(c.holds, c.rule(c.text)) << "'" << c.text << "'";
}

TEST(ProductRules, RegistryDataFitsItsType) {
    EXPECT_EQ("", registryDataProblem(RegistryType::Dword, true, 0));
    EXPECT_EQ("", registryDataProblem(RegistryType::Dword, true, 4294967295LL));
    EXPECT_NE("", registryDataProblem(RegistryType::Dword, true, -1));
    EXPECT_NE("", registryDataProblem(RegistryType::Dword, false, 0));
    EXPECT_EQ("", registryDataProblem(RegistryType::ExpandString, false, 0));
    EXPECT_NE("", registryDataProblem(RegistryType::String, true, 1));
}

TEST(ProductRules, NearestKeyOnlyForLikelyTypos) {
    const std::vector<std::string> keys = {"name", "version", "publisher", "help-url", "about-url"};
    const struct {
        const char* word;
        const char* nearest;
    } cases[] = {{"versoin", "version"}, {"publsher", "publisher"}, {"helpurl", "help-url"},
                 {"nmae", "name"},       {"colour", ""},            {"ab", ""},
                 {"url", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(c.nearest, nearestWord(c.word, keys)) << c.word;
}

}  // namespace
