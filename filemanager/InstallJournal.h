// InstallJournal: a run's journal on disk (format/RunJournal.h), kept by the
// run's EngineRun when the process asked for transactions. Each step that
// changes the machine is written to it first: a file put in place (and the
// target it moved aside), a folder made, an exchange of a file in use, an
// earlier version's file removed (moved aside, Upgrade.cpp). A run
// that completes commits it (the moved-aside files and the journal are
// deleted); one that does not is rolled back (every step undone, newest
// first), by the run itself or, after a kill, by whoever finds the journal
// next (undoJournalFile). Glue: Windows calls only.
#ifndef SETUP_FILEMANAGER_INSTALL_JOURNAL_H
#define SETUP_FILEMANAGER_INSTALL_JOURNAL_H

#include <windows.h>

#include <vector>

#include "common/PathSize.h"
#include "filemanager/JournalUndo.h"
#include "format/RunJournal.h"
#include "win32/Ownership.h"

// Whether the process's install runs keep a journal (off unless the product
// asked for it with SetInstallTransactions).
bool transactionsWanted();

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
    // journal deleted.
    void rollBack();

private:
    win32::FileHandle file_;
    char path_[PathSize] = "";
    std::vector<JournalEntry> entries_;
};

#endif
