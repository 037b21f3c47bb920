// Language selection under Wine: the "Choose language" button's place and
// its dialog, a second press that only beeps, a flag that loads its
// library into languageLibrary in place of the one before (the same one
// twice stays loaded once), a missing library that is refused with 11107
// while the dialog stays open, Cancel, Escape and the close box that change
// nothing, the message owner given back, HideAll removing the button, the
// flag buttons' bevel read from the screen in both states, their names and
// focus rectangle, and Tab between the dialog and the floating button.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "../../tools/samplesetup/PageText.h"
#include "TestEnv.h"
#include "UiAuto.h"
#include "resource.h"

namespace {

const char kMissingText[] = "Sorry, support for this language is not implemented yet.";

char g_title[] = "Language Test Setup";
char g_product[] = "Test Product";
char g_exe[] = "Product.exe";

HMODULE library() { return GetModuleHandleA("Setup.Dll"); }

// ---------------------------------------------------------------------------
// System calls of Setup.Dll seen by the tests.

std::atomic<int> g_beeps{0};
BOOL WINAPI recordBeep(UINT) {
    ++g_beeps;
    return TRUE;
}

// The libraries Setup.Dll asks for; those named in g_missing are not there.
using LoadLibraryFunction = HMODULE(WINAPI*)(LPCSTR);
LoadLibraryFunction g_realLoadLibrary = nullptr;
std::vector<std::string> g_libraryNames;
std::vector<std::string> g_missing;
std::vector<std::string> g_libraryFolders;
HMODULE WINAPI recordLoadLibrary(LPCSTR path) {
    // Asked for by its full path in the program's folder.
    std::string folder = path;
    size_t slash = folder.rfind('\\');
    folder.resize(slash == std::string::npos ? 0 : slash);
    g_libraryFolders.push_back(folder);
    std::string name = path + (slash == std::string::npos ? 0 : slash + 1);
    g_libraryNames.push_back(name);
    for (const std::string& missing : g_missing) {
        if (missing == name) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    return g_realLoadLibrary(path);
}

class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        ui::visibleWindows();  // the message box recorder goes in first
        ASSERT_NE(nullptr, ui::replaceImport(library(), "user32.dll", "MessageBeep",
                                             reinterpret_cast<const void*>(&recordBeep)));
        g_realLoadLibrary = reinterpret_cast<LoadLibraryFunction>(const_cast<void*>(ui::replaceImport(
            library(), "kernel32.dll", "LoadLibraryA", reinterpret_cast<const void*>(&recordLoadLibrary))));
        ASSERT_NE(nullptr, g_realLoadLibrary);
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new Environment);

std::wstring loadText(HMODULE module, int id) {
    wchar_t buffer[256] = {};
    int n = LoadStringW(module, id, buffer, 256);
    return std::wstring(buffer, n > 0 ? n : 0);
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::pumpMessages();
        g_beeps = 0;
        g_libraryNames.clear();
        g_libraryFolders.clear();
        g_missing.clear();
        setup_.reset(new ::Setup(GetModuleHandleA(nullptr), g_title, g_product, g_exe));
        ASSERT_EQ(1, setup_->MainWindowExist());
        setup_->ShowBGWindow(SW_SHOW);
        setup_->SetLastDlgHWND(setup_->backgroundWindow);
        ASSERT_EQ(1, setup_->CreateChoseLanButton());
        button_ = setup_->languageButtonDialog;
        testenv::pumpMessages();
    }
    void TearDown() override {
        // A library the object still holds goes with the test.
        if (setup_ && setup_->languageLibrary)
            FreeLibrary(setup_->languageLibrary);
        setup_.reset();
        testenv::pumpMessages();
    }

    // Presses "Choose language"; the dialog opens when this thread next
    // serves its messages (in a script's finish()).
    void pressButton() { ui::press(button_, IDOK); }

    std::unique_ptr<::Setup> setup_;
    HWND button_ = nullptr;
};

