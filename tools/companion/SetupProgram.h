// What every setup program built on Setup.Dll does around its wizard, shared
// by the sample setup and the generic setup (library `companion`, Win32; the
// SDK ships it as include/SetupProgram.h with lib/libcompanion.a): the
// switches (/S, /D=, /LOG=, /NORESTART, /?), the checks of the target and
// the log before anything is written, the message hook that answers every
// question unattended and logs it, the free-space check, the earlier version
// offered for removal after the wizard, the run with its transactions, the
// registration for the uninstaller with the Uninstall entry's values, the
// exchange of files in use, the closing messages and the exit code.
//
// A program derives from SetupProgram, gives its wizard (runWizard) and,
// if it adds anything after the files (afterInstall), that too, and calls
// runSetupProgram from WinMain:
//
//     int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
//         return runSetupProgram(instance, commandLine, facts,
//             [&](const Options& o, RunLog& log) { return std::unique_ptr<SetupProgram>(
//                 new MyProduct(instance, facts, o, log)); });
//     }
#ifndef SETUP_PROGRAM_H
#define SETUP_PROGRAM_H

#include "Setup.h"

#include <stdint.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RunLog.h"
#include "SetupRules.h"

class SetupProgram : public Setup {
public:
    SetupProgram(HINSTANCE instance, const SetupFacts& facts, const Options& options, RunLog& log);

    // The whole install: the earlier version offered for removal, wizard
    // (with the language button) or not, space check, run, registration,
    // closing message.
    RunEnd run();

    // Called once the group list is made, before the wizard or the
    // unattended run: the product sets which groups start chosen.
    virtual void groupsMade() {}
    // The product's wizard, shown between the background window and the
    // run; its last page calls installChosen() when Install is pressed.
    virtual WizardEnd runWizard() = 0;
    // What the product adds once its files are installed, before it is
    // registered (shortcuts, registry values ...), each made part of the
    // run (WriteToRegistry, JournalCreation) so that a run undone takes it
    // away. False: the run failed and is undone.
    virtual bool afterInstall() { return true; }
    // Whether the wizard offers the "Choose language" button: a product
    // with one language has nothing to choose.
    virtual bool offersLanguageChoice() const { return true; }
    // Text `id` of the program's table, from the chosen language library
    // first, else from the program's own resources.
    virtual std::string text(int id) const;

    // Logs each file, then lets the library show it in the progress
    // dialog. Worker thread.
    int TakeProcessInfo(int kind, void* data) override;
    // Each records how the run ended; the messages that go with it come
    // after Process, once the library's windows are settled (see run()).
    int ProcessError() override;
    int ProcessOK() override;
    int ProcessUserBreak() override;
    int ProcessNeedReboot() override;

    // Shows one of the program's own messages (text `id` filled with
    // `inserts`), or answers it by itself in unattended mode; either way it
    // is logged. Result: the answer (IDOK ...).
    int tell(int id, unsigned long style, const std::vector<std::string>& inserts);
    // The last page's Install: the folder accepted and the files fit (each
    // says why not). True: the wizard may end and the run start.
    bool installChosen();
    // Compares the free space of the target's drive with the archive's
    // size; says so and returns false when the files do not fit. A drive
    // whose free space cannot be read is not refused.
    bool filesFit();
    // Whether the chosen folder may be the target (the wizard's folder is
    // checked as /D= is); if not, says why.
    bool folderAccepted();
    // The product's Uninstall entry, when there is one: false when none.
    bool earlierVersionEntry(UninstallEntry* entry) const;
    // Offers to remove the registered earlier version (naming what it is
    // and where) and removes it through its uninstaller on Yes; only an
    // entry that is the product's own is offered. Unattended it asks
    // nothing and removes nothing: the install goes over the earlier one.
    void offerRemoval();
    // Registers the installed product: the library's entries, then the
    // Uninstall entry's values. Logged. False at the first value that could
    // not be written.
    bool registerProduct();
    // Hands the exchanges of files that were in use to Windows' next start
    // and logs the counts.
    void completePendingExchanges();

    const SetupFacts& facts;
    const Options& options;
    RunLog& log;
    uint64_t neededBytes = 0;  // the archive header's totalSize: the bytes the files take
    uint64_t fileCount = 0;    // the archive header's, for the clusters they take
    bool installAccepted = false;  // the last page's Install was pressed and accepted

private:
    RunEnd readArchiveSize();
    void settleWindows();
    void logGroups();

    RunEnd end_ = RunEnd::NotRun;
};

// True once the user (or, in unattended mode, the answer given for the
// user) has confirmed the question whether to exit.
bool userEndedSetup();

// Shows control `control` of wizard page `page` (its heading) in bold, a
// third larger than the page's font. The font is made once, from the first
// page's, and kept for the process.
void showHeadingBold(HWND page, int control);

// Writes `text` where the caller of the program can read it: its standard
// output, else the console it was started from, else (never with /S) a
// message box captioned `caption`.
void printText(const std::string& text, bool silent, const std::string& caption);

// Makes the program's SetupProgram once the switches are read and checked.
using SetupMaker = std::function<std::unique_ptr<SetupProgram>(const Options&, RunLog&)>;

// The program from its first step to its exit code: the DLL search
// restricted, the product's links, the switches, the copy from a removable
// drive, the target and the log checked, the log opened, the message hook,
// transactions on, the run. Result: the process's exit code (ExitCode).
int runSetupProgram(HINSTANCE instance, const char* commandLine, const SetupFacts& facts, const SetupMaker& make);

#endif
