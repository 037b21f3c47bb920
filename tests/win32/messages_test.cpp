// Messages: the string table as built into Setup.Dll, ShowMessage driven
// through real message boxes, and CenterDialog on a real window.
#include "Setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "UiAuto.h"

namespace {

struct Text {
    int id;
    const char* text;
};

// Every message text of the library, byte for byte.
const Text kStrings[] = {
    {11101, "Not enough resources to run Setup.\nClose one or more applications and run Setup again."},
    {11102, "Not enough resources to run Setup.\nClose one or more applications and run Setup again."},
    {11103, "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?"},
    {11104, "Choose a folder for %s installation."},
    {11105, "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?"},
    {11106, "Setup needs to reboot your computer in order to complete the installation process. Do you wish to reboot now ?"},
    {11107, "Sorry, support for this language is not implemented yet."},
    {11108, "Installation disk might be corrupted.\nInstallation aborted."},
    {11109, "Installation disk might be corrupted.\nInstallation aborted"},
    {11110, "Not enough memory to complete installation.\nClose other applications and try again."},
    {11111, "Cannot create destination file.\nInstallation aborted."},
    {11112, "Installation disk might be corrupted.\nInstallation aborted."},
    {11113, "Installation disk might be corrupted.\nInstallation aborted."},
    {11114, "Installation disk might be corrupted.\nInstallation aborted."},
    {11115, "Error writing destination file.\nInstallation aborted."},
    {11116, "Cannot create record in Start Menu."},
    {11117, "Cannot create destination directory"},
    {11118, "An older version of the file %s already exists in your write protected system directory. Continue at your own risk ?"},
    {11119, "Error writing protocol file."},
    {11120, "This directory does not exist.\n\nDo you want to create one ?"},
    {11121, "The directory could not be created"},
    {11122, "Wrong version sources!"},
    {11123, "Wrong groups number.\nDo you want to continue ?"},
    {11124, "This directory does not exist!"},
    {11125, "%s already exists on your computer. It is recommended to uninstall existing version before continuing setup.\nDo you wish to do so ?"},
    {11126, "Uninstalling existing version of %s."},
    {11127, "Another Setup is installing into this folder.\nWait until it has finished, then run Setup again."},
    {11128, "%s cannot be installed: this system's code page lacks characters of its name.\nInstallation aborted."},
    {11130, "Setup is complete."},
    {11131, "Undoing the changes made so far..."},
};

TEST(StringTable, EveryTextIsExact) {
    HINSTANCE lib = testenv::library();
    ASSERT_NE(nullptr, lib);
    for (const Text& t : kStrings) {
        char buf[1024] = {};
        int n = LoadStringA(lib, t.id, buf, sizeof buf);
        EXPECT_EQ(std::string(t.text), std::string(buf, n)) << "string " << t.id;
    }
}

TEST(StringTable, NothingBeyondTheListedIds) {
    HINSTANCE lib = testenv::library();
    char buf[16];
    EXPECT_EQ(0, LoadStringA(lib, 11129, buf, sizeof buf));
    EXPECT_EQ(0, LoadStringA(lib, 11100, buf, sizeof buf));
    EXPECT_EQ(0, LoadStringA(lib, 11132, buf, sizeof buf));
}

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        base = BaseInterface{};
        base.InitBI(testenv::library(), caption);
        base.SetParentForMessage(nullptr);
    }
    char caption[32] = "Product Setup";
    BaseInterface base;
};

TEST_F(Messages, InitBIKeepsTheCallersPointers) {
    EXPECT_EQ(testenv::library(), base.resourceInstance);
    EXPECT_EQ(caption, base.messageCaption);
}

TEST_F(Messages, WithoutInsertThePercentSStaysVisible) {
    ui::Script ui;
    ui.messageBox(nullptr, "Product Setup", "Choose a folder for %s installation.", IDOK, MB_OK);
    EXPECT_EQ(IDOK, base.ShowMessage(11104, MB_OK, nullptr));
    EXPECT_TRUE(ui.finish());
}

// A box with an insert is also brought to the foreground; one without keeps
// exactly the caller's style (see WithoutInsertThePercentSStaysVisible).
TEST_F(Messages, InsertIsFormattedIntoTheText) {
    ui::Script ui;
    ui.messageBox(nullptr, "Product Setup", "Uninstalling existing version of Acme Writer.", IDOK,
                  MB_OK | MB_SETFOREGROUND);
    char product[] = "Acme Writer";
    EXPECT_EQ(IDOK, base.ShowMessage(11126, MB_OK, product));
    EXPECT_TRUE(ui.finish());
}

TEST_F(Messages, InsertOnATextWithoutPercentSLeavesItUnchanged) {
    ui::Script ui;
    ui.messageBox(nullptr, "Product Setup", "Setup is complete.", IDOK,
                  MB_ICONINFORMATION | MB_SETFOREGROUND);
    char unused[] = "ignored";
    EXPECT_EQ(IDOK, base.ShowMessage(11130, MB_ICONINFORMATION, unused));
    EXPECT_TRUE(ui.finish());
}

