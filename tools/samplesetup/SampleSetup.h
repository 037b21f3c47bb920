// The sample product's Setup object, shared by the program's flow
// (SampleSetup.cpp) and its wizard pages (Pages.cpp).
#ifndef SAMPLE_SETUP_H
#define SAMPLE_SETUP_H

#include "Setup.h"

#include <stdint.h>

#include <string>
#include <vector>

#include "RunLog.h"
#include "SampleRules.h"

// The product's groups, in the order of the archive's manifest.
enum SampleGroup {
    GroupProgram = 1,  // always installed
    GroupDocs = 2,
    GroupHelp = 3,
    GroupCount = 3
};

class SampleProduct : public Setup {
public:
    SampleProduct(HINSTANCE instance, const Options& options, RunLog& log);

    // The whole install: the earlier version offered for removal, wizard
    // (with the language button) or not, space check, run, registration,
    // closing message.
    RunEnd run();

    // Logs each file, then lets the library show it in the progress
    // dialog. Worker thread.
    int TakeProcessInfo(int kind, void* data) override;
    // Each records how the run ended; the messages that go with it come
    // after Process, once the library's windows are settled (see run()).
    int ProcessError() override;
    int ProcessOK() override;
    int ProcessUserBreak() override;
    int ProcessNeedReboot() override;

    // Text `id` of the sample's table, from the chosen language library
    // first, else from the sample's own English resources.
    std::string text(int id) const;
    // Shows one of the sample's own messages (text `id` filled with
    // `inserts`), or answers it by itself in unattended mode; either way it
    // is logged. Result: the answer (IDOK ...).
    int tell(int id, unsigned long style, const std::vector<std::string>& inserts);
    // Compares the free space of the target's drive with the archive's
    // size; says so and returns false when the files do not fit. A drive
    // whose free space cannot be read is not refused.
    bool filesFit();
    // Whether the chosen folder may be the target (see checkPlaces: the
    // wizard's folder is checked as /D= is); if not, says why.
    bool folderAccepted();
    // The product's Uninstall entry, when there is one: false when none.
    bool earlierVersionEntry(UninstallEntry* entry) const;
    // Offers to remove the registered earlier version (string 11125, naming
    // what it is and where) and removes it through its uninstaller on Yes;
    // only an entry that is the product's own is offered. Unattended it
    // asks nothing and removes nothing: the install goes over the earlier
    // one. Logged.
    void offerRemoval();
    // Registers the installed product: the library's entries, then the
    // Uninstall entry's InstallLocation, DisplayVersion, Publisher,
    // DisplayIcon and EstimatedSize. Logged. Result: false at the first
    // value that could not be written.
    bool registerProduct();
    // Hands the exchanges of files that were in use to Windows' next start
    // (after a run that ended with 3) and logs the counts.
    void completePendingExchanges();

    const Options& options;
    RunLog& log;
    // The archive header's totalSize: the bytes the files take.
    uint64_t neededBytes = 0;
    uint64_t fileCount = 0;  // the archive header's, for the clusters they take
    // The last page's Install was pressed and accepted.
    bool installAccepted = false;

private:
    // Reads the archive header from Data1.Dat. Result: NotRun when read,
    // else how the run ends (the reader has said why).
    RunEnd readArchiveSize();
    // Dispatches what the library posted to this thread while it was busy
    // (the background window's close after a confirmed Cancel).
    void settleWindows();
    void logGroups();

    RunEnd end_ = RunEnd::NotRun;
};

// Shows the wizard's four pages. Result: Accepted when Install was pressed
// on the last page, Cancelled when the user left it, Failed when a page
// could not be shown.
enum class WizardEnd { Accepted, Cancelled, Failed };
WizardEnd runWizard(SampleProduct& product);

// True once the user (or, in unattended mode, the answer given for the
// user) has confirmed the question whether to exit.
bool userEndedSetup();

#endif
