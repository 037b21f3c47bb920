// The Setup object and its background window under Wine: construction and
// destruction (and the two failures they report), the accessors and default
// operations, the gradient as it reaches the screen (and the plain fill of
// high-contrast mode), F3 pressed as real keyboard input, Tab, Enter and
// Space reaching the floating buttons, the exit button with its beep, and
// the closing questions.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <string>
#include <vector>

#include "UiAuto.h"
#include "resource.h"

namespace {

const char kExitText[] =
    "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?";
const char kRebootText[] =
    "Setup needs to reboot your computer in order to complete the installation process. Do you wish to reboot now ?";
const char kNoResourcesText[] =
    "Not enough resources to run Setup.\nClose one or more applications and run Setup again.";
const long kQuestion = MB_YESNO | MB_ICONQUESTION;        // 36
const long kRebootStyle = MB_YESNO | MB_ICONEXCLAMATION;  // 52

char g_title[] = "Background Test Setup";
char g_product[] = "Test Product";
char g_exe[] = "Product.exe";

HINSTANCE productInstance() { return GetModuleHandleA(nullptr); }
HMODULE library() { return GetModuleHandleA("Setup.Dll"); }

// Serves everything queued for this thread; the quit message the background
// window posts when it goes is taken out too, so later message boxes of this
// thread are not ended by it. Returns whether a quit message was seen (the
// script's finish() serves the queue as well, and takes it when the window
// goes while it waits).
bool pumpMessages() {
    bool quit = false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return quit;
}

// ---------------------------------------------------------------------------
// System calls of Setup.Dll seen by the tests.

std::atomic<int> g_beeps{0};
std::atomic<int> g_exitWindowsCalls{0};
std::atomic<UINT> g_exitWindowsFlags{0};
std::atomic<bool> g_shutdownEnabledAtCall{false};

BOOL WINAPI recordBeep(UINT) {
    ++g_beeps;
    return TRUE;
}

bool shutdownPrivilegeEnabled() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    PRIVILEGE_SET set = {};
    set.PrivilegeCount = 1;
    set.Control = PRIVILEGE_SET_ALL_NECESSARY;
    BOOL enabled = FALSE;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &set.Privilege[0].Luid))
        PrivilegeCheck(token, &set, &enabled);
    CloseHandle(token);
    return enabled != FALSE;
}

void setShutdownPrivilege(bool enable) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES p = {};
    p.PrivilegeCount = 1;
    p.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &p.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &p, 0, nullptr, nullptr);
    CloseHandle(token);
}

// Stands in for the reboot: notes how it was asked for.
BOOL WINAPI recordExitWindows(UINT flags, DWORD) {
    ++g_exitWindowsCalls;
    g_exitWindowsFlags = flags;
    g_shutdownEnabledAtCall = shutdownPrivilegeEnabled();
    return TRUE;
}

HWND WINAPI refuseWindow(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

// The string ids Setup.Dll loads, while a test looks.
using LoadStringFunction = int(WINAPI*)(HINSTANCE, UINT, LPSTR, int);
LoadStringFunction g_realLoadString = nullptr;
std::vector<UINT> g_loadedStrings;
int WINAPI recordLoadString(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    g_loadedStrings.push_back(id);
    return g_realLoadString(instance, id, buffer, size);
}

// Records the ids of the message texts loaded while it lives.
class LoadedStrings {
public:
    LoadedStrings() {
        g_loadedStrings.clear();
        g_realLoadString = reinterpret_cast<LoadStringFunction>(const_cast<void*>(ui::replaceImport(
            library(), "user32.dll", "LoadStringA", reinterpret_cast<const void*>(&recordLoadString))));
    }
    ~LoadedStrings() {
        ui::replaceImport(library(), "user32.dll", "LoadStringA", reinterpret_cast<const void*>(g_realLoadString));
    }
    bool active() const { return g_realLoadString != nullptr; }
    std::vector<UINT> ids() const { return g_loadedStrings; }
};

// Keys this thread has taken from its queue, seen by a hook of the test's own.
std::atomic<int> g_f3Releases{0};
LRESULT CALLBACK countKeys(int code, WPARAM key, LPARAM flags) {
    if (code == HC_ACTION && key == VK_F3 && (flags & 0x80000000))
        ++g_f3Releases;
    return CallNextHookEx(nullptr, code, key, flags);
}

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        ui::visibleWindows();  // the message box recorder goes in first
        ASSERT_NE(nullptr, ui::replaceImport(library(), "user32.dll", "MessageBeep",
                                             reinterpret_cast<const void*>(&recordBeep)));
        ASSERT_NE(nullptr, ui::replaceImport(library(), "user32.dll", "ExitWindowsEx",
                                             reinterpret_cast<const void*>(&recordExitWindows)));
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new Environment);

