// NameEncoding.cpp: the codes of stored names and their conversion.
#include "format/NameEncoding.h"

#include <stdio.h>
#include <string.h>

#include "format/RecordNames.h"
#include "format/VolumeFormat.h"

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned ones.
const char16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t from1252(unsigned char b) {
    if (b >= 0x80 && b < 0xA0 && kHigh1252[b - 0x80] != 0)
        return kHigh1252[b - 0x80];
    return b;
}

// The Windows-1252 byte of `c`, or -1.
int to1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (int k = 0; k < 32; ++k)
        if (kHigh1252[k] == c || (kHigh1252[k] == 0 && c == static_cast<char32_t>(0x80 + k)))
            return 0x80 + k;
    return -1;
}

bool asciiOnly(const char* text) {
    for (; *text; ++text)
        if (static_cast<unsigned char>(*text) >= 0x80)
            return false;
    return true;
}

std::u32string decodeStored(const char* text, bool utf8, bool* ok) {
    std::u32string out;
    *ok = utf8 ? decodeUtf8(text, &out) : (out = decode1252(text), true);
    return out;
}

// Sets a record's text field to `text`, zero-padded; false when it does not fit.
bool setField(char (&field)[RecordTextSize], const std::string& text) {
    if (text.size() >= sizeof field)
        return false;
    memset(field, 0, sizeof field);
    memcpy(field, text.data(), text.size());
    return true;
}

// `text` in the local code page, a character it lacks as <U+XXXX>.
std::string shownText(const std::u32string& text, LocalEncoder encode) {
    std::string shown, one;
    for (char32_t c : text) {
        if (encode(toUtf16(std::u32string(1, c)), &one)) {
            shown += one;
        } else {
            char buf[16];
            snprintf(buf, sizeof buf, "<U+%04X>", static_cast<unsigned>(c));
            shown += buf;
        }
    }
    return shown;
}

} // namespace

int32_t archiveFormat(bool namesUtf8) {
    return ArchiveFormatVersion | (namesUtf8 ? ArchiveNamesUtf8 : 0);
}

bool archiveFormatKnown(int32_t formatVersion) {
    return (formatVersion & ~ArchiveNamesUtf8) == ArchiveFormatVersion;
}

bool archiveNamesUtf8(int32_t formatVersion) {
    return (formatVersion & ArchiveNamesUtf8) != 0;
}

