// The generic setup's decisions over a product description, with no window:
// the facts its SetupProgram needs, the text of a page in the chosen
// language, the wizard's pages, the registry values a file type takes, where
// a shortcut goes and the Install.log record that lists it for the
// uninstaller. Portable (Setup.h brings <windows.h> only in the Windows
// build); tested natively.
#ifndef GENERIC_RULES_H
#define GENERIC_RULES_H

#include <string>
#include <vector>

#include "SetupRules.h"
#include "format/RegistryList.h"
#include "tools/product/ProductDescription.h"

// The SetupFacts of `product`. Its main program (App Paths, and DisplayIcon
// when it has no icon) is the product's icon when that is a program, else
// the first shortcut's target, else the first file type's program, as its
// path below the install folder: App Paths is named after its file name and
// points at it in its sub-folder.
SetupFacts setupFactsFor(const ProductDescription& product);

// `text` in `language`, else in `defaultLanguage`; "" when it has neither
// (the setup's own text applies).
std::string localText(const LocalText& text, const std::string& language, const std::string& defaultLanguage);

// The two-letter code of a language library's path ("...\Setup_fr.Dll" gives
// "fr", any case); "" for any other name.
std::string languageOfLibrary(const std::string& path);

// `relative` (an installed file, '/' or '\' between levels) below `folder`.
std::string installedPath(const std::string& folder, const std::string& relative);

// The values a file type takes, in the order they are written, below
// HKEY_CLASSES_ROOT: the extension's default value (the ProgID), the
// ProgID's (its description), its DefaultIcon ("path",0) and its
// shell\open\command (the program, quoted, and its arguments; "%1" by
// default). `folder` is the install folder.
std::vector<ListedEntry> associationValues(const Association& association, const std::string& folder);

// A registry value of the product file as the list writes it.
ListedEntry registryValueEntry(const RegistryValue& value);

// Where a shortcut goes: the targetDir keyword of its shell folder (the
// desktop, or the Start menu's programs), the folder below it ("" on the
// desktop; its `folder`, else the product's name, in the Start menu) and
// its file name (its name and ".lnk").
struct ShortcutPlacement {
    int targetDir;
    std::string subDir;
    std::string fileName;
};
ShortcutPlacement shortcutPlacement(const Shortcut& shortcut, const std::string& productName);

// The Install.log record (FileRecordSize bytes into `out`) that lists a
// shortcut the setup made, in component `group`: the uninstaller removes it
// as it removes a shortcut the archive installed. False when a name does not
// fit its field.
bool shortcutLogRecord(const ShortcutPlacement& place, int group, unsigned char* out);

// The wizard's pages: the kinds the description lists, in order, and the
// ready page last even when it lists none (its Install starts the run).
std::vector<PageKind> wizardPages(const ProductDescription& product);

#endif
