// Names.cpp: code page conversion and target path checks.
#include "tools/setupvol/Names.h"

#include <stdio.h>

#include <vector>

#include "format/NameEncoding.h"
#include "format/RecordNames.h"

namespace {

const char* const kKeywords[8] = {"windows", "system",  "desktop",   "none",
                                  "install", "startup", "startmenu", "programs"};

} // namespace

bool utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* error) {
    std::u32string text;
    if (!decodeUtf8(utf8, &text)) {
        *error = "the text is not valid UTF-8 (a broken, overlong or invalid form)";
        return false;
    }
    char32_t missing = 0;
    for (char32_t c : text)
        if (c >= 0x80 && c < 0xA0 && !missing) // C1 controls: no name holds them
            missing = c;
    if (missing || !encode1252(text, ansi, &missing)) {
        char buf[112];
        snprintf(buf, sizeof buf,
                 "character U+%04X has no Windows-1252 code (a manifest whose names need it says 'names utf-8')",
                 static_cast<unsigned>(missing));
        *error = buf;
        return false;
    }
    return true;
}

std::string ansiToUtf8(const std::string& ansi) {
    std::u32string text = decode1252(ansi);
    for (char32_t& c : text)
        if (c >= 0x80 && c < 0xA0) // the five unassigned bytes
            c = 0xFFFD;
    return encodeUtf8(text);
}

bool storedName(const std::string& utf8, bool namesUtf8, std::string* stored, std::string* error) {
    if (!namesUtf8)
        return utf8ToAnsi(utf8, stored, error);
    std::u32string text;
    if (!decodeUtf8(utf8, &text)) {
        *error = "the text is not valid UTF-8 (a broken, overlong or invalid form)";
        return false;
    }
    *stored = utf8;
    return true;
}

std::string hostName(const std::string& stored, bool namesUtf8) {
    if (!namesUtf8)
        return ansiToUtf8(stored);
    std::u32string text;
    // Damaged UTF-8 is shown byte by byte, as Windows-1252 would show it.
    return decodeUtf8(stored, &text) ? stored : ansiToUtf8(stored);
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

std::string checkPathComponent(const std::string& name, bool namesUtf8) {
    // The rules are the installer's own (format/RecordNames.h); only the
    // words are the tool's. A UTF-8 name is checked as Windows-1252 when it
    // can be (the device names with superscript digits), else by its bytes:
    // every rule but the unassigned bytes is one of ASCII characters.
    std::string ansi, unused;
    bool asAnsi = !namesUtf8 || utf8ToAnsi(name, &ansi, &unused);
    const std::string& checked = namesUtf8 && asAnsi ? ansi : name;
    NameFault fault = componentFault(checked.data(), checked.size());
    if (fault == NameFault::None || (fault == NameFault::UnassignedByte && !asAnsi))
        return "";
    if (fault == NameFault::Empty)
        return "an empty name";
    return "the name '" + hostName(name, namesUtf8) + "' " + nameFaultText(fault);
}

std::string foldName(const std::string& ansi) {
    std::string s = ansi;
    for (char& c : s)
        c = foldNameByte(c);
    return s;
}

std::string foldName(const std::string& name, bool namesUtf8) {
    std::u32string text;
    if (!namesUtf8 || !decodeUtf8(name, &text))
        return foldName(name);
    for (char32_t& c : text)
        c = foldCodePoint(c);
    return encodeUtf8(text);
}

std::string checkSubDir(const std::string& subDir, bool namesUtf8) {
    if (subDir.empty())
        return "";
    size_t start = 0;
    for (;;) {
        size_t end = subDir.find('\\', start);
        std::string part = subDir.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::string problem = checkPathComponent(part, namesUtf8);
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
    const std::string file = base + foldName(joinSubDir(subDir, name), namesUtf8_);
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
    std::string folded = foldName(subDir, namesUtf8_);
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
