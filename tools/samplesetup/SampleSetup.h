// The sample product's Setup object, shared by the program's start
// (SampleSetup.cpp) and its wizard pages (Pages.cpp). What every setup
// program does around its wizard (switches, checks, the run, registration)
// comes from SetupProgram.h; the sample adds its product and its pages.
#ifndef SAMPLE_SETUP_H
#define SAMPLE_SETUP_H

#include "SetupProgram.h"

// The product's groups, in the order of the archive's manifest.
enum SampleGroup {
    GroupProgram = 1,  // always installed
    GroupDocs = 2,
    GroupHelp = 3,
    GroupCount = 3
};

class SampleProduct : public SetupProgram {
public:
    SampleProduct(HINSTANCE instance, const SetupFacts& facts, const Options& options, RunLog& log)
        : SetupProgram(instance, facts, options, log) {}

    // Shows the wizard's four pages (Pages.cpp).
    WizardEnd runWizard() override;
};

#endif