// Presses key `vk` (down, or up) as the keyboard would.
void sendKey(WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ASSERT_EQ(1u, SendInput(1, &in, sizeof in));
}

// Brings the background window to the front with the keyboard.
void showInFront(Setup& setup) {
    setup.ShowBGWindow(SW_SHOW);
    SetForegroundWindow(setup.backgroundWindow);
    SetFocus(setup.backgroundWindow);
    pumpMessages();
}

// Sends the exit button's click from the script's thread and waits for it to
// be handled (the dialog's thread serves sent messages inside a message box).
bool clickExitButton(HWND button) {
    DWORD_PTR result;
    return SendMessageTimeoutA(button, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                               reinterpret_cast<LPARAM>(GetDlgItem(button, IDCANCEL)), SMTO_NORMAL, 5000,
                               &result) != 0;
}

class SetupTest : public ::testing::Test {
protected:
    void SetUp() override {
        pumpMessages();
        g_beeps = 0;
        g_exitWindowsCalls = 0;
        g_f3Releases = 0;
    }
    void TearDown() override { pumpMessages(); }
};

// ---------------------------------------------------------------------------

TEST_F(SetupTest, ConstructionAndDestruction) {
    HANDLE loop = nullptr;
    HWND window = nullptr;
    {
        ::Setup setup(productInstance(), g_title, g_product, g_exe);
        ASSERT_EQ(1, setup.MainWindowExist());
        window = setup.backgroundWindow;
        ASSERT_TRUE(IsWindow(window));
        char cls[64] = {};
        GetClassNameA(window, cls, sizeof cls);
        EXPECT_STREQ("SetupWndClass", cls);
        EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(window, nullptr));
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(static_cast<LONG>(WS_POPUP), GetWindowLongA(window, GWL_STYLE) & ~WS_CLIPSIBLINGS);
        EXPECT_EQ(reinterpret_cast<LONG_PTR>(&setup), GetWindowLongPtrA(window, 0));
        RECT screen, box;
        GetClientRect(GetDesktopWindow(), &screen);
        GetWindowRect(window, &box);
        EXPECT_TRUE(EqualRect(&screen, &box));
        char caption[64] = {};
        GetWindowTextA(window, caption, sizeof caption);
        EXPECT_STREQ(g_title, caption);

        // The members a product may read.
        EXPECT_EQ(productInstance(), setup.productInstance);
        EXPECT_EQ(library(), setup.libraryInstance);
        EXPECT_EQ(library(), setup.resourceInstance);
        EXPECT_EQ(g_title, setup.messageCaption);
        EXPECT_EQ(g_title, setup.windowTitle);
        EXPECT_EQ(g_product, setup.productName);
        EXPECT_EQ(g_exe, setup.exeName);
        EXPECT_EQ(nullptr, setup.languageLibrary);
        EXPECT_EQ(nullptr, setup.exitButtonDialog);
        EXPECT_EQ(nullptr, setup.languageButtonDialog);
        EXPECT_EQ(nullptr, setup.workerThread);
        EXPECT_EQ(nullptr, setup.installDirectory);
        EXPECT_EQ(nullptr, setup.pageQueue);
        EXPECT_EQ(nullptr, setup.registryClassName);
        EXPECT_EQ(0, setup.rebootNeeded);
        EXPECT_EQ(0, setup.currentPage);
        EXPECT_EQ(0, setup.pageCount);
        EXPECT_EQ(0, setup.pageActive);
        EXPECT_EQ(0, setup.exitQuestionGuard);
        EXPECT_EQ(1, setup.browseIdle);
        EXPECT_EQ(0u, setup.userData);

        // The message loop runs on a thread of its own.
        ASSERT_NE(nullptr, setup.uiThread);
        ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), setup.uiThread, GetCurrentProcess(), &loop,
                                    SYNCHRONIZE, FALSE, 0));
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(loop, 0));

        // Accessors.
        char dir[PathSize] = "C:\\Target";
        setup.SetInstallDirectory(dir);
        EXPECT_EQ(dir, setup.GetInstDir());
        EXPECT_EQ(dir, setup.installDirectory);
        setup.SetUserData(0xFEEDF00Du);
        EXPECT_EQ(0xFEEDF00Du, setup.GetUserData());
        setup.SetLastDlgHWND(window);
        EXPECT_EQ(window, setup.GetParentForMessage());
        setup.SetLastDlgHWND(nullptr);
        EXPECT_EQ(nullptr, setup.GetProgressHWND());
        setup.progressDialog = window;
        EXPECT_EQ(window, setup.GetProgressHWND());
        setup.progressDialog = nullptr;

        // The default bodies of the virtual operations, called through the
        // table as the engine calls them.
        SetupFileManager& engine = setup;
        EXPECT_EQ(StepContinue, engine.TakeProcessInfo(InfoOverallPercent, nullptr));
        EXPECT_EQ(1, setup.ProcessError());
        EXPECT_EQ(1, setup.ProcessOK());
        EXPECT_EQ(1, setup.ProcessUserBreak());
        EXPECT_EQ(1, setup.ProcessNeedReboot());
        EXPECT_EQ(1, setup.MainWindowExist());
    }
    // Nothing is left: the window, its class, the thread, and no quit
    // message for this thread (the product did not end the installation).
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, FindWindowA("SetupWndClass", nullptr));
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(GetClassInfoExA(productInstance(), "SetupWndClass", &wc));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(loop, 0));
    CloseHandle(loop);
    EXPECT_FALSE(pumpMessages());

    // A second object of the process registers the class again.
    ::Setup again(productInstance(), g_title, g_product, g_exe);
    EXPECT_EQ(1, again.MainWindowExist());
}

