// The code of stored names: the header's flag, strict UTF-8, what
// Install.log keeps, names converted to a process's code page (UTF-8 and
// Windows-1252 processes stand in for the system's conversion), and the
// case folding of names in any script.
#include "format/InstallLog.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

std::u32string fromUtf16(const std::u16string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        out.push_back(c);
    }
    return out;
}

bool utf8Process(const std::u16string& text, std::string* out) {
    *out = encodeUtf8(fromUtf16(text));
    return true;
}

bool westernProcess(const std::u16string& text, std::string* out) {
    char32_t missing;
    return encode1252(fromUtf16(text), out, &missing);
}

tagCompressFileHeader record(const char* subDir, const char* fileName) {
    tagCompressFileHeader r;
    memset(&r, 0, sizeof r);
    r.targetDir = TargetInstall;
    r.expandedSize = 42;
    strcpy(r.subDir, subDir);
    strcpy(r.fileName, fileName);
    return r;
}

const char kGreek[] = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1.txt";   // Ωμέγα.txt
const char kJapanese[] = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";         // 日本語
const char kGroesseUtf8[] = "Gr\xC3\xB6\xC3\x9F" "e.txt";                  // Größe.txt
const char kGroesse1252[] = "Gr\xF6\xDF" "e.txt";

TEST(NameEncoding, FormatFieldCarriesTheFlag) {
    EXPECT_EQ(1, archiveFormat(false));
    EXPECT_EQ(1 | ArchiveNamesUtf8, archiveFormat(true));
    const struct {
        int32_t field;
        bool known, utf8;
    } cases[] = {{1, true, false}, {1 | ArchiveNamesUtf8, true, true}, {2, false, false},
                 {0, false, false}, {ArchiveNamesUtf8, false, true},   {1 | 0x20000, false, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.known, archiveFormatKnown(c.field)) << c.field;
        EXPECT_EQ(c.utf8, archiveNamesUtf8(c.field)) << c.field;
    }
}

TEST(NameEncoding, Utf8IsReadStrictly) {
    std::u32string text;
    ASSERT_TRUE(decodeUtf8(std::string(kJapanese) + "\xF0\x9F\x98\x80", &text));
    EXPECT_EQ(U"\u65E5\u672C\u8A9E\U0001F600", text);
    EXPECT_EQ(std::u16string(u"\u65E5\u672C\u8A9E\U0001F600"), toUtf16(text));
    EXPECT_EQ(std::string(kJapanese) + "\xF0\x9F\x98\x80", encodeUtf8(text));
    // Overlong '/', a surrogate, beyond U+10FFFF, a cut sequence, a stray continuation.
    for (const char* bad : {"a\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\x97", "\x80", "\xFF"})
        EXPECT_FALSE(decodeUtf8(bad, &text)) << bad;
    // Windows-1252 both ways, the unassigned bytes as their C1 controls.
    EXPECT_EQ(U"Gr\u00F6\u00DFe.txt \u20AC\u0081", decode1252(std::string(kGroesse1252) + " \x80\x81"));
    std::string back;
    char32_t missing = 0;
    EXPECT_TRUE(encode1252(U"\u20AC\u0178\u0081", &back, &missing));
    EXPECT_EQ("\x80\x9F\x81", back);
    EXPECT_FALSE(encode1252(U"a\u03A9", &back, &missing));
    EXPECT_EQ(U'\u03A9', missing);
}

// Install.log keeps Windows-1252 wherever the names have it, so an earlier
// uninstaller reads them; only names it lacks go in UTF-8, marked.
TEST(NameEncoding, LogKeepsWindows1252WhereItCan) {
    const struct {
        const char *subDir, *fileName;
        bool setUtf8;
        const char *logSubDir, *logFileName;
        bool marked;
    } cases[] = {
        {"Docs", kGroesse1252, false, "Docs", kGroesse1252, false},      // an old set: as it is
        {"Docs", kGroesseUtf8, true, "Docs", kGroesse1252, false},       // UTF-8 set, Western name
        {"Docs", "readme.txt", true, "Docs", "readme.txt", false},
        {kJapanese, "readme.txt", true, kJapanese, "readme.txt", true},  // UTF-8 kept, marked
        {"Docs", kGreek, true, "Docs", kGreek, true},
    };
    for (const auto& c : cases) {
        tagCompressFileHeader in = record(c.subDir, c.fileName);
        in.continued = 1;  // a first record of a split file
        tagCompressFileHeader out = logRecordOf(in, c.setUtf8);
        EXPECT_STREQ(c.logSubDir, out.subDir) << c.fileName;
        EXPECT_STREQ(c.logFileName, out.fileName) << c.fileName;
        EXPECT_EQ(c.marked, logNamesUtf8(out)) << c.fileName;
        EXPECT_EQ(c.marked ? kLogNamesUtf8 : 1u, out.continued);
        EXPECT_EQ(42u, out.expandedSize);
    }
    // An old set's record is the volume's, byte for byte (padding included).
    tagCompressFileHeader old = record("Docs", kGroesse1252);
    old.fileName[200] = 'x';
    tagCompressFileHeader same = logRecordOf(old, false);
    EXPECT_EQ(0, memcmp(&old, &same, sizeof old));
}