TEST_F(LanguageTest, ButtonInTheLowerLeftCorner) {
    ASSERT_TRUE(IsWindow(button_));
    EXPECT_EQ(setup_->backgroundWindow, GetWindow(button_, GW_OWNER));
    EXPECT_TRUE(IsWindowVisible(button_));
    char text[32] = {};
    GetDlgItemTextA(button_, IDOK, text, sizeof text);
    EXPECT_STREQ("Choose language", text);
    RECT box, client;
    GetWindowRect(button_, &box);
    GetClientRect(setup_->backgroundWindow, &client);
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    EXPECT_EQ(width / 2, box.left);
    EXPECT_EQ(client.bottom - 2 * height, box.top);

    // HideAll removes it through DestroyChoseLanButton.
    setup_->HideAll();
    EXPECT_FALSE(IsWindow(button_));
    EXPECT_EQ(nullptr, setup_->languageButtonDialog);
    EXPECT_EQ(nullptr, setup_->GetParentForMessage());
}

TEST_F(LanguageTest, DialogOwnedByTheMessageOwnerAndSecondPressBeeps) {
    HWND background = setup_->backgroundWindow;
    ui::Script ui;
    ui.dialog("Select language", [&](HWND dialog) {
        // Ten flag buttons and Cancel; centred; owned by the message owner,
        // which it has become itself.
        ui::WindowInfo info = ui::describe(dialog);
        std::vector<int> expected = {IDL_ENGLISH, IDL_FRENCH, IDL_GERMAN, IDL_DUTCH, IDL_SPANISH, IDL_ITALIAN,
                                     IDL_PORTUGUESE, IDL_SWEDISH, IDL_NORWEGIAN, IDL_FINNISH, IDCANCEL};
        std::vector<int> buttons = info.buttons;
        std::sort(buttons.begin(), buttons.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, buttons);
        EXPECT_EQ(background, info.owner);
        EXPECT_EQ(dialog, setup_->GetParentForMessage());
        RECT screen, box;
        GetClientRect(GetDesktopWindow(), &screen);
        GetWindowRect(dialog, &box);
        EXPECT_EQ((screen.right - (box.right - box.left)) / 2, box.left);
        EXPECT_EQ((screen.bottom - (box.bottom - box.top)) / 2, box.top);
        // The button stays usable: pressed again it beeps, twice twice.
        DWORD_PTR result;
        for (int press = 1; press <= 2; ++press) {
            EXPECT_TRUE(SendMessageTimeoutA(button_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                            reinterpret_cast<LPARAM>(GetDlgItem(button_, IDOK)), SMTO_NORMAL, 5000,
                                            &result));
            EXPECT_EQ(press, g_beeps.load());
        }
        ui::press(dialog, IDCANCEL);
    });
    pressButton();
    EXPECT_TRUE(ui.finish());
    testenv::pumpMessages();
    // One dialog only, nothing loaded, the owner given back.
    EXPECT_EQ(1u, ui.matched().size());
    EXPECT_EQ(2, g_beeps.load());
    EXPECT_TRUE(g_libraryNames.empty());
    EXPECT_EQ(nullptr, setup_->languageLibrary);
    EXPECT_EQ(background, setup_->GetParentForMessage());

    // Closed, the button opens it again, without a beep.
    ui::Script again;
    again.dialog("Select language", [](HWND dialog) { ui::press(dialog, IDCANCEL); });
    pressButton();
    EXPECT_TRUE(again.finish());
    EXPECT_EQ(2, g_beeps.load());
}

// Chooses `buttonId` in the dialog the button opens.
::testing::AssertionResult choose(HWND button, int buttonId) {
    ui::Script ui;
    ui.dialog("Select language", [=](HWND dialog) { ui::press(dialog, buttonId); });
    ui::press(button, IDOK);
    return ui.finish();
}