TEST_F(Messages, YesAndNoAreReturnedAsSixAndSeven) {
    const char* question =
        "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?";
    {
        ui::Script ui;
        ui.messageBox(nullptr, "Product Setup", question, IDYES, MB_YESNO | MB_ICONQUESTION);
        EXPECT_EQ(6, base.ShowMessage(11103, MB_YESNO | MB_ICONQUESTION));
        EXPECT_TRUE(ui.finish());
        ASSERT_EQ(1u, ui.matched().size());
        EXPECT_EQ((std::vector<int>{IDYES, IDNO}), ui.matched()[0].buttons);
    }
    {
        ui::Script ui;
        ui.messageBox(nullptr, "Product Setup", question, IDNO, MB_YESNO | MB_ICONQUESTION);
        EXPECT_EQ(7, base.ShowMessage(11103, MB_YESNO | MB_ICONQUESTION));
        EXPECT_TRUE(ui.finish());
    }
}

TEST_F(Messages, RetryCancelBoxOffersBothButtons) {
    ui::Script ui;
    ui.messageBox(nullptr, "Product Setup",
                  "Installation disk might be corrupted.\nInstallation aborted", IDRETRY, MB_RETRYCANCEL);
    EXPECT_EQ(IDRETRY, base.ShowMessage(11109, MB_RETRYCANCEL));
    EXPECT_TRUE(ui.finish());
    ASSERT_EQ(1u, ui.matched().size());
    EXPECT_EQ((std::vector<int>{IDRETRY, IDCANCEL}), ui.matched()[0].buttons);
}

TEST_F(Messages, AnInsertLongerThanTheTextBufferIsShownWhole) {
    std::string path = "C:\\" + std::string(300, 'x');
    ui::Script ui;
    ui.messageBox(nullptr, "Product Setup", "Uninstalling existing version of " + path + ".", IDOK,
                  MB_OK | MB_SETFOREGROUND);
    EXPECT_EQ(IDOK, base.ShowMessage(11126, MB_OK, &path[0]));
    EXPECT_TRUE(ui.finish());
}

// A plain top-level window of a given outer size, owned by the test thread.
HWND makeWindow(int width, int height) {
    return CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, width, height,
                           nullptr, nullptr, nullptr, nullptr);
}

TEST_F(Messages, MessageBoxIsOwnedByTheMessageParent) {
    HWND owner = makeWindow(200, 100);
    ASSERT_NE(nullptr, owner);
    base.SetParentForMessage(owner);
    EXPECT_EQ(owner, base.GetParentForMessage());
    ui::Script ui;
    ui.messageBox(owner, "Product Setup", "Wrong version sources!", IDOK, MB_ICONSTOP);
    EXPECT_EQ(IDOK, base.ShowMessage(11122, MB_ICONSTOP));
    EXPECT_TRUE(ui.finish());
    DestroyWindow(owner);
}

TEST_F(Messages, CenterDialogPlacesTheWindowInTheScreenCentre) {
    HWND dialog = makeWindow(300, 200);
    ASSERT_NE(nullptr, dialog);
    RECT screen;
    GetClientRect(GetDesktopWindow(), &screen);
    EXPECT_NE(0, base.CenterDialog(dialog));
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_EQ((screen.right - 300) / 2, r.left);
    EXPECT_EQ((screen.bottom - 200) / 2, r.top);
    EXPECT_EQ(300, r.right - r.left);
    EXPECT_EQ(200, r.bottom - r.top);
    EXPECT_EQ(dialog, base.GetParentForMessage());
    DestroyWindow(dialog);
}

TEST_F(Messages, CenterDialogTruncatesTowardZeroForAWindowWiderThanTheScreen) {
    RECT screen;
    GetClientRect(GetDesktopWindow(), &screen);
    HWND dialog = makeWindow(screen.right + 3, 100);
    ASSERT_NE(nullptr, dialog);
    base.CenterDialog(dialog);
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_EQ(-1, r.left);
    DestroyWindow(dialog);
}

// ---------------------------------------------------------------------------
// The message hook: what it is given, what its answer does, and that it
// serves several threads at once.

struct HookCall {
    BaseInterface* asker;
    int stringId;
    std::string text;
    unsigned long style;
    DWORD thread;
};

std::vector<HookCall> g_hookCalls;
CRITICAL_SECTION g_hookLock;
int g_hookAnswer = 0;

int CALLBACK recordingHook(BaseInterface* asker, int stringId, const char* text, unsigned long style) {
    EnterCriticalSection(&g_hookLock);
    g_hookCalls.push_back({asker, stringId, text, style, GetCurrentThreadId()});
    LeaveCriticalSection(&g_hookLock);
    return g_hookAnswer;
}

int CALLBACK otherHook(BaseInterface*, int, const char*, unsigned long) { return IDABORT; }

