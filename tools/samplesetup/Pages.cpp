// The sample's four wizard pages: welcome, readme, folder and components,
// ready to install. The library shows them one at a time and handles their
// Back, Next, Cancel, Readme and Browse buttons and the picture; each page
// procedure here only sets its texts when the page opens and again when it
// is activated (from the chosen language library first, so a choice made
// with the "Choose language" button reaches the open page too), keeps
// the group list in step with the component boxes, and checks the free
// space when Install is pressed.
//
// The page procedures are plain functions: the product object they work on
// is module-wide, set by runWizard for the wizard's lifetime (one wizard
// at a time, on the constructing thread).
#include "SampleSetup.h"

#include "PageText.h"
#include "SampleResource.h"

static_assert(IDC_LIB_CANCEL == PageCancel && IDC_LIB_BACK == PageBack && IDC_LIB_NEXT == PageNext &&
                  IDC_LIB_README == PageReadme && IDC_LIB_PICTURE == PagePicture &&
                  IDC_LIB_BROWSE == PageBrowse && IDC_LIB_FOLDER == PageFolder,
              "the page templates use the library's command and control ids");
static_assert(IDB_PAGE_16 == PagePictureBasic && IDB_PAGE_256 == PagePicturePalette,
              "the page pictures have the numbers the library loads");