bool decodeUtf8(const std::string& text, std::u32string* out) {
    out->clear();
    static const char32_t shortest[5] = {0, 0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        if (n == 0 || i + n > text.size())
            return false;
        char32_t c = n == 1 ? b : b & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (t & 0x3F);
        }
        if (c < shortest[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out->push_back(c);
        i += n;
    }
    return true;
}

std::u32string decode1252(const std::string& text) {
    std::u32string out;
    for (char ch : text)
        out.push_back(from1252(static_cast<unsigned char>(ch)));
    return out;
}

std::string encodeUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool encode1252(const std::u32string& text, std::string* out, char32_t* missing) {
    out->clear();
    for (char32_t c : text) {
        int b = to1252(c);
        if (b < 0) {
            *missing = c;
            return false;
        }
        out->push_back(static_cast<char>(b));
    }
    return true;
}

std::u16string toUtf16(const std::u32string& text) {
    std::u16string out;
    for (char32_t c : text) {
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    return out;
}

char32_t foldCodePoint(char32_t c) {
    int b = to1252(c);
    if (b >= 0)
        return from1252(static_cast<unsigned char>(foldNameByte(static_cast<char>(b))));
    if ((c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) || (c >= 0x0430 && c <= 0x044F) ||
        (c >= 0xFF41 && c <= 0xFF5A))
        return c - 0x20;
    if (c == 0x03C2) // final sigma
        return 0x03A3;
    if (c >= 0x03AC && c <= 0x03AF) // accented Greek small vowels
        return c == 0x03AC ? 0x0386 : c - 0x25;
    if (c >= 0x0450 && c <= 0x045F)
        return c - 0x50;
    // Latin Extended-A: pairs, capital first, except 0x0138 and the odd run 0x0139..0x0148.
    if (c >= 0x0100 && c <= 0x017F && c != 0x0138 && c != 0x0149 && c != 0x017F) {
        bool oddCapitals = (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
        bool small = oddCapitals ? (c % 2 == 0) : (c % 2 == 1);
        return small ? c - 1 : c;
    }
    return c;
}

tagCompressFileHeader logRecordOf(const tagCompressFileHeader& record, bool namesUtf8) {
    tagCompressFileHeader out = record;
    if (!namesUtf8 || (asciiOnly(record.subDir) && asciiOnly(record.fileName)))
        return out;
    std::u32string subDir, fileName;
    std::string subDir1252, fileName1252;
    char32_t missing = 0;
    if (decodeUtf8(record.subDir, &subDir) && decodeUtf8(record.fileName, &fileName) &&
        encode1252(subDir, &subDir1252, &missing) && encode1252(fileName, &fileName1252, &missing)) {
        setField(out.subDir, subDir1252);
        setField(out.fileName, fileName1252);
    } else {
        out.continued = kLogNamesUtf8;
    }
    return out;
}

bool logNamesUtf8(const tagCompressFileHeader& record) {
    return record.continued == kLogNamesUtf8;
}

LocalNames localRecordNames(const tagCompressFileHeader& stored, bool namesUtf8, LocalEncoder encode,
                            bool localIs1252, tagCompressFileHeader* local, std::string* shown) {
    *local = stored;
    if ((!namesUtf8 && localIs1252) || (asciiOnly(stored.subDir) && asciiOnly(stored.fileName)))
        return LocalNames::Same;
    bool ok = false;
    std::u32string subDir = decodeStored(stored.subDir, namesUtf8, &ok);
    if (!ok)
        return LocalNames::Invalid;
    std::u32string fileName = decodeStored(stored.fileName, namesUtf8, &ok);
    if (!ok)
        return LocalNames::Invalid;
    std::string subDirLocal, fileNameLocal;
    if (!encode(toUtf16(subDir), &subDirLocal) || !encode(toUtf16(fileName), &fileNameLocal)) {
        std::u32string path = subDir;
        if (!path.empty())
            path += U'\\';
        *shown = shownText(path + fileName, encode);
        return LocalNames::Unrepresentable;
    }
    // A name the local code page makes longer than the field cannot be a path here either.
    if (!setField(local->subDir, subDirLocal) || !setField(local->fileName, fileNameLocal)) {
        *shown = shownText(subDir, encode) + "\\" + shownText(fileName, encode);
        return LocalNames::Unrepresentable;
    }
    return LocalNames::Converted;
}

size_t localizeLogNames(unsigned char* log, size_t size, LocalEncoder encode, bool localIs1252) {
    const size_t subDirOffset = offsetof(tagCompressFileHeader, subDir);
    const size_t fileNameOffset = offsetof(tagCompressFileHeader, fileName);
    size_t left = 0;
    for (size_t at = 0; at + FileRecordSize <= size; at += FileRecordSize) {
        unsigned char* raw = log + at;
        if (!recordTextTerminated(raw, false) || !recordTextTerminated(raw, true))
            continue; // damaged: the plan reports it as it is
        tagCompressFileHeader record = parseFileRecord(raw), local;
        std::string shown;
        LocalNames result = localRecordNames(record, logNamesUtf8(record), encode, localIs1252, &local, &shown);
        if (result == LocalNames::Same)
            continue;
        if (result != LocalNames::Converted) {
            ++left;
            continue;
        }
        // Only a field that changed is rewritten, so equal fields stay equal.
        if (strcmp(record.subDir, local.subDir) != 0)
            memcpy(raw + subDirOffset, local.subDir, RecordTextSize);
        if (strcmp(record.fileName, local.fileName) != 0)
            memcpy(raw + fileNameOffset, local.fileName, RecordTextSize);
    }
    return left;
}