// The slot of a virtual operation, read from its member pointer (in the
// GNU C++ ABI a pointer to a virtual member holds 1 + its vtable offset).
template <class Member>
int slotOf(Member member) {
    uintptr_t raw;
    static_assert(sizeof member >= sizeof raw, "");
    memcpy(&raw, &member, sizeof raw);
    return static_cast<int>((raw - 1) / sizeof(void*));
}

// A product's class: its overrides are what the library's calls reach.
class ProductSetup : public ::Setup {
public:
    ProductSetup() : ::Setup(GetModuleHandleA(nullptr), g_title, g_product, g_exe) {}
    int TakeProcessInfo(int kind, void*) override {
        lastKind = kind;
        return StepUserBreak;
    }
    int ProcessOK() override { return 0; }
    int lastKind = -1;
};

TEST_F(SetupTest, VirtualOperationsInTheirSlots) {
    EXPECT_EQ(0, slotOf(&Reader::TakeProcessInfo));
    EXPECT_EQ(0, slotOf(&::Setup::TakeProcessInfo));
    EXPECT_EQ(1, slotOf(&::Setup::ProcessError));
    EXPECT_EQ(2, slotOf(&::Setup::ProcessOK));
    EXPECT_EQ(3, slotOf(&::Setup::ProcessUserBreak));
    EXPECT_EQ(4, slotOf(&::Setup::ProcessNeedReboot));

    ProductSetup product;
    Reader& reader = product;
    ::Setup& setup = product;
    EXPECT_EQ(StepUserBreak, reader.TakeProcessInfo(InfoFilePercent, nullptr));
    EXPECT_EQ(InfoFilePercent, product.lastKind);
    EXPECT_EQ(0, setup.ProcessOK());
    EXPECT_EQ(1, setup.ProcessError());
}

