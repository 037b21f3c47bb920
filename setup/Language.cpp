// Language selection: the "Choose language" button that floats in the lower
// left corner of the background window, and the "Select language" dialog
// it opens, with ten flag buttons drawn by the library. Choosing a flag
// loads that language's resource library (Setup_xx.Dll, found by the
// system's library search) into Setup::languageLibrary for the product;
// the library itself takes nothing from it. Everything here runs on the
// thread that constructed the Setup object.
//
// The button keeps its object with it (and whether its language dialog is
// open); the dialog keeps its state, which lives on the stack of the press
// that opened it: the object and the owner of message boxes from before it
// opened (it makes itself the owner while it is up).
#include "Setup.h"

#include "common/PathText.h"
#include "resources/resource.h"
#include "setup/Background.h"
#include "setup/LanguageRules.h"
#include "win32/Ownership.h"
#include "win32/WindowObject.h"

namespace {

struct LanguageDialog {
    Setup* setup;
    HWND ownerBefore;  // the owner of message boxes before the dialog opened
};

// One stroke of the bevel: two lines on from the pen's current position.
void strokeBevel(HDC dc, BevelColour colour, const Point (&to)[2]) {
    win32::GdiObject<HPEN> pen(CreatePen(PS_SOLID, 2, GetSysColor(colour)));
    win32::ObjectSelection selected(dc, pen.get());
    LineTo(dc, to[0].x, to[0].y);
    LineTo(dc, to[1].x, to[1].y);
}

// The whole button every time, whatever the item action asks for: the
// flag stretched into the middle, the bevel of its state, and the focus
// rectangle when the keyboard is in use. Redrawing everything keeps the
// XOR of DrawFocusRect from undoing itself on a focus-only action.
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
    bool hidden = (SendMessageA(item.hwndItem, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS) != 0;
    if (showsFocusRectangle(item.itemState, hidden)) {
        FocusFrame f = focusFrame(r.left, r.top, r.right, r.bottom);
        RECT focus = {f.left, f.top, f.right, f.bottom};
        DrawFocusRect(item.hDC, &focus);
    }
}

void closeLanguageDialog(HWND dialog, const LanguageDialog& state, INT_PTR result) {
    EndDialog(dialog, result);
    state.setup->SetParentForMessage(state.ownerBefore);
}

// Loads the library of `buttonId`'s language in place of the one held so
// far. A library that does not load is reported (11107, owned by the
// dialog) and the dialog stays open with nothing changed.
void chooseLanguage(HWND dialog, const LanguageDialog& state, int buttonId) {
    Setup* setup = state.setup;
    char name[PathSize];
    if (!languageLibraryName(buttonId, name, sizeof name))
        return;
    // From the setup program's folder by its full path: a process that
    // restricted its DLL search (RestrictDllSearch) would not look there.
    char path[PathSize];
    DWORD length = GetModuleFileNameA(nullptr, path, PathSize);
    if (length == 0 || length >= PathSize || !cutAtLastBackslash(path) || !appendName(path, name))
        copyPath(path, name);
    win32::LibraryModule chosen(LoadLibraryA(path));
    if (!chosen.valid()) {
        setup->ShowMessage(IDS_LANGUAGE_MISSING, MB_ICONINFORMATION);
        return;
    }
    // The same language chosen again was loaded a second time: releasing
    // the earlier handle leaves it loaded once.
    win32::LibraryModule previous(setup->languageLibrary);
    setup->languageLibrary = chosen.release();
    closeLanguageDialog(dialog, state, buttonId);
}

INT_PTR CALLBACK languageDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        LanguageDialog* state = win32::keepDialogObject<LanguageDialog>(dialog, lParam);
        state->ownerBefore = state->setup->GetParentForMessage();
        // Centring makes the dialog the owner of message boxes too.
        state->setup->CenterDialog(dialog);
        return TRUE;
    }
    const LanguageDialog* state = win32::dialogObject<LanguageDialog>(dialog);
    if (!state)
        return FALSE;
    if (message == WM_DRAWITEM) {
        // Every owner-drawn control here is a flag button.
        drawFlagButton(state->setup->libraryInstance, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    } else if (message == WM_COMMAND) {
        // The whole wParam: a notification in its high word is no choice.
        // Escape and the close box come as IDCANCEL.
        if (wParam == IDCANCEL) {
            closeLanguageDialog(dialog, *state, 0);
        } else if (wParam == IDOK) {
            // Enter: a flag is no default push button, so the dialog
            // manager sends IDOK; it chooses the flag that has the focus.
            int focused = GetDlgCtrlID(GetFocus());
            if (GetParent(GetFocus()) == dialog && languageCode(focused))
                chooseLanguage(dialog, *state, focused);
        } else if (wParam <= 0xFFFF && languageCode(static_cast<int>(wParam)))
            chooseLanguage(dialog, *state, static_cast<int>(wParam));
    }
    return FALSE;
}

INT_PTR CALLBACK languageButtonProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        win32::keepDialogObject<Setup>(dialog, lParam);
        return TRUE;
    }
    Setup* setup = win32::dialogObject<Setup>(dialog);
    if (message != WM_COMMAND || LOWORD(wParam) != IDOK || !setup)
        return FALSE;
    // The language dialog is owned by the message owner, not by this
    // button, so the button stays usable while it is open: a second press
    // only beeps.
    if (win32::dialogAsking(dialog)) {
        MessageBeep(0xFFFFFFFF);
        return FALSE;
    }
    win32::setDialogAsking(dialog, true);
    auto closed = win32::atScopeExit([dialog] { win32::setDialogAsking(dialog, false); });
    LanguageDialog state = {setup, nullptr};
    DialogBoxParamA(setup->libraryInstance, MAKEINTRESOURCEA(IDD_LANGUAGE), setup->GetParentForMessage(),
                    languageDialogProcedure, reinterpret_cast<LPARAM>(&state));
    return FALSE;
}

}  // namespace

// Result: 1 when the button is shown, 0 when the dialog could not be created.
int Setup::CreateChoseLanButton() {
    HWND button = createFloatingButton(*this, IDD_LANGUAGE_BUTTON, languageButtonProcedure,
                                       [](const RECT& client, int width, int height) {
                                           return languageButtonPlace(client.bottom, width, height);
                                       });
    if (!button)
        return 0;
    languageButtonDialog = button;
    return 1;
}

void Setup::DestroyChoseLanButton() { destroyFloatingButton(languageButtonDialog); }
