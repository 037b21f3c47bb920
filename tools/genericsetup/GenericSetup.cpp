// GenericSetup.exe: the setup program of a product described by a product
// file, with no code of the product's own. It reads Product.toml from its
// own folder (beside Setup.Dll, the language libraries and the volumes),
// checks it, and does what the sample setup does (SetupProgram.h: the
// switches, the checks, the run, the registration, the exit codes) with the
// product's facts, its wizard pages and texts, and after the files its
// shortcuts, registry values and file types (ProductActions.cpp), each listed
// for the uninstaller. A folder without a valid product file ends with 1603
// before anything is written, saying why (in the log under /S).
#include <windows.h>
#include <commctrl.h>

#include <algorithm>

#include "tools/genericsetup/GenericResource.h"
#include "tools/genericsetup/GenericRules.h"
#include "tools/genericsetup/GenericSetup.h"
#include "PageText.h"
#include "SampleResource.h"
#include "tools/product/ProductFile.h"
#include "win32/CodePage.h"
#include "win32/Ownership.h"
#include "win32/SystemLibrary.h"

namespace {

GenericProduct* g_product = nullptr;  // the wizard's product, for its page procedures (one wizard at a time)
// The components' list is being filled: its changes are not the user's.
bool g_fillingComponents = false;

// UTF-8 (the product file's texts and its files) as the controls show it.
std::wstring wide(const std::string& utf8) { return win32::wideText(utf8, CP_UTF8); }

void setText(HWND page, int control, const std::string& utf8) { SetDlgItemTextW(page, control, wide(utf8).c_str()); }

// A text of the product file where there is one (UTF-8), else the setup's
// own (in the code page, as the string tables give it).
void setText(HWND page, int control, const std::string& product, const std::string& own) {
    if (product.empty())
        SetDlgItemTextA(page, control, own.c_str());
    else
        setText(page, control, product);
}

// What the library and the A functions take: the product file's UTF-8 in
// the code page.
std::string codePage(const std::string& utf8) {
    std::wstring w = wide(utf8);
    int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), &out[0], n, nullptr, nullptr);
    return out;
}

// The names the setup hands to Windows' A functions (the Setup object's
// texts, the registry, the shortcuts' paths) in the code page; the texts
// shown on the pages stay UTF-8 and are shown through the W functions.
void toCodePage(ProductDescription& d) {
    for (std::string* s : {&d.product.name, &d.product.publisher, &d.product.aboutUrl, &d.product.helpUrl,
                           &d.product.icon, &d.product.defaultFolder})
        *s = codePage(*s);
    for (Shortcut& c : d.shortcuts)
        for (std::string* s : {&c.name, &c.target, &c.arguments, &c.icon, &c.folder})
            *s = codePage(*s);
    for (RegistryValue& v : d.registry)
        for (std::string* s : {&v.key, &v.name, &v.text})
            *s = codePage(*s);
    for (Association& a : d.associations)
        for (std::string* s : {&a.description, &a.target, &a.arguments, &a.icon})
            *s = codePage(*s);
}

// An edit control shows line breaks only as CR LF.
std::string withCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

// The setup's own texts of each page kind: heading and body.
struct PageTexts {
    PageKind kind;
    int dialog;
    int title;
    int body;
};
const PageTexts kPageTexts[] = {
    {PageKind::Welcome, IDD_GENERIC_WELCOME, TEXT_WELCOME_TITLE, TEXT_WELCOME_BODY},
    {PageKind::Licence, IDD_GENERIC_LICENCE, TEXT_LICENCE_TITLE, TEXT_LICENCE_BODY},
    {PageKind::Readme, IDD_GENERIC_README, TEXT_README_TITLE, 0},
    {PageKind::Folder, IDD_GENERIC_FOLDER, TEXT_FOLDER_ONLY_TITLE, TEXT_FOLDER_BODY},
    {PageKind::Components, IDD_GENERIC_COMPONENTS, TEXT_COMPONENTS_TITLE, TEXT_COMPONENTS_BODY},
    {PageKind::Ready, IDD_GENERIC_READY, TEXT_READY_TITLE, TEXT_READY_BODY},
};

const PageTexts& textsOf(PageKind kind) {
    for (const PageTexts& t : kPageTexts)
        if (t.kind == kind)
            return t;
    return kPageTexts[0];
}

