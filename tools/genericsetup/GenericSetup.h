// The generic setup's Setup object: a SetupProgram whose facts, pages,
// texts and additions after the files come from a product description.
// Shared by the program and its pages (GenericSetup.cpp) and what it adds
// after the files (ProductActions.cpp).
#ifndef GENERIC_SETUP_H
#define GENERIC_SETUP_H

#include <string>

#include "SetupProgram.h"
#include "tools/product/ProductDescription.h"

class GenericProduct : public SetupProgram {
public:
    GenericProduct(HINSTANCE instance, const SetupFacts& facts, const ProductDescription& product,
                   const std::string& productFolder, const Options& options, RunLog& log);

    // Components start ticked as the product file says.
    void groupsMade() override;
    // The pages the product file lists, the ready page last.
    WizardEnd runWizard() override;
    // The shortcuts, then the registry values and file types, each listed
    // for the uninstaller (Install.log, InstallReg.log) and part of the run
    // (undone with it). False at the first that cannot be made.
    bool afterInstall() override;
    // Only when the product file lists more than one language.
    bool offersLanguageChoice() const override;

    // The language chosen now: the language library's, else the default.
    std::string language() const;
    // `text` in that language ("" when the product gives none).
    std::string local(const LocalText& text) const;
    // The product file's page of `kind`, or null.
    const Page* page(PageKind kind) const;
    // The file a licence or readme page shows, in the chosen language.
    std::string pageFile(const Page& page) const;

    const ProductDescription& description;
    const std::string folder;  // the product file's, with its backslash
    bool licenceAccepted = false;

private:
    bool makeShortcuts();
    bool writeRegistry();
};

#endif
