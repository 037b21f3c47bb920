// The product file's key table and the "did you mean" for misspelt keys.
#include "tools/product/ProductKeys.h"

#include <algorithm>

namespace {

// Defaults that are literal values use `lit`; those described in words `derived`.
constexpr bool lit = false;
constexpr bool derived = true;

const std::vector<SectionInfo> kSections = {
    {"product", false, true, "who makes what, and how it is installed"},
    {"files", false, true, "the files: a setupvol manifest, named or inline"},
    {"component", true, true, "one per group of the archive, in group order from 1"},
    {"pages.welcome", false, false, "the welcome page"},
    {"pages.licence", false, false, "the licence, with the box \"I accept\" that gates Next"},
    {"pages.readme", false, false, "a text to read before installing"},
    {"pages.folder", false, false, "the choice of the install folder"},
    {"pages.components", false, false, "the choice of components"},
    {"pages.ready", false, false, "the last page, whose button starts the install"},
    {"shortcut", true, false, "a shortcut to an installed file"},
    {"registry", true, false, "a registry value written after the install"},
    {"association", true, false, "a file type opened by an installed program"},
};

const char kOwnText[] = "the setup's own text";

const std::vector<KeyInfo> kKeys = {
    {"product", "name", KeyKind::String, true, "", lit, nullptr, "the product's name, as Windows lists it"},
    {"product", "version", KeyKind::String, true, "", lit, nullptr, "2 to 4 numbers from 0 to 65535: \"1.2.0\""},
    {"product", "publisher", KeyKind::String, true, "", lit, nullptr, "who makes it"},
    {"product", "about-url", KeyKind::String, false, "", lit, nullptr, "the product's web page (http:// or https://)"},
    {"product", "help-url", KeyKind::String, false, "", lit, nullptr, "where to find help (http:// or https://)"},
    {"product", "icon", KeyKind::String, false, "", lit, nullptr, "an installed file whose icon Windows shows for the product"},
    {"product", "default-folder", KeyKind::String, false, "the product's name", derived, nullptr,
     "the install folder offered, below Program Files"},
    {"product", "restart", KeyKind::Bool, false, "true", lit, nullptr,
     "whether a restart may be offered when files in use are replaced at the next start"},
    {"product", "default-language", KeyKind::String, false, "en", lit, nullptr,
     "the language of the texts written as plain strings, and of a setup before a language is chosen"},
    {"product", "languages", KeyKind::StringList, false, "the default language alone", derived, nullptr,
     "the languages offered, two-letter codes of the language libraries; `setupvol build` ships the "
     "libraries of these only"},
    {"files", "manifest", KeyKind::String, false, "", lit, nullptr,
     "a manifest file, relative to the product file (this or `lines`)"},
    {"files", "lines", KeyKind::String, false, "", lit, nullptr, "the manifest itself (this or `manifest`)"},
    {"component", "name", KeyKind::Text, true, "", lit, nullptr, "the component's name on the components page"},
    {"component", "description", KeyKind::Text, false, "", lit, nullptr, "a line saying what it holds"},
    {"component", "required", KeyKind::Bool, false, "false", lit, nullptr, "always installed: ticked and greyed"},
    {"component", "selected", KeyKind::Bool, false, "true", lit, nullptr, "ticked at the start"},
    {"pages.welcome", "title", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's heading"},
    {"pages.welcome", "text", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's text"},
    {"pages.licence", "title", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's heading"},
    {"pages.licence", "file", KeyKind::Text, true, "", lit, nullptr,
     "the licence, a text file relative to the product file (one per language)"},
    {"pages.licence", "accept", KeyKind::Text, false, kOwnText, derived, nullptr, "the box that must be ticked"},
    {"pages.readme", "title", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's heading"},
    {"pages.readme", "file", KeyKind::Text, true, "", lit, nullptr,
     "the text shown, a file relative to the product file (one per language)"},
    {"pages.folder", "title", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's heading"},
    {"pages.folder", "text", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's text"},
    {"pages.components", "title", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's heading"},
    {"pages.components", "text", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's text"},
    {"pages.ready", "title", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's heading"},
    {"pages.ready", "text", KeyKind::Text, false, kOwnText, derived, nullptr, "the page's text"},
    {"shortcut", "place", KeyKind::Choice, false, "startmenu", lit, "startmenu|desktop", "where it goes"},
    {"shortcut", "name", KeyKind::String, true, "", lit, nullptr, "the shortcut's name"},
    {"shortcut", "target", KeyKind::String, true, "", lit, nullptr, "the installed file it starts"},
    {"shortcut", "arguments", KeyKind::String, false, "", lit, nullptr, "the command line given to the target"},
    {"shortcut", "icon", KeyKind::String, false, "the target", derived, nullptr, "an installed file whose icon it shows"},
    {"shortcut", "folder", KeyKind::String, false, "the product's name", derived, nullptr,
     "its folder in the Start menu's programs (startmenu only)"},
    {"registry", "root", KeyKind::Choice, true, "", lit, "HKLM|HKCU|HKCR", "the root key"},
    {"registry", "key", KeyKind::String, true, "", lit, nullptr, "the key below the root, levels separated by `\\`"},
    {"registry", "name", KeyKind::String, false, "", lit, nullptr, "the value's name; empty for the key's default value"},
    {"registry", "type", KeyKind::Choice, false, "string", lit, "string|expand-string|dword", "the value's type"},
    {"registry", "data", KeyKind::Data, true, "", lit, nullptr,
     "a string for string and expand-string, a whole number from 0 to 4294967295 for dword"},
    {"association", "extension", KeyKind::String, true, "", lit, nullptr, "the file type, a dot and letters: \".smp\""},
    {"association", "progid", KeyKind::String, true, "", lit, nullptr, "the programmatic name of the type: \"Sample.Document\""},
    {"association", "description", KeyKind::String, true, "", lit, nullptr, "the type's name, as Explorer shows it"},
    {"association", "target", KeyKind::String, true, "", lit, nullptr, "the installed program that opens it"},
    {"association", "arguments", KeyKind::String, false, "\"%1\"", lit, nullptr, "its command line; `%1` is the file"},
    {"association", "icon", KeyKind::String, false, "the target", derived, nullptr, "an installed file whose icon the type shows"},
};

// Edits from `a` to `b`: a letter inserted, removed, changed, or two
// neighbours swapped (the usual typos of a key).
size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

const std::vector<SectionInfo>& productSections() { return kSections; }
const std::vector<KeyInfo>& productKeys() { return kKeys; }

const SectionInfo* findSection(const std::string& name) {
    for (const SectionInfo& s : kSections)
        if (name == s.name)
            return &s;
    return nullptr;
}

const KeyInfo* findKey(const std::string& section, const std::string& name) {
    for (const KeyInfo& k : kKeys)
        if (section == k.section && name == k.name)
            return &k;
    return nullptr;
}

const char* kindName(KeyKind kind) {
    switch (kind) {
    case KeyKind::String: return "string";
    case KeyKind::Text: return "text";
    case KeyKind::Bool: return "boolean";
    case KeyKind::StringList: return "list of strings";
    case KeyKind::Choice: return "choice";
    case KeyKind::Data: return "string or integer";
    }
    return "";
}

std::string nearestWord(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    size_t bestDistance = 3;
    for (const std::string& c : candidates) {
        size_t d = editDistance(word, c);
        if (d < bestDistance && d * 2 < std::max(word.size(), c.size())) {
            best = c;
            bestDistance = d;
        }
    }
    return best;
}
