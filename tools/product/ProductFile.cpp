// The product file's reader: toml++ parses the text; each table is checked
// against the key table of ProductKeys.h; the values are copied into the
// plain description. toml++ is built without exceptions (TOML_EXCEPTIONS 0):
// a syntax error comes back as a value like every other problem, and no
// exception crosses the library. Only this file sees toml++.
#include "tools/product/ProductFile.h"

#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#define TOML_ENABLE_WINDOWS_COMPAT 0
#include <toml++/toml.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

#include "tools/product/ProductKeys.h"
#include "tools/product/ProductRules.h"

namespace {

// The position of `value` among the choices of `info`, -1 when it is none.
int choiceIndex(const KeyInfo& info, const std::string& value) {
    std::string choices = info.choices ? info.choices : "";
    int index = 0;
    size_t start = 0;
    for (size_t end = choices.find('|'); ; end = choices.find('|', start), ++index) {
        size_t length = (end == std::string::npos ? choices.size() : end) - start;
        if (length == value.size() && choices.compare(start, length, value) == 0)
            return index;
        if (end == std::string::npos)
            return -1;
        start = end + 1;
    }
}

class Reader {
public:
    explicit Reader(const std::string& fileName) : fileName_(fileName) {}

    void error(const toml::source_region& where, const std::string& message) {
        errors.push_back({fileName_, static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
                          message});
    }

    // Unknown keys, values of the wrong kind and missing required keys of
    // one table of `section`.
    void checkTable(const std::string& section, const toml::table& table) {
        std::vector<std::string> known;
        for (const KeyInfo& k : productKeys())
            if (section == k.section)
                known.push_back(k.name);
        std::vector<std::string> suggested;  // a misspelt key is not missing as well
        for (auto&& [key, node] : table) {
            const KeyInfo* info = findKey(section, std::string(key.str()));
            if (!info) {
                suggested.push_back(unknown(key, "key", " in [" + section + "]", known));
                continue;
            }
            checkKind(*info, node);
        }
        for (const std::string& name : known) {
            const KeyInfo* info = findKey(section, name);
            bool misspelt = std::find(suggested.begin(), suggested.end(), name) != suggested.end();
            if (info->required && !table.contains(name) && !misspelt)
                error(table.source(), "[" + section + "] needs `" + name + "` (" + kindName(info->kind) + ")");
        }
    }

    // Reports an unknown key; returns the known one it is likely a typo of,
    // or empty.
    std::string unknown(const toml::key& key, const std::string& what, const std::string& where,
                        const std::vector<std::string>& known) {
        std::string message = "unknown " + what + " `" + std::string(key.str()) + "`" + where;
        std::string near = nearestWord(std::string(key.str()), known);
        if (!near.empty())
            message += " (did you mean `" + near + "`?)";
        error(key.source(), message);
        return near;
    }

    void checkKind(const KeyInfo& info, const toml::node& node) {
        const std::string name = std::string("`") + info.name + "`";
        switch (info.kind) {
        case KeyKind::String:
            if (!node.is_string())
                error(node.source(), name + " must be a string: " + info.doc);
            break;
        case KeyKind::Bool:
            if (!node.is_boolean())
                error(node.source(), name + " must be true or false");
            break;
        case KeyKind::StringList:
            if (!node.is_array() || !node.as_array()->is_homogeneous(toml::node_type::string))
                error(node.source(), name + " must be a list of strings: [\"en\", \"fr\"]");
            break;
        case KeyKind::Text:
            if (node.is_table()) {
                for (auto&& [language, text] : *node.as_table())
                    if (!text.is_string())
                        error(text.source(), name + "." + std::string(language.str()) + " must be a string");
            } else if (!node.is_string()) {
                error(node.source(), name + " must be a string or a table of language = string: { en = \"...\" }");
            }
            break;
        case KeyKind::Choice:
            if (!node.is_string() || !isChoice(info, *node.value<std::string>()))
                error(node.source(), name + " must be one of " + choiceList(info));
            break;
        case KeyKind::Data:
            if (!node.is_string() && !node.is_integer())
                error(node.source(), name + " must be a string or a whole number");
            break;
        }
    }

    static bool isChoice(const KeyInfo& info, const std::string& value) { return choiceIndex(info, value) >= 0; }

    static std::string choiceList(const KeyInfo& info) {
        std::string list = info.choices;
        for (size_t at = list.find('|'); at != std::string::npos; at = list.find('|', at))
            list.replace(at, 1, ", ");
        return list;
    }

    std::vector<ProductError> errors;

private:
    std::string fileName_;
};

// Values of a table already checked: a value of the wrong kind reads as the
// default, its error is already reported.
class Values {
public:
    Values(const char* section, const toml::table& table, KeyLines& lines) : section_(section), table_(table) {
        lines.line = static_cast<int>(table.source().begin.line);
        for (auto&& [key, node] : table)
            lines.keys[std::string(key.str())] = static_cast<int>(node.source().begin.line);
    }

