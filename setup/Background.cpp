// The full-screen background window: its class, its procedure with the blue
// gradient (plain system colours in high-contrast mode) and the exit and
// reboot questions, the keyboard hook (F3, and Tab, Enter and Space for the
// floating buttons), and the "Exit" button that floats in its lower right
// corner. Everything here runs on the thread that constructed the Setup
// object (it owns the window and the button); the hook only decides and
// posts.
#include "Setup.h"

#include <atomic>

#include "resources/resource.h"
#include "setup/Background.h"
#include "setup/BackgroundRules.h"
#include "setup/Module.h"
#include "setup/RunHold.h"
#include "win32/Ownership.h"
#include "win32/WindowObject.h"

namespace {

const char kClassName[] = "SetupWndClass";

// The background window and the hook, module-wide because a hook procedure
// gets no data of its own to find them by. The window is read by the hook on
// the worker's thread too.
std::atomic<HWND> g_background{nullptr};
win32::HookHandle g_keyboardHook;
// The object whose registration of the window class is in force: the
// registration is process-wide, so its owner is too.
Setup* g_classOwner = nullptr;

Setup* setupOf(HWND window) {
    return reinterpret_cast<Setup*>(GetWindowLongPtrA(window, 0));
}

// Asked at every paint rather than remembered: the user may switch it at
// any time, and WM_SETTINGCHANGE only says to paint again.
bool highContrastOn() {
    HIGHCONTRASTA contrast = {};
    contrast.cbSize = sizeof contrast;
    return SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
           (contrast.dwFlags & HCF_HIGHCONTRASTON);
}

void paintBackground(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    BackgroundPaint paint =
        planBackground(client.bottom - client.top, highContrastOn(), GetSysColor(COLOR_WINDOW));
    for (int i = 0; i < paint.bands; ++i) {
        BackgroundBand band = backgroundBand(paint, i);
        RECT r = {client.left, band.top, client.right, band.bottom};
        win32::GdiObject<HBRUSH> brush(CreateSolidBrush(band.colour));
        FillRect(dc, &r, brush.get());
    }
}

// Posted by the keyboard hook to the background window: move the focus to
// the FocusStop in wParam, entering a dialog from its end when lParam is 1.
// Posted rather than done in the hook, which runs inside the retrieval of
// the key; a disabled window (under a modal page) still gets posted messages.
const UINT kMoveFocusMessage = WM_APP + 0x11;

bool visible(HWND window) { return window && IsWindow(window) && IsWindowVisible(window); }

bool ownedBy(HWND window, HWND owner) {
    for (HWND up = GetWindow(window, GW_OWNER); up; up = GetWindow(up, GW_OWNER))
        if (up == owner)
            return true;
    return false;
}

struct DialogSearch {
    HWND background;
    const Setup* setup;
    HWND found;
};

BOOL CALLBACK findOpenDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DialogSearch*>(data);
    if (window == search->setup->exitButtonDialog || window == search->setup->languageButtonDialog ||
        !IsWindowVisible(window) || !IsWindowEnabled(window) || !ownedBy(window, search->background))
        return TRUE;
    search->found = window;
    return FALSE;
}

// The dialog the user is working in over the background: a modal dialog
// disables its owner, so it is the topmost enabled window of this thread
// that the background owns, directly or through another dialog.
HWND openDialog(HWND background, const Setup& setup) {
    DialogSearch search = {background, &setup, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), findOpenDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first and last of `dialog`'s controls that Tab stops at.
struct TabEnds {
    HWND first;
    HWND last;
};
TabEnds tabEnds(HWND dialog) {
    TabEnds ends = {nullptr, nullptr};
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LONG style = GetWindowLongA(c, GWL_STYLE);
        if ((style & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) != (WS_TABSTOP | WS_VISIBLE))
            continue;
        if (!ends.first)
            ends.first = c;
        ends.last = c;
    }
    return ends;
}

// The control of `dialog` that holds `focus` (an edit box inside a combo
// box answers for the box), null when the focus is elsewhere.
HWND dialogControl(HWND dialog, HWND focus) {
    if (!focus || !IsChild(dialog, focus))
        return nullptr;
    while (GetParent(focus) != dialog)
        focus = GetParent(focus);
    return focus;
}

