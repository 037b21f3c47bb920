// The generic setup's portable decisions over a product description.
#include "tools/genericsetup/GenericRules.h"

#include <ctype.h>
#include <string.h>

#include "format/VolumeFormat.h"

namespace {

std::string fileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool endsWithNoCase(const std::string& text, const char* end) {
    size_t n = strlen(end);
    if (text.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (tolower(static_cast<unsigned char>(text[text.size() - n + i])) != end[i])
            return false;
    return true;
}

std::string withBackslashes(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

ListedEntry classesValue(const std::string& key, const std::string& text) {
    ListedEntry entry;
    entry.root = ListedRoot::ClassesRoot;
    entry.key = key;
    entry.text = text;
    return entry;
}

}  // namespace

SetupFacts setupFactsFor(const ProductDescription& product) {
    const ProductIdentity& p = product.product;
    SetupFacts facts;
    facts.program = "Setup";
    facts.title = p.name + " Setup";
    facts.productName = p.name;
    std::string main;
    if (endsWithNoCase(p.icon, ".exe"))
        main = p.icon;
    else if (!product.shortcuts.empty())
        main = product.shortcuts.front().target;
    else if (!product.associations.empty())
        main = product.associations.front().target;
    facts.exeName = withBackslashes(main);
    facts.version = p.version;
    facts.publisher = p.publisher;
    facts.aboutUrl = p.aboutUrl;
    facts.helpUrl = p.helpUrl;
    facts.icon = withBackslashes(p.icon.empty() ? main : p.icon);
    facts.defaultFolder = p.defaultFolder.empty() ? p.name : p.defaultFolder;
    facts.logFirstLine = p.name + " Setup log";
    facts.groupCount = static_cast<int>(product.components.size());
    facts.restartAllowed = p.restart;
    return facts;
}

std::string localText(const LocalText& text, const std::string& language, const std::string& defaultLanguage) {
    auto found = text.byLanguage.find(language);
    if (found == text.byLanguage.end())
        found = text.byLanguage.find(defaultLanguage);
    return found == text.byLanguage.end() ? std::string() : found->second;
}

std::string languageOfLibrary(const std::string& path) {
    std::string name = fileNameOf(path);
    if (name.size() != strlen("Setup_xx.Dll") || !endsWithNoCase(name, ".dll"))
        return std::string();
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (lower.compare(0, 6, "setup_") != 0 || !isalpha(static_cast<unsigned char>(lower[6])) ||
        !isalpha(static_cast<unsigned char>(lower[7])))
        return std::string();
    return lower.substr(6, 2);
}

std::string installedPath(const std::string& folder, const std::string& relative) {
    std::string path = folder;
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return path + withBackslashes(relative);
}

std::vector<ListedEntry> associationValues(const Association& association, const std::string& folder) {
    std::string program = installedPath(folder, association.target);
    std::string icon = association.icon.empty() ? program : installedPath(folder, association.icon);
    std::string arguments = association.arguments.empty() ? "\"%1\"" : association.arguments;
    return {
        classesValue(association.extension, association.progId),
        classesValue(association.progId, association.description),
        classesValue(association.progId + "\\DefaultIcon", "\"" + icon + "\",0"),
        classesValue(association.progId + "\\shell\\open\\command", "\"" + program + "\" " + arguments),
    };
}

ListedEntry registryValueEntry(const RegistryValue& value) {
    ListedEntry entry;
    switch (value.root) {
    case RegistryRoot::LocalMachine: entry.root = ListedRoot::LocalMachine; break;
    case RegistryRoot::CurrentUser: entry.root = ListedRoot::CurrentUser; break;
    case RegistryRoot::ClassesRoot: entry.root = ListedRoot::ClassesRoot; break;
    }
    switch (value.type) {
    case RegistryType::String: entry.type = ListedType::String; break;
    case RegistryType::ExpandString: entry.type = ListedType::ExpandString; break;
    case RegistryType::Dword: entry.type = ListedType::Dword; break;
    }
    entry.key = value.key;
    entry.name = value.name;
    entry.text = value.text;
    entry.number = value.number;
    return entry;
}

ShortcutPlacement shortcutPlacement(const Shortcut& shortcut, const std::string& productName) {
    ShortcutPlacement place;
    if (shortcut.place == ShortcutPlace::Desktop) {
        place.targetDir = TargetDesktop;
    } else {
        place.targetDir = TargetPrograms;
        place.subDir = withBackslashes(shortcut.folder.empty() ? productName : shortcut.folder);
    }
    place.fileName = shortcut.name + ".lnk";
    return place;
}

bool shortcutLogRecord(const ShortcutPlacement& place, int group, unsigned char* out) {
    tagCompressFileHeader record;
    memset(&record, 0, sizeof record);
    if (place.subDir.size() >= sizeof record.subDir || place.fileName.size() >= sizeof record.fileName)
        return false;
    record.group = group;
    record.targetDir = place.targetDir;
    memcpy(record.subDir, place.subDir.c_str(), place.subDir.size() + 1);
    memcpy(record.fileName, place.fileName.c_str(), place.fileName.size() + 1);
    serializeFileRecord(record, out);
    return true;
}

std::vector<PageKind> wizardPages(const ProductDescription& product) {
    std::vector<PageKind> pages;
    for (const Page& page : product.pages)
        pages.push_back(page.kind);
    if (pages.empty() || pages.back() != PageKind::Ready)
        pages.push_back(PageKind::Ready);
    return pages;
}
