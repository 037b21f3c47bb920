// The code of stored names: the header's flag, strict UTF-8, what
// Install.log keeps, names converted to a process's code page (a UTF-8 and
// a Windows-1252 process stand in for the system's conversion). The case
// folding of names in any script is setupvol's clash test's.
#include "format/InstallLog.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

bool utf8Process(const std::u16string& text, std::string* out) {
    *out = encodeUtf8(std::u32string(text.begin(), text.end()));  // the tests' names are all below U+10000
    return true;
}

bool westernProcess(const std::u16string& text, std::string* out) {
    char32_t missing;
    return encode1252(std::u32string(text.begin(), text.end()), out, &missing);
}

tagCompressFileHeader record(const char* subDir, const char* fileName) {
    tagCompressFileHeader r;
    memset(&r, 0, sizeof r);
    r.targetDir = TargetInstall;
    strcpy(r.subDir, subDir);
    strcpy(r.fileName, fileName);
    return r;
}

const char kGreek[] = "\xCE\xA9\xCE\xBC.txt";                  // Ωμ.txt
const char kJapanese[] = "\xE6\x97\xA5\xE6\x9C\xAC";          // 日本
const char kGroesseUtf8[] = "Gr\xC3\xB6\xC3\x9F" "e.txt";      // Größe.txt
const char kGroesse1252[] = "Gr\xF6\xDF" "e.txt";

TEST(NameEncoding, FlagAndStrictUtf8) {
    EXPECT_TRUE(archiveFormatKnown(archiveFormat(true)) && archiveNamesUtf8(archiveFormat(true)));
    EXPECT_EQ(1, archiveFormat(false));
    for (int32_t unknown : {0, 2, ArchiveNamesUtf8, 1 | 0x20000})
        EXPECT_FALSE(archiveFormatKnown(unknown)) << unknown;
    std::u32string text;
    ASSERT_TRUE(decodeUtf8("\xE6\x97\xA5\xF0\x9F\x98\x80", &text));
    EXPECT_EQ(std::u16string(u"\u65E5\U0001F600"), toUtf16(text));
    // Overlong '/', a surrogate, beyond U+10FFFF, a cut sequence, a stray continuation.
    for (const char* bad : {"a\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\x97", "\x80"})
        EXPECT_FALSE(decodeUtf8(bad, &text)) << bad;
}

// Install.log keeps Windows-1252 wherever the names have it, so an earlier
// uninstaller reads them; only names it lacks go in UTF-8, marked.
TEST(NameEncoding, LogKeepsWindows1252WhereItCan) {
    const struct {
        const char *subDir, *fileName;
        bool setUtf8;
        const char* logFileName;
        bool marked;
    } cases[] = {{"Docs", kGroesse1252, false, kGroesse1252, false}, {"Docs", kGroesseUtf8, true, kGroesse1252, false},
                 {kJapanese, "readme.txt", true, "readme.txt", true}, {"Docs", kGreek, true, kGreek, true}};
    for (const auto& c : cases) {
        tagCompressFileHeader in = record(c.subDir, c.fileName);
        in.continued = 1;  // a split file's first record
        tagCompressFileHeader out = logRecordOf(in, c.setUtf8);
        EXPECT_STREQ(c.subDir, out.subDir);
        EXPECT_STREQ(c.logFileName, out.fileName);
        EXPECT_EQ(c.marked ? kLogNamesUtf8 : 1u, out.continued) << c.fileName;
    }
    // An old set's record is the volume's, byte for byte.
    tagCompressFileHeader old = record("Docs", kGroesse1252), same;
    old.fileName[200] = 'x';
    same = logRecordOf(old, false);
    EXPECT_EQ(0, memcmp(&old, &same, sizeof old));
}

TEST(NameEncoding, NamesBecomeTheProcessCodePage) {
    const std::string longWestern(200, '\xE9');  // 400 bytes in UTF-8: no path there
    const struct {
        const char* fileName;
        bool setUtf8;
        LocalEncoder encode;
        LocalNames result;
        const char* local;  // the file name, or what is shown
    } cases[] = {
        {kGroesse1252, false, westernProcess, LocalNames::Same, kGroesse1252},
        {kGroesse1252, false, utf8Process, LocalNames::Converted, kGroesseUtf8},
        {kGroesseUtf8, true, westernProcess, LocalNames::Converted, kGroesse1252},
        {kGreek, true, utf8Process, LocalNames::Converted, kGreek},
        {kGreek, true, westernProcess, LocalNames::Unrepresentable, "Docs\\<U+03A9><U+03BC>.txt"},
        {"a\xC0\xAF", true, westernProcess, LocalNames::Invalid, nullptr},
        {longWestern.c_str(), false, utf8Process, LocalNames::Unrepresentable, nullptr},
    };
    for (const auto& c : cases) {
        tagCompressFileHeader local;
        std::string shown;
        LocalNames r = localRecordNames(record("Docs", c.fileName), c.setUtf8, c.encode, c.encode == westernProcess,
                                        &local, &shown);
        EXPECT_EQ(c.result, r) << c.fileName;
        if (c.local) {
            EXPECT_EQ(c.local, r == LocalNames::Unrepresentable ? shown : std::string(local.fileName));
        }
    }
}

// In place, a file's record and its temporary name's record stay a pair.
TEST(NameEncoding, LocalizedLogKeepsItsPairs) {
    tagCompressFileHeader log[3] = {logRecordOf(record(kJapanese, kGreek), true),
                                    logRecordOf(record(kJapanese, kGreek), true), record("", kGroesse1252)};
    ASSERT_TRUE(stampTemporaryName(log[1], "C:\\x\\qrv1A.tmp"));
    unsigned char bytes[sizeof log], western[sizeof log];
    for (int i = 0; i < 3; ++i)
        serializeFileRecord(log[i], bytes + i * FileRecordSize);
    memcpy(western, bytes, sizeof bytes);
    EXPECT_EQ(2u, localizeLogNames(western, sizeof western, westernProcess, true));
    EXPECT_EQ(0, memcmp(bytes, western, sizeof bytes));
    EXPECT_EQ(0u, localizeLogNames(bytes, sizeof bytes, utf8Process, false));
    EXPECT_TRUE(followsAsTemporary(bytes, bytes + FileRecordSize, parseFileRecord(bytes + FileRecordSize)));
    EXPECT_STREQ(kGroesseUtf8, parseFileRecord(bytes + 2 * FileRecordSize).fileName);
}

} // namespace
