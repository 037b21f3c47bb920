// The product file's keys, defined once: the parser checks every table
// against this list (unknown keys, missing required ones, the type of each
// value) and takes literal defaults from it, and docs/product-file.md is
// checked against it by a test, so the reference cannot drift from the
// parser. Portable.
#ifndef PRODUCT_KEYS_H
#define PRODUCT_KEYS_H

#include <stddef.h>

#include <string>
#include <vector>

// What a value must be.
enum class KeyKind {
    String,      // any string
    Text,        // a string (the default language's) or a table of language code = string
    Bool,
    StringList,  // an array of strings
    Choice,      // one of the strings in `choices`, separated by '|'
    Data,        // a string or a whole number (registry data)
};

// A table of the file: `[product]`, `[pages.licence]`, or an array of
// tables `[[shortcut]]`.
struct SectionInfo {
    const char* name;
    bool array;
    bool required;
    const char* doc;
};

struct KeyInfo {
    const char* section;
    const char* name;
    KeyKind kind;
    bool required;
    // A literal default (a string as it is; "true"/"false" for Bool), or,
    // when `derived`, the default described in words for the reference.
    const char* defaultValue;
    bool derived;
    const char* choices;  // Choice only
    const char* doc;
};

const std::vector<SectionInfo>& productSections();
const std::vector<KeyInfo>& productKeys();

// The section named `name`, or null.
const SectionInfo* findSection(const std::string& name);
// The key `name` of `section`, or null.
const KeyInfo* findKey(const std::string& section, const std::string& name);

// The word a reader of the reference sees for a kind ("string", "text" ...).
const char* kindName(KeyKind kind);

// The candidate nearest to `word` when it is a likely typo of it (at most
// two edits, and fewer than half its letters), else empty.
std::string nearestWord(const std::string& word, const std::vector<std::string>& candidates);

#endif