class MessageHooks : public Messages {
protected:
    void SetUp() override {
        Messages::SetUp();
        InitializeCriticalSection(&g_hookLock);
        g_hookCalls.clear();
        g_hookAnswer = 0;
        EXPECT_EQ(nullptr, SetMessageHook(recordingHook));
    }
    void TearDown() override {
        EXPECT_EQ(reinterpret_cast<MessageHook>(recordingHook), SetMessageHook(nullptr));
        DeleteCriticalSection(&g_hookLock);
    }
};

TEST_F(MessageHooks, AnAnswerTakesThePlaceOfTheBoxAndIsReturned) {
    g_hookAnswer = IDNO;
    ui::Script ui;  // expects nothing: a box would be dismissed and fail the test
    char product[] = "Acme Writer";
    EXPECT_EQ(IDNO, base.ShowMessage(11125, MB_YESNO | MB_ICONQUESTION, product));
    EXPECT_TRUE(ui.finish());
    ASSERT_EQ(1u, g_hookCalls.size());
    EXPECT_EQ(&base, g_hookCalls[0].asker);
    EXPECT_EQ(11125, g_hookCalls[0].stringId);
    // The text as it would be shown, the insert formatted in, with the
    // style the box would get.
    EXPECT_EQ("Acme Writer already exists on your computer. It is recommended to uninstall existing version "
              "before continuing setup.\nDo you wish to do so ?",
              g_hookCalls[0].text);
    EXPECT_EQ(static_cast<unsigned long>(MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND), g_hookCalls[0].style);
}

TEST_F(MessageHooks, ZeroLetsTheBoxOpenAsUsual) {
    ui::Script ui;
    ui.messageBox(nullptr, "Product Setup", "Wrong version sources!", IDOK, MB_ICONSTOP);
    EXPECT_EQ(IDOK, base.ShowMessage(11122, MB_ICONSTOP));
    EXPECT_TRUE(ui.finish());
    ASSERT_EQ(1u, g_hookCalls.size());
    EXPECT_EQ("Wrong version sources!", g_hookCalls[0].text);
    EXPECT_EQ(static_cast<unsigned long>(MB_ICONSTOP), g_hookCalls[0].style);
}

TEST_F(MessageHooks, SettingReturnsTheHookItReplaces) {
    EXPECT_EQ(reinterpret_cast<MessageHook>(recordingHook), SetMessageHook(otherHook));
    EXPECT_EQ(IDABORT, base.ShowMessage(11122, MB_ABORTRETRYIGNORE));
    EXPECT_EQ(reinterpret_cast<MessageHook>(otherHook), SetMessageHook(recordingHook));
    EXPECT_TRUE(g_hookCalls.empty());
}

TEST_F(MessageHooks, TheFolderBrowserIsOfferedAndAnAnswerCancelsIt) {
    g_hookAnswer = IDOK;  // any answer: the hook cannot choose a folder
    ui::Script ui;
    char folder[PathSize] = "C:\\windows";
    char title[] = "Select the folder containing Data2.Dat.";
    EXPECT_EQ(BrowseCancelled, base.BrowseForProgram(folder, title, 0));
    EXPECT_TRUE(ui.finish());
    EXPECT_STREQ("", folder);
    ASSERT_EQ(1u, g_hookCalls.size());
    EXPECT_EQ(static_cast<int>(MessageHookBrowser), g_hookCalls[0].stringId);
    EXPECT_EQ(title, g_hookCalls[0].text);
    EXPECT_EQ(static_cast<unsigned long>(MB_OKCANCEL), g_hookCalls[0].style);
}

const int kHookThreads = 4, kHookCalls = 200;

struct HookWork {
    BaseInterface* base;
    LONG wrong = 0;
};

DWORD WINAPI askRepeatedly(LPVOID param) {
    auto* work = static_cast<HookWork*>(param);
    char insert[] = "x";
    for (int i = 0; i < kHookCalls; ++i)
        if (work->base->ShowMessage(11118, MB_RETRYCANCEL, insert) != IDRETRY)
            InterlockedIncrement(&work->wrong);
    return 0;
}

// The installation run's worker asks while the constructing thread does:
// every call reaches the hook on its own thread, none is lost.
TEST_F(MessageHooks, CallsFromSeveralThreadsAtOnceAllArrive) {
    g_hookAnswer = IDRETRY;
    HookWork work{&base};
    HANDLE threads[kHookThreads];
    for (HANDLE& t : threads)
        t = CreateThread(nullptr, 0, askRepeatedly, &work, 0, nullptr);
    WaitForMultipleObjects(kHookThreads, threads, TRUE, 30000);
    std::vector<DWORD> ids;
    for (HANDLE t : threads) {
        ids.push_back(GetThreadId(t));
        CloseHandle(t);
    }
    EXPECT_EQ(0, work.wrong);
    ASSERT_EQ(static_cast<size_t>(kHookThreads * kHookCalls), g_hookCalls.size());
    for (DWORD id : ids)
        EXPECT_EQ(kHookCalls, std::count_if(g_hookCalls.begin(), g_hookCalls.end(),
                                       [id](const HookCall& c) { return c.thread == id; }));
}

}  // namespace
