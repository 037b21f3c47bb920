// InstallJournal: a run's journal on disk (format/RunJournal.h), kept by the
// run's EngineRun when the process asked for transactions. Each step that
// changes the machine is written to it first: a file put in place (and the
// target it moved aside), a folder made, an exchange of a file in use, an
// earlier version's file removed (moved aside, Upgrade.cpp), a registry key
// made or value written by Setup's registry operations (Registry.cpp). A run
// that completes commits it (the moved-aside files and the journal are
// deleted); one that does not is rolled back (every step undone, newest
// first), by the run itself or, after a kill, by whoever finds the journal
// next (recoverJournal).
//
// Registration and the commit: Setup::Process's worker holds the commit of
// a run that completes (RunControl::holdsCommit) until the closing
// operation the run's end selects has returned, so that the registration a
// product writes there (RegisterApplication, its Uninstall entry) belongs
// to the run: a kill during it leaves a journal that undoes the
// registration with the files, and a registry write that fails undoes the
// whole run (settleHeldRun), never leaving an Uninstall entry for files
// rolled back, nor files with half an entry. Glue: Windows calls only.
#ifndef SETUP_FILEMANAGER_INSTALL_JOURNAL_H
#define SETUP_FILEMANAGER_INSTALL_JOURNAL_H

#include <windows.h>

#include <vector>

#include "Setup.h"

#include "common/PathSize.h"
#include "filemanager/JournalUndo.h"
#include "format/RunJournal.h"
#include "win32/Ownership.h"

// Whether the process's install runs keep a journal (off unless the product
// asked for it with SetInstallTransactions).
bool transactionsWanted();

// What becomes of a registry write of Setup's while its engine's run keeps
// a journal.
enum class RegistryJournalled {
    NotCovered,  // no open journal: written as without transactions
    Recorded,    // the keys it makes and the value's earlier state are journalled: write it
    Refused      // it cannot be journalled (a root that is not a predefined key, an
                 // earlier value over kLargestJournalledValue, the line not written): not written
};
// Journals the keys a write below `root`\`subKey` will make and, unless
// `valueName` is kKeyOnly, the value's earlier type and bytes.
extern const char kKeyOnly[];
RegistryJournalled journalRegistryWrite(const SetupFileManager& engine, HKEY root, const char* subKey,
                                        const char* valueName);
// A registry operation of Setup's failed while its engine's run keeps a
// journal: the held run is undone when it is settled.
void noteRegistryFailure(const SetupFileManager& engine);
// Settles a run whose commit was held: committed when `complete` and no
// registry operation failed meanwhile, else undone; the run ends.
//   true   committed, or no held run
//   false  undone
bool settleHeldRun(SetupFileManager& engine, bool complete);

class InstallJournal {
public:
    // Starts the journal in `folder` (which exists). False when it cannot be
    // created, or one is already open.
    bool open(const char* folder);
    bool isOpen() const { return file_.valid(); }
    // Appends the entry before the step it names; `flush` when the step
    // moves something that was on the machine before the run, so that a
    // power cut cannot lose the way back. False when the line could not be
    // written (the step must then not be taken).
    bool record(const JournalEntry& entry, bool flush);
    // The run completed: what it moved aside and the journal are deleted.
    void commit();
    // The run did not complete: every step undone, newest first, then the
    // journal deleted; `progress` hears of each entry.
    void rollBack(const UndoProgress& progress = UndoProgress());

private:
    win32::FileHandle file_;
    char path_[PathSize] = "";
    std::vector<JournalEntry> entries_;
};

#endif
