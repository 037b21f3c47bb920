// Undoing a run's journal (format/RunJournal.h): what the engine does when
// its run does not complete, what the next start of the engine on a folder
// does with a journal a killed setup left there, and what the uninstaller
// does with one before it removes anything. A static library of its own, so
// that Setup.Dll and QRVUnins.Exe share one way of undoing a run. Also how
// a file-in-use exchange was recorded and how it is taken back, and the
// predefined registry roots a journal names by their full names. Glue:
// Windows calls only.
#ifndef SETUP_FILEMANAGER_JOURNAL_UNDO_H
#define SETUP_FILEMANAGER_JOURNAL_UNDO_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/PathSize.h"
#include "filemanager/EngineRules.h"
#include "format/RegistryNames.h"
#include "format/RunJournal.h"

// wininit.ini's [rename] section is read whole into a buffer of this size.
const DWORD kWininitSectionCapacity = 32767;

// How the run's last file-in-use exchange was recorded, so that a file whose
// content then cannot be written whole can take it back (FilesInUse.cpp).
struct RecordedExchange {
    enum Kind { None, RenameFile, Wininit } kind = None;
    unsigned int number = 0;          // RenameFile: the keys' number
    char renameFile[PathSize] = "";   // RenameFile: QrvInit.Ini's path
    char line[kRenameLineSize] = "";  // Wininit: the line added to [rename]
};

// Takes back the exchange recorded for `temporaryName` (closed already) and
// deletes the file: its content is incomplete, or its run is undone.
void takeBackExchange(RecordedExchange& recorded, char* temporaryName);

// What the start of a run finds of an earlier run's journal in its folder.
enum class JournalFound {
    None,        // no journal (or a file of that name that is not one: left alone)
    RolledBack,  // a run that never completed (its process was killed), now undone
    InUse        // another run is writing it: a setup at work on this folder
};
// Looks for a journal in `folder` and undoes the run it names when no
// process holds it any more; `undone`, when not null, receives the number
// of its entries (RolledBack only).
JournalFound recoverJournal(const char* folder, size_t* undone = nullptr);

// Told before each entry is undone: how many are done, of how many, and
// the entry.
using UndoProgress = std::function<void(size_t done, size_t total, const JournalEntry& entry)>;

// Undoes `entries`, newest first: files put in place are taken away and
// what they replaced or removed put back (bytes, times and attributes: it
// was only renamed), exchanges of files in use are taken back, registry
// values written get back their earlier type and bytes (or go, when there
// were none) and keys made are removed when empty, folders made are
// removed when empty. Folders go last, after `beforeFolders` (the journal's
// own file lives in one of them).
void undoEntries(const std::vector<JournalEntry>& entries, const char* beforeFolders,
                 const UndoProgress& progress = UndoProgress());

// The predefined key of a root, and the root of a predefined key (None for
// any other key).
HKEY predefinedKey(KeyRoot root);
KeyRoot predefinedRoot(HKEY key);

// Deletes a file the run wrote or put aside ("" is none), which may carry
// the read-only attribute it had as a target.
void deleteSideFile(const std::string& path);

// Reads the whole of an open file of at most `largest` bytes into `bytes`;
// false when it cannot be read or is larger. May throw std::bad_alloc.
bool readWholeFile(HANDLE file, size_t largest, std::string* bytes);

#endif
