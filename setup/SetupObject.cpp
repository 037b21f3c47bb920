// The Setup object: construction (background window class, window and the
// message-loop thread), destruction, the accessors and the default bodies of
// the virtual operations a product overrides.
#include "Setup.h"

#include "resources/resource.h"
#include "setup/Background.h"
#include "setup/Module.h"
#include "win32/Ownership.h"

namespace {

// Serves the messages of windows this thread may own; the library's own
// windows belong to the constructing thread. It waits alertably, so that
// stopMessageLoop can end it through its thread handle alone (the object
// has no place for the thread's id).
DWORD WINAPI messageLoop(LPVOID) {
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return 0;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
    }
}

// Runs on the loop's thread, queued by stopMessageLoop.
void CALLBACK quitMessageLoop(ULONG_PTR) { PostQuitMessage(0); }

// Ends the message loop and waits for its thread, at most five seconds. A
// queued call runs on the thread at its next alertable wait, so it also
// reaches a thread that has not started its loop yet (the object going
// right after its construction).
void stopMessageLoop(HANDLE& thread) {
    win32::KernelHandle owner(thread);
    thread = nullptr;
    if (!owner.valid())
        return;
    if (QueueUserAPC(quitMessageLoop, owner.get(), 0))
        WaitForSingleObject(owner.get(), 5000);
}

}  // namespace

Setup::Setup(HINSTANCE product, char* title, char* name, char* exe) {
    productInstance = product;
    libraryInstance = g_libraryInstance;
    languageLibrary = nullptr;
    backgroundWindow = nullptr;
    exitButtonDialog = nullptr;
    languageButtonDialog = nullptr;
    progressDialog = nullptr;
    workerThread = nullptr;
    windowTitle = title;
    installDirectory = nullptr;
    productName = name;
    exeName = exe;
    userData = 0;
    rebootNeeded = 0;
    exitQuestionGuard = 0;
    pageActive = 0;
    browseIdle = 1;
    registryClassName = nullptr;
    mainWindowExists = 0;

    InitBI(libraryInstance, title);

    uiThread = nullptr;
    currentPage = 0;
    pageQueue = nullptr;
    pageCount = 0;

    if (!InitApplication()) {
        ShowMessage(IDS_NO_RESOURCES_CLASS, MB_ICONHAND);
        return;
    }
    if (!InitInstance()) {
        ShowMessage(IDS_NO_RESOURCES_WINDOW, MB_ICONHAND);
        return;
    }
    // InitInstance stored the window on this thread: nothing to wait for.
    uiThread = CreateThread(nullptr, 0, messageLoop, this, 0, nullptr);
}

Setup::~Setup() {
    // The window's procedure reads this object: the window goes first.
    releaseBackground(*this);
    stopMessageLoop(uiThread);
    // A page queue the product did not destroy goes with the object.
    DestroyDialogs();
    // The last run's worker has ended (Process waits for it); its handle
    // was kept for the product until now.
    win32::KernelHandle lastWorker(workerThread);
    workerThread = nullptr;
}

// Results of the four closing operations: 1 lets Process go on with its own
// closing steps, 0 makes it return at once.
int Setup::ProcessError() { return 1; }
int Setup::ProcessOK() { return 1; }
int Setup::ProcessUserBreak() { return 1; }
int Setup::ProcessNeedReboot() { return 1; }

// Result: UpdateWindow's, nonzero when the window was repainted.
int Setup::ShowBGWindow(int showCommand) {
    ShowWindow(backgroundWindow, showCommand);
    return UpdateWindow(backgroundWindow);
}

void Setup::HideAll() {
    if (exitButtonDialog)
        DestroyExitButton();
    if (languageButtonDialog)
        DestroyChoseLanButton();
    ShowBGWindow(SW_HIDE);
    SetParentForMessage(nullptr);
}

// Result: 1 while the background window exists and the user has not ended
// the installation, else 0.
int Setup::MainWindowExist() { return mainWindowExists; }

void Setup::SetInstallDirectory(char* directory) { installDirectory = directory; }
char* Setup::GetInstDir() { return installDirectory; }
void Setup::SetUserData(unsigned long value) { userData = value; }
unsigned long Setup::GetUserData() { return userData; }
void Setup::SetLastDlgHWND(HWND window) { SetParentForMessage(window); }
HWND Setup::GetProgressHWND() { return progressDialog; }
