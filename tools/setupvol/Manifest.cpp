// Manifest.cpp: parser of the manifest format described in Manifest.h.
#include "tools/setupvol/Manifest.h"

#include <stdlib.h>

#include "tools/setupvol/Names.h"

namespace {

class LineError {
public:
    LineError(const std::string& name, int line) : prefix(name + ":" + std::to_string(line) + ": ") {}
    bool operator()(std::string* error, const std::string& problem) const {
        *error = prefix + problem;
        return false;
    }

private:
    std::string prefix;
};

// Splits a line into words; false on an unterminated quote. An unquoted
// word starting with '#' ends the line.
bool splitWords(const std::string& line, std::vector<std::string>* words) {
    words->clear();
    size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            return true;
        std::string word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                size_t close = line.find('"', i + 1);
                if (close == std::string::npos)
                    return false;
                word += line.substr(i + 1, close - i - 1);
                i = close + 1;
            } else {
                word += line[i++];
            }
        }
        words->push_back(word);
    }
}

bool parseNumber(const std::string& text, long long low, long long high, long long* value) {
    if (text.empty() || text.size() > 12)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    *value = atoll(text.c_str());
    return *value >= low && *value <= high;
}

bool parseLiterals(const std::string& text, int* mode) {
    if (text == "auto")
        *mode = LiteralsAuto;
    else if (text == "binary")
        *mode = LiteralsBinary;
    else if (text == "ascii")
        *mode = LiteralsAscii;
    else
        return false;
    return true;
}

bool parseDict(const std::string& text, unsigned* dict) {
    if (text != "1024" && text != "2048" && text != "4096")
        return false;
    *dict = static_cast<unsigned>(atoi(text.c_str()));
    return true;
}

// A subdirectory word: '-' for none, either slash between levels.
bool parseSubDir(const std::string& word, bool namesUtf8, std::string* subDir, std::string* problem) {
    std::string utf8 = word == "-" ? "" : word;
    for (char& c : utf8)
        if (c == '/')
            c = '\\';
    while (!utf8.empty() && utf8.back() == '\\')
        utf8.pop_back();
    std::string convError;
    if (!storedName(utf8, namesUtf8, subDir, &convError)) {
        *problem = "subfolder '" + word + "': " + convError;
        return false;
    }
    std::string check = checkSubDir(*subDir, namesUtf8);
    if (!check.empty()) {
        *problem = "subfolder '" + word + "': " + check;
        return false;
    }
    if (subDir->size() > 259) {
        *problem = "subfolder '" + word + "' is longer than 259 bytes";
        return false;
    }
    return true;
}

} // namespace

