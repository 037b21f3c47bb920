// The product description's rules; see ProductRules.h.
#include "tools/product/ProductRules.h"

#include <algorithm>
#include <set>

#include "SetupTypes.h"
#include "resources/resource.h"
#include "setup/LanguageRules.h"
#include "tools/setupvol/Manifest.h"
#include "tools/setupvol/Names.h"

namespace {

// The library's language codes as an error lists them: "en, fr, ... or fn".
std::string libraryLanguages() {
    std::string list;
    for (int id = IDL_ENGLISH; languageCode(id); ++id)
        list += std::string(list.empty() ? "" : languageCode(id + 1) ? ", " : " or ") + languageCode(id);
    return list;
}

const uint32_t kVersionPartMax = 65535;  // a version resource's part is 16 bits
const size_t kExtensionMax = 16;         // the dot included
const size_t kProgIdMax = 39;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::vector<std::string> split(const std::string& text, const std::string& separators) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (separators.find(c) != std::string::npos)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

const char* pageName(PageKind kind) {
    switch (kind) {
    case PageKind::Welcome: return "pages.welcome";
    case PageKind::Licence: return "pages.licence";
    case PageKind::Readme: return "pages.readme";
    case PageKind::Folder: return "pages.folder";
    case PageKind::Components: return "pages.components";
    case PageKind::Ready: return "pages.ready";
    }
    return "";
}

class Checker {
public:
    explicit Checker(const ProductDescription& d) : d_(d) {}

    void fail(int line, const std::string& message) { errors.push_back({d_.fileName, line, 0, message}); }

    // A text has the default language, and only languages the product offers.
    void text(const LocalText& t, const std::string& where, bool required) {
        if (t.empty()) {
            if (required)
                fail(t.line, where + " is missing");
            return;
        }
        const ProductIdentity& p = d_.product;
        if (!t.byLanguage.count(p.defaultLanguage))
            fail(t.line, where + " has no text in the default language '" + p.defaultLanguage + "'");
        for (const auto& [language, value] : t.byLanguage)
            if (language != p.defaultLanguage && std::find(p.languages.begin(), p.languages.end(), language) == p.languages.end())
                fail(t.line, where + " has a text in '" + language + "', which is not among `languages`");
    }

    void installed(const std::string& path, int line, const std::string& key, bool optional) {
        if (optional && path.empty())
            return;
        if (!isInstallRelative(path))
            fail(line, "`" + key + "` must be a path inside the install folder, like \"bin/App.exe\", not \"" +
                           path + "\"");
    }

