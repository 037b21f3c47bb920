// InstallReg.log: every entry survives its line (escapes included), a
// damaged line damages the whole list, a later run's entries merge without
// repeats, and the uninstaller removes values newest first, then keys
// deepest first.
#include "format/RegistryList.h"

#include <gtest/gtest.h>

namespace {

ListedEntry value(ListedRoot root, const std::string& key, const std::string& name, ListedType type,
                  const std::string& text, uint32_t number = 0) {
    ListedEntry e;
    e.root = root;
    e.key = key;
    e.name = name;
    e.type = type;
    e.text = text;
    e.number = number;
    return e;
}

ListedEntry createdKey(ListedRoot root, const std::string& key) {
    ListedEntry e;
    e.createdKey = true;
    e.root = root;
    e.key = key;
    return e;
}

TEST(RegistryList, EveryEntryReadsBackAsWritten) {
    const std::vector<ListedEntry> entries = {
        value(ListedRoot::LocalMachine, "Software\\Maker\\Tool", "Edition", ListedType::String, "Standard"),
        value(ListedRoot::CurrentUser, "Software\\Maker\\Tool", "Flags", ListedType::Dword, "", 4294967295u),
        value(ListedRoot::ClassesRoot, ".smp", "", ListedType::String, ""),
        // Tabs, line breaks and the escape character itself inside the fields.
        value(ListedRoot::ClassesRoot, "Tool.Doc\\shell\\open\\command", "a\tb", ListedType::ExpandString,
              "\"%ProgramFiles%\\t.exe\" \"%1\"\r\nnext\t100%25"),
        createdKey(ListedRoot::CurrentUser, "Software\\Maker"),
    };
    std::string text;
    for (const ListedEntry& e : entries)
        text += registryListLine(e);
    std::vector<ListedEntry> read;
    size_t bad = 0;
    ASSERT_TRUE(parseRegistryList(text, &read, &bad)) << "line " << bad;
    ASSERT_EQ(entries.size(), read.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].createdKey, read[i].createdKey) << i;
        EXPECT_EQ(entries[i].root, read[i].root) << i;
        EXPECT_EQ(entries[i].key, read[i].key) << i;
        EXPECT_EQ(entries[i].name, read[i].name) << i;
        if (!entries[i].createdKey) {
            EXPECT_EQ(entries[i].type, read[i].type) << i;
            EXPECT_EQ(entries[i].text, read[i].text) << i;
            EXPECT_EQ(entries[i].number, read[i].number) << i;
        }
    }
    EXPECT_TRUE(parseRegistryList("", &read, &bad));
    EXPECT_TRUE(read.empty());
}

TEST(RegistryList, ALineOfAnotherShapeDamagesTheWholeList) {
    const std::string good = "key\tHKCU\tSoftware\\Maker\r\n";
    const char* const damaged[] = {
        "keys\tHKCU\tSoftware",                          // unknown kind
        "key\tHKU\tSoftware",                            // a root the setup never writes
        "key\tHKCU\t\\Software",                         // leading backslash
        "key\tHKCU\tSoftware\\\\Maker",                  // empty level
        "key\tHKCU\t",                                   // no key
        "key\tHKCU\tSoftware\textra",                    // a field too many
        "value\tHKLM\tSoftware\tn\tstring",              // data missing
        "value\tHKLM\tSoftware\tn\tbinary\t00",          // unknown type
        "value\tHKLM\tSoftware\tn\tdword\t4294967296",   // beyond a DWORD
        "value\tHKLM\tSoftware\tn\tdword\t-1",
        "value\tHKLM\tSoftware\tn\tdword\t",
        "value\tHKLM\tSoftware\tn\tstring\t50%",         // a bare escape character
        "value\tHKLM\tSoftware\tn\tstring\t%41",         // an escape the writer never makes
        "",                                               // an empty line
    };
    for (const char* line : damaged) {
        std::vector<ListedEntry> read;
        size_t bad = 0;
        EXPECT_FALSE(parseRegistryList(good + line + "\r\n" + good, &read, &bad)) << line;
        EXPECT_EQ(2u, bad) << line;
        EXPECT_TRUE(read.empty()) << line;
    }
}

TEST(RegistryList, ALaterRunAddsOnlyWhatIsNotListedYet) {
    const std::vector<ListedEntry> earlier = {
        createdKey(ListedRoot::LocalMachine, "Software\\Maker"),
        value(ListedRoot::LocalMachine, "Software\\Maker", "Edition", ListedType::String, "Standard"),
    };
    const std::vector<ListedEntry> added = {
        value(ListedRoot::LocalMachine, "SOFTWARE\\maker", "EDITION", ListedType::String, "Pro"),  // the same value
        value(ListedRoot::CurrentUser, "Software\\Maker", "Edition", ListedType::String, "Pro"),   // another root
        createdKey(ListedRoot::LocalMachine, "Software\\Maker\\Tool"),
    };
    std::vector<ListedEntry> merged = mergeRegistryLists(earlier, added);
    ASSERT_EQ(4u, merged.size());
    EXPECT_EQ("Standard", merged[1].text);
    EXPECT_EQ(ListedRoot::CurrentUser, merged[2].root);
    EXPECT_EQ("Software\\Maker\\Tool", merged[3].key);
}

TEST(RegistryList, ValuesGoNewestFirstThenKeysDeepestFirst) {
    const std::vector<ListedEntry> entries = {
        createdKey(ListedRoot::ClassesRoot, "Tool.Doc"),
        value(ListedRoot::ClassesRoot, "Tool.Doc", "", ListedType::String, "first"),
        createdKey(ListedRoot::ClassesRoot, "Tool.Doc\\shell"),
        createdKey(ListedRoot::ClassesRoot, "Tool.Doc\\shell\\open\\command"),
        createdKey(ListedRoot::ClassesRoot, "Tool.Doc\\shell\\open"),
        value(ListedRoot::ClassesRoot, "Tool.Doc\\shell\\open\\command", "", ListedType::String, "second"),
    };
    std::vector<ListedEntry> order = registryRemovalOrder(entries);
    ASSERT_EQ(6u, order.size());
    EXPECT_EQ("second", order[0].text);
    EXPECT_EQ("first", order[1].text);
    EXPECT_EQ("Tool.Doc\\shell\\open\\command", order[2].key);
    EXPECT_EQ("Tool.Doc\\shell\\open", order[3].key);
    EXPECT_EQ("Tool.Doc\\shell", order[4].key);
    EXPECT_EQ("Tool.Doc", order[5].key);
}

}  // namespace
