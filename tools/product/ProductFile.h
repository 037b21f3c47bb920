// Reading a product file: TOML text in, a ProductDescription or every
// problem found out. Unknown keys are errors (with the nearest known key
// when it looks like a typo), as are missing required keys and values of the
// wrong type; then the rules of ProductRules.h run on what was read, with an
// inline manifest's files. Several problems are reported at once. Portable.
#ifndef PRODUCT_FILE_H
#define PRODUCT_FILE_H

#include <string>
#include <vector>

#include "tools/product/ProductDescription.h"

// The product file's name beside the generic setup (GenericSetup.exe finds
// it in its own folder; `setupvol build` writes it there).
constexpr char kProductFileName[] = "Product.toml";

struct ProductResult {
    ProductDescription description;
    std::vector<ProductError> errors;  // empty: the description is complete and valid
    bool ok() const { return errors.empty(); }
};

// Reads `text`, the product file named `fileName` in messages. A manifest
// the file names (`files.manifest`) is not read here: its files are checked
// by checkProductManifest once the caller has read it.
ProductResult parseProductFile(const std::string& text, const std::string& fileName);

// Reads the whole file `path` (a product file, a page's text) into `text`.
// Result: false when it cannot be opened.
bool readTextFile(const std::string& path, std::string* text);

#endif