    std::vector<ProductError> errors;

private:
    const ProductDescription& d_;
};

void checkIdentity(Checker& c, const ProductIdentity& p) {
    if (!isProductVersion(p.version))
        c.fail(p.lines.of("version"),
               "`version` must be a string like \"1.2.0\" (2 to 4 numbers from 0 to 65535), not \"" + p.version + "\"");
    for (const char* key : {"about-url", "help-url"}) {
        const std::string& url = std::string(key) == "about-url" ? p.aboutUrl : p.helpUrl;
        if (!url.empty() && url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0)
            c.fail(p.lines.of(key), std::string("`") + key + "` must start with http:// or https://");
    }
    c.installed(p.icon, p.lines.of("icon"), "icon", true);
    if (!isInstallRelative(p.defaultFolder))
        c.fail(p.lines.of("default-folder"), "`default-folder` must be a folder below Program Files, like \"Maker\\\\Product\"");
    if (p.languages.empty())
        c.fail(p.lines.of("languages"), "`languages` must name at least one language");
    for (const std::string& code : p.languages)
        if (!isLibraryLanguage(code))
            c.fail(p.lines.of("languages"), "unknown language '" + code + "' (expected " + libraryLanguages() + ")");
    if (!isLibraryLanguage(p.defaultLanguage))
        c.fail(p.lines.of("default-language"), "unknown language '" + p.defaultLanguage + "' in `default-language`");
    else if (std::find(p.languages.begin(), p.languages.end(), p.defaultLanguage) == p.languages.end())
        c.fail(p.lines.of("languages"), "`languages` must include the default language '" + p.defaultLanguage + "'");
}

void checkElements(Checker& c, const ProductDescription& d) {
    const ProductFiles& f = d.files;
    if (f.manifestPath.empty() == f.inlineManifest.empty())
        c.fail(f.lines.line, "[files] needs exactly one of `manifest` and `lines`");
    if (d.components.empty())
        c.fail(0, "the product needs at least one [[component]]");
    for (size_t i = 0; i < d.components.size(); ++i) {
        const Component& comp = d.components[i];
        std::string where = "component " + std::to_string(i + 1);
        c.text(comp.name, where + "'s `name`", true);
        c.text(comp.description, where + "'s `description`", false);
        if (comp.required && !comp.selected)
            c.fail(comp.lines.of("selected"), where + " is required, so it cannot start unticked (`selected = false`)");
    }
    for (const Page& page : d.pages) {
        std::string where = std::string("[") + pageName(page.kind) + "]";
        c.text(page.title, where + " `title`", false);
        c.text(page.text, where + " `text`", false);
        c.text(page.accept, where + " `accept`", false);
        c.text(page.file, where + " `file`", page.kind == PageKind::Licence || page.kind == PageKind::Readme);
    }
    for (const Shortcut& s : d.shortcuts) {
        c.installed(s.target, s.lines.of("target"), "target", false);
        c.installed(s.icon, s.lines.of("icon"), "icon", true);
        if (s.name.empty() || !checkPathComponent(s.name).empty())
            c.fail(s.lines.of("name"), "`name` must be a file name (no \\ / : * ? \" < > |), not \"" + s.name + "\"");
        if (!s.folder.empty() && !isInstallRelative(s.folder))
            c.fail(s.lines.of("folder"), "`folder` must be a folder below the Start menu's programs");
    }
    for (const RegistryValue& r : d.registry)
        if (!isRegistryKey(r.key))
            c.fail(r.lines.of("key"), "`key` must be levels separated by \\ below the root, like "
                                      "\"Software\\\\Maker\\\\Product\", not \"" + r.key + "\"");
    std::set<std::string> extensions;
    for (const Association& a : d.associations) {
        if (!isFileExtension(a.extension))
            c.fail(a.lines.of("extension"), "`extension` must be a dot and letters, like \".smp\", not \"" + a.extension + "\"");
        else if (!extensions.insert(foldName(a.extension)).second)
            c.fail(a.lines.of("extension"), "the file type " + a.extension + " is associated twice");
        if (!isProgId(a.progId))
            c.fail(a.lines.of("progid"), "`progid` must be letters, digits and dots starting with a letter, like "
                                         "\"Sample.Document\", not \"" + a.progId + "\"");
        c.installed(a.target, a.lines.of("target"), "target", false);
        c.installed(a.icon, a.lines.of("icon"), "icon", true);
    }
}

// The folded install-relative paths of the manifest's install files, and
// the folded folders its install trees fill.
struct Installed {
    std::set<std::string> files;
    std::vector<std::string> trees;

    bool holds(const std::string& utf8Path) const {
        std::string ansi, error;
        if (!utf8ToAnsi(utf8Path, &ansi, &error))
            return false;
        std::replace(ansi.begin(), ansi.end(), '/', '\\');
        std::string folded = foldName(ansi);
        if (files.count(folded))
            return true;
        for (const std::string& tree : trees)
            if (tree.empty() || folded.rfind(tree + "\\", 0) == 0)
                return true;
        return false;
    }
};

Installed installedBy(const Manifest& manifest) {
    Installed out;
    for (const ManifestEntry& e : manifest.entries) {
        if (e.targetDir != TargetInstall)
            continue;
        if (e.tree) {
            out.trees.push_back(foldName(e.subDir));
            continue;
        }
        std::string name = e.name;
        if (name.empty()) {
            std::string source = e.source.substr(e.source.find_last_of('/') + 1);
            std::string error;
            utf8ToAnsi(source, &name, &error);
        }
        out.files.insert(foldName(joinSubDir(e.subDir, name)));
    }
    return out;
}

}  // namespace

bool isProductVersion(const std::string& version) {
    std::vector<std::string> parts = split(version, ".");
    if (parts.size() < 2 || parts.size() > 4)
        return false;
    for (const std::string& part : parts) {
        if (part.empty() || part.size() > 5 || !std::all_of(part.begin(), part.end(), isDigit))
            return false;
        if (std::stoul(part) > kVersionPartMax)
            return false;
    }
    return true;
}

bool isInstallRelative(const std::string& path) {
    if (path.empty() || path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos)
        return false;
    for (const std::string& level : split(path, "/\\"))
        if (level.empty() || level == "." || level == "..")
            return false;
    return true;
}