TEST_F(LanguageTest, ChosenLibraryReplacesTheOneBefore) {
    HWND owner = setup_->backgroundWindow;
    ASSERT_EQ(nullptr, GetModuleHandleA("Setup_fr.Dll"));
    ASSERT_TRUE(choose(button_, IDL_FRENCH));
    EXPECT_EQ(std::vector<std::string>{"Setup_fr.Dll"}, g_libraryNames);
    // By its full path beside the program, not by the DLL search.
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    *strrchr(program, '\\') = '\0';
    EXPECT_EQ(std::vector<std::string>{program}, g_libraryFolders);
    HMODULE french = GetModuleHandleA("Setup_fr.Dll");
    ASSERT_NE(nullptr, french);
    EXPECT_EQ(french, setup_->languageLibrary);
    EXPECT_EQ(owner, setup_->GetParentForMessage());
    // The product reads its texts from it.
    EXPECT_EQ(L"< &Pr\u00e9c\u00e9dent", loadText(setup_->languageLibrary, TEXT_BACK));

    // French again: loaded a second time, the earlier handle released, so
    // one release more unloads it.
    ASSERT_TRUE(choose(button_, IDL_FRENCH));
    EXPECT_EQ(french, setup_->languageLibrary);
    // Another language: French goes.
    ASSERT_TRUE(choose(button_, IDL_GERMAN));
    EXPECT_EQ(nullptr, GetModuleHandleA("Setup_fr.Dll"));
    HMODULE german = GetModuleHandleA("Setup_ge.Dll");
    ASSERT_NE(nullptr, german);
    EXPECT_EQ(german, setup_->languageLibrary);
    EXPECT_EQ(L"< &Zur\u00fcck", loadText(setup_->languageLibrary, TEXT_BACK));
    EXPECT_EQ(owner, setup_->GetParentForMessage());

    // Every flag names its library.
    for (int id = IDL_ENGLISH; id <= IDL_FINNISH; ++id)
        ASSERT_TRUE(choose(button_, id)) << id;
    std::vector<std::string> names(g_libraryNames.end() - 10, g_libraryNames.end());
    EXPECT_EQ((std::vector<std::string>{"Setup_en.Dll", "Setup_fr.Dll", "Setup_ge.Dll", "Setup_hl.Dll",
                                        "Setup_sp.Dll", "Setup_it.Dll", "Setup_po.Dll", "Setup_sw.Dll",
                                        "Setup_nr.Dll", "Setup_fn.Dll"}),
              names);
    EXPECT_EQ(GetModuleHandleA("Setup_fn.Dll"), setup_->languageLibrary);
    EXPECT_EQ(nullptr, GetModuleHandleA("Setup_ge.Dll"));
    EXPECT_EQ(nullptr, GetModuleHandleA("Setup_nr.Dll"));
}

TEST_F(LanguageTest, MissingLibraryIsRefusedAndTheDialogStays) {
    ASSERT_TRUE(choose(button_, IDL_SWEDISH));
    HMODULE swedish = setup_->languageLibrary;
    ASSERT_NE(nullptr, swedish);
    g_missing = {"Setup_fn.Dll"};
    g_libraryNames.clear();

    HWND languageDialog = nullptr;
    ui::Script ui;
    ui.dialog("Select language", [&](HWND dialog) {
        languageDialog = dialog;
        ui::press(dialog, IDL_FINNISH);
    });
    ui.window("11107 owned by the language dialog",
              [&](const ui::WindowInfo& w) {
                  return w.className == "#32770" && w.owner == languageDialog && w.caption == g_title &&
                         w.text == kMissingText && w.style == MB_ICONINFORMATION;
              },
              [&](HWND box) {
                  ui::press(box, IDOK);
                  for (int i = 0; i < 250 && IsWindow(box); ++i)
                      Sleep(20);
                  // The dialog is still there, still the message owner.
                  EXPECT_TRUE(IsWindowVisible(languageDialog));
                  EXPECT_EQ(languageDialog, setup_->GetParentForMessage());
                  EXPECT_EQ(swedish, setup_->languageLibrary);
                  ui::press(languageDialog, IDCANCEL);
              });
    pressButton();
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(std::vector<std::string>{"Setup_fn.Dll"}, g_libraryNames);
    EXPECT_EQ(swedish, setup_->languageLibrary);
    EXPECT_EQ(swedish, GetModuleHandleA("Setup_sw.Dll"));
    EXPECT_EQ(setup_->backgroundWindow, setup_->GetParentForMessage());
}

