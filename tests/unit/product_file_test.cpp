// The product file's reader and rules: a valid file reads into the
// description with its defaults; each fault is reported with its line and
// what was expected; several at once; the rules between the description and
// its manifest; the reference page documents exactly the parser's keys and
// shows the product tested here.
#include <gtest/gtest.h>

#include <string.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tools/product/ProductFile.h"
#include "tools/product/ProductKeys.h"
#include "tools/product/ProductRules.h"

namespace {

std::string readSource(const std::string& relative) {
    std::ifstream in(std::string(SETUP_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

const std::string kValid = readSource("tests/data/product/Product.toml");

// kValid with `from` replaced by `to` (which must be there).
std::string edited(const std::string& from, const std::string& to) {
    std::string text = kValid;
    size_t at = text.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string allErrors(const ProductResult& r) {
    std::string out;
    for (const ProductError& e : r.errors)
        out += e.text() + "\n";
    return out;
}

TEST(ProductFile, ValidFileReadsWithDefaults) {
    ProductResult r = parseProductFile(kValid, "Product.toml");
    ASSERT_TRUE(r.ok()) << allErrors(r);
    const ProductDescription& d = r.description;
    EXPECT_EQ("Sample Tool", d.product.defaultFolder);  // the name by default
    EXPECT_TRUE(d.product.restart);
    EXPECT_EQ("en", d.product.defaultLanguage);
    ASSERT_EQ(3u, d.components.size());
    EXPECT_EQ("Programme", d.components[0].name.byLanguage.at("fr"));
    EXPECT_TRUE(d.components[0].required && d.components[1].selected && !d.components[2].selected);
    EXPECT_EQ("Help", d.components[2].name.byLanguage.at("en"));  // a plain string is the default language's
    ASSERT_EQ(5u, d.pages.size());
    EXPECT_EQ(PageKind::Licence, d.pages[1].kind);
    EXPECT_EQ(ShortcutPlace::Desktop, d.shortcuts[1].place);
    EXPECT_EQ("Sample Tool", d.shortcuts[0].folder);
    EXPECT_EQ(RegistryType::Dword, d.registry[1].type);
    EXPECT_EQ(4294967295u, d.registry[1].number);
    EXPECT_EQ("\"%1\"", d.associations[0].arguments);
    EXPECT_EQ(39, d.shortcuts[0].lines.of("target"));
}

struct FaultCase {
    const char* from;
    const char* to;
    int line;
    const char* expected;  // in the one error reported
};

TEST(ProductFile, EachFaultNamesItsLineAndWhatWasExpected) {
    const FaultCase cases[] = {
        {"name = \"Sample Tool\"\nversion", "name = \"Sample Tool\nversion", 3, "Product.toml:3:"},  // syntax
        {"publisher =", "publsher =", 5, "unknown key `publsher` in [product] (did you mean `publisher`?)"},
        {"icon =", "colour =", 7, "unknown key `colour` in [product]\n"},
        {"[[association]]", "[[asociation]]", 59, "did you mean `association`?"},
        {"[pages.licence]", "[pages.licens]", 31, "unknown page `licens` (did you mean `licence`?)"},
        {"[product]", "[[product]]", 2, "`product` must be written [product]"},
        {"publisher = \"Example Software\"", "", 2, "[product] needs `publisher` (string)"},
        {"languages = [\"en\", \"fr\"]", "languages = \"en\"", 8, "must be a list of strings"},
        {"selected = false", "selected = \"no\"", 28, "`selected` must be true or false"},
        {"root = \"HKLM\"", "root = \"HKU\"", 47, "`root` must be one of HKLM, HKCU, HKCR"},
        {"name = \"Help\"", "name = 3", 27, "`name` must be a string or a table of language = string"},
        {"data = 4294967295", "data = 4294967296", 57, "dword must be a whole number from 0 to 4294967295"},
        {"data = \"Standard\"", "data = 7", 50, "`data` of a string value must be a string"},
        {"version = \"1.2.0\"", "version = \"1.2.x\"", 4, "`version` must be a string like \"1.2.0\""},
        {"version = \"1.2.0\"", "version = 1.2", 4, "`version` must be a string: 2 to 4 numbers"},
        {"version = \"1.2.0\"", "version = \"1.70000\"", 4, "`version` must be a string like \"1.2.0\""},
        {"selected = false", "selected = false\nrequired = true", 28, "required, so it cannot start unticked"},
        {"name = \"Help\"", "name = { fr = \"Aide\" }", 27, "no text in the default language 'en'"},
        {"name = \"Help\"", "name = { en = \"Help\", ge = \"Hilfe\" }", 27, "'ge', which is not among `languages`"},
        {"[\"en\", \"fr\"]", "[\"en\", \"fr\", \"xx\"]", 8, "unknown language 'xx'"},
        {"[\"en\", \"fr\"]", "[\"fr\"]", 8, "`languages` must include the default language 'en'"},
        {"lines = \"\"\"", "manifest = \"m.txt\"\nlines = \"\"\"", 10, "exactly one of `manifest` and `lines`"},
        {"target = \"SampleTool.exe\"", "target = \"../SampleTool.exe\"", 39,
         "`target` must be a path inside the install folder"},
        {"target = \"SampleTool.exe\"", "target = \"C:SampleTool.exe\"", 39,
         "`target` must be a path inside the install folder"},
        {"target = \"SampleTool.exe\"", "target = \"Tool.exe\"", 39,
         "`target` \"Tool.exe\" is not a file the product installs"},
        {"'Software\\Example Software\\Sample Tool'", "'Software\\\\Sample'", 48, "`key` must be levels"},
        {"\".smp\"", "\"smp\"", 60, "`extension` must be a dot and letters"},
        {"\"Sample.Document\"", "\"Sample Document\"", 61, "`progid` must be letters, digits and dots"},
        {"install  Docs  2", "install  Docs  4", 15, "group 4 is not a component (the product has 3)"},
        {"groups 3", "groups 2", 12, "`groups 2` but the product has 3 components"},
        {"tree help ", "tree help ?", 16, "Product.toml:16: unknown target"},  // the manifest's own rule
    };
    for (const FaultCase& c : cases) {
        ProductResult r = parseProductFile(edited(c.from, c.to), "Product.toml");
        ASSERT_EQ(1u, r.errors.size()) << c.to << "\n" << allErrors(r);
        EXPECT_EQ(c.line, r.errors[0].line) << allErrors(r);
        EXPECT_NE(std::string::npos, (r.errors[0].text() + "\n").find(c.expected)) << allErrors(r);
    }
}

TEST(ProductFile, ReportsSeveralFaultsAtOnce) {
    std::string text = edited("publisher =", "publsher =");
    text += "[[shortcut]]\nplace = \"taskbar\"\n";
    ProductResult r = parseProductFile(text, "P.toml");
    // The misspelt key (not the publisher it leaves missing too), the new
    // shortcut's place, name and target.
    EXPECT_EQ(4u, r.errors.size()) << allErrors(r);
}

TEST(ProductFile, InstalledFilesAreMatchedAsWindowsNamesThem) {
    const struct {
        const char* target;
        const char* manifestFrom;
        const char* manifestTo;
        bool installed;
    } cases[] = {
        {"sampletool.EXE", "", "", true},
        {"Docs/readme.txt", "", "", true},     // below an install tree
        {"help\\\\index.htm", "", "", true},  // TOML's escaped backslash
        {"Docsx/readme.txt", "", "", false},   // beside a tree, not below it
        {"SampleRuntime.dll", "", "", true},
        {"SampleRuntime.dll", "SampleRuntime.dll  install", "SampleRuntime.dll  windows", false},
        {"Runtime.dll", "SampleRuntime.dll  install  -     1", "SampleRuntime.dll  install  -  1  name=Runtime.dll", true},
    };
    for (const auto& c : cases) {
        std::string text = edited("target = \"SampleTool.exe\"", std::string("target = \"") + c.target + "\"");
        if (*c.manifestFrom)
            text.replace(text.find(c.manifestFrom), strlen(c.manifestFrom), c.manifestTo);
        EXPECT_EQ(c.installed, parseProductFile(text, "P.toml").ok()) << c.target;
    }
}

TEST(ProductFile, NamedManifestIsCheckedWithItsOwnName) {
    ProductResult r = parseProductFile(kValid.substr(0, kValid.find("[files]")) + "[files]\nmanifest = \"files.txt\"\n" +
                             kValid.substr(kValid.find("[[component]]")),
                         "P.toml");
    ASSERT_TRUE(r.ok()) << allErrors(r);
    std::vector<ProductError> errors =
        checkProductManifest(r.description, "file bin/SampleTool.exe install - 1\nfile a.txt install - 5\n", "files.txt");
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ("files.txt:2: group 5 is not a component (the product has 3)", errors[0].text());
}

// A key's row in the reference, from the key table.
std::string referenceRow(const KeyInfo& k) {
    std::string type = kindName(k.kind);
    if (k.kind == KeyKind::Choice) {
        std::string choices = k.choices;
        type = "one of `";
        for (char c : choices)
            type += c == '|' ? std::string("`, `") : std::string(1, c);
        type += "`";
    }
    std::string fallback = k.defaultValue;
    if (k.required)
        fallback = "\u2014";
    else if (!k.derived && k.kind == KeyKind::Text)
        fallback = "none";
    else if (!k.derived)
        fallback = k.kind == KeyKind::Bool ? "`" + fallback + "`" : "`\"" + fallback + "\"`";
    return std::string("| `") + k.name + "` | " + type + " | " + (k.required ? "yes" : "no") + " | " + fallback +
           " | " + k.doc + " |";
}

TEST(ProductReference, DocumentsExactlyTheReadersKeys) {
    std::map<std::string, std::vector<std::string>> expected, documented;
    for (const SectionInfo& s : productSections()) {
        std::string heading = std::string("### `") + (s.array ? "[[" : "[") + s.name + (s.array ? "]]`" : "]`");
        expected[heading];
        for (const KeyInfo& k : productKeys())
            if (std::string(k.section) == s.name)
                expected[heading].push_back(referenceRow(k));
    }
    std::istringstream page(readSource("docs/product-file.md"));
    std::string line, heading;
    while (std::getline(page, line)) {
        if (line.rfind("### ", 0) == 0)
            documented[heading = line];
        else if (line.rfind("| `", 0) == 0)
            documented[heading].push_back(line);
    }
    for (const auto& [section, rows] : expected)
        EXPECT_EQ(rows, documented[section]) << section;
    for (const auto& [section, rows] : documented)
        EXPECT_TRUE(expected.count(section)) << "docs/product-file.md documents " << section;
}

TEST(ProductReference, ExampleIsTheTestedProduct) {
    std::string page = readSource("docs/product-file.md");
    size_t start = page.find("```toml\n") + 8;
    EXPECT_EQ(kValid, page.substr(start, page.find("```", start) - start));
}

}  // namespace
