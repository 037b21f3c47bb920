// The run journal's lines and the side files' names (RunJournal.h says what
// the journal is for and who reads it).
#include "format/RunJournal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/PathText.h"
#include "format/FileCheck.h"
#include "format/InstallLog.h"

const char kJournalName[] = "Install.jnl";
const char kJournalHeader[] = "Setup run journal 1\n";

namespace {

bool isKind(char c) {
    return c != '\0' && strchr("PDXWRKV", c) != nullptr;
}

// A field may hold anything but the separators.
bool fieldFits(const std::string& text) {
    return text.find_first_of("\t\r\n") == std::string::npos;
}

}  // namespace

std::string journalLine(const JournalEntry& entry) {
    if (!fieldFits(entry.path) || !fieldFits(entry.staging) || !fieldFits(entry.aside))
        return std::string();
    std::string body;
    body.reserve(entry.path.size() + entry.staging.size() + entry.aside.size() + 32);
    body += static_cast<char>(entry.kind);
    for (const std::string* field : {&entry.path, &entry.staging, &entry.aside}) {
        body += '\t';
        body += *field;
    }
    char tail[32];
    snprintf(tail, sizeof tail, "\t%lu\t", static_cast<unsigned long>(entry.number));
    body += tail;
    uint32_t crc = crc32Update(0, body.data(), body.size());
    snprintf(tail, sizeof tail, "%08lx\n", static_cast<unsigned long>(crc));
    body += tail;
    return body;
}

size_t formatJournalEntry(const JournalEntry& entry, char* line, size_t size) {
    std::string body = journalLine(entry);
    if (body.empty() || body.size() >= size)
        return 0;
    memcpy(line, body.c_str(), body.size() + 1);
    return body.size();
}

const char kAbsentValueField[] = "-";

std::string earlierValueField(const void* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string field(1 + 2 * size, '=');
    const unsigned char* b = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i) {
        field[1 + 2 * i] = kDigits[b[i] >> 4];
        field[2 + 2 * i] = kDigits[b[i] & 15];
    }
    return field;
}

EarlierValue earlierValueOf(const std::string& field, std::string* bytes) {
    bytes->clear();
    if (field == kAbsentValueField)
        return EarlierValue::Absent;
    if (field.empty() || field[0] != '=' || field.size() % 2 != 1 ||
        field.find_first_not_of("0123456789abcdef", 1) != std::string::npos)
        return EarlierValue::Damaged;
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    bytes->resize(field.size() / 2);
    for (size_t i = 0; i < bytes->size(); ++i)
        (*bytes)[i] = static_cast<char>(digit(field[1 + 2 * i]) * 16 + digit(field[2 + 2 * i]));
    return EarlierValue::Present;
}

JournalRead parseJournal(const char* data, size_t size, std::vector<JournalEntry>* entries) {
    entries->clear();
    size_t headerLength = strlen(kJournalHeader);
    if (size < headerLength || memcmp(data, kJournalHeader, headerLength) != 0)
        return JournalRead::Foreign;
    size_t at = headerLength;
    while (at < size) {
        const char* start = data + at;
        const char* end = static_cast<const char*>(memchr(start, '\n', size - at));
        if (!end)
            return JournalRead::CutShort;
        std::string line(start, end);
        at += line.size() + 1;
        // kind, three fields, number, CRC: five tabs.
        size_t tabs[5];
        size_t found = 0;
        for (size_t i = 0; i < line.size() && found <= 5; ++i)
            if (line[i] == '\t') {
                if (found == 5) {
                    found = 6;
                    break;
                }
                tabs[found++] = i;
            }
        if (found != 5 || tabs[0] != 1 || !isKind(line[0]))
            return JournalRead::CutShort;
        std::string crcText = line.substr(tabs[4] + 1);
        if (crcText.size() != 8 || crcText.find_first_not_of("0123456789abcdef") != std::string::npos)
            return JournalRead::CutShort;
        uint32_t crc = static_cast<uint32_t>(strtoul(crcText.c_str(), nullptr, 16));
        if (crc != crc32Update(0, line.data(), tabs[4] + 1))
            return JournalRead::CutShort;
        std::string numberText = line.substr(tabs[3] + 1, tabs[4] - tabs[3] - 1);
        if (numberText.empty() || numberText.size() > 10 ||
            numberText.find_first_not_of("0123456789") != std::string::npos ||
            strtoull(numberText.c_str(), nullptr, 10) > 0xFFFFFFFFull)
            return JournalRead::CutShort;
        JournalEntry entry;
        entry.kind = static_cast<JournalKind>(line[0]);
        entry.path = line.substr(tabs[0] + 1, tabs[1] - tabs[0] - 1);
        entry.staging = line.substr(tabs[1] + 1, tabs[2] - tabs[1] - 1);
        entry.aside = line.substr(tabs[2] + 1, tabs[3] - tabs[2] - 1);
        entry.number = static_cast<uint32_t>(strtoul(numberText.c_str(), nullptr, 10));
        entries->push_back(entry);
    }
    return JournalRead::Entries;
}

std::string recoveryLine(const char* folder, size_t undone) {
    char count[24];
    snprintf(count, sizeof count, "%lu", static_cast<unsigned long>(undone));
    return std::string("recovered an unfinished setup in ") + folder + ": " + count +
           (undone == 1 ? " step" : " steps") + " undone (" + kJournalName + ")";
}

bool sideFileName(char* out, size_t size, const char* target, char role, uint32_t process,
                  uint32_t serial) {
    char folder[PathSize];
    if (!temporaryFolder(folder, target))
        return false;
    char name[40];
    snprintf(name, sizeof name, "~qrv%c%lx-%lx.tmp", role, static_cast<unsigned long>(process),
             static_cast<unsigned long>(serial));
    return copyPath(out, folder, size) && appendName(out, name, size);
}
