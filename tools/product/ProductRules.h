// The rules a product description must follow beyond the shape of its file:
// the version's form, languages the library ships with a text for the
// default one everywhere, a required component that is also ticked, paths
// that stay inside the install folder, registry keys, file types, and, with
// the manifest, that every shortcut, icon and association names a file the
// product installs and every file's group is a component. Portable.
#ifndef PRODUCT_RULES_H
#define PRODUCT_RULES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/product/ProductDescription.h"

// "1.2", "1.2.0" or "1.2.0.7": 2 to 4 decimal numbers from 0 to 65535 (the
// parts of a Windows version resource), no sign, no blank.
bool isProductVersion(const std::string& version);

// A path below the install folder: relative ('\' or '/' between levels), not
// empty, no drive, no empty, "." or ".." level.
bool isInstallRelative(const std::string& path);

// One of the two-letter codes of the library's language libraries.
bool isLibraryLanguage(const std::string& code);

// A registry key below a root: levels separated by '\', none empty.
bool isRegistryKey(const std::string& key);

// A file type: a dot, then 1 to 15 letters, digits, '_' or '-'.
bool isFileExtension(const std::string& extension);

// A ProgID: letters, digits and dots, starting with a letter, at most 39.
bool isProgId(const std::string& progId);

// What is wrong with registry data for `type` (empty: nothing): a dword
// takes a whole number from 0 to 4294967295, a string type a string.
std::string registryDataProblem(RegistryType type, bool isInteger, int64_t number);

// The rules that need no manifest, and, when the files are inline, those of
// checkProductManifest with them. Empty: all hold.
std::vector<ProductError> checkProduct(const ProductDescription& product);

// The rules between the description and its manifest (`manifestText`,
// named `manifestName` in messages): the manifest parses, its files' groups
// are components (and `groups N`, when given, is their number), every
// shortcut, icon and association names an installed file.
std::vector<ProductError> checkProductManifest(const ProductDescription& product, const std::string& manifestText,
                                               const std::string& manifestName);

#endif