    std::string string(const char* name) const {
        if (auto v = table_[name].value<std::string>())
            return *v;
        return literalDefault(name);
    }
    bool flag(const char* name) const {
        if (auto v = table_[name].value<bool>())
            return *v;
        return literalDefault(name) == "true";
    }
    std::vector<std::string> list(const char* name) const {
        std::vector<std::string> out;
        if (const toml::array* a = table_[name].as_array())
            for (const toml::node& n : *a)
                if (auto v = n.value<std::string>())
                    out.push_back(*v);
        return out;
    }
    LocalText text(const char* name, const std::string& defaultLanguage) const {
        LocalText out;
        toml::node_view<const toml::node> node = table_[name];
        if (!node)
            return out;
        out.line = static_cast<int>(node.node()->source().begin.line);
        if (auto v = node.value<std::string>())
            out.byLanguage[defaultLanguage] = *v;
        else if (const toml::table* t = node.as_table())
            for (auto&& [language, v] : *t)
                if (auto s = v.value<std::string>())
                    out.byLanguage[std::string(language.str())] = *s;
        return out;
    }
    // The position of the value among the key's choices, which is its
    // enumerator; the default's when absent or not a choice (reported).
    int choice(const char* name) const {
        const KeyInfo* info = findKey(section_, name);
        std::string value = string(name);
        int index = choiceIndex(*info, value);
        return index >= 0 ? index : std::max(0, choiceIndex(*info, info->defaultValue));
    }
    bool has(const char* name) const { return table_.contains(name); }
    const toml::node* node(const char* name) const { return table_.get(name); }

private:
    std::string literalDefault(const char* name) const {
        const KeyInfo* info = findKey(section_, name);
        return info && !info->derived ? info->defaultValue : "";
    }
    const char* section_;
    const toml::table& table_;
};

const struct {
    const char* section;
    PageKind kind;
} kPages[] = {
    {"pages.welcome", PageKind::Welcome}, {"pages.licence", PageKind::Licence},
    {"pages.readme", PageKind::Readme},   {"pages.folder", PageKind::Folder},
    {"pages.components", PageKind::Components}, {"pages.ready", PageKind::Ready},
};

// The tables of `section` in `root`: one, or each of an array of tables.
std::vector<const toml::table*> tablesOf(const toml::table& root, const std::string& section) {
    const toml::node* node = root.at_path(section).node();
    std::vector<const toml::table*> out;
    if (!node)
        return out;
    if (const toml::table* t = node->as_table())
        out.push_back(t);
    else if (const toml::array* a = node->as_array())
        for (const toml::node& n : *a)
            if (const toml::table* t = n.as_table())
                out.push_back(t);
    return out;
}

// The sections present, each of the right shape; unknown ones reported.
void checkSections(Reader& reader, const toml::table& root) {
    std::vector<std::string> topNames, pageNames;
    for (const SectionInfo& s : productSections()) {
        std::string name = s.name;
        if (name.rfind("pages.", 0) == 0)
            pageNames.push_back(name.substr(6));
        else
            topNames.push_back(name);
    }
    topNames.push_back("pages");
    for (auto&& [key, node] : root) {
        std::string name(key.str());
        if (name == "pages") {
            if (!node.is_table()) {
                reader.error(node.source(), "`pages` must be a table: [pages.welcome] ...");
                continue;
            }
            for (auto&& [page, pageNode] : *node.as_table()) {
                if (!findSection("pages." + std::string(page.str())))
                    reader.unknown(page, "page", "", pageNames);
                else if (!pageNode.is_table())
                    reader.error(pageNode.source(), "[pages." + std::string(page.str()) + "] must be a table");
            }
            continue;
        }
        const SectionInfo* info = findSection(name);
        if (!info) {
            reader.unknown(key, "table", "", topNames);
            continue;
        }
        bool shaped = info->array ? node.is_array_of_tables() : node.is_table();
        if (!shaped)
            reader.error(node.source(), info->array ? "`" + name + "` must be written [[" + name + "]]"
                                                    : "`" + name + "` must be written [" + name + "]");
    }
    for (const SectionInfo& s : productSections())
        if (s.required && !root.at_path(s.name))
            reader.errors.push_back({"", 0, 0,
                                     std::string("the file needs ") + (s.array ? "[[" : "[") + s.name +
                                         (s.array ? "]]" : "]")});
}

void readProduct(const toml::table& root, ProductDescription& d) {
    for (const toml::table* t : tablesOf(root, "product")) {
        ProductIdentity& p = d.product;
        Values v("product", *t, p.lines);
        p.name = v.string("name");
        p.version = v.string("version");
        p.publisher = v.string("publisher");
        p.aboutUrl = v.string("about-url");
        p.helpUrl = v.string("help-url");
        p.icon = v.string("icon");
        p.defaultFolder = v.has("default-folder") ? v.string("default-folder") : p.name;
        p.restart = v.flag("restart");
        p.defaultLanguage = v.string("default-language");
        p.languages = v.has("languages") ? v.list("languages") : std::vector<std::string>{p.defaultLanguage};
    }
    if (d.product.defaultLanguage.empty())
        d.product.defaultLanguage = findKey("product", "default-language")->defaultValue;
}

void readRest(const toml::table& root, ProductDescription& d, std::vector<ProductError>& errors) {
    const std::string& language = d.product.defaultLanguage;
    for (const toml::table* t : tablesOf(root, "files")) {
        Values v("files", *t, d.files.lines);
        d.files.manifestPath = v.string("manifest");
        d.files.inlineManifest = v.string("lines");
    }
    for (const toml::table* t : tablesOf(root, "component")) {
        Component c;
        Values v("component", *t, c.lines);
        c.name = v.text("name", language);
        c.description = v.text("description", language);
        c.required = v.flag("required");
        c.selected = v.flag("selected");
        d.components.push_back(c);
    }
    for (const auto& page : kPages) {
        for (const toml::table* t : tablesOf(root, page.section)) {
            Page p;
            Values v(page.section, *t, p.lines);
            p.kind = page.kind;
            p.title = v.text("title", language);
            p.text = v.text("text", language);
            p.file = v.text("file", language);
            p.accept = v.text("accept", language);
            d.pages.push_back(p);
        }
    }
    for (const toml::table* t : tablesOf(root, "shortcut")) {
        Shortcut s;
        Values v("shortcut", *t, s.lines);
        s.place = static_cast<ShortcutPlace>(v.choice("place"));
        s.name = v.string("name");
        s.target = v.string("target");
        s.arguments = v.string("arguments");
        s.icon = v.string("icon");
        s.folder = v.has("folder") ? v.string("folder") : d.product.name;
        d.shortcuts.push_back(s);
    }
    for (const toml::table* t : tablesOf(root, "registry")) {
        RegistryValue r;
        Values v("registry", *t, r.lines);
        r.root = static_cast<RegistryRoot>(v.choice("root"));
        r.key = v.string("key");
        r.name = v.string("name");
        r.type = static_cast<RegistryType>(v.choice("type"));
        const toml::node* data = v.node("data");
        if (!data || !(data->is_string() || data->is_integer()))
            continue;  // reported as missing or of neither type
        if (data->is_string())
            r.text = *data->value<std::string>();
        int64_t number = data->value<int64_t>().value_or(0);
        std::string problem = registryDataProblem(r.type, data->is_integer(), number);
        if (!problem.empty())
            errors.push_back({d.fileName, static_cast<int>(data->source().begin.line),
                              static_cast<int>(data->source().begin.column), problem});
        else
            r.number = static_cast<uint32_t>(number);
        d.registry.push_back(r);
    }
    for (const toml::table* t : tablesOf(root, "association")) {
        Association a;
        Values v("association", *t, a.lines);
        a.extension = v.string("extension");
        a.progId = v.string("progid");
        a.description = v.string("description");
        a.target = v.string("target");
        a.arguments = v.string("arguments");
        a.icon = v.string("icon");
        d.associations.push_back(a);
    }
}

}  // namespace

