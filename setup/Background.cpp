// The full-screen background window: its class, its procedure with the blue
// gradient and the exit and reboot questions, the F3 keyboard hook, and the
// "Exit" button that floats in its lower right corner. Everything here runs
// on the thread that constructed the Setup object (it owns the window and the
// button); the hook only posts a command.
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

void paintGradient(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    GradientPlan plan = planGradient(client.bottom - client.top);
    for (int band = 0; band < plan.painted; ++band) {
        int top = band * GradientBandPixels;
        RECT r = {client.left, top, client.right, top + GradientBandPixels};
        win32::GdiObject<HBRUSH> brush(CreateSolidBrush(RGB(0, 0, gradientBandBlue(plan, band))));
        FillRect(dc, &r, brush.get());
    }
}

// The user has ended the installation: the product learns it from
// MainWindowExist().
void closeBackground(HWND window, Setup* setup) {
    if (setup)
        setup->mainWindowExists = 0;
    DestroyWindow(window);
}

// F3 going down (auto-repeat included) asks to end the installation; the
// key stroke is passed on in every case.
LRESULT CALLBACK exitKeyHook(int code, WPARAM key, LPARAM flags) {
    // HC_NOREMOVE is a peek at a key that is still queued: it comes again
    // with HC_ACTION, and one key stroke must ask once.
    HWND background = g_background.load();
    if (code == HC_ACTION && background &&
        isExitKeyPress(static_cast<uint32_t>(key), static_cast<uint32_t>(flags)))
        PostMessageA(background, WM_COMMAND, IDM_ASK_TO_CLOSE, 0);
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
        paintGradient(window, reinterpret_cast<HDC>(wParam));
        return 1;
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
    int answer = setup.ShowMessage(IDS_EXIT_QUESTION, MB_YESNO | MB_ICONQUESTION);
    setup.exitQuestionGuard = NoExitQuestion;
    if (answer == IDYES)
        giveUpRun(setup);
    else
        resumeRun(setup);
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
