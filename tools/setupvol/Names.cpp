// Names.cpp: code page conversion and target path checks.
#include "tools/setupvol/Names.h"

#include <stdio.h>

#include <vector>

#include "format/RecordNames.h"

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
const uint16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

const char* const kKeywords[8] = {"windows", "system",  "desktop",   "none",
                                  "install", "startup", "startmenu", "programs"};

void appendUtf8(std::string* out, uint32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

bool utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* error) {
    ansi->clear();
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        uint32_t c;
        size_t n;
        if (b < 0x80) {
            c = b;
            n = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            n = 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            n = 4;
        } else {
            *error = "the text is not valid UTF-8";
            return false;
        }
        if (i + n > utf8.size()) {
            *error = "the text is not valid UTF-8";
            return false;
        }
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(utf8[i + k]);
            if ((t & 0xC0) != 0x80) {
                *error = "the text is not valid UTF-8";
                return false;
            }
            c = (c << 6) | (t & 0x3F);
        }
        i += n;
        // Each character has one encoding: a longer form (0xC0 0xAF for '/')
        // would slip past checks made on the shorter one.
        static const uint32_t shortest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < shortest[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            *error = "the text is not valid UTF-8 (an overlong or invalid form)";
            return false;
        }
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            ansi->push_back(static_cast<char>(c));
            continue;
        }
        int found = -1;
        for (int k = 0; k < 32; ++k)
            if (kHigh1252[k] != 0 && kHigh1252[k] == c)
                found = k;
        if (found < 0) {
            char buf[64];
            snprintf(buf, sizeof buf, "character U+%04X has no Windows-1252 code", static_cast<unsigned>(c));
            *error = buf;
            return false;
        }
        ansi->push_back(static_cast<char>(0x80 + found));
    }
    return true;
}

std::string ansiToUtf8(const std::string& ansi) {
    std::string out;
    for (char ch : ansi) {
        unsigned char b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0)
            appendUtf8(&out, kHigh1252[b - 0x80] ? kHigh1252[b - 0x80] : 0xFFFD);
        else
            appendUtf8(&out, b);
    }
    return out;
}

const char* targetDirKeyword(int32_t targetDir) {
    return targetDir >= 0 && targetDir < 8 ? kKeywords[targetDir] : "?";
}

int targetDirFromKeyword(const std::string& keyword) {
    for (int i = 0; i < 8; ++i)
        if (keyword == kKeywords[i])
            return i;
    return -1;
}

std::string targetDirKeywordList() {
    std::string s;
    for (int i = 0; i < 8; ++i) {
        if (i > 0)
            s += i == 7 ? " or " : ", ";
        s += kKeywords[i];
    }
    return s;
}

std::string checkPathComponent(const std::string& name) {
    // The rules are the installer's own (format/RecordNames.h); only the
    // words are the tool's.
    NameFault fault = componentFault(name.data(), name.size());
    if (fault == NameFault::None)
        return "";
    if (fault == NameFault::Empty)
        return "an empty name";
    return "the name '" + ansiToUtf8(name) + "' " + nameFaultText(fault);
}

std::string foldName(const std::string& ansi) {
    std::string s = ansi;
    for (char& c : s)
        c = foldNameByte(c);
    return s;
}

std::string checkSubDir(const std::string& subDir) {
    if (subDir.empty())
        return "";
    size_t start = 0;
    for (;;) {
        size_t end = subDir.find('\\', start);
        std::string part = subDir.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string problem = checkPathComponent(part);
        if (!problem.empty())
            return problem;
        if (end == std::string::npos)
            return "";
        start = end + 1;
    }
}

std::string joinSubDir(const std::string& a, const std::string& b) {
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return a + "\\" + b;
}

TargetPaths::Clash TargetPaths::add(int32_t targetDir, const std::string& subDir,
                                    const std::string& name, unsigned id, unsigned* other) {
    const std::string base = std::to_string(targetDir) + "\\";
    const std::string file = base + foldName(joinSubDir(subDir, name));
    auto found = files.find(file);
    if (found != files.end()) {
        *other = found->second;
        return SameFile;
    }
    found = folders.find(file);
    if (found != folders.end()) {
        *other = found->second;
        return FileIsFolder;
    }
    // Every folder on the way, from the top.
    std::vector<std::string> chain;
    std::string folded = foldName(subDir);
    for (size_t at = 0; !folded.empty();) {
        size_t end = folded.find('\\', at);
        chain.push_back(base + folded.substr(0, end));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    for (const std::string& folder : chain) {
        found = files.find(folder);
        if (found != files.end()) {
            *other = found->second;
            return FolderIsFile;
        }
    }
    files[file] = id;
    for (const std::string& folder : chain)
        folders.emplace(folder, id);
    return None;
}