TEST_F(LanguageTest, CancelEscapeAndCloseBoxChangeNothing) {
    ASSERT_TRUE(choose(button_, IDL_ITALIAN));
    HMODULE italian = setup_->languageLibrary;
    ASSERT_NE(nullptr, italian);
    HWND owner = setup_->backgroundWindow;
    g_libraryNames.clear();

    // Escape on the focused flag button.
    {
        ui::Script ui;
        ui.dialog("Select language", [](HWND dialog) {
            HWND focus = GetDlgItem(dialog, IDL_ENGLISH);
            PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        });
        pressButton();
        EXPECT_TRUE(ui.finish());
    }
    // The close box.
    {
        ui::Script ui;
        ui.dialog("Select language", [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); });
        pressButton();
        EXPECT_TRUE(ui.finish());
    }
    // Cancel, with the message owner changed to none before.
    setup_->SetLastDlgHWND(nullptr);
    {
        ui::Script ui;
        ui.dialog("Select language", [](HWND dialog) { ui::press(dialog, IDCANCEL); });
        pressButton();
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(nullptr, ui.matched()[0].owner);
    }
    EXPECT_EQ(nullptr, setup_->GetParentForMessage());
    EXPECT_TRUE(g_libraryNames.empty());
    EXPECT_EQ(italian, setup_->languageLibrary);
    EXPECT_EQ(italian, GetModuleHandleA("Setup_it.Dll"));
    setup_->SetLastDlgHWND(owner);
}

// A pixel of the real screen, waited for (the dialog paints on its own
// thread): the colour at last.
COLORREF waitForPixel(int x, int y, COLORREF wanted) {
    HDC screen = GetDC(nullptr);
    COLORREF seen = GetPixel(screen, x, y);
    for (int i = 0; i < 150 && seen != wanted; ++i) {
        Sleep(20);
        seen = GetPixel(screen, x, y);
    }
    ReleaseDC(nullptr, screen);
    return seen;
}

TEST_F(LanguageTest, FlagButtonBevelRaisedAndPressed) {
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    ASSERT_NE(shadow, highlight);
    ui::Script ui;
    ui.dialog("Select language", [&](HWND dialog) {
        HWND french = GetDlgItem(dialog, IDL_FRENCH);
        RECT r;
        GetWindowRect(french, &r);
        int midX = (r.left + r.right) / 2;
        int midY = (r.top + r.bottom) / 2;
        // Raised: light on the left and top, shadow on the right and bottom.
        EXPECT_EQ(highlight, waitForPixel(r.left, midY, highlight));
        EXPECT_EQ(highlight, waitForPixel(midX, r.top, highlight));
        EXPECT_EQ(shadow, waitForPixel(r.right - 1, midY, shadow));
        EXPECT_EQ(shadow, waitForPixel(midX, r.bottom - 1, shadow));
        // The flag inside: blue, white and red bands.
        int inner = (r.right - r.left) - 7;
        EXPECT_EQ(RGB(0, 85, 164), waitForPixel(r.left + 3 + inner / 6, midY, RGB(0, 85, 164)));
        EXPECT_EQ(RGB(255, 255, 255), waitForPixel(r.left + 3 + inner / 2, midY, RGB(255, 255, 255)));
        EXPECT_EQ(RGB(200, 16, 46), waitForPixel(r.left + 3 + inner * 5 / 6, midY, RGB(200, 16, 46)));
        // Held down: the colours swap.
        SendMessageA(french, BM_SETSTATE, TRUE, 0);
        EXPECT_EQ(shadow, waitForPixel(r.left, midY, shadow));
        EXPECT_EQ(shadow, waitForPixel(midX, r.top, shadow));
        EXPECT_EQ(highlight, waitForPixel(r.right - 1, midY, highlight));
        EXPECT_EQ(highlight, waitForPixel(midX, r.bottom - 1, highlight));
        // Let go: raised again.
        SendMessageA(french, BM_SETSTATE, FALSE, 0);
        EXPECT_EQ(highlight, waitForPixel(r.left, midY, highlight));
        EXPECT_EQ(shadow, waitForPixel(r.right - 1, midY, shadow));
        ui::press(dialog, IDCANCEL);
    });
    pressButton();
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(nullptr, setup_->languageLibrary);
}