bool isLibraryLanguage(const std::string& code) {
    for (int id = IDL_ENGLISH; languageCode(id); ++id)
        if (code == languageCode(id))
            return true;
    return false;
}

bool isRegistryKey(const std::string& key) {
    if (key.empty())
        return false;
    for (const std::string& level : split(key, "\\"))
        if (level.empty())
            return false;
    return true;
}

bool isFileExtension(const std::string& extension) {
    if (extension.size() < 2 || extension.size() > kExtensionMax || extension[0] != '.')
        return false;
    return std::all_of(extension.begin() + 1, extension.end(),
                       [](char c) { return isLetter(c) || isDigit(c) || c == '_' || c == '-'; });
}

bool isProgId(const std::string& progId) {
    if (progId.empty() || progId.size() > kProgIdMax || !isLetter(progId[0]) || progId.back() == '.')
        return false;
    return std::all_of(progId.begin(), progId.end(), [](char c) { return isLetter(c) || isDigit(c) || c == '.'; });
}

std::string registryDataProblem(RegistryType type, bool isInteger, int64_t number) {
    if (type == RegistryType::Dword) {
        if (!isInteger || number < 0 || number > static_cast<int64_t>(UINT32_MAX))
            return "`data` of a dword must be a whole number from 0 to 4294967295";
        return "";
    }
    return isInteger ? "`data` of a string value must be a string (write \"" + std::to_string(number) + "\")" : "";
}

std::vector<ProductError> checkProduct(const ProductDescription& product) {
    Checker c(product);
    checkIdentity(c, product.product);
    checkElements(c, product);
    if (!product.files.inlineManifest.empty()) {
        // The lines of `lines = """` start on the line after the key, so
        // the manifest's line numbers become the product file's.
        int keyLine = product.files.lines.of("lines");
        std::vector<ProductError> files = checkProductManifest(
            product, std::string(static_cast<size_t>(keyLine), '\n') + product.files.inlineManifest, product.fileName);
        c.errors.insert(c.errors.end(), files.begin(), files.end());
    }
    return c.errors;
}

std::vector<ProductError> checkProductManifest(const ProductDescription& product, const std::string& manifestText,
                                               const std::string& manifestName) {
    Checker c(product);
    auto inManifest = [&](int line, const std::string& message) {
        c.errors.push_back({manifestName, line, 0, message});
    };
    Manifest manifest;
    std::string error;
    if (!parseManifest(manifestText, manifestName, &manifest, &error, NamesByDefault::Utf8)) {
        // "NAME:LINE: problem", taken apart so the line stays a number.
        ProductError e{manifestName, 0, 0, error};
        std::string lead = manifestName + ":";
        if (error.rfind(lead, 0) == 0) {
            size_t end = error.find(": ", lead.size());
            std::string digits = error.substr(lead.size(), end - lead.size());
            if (end != std::string::npos && !digits.empty() && std::all_of(digits.begin(), digits.end(), isDigit)) {
                e.line = std::stoi(digits);
                e.message = error.substr(end + 2);
            }
        }
        c.errors.push_back(e);
        return c.errors;
    }
    const int count = static_cast<int>(product.components.size());
    if (manifest.hasGroups && manifest.groups != count)
        inManifest(manifest.groupsLine, "`groups " + std::to_string(manifest.groups) + "` but the product has " +
                                            std::to_string(count) + " components");
    for (const ManifestEntry& e : manifest.entries)
        if (e.group > count)
            inManifest(e.line, "group " + std::to_string(e.group) + " is not a component (the product has " +
                                   std::to_string(count) + ")");
    Installed installed = installedBy(manifest);
    auto mustInstall = [&](const std::string& path, int line, const char* key) {
        if (!path.empty() && isInstallRelative(path) && !installed.holds(path))
            c.fail(line, std::string("`") + key + "` \"" + path + "\" is not a file the product installs");
    };
    mustInstall(product.product.icon, product.product.lines.of("icon"), "icon");
    for (const Shortcut& s : product.shortcuts) {
        mustInstall(s.target, s.lines.of("target"), "target");
        mustInstall(s.icon, s.lines.of("icon"), "icon");
    }
    for (const Association& a : product.associations) {
        mustInstall(a.target, a.lines.of("target"), "target");
        mustInstall(a.icon, a.lines.of("icon"), "icon");
    }
    return c.errors;
}