bool holdsFocus(HWND floatingButton, HWND focus) {
    return visible(floatingButton) && focus && (focus == floatingButton || IsChild(floatingButton, focus));
}

// The Tab ring as it stands. `*outside` when the
// focus is in none of the ring's windows nor on the background itself (a
// window of the product's own): the key is left to that window.
FocusRing currentRing(const Setup& setup, HWND background, bool backwards, bool* outside) {
    HWND focus = GetFocus();
    HWND dialog = openDialog(background, setup);
    *outside = false;
    FocusRing ring = {dialog != nullptr, visible(setup.languageButtonDialog), visible(setup.exitButtonDialog),
                      FocusStop::None, false};
    if (holdsFocus(setup.languageButtonDialog, focus)) {
        ring.focus = FocusStop::LanguageButton;
    } else if (holdsFocus(setup.exitButtonDialog, focus)) {
        ring.focus = FocusStop::ExitButton;
    } else if (dialog && (focus == dialog || IsChild(dialog, focus))) {
        ring.focus = FocusStop::Dialog;
        TabEnds ends = tabEnds(dialog);
        HWND control = dialogControl(dialog, focus);
        ring.atDialogEdge = !ends.first || control == (backwards ? ends.first : ends.last);
    } else {
        *outside = focus != background;
    }
    return ring;
}

// The key for the Tab ring, when it is one the background's ring takes:
// true when the hook keeps it from the window that has the focus.
bool takeRingKey(HWND background, uint32_t key, uint32_t flags) {
    // Only on the thread of the background and its dialogs: the worker's
    // hook sees its own message boxes, which are no part of the ring.
    // The key first: the hook sees every key, and most are none of the ring's.
    RingKey what = ringKey(key, flags, GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0);
    if (what == RingKey::None)
        return false;
    const Setup* setup = setupOf(background);
    if (!setup || GetWindowThreadProcessId(background, nullptr) != GetCurrentThreadId() ||
        !IsWindowVisible(background))
        return false;
    if (what == RingKey::Press) {
        HWND focus = GetFocus();
        HWND button = holdsFocus(setup->exitButtonDialog, focus)       ? setup->exitButtonDialog
                      : holdsFocus(setup->languageButtonDialog, focus) ? setup->languageButtonDialog
                                                                       : nullptr;
        if (!button)
            return false;
        // As the dialog manager does for Enter: the command the button
        // stands for, to its dialog. BM_CLICK would hold the mouse capture
        // through the notification, as the button's own Space does, and a
        // dialog the button opens would not get the focus under Wine.
        HWND control = GetWindow(button, GW_CHILD);
        PostMessageA(button, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                     reinterpret_cast<LPARAM>(control));
        return true;
    }
    bool backwards = what == RingKey::Previous;
    bool outside;
    FocusRing ring = currentRing(*setup, background, backwards, &outside);
    FocusStop to = outside ? FocusStop::None : nextFocusStop(ring, backwards);
    if (to == FocusStop::None)
        return false;
    PostMessageA(background, kMoveFocusMessage, static_cast<WPARAM>(to), backwards ? 1 : 0);
    return true;
}

void moveFocus(HWND background, const Setup& setup, FocusStop to, bool fromEnd) {
    if (to == FocusStop::LanguageButton || to == FocusStop::ExitButton) {
        HWND button = to == FocusStop::ExitButton ? setup.exitButtonDialog : setup.languageButtonDialog;
        if (visible(button))
            SetFocus(GetWindow(button, GW_CHILD));
        return;
    }
    HWND dialog = openDialog(background, setup);
    if (!dialog)
        return;
    TabEnds ends = tabEnds(dialog);
    HWND item = fromEnd ? ends.last : ends.first;
    if (!item) {
        SetFocus(dialog);
        return;
    }
    // Through the dialog manager, which also moves the default button's
    // frame and selects an edit box's text, as its own Tab would.
    char name[16] = {};
    GetClassNameA(dialog, name, sizeof name);
    if (lstrcmpA(name, "#32770") == 0)
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    else
        SetFocus(item);
}