// The page's texts, in the language chosen now: the product's, else the
// setup's own; the buttons; the licence or readme file; the components.
void showTexts(HWND page, PageKind kind) {
    GenericProduct& product = *g_product;
    const PageTexts& own = textsOf(kind);
    const Page* described = product.page(kind);
    std::vector<std::string> name = {product.facts.productName};
    SetWindowTextA(page, product.facts.title.c_str());
    std::string title = described ? product.local(described->title) : std::string();
    setText(page, IDC_PAGE_TITLE, title, fillText(product.text(own.title), name));
    std::string body = described ? product.local(described->text) : std::string();
    if (own.body)
        setText(page, IDC_PAGE_BODY, body, fillText(product.text(own.body), name));
    SetDlgItemTextA(page, IDC_LIB_BACK, product.text(TEXT_BACK).c_str());
    SetDlgItemTextA(page, IDC_LIB_NEXT, product.text(kind == PageKind::Ready ? TEXT_INSTALL : TEXT_NEXT).c_str());
    SetDlgItemTextA(page, IDC_LIB_CANCEL, product.text(TEXT_CANCEL).c_str());
    if (kind == PageKind::Folder)
        SetDlgItemTextA(page, IDC_LIB_BROWSE, product.text(TEXT_BROWSE).c_str());
    if ((kind == PageKind::Licence || kind == PageKind::Readme) && described)
        setText(page, IDC_GENERIC_FILE, withCrLf(product.pageFile(*described)));
    if (kind == PageKind::Licence) {
        std::string accept = described ? product.local(described->accept) : std::string();
        setText(page, IDC_GENERIC_ACCEPT, accept, product.text(TEXT_LICENCE_ACCEPT));
    }
    if (kind == PageKind::Components)
        for (size_t n = 0; n < product.description.components.size(); ++n) {
            std::wstring name = wide(product.local(product.description.components[n].name));
            LVITEMW item = {};
            item.iSubItem = 0;
            item.pszText = &name[0];
            SendDlgItemMessageW(page, IDC_GENERIC_COMPONENTS, LVM_SETITEMTEXTW, n, reinterpret_cast<LPARAM>(&item));
        }
}

// The components page's list: a row with a check box for each component,
// row n being group n + 1, as many as the product has (scrolled when they
// do not fit), ticked as the groups stand. Space ticks and unticks the
// focused row, as in any such list.
void fillComponents(HWND page) {
    GenericProduct& product = *g_product;
    HWND list = GetDlgItem(page, IDC_GENERIC_COMPONENTS);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    RECT inside = {};
    GetClientRect(list, &inside);
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH;
    column.cx = inside.right - GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    g_fillingComponents = true;
    for (size_t n = 0; n < product.description.components.size(); ++n) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(n);
        item.pszText = const_cast<wchar_t*>(L"");
        int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        ListView_SetCheckState(list, row, product.GetGroupStatus(row + 1) != 0);
    }
    g_fillingComponents = false;
    ListView_SetItemState(list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
}

// A list notification of the components page: a tick changed (a required
// component is ticked again at once), or a row drawn (a required one grey).
// Result: the page's reply; `result` the dialog's message result.
int componentsNotice(const NMHDR& notice, LRESULT* result) {
    GenericProduct& product = *g_product;
    const std::vector<Component>& components = product.description.components;
    if (notice.code == NM_CUSTOMDRAW) {
        NMLVCUSTOMDRAW& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&notice));
        *result = CDRF_DODEFAULT;
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
            *result = CDRF_NOTIFYITEMDRAW;
        else if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw.nmcd.dwItemSpec < components.size() &&
                 components[draw.nmcd.dwItemSpec].required)
            draw.clrText = GetSysColor(COLOR_GRAYTEXT);
        return PageReplyHandled;
    }
    const NMLISTVIEW& change = reinterpret_cast<const NMLISTVIEW&>(notice);
    if (notice.code != LVN_ITEMCHANGED || g_fillingComponents || !(change.uChanged & LVIF_STATE) ||
        !((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) || change.iItem < 0 ||
        static_cast<size_t>(change.iItem) >= components.size())
        return PageReplyNotHandled;
    HWND list = notice.hwndFrom;
    int group = change.iItem + 1;
    bool ticked = ListView_GetCheckState(list, change.iItem) != 0;
    if (!ticked && components[change.iItem].required) {
        ListView_SetCheckState(list, change.iItem, TRUE);
        return PageReplyHandled;
    }
    if (ticked)
        product.EnableGroup(group);
    else
        product.DesableGroup(group);
    product.log.line("component " + std::to_string(group) + (ticked ? ": on" : ": off"));
    return PageReplyHandled;
}