bool parseStrictVersion(const std::string& text, int32_t version[4]) {
    int32_t parts[4] = {0, 0, 0, 0};
    size_t start = 0;
    for (int part = 0;; ++part) {
        if (part == 4)
            return false;
        size_t dot = text.find('.', start);
        std::string piece = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        long long v;
        if (!parseNumber(piece, 0, 2147483647LL, &v))
            return false;
        parts[part] = static_cast<int32_t>(v);
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    for (int i = 0; i < 4; ++i)
        version[i] = parts[i];
    return true;
}

bool parseManifest(const std::string& text, const std::string& displayName, Manifest* manifest,
                   std::string* error, NamesByDefault names) {
    *manifest = Manifest();
    manifest->displayName = displayName;
    manifest->namesUtf8 = names == NamesByDefault::Utf8;
    int literals = LiteralsAuto;
    unsigned dict = 4096;
    bool hasShortcutPrefix = false;
    int namesLine = 0;

    size_t pos = 0;
    int lineNo = 0;
    // A byte order mark is allowed at the very start.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    std::vector<std::string> words;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        ++lineNo;
        LineError fail(displayName, lineNo);
        if (line.find('\0') != std::string::npos)
            return fail(error, "a NUL byte: this is not a text file");
        if (!splitWords(line, &words))
            return fail(error, "a double quote is not closed");
        if (words.empty())
            continue;
        const std::string& keyword = words[0];
        long long n;

        if (keyword == "groups" || keyword == "shortcut-prefix" || keyword == "literals" || keyword == "dict") {
            if (words.size() != 2)
                return fail(error, "'" + keyword + "' takes exactly one value");
            const std::string& value = words[1];
            if (keyword == "groups") {
                if (manifest->hasGroups)
                    return fail(error, "'groups' is already given on line " + std::to_string(manifest->groupsLine));
                if (!parseNumber(value, 1, 2147483647LL, &n))
                    return fail(error, "'groups' needs a whole number from 1 up, not '" + value + "'");
                manifest->hasGroups = true;
                manifest->groups = static_cast<int>(n);
                manifest->groupsLine = lineNo;
            } else if (keyword == "shortcut-prefix") {
                if (hasShortcutPrefix)
                    return fail(error, "'shortcut-prefix' is given twice");
                if (!parseNumber(value, 0, 259, &n))
                    return fail(error, "'shortcut-prefix' needs a whole number from 0 to 259, not '" + value + "'");
                hasShortcutPrefix = true;
                manifest->shortcutPrefixLength = static_cast<uint32_t>(n);
            } else if (keyword == "literals") {
                if (!parseLiterals(value, &literals))
                    return fail(error, "'literals' is auto, binary or ascii, not '" + value + "'");
            } else if (!parseDict(value, &dict)) {
                return fail(error, "'dict' is 1024, 2048 or 4096, not '" + value + "'");
            }
            continue;
        }

        if (keyword == "names") {
            // Every name is read in the code it sets: it comes before them.
            if (words.size() != 2 || (words[1] != "utf-8" && words[1] != "windows-1252"))
                return fail(error, "'names' is utf-8 or windows-1252");
            if (namesLine != 0)
                return fail(error, "'names' is already given on line " + std::to_string(namesLine));
            if (!manifest->entries.empty())
                return fail(error, "'names' comes before the first file or tree");
            manifest->namesUtf8 = words[1] == "utf-8";
            namesLine = lineNo;
            continue;
        }
        if (keyword != "file" && keyword != "tree")
            return fail(error, "unknown statement '" + keyword +
                                   "' (expected file, tree, groups, shortcut-prefix, names, literals or dict)");
        if (words.size() < 5)
            return fail(error, "'" + keyword + "' needs SOURCE TARGET SUBDIR GROUP (" +
                                   std::to_string(words.size() - 1) + " given)");
        ManifestEntry e;
        e.line = lineNo;
        e.tree = keyword == "tree";
        e.literals = literals;
        e.dict = dict;
        e.source = words[1];
        for (char& c : e.source)
            if (c == '\\')
                c = '/';
        if (e.source.empty())
            return fail(error, "the source is empty");
        e.targetDir = targetDirFromKeyword(words[2]);
        if (e.targetDir < 0)
            return fail(error, "unknown target '" + words[2] + "' (expected " + targetDirKeywordList() + ")");
        std::string problem;
        if (!parseSubDir(words[3], manifest->namesUtf8, &e.subDir, &problem))
            return fail(error, problem);
        if (!parseNumber(words[4], 1, 2147483647LL, &n))
            return fail(error, "the group is a whole number from 1 up, not '" + words[4] + "'");
        e.group = static_cast<int>(n);

        for (size_t i = 5; i < words.size(); ++i) {
            const std::string& opt = words[i];
            size_t eq = opt.find('=');
            if (eq == std::string::npos)
                return fail(error, "unexpected '" + opt + "' (options are written name=value)");
            std::string key = opt.substr(0, eq), value = opt.substr(eq + 1);
            if (key == "name") {
                if (e.tree)
                    return fail(error, "'name=' is for single files, not trees");
                std::string convError;
                if (!storedName(value, manifest->namesUtf8, &e.name, &convError))
                    return fail(error, "name '" + value + "': " + convError);
                std::string check = checkPathComponent(e.name, manifest->namesUtf8);
                if (!check.empty())
                    return fail(error, "name '" + value + "': " + check);
                if (e.name.size() > 259)
                    return fail(error, "name '" + value + "' is longer than 259 bytes");
            } else if (key == "version") {
                if (!parseStrictVersion(value, e.version))
                    return fail(error, "version '" + value + "' is not 1 to 4 numbers separated by dots");
                e.hasVersion = true;
            } else if (key == "literals") {
                if (!parseLiterals(value, &e.literals))
                    return fail(error, "literals= is auto, binary or ascii, not '" + value + "'");
            } else if (key == "dict") {
                if (!parseDict(value, &e.dict))
                    return fail(error, "dict= is 1024, 2048 or 4096, not '" + value + "'");
            } else if (key == "group") {
                return fail(error, "the group is the fourth word of the line, not an option");
            } else {
                return fail(error, "unknown option '" + key + "' (expected name, version, literals or dict)");
            }
        }
        manifest->entries.push_back(e);
    }
    return true;
}
