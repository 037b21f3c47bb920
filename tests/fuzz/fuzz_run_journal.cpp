// libFuzzer target: the run journal's reader over any bytes a kill, a power
// cut or anyone else may have left as Install.jnl (format/RunJournal.h).
// Whatever the bytes, every entry read writes back as a line that reads back
// as the same entry, and a registry value's earlier bytes as the same field:
// recovery acts only on steps it can name exactly.
//
// Input layout: the whole input is the journal.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "format/RunJournal.h"
#include "tests/fuzz/Require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::vector<JournalEntry> whole;
    JournalRead read = parseJournal(text, size, &whole);
    if (read == JournalRead::Foreign) {
        REQUIRE(whole.empty());
        return 0;
    }
    std::string again = kJournalHeader;
    for (const JournalEntry& e : whole) {
        std::string line = journalLine(e);
        REQUIRE(!line.empty());  // a field read never holds a separator
        again += line;
    }
    std::vector<JournalEntry> reread;
    REQUIRE(parseJournal(again.data(), again.size(), &reread) == JournalRead::Entries);
    REQUIRE(reread.size() == whole.size());
    for (size_t i = 0; i < whole.size(); ++i)
        REQUIRE(reread[i].kind == whole[i].kind && reread[i].path == whole[i].path &&
                reread[i].staging == whole[i].staging && reread[i].aside == whole[i].aside &&
                reread[i].number == whole[i].number);
    // A registry value's earlier state reads back as the same field.
    for (const JournalEntry& e : whole) {
        std::string bytes;
        EarlierValue earlier = earlierValueOf(e.aside, &bytes);
        if (earlier == EarlierValue::Present)
            REQUIRE(earlierValueField(bytes.data(), bytes.size()) == e.aside);
        else if (earlier == EarlierValue::Absent)
            REQUIRE(bytes.empty() && e.aside == kAbsentValueField);
    }
    return 0;
}
