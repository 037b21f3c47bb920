// The sample product's setup executable: the program a product team copies
// and adapts. It derives its object from SetupProgram (which derives from
// Setup) and drives the library the usual way: background window, exit
// button, a four-page wizard (welcome, readme, folder and components, ready
// to install, in Pages.cpp), the installation run with its progress dialog,
// and the library's closing messages.
//
// What every setup does around its wizard comes from the companion library
// (SetupProgram.h): an unattended mode for package managers and
// administrators (SampleSetup /? lists the switches: /S, /D=, /LOG=,
// /NORESTART), the checks of the target and the log before anything is
// written, the exit codes (0, 3010 reboot needed, 1602 cancelled, 1603
// failed, 1639 bad arguments), the copy from a removable drive, the earlier
// version offered for removal after the Ready page, transactions, and the
// registration for the uninstaller QRVUnins.Exe with the Uninstall entry's
// values. This file says what the product is.
#include "SampleSetup.h"

#include "PageText.h"

static_assert(TEXT_NO_SPACE == SetupTextNoSpace && TEXT_FAILED == SetupTextFailed &&
                  TEXT_CANCELLED == SetupTextCancelled && TEXT_FOLDER_REFUSED == SetupTextFolderRefused,
              "the sample's messages have the numbers the shared code shows");

namespace {

SetupFacts sampleFacts() {
    SetupFacts facts;
    facts.program = "SampleSetup";
    facts.title = "Sample Product Setup";
    facts.productName = "Sample Product";
    facts.exeName = "SampleTool.exe";
    // What the Uninstall entry says about the product beside its name (and
    // what the version record of SampleSetup.rc says).
    facts.version = "1.0";
    facts.publisher = "Sample Company";
    // Apps & features links to these from the Uninstall entry.
    facts.aboutUrl = "https://www.example.com/sample-product";
    facts.helpUrl = "https://www.example.com/sample-product/support";
    facts.defaultFolder = "Sample Product";
    facts.logFirstLine = "Sample Product Setup log";
    facts.groupCount = GroupCount;
    return facts;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // First of all: a DLL lying beside the setup (a Downloads folder) is
    // never loaded in place of Windows' own.
    RestrictDllSearch();
    static const SetupFacts facts = sampleFacts();
    return runSetupProgram(instance, commandLine, facts, [instance](const Options& options, RunLog& log) {
        return std::unique_ptr<SetupProgram>(new SampleProduct(instance, facts, options, log));
    });
}