// Presses `vk` as the keyboard would, with Shift held when `shift`.
void typeKey(WORD vk, bool shift = false) {
    const WORD order[4] = {VK_SHIFT, vk, vk, VK_SHIFT};
    INPUT keys[4] = {};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = order[i];
        keys[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(shift ? 4 : 2, shift ? keys : keys + 1, sizeof(INPUT));
}

// The focus of `window`'s thread, once it is `wanted` or after three seconds.
HWND focusOf(HWND window, HWND wanted) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    for (int i = 0; i < 150 && info.hwndFocus != wanted; ++i, Sleep(20))
        GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

// Two dots of a flag's focus rectangle, on its left side: one is drawn.
std::pair<COLORREF, COLORREF> focusDots(HWND flag) {
    RECT r;
    GetWindowRect(flag, &r);
    HDC screen = GetDC(nullptr);
    int y = (r.top + r.bottom) / 2;
    std::pair<COLORREF, COLORREF> dots{GetPixel(screen, r.left + 2, y), GetPixel(screen, r.left + 2, y + 1)};
    ReleaseDC(nullptr, screen);
    return dots;
}

// (Wine keeps the keyboard's cues shown whatever WM_CHANGEUISTATE asks, so
// their hiding is left to the native test of the decision.)
TEST_F(LanguageTest, FocusRectangleTabToTheFloatingButtonAndEnter) {
    HWND corner = GetDlgItem(button_, IDOK);
    SetForegroundWindow(setup_->backgroundWindow);
    ui::Script ui;
    ui.dialog("Select language", [&](HWND dialog) {
        HWND english = GetDlgItem(dialog, IDL_ENGLISH), french = GetDlgItem(dialog, IDL_FRENCH);
        EXPECT_EQ(english, focusOf(dialog, english));
        // The dialog paints on its own thread: the dots come in a while.
        for (int i = 0; i < 150 && focusDots(french) == focusDots(english); ++i)
            Sleep(20);
        EXPECT_NE(focusDots(french), focusDots(english));
        // Shift+Tab on the first flag and Tab on Cancel, the last stop, go
        // to the floating button; Tab there comes back to the first flag.
        typeKey(VK_TAB, true);
        EXPECT_EQ(corner, focusOf(dialog, corner));
        typeKey(VK_TAB);
        EXPECT_EQ(english, focusOf(dialog, english));
        DWORD_PTR done;
        SendMessageTimeoutA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, IDCANCEL)), TRUE,
                            SMTO_NORMAL, 5000, &done);
        typeKey(VK_TAB);
        EXPECT_EQ(corner, focusOf(dialog, corner));
        typeKey(VK_TAB);
        EXPECT_EQ(english, focusOf(dialog, english));
        // Enter chooses the flag that has the focus.
        SendMessageTimeoutA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(french), TRUE, SMTO_NORMAL, 5000, &done);
        EXPECT_EQ(french, focusOf(dialog, french));
        typeKey(VK_RETURN);
        for (int i = 0; i < 150 && IsWindow(dialog); ++i)
            Sleep(20);
        if (IsWindow(dialog))  // Enter chose nothing: failed below
            ui::press(dialog, IDCANCEL);
    });
    // Opened with Space on the floating button: the dialog takes the focus.
    SetFocus(corner);
    typeKey(VK_SPACE);
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(GetModuleHandleA("Setup_fr.Dll"), setup_->languageLibrary);
}

}  // namespace
