// productcheck FILE: reads a product file and the manifest it names, and
// prints every problem, one a line. Exit codes: 0 valid, 1 problems found
// or a file unreadable, 2 wrong usage.
#include <iostream>
#include <string>

#include "tools/product/ProductFile.h"
#include "tools/product/ProductRules.h"

namespace {

enum CheckExit { CheckValid = 0, CheckProblems = 1, CheckUsage = 2 };

// The folder part of `path` with its separator, "" for a bare name.
std::string folderOf(const std::string& path) {
    size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: productcheck PRODUCT-FILE\n";
        return CheckUsage;
    }
    const std::string path = argv[1];
    std::string text;
    if (!readTextFile(path, &text)) {
        std::cerr << path << ": cannot be read\n";
        return CheckProblems;
    }
    ProductResult result = parseProductFile(text, path);
    const ProductDescription& d = result.description;
    if (result.ok() && !d.files.manifestPath.empty()) {
        std::string manifestPath = folderOf(path) + d.files.manifestPath;
        std::string manifest;
        if (!readTextFile(manifestPath, &manifest))
            result.errors.push_back({path, d.files.lines.of("manifest"), 0, "the manifest " + manifestPath + " cannot be read"});
        else
            result.errors = checkProductManifest(d, manifest, manifestPath);
    }
    for (const ProductError& e : result.errors)
        std::cerr << e.text() << "\n";
    return result.ok() ? CheckValid : CheckProblems;
}
