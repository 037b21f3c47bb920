// The wizard: the product's pages, registered as a queue of (dialog template,
// page procedure) pairs, are shown one at a time as modal dialogs over the
// background window, all through one common page procedure. It hands each
// message of a page to the product's procedure first and acts on the reply;
// it supplies what every wizard page needs beside: Back, Next, Cancel with
// its question, Readme, Browse for the target folder, and the page picture.
// Everything here runs on the thread that constructed the Setup object.
//
// Each page keeps its object from WM_INITDIALOG until it is destroyed, as a
// window property: a page's DWLP_USER and GWLP_USERDATA are the product's,
// whose page procedure sees every message first.
#include "Setup.h"

#include <stdarg.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <new>
#include <string>

#include "baseinterface/DiagnosticLog.h"
#include "baseinterface/MessageText.h"
#include "baseinterface/ScreenScale.h"
#include "common/PathText.h"
#include "resources/resource.h"
#include "setup/Background.h"
#include "setup/WizardRules.h"
#include "win32/Ownership.h"

namespace {

const char kPageObject[] = "SetupDll.PageObject";

Setup* pageObject(HWND page) { return static_cast<Setup*>(GetPropA(page, kPageObject)); }

// The one place the queue, a raw member whose place is fixed, is freed.
void releaseQueue(Setup& setup) {
    std::unique_ptr<PageEntry[]> queue(setup.pageQueue);
    setup.pageQueue = nullptr;
    setup.pageCount = 0;
}

// Draws bitmap PagePictureBasic or PagePicturePalette of the product at the
// item's top left corner, at its own size on a 96-DPI screen and scaled with
// the screen's DPI otherwise, through a palette made from its
// colour table so that a palette display shows its colours. Nothing is drawn
// when neither bitmap loads or memory runs out.
void drawPicture(Setup& setup, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    PictureChoice choice = pictureFor(GetDeviceCaps(dc, NUMCOLORS));
    auto load = [&](int id) {
        return static_cast<HBITMAP>(LoadImageA(setup.productInstance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                               LR_CREATEDIBSECTION));
    };
    win32::GdiObject<HBITMAP> bitmap(load(choice.first));
    if (!bitmap.valid() && choice.fallback)
        bitmap.reset(load(choice.fallback));
    if (!bitmap.valid())
        return;
    DIBSECTION section = {};
    if (GetObjectA(bitmap.get(), sizeof section, &section) != sizeof section || !section.dsBm.bmBits)
        return;
    unsigned int colours = colourTableEntries(section.dsBmih.biClrUsed, section.dsBmih.biBitCount);
    // A bit-fields DIB follows its header with three colour masks instead.
    unsigned int tableEntries = section.dsBmih.biCompression == BI_BITFIELDS ? 3 : colours;

    size_t infoSize = sizeof(BITMAPINFOHEADER) + tableEntries * sizeof(RGBQUAD);
    std::unique_ptr<unsigned char[]> infoBytes(new (std::nothrow) unsigned char[infoSize]);
    size_t paletteSize = offsetof(LOGPALETTE, palPalEntry) + (colours ? colours : 1) * sizeof(PALETTEENTRY);
    std::unique_ptr<unsigned char[]> paletteBytes(new (std::nothrow) unsigned char[paletteSize]);
    if (!infoBytes || !paletteBytes)
        return;
    auto* info = reinterpret_cast<BITMAPINFO*>(infoBytes.get());
    memset(info, 0, infoSize);
    info->bmiHeader = section.dsBmih;
    if (section.dsBmih.biCompression == BI_BITFIELDS) {
        memcpy(info->bmiColors, section.dsBitfields, sizeof section.dsBitfields);
    } else if (colours) {
        win32::MemoryDC memory(CreateCompatibleDC(dc));
        win32::ObjectSelection selected(memory.get(), bitmap.get());
        if (!selected.valid())
            return;
        GetDIBColorTable(memory.get(), 0, colours, info->bmiColors);
    }

    // The colour table as a palette, selected in the foreground.
    auto* logical = reinterpret_cast<LOGPALETTE*>(paletteBytes.get());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(colours);
    const RGBQUAD* table = section.dsBmih.biCompression == BI_BITFIELDS ? nullptr : info->bmiColors;
    for (unsigned int i = 0; table && i < colours; ++i)
        logical->palPalEntry[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    win32::GdiObject<HPALETTE> palette(colours && table ? CreatePalette(logical) : nullptr);
    win32::PaletteSelection paletteSelected(dc, palette.get());

    // The page grows with the screen's dots per inch; so does the picture,
    // which is drawn dot for dot at 96.
    int width = section.dsBm.bmWidth;
    int height = section.dsBm.bmHeight;
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, item.rcItem.left, item.rcItem.top, scaledToScreen(dc, width), scaledToScreen(dc, height), 0,
                  0, width, height, section.dsBm.bmBits, info, DIB_RGB_COLORS, SRCCOPY);
}

// Opens Readme.txt of the current directory in the text editor; a readme
// that is not there (or cannot be read) is passed over without a word.
void openReadme() {
    char folder[PathSize];
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return;
    char path[PathSize];
    if (!readmePath(path, folder))
        return;
    {
        win32::FileHandle file(
            CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid())
            return;
    }
    char command[kReadmeCommandSize];
    if (readmeCommand(command, path))
        WinExec(command, SW_SHOWMAXIMIZED);
}

// Lets the user choose the target folder, starting from the one set; a
// chosen folder goes into the product's buffer and is shown, shortened to
// fit, in the page's control PageFolder.
void browseFolder(Setup& setup, HWND page) {
    setup.browseIdle = 0;
    char text[kLoadedTextSize];
    if (LoadStringA(setup.libraryInstance, IDS_CHOOSE_FOLDER, text, sizeof text) <= 0)
        text[0] = '\0';
    char title[PathSize];
    formatMessage(title, sizeof title, text, setup.productName ? setup.productName : "");
    char folder[PathSize] = "";
    if (setup.installDirectory)
        copyPath(folder, setup.installDirectory);
    if (setup.BrowseForProgram(folder, title, 1) == BrowseChosen && setup.installDirectory) {
        copyPath(setup.installDirectory, folder);
        if (HWND shown = GetDlgItem(page, PageFolder))
            setup.SetShortWindowText(shown, setup.installDirectory);
    }
    setup.browseIdle = 1;
    setup.SetParentForMessage(page);
}

// Cancel: asks whether to end the installation. Yes closes the background
// window and ends the wizard; the guard then stays set, so that the exit
// button and F3 ask nothing more.
void askToExit(Setup& setup, HWND page) {
    if (askExitQuestion(setup, ExitAskedByWindow) != IDYES)
        return;
    setup.exitQuestionGuard = ExitAskedByWindow;
    setup.mainWindowExists = 0;
    PostMessageA(setup.backgroundWindow, WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
    EndDialog(page, 0);
}

// The library's own handling of a page message (the product replied
// PageReplyNotHandled, or the page has not had WM_INITDIALOG yet).
INT_PTR libraryHandling(Setup* setup, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DRAWITEM && wParam == PagePicture) {
        if (setup && lParam)
            drawPicture(*setup, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    PageAction action = pageActionFor(LOWORD(wParam));
    if (action == PageAction::EndWizard) {
        EndDialog(page, 0);
        return TRUE;
    }
    if (!setup)
        return TRUE;
    switch (action) {
    case PageAction::AskToExit:
        askToExit(*setup, page);
        break;
    case PageAction::Back: {
        BackMove move = pageAfterBack(setup->currentPage);
        setup->currentPage = move.currentPage;
        EndDialog(page, move.endValue);
        break;
    }
    case PageAction::Next:
        setup->currentPage = pageAfterNext(setup->currentPage);
        EndDialog(page, setup->currentPage);
        break;
    case PageAction::Readme:
        openReadme();
        break;
    case PageAction::Browse:
        browseFolder(*setup, page);
        break;
    default:
        break;
    }
    return TRUE;
}

// A page's message, for the product's procedure, the library or nobody.
INT_PTR routePageMessage(Setup* setup, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGED && setup &&
        (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW))
        keepFloatingButtonsOver(*setup);
    switch (routeMessage(setup != nullptr, setup && setup->pageActive, setup ? setup->currentPage : 0,
                         setup && setup->pageQueue ? setup->pageCount : 0)) {
    case PageRoute::Nobody:
        return FALSE;
    case PageRoute::Library:
        return libraryHandling(setup, page, message, wParam, lParam);
    case PageRoute::Product:
        break;
    }
    // The procedure of the page that is current now: while a page closes
    // after Back or Next, that is already the next page's.
    PageProcedure handler = setup->pageQueue[setup->currentPage - 1].handler;
    int reply = handler ? handler(page, message, wParam, lParam) : PageReplyNotHandled;
    if (message == WM_INITDIALOG)
        return FALSE;  // the focus is set
    ReplyOutcome outcome = replyOutcome(reply, setup->currentPage, setup->pageCount);
    if (outcome.library)
        return libraryHandling(setup, page, message, wParam, lParam);
    if (outcome.endsPage)
        EndDialog(page, outcome.endValue);
    return outcome.result ? TRUE : FALSE;
}

// The common page procedure of every wizard page.
INT_PTR CALLBACK pageProcedure(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG && lParam) {
        Setup* setup = reinterpret_cast<Setup*>(lParam);
        SetPropA(page, kPageObject, setup);
        setup->CenterDialog(page);
        setup->pageActive = 1;
        SetFocus(reinterpret_cast<HWND>(wParam));
    }
    INT_PTR result = routePageMessage(pageObject(page), page, message, wParam, lParam);
    // A property must be gone before its window is.
    if (message == WM_NCDESTROY)
        RemovePropA(page, kPageObject);
    return result;
}

}  // namespace

