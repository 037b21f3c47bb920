// The run journal, Install.jnl in the installation folder: what an install
// run has done so far, written before each step that changes the machine, so
// that a run that does not finish (an error, a cancel, a killed process, a
// power cut) can be undone by whoever finds the journal: the run itself, the
// next start of the engine on that folder, or the uninstaller. A text file of
// lines, one entry each: a kind letter, its fields separated by tabs, and a
// CRC-32 of everything before it, so that a line a kill cut short is known
// and ignored (its step never happened). The first line names the format.
// Paths cannot hold tabs or line ends on Windows. Also the names of the side
// files a run keeps beside a target (a file moved aside, a file being
// written), and how a registry value's earlier bytes are kept in a line.
// Portable: no <windows.h>.
#ifndef SETUP_FORMAT_RUN_JOURNAL_H
#define SETUP_FORMAT_RUN_JOURNAL_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// The journal's file name, in the installation folder, and its first line.
extern const char kJournalName[];
extern const char kJournalHeader[];

enum class JournalKind : char {
    // A file put in place: `path` the target, `staging` the file it is
    // written as first, `aside` where a target that was there is moved
    // (empty when there was none), `number` that target's attributes.
    // Written before the staging file is made.
    Put = 'P',
    // A folder about to be made: `path`.
    Folder = 'D',
    // A file-in-use exchange recorded in QrvInit.Ini: `path` the temporary
    // file, `staging` the rename file, `number` the keys' number.
    ExchangeIni = 'X',
    // The same recorded in wininit.ini's [rename]: `path` the temporary
    // file, `staging` the line added.
    ExchangeWininit = 'W',
    // A file the run removes (an earlier version's that the new one no
    // longer ships): `path` the file, `aside` where it is moved until the
    // run commits, `number` its attributes. Written before the move.
    Remove = 'R',
    // A registry key about to be made: `path` its full name (the root's
    // name, a backslash, the key below it). Written parents first.
    Key = 'K',
    // A registry value about to be written: `path` its key's full name,
    // `staging` the value's name ("" the key's default value), `aside` what
    // it held before (earlierValueField), `number` its type then.
    Value = 'V',
};

struct JournalEntry {
    JournalKind kind = JournalKind::Put;
    std::string path;
    std::string staging;
    std::string aside;
    uint32_t number = 0;
};

// The longest line an entry becomes: four fields of a path each, the kind,
// the number, the CRC, separators and the line end.
const size_t kJournalLineSize = 4 * 520 + 40;

// The entry as one line (ends in '\n') in `line`; its length, or 0 when a
// field holds a tab or a line end, or the line would not fit `size`.
size_t formatJournalEntry(const JournalEntry& entry, char* line, size_t size);
// The same for a line of any length (a Value's earlier bytes): "" refused.
// May throw std::bad_alloc.
std::string journalLine(const JournalEntry& entry);

// The largest earlier value a Value entry keeps; a larger one cannot be
// journalled, so the run does not overwrite it.
const size_t kLargestJournalledValue = 1024 * 1024;
// A Value entry's `aside`: "-" the value was absent, else "=" and its bytes
// in lower-case hexadecimal. May throw std::bad_alloc.
std::string earlierValueField(const void* bytes, size_t size);
extern const char kAbsentValueField[];
// What a Value entry's `aside` says the value held.
enum class EarlierValue {
    Absent,   // nothing: the run's value is deleted
    Present,  // *bytes: they are written back with the entry's type
    Damaged   // neither form: nothing is done
};
EarlierValue earlierValueOf(const std::string& field, std::string* bytes);

// What a journal's bytes hold.
enum class JournalRead {
    Entries,   // the header and every entry whole (possibly none)
    CutShort,  // the entries before a line that a kill cut short or damaged
    Foreign    // not a journal (no header): nothing to act on
};
// The entries of a journal's bytes, in the order they were written.
JournalRead parseJournal(const char* data, size_t size, std::vector<JournalEntry>* entries);

// The line a product may log when a start of the engine on `folder` found
// a killed run's journal there and undid its `undone` entries.
std::string recoveryLine(const char* folder, size_t undone);

// The name of a side file beside `target` (in its folder, so that moving the
// target there is a rename on the same volume): "~qrv" then `role` ('a' a
// target moved aside, 's' a file being written), `process` and `serial` in
// hexadecimal, ".tmp". False when the target has no folder or the name does
// not fit `size`.
bool sideFileName(char* out, size_t size, const char* target, char role, uint32_t process,
                  uint32_t serial);

#endif