// The user has ended the installation: the product learns it from
// MainWindowExist().
void closeBackground(HWND window, Setup* setup) {
    if (setup)
        setup->mainWindowExists = 0;
    DestroyWindow(window);
}

// F3 going down (auto-repeat included) asks to end the installation; the
// key stroke is passed on. Tab, Enter and Space that move through or press the
// floating buttons are kept from the focused window; other keys pass.
LRESULT CALLBACK exitKeyHook(int code, WPARAM key, LPARAM flags) {
    // HC_NOREMOVE is a peek at a key that is still queued: it comes again
    // with HC_ACTION, and one key stroke must ask once.
    HWND background = g_background.load();
    if (code == HC_ACTION && background) {
        if (isExitKeyPress(static_cast<uint32_t>(key), static_cast<uint32_t>(flags)))
            PostMessageA(background, WM_COMMAND, IDM_ASK_TO_CLOSE, 0);
        else if (takeRingKey(background, static_cast<uint32_t>(key), static_cast<uint32_t>(flags)))
            return 1;
    }
    return CallNextHookEx(nullptr, code, key, flags);
}

LRESULT CALLBACK backgroundProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Setup* setup = setupOf(window);
    switch (message) {
    case WM_NCCREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        break;
    }
    case WM_CREATE:
        if (setup)
            setup->mainWindowExists = 1;
        g_background = window;
        // The library's windows and the product's pages all belong to this
        // thread, so the keyboard reaches them here; a hook for the whole
        // desktop would need its procedure in the product's module.
        g_keyboardHook.reset(
            SetWindowsHookExA(WH_KEYBOARD, exitKeyHook, g_libraryInstance, GetCurrentThreadId()));
        break;
    case WM_ERASEBKGND:
        paintBackground(window, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        // High contrast switched, or the colours it paints with changed.
        InvalidateRect(window, nullptr, TRUE);
        break;
    case kMoveFocusMessage:
        if (setup)
            moveFocus(window, *setup, static_cast<FocusStop>(wParam), lParam != 0);
        return 0;
    case WM_CLOSE:
        if (setup && setup->rebootNeeded &&
            setup->ShowMessage(IDS_REBOOT_QUESTION, MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
            enableShutdownPrivilege();
            ExitWindowsEx(EWX_REBOOT, 0);
        }
        closeBackground(window, setup);
        return 0;
    case WM_COMMAND:
        if (!setup)
            return 0;
        if (wParam == IDM_ASK_TO_CLOSE) {
            if (askExitQuestion(*setup, ExitAskedByWindow) == IDYES)
                closeBackground(window, setup);
        } else if (wParam == IDM_CLOSE_BACKGROUND) {
            closeBackground(window, setup);
        }
        return 0;
    case WM_DESTROY: {
        g_keyboardHook.reset();
        HWND self = window;
        g_background.compare_exchange_strong(self, nullptr);
        // The product's message loop ends with the window; an object that
        // is going away has already let go of it and ends nothing.
        if (setup)
            PostQuitMessage(0);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK exitButtonProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        win32::keepDialogObject<Setup>(dialog, lParam);
        return TRUE;
    }
    Setup* setup = win32::dialogObject<Setup>(dialog);
    if (message != WM_COMMAND || LOWORD(wParam) != IDCANCEL || !setup)
        return FALSE;
    if (askExitQuestion(*setup, ExitAskedByButton) == IDYES)
        PostMessageA(GetWindow(dialog, GW_OWNER), WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
    return FALSE;
}

}  // namespace

int askExitQuestion(Setup& setup, ExitAsker asker) {
    switch (exitWishWhile(setup.exitQuestionGuard, asker)) {
    case ExitWish::Ask: break;
    case ExitWish::Beep: MessageBeep(0xFFFFFFFF); return 0;
    case ExitWish::Ignore: return 0;
    }
    setup.exitQuestionGuard = asker;
    holdRun(setup);
    HWND focus = GetFocus();
    int answer = setup.ShowMessage(IDS_EXIT_QUESTION, MB_YESNO | MB_ICONQUESTION);
    setup.exitQuestionGuard = NoExitQuestion;
    if (answer == IDYES) {
        giveUpRun(setup);
    } else {
        resumeRun(setup);
        // Closing the question activates its owner, which puts the focus
        // where it likes; a keyboard user who said No goes on from where
        // the question found them (the exit button, a page's control).
        if (focus && IsWindow(focus) && IsWindowVisible(focus) && IsWindowEnabled(focus))
            SetFocus(focus);
    }
    return answer;
}

HHOOK hookExitKey() {
    return SetWindowsHookExA(WH_KEYBOARD, exitKeyHook, g_libraryInstance, GetCurrentThreadId());
}

void keepFloatingButtonsOver(const Setup& setup) {
    const HWND buttons[] = {setup.exitButtonDialog, setup.languageButtonDialog};
    for (HWND button : buttons)
        if (button)
            SetWindowPos(button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ExitWindowsEx refuses a reboot to a process whose token does not have the
// shutdown privilege enabled; it is present but disabled for users who may
// shut down, so enable it first.
void enableShutdownPrivilege() {
    win32::KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out()))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        return;
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// Result: the class atom, 0 when the class could not be registered.
int Setup::InitApplication() {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = 0;
    wc.lpfnWndProc = backgroundProcedure;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = productInstance;
    wc.hIcon = LoadIconA(productInstance, MAKEINTRESOURCEA(1));
    wc.hIconSm = LoadIconA(productInstance, MAKEINTRESOURCEA(2));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = nullptr;
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = kClassName;
    ATOM atom = RegisterClassExA(&wc);
    if (atom)
        g_classOwner = this;
    return atom;
}

// Result: the background window, null when it could not be created.
HWND Setup::InitInstance() {
    RECT screen;
    GetClientRect(GetDesktopWindow(), &screen);
    backgroundWindow = CreateWindowExA(0, kClassName, windowTitle, WS_POPUP, screen.left, screen.top,
                                       screen.right, screen.bottom, nullptr, nullptr, productInstance,
                                       this);
    return backgroundWindow;
}

HWND createFloatingButton(Setup& setup, int dialogId, DLGPROC procedure,
                          ButtonPlace (*place)(const RECT& client, int width, int height)) {
    HWND button = CreateDialogParamA(setup.libraryInstance, MAKEINTRESOURCEA(dialogId), setup.backgroundWindow,
                                     procedure, reinterpret_cast<LPARAM>(&setup));
    if (!button)
        return nullptr;
    RECT box, client;
    GetWindowRect(button, &box);
    GetClientRect(setup.backgroundWindow, &client);
    ButtonPlace at = place(client, box.right - box.left, box.bottom - box.top);
    SetWindowPos(button, HWND_TOP, at.x, at.y, 0, 0, SWP_NOSIZE);
    return button;
}

void destroyFloatingButton(HWND& button) {
    if (button && IsWindow(button))
        DestroyWindow(button);
    button = nullptr;
}

// Result: 1 when the button is shown, 0 when the dialog could not be created.
int Setup::CreateExitButton() {
    HWND button = createFloatingButton(*this, IDD_EXIT_BUTTON, exitButtonProcedure,
                                       [](const RECT& client, int width, int height) {
                                           return exitButtonPlace(client.right, client.bottom, width, height);
                                       });
    if (!button)
        return 0;
    exitButtonDialog = button;
    return 1;
}

void Setup::DestroyExitButton() { destroyFloatingButton(exitButtonDialog); }

void releaseBackground(Setup& setup) {
    // A floating button that outlives its window keeps no object that has gone.
    for (HWND button : {setup.exitButtonDialog, setup.languageButtonDialog})
        if (button && IsWindow(button) && win32::dialogObject<Setup>(button) == &setup)
            win32::keepDialogObject<Setup>(button, 0);
    HWND window = setup.backgroundWindow;
    if (window && IsWindow(window) && setupOf(window) == &setup) {
        SetWindowLongPtrA(window, 0, 0);
        setup.mainWindowExists = 0;
        DestroyWindow(window);
    }
    if (g_classOwner == &setup) {
        UnregisterClassA(kClassName, setup.productInstance);
        g_classOwner = nullptr;
    }
}
