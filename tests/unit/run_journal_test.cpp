// The run journal's lines: what a kill can leave of them, and the side files' names.
#include "format/RunJournal.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/PathSize.h"

namespace {

std::vector<JournalEntry> sampleEntries() {
    std::vector<JournalEntry> e(8);
    e[0] = {JournalKind::Folder, "C:\\App\\Help", "", "", 0};
    e[1] = {JournalKind::Put, "C:\\App\\a.exe", "C:\\App\\~qrvs1-1.tmp", "", 0};
    e[2] = {JournalKind::Put, "C:\\App\\b b.dll", "C:\\App\\~qrvs1-2.tmp", "C:\\App\\~qrva1-3.tmp", 0x21};
    e[3] = {JournalKind::ExchangeIni, "C:\\App\\qrv1A.tmp", "C:\\Windows\\QrvInit.Ini", "", 4294967295u};
    e[4] = {JournalKind::ExchangeWininit, "C:\\App\\qrv1B.tmp", "C:\\APP\\B.DLL=C:\\APP\\QRV1B.TMP", "", 0};
    e[5] = {JournalKind::Remove, "C:\\App\\Help\\old.hlp", "", "C:\\App\\Help\\~qrva1-4.tmp", 0x1};
    e[6] = {JournalKind::Key, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvelon\\App", "", "", 0};
    e[7] = {JournalKind::Value, "HKEY_CLASSES_ROOT\\QRV_Files", "", earlierValueField("a\0b", 3), 1};
    return e;
}

std::string journalOf(const std::vector<JournalEntry>& entries) {
    std::string text = kJournalHeader;
    char line[kJournalLineSize];
    for (const JournalEntry& entry : entries) {
        size_t n = formatJournalEntry(entry, line, sizeof line);
        EXPECT_NE(0u, n);
        text.append(line, n);
    }
    return text;
}

void expectSame(const JournalEntry& a, const JournalEntry& b) {
    EXPECT_TRUE(a.kind == b.kind && a.path == b.path && a.staging == b.staging && a.aside == b.aside &&
                a.number == b.number);
}

TEST(RunJournal, EveryKindReadsBackAsWritten) {
    std::vector<JournalEntry> written = sampleEntries();
    std::string text = journalOf(written);
    std::vector<JournalEntry> read;
    ASSERT_EQ(JournalRead::Entries, parseJournal(text.data(), text.size(), &read));
    ASSERT_EQ(written.size(), read.size());
    for (size_t i = 0; i < read.size(); ++i)
        expectSame(written[i], read[i]);
}

// A kill may stop the file at any byte: what is read is exactly the lines
// that were whole, and a cut line is never taken for an entry.
TEST(RunJournal, JournalCutAtEveryByteKeepsTheWholeLinesOnly) {
    std::vector<JournalEntry> written = sampleEntries();
    std::string text = journalOf(written);
    std::vector<size_t> lineEnds;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            lineEnds.push_back(i + 1);
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        std::vector<JournalEntry> read;
        JournalRead r = parseJournal(text.data(), cut, &read);
        if (cut < lineEnds[0]) {
            EXPECT_EQ(JournalRead::Foreign, r) << cut;
            continue;
        }
        size_t whole = 0;
        while (whole + 1 < lineEnds.size() && lineEnds[whole + 1] <= cut)
            ++whole;
        bool atLineEnd = lineEnds[whole] == cut;
        EXPECT_EQ(atLineEnd ? JournalRead::Entries : JournalRead::CutShort, r) << cut;
        EXPECT_EQ(whole, read.size()) << cut;
    }
}

TEST(RunJournal, DamagedLinesEndTheReadingThere) {
    std::string text = journalOf(sampleEntries());
    size_t secondLine = text.find('\n', strlen(kJournalHeader)) + 1;
    struct Case {
        const char* what;
        size_t at;
        char by;
    } cases[] = {
        {"a path byte", secondLine + 5, 'x'},
        {"the kind", secondLine, 'Q'},
        {"a separator", secondLine + 1, ' '},
        {"the CRC", text.find('\n', secondLine) - 1, 'g'},
    };
    for (const Case& c : cases) {
        std::string damaged = text;
        damaged[c.at] = c.by;
        std::vector<JournalEntry> read;
        EXPECT_EQ(JournalRead::CutShort, parseJournal(damaged.data(), damaged.size(), &read)) << c.what;
        EXPECT_EQ(1u, read.size()) << c.what;
    }
    std::string foreign = "Setup run journal 2\n" + text.substr(strlen(kJournalHeader));
    std::vector<JournalEntry> read;
    EXPECT_EQ(JournalRead::Foreign, parseJournal(foreign.data(), foreign.size(), &read));
}

TEST(RunJournal, FieldsThatWouldBreakTheLineAreRefused) {
    char line[kJournalLineSize];
    for (const char* bad : {"a\tb", "a\nb", "a\rb"}) {
        JournalEntry e{JournalKind::Put, "C:\\a", "", bad, 0};
        EXPECT_EQ(0u, formatJournalEntry(e, line, sizeof line)) << bad;
    }
}

// A registry value's earlier bytes, whatever they are, come back exactly;
// "absent" is not an empty value, and a field of neither form is refused.
TEST(RunJournal, EarlierValuesComeBackByteForByte) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    for (const std::string& bytes : {std::string(), std::string("\0", 1), all}) {
        std::string field = earlierValueField(bytes.data(), bytes.size());
        std::string back;
        EXPECT_EQ(EarlierValue::Present, earlierValueOf(field, &back));
        EXPECT_EQ(bytes, back);
    }
    std::string back = "stale";
    EXPECT_EQ(EarlierValue::Absent, earlierValueOf(kAbsentValueField, &back));
    EXPECT_TRUE(back.empty());
    for (const char* damaged : {"", "=0", "=0G", "=AB", "0a", "--", "=0a0"})
        EXPECT_EQ(EarlierValue::Damaged, earlierValueOf(damaged, &back)) << damaged;
}

// A value far longer than a path still makes one line that reads back.
TEST(RunJournal, ALargeEarlierValueIsOneLine) {
    std::string bytes(kLargestJournalledValue, '\xff');
    JournalEntry big{JournalKind::Value, "HKEY_USERS\\.DEFAULT\\X", "Blob", earlierValueField(bytes.data(), bytes.size()), 3};
    std::string text = kJournalHeader + journalLine(big);
    char small[kJournalLineSize];
    EXPECT_EQ(0u, formatJournalEntry(big, small, sizeof small));
    std::vector<JournalEntry> read;
    ASSERT_EQ(JournalRead::Entries, parseJournal(text.data(), text.size(), &read));
    ASSERT_EQ(1u, read.size());
    expectSame(big, read[0]);
}

TEST(RunJournal, SideFilesAreBesideTheTarget) {
    char out[PathSize];
    ASSERT_TRUE(sideFileName(out, sizeof out, "C:\\App\\bin\\a.dll", 'a', 0x1f, 0x2a));
    EXPECT_STREQ("C:\\App\\bin\\~qrva1f-2a.tmp", out);
    ASSERT_TRUE(sideFileName(out, sizeof out, "D:\\a.dll", 's', 1, 2));
    EXPECT_STREQ("D:\\~qrvs1-2.tmp", out);
    EXPECT_FALSE(sideFileName(out, sizeof out, "a.dll", 's', 1, 2));
}

}  // namespace