TEST_F(SetupTest, ClassRegistrationFailureShows11101) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = productInstance();
    wc.lpszClassName = "SetupWndClass";
    ASSERT_NE(0, RegisterClassExA(&wc));
    {
        LoadedStrings strings;
        ASSERT_TRUE(strings.active());
        ui::Script ui;
        ui.messageBox(nullptr, g_title, kNoResourcesText, IDOK, MB_ICONHAND);
        ::Setup setup(productInstance(), g_title, g_product, g_exe);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(1u, ui.matched().size());
        EXPECT_EQ(0, setup.MainWindowExist());
        EXPECT_EQ(nullptr, setup.backgroundWindow);
        EXPECT_EQ(nullptr, setup.uiThread);
        EXPECT_EQ(std::vector<UINT>{IDS_NO_RESOURCES_CLASS}, strings.ids());
    }
    // The class that was there before is still there: not the object's to remove.
    EXPECT_TRUE(GetClassInfoExA(productInstance(), "SetupWndClass", &wc));
    EXPECT_TRUE(UnregisterClassA("SetupWndClass", productInstance()));
}

TEST_F(SetupTest, WindowCreationFailureShows11102) {
    const void* real = ui::replaceImport(library(), "user32.dll", "CreateWindowExA",
                                         reinterpret_cast<const void*>(&refuseWindow));
    ASSERT_NE(nullptr, real);
    {
        LoadedStrings strings;
        ASSERT_TRUE(strings.active());
        ui::Script ui;
        // Strings 11101 and 11102 read alike: the id loaded tells them apart.
        ui.messageBox(nullptr, g_title, kNoResourcesText, IDOK, MB_ICONHAND);
        ::Setup setup(productInstance(), g_title, g_product, g_exe);
        ui::replaceImport(library(), "user32.dll", "CreateWindowExA", real);
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, setup.MainWindowExist());
        EXPECT_EQ(nullptr, setup.backgroundWindow);
        EXPECT_EQ(nullptr, setup.uiThread);
        EXPECT_EQ(std::vector<UINT>{IDS_NO_RESOURCES_WINDOW}, strings.ids());
    }
    ui::replaceImport(library(), "user32.dll", "CreateWindowExA", real);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(GetClassInfoExA(productInstance(), "SetupWndClass", &wc));
}

// Pixels of the real screen: every sampled row has its band's blue.
TEST_F(SetupTest, GradientOnScreenAndExitButton) {
    ::Setup setup(productInstance(), g_title, g_product, g_exe);
    ASSERT_EQ(1, setup.MainWindowExist());
    EXPECT_NE(0, setup.ShowBGWindow(SW_SHOW));
    EXPECT_TRUE(IsWindowVisible(setup.backgroundWindow));
    pumpMessages();

    RECT client;
    GetClientRect(setup.backgroundWindow, &client);
    int height = client.bottom - client.top;
    int width = client.right - client.left;
    ASSERT_GE(height, 64);
    int step = 256 / ((height + 1) / 8);
    HDC screen = GetDC(nullptr);
    for (int y : {0, 7, 8, 15, 16, height / 2, height / 2 + 5, height - 9, height - 1}) {
        int blue = (255 - (y / 8) * step) & 0xFF;
        for (int x : {0, width / 3, width - 1}) {
            COLORREF c = GetPixel(screen, x, y);
            EXPECT_EQ(RGB(0, 0, blue), c) << "x " << x << " y " << y;
        }
    }

    // The exit button: owned by the background window, one button from the corner.
    ASSERT_EQ(1, setup.CreateExitButton());
    HWND button = setup.exitButtonDialog;
    ASSERT_TRUE(IsWindow(button));
    EXPECT_EQ(setup.backgroundWindow, GetWindow(button, GW_OWNER));
    EXPECT_TRUE(IsWindowVisible(button));
    HWND exit = GetDlgItem(button, IDCANCEL);
    char text[16] = {};
    GetWindowTextA(exit, text, sizeof text);
    EXPECT_STREQ("Exit", text);
    RECT box;
    GetWindowRect(button, &box);
    EXPECT_EQ(client.right - (box.right - box.left), box.right);
    EXPECT_EQ(client.bottom - (box.bottom - box.top), box.bottom);
    pumpMessages();
    // The gradient goes on around the button, which has a face of its own.
    COLORREF left = GetPixel(screen, box.left - 1, box.bottom - 1);
    EXPECT_EQ(RGB(0, 0, (255 - ((box.bottom - 1) / 8) * step) & 0xFF), left);
    EXPECT_NE(left, GetPixel(screen, (box.left + box.right) / 2, box.top + 2));
    ReleaseDC(nullptr, screen);

    // HideAll takes the button away, hides the window and frees the message owner.
    setup.SetLastDlgHWND(setup.backgroundWindow);
    setup.HideAll();
    EXPECT_FALSE(IsWindow(button));
    EXPECT_EQ(nullptr, setup.exitButtonDialog);
    EXPECT_FALSE(IsWindowVisible(setup.backgroundWindow));
    EXPECT_EQ(nullptr, setup.GetParentForMessage());
    EXPECT_EQ(1, setup.MainWindowExist());
    // Again with neither button: only hides.
    setup.HideAll();
    EXPECT_TRUE(IsWindow(setup.backgroundWindow));
}