std::string ProductError::text() const {
    std::string out = file;
    if (line > 0)
        out += ":" + std::to_string(line);
    if (line > 0 && column > 0)
        out += ":" + std::to_string(column);
    return out + ": " + message;
}

ProductResult parseProductFile(const std::string& text, const std::string& fileName) {
    ProductResult result;
    result.description.fileName = fileName;
    toml::parse_result parsed = toml::parse(text, fileName);
    if (!parsed) {
        const toml::parse_error& e = parsed.error();
        result.errors.push_back({fileName, static_cast<int>(e.source().begin.line),
                                 static_cast<int>(e.source().begin.column), std::string(e.description())});
        return result;
    }
    const toml::table& root = parsed.table();
    Reader reader(fileName);
    checkSections(reader, root);
    for (const SectionInfo& s : productSections())
        for (const toml::table* t : tablesOf(root, s.name))
            reader.checkTable(s.name, *t);
    for (ProductError& e : reader.errors)
        e.file = fileName;
    result.errors = std::move(reader.errors);
    readProduct(root, result.description);
    readRest(root, result.description, result.errors);
    if (result.errors.empty())
        result.errors = checkProduct(result.description);
    return result;
}

bool readTextFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream out;
    out << in.rdbuf();
    *text = out.str();
    return true;
}