namespace {

SampleProduct* g_product = nullptr;
// The heading of the open page as last shown.
std::string g_shownHeading;

void setText(HWND page, int control, const std::string& text) {
    SetDlgItemTextA(page, control, text.c_str());
}

// The texts every page shows: the caption, the heading, the body with the
// product's name, and the buttons' texts. Result: the heading.
std::string showPageTexts(HWND page, int title, int body, int next) {
    SampleProduct& product = *g_product;
    SetWindowTextA(page, product.windowTitle);
    std::vector<std::string> name = {product.productName};
    std::string heading = fillText(product.text(title), name);
    setText(page, IDC_PAGE_TITLE, heading);
    setText(page, IDC_PAGE_BODY, fillText(product.text(body), name));
    setText(page, IDC_LIB_BACK, product.text(TEXT_BACK));
    setText(page, IDC_LIB_NEXT, product.text(next));
    setText(page, IDC_LIB_CANCEL, product.text(TEXT_CANCEL));
    return heading;
}

// The heading in bold, then the page's texts.
void initPage(HWND page, const std::string& heading) {
    SampleProduct& product = *g_product;
    showHeadingBold(page, IDC_PAGE_TITLE);
    // Whoever watches the log (a support person, the demo script) sees
    // which page is on screen: every line is written at once.
    product.log.line("page: " + heading);
    g_shownHeading = heading;
    // The library has focused the first control; Enter should go on, as
    // the highlighted default button promises, not press Readme or Browse.
    SetFocus(GetDlgItem(page, IDC_LIB_NEXT));
}

// The language dialog of the "Choose language" button is owned by the page
// and gives the activation back to it when it closes: the page then reads
// its texts again, from the language library chosen meanwhile. Re-reading
// them at every activation is cheap and needs no notice from the library.
bool isActivation(UINT message, WPARAM wParam) {
    return message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE;
}

// Logs the heading when re-read texts changed it (another language).
void noteRefresh(const std::string& heading) {
    if (heading == g_shownHeading)
        return;
    g_shownHeading = heading;
    g_product->log.line("page: " + heading + " (language changed)");
}

bool isCommand(UINT message, WPARAM wParam, int id) {
    return message == WM_COMMAND && LOWORD(wParam) == id;
}

std::string welcomeTexts(HWND page) {
    return showPageTexts(page, TEXT_WELCOME_TITLE, TEXT_WELCOME_BODY, TEXT_NEXT);
}

int welcomePage(HWND page, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        initPage(page, welcomeTexts(page));
    else if (isActivation(message, wParam))
        noteRefresh(welcomeTexts(page));
    return PageReplyNotHandled;
}

std::string readmeTexts(HWND page) {
    std::string heading = showPageTexts(page, TEXT_README_TITLE, TEXT_README_BODY, TEXT_NEXT);
    setText(page, IDC_LIB_README, g_product->text(TEXT_README));
    return heading;
}

int readmePage(HWND page, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        initPage(page, readmeTexts(page));
    else if (isActivation(message, wParam))
        noteRefresh(readmeTexts(page));
    return PageReplyNotHandled;
}

// The box of each optional group, and its text.
struct GroupBox {
    int control;
    SampleGroup group;
    int text;
};
const GroupBox kGroupBoxes[] = {
    {IDC_GROUP_PROGRAM, GroupProgram, TEXT_GROUP_PROGRAM},
    {IDC_GROUP_DOCS, GroupDocs, TEXT_GROUP_DOCS},
    {IDC_GROUP_HELP, GroupHelp, TEXT_GROUP_HELP},
};

std::string folderTexts(HWND page) {
    std::string heading = showPageTexts(page, TEXT_FOLDER_TITLE, TEXT_FOLDER_BODY, TEXT_NEXT);
    setText(page, IDC_LIB_BROWSE, g_product->text(TEXT_BROWSE));
    for (const GroupBox& box : kGroupBoxes)
        setText(page, box.control, g_product->text(box.text));
    return heading;
}

int folderPage(HWND page, UINT message, WPARAM wParam, LPARAM) {
    SampleProduct& product = *g_product;
    if (message == WM_INITDIALOG) {
        initPage(page, folderTexts(page));
        product.SetShortWindowText(GetDlgItem(page, IDC_LIB_FOLDER), product.GetInstDir());
        for (const GroupBox& box : kGroupBoxes)
            CheckDlgButton(page, box.control, product.GetGroupStatus(box.group) ? BST_CHECKED : BST_UNCHECKED);
        return PageReplyNotHandled;
    }
    if (isActivation(message, wParam)) {
        noteRefresh(folderTexts(page));
        return PageReplyNotHandled;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        for (const GroupBox& box : kGroupBoxes) {
            if (LOWORD(wParam) != box.control || box.group == GroupProgram)
                continue;
            if (IsDlgButtonChecked(page, box.control) == BST_CHECKED)
                product.EnableGroup(box.group);
            else
                product.DesableGroup(box.group);
            return PageReplyHandled;
        }
    }
    return PageReplyNotHandled;
}

std::string readyTexts(HWND page) {
    return showPageTexts(page, TEXT_READY_TITLE, TEXT_READY_BODY, TEXT_INSTALL);
}

int readyPage(HWND page, UINT message, WPARAM wParam, LPARAM) {
    SampleProduct& product = *g_product;
    if (message == WM_INITDIALOG) {
        initPage(page, readyTexts(page));
        product.SetShortWindowText(GetDlgItem(page, IDC_LIB_FOLDER), product.GetInstDir());
        return PageReplyNotHandled;
    }
    if (isActivation(message, wParam)) {
        noteRefresh(readyTexts(page));
        return PageReplyNotHandled;
    }
    // Install: the page stays when the folder is refused or the files do
    // not fit; else Next past the last page ends the wizard.
    if (isCommand(message, wParam, PageNext) && !product.installChosen())
        return PageReplyHandled;
    return PageReplyNotHandled;
}

}  // namespace

WizardEnd SampleProduct::runWizard() {
    SampleProduct& product = *this;
    g_product = &product;
    product.installAccepted = false;
    int ended = 0;
    if (product.InitDialogs(4, IDD_PAGE_WELCOME, static_cast<PageProcedure>(welcomePage),
                            IDD_PAGE_README, static_cast<PageProcedure>(readmePage),
                            IDD_PAGE_FOLDER, static_cast<PageProcedure>(folderPage),
                            IDD_PAGE_READY, static_cast<PageProcedure>(readyPage))) {
        ended = product.GetDialogsQueue();
        product.DestroyDialogs();
    }
    g_shownHeading.clear();
    g_product = nullptr;
    if (product.installAccepted)
        return WizardEnd::Accepted;
    // Ended by a page: Cancel confirmed, or the background window closed.
    if (ended == 1 || !product.MainWindowExist())
        return WizardEnd::Cancelled;
    return WizardEnd::Failed;
}