TEST_F(SetupTest, F3AsksToExit) {
    ::Setup setup(productInstance(), g_title, g_product, g_exe);
    showInFront(setup);
    HWND window = setup.backgroundWindow;
    HHOOK counter = SetWindowsHookExA(WH_KEYBOARD, countKeys, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, counter);

    // One press, answered No: the installation goes on.
    {
        ui::Script ui;
        ui.messageBox(ui::AnyOwner, g_title, kExitText, IDNO, kQuestion);
        sendKey(VK_F3, false);
        sendKey(VK_F3, true);
        EXPECT_TRUE(ui.finish());
        pumpMessages();
    }
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(1, setup.MainWindowExist());
    EXPECT_EQ(0, setup.exitQuestionGuard);

    // Held down: the key repeats while the question is open, and it is asked
    // once. No is pressed only when the key's release has been taken from
    // the queue, so every repeat met the open question.
    {
        g_f3Releases = 0;
        ui::Script ui;
        ui.window("the exit question", [](const ui::WindowInfo& w) { return w.text == kExitText; },
                  [&](HWND box) {
                      EXPECT_EQ(1, setup.exitQuestionGuard);
                      for (int i = 0; i < 500 && g_f3Releases == 0; ++i)
                          Sleep(10);
                      EXPECT_EQ(1, g_f3Releases.load()) << "the key's release never came";
                      ui::press(box, IDNO);
                  });
        sendKey(VK_F3, false);
        sendKey(VK_F3, false);
        sendKey(VK_F3, false);
        sendKey(VK_F3, false);
        sendKey(VK_F3, true);
        EXPECT_TRUE(ui.finish());
        // A second question would open here and be failed by the script.
        pumpMessages();
        EXPECT_EQ(1u, ui.matched().size());
    }
    EXPECT_EQ(1, setup.MainWindowExist());

    // The release alone, and other keys, ask nothing.
    {
        ui::Script ui(3000);
        sendKey(VK_F3, true);
        sendKey(VK_F2, false);
        sendKey(VK_F2, true);
        for (int i = 0; i < 5; ++i)
            pumpMessages();
        EXPECT_TRUE(ui.finish());
    }
    EXPECT_TRUE(IsWindow(window));

    // Yes: the window goes and the product's message loop is told to end.
    {
        ui::Script ui;
        ui.messageBox(ui::AnyOwner, g_title, kExitText, IDYES, kQuestion);
        sendKey(VK_F3, false);
        sendKey(VK_F3, true);
        EXPECT_TRUE(ui.finish());
    }
    pumpMessages();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0, setup.MainWindowExist());
    EXPECT_EQ(0, setup.exitQuestionGuard);
    UnhookWindowsHookEx(counter);
}