// Result: 1, or 0 when the queue could not be allocated (pageQueue is then
// null and pageCount 0).
int Setup::InitDialogs(unsigned int count, int firstDialogId, ...) {
    releaseQueue(*this);
    if (count > SIZE_MAX / sizeof(PageEntry))
        return 0;
    std::unique_ptr<PageEntry[]> queue(new (std::nothrow) PageEntry[count]);
    if (!queue)
        return 0;
    va_list pairs;
    va_start(pairs, firstDialogId);
    for (unsigned int i = 0; i < count; ++i) {
        queue[i].dialogId = i == 0 ? firstDialogId : va_arg(pairs, int);
        queue[i].handler = va_arg(pairs, PageProcedure);
    }
    va_end(pairs);
    pageQueue = queue.release();
    pageCount = static_cast<int>(count);
    return 1;
}

// Results:
//   1  a page ended the wizard (its end value was 0)
//   0  no queue; a page's end value outside the queue (Next past the last
//      page); a page that could not be shown (-1 from the dialog box)
int Setup::GetDialogsQueue() {
    currentPage = 1;
    if (!pageQueue)
        return 0;
    int result = 1;
    int shown = 0;  // the page shown last, for the log
    while (currentPage != 0) {
        if (!pageInQueue(currentPage, pageCount)) {
            result = 0;
            break;
        }
        pageActive = 0;
        shown = currentPage;
        INT_PTR end = DialogBoxParamA(productInstance, MAKEINTRESOURCEA(pageQueue[currentPage - 1].dialogId),
                                      backgroundWindow, pageProcedure, reinterpret_cast<LPARAM>(this));
        currentPage = static_cast<int>(end);
    }
    if (logWanted()) {
        std::string page = std::to_string(shown);
        std::string how = result              ? "ended on page " + page
                          : currentPage == -1 ? "page " + page + " could not be shown"
                                              : "left page " + page + " for page " + std::to_string(currentPage) +
                                                    ", which is not in the queue";
        logEvent(LogWizardOutcome, "", how.c_str(), 0, result);
    }
    return result;
}

void Setup::ChangeNextDlg(int page) { currentPage = page; }

void Setup::DestroyDialogs() {
    currentPage = 0;
    releaseQueue(*this);
}
