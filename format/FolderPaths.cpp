// Drive paths and the shared roots; see FolderPaths.h.
#include "format/FolderPaths.h"

#include <string.h>

#include <algorithm>

#include "format/RecordNames.h"

namespace {

bool badCharacter(char c) {
    unsigned char b = static_cast<unsigned char>(c);
    return b < 32 || strchr("<>:\"|?*", c) != nullptr;
}

bool startsWith(const std::vector<std::string>& inner, const std::vector<std::string>& outer) {
    if (outer.size() > inner.size())
        return false;
    for (size_t i = 0; i < outer.size(); ++i)
        if (!sameName(inner[i].data(), inner[i].size(), outer[i].data(), outer[i].size()))
            return false;
    return true;
}

}  // namespace

bool splitPath(const std::string& path, std::vector<std::string>* parts) {
    parts->clear();
    std::string text = path;
    std::replace(text.begin(), text.end(), '/', '\\');
    bool letter = text.size() >= 3 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
    if (!letter || text[1] != ':' || text[2] != '\\')
        return false;
    parts->push_back(text.substr(0, 2));
    size_t at = 3;
    while (at <= text.size()) {
        size_t end = text.find('\\', at);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(at, end - at);
        at = end + 1;
        if (part.empty())
            continue;  // "a\\b" is "a\b" to Windows
        if (isDotsOnly(part.data(), part.size()) || isDeviceName(part.data(), part.size()))
            return false;
        for (char c : part)
            if (badCharacter(c))
                return false;
        // Windows drops trailing dots and blanks: "App." is "App".
        while (!part.empty() && (part.back() == '.' || part.back() == ' '))
            part.pop_back();
        if (part.empty())
            return false;
        parts->push_back(part);
    }
    return true;
}

std::string joinParts(const std::vector<std::string>& parts, size_t count) {
    std::string out;
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
        out += parts[i];
        if (i + 1 < count || count == 1)
            out += "\\";
    }
    return out;
}

bool pathInside(const std::string& outer, const std::string& inner) {
    std::vector<std::string> o, i;
    return splitPath(outer, &o) && splitPath(inner, &i) && i.size() > o.size() && startsWith(i, o);
}

bool samePath(const std::string& a, const std::string& b) {
    std::vector<std::string> x, y;
    return splitPath(a, &x) && splitPath(b, &y) && x.size() == y.size() && startsWith(x, y);
}

std::string pathKey(const std::vector<std::string>& parts, size_t count) {
    std::string key;
    for (size_t i = 0; i < count && i < parts.size(); ++i) {
        for (char c : parts[i])
            key += foldNameByte(c);
        key += '\\';
    }
    return key;
}

ResolvedPath SpelledPaths::resolve(const std::string& path) {
    ResolvedPath r;
    r.path = path;
    r.target = path;
    return r;
}

RootClash sharedRootClash(const std::string& folder, const std::vector<std::string>& roots, std::string* which) {
    std::vector<std::string> parts;
    if (!splitPath(folder, &parts))
        return RootClash::NotDrivePath;
    if (parts.size() < 2)
        return RootClash::DriveRoot;
    for (const std::string& root : roots) {
        std::vector<std::string> rootParts;
        if (root.empty() || !splitPath(root, &rootParts) || !startsWith(rootParts, parts))
            continue;
        if (which)
            *which = root;
        return rootParts.size() == parts.size() ? RootClash::IsShared : RootClash::HoldsShared;
    }
    return RootClash::None;
}