TEST_F(SetupTest, ExitButtonBeepsDuringItsOwnQuestion) {
    ::Setup setup(productInstance(), g_title, g_product, g_exe);
    showInFront(setup);
    ASSERT_EQ(1, setup.CreateExitButton());
    HWND button = setup.exitButtonDialog;

    // Pressed again while its own question is open: a beep, no second question.
    {
        ui::Script ui;
        ui.window("the exit button's question",
                  [](const ui::WindowInfo& w) { return w.text == kExitText && w.style == kQuestion; },
                  [&](HWND box) {
                      EXPECT_EQ(2, setup.exitQuestionGuard);  // one guard, holding the asker: the button
                      EXPECT_TRUE(clickExitButton(button));
                      EXPECT_EQ(1, g_beeps.load());
                      EXPECT_TRUE(clickExitButton(button));
                      EXPECT_EQ(2, g_beeps.load());
                      ui::press(box, IDNO);
                  });
        ui::press(button, IDCANCEL);
        EXPECT_TRUE(ui.finish());
        pumpMessages();
    }
    EXPECT_EQ(2, g_beeps.load());
    EXPECT_EQ(1, setup.MainWindowExist());

    // During the background window's question (the guard that a page's
    // question sets): ignored, no beep and no question.
    {
        ui::Script ui;
        ui.window("the background's question", [](const ui::WindowInfo& w) { return w.text == kExitText; },
                  [&](HWND box) {
                      EXPECT_EQ(1, setup.exitQuestionGuard);
                      EXPECT_TRUE(clickExitButton(button));
                      ui::press(box, IDNO);
                  });
        PostMessageA(setup.backgroundWindow, WM_COMMAND, IDM_ASK_TO_CLOSE, 0);
        EXPECT_TRUE(ui.finish());
        pumpMessages();
        EXPECT_EQ(1u, ui.matched().size());
    }
    // A page's Cancel confirmed keeps the guard set: still ignored.
    setup.exitQuestionGuard = 1;
    {
        ui::Script ui(3000);
        ui::press(button, IDCANCEL);
        pumpMessages();
        EXPECT_TRUE(ui.finish());
    }
    setup.exitQuestionGuard = 0;
    EXPECT_EQ(2, g_beeps.load());

    // Confirmed: the background window closes, the button with it.
    {
        ui::Script ui;
        ui.messageBox(ui::AnyOwner, g_title, kExitText, IDYES, kQuestion);
        ui::press(button, IDCANCEL);
        EXPECT_TRUE(ui.finish());
    }
    pumpMessages();
    EXPECT_EQ(0, setup.MainWindowExist());
    EXPECT_FALSE(IsWindow(setup.backgroundWindow));
    EXPECT_FALSE(IsWindow(button));
}

TEST_F(SetupTest, CommandsAndClosing) {
    // 11101 closes without a question; other commands change nothing.
    {
        ::Setup setup(productInstance(), g_title, g_product, g_exe);
        ui::Script ui(3000);
        SendMessageA(setup.backgroundWindow, WM_COMMAND, 11102, 0);
        SendMessageA(setup.backgroundWindow, WM_COMMAND, MAKEWPARAM(IDM_ASK_TO_CLOSE, 1), 0);
        EXPECT_TRUE(IsWindow(setup.backgroundWindow));
        EXPECT_EQ(1, setup.MainWindowExist());
        SendMessageA(setup.backgroundWindow, WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
        EXPECT_FALSE(IsWindow(setup.backgroundWindow));
        EXPECT_EQ(0, setup.MainWindowExist());
        EXPECT_TRUE(pumpMessages());
        EXPECT_TRUE(ui.finish());
    }
    // WM_CLOSE with no reboot pending asks nothing.
    {
        ::Setup setup(productInstance(), g_title, g_product, g_exe);
        ui::Script ui(3000);
        SendMessageA(setup.backgroundWindow, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(setup.backgroundWindow));
        EXPECT_EQ(0, setup.MainWindowExist());
        EXPECT_TRUE(ui.finish());
    }
    EXPECT_EQ(0, g_exitWindowsCalls.load());
}

TEST_F(SetupTest, CloseWithRebootNeededAsks11106) {
    // No: no reboot, the window goes all the same.
    {
        ::Setup setup(productInstance(), g_title, g_product, g_exe);
        setup.rebootNeeded = 1;
        ui::Script ui;
        ui.messageBox(ui::AnyOwner, g_title, kRebootText, IDNO, kRebootStyle);
        PostMessageA(setup.backgroundWindow, WM_CLOSE, 0, 0);
        EXPECT_TRUE(ui.finish());
        pumpMessages();
        EXPECT_FALSE(IsWindow(setup.backgroundWindow));
        EXPECT_EQ(0, setup.MainWindowExist());
    }
    EXPECT_EQ(0, g_exitWindowsCalls.load());

    // Yes: a reboot, asked for with the shutdown privilege enabled.
    setShutdownPrivilege(false);
    ASSERT_FALSE(shutdownPrivilegeEnabled());
    {
        ::Setup setup(productInstance(), g_title, g_product, g_exe);
        setup.rebootNeeded = 1;
        ui::Script ui;
        ui.messageBox(ui::AnyOwner, g_title, kRebootText, IDYES, kRebootStyle);
        PostMessageA(setup.backgroundWindow, WM_CLOSE, 0, 0);
        EXPECT_TRUE(ui.finish());
        pumpMessages();
        EXPECT_FALSE(IsWindow(setup.backgroundWindow));
        EXPECT_EQ(0, setup.MainWindowExist());
    }
    EXPECT_EQ(1, g_exitWindowsCalls.load());
    EXPECT_EQ(static_cast<UINT>(EWX_REBOOT), g_exitWindowsFlags.load());
    EXPECT_TRUE(g_shutdownEnabledAtCall.load());
}

// High contrast as Setup.Dll sees it, while a test says so.
using SystemParametersFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT);
SystemParametersFunction g_realSystemParameters = nullptr;
std::atomic<bool> g_highContrast{false};
BOOL WINAPI reportHighContrast(UINT action, UINT size, PVOID data, UINT flags) {
    if (action != SPI_GETHIGHCONTRAST)
        return g_realSystemParameters(action, size, data, flags);
    static_cast<HIGHCONTRASTA*>(data)->dwFlags = g_highContrast ? HCF_HIGHCONTRASTON : 0;
    return TRUE;
}