void initPage(HWND page, PageKind kind) {
    GenericProduct& product = *g_product;
    if (kind == PageKind::Components)
        fillComponents(page);
    showTexts(page, kind);
    showHeadingBold(page, IDC_PAGE_TITLE);
    char heading[256] = "";
    GetDlgItemTextA(page, IDC_PAGE_TITLE, heading, sizeof heading);
    product.log.line(std::string("page: ") + heading);
    // The first page has nothing to go back to.
    if (kind == wizardPages(product.description).front())
        EnableWindow(GetDlgItem(page, IDC_LIB_BACK), FALSE);
    if (kind == PageKind::Folder || kind == PageKind::Ready)
        product.SetShortWindowText(GetDlgItem(page, IDC_LIB_FOLDER), product.GetInstDir());
    if (kind == PageKind::Licence) {
        CheckDlgButton(page, IDC_GENERIC_ACCEPT, product.licenceAccepted ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(page, IDC_LIB_NEXT), product.licenceAccepted);
    }
    // Enter goes on, as the highlighted default button promises.
    SetFocus(GetDlgItem(page, IDC_LIB_NEXT));
}

// Every page's procedure, for the page of `kind`.
int pageProcedure(PageKind kind, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    GenericProduct& product = *g_product;
    if (message == WM_INITDIALOG) {
        initPage(page, kind);
        return PageReplyNotHandled;
    }
    // The language dialog gives the activation back: texts read again.
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) {
        showTexts(page, kind);
        return PageReplyNotHandled;
    }
    if (kind == PageKind::Components && message == WM_NOTIFY &&
        reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_GENERIC_COMPONENTS) {
        LRESULT result = 0;
        int reply = componentsNotice(*reinterpret_cast<const NMHDR*>(lParam), &result);
        SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
        return reply;
    }
    if (message != WM_COMMAND)
        return PageReplyNotHandled;
    int control = LOWORD(wParam);
    if (kind == PageKind::Licence && control == IDC_GENERIC_ACCEPT && HIWORD(wParam) == BN_CLICKED) {
        product.licenceAccepted = IsDlgButtonChecked(page, IDC_GENERIC_ACCEPT) == BST_CHECKED;
        EnableWindow(GetDlgItem(page, IDC_LIB_NEXT), product.licenceAccepted);
        product.log.line(product.licenceAccepted ? "licence: accepted" : "licence: not accepted");
        return PageReplyHandled;
    }
    if (kind == PageKind::Licence && control == PageNext && !product.licenceAccepted)
        return PageReplyHandled;  // Enter on a disabled Next
    if (kind == PageKind::Ready && control == PageNext && !product.installChosen())
        return PageReplyHandled;
    return PageReplyNotHandled;
}

int welcomePage(HWND p, UINT m, WPARAM w, LPARAM l) { return pageProcedure(PageKind::Welcome, p, m, w, l); }
int licencePage(HWND p, UINT m, WPARAM w, LPARAM l) { return pageProcedure(PageKind::Licence, p, m, w, l); }
int readmePage(HWND p, UINT m, WPARAM w, LPARAM l) { return pageProcedure(PageKind::Readme, p, m, w, l); }
int folderPage(HWND p, UINT m, WPARAM w, LPARAM l) { return pageProcedure(PageKind::Folder, p, m, w, l); }
int componentsPage(HWND p, UINT m, WPARAM w, LPARAM l) { return pageProcedure(PageKind::Components, p, m, w, l); }
int readyPage(HWND p, UINT m, WPARAM w, LPARAM l) { return pageProcedure(PageKind::Ready, p, m, w, l); }

PageProcedure procedureOf(PageKind kind) {
    switch (kind) {
    case PageKind::Welcome: return welcomePage;
    case PageKind::Licence: return licencePage;
    case PageKind::Readme: return readmePage;
    case PageKind::Folder: return folderPage;
    case PageKind::Components: return componentsPage;
    case PageKind::Ready: return readyPage;
    }
    return readyPage;
}

// InitDialogs takes its pages as arguments: as many as the product lists.
int initDialogs(Setup& setup, const std::vector<PageEntry>& p) {
    switch (p.size()) {
    case 1: return setup.InitDialogs(1, p[0].dialogId, p[0].handler);
    case 2: return setup.InitDialogs(2, p[0].dialogId, p[0].handler, p[1].dialogId, p[1].handler);
    case 3:
        return setup.InitDialogs(3, p[0].dialogId, p[0].handler, p[1].dialogId, p[1].handler, p[2].dialogId,
                                 p[2].handler);
    case 4:
        return setup.InitDialogs(4, p[0].dialogId, p[0].handler, p[1].dialogId, p[1].handler, p[2].dialogId,
                                 p[2].handler, p[3].dialogId, p[3].handler);
    case 5:
        return setup.InitDialogs(5, p[0].dialogId, p[0].handler, p[1].dialogId, p[1].handler, p[2].dialogId,
                                 p[2].handler, p[3].dialogId, p[3].handler, p[4].dialogId, p[4].handler);
    case 6:
        return setup.InitDialogs(6, p[0].dialogId, p[0].handler, p[1].dialogId, p[1].handler, p[2].dialogId,
                                 p[2].handler, p[3].dialogId, p[3].handler, p[4].dialogId, p[4].handler,
                                 p[5].dialogId, p[5].handler);
    default: return 0;
    }
}

