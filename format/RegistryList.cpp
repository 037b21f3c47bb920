// InstallReg.log's lines: written by the generic setup, read by the
// uninstaller.
#include "format/RegistryList.h"

#include <stdlib.h>

#include <algorithm>

#include "common/AsciiCase.h"

const char kRegistryListName[] = "InstallReg.log";

namespace {

const char* const kRoots[] = {"HKLM", "HKCU", "HKCR"};
const char* const kTypes[] = {"string", "expand-string", "dword"};

std::string escaped(const std::string& field) {
    std::string out;
    for (char c : field) {
        switch (c) {
        case '%': out += "%25"; break;
        case '\t': out += "%09"; break;
        case '\r': out += "%0D"; break;
        case '\n': out += "%0A"; break;
        default: out += c;
        }
    }
    return out;
}

bool unescaped(const std::string& field, std::string* out) {
    out->clear();
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            *out += field[i];
            continue;
        }
        std::string code = field.substr(i + 1, 2);
        if (code == "25")
            *out += '%';
        else if (code == "09")
            *out += '\t';
        else if (code == "0D")
            *out += '\r';
        else if (code == "0A")
            *out += '\n';
        else
            return false;
        i += 2;
    }
    return true;
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

template <class Enum, size_t N>
bool lookUp(const char* const (&names)[N], const std::string& word, Enum* out) {
    for (size_t i = 0; i < N; ++i)
        if (word == names[i]) {
            *out = static_cast<Enum>(i);
            return true;
        }
    return false;
}

bool soundKey(const std::string& key) {
    if (key.empty() || key.front() == '\\' || key.back() == '\\')
        return false;
    return key.find("\\\\") == std::string::npos;
}

bool parseLine(const std::string& line, ListedEntry* entry) {
    std::vector<std::string> raw = split(line);
    std::vector<std::string> f(raw.size());
    for (size_t i = 0; i < raw.size(); ++i)
        if (!unescaped(raw[i], &f[i]))
            return false;
    if (f.size() == 3 && f[0] == "key")
        entry->createdKey = true;
    else if (f.size() == 6 && f[0] == "value")
        entry->createdKey = false;
    else
        return false;
    if (!lookUp(kRoots, f[1], &entry->root) || !soundKey(f[2]))
        return false;
    entry->key = f[2];
    if (entry->createdKey)
        return true;
    entry->name = f[3];
    if (!lookUp(kTypes, f[4], &entry->type))
        return false;
    if (entry->type != ListedType::Dword) {
        entry->text = f[5];
        return true;
    }
    if (f[5].empty() || f[5].size() > 10 || f[5].find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long long number = strtoull(f[5].c_str(), nullptr, 10);
    if (number > 0xFFFFFFFFull)
        return false;
    entry->number = static_cast<uint32_t>(number);
    return true;
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && equalsAsciiNoCase(a.data(), a.size(), b.c_str());
}

bool sameEntry(const ListedEntry& a, const ListedEntry& b) {
    return a.createdKey == b.createdKey && a.root == b.root && equalNoCase(a.key, b.key) &&
           (a.createdKey || equalNoCase(a.name, b.name));
}

size_t depth(const std::string& key) { return std::count(key.begin(), key.end(), '\\'); }

}  // namespace

std::string registryListLine(const ListedEntry& entry) {
    std::string line = std::string(entry.createdKey ? "key" : "value") + "\t" +
                       kRoots[static_cast<int>(entry.root)] + "\t" + escaped(entry.key);
    if (!entry.createdKey) {
        line += "\t" + escaped(entry.name) + "\t" + kTypes[static_cast<int>(entry.type)] + "\t";
        line += entry.type == ListedType::Dword ? std::to_string(entry.number) : escaped(entry.text);
    }
    return line + "\r\n";
}

bool parseRegistryList(const std::string& text, std::vector<ListedEntry>* entries, size_t* badLine) {
    entries->clear();
    size_t number = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        ++number;
        ListedEntry entry;
        if (!parseLine(line, &entry)) {
            *badLine = number;
            entries->clear();
            return false;
        }
        entries->push_back(entry);
    }
    return true;
}

std::vector<ListedEntry> mergeRegistryLists(const std::vector<ListedEntry>& earlier,
                                           const std::vector<ListedEntry>& added) {
    std::vector<ListedEntry> merged = earlier;
    for (const ListedEntry& entry : added) {
        bool held = false;
        for (const ListedEntry& m : merged)
            held = held || sameEntry(m, entry);
        if (!held)
            merged.push_back(entry);
    }
    return merged;
}

std::vector<ListedEntry> registryRemovalOrder(const std::vector<ListedEntry>& entries) {
    std::vector<ListedEntry> order;
    for (auto e = entries.rbegin(); e != entries.rend(); ++e)
        if (!e->createdKey)
            order.push_back(*e);
    std::vector<ListedEntry> keys;
    for (const ListedEntry& e : entries)
        if (e.createdKey)
            keys.push_back(e);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const ListedEntry& a, const ListedEntry& b) { return depth(a.key) > depth(b.key); });
    order.insert(order.end(), keys.begin(), keys.end());
    return order;
}