TEST_F(SetupTest, HighContrastPaintsTheWindowColour) {
    g_realSystemParameters = reinterpret_cast<SystemParametersFunction>(const_cast<void*>(ui::replaceImport(
        library(), "user32.dll", "SystemParametersInfoA", reinterpret_cast<const void*>(&reportHighContrast))));
    ASSERT_NE(nullptr, g_realSystemParameters);
    ::Setup setup(productInstance(), g_title, g_product, g_exe);
    showInFront(setup);
    HDC screen = GetDC(nullptr);
    // Switched on, then off, each announced as Windows does: the window
    // colour, then the gradient's first band again.
    for (bool on : {true, false}) {
        g_highContrast = on;
        SendMessageA(setup.backgroundWindow, on ? WM_SETTINGCHANGE : WM_SYSCOLORCHANGE, SPI_SETHIGHCONTRAST, 0);
        pumpMessages();
        EXPECT_EQ(on ? GetSysColor(COLOR_WINDOW) : RGB(0, 0, 255), GetPixel(screen, 300, 4)) << on;
    }
    ReleaseDC(nullptr, screen);
    ui::replaceImport(library(), "user32.dll", "SystemParametersInfoA",
                      reinterpret_cast<const void*>(g_realSystemParameters));
}

TEST_F(SetupTest, TabReachesTheFloatingButtonsWhichEnterAndSpacePress) {
    ::Setup setup(productInstance(), g_title, g_product, g_exe);
    ASSERT_EQ(1, setup.CreateChoseLanButton());
    ASSERT_EQ(1, setup.CreateExitButton());
    showInFront(setup);
    HWND language = GetDlgItem(setup.languageButtonDialog, IDOK);
    HWND exit = GetDlgItem(setup.exitButtonDialog, IDCANCEL);
    // From the background Tab goes to language, exit and round; Shift+Tab back.
    const std::pair<bool, HWND> steps[] = {{false, language}, {false, exit}, {false, language},
                                           {true, exit},      {true, language}, {false, exit}};
    for (const auto& step : steps) {
        for (int stroke = 0; stroke < 4; ++stroke)
            if (step.first || stroke == 1 || stroke == 2)
                sendKey(stroke == 1 || stroke == 2 ? VK_TAB : VK_SHIFT, stroke >= 2);
        pumpMessages();
        EXPECT_EQ(step.second, GetFocus()) << step.first;
    }
    // Enter, Space and F3 each ask once, answered No; the focus stays.
    for (WORD key : {WORD(VK_RETURN), WORD(VK_SPACE), WORD(VK_F3)}) {
        ui::Script ui;
        ui.messageBox(ui::AnyOwner, g_title, kExitText, IDNO, kQuestion);
        sendKey(key, false);
        sendKey(key, true);
        EXPECT_TRUE(ui.finish()) << key;
        EXPECT_EQ(exit, GetFocus()) << key;
    }
    EXPECT_EQ(1, setup.MainWindowExist());
}

}  // namespace