TEST(NameEncoding, NamesBecomeTheProcessCodePage) {
    const struct {
        const char* fileName;
        bool setUtf8;
        LocalEncoder encode;
        bool is1252;
        LocalNames result;
        const char* local;  // the file name, or what is shown
    } cases[] = {
        {kGroesse1252, false, westernProcess, true, LocalNames::Same, kGroesse1252},
        {kGroesse1252, false, utf8Process, false, LocalNames::Converted, kGroesseUtf8},
        {kGroesseUtf8, true, westernProcess, true, LocalNames::Converted, kGroesse1252},
        {kGroesseUtf8, true, utf8Process, false, LocalNames::Converted, kGroesseUtf8},
        {kGreek, true, utf8Process, false, LocalNames::Converted, kGreek},
        {kGreek, true, westernProcess, true, LocalNames::Unrepresentable,
         "Docs\\<U+03A9><U+03BC><U+03AD><U+03B3><U+03B1>.txt"},
        {"a\xC0\xAF", true, westernProcess, true, LocalNames::Invalid, ""},
        {"readme.txt", true, westernProcess, true, LocalNames::Same, "readme.txt"},
    };
    for (const auto& c : cases) {
        tagCompressFileHeader local;
        std::string shown;
        LocalNames r = localRecordNames(record("Docs", c.fileName), c.setUtf8, c.encode, c.is1252, &local, &shown);
        EXPECT_EQ(c.result, r) << c.fileName;
        if (r == LocalNames::Unrepresentable) {
            EXPECT_EQ(c.local, shown);
        } else if (r != LocalNames::Invalid) {
            EXPECT_STREQ(c.local, local.fileName) << c.fileName;
        }
    }
    // A name the code page makes longer than the field is no path there:
    // 200 bytes of é in Windows-1252 are 400 in UTF-8.
    tagCompressFileHeader local;
    std::string shown;
    EXPECT_EQ(LocalNames::Unrepresentable, localRecordNames(record("", std::string(200, '\xE9').c_str()), false,
                                                            utf8Process, false, &local, &shown));
}

// In place, a file's record and its temporary name's record stay a pair.
TEST(NameEncoding, LocalizedLogKeepsItsPairs) {
    tagCompressFileHeader log[4] = {logRecordOf(record(kJapanese, kGreek), true),
                                    logRecordOf(record(kJapanese, kGreek), true), record("", kGroesse1252),
                                    logRecordOf(record("", kGreek), true)};
    ASSERT_TRUE(stampTemporaryName(log[1], "C:\\x\\qrv1A.tmp"));
    unsigned char bytes[4 * FileRecordSize];
    for (int i = 0; i < 4; ++i)
        serializeFileRecord(log[i], bytes + i * FileRecordSize);
    // A Western process cannot name the first, second and last; the third is its own text.
    unsigned char western[sizeof bytes];
    memcpy(western, bytes, sizeof bytes);
    EXPECT_EQ(3u, localizeLogNames(western, sizeof western, westernProcess, true));
    EXPECT_EQ(0, memcmp(bytes, western, sizeof bytes));
    // A UTF-8 process names them all.
    EXPECT_EQ(0u, localizeLogNames(bytes, sizeof bytes, utf8Process, false));
    tagCompressFileHeader first = parseFileRecord(bytes), second = parseFileRecord(bytes + FileRecordSize);
    EXPECT_STREQ(kGreek, first.fileName);
    EXPECT_TRUE(followsAsTemporary(bytes, bytes + FileRecordSize, second));
    EXPECT_STREQ(kGroesseUtf8, parseFileRecord(bytes + 2 * FileRecordSize).fileName);
}

TEST(NameEncoding, FoldsNamesOfEveryScript) {
    const struct {
        char32_t small, capital;
    } pairs[] = {{U'a', U'A'},           {U'\u00E9', U'\u00C9'}, {U'\u00FF', U'\u0178'}, {U'\u0161', U'\u0160'},
                 {U'\u03C9', U'\u03A9'}, {U'\u03C2', U'\u03A3'}, {U'\u03AD', U'\u0388'}, {U'\u0436', U'\u0416'},
                 {U'\u0451', U'\u0401'}, {U'\u0101', U'\u0100'}, {U'\u013A', U'\u0139'}, {U'\u017A', U'\u0179'},
                 {U'\uFF41', U'\uFF21'}};
    for (const auto& p : pairs) {
        EXPECT_EQ(p.capital, foldCodePoint(p.small)) << static_cast<unsigned>(p.small);
        EXPECT_EQ(p.capital, foldCodePoint(p.capital)) << static_cast<unsigned>(p.capital);
    }
    for (char32_t same : {U'\u00F7', U'\u00D7', U'\u65E5', U'\u0138', U'1'})
        EXPECT_EQ(same, foldCodePoint(same));
}

} // namespace
