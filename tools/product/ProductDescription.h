// What a product file describes, as plain data: the product's identity, its
// files (a setupvol manifest, inline or named), its components (the archive's
// groups), the wizard pages and their texts in each language, shortcuts,
// registry values and file associations. Read by ProductFile.h, checked by
// ProductRules.h, for the generic setup and `setupvol build` to act on. Each
// element keeps the line it was written on, so that a later check can name
// it. Portable: no <windows.h>, no TOML types.
#ifndef PRODUCT_DESCRIPTION_H
#define PRODUCT_DESCRIPTION_H

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

// The line of each key an element was written with, for the checks that
// come after reading; a key not written answers the element's own line.
struct KeyLines {
    int line = 0;  // the element's table
    std::map<std::string, int> keys;
    int of(const std::string& key) const {
        auto at = keys.find(key);
        return at == keys.end() ? line : at->second;
    }
};

// A text shown to the user, by two-letter language code ("en", "fr" ...). A
// text written as a plain string is the default language's.
struct LocalText {
    std::map<std::string, std::string> byLanguage;
    int line = 0;
    bool empty() const { return byLanguage.empty(); }
};

struct ProductIdentity {
    std::string name;
    std::string version;        // 2 to 4 numbers, "1.2.0"
    std::string publisher;
    std::string aboutUrl;       // empty: none
    std::string helpUrl;        // empty: none
    std::string icon;           // an installed file, relative to the install folder; empty: none
    std::string defaultFolder;  // below Program Files
    bool restart = true;        // a restart may be offered when files were in use
    std::string defaultLanguage;
    std::vector<std::string> languages;  // the default language among them
    KeyLines lines;
};

struct ProductFiles {
    std::string manifestPath;  // relative to the product file; empty when inline
    std::string inlineManifest;
    KeyLines lines;
};

// Component n (from 1, in the order written) is group n of the archive.
struct Component {
    LocalText name;
    LocalText description;
    bool required = false;  // always installed: its box is ticked and greyed
    bool selected = true;   // ticked at the start
    KeyLines lines;
};

// The wizard's pages, shown in this order when present.
enum class PageKind { Welcome, Licence, Readme, Folder, Components, Ready };

struct Page {
    PageKind kind = PageKind::Welcome;
    LocalText title;  // empty: the setup's own text
    LocalText text;   // empty: the setup's own text
    LocalText file;   // licence and readme: the file shown, relative to the product file
    LocalText accept; // licence: the box that gates Next; empty: the setup's own text
    KeyLines lines;
};

// The enumerators of a choice follow the order of its choices in the key
// table (ProductKeys.cpp), which the reader relies on.
enum class ShortcutPlace { StartMenu, Desktop };

struct Shortcut {
    ShortcutPlace place = ShortcutPlace::StartMenu;
    std::string name;
    std::string target;     // an installed file
    std::string arguments;
    std::string icon;       // an installed file; empty: the target's
    std::string folder;     // Start menu folder; empty: the product's name
    KeyLines lines;
};

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot };
enum class RegistryType { String, ExpandString, Dword };

struct RegistryValue {
    RegistryRoot root = RegistryRoot::LocalMachine;
    std::string key;
    std::string name;  // empty: the key's default value
    RegistryType type = RegistryType::String;
    std::string text;      // String, ExpandString
    uint32_t number = 0;   // Dword
    KeyLines lines;
};

struct Association {
    std::string extension;  // ".smp"
    std::string progId;
    std::string description;
    std::string target;     // an installed file, the program that opens it
    std::string arguments;
    std::string icon;       // an installed file; empty: the target's
    KeyLines lines;
};

struct ProductDescription {
    std::string fileName;  // for messages
    ProductIdentity product;
    ProductFiles files;
    std::vector<Component> components;
    std::vector<Page> pages;  // in PageKind order
    std::vector<Shortcut> shortcuts;
    std::vector<RegistryValue> registry;
    std::vector<Association> associations;
};

// One problem: "Product.toml:12:5: `version` must be ...". Column 0 when
// only the line is known, line 0 when the problem is the whole file's.
struct ProductError {
    std::string file;
    int line = 0;
    int column = 0;
    std::string message;
    std::string text() const;
};

#endif