std::string folderOfProgram() {
    char path[PathSize] = "";
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n < sizeof path ? n : 0);
    size_t slash = folder.rfind('\\');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

// Why the folder's product file cannot be used, "" when `product` holds it.
std::string loadProduct(const std::string& folder, ProductDescription* product) {
    std::string path = folder + kProductFileName;
    std::string text;
    if (!readTextFile(path, &text))
        return "there is no product file " + path;
    ProductResult result = parseProductFile(text, path);
    if (!result.ok()) {
        std::string why = "the product file " + path + " is not valid:";
        for (const ProductError& e : result.errors)
            why += "\n" + e.text();
        return why;
    }
    *product = result.description;
    // The library registers the product with its program (App Paths).
    if (setupFactsFor(*product).exeName.empty())
        return "the product file " + path + " names no program of the product: give `icon` a program, or add a "
               "shortcut or a file type";
    return std::string();
}

// Says why the setup cannot start, where its caller looks: the log of /LOG=
// and the standard output (or a message box, never with /S).
int refuseToStart(const char* commandLine, const std::string& why) {
    Options options = parseArguments(commandLine);
    if (!options.logPath.empty()) {
        RunLog log;
        if (log.open(options.logPath.c_str(), "Setup log")) {
            log.line("not started: " + why);
            log.line("exit code " + std::to_string(ExitFailure));
        }
    }
    printText("Setup: " + why + "; nothing was done\n", options.silent, "Setup");
    return ExitFailure;
}

}  // namespace

GenericProduct::GenericProduct(HINSTANCE instance, const SetupFacts& facts, const ProductDescription& product,
                               const std::string& productFolder, const Options& options, RunLog& log)
    : SetupProgram(instance, facts, options, log), description(product), folder(productFolder) {}

bool GenericProduct::offersLanguageChoice() const { return description.product.languages.size() > 1; }

std::string GenericProduct::language() const {
    if (languageLibrary) {
        char path[PathSize] = "";
        DWORD n = GetModuleFileNameA(languageLibrary, path, sizeof path);
        std::string code = languageOfLibrary(std::string(path, n < sizeof path ? n : 0));
        if (!code.empty())
            return code;
    }
    return description.product.defaultLanguage;
}

std::string GenericProduct::local(const LocalText& text) const {
    return localText(text, language(), description.product.defaultLanguage);
}

const Page* GenericProduct::page(PageKind kind) const {
    for (const Page& p : description.pages)
        if (p.kind == kind)
            return &p;
    return nullptr;
}

std::string GenericProduct::pageFile(const Page& p) const {
    std::string name = local(p.file);
    std::string text;
    if (name.empty() || !readTextFile(folder + name, &text))
        log.line("page file " + name + ": cannot be read");
    return text;
}

void GenericProduct::groupsMade() {
    for (size_t n = 0; n < description.components.size(); ++n) {
        int group = static_cast<int>(n) + 1;
        if (description.components[n].selected || description.components[n].required)
            EnableGroup(group);
        else
            DesableGroup(group);
    }
}

WizardEnd GenericProduct::runWizard() {
    g_product = this;
    installAccepted = false;
    std::vector<PageEntry> pages;
    for (PageKind kind : wizardPages(description))
        pages.push_back({textsOf(kind).dialog, procedureOf(kind)});
    int ended = 0;
    if (initDialogs(*this, pages)) {
        ended = GetDialogsQueue();
        DestroyDialogs();
    }
    g_product = nullptr;
    if (installAccepted)
        return WizardEnd::Accepted;
    if (ended == 1 || !MainWindowExist())
        return WizardEnd::Cancelled;
    return WizardEnd::Failed;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // First of all, before the product file is read: a DLL lying beside
    // the setup is never loaded in place of Windows' own.
    RestrictDllSearch();
    // The components page's list. comctl32.dll is no known DLL: loaded
    // after the restriction, from the manifest's assembly or the system
    // folder, never imported.
    const auto initControls = win32::moduleFunction<decltype(&InitCommonControlsEx)>(
        win32::assemblyModule("comctl32.dll"), "InitCommonControlsEx");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    if (initControls)
        initControls(&controls);
    std::string folder = folderOfProgram();
    static ProductDescription product;
    std::string why = loadProduct(folder, &product);
    if (!why.empty())
        return refuseToStart(commandLine, why);
    toCodePage(product);
    static const SetupFacts facts = setupFactsFor(product);
    return runSetupProgram(instance, commandLine, facts, [&](const Options& options, RunLog& log) {
        return std::unique_ptr<SetupProgram>(new GenericProduct(instance, facts, product, folder, options, log));
    });
}
