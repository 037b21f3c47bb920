// Language selection: the "Choose language" button that floats in the lower
// left corner of the background window, and the "Select language" dialog
// it opens, with ten flag buttons drawn by the library. Choosing a flag
// loads that language's resource library (Setup_xx.Dll, found by the
// system's library search) into Setup::languageLibrary for the product;
// the library itself takes nothing from it. Everything here runs on the
// thread that constructed the Setup object.
//
// Module-wide state, one Setup object driving the user interface at a time:
// the button's object and whether its language dialog is open (set when the
// button is created), and the language dialog's object with the owner of
// message boxes from before it opened (set when the dialog opens; it makes
// itself the owner while it is up).
#include "Setup.h"

#include "resources/resource.h"
#include "setup/LanguageRules.h"
#include "win32/Ownership.h"

namespace {

Setup* g_buttonSetup = nullptr;
int g_languageDialogOpen = 0;
Setup* g_languageSetup = nullptr;
HWND g_ownerBeforeDialog = nullptr;

// One stroke of the bevel: two lines on from the pen's current position.
void strokeBevel(HDC dc, BevelColour colour, const Point (&to)[2]) {
    win32::GdiObject<HPEN> pen(CreatePen(PS_SOLID, 2, GetSysColor(colour)));
    win32::ObjectSelection selected(dc, pen.get());
    LineTo(dc, to[0].x, to[0].y);
    LineTo(dc, to[1].x, to[1].y);
}

// The whole button every time, whatever the item action asks for: the
// flag stretched into the middle, then the bevel of its state. No focus
// rectangle: the flag's own bevel says which one is pressed.
void drawFlagButton(HINSTANCE pictures, const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    {
        win32::GdiObject<HBITMAP> picture(LoadBitmapA(pictures, MAKEINTRESOURCEA(item.CtlID)));
        BITMAP size = {};
        if (picture.valid() && GetObjectA(picture.get(), sizeof size, &size)) {
            win32::MemoryDC memory(CreateCompatibleDC(item.hDC));
            win32::ObjectSelection selected(memory.get(), picture.get());
            SetStretchBltMode(item.hDC, WHITEONBLACK);
            PictureFrame frame = pictureFrame(r.left, r.top, r.right, r.bottom);
            StretchBlt(item.hDC, frame.x, frame.y, frame.width, frame.height, memory.get(), 0, 0,
                       size.bmWidth, size.bmHeight, SRCCOPY);
        }
    }
    BevelColours colours = bevelColours((item.itemState & ODS_SELECTED) != 0);
    BevelPath path = bevelPath(r.left, r.top, r.right, r.bottom);
    MoveToEx(item.hDC, path.start.x, path.start.y, nullptr);
    strokeBevel(item.hDC, colours.upperLeft, path.upperLeft);
    strokeBevel(item.hDC, colours.lowerRight, path.lowerRight);
}

void closeLanguageDialog(HWND dialog, Setup* setup, INT_PTR result) {
    EndDialog(dialog, result);
    setup->SetParentForMessage(g_ownerBeforeDialog);
}

// Loads the library of `buttonId`'s language in place of the one held so
// far. A library that does not load is reported (11107, owned by the
// dialog) and the dialog stays open with nothing changed.
void chooseLanguage(HWND dialog, Setup* setup, int buttonId) {
    char name[PathSize];
    if (!languageLibraryName(buttonId, name, sizeof name))
        return;
    win32::LibraryModule chosen(LoadLibraryA(name));
    if (!chosen.valid()) {
        setup->ShowMessage(IDS_LANGUAGE_MISSING, MB_ICONINFORMATION);
        return;
    }
    // The same language chosen again was loaded a second time: releasing
    // the earlier handle leaves it loaded once.
    win32::LibraryModule previous(setup->languageLibrary);
    setup->languageLibrary = chosen.release();
    closeLanguageDialog(dialog, setup, buttonId);
}

INT_PTR CALLBACK languageDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        g_languageSetup = reinterpret_cast<Setup*>(lParam);
        g_ownerBeforeDialog = g_languageSetup->GetParentForMessage();
        // Centring makes the dialog the owner of message boxes too.
        g_languageSetup->CenterDialog(dialog);
        return TRUE;
    }
    Setup* setup = g_languageSetup;
    if (!setup)
        return FALSE;
    if (message == WM_DRAWITEM) {
        // Every owner-drawn control here is a flag button.
        drawFlagButton(setup->libraryInstance, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    } else if (message == WM_COMMAND) {
        // The whole wParam: a notification in its high word is no choice.
        // Escape and the close box come as IDCANCEL.
        if (wParam == IDCANCEL)
            closeLanguageDialog(dialog, setup, 0);
        else if (wParam <= 0xFFFF && languageCode(static_cast<int>(wParam)))
            chooseLanguage(dialog, setup, static_cast<int>(wParam));
    }
    return FALSE;
}

INT_PTR CALLBACK languageButtonProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        g_buttonSetup = reinterpret_cast<Setup*>(lParam);
        g_languageDialogOpen = 0;
        return TRUE;
    }
    if (message != WM_COMMAND || LOWORD(wParam) != IDOK || !g_buttonSetup)
        return FALSE;
    // The language dialog is owned by the message owner, not by this
    // button, so the button stays usable while it is open: a second press
    // only beeps.
    if (g_languageDialogOpen) {
        MessageBeep(0xFFFFFFFF);
        return FALSE;
    }
    g_languageDialogOpen = 1;
    Setup* setup = g_buttonSetup;
    DialogBoxParamA(setup->libraryInstance, MAKEINTRESOURCEA(IDD_LANGUAGE), setup->GetParentForMessage(),
                    languageDialogProcedure, reinterpret_cast<LPARAM>(setup));
    g_languageDialogOpen = 0;
    return FALSE;
}

}  // namespace

// Result: 1 when the button is shown, 0 when the dialog could not be created.
int Setup::CreateChoseLanButton() {
    HWND button = CreateDialogParamA(libraryInstance, MAKEINTRESOURCEA(IDD_LANGUAGE_BUTTON), backgroundWindow,
                                     languageButtonProcedure, reinterpret_cast<LPARAM>(this));
    if (!button)
        return 0;
    RECT box, client;
    GetWindowRect(button, &box);
    GetClientRect(backgroundWindow, &client);
    ButtonPlace place = languageButtonPlace(client.bottom, box.right - box.left, box.bottom - box.top);
    SetWindowPos(button, HWND_TOP, place.x, place.y, 0, 0, SWP_NOSIZE);
    languageButtonDialog = button;
    return 1;
}

void Setup::DestroyChoseLanButton() {
    // Destroyed, not ended, as the exit button: EndDialog would only hide a
    // modeless dialog and keep its window for the life of its owner.
    if (languageButtonDialog && IsWindow(languageButtonDialog))
        DestroyWindow(languageButtonDialog);
    languageButtonDialog = nullptr;
}
