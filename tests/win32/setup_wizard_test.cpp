// The wizard under Wine: a product's three pages (templates and pictures in
// data/wizard_pages.rc) run as real modal dialogs over the background
// window and are driven as a user would, with clicks on their buttons. The
// product's page procedures here record what they see and reply as each
// test asks. Covered: navigation (Back, Next, ChangeNextDlg, replies), the
// messages the product's procedure sees, Cancel and its question, Browse
// into the target folder, Readme, the page picture on the screen, and the
// queue's memory.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "UiAuto.h"
#include "resource.h"

namespace {

const char kExitText[] =
    "Setup has not finished yet, application may not work properly.\nAre you sure you want to exit ?";
const long kQuestion = MB_YESNO | MB_ICONQUESTION;
const int kTwinFolderControl = 11110;  // same size as PageFolder, for measuring
const int kPageDialogs[] = {201, 202, 203};

char g_title[] = "Wizard Test Setup";
char g_product[] = "Test Product";
char g_exe[] = "Product.exe";

HMODULE library() { return GetModuleHandleA("Setup.Dll"); }

// Waits (bounded) for `condition`; whether it came true.
bool waitFor(const std::function<bool()>& condition, DWORD ms = 5000) {
    for (DWORD waited = 0; waited < ms; waited += 20) {
        if (condition())
            return true;
        Sleep(20);
    }
    return condition();
}

// Clicks a page's button as the mouse would: the button itself notifies
// the page.
void click(HWND page, int id) { PostMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0); }

std::string controlText(HWND page, int id) {
    char text[PathSize * 2] = {};
    GetDlgItemTextA(page, id, text, sizeof text);
    return text;
}

// ---------------------------------------------------------------------------
// The product's page procedures: each records every message it sees, then
// replies what the running test asks (by default "not handled"). They run on
// the test's main thread.

struct Seen {
    int procedure;  // 1-based page whose procedure was called
    HWND window;
    UINT message;
    int focusId;    // control id of the keyboard focus at the call
    int namedId;    // WM_INITDIALOG: control id of the window its wParam names
};
std::vector<Seen> g_seen;
std::function<int(int, HWND, UINT, WPARAM, LPARAM)> g_reply;

// Pictures asked for (the library draws them after the product's reply).
std::atomic<int> g_pictureRequests{0};

int respond(int procedure, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back({procedure, page, message, GetDlgCtrlID(GetFocus()),
                      message == WM_INITDIALOG ? GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) : 0});
    if (message == WM_DRAWITEM && wParam == PagePicture)
        ++g_pictureRequests;
    return g_reply ? g_reply(procedure, page, message, wParam, lParam) : PageReplyNotHandled;
}
int page1(HWND w, UINT m, WPARAM wp, LPARAM lp) { return respond(1, w, m, wp, lp); }
int page2(HWND w, UINT m, WPARAM wp, LPARAM lp) { return respond(2, w, m, wp, lp); }
int page3(HWND w, UINT m, WPARAM wp, LPARAM lp) { return respond(3, w, m, wp, lp); }

// The tests' probe: WM_COMPAREITEM, one of the few messages whose result is
// what the dialog procedure returns (TRUE 1, FALSE 0: the default answer).
// The product's procedure replies g_probeReply to it.
std::atomic<int> g_probeReply{PageReplyNotHandled};
const int kProbeControl = 9999;

LRESULT probe(HWND page, int reply) {
    g_probeReply = reply;
    COMPAREITEMSTRUCT items = {};
    items.CtlType = ODT_LISTBOX;
    items.CtlID = kProbeControl;
    DWORD_PTR result = 0xDEAD;
    SendMessageTimeoutA(page, WM_COMPAREITEM, kProbeControl, reinterpret_cast<LPARAM>(&items), SMTO_NORMAL, 5000,
                        &result);
    return static_cast<LRESULT>(result);
}

// ---------------------------------------------------------------------------
// System calls of Setup.Dll that the tests stand in for.

std::mutex g_callLock;
std::vector<std::string> g_winExecLines;
std::vector<UINT> g_winExecShows;
UINT WINAPI recordWinExec(LPCSTR line, UINT show) {
    std::lock_guard<std::mutex> guard(g_callLock);
    g_winExecLines.push_back(line);
    g_winExecShows.push_back(show);
    return 33;  // "started"
}
size_t winExecCalls() {
    std::lock_guard<std::mutex> guard(g_callLock);
    return g_winExecLines.size();
}

using GetDeviceCapsFunction = int(WINAPI*)(HDC, int);
GetDeviceCapsFunction g_realGetDeviceCaps = nullptr;
int g_reportedColours = 0;
int WINAPI paletteDisplayCaps(HDC dc, int index) {
    return index == NUMCOLORS ? g_reportedColours : g_realGetDeviceCaps(dc, index);
}

using LoadImageFunction = HANDLE(WINAPI*)(HINSTANCE, LPCSTR, UINT, int, int, UINT);
LoadImageFunction g_realLoadImage = nullptr;
std::set<uintptr_t> g_missingImages;
std::vector<uintptr_t> g_loadedImages;
HANDLE WINAPI someImagesMissing(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    g_loadedImages.push_back(reinterpret_cast<uintptr_t>(name));
    if (g_missingImages.count(reinterpret_cast<uintptr_t>(name)))
        return nullptr;
    return g_realLoadImage(instance, name, type, cx, cy, flags);
}

using MallocFunction = void*(__cdecl*)(size_t);
using FreeFunction = void(__cdecl*)(void*);
MallocFunction g_realMalloc = nullptr;
FreeFunction g_realFree = nullptr;
// Set: the next allocation fails (once: the failure is then reported with
// an exception, which needs memory of its own).
bool g_failMalloc = false;
std::vector<void*> g_freed;
void* __cdecl maybeMalloc(size_t size) {
    if (!g_failMalloc)
        return g_realMalloc(size);
    g_failMalloc = false;
    return nullptr;
}
void __cdecl recordFree(void* p) {
    g_freed.push_back(p);
    g_realFree(p);
}

// Points Setup.Dll's import of dll!function at `replacement` while it lives.
template <class Function>
class ImportSwap {
public:
    ImportSwap(const char* dll, const char* function, Function replacement, Function* real)
        : dll_(dll), function_(function) {
        real_ = reinterpret_cast<Function>(const_cast<void*>(
            ui::replaceImport(library(), dll, function, reinterpret_cast<const void*>(replacement))));
        if (real)
            *real = real_;
    }
    ~ImportSwap() {
        if (real_)
            ui::replaceImport(library(), dll_, function_, reinterpret_cast<const void*>(real_));
    }
    bool active() const { return real_ != nullptr; }

private:
    const char* dll_;
    const char* function_;
    Function real_;
};

// The C runtime Setup.Dll allocates from.
const char* runtimeDll() {
    for (const char* dll : {"msvcrt.dll", "ucrtbase.dll", "api-ms-win-crt-heap-l1-1-0.dll"}) {
        const void* found = ui::replaceImport(library(), dll, "free", nullptr);
        if (found) {
            ui::replaceImport(library(), dll, "free", found);
            return dll;
        }
    }
    return "msvcrt.dll";
}

// The colours of a page picture of this program, from its own colour table.
std::vector<COLORREF> pictureColours(int id, SIZE* size = nullptr) {
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    std::vector<COLORREF> colours;
    if (!bitmap)
        return colours;
    DIBSECTION section = {};
    GetObjectA(bitmap, sizeof section, &section);
    if (size)
        *size = {section.dsBm.bmWidth, section.dsBm.bmHeight};
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RGBQUAD table[256];
    UINT n = GetDIBColorTable(memory, 0, 256, table);
    for (UINT i = 0; i < n; ++i)
        colours.push_back(RGB(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue));
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    return colours;
}

COLORREF screenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

// What control PagePicture shows: its left and right halves as the
// picture draws them, and the page just right of the picture.
struct PictureOnScreen {
    COLORREF left = CLR_INVALID, right = CLR_INVALID, beside = CLR_INVALID;
};

PictureOnScreen readPicture(HWND page, SIZE picture) {
    HWND control = GetDlgItem(page, PagePicture);
    POINT origin = {0, 0};
    ClientToScreen(control, &origin);
    PictureOnScreen seen;
    seen.left = screenPixel(origin.x + 1, origin.y + picture.cy / 2);
    seen.right = screenPixel(origin.x + picture.cx - 2, origin.y + picture.cy - 1);
    seen.beside = screenPixel(origin.x + picture.cx + 1, origin.y + 1);
    return seen;
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::pumpMessages();
        g_seen.clear();
        g_reply = nullptr;
        setup.reset(new ::Setup(GetModuleHandleA(nullptr), g_title, g_product, g_exe));
        ASSERT_EQ(1, setup->MainWindowExist());
        ASSERT_EQ(1, setup->InitDialogs(3, kPageDialogs[0], page1, kPageDialogs[1], page2, kPageDialogs[2],
                                        page3));
    }
    void TearDown() override {
        g_reply = nullptr;
        setup->DestroyDialogs();
        setup.reset();
        testenv::pumpMessages();
    }
    // Expects page `n` and hands it to `act` (on the script's thread).
    static void expectPage(ui::Script& ui, int n, std::function<void(HWND)> act) {
        ui.dialog("Wizard Page " + std::to_string(n), std::move(act));
    }
    static void expectPageAndClick(ui::Script& ui, int n, int button) {
        expectPage(ui, n, [button](HWND page) { click(page, button); });
    }
    // The windows of the pages shown, in order.
    static std::vector<HWND> pagesShown(const ui::Script& ui) {
        std::vector<HWND> pages;
        for (const ui::WindowInfo& w : ui.matched())
            if (w.caption.rfind("Wizard Page", 0) == 0)
                pages.push_back(w.hwnd);
        return pages;
    }
    std::unique_ptr<::Setup> setup;
};

// ---------------------------------------------------------------------------
// The queue.

TEST_F(WizardTest, QueueHoldsThePairsInOrder) {
    ASSERT_NE(nullptr, setup->pageQueue);
    ASSERT_EQ(3, setup->pageCount);
    PageProcedure procedures[] = {page1, page2, page3};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(kPageDialogs[i], setup->pageQueue[i].dialogId) << i;
        EXPECT_EQ(procedures[i], setup->pageQueue[i].handler) << i;
    }
    // Registering leaves currentPage alone; ChangeNextDlg sets it unchecked.
    setup->ChangeNextDlg(-5);
    ASSERT_EQ(1, setup->InitDialogs(1, 7, page3));
    EXPECT_EQ(-5, setup->currentPage);
    EXPECT_EQ(1, setup->pageCount);
    EXPECT_EQ(7, setup->pageQueue[0].dialogId);
    EXPECT_EQ(page3, setup->pageQueue[0].handler);

    setup->DestroyDialogs();
    EXPECT_EQ(nullptr, setup->pageQueue);
    EXPECT_EQ(0, setup->pageCount);
    EXPECT_EQ(0, setup->currentPage);
    // No queue: nothing is shown and the result is 0.
    ui::Script ui(3000);
    EXPECT_EQ(0, setup->GetDialogsQueue());
    EXPECT_EQ(1, setup->currentPage);
    EXPECT_TRUE(ui.finish());
}

TEST_F(WizardTest, QueueMemoryIsFreedWhenReplacedAndFailureLeavesNoQueue) {
    const char* runtime = runtimeDll();
    ImportSwap<FreeFunction> freeSwap(runtime, "free", recordFree, &g_realFree);
    ImportSwap<MallocFunction> mallocSwap(runtime, "malloc", maybeMalloc, &g_realMalloc);
    ASSERT_TRUE(freeSwap.active() && mallocSwap.active()) << runtime;
    g_freed.clear();

    PageEntry* first = setup->pageQueue;
    ASSERT_EQ(1, setup->InitDialogs(2, 202, page2, 201, page1));
    EXPECT_EQ(std::vector<void*>{first}, g_freed);
    PageEntry* second = setup->pageQueue;
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(202, second[0].dialogId);
    EXPECT_EQ(201, second[1].dialogId);

    // No memory: the old queue is released all the same, none is left.
    g_freed.clear();
    g_failMalloc = true;
    EXPECT_EQ(0, setup->InitDialogs(2, 201, page1, 202, page2));
    EXPECT_FALSE(g_failMalloc);  // the allocation that failed was the queue's
    g_failMalloc = false;
    EXPECT_EQ(nullptr, setup->pageQueue);
    EXPECT_EQ(0, setup->pageCount);
    EXPECT_NE(g_freed.end(), std::find(g_freed.begin(), g_freed.end(), static_cast<void*>(second)));
    {
        ui::Script ui(3000);
        EXPECT_EQ(0, setup->GetDialogsQueue());
        EXPECT_TRUE(ui.finish());
    }
    // A count whose queue cannot even be sized fails the same way.
    EXPECT_EQ(0, setup->InitDialogs(0xFFFFFFFFu, 201, page1));
    EXPECT_EQ(nullptr, setup->pageQueue);

    // A queue the product never destroys goes with the object.
    ASSERT_EQ(1, setup->InitDialogs(1, 201, page1));
    PageEntry* last = setup->pageQueue;
    g_freed.clear();
    setup.reset();
    EXPECT_NE(g_freed.end(), std::find(g_freed.begin(), g_freed.end(), static_cast<void*>(last)));
    setup.reset(new ::Setup(GetModuleHandleA(nullptr), g_title, g_product, g_exe));
}

TEST_F(WizardTest, EmptyQueueAndPageThatCannotBeShownReturnZero) {
    ui::Script ui(3000);
    ASSERT_EQ(1, setup->InitDialogs(0, 0));
    EXPECT_NE(nullptr, setup->pageQueue);
    EXPECT_EQ(0, setup->GetDialogsQueue());
    // No template 999 in this program.
    ASSERT_EQ(1, setup->InitDialogs(1, 999, page1));
    EXPECT_EQ(0, setup->GetDialogsQueue());
    EXPECT_TRUE(ui.finish());
    EXPECT_TRUE(g_seen.empty());
}

// ---------------------------------------------------------------------------
// Navigation.

TEST_F(WizardTest, BackOnPageOneEndsTheWizardWithOne) {
    ui::Script ui;
    expectPageAndClick(ui, 1, PageBack);
    EXPECT_EQ(1, setup->GetDialogsQueue());
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(0, setup->currentPage);
}

TEST_F(WizardTest, NextOnTheLastPageEndsTheWizardWithZero) {
    ui::Script ui;
    expectPageAndClick(ui, 1, PageNext);
    expectPageAndClick(ui, 2, PageBack);
    expectPageAndClick(ui, 1, PageNext);
    expectPageAndClick(ui, 2, PageNext);
    expectPageAndClick(ui, 3, PageNext);
    EXPECT_EQ(0, setup->GetDialogsQueue());
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(4, setup->currentPage);
    EXPECT_EQ(5u, pagesShown(ui).size());
}

TEST_F(WizardTest, CloseAndEndCommandsEndTheWizard) {
    for (int command : {PageClose, PageEnd}) {
        ui::Script ui;
        expectPageAndClick(ui, 1, PageNext);
        expectPageAndClick(ui, 2, command);
        EXPECT_EQ(1, setup->GetDialogsQueue()) << command;
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, setup->currentPage);
    }
}

TEST_F(WizardTest, PagesAreCentredOwnedByTheBackgroundAndOwnTheMessages) {
    RECT box = {};
    HWND owner = nullptr, messageOwner = nullptr;
    ui::Script ui;
    expectPage(ui, 1, [&](HWND page) {
        GetWindowRect(page, &box);
        owner = GetWindow(page, GW_OWNER);
        messageOwner = setup->GetParentForMessage();
        click(page, PageClose);
    });
    EXPECT_EQ(1, setup->GetDialogsQueue());
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(setup->backgroundWindow, owner);
    EXPECT_EQ(ui.matched()[0].hwnd, messageOwner);
    RECT screen;
    GetClientRect(GetDesktopWindow(), &screen);
    EXPECT_EQ((screen.right - (box.right - box.left)) / 2, box.left);
    EXPECT_EQ((screen.bottom - (box.bottom - box.top)) / 2, box.top);
}

TEST_F(WizardTest, ChangeNextDlgThenReplyOneJumps) {
    // Page 1's Next jumps to page 3; page 3's Next ends the wizard through page 0.
    g_reply = [this](int procedure, HWND, UINT message, WPARAM wParam, LPARAM) {
        if (message != WM_COMMAND || LOWORD(wParam) != PageNext)
            return static_cast<int>(PageReplyNotHandled);
        setup->ChangeNextDlg(procedure == 1 ? 3 : 0);
        return static_cast<int>(PageReplyGoToPage);
    };
    {
        ui::Script ui;
        expectPageAndClick(ui, 1, PageNext);
        expectPageAndClick(ui, 3, PageNext);
        EXPECT_EQ(1, setup->GetDialogsQueue());
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(2u, pagesShown(ui).size());
        EXPECT_EQ(0, setup->currentPage);
    }
    // A page beyond the queue ends the page with 0 as well.
    g_reply = [this](int, HWND, UINT message, WPARAM wParam, LPARAM) {
        if (message != WM_COMMAND || LOWORD(wParam) != PageNext)
            return static_cast<int>(PageReplyNotHandled);
        setup->ChangeNextDlg(4);
        return static_cast<int>(PageReplyGoToPage);
    };
    {
        ui::Script ui;
        expectPageAndClick(ui, 1, PageNext);
        EXPECT_EQ(1, setup->GetDialogsQueue());
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(0, setup->currentPage);
    }
}

// Each reply as the page's procedure returns it to the dialog manager, and
// whether the page stays.
TEST_F(WizardTest, RepliesSteerThePage) {
    g_reply = [](int, HWND, UINT message, WPARAM, LPARAM) {
        return message == WM_COMPAREITEM ? g_probeReply.load() : static_cast<int>(PageReplyNotHandled);
    };
    for (int ending : {5, -1, 0}) {
        LRESULT handled = 0, handledFalse = 0, notHandled = 0, last = 0;
        bool stayed = false, ended = false;
        ui::Script ui;
        expectPage(ui, 1, [&](HWND page) {
            handled = probe(page, PageReplyHandled);
            handledFalse = probe(page, PageReplyHandledFalse);
            notHandled = probe(page, PageReplyNotHandled);
            stayed = IsWindow(page) && IsWindowVisible(page);
            last = probe(page, ending);
            ended = waitFor([&] { return !IsWindow(page); });
        });
        EXPECT_EQ(1, setup->GetDialogsQueue()) << ending;
        EXPECT_TRUE(ui.finish());
        EXPECT_EQ(TRUE, handled);
        EXPECT_EQ(0, handledFalse);
        EXPECT_EQ(0, notHandled);
        EXPECT_TRUE(stayed);
        EXPECT_TRUE(ended) << ending;
        // 0 ends the wizard as handled; 5 and -1 as an error (FALSE).
        EXPECT_EQ(ending == 0 ? TRUE : FALSE, last) << ending;
        EXPECT_EQ(0, setup->currentPage);
    }
}

TEST_F(WizardTest, ProductSeesItsPagesOnlyFromInitDialog) {
    ui::Script ui;
    expectPageAndClick(ui, 1, PageNext);
    expectPageAndClick(ui, 2, PageNext);
    expectPageAndClick(ui, 3, PageBack);
    expectPageAndClick(ui, 2, PageBack);
    expectPageAndClick(ui, 1, PageBack);
    EXPECT_EQ(1, setup->GetDialogsQueue());
    ASSERT_TRUE(ui.finish());
    std::vector<HWND> pages = pagesShown(ui);
    ASSERT_EQ(5u, pages.size());
    int procedures[] = {1, 2, 3, 2, 1};
    for (size_t i = 0; i < pages.size(); ++i) {
        // The first message of each page that reaches the product is
        // WM_INITDIALOG, to the page's own procedure, with the focus already
        // on the control it names.
        auto first = std::find_if(g_seen.begin(), g_seen.end(), [&](const Seen& s) { return s.window == pages[i]; });
        ASSERT_NE(g_seen.end(), first) << i;
        EXPECT_EQ(static_cast<UINT>(WM_INITDIALOG), first->message) << i;
        EXPECT_EQ(procedures[i], first->procedure) << i;
        EXPECT_EQ(300, first->namedId) << i;
        EXPECT_EQ(300, first->focusId) << i;
    }
    // The font comes before WM_INITDIALOG: never seen by the product.
    for (const Seen& s : g_seen)
        EXPECT_NE(static_cast<UINT>(WM_SETFONT), s.message);
    // A page closed by Next or Back is destroyed while the next page is
    // current: its procedure sees the closing page go.
    auto destroyed = [&](HWND page) {
        auto it = std::find_if(g_seen.begin(), g_seen.end(),
                               [&](const Seen& s) { return s.window == page && s.message == WM_DESTROY; });
        return it == g_seen.end() ? 0 : it->procedure;
    };
    EXPECT_EQ(2, destroyed(pages[0]));
    EXPECT_EQ(3, destroyed(pages[1]));
    EXPECT_EQ(2, destroyed(pages[2]));
    EXPECT_EQ(1, destroyed(pages[3]));
    // Back on page 1 ends the wizard, and page 1's own procedure sees its
    // page go.
    EXPECT_EQ(1, destroyed(pages[4]));
    EXPECT_EQ(1, setup->pageActive);
}

// ---------------------------------------------------------------------------
// Cancel.

TEST_F(WizardTest, CancelAnsweredNoKeepsThePageAndYesEndsTheInstallation) {
    HWND page = nullptr;
    bool stayed = false;
    int guardDuring = -1, guardAfterNo = -1;
    ui::Script ui;
    expectPageAndClick(ui, 1, PageNext);
    expectPage(ui, 2, [&](HWND p) {
        page = p;
        click(p, PageCancel);
    });
    ui.window("the exit question, answered No",
              [&](const ui::WindowInfo& w) { return w.owner == page && w.text == kExitText && w.style == kQuestion; },
              [&](HWND box) {
                  guardDuring = setup->exitQuestionGuard;
                  ui::press(box, IDNO);
                  waitFor([&] { return setup->exitQuestionGuard == 0; });
                  guardAfterNo = setup->exitQuestionGuard;
                  stayed = IsWindow(page) && IsWindowVisible(page);
                  // With the guard left set, Cancel would ask nothing and
                  // the page would stay for good: Close ends it instead.
                  click(page, guardAfterNo == 0 ? PageCancel : PageClose);
              });
    ui.messageBox(ui::AnyOwner, g_title, kExitText, IDYES, kQuestion);
    EXPECT_EQ(1, setup->GetDialogsQueue());
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(1, guardDuring);
    EXPECT_EQ(0, guardAfterNo);
    EXPECT_TRUE(stayed);
    // Yes: the guard stays set, the product learns the installation ended,
    // and the background window closes once its command comes.
    EXPECT_EQ(1, setup->exitQuestionGuard);
    EXPECT_EQ(0, setup->MainWindowExist());
    EXPECT_EQ(0, setup->currentPage);
    testenv::pumpMessages();
    EXPECT_FALSE(IsWindow(setup->backgroundWindow));
}


// While another exit question is open (or after one was confirmed) the
// guard is set: the page's Cancel asks nothing.
TEST_F(WizardTest, CancelAsksNothingWhileTheGuardIsSet) {
    setup->exitQuestionGuard = 1;
    ui::Script ui(3000);
    expectPage(ui, 1, [](HWND page) {
        click(page, PageCancel);
        click(page, PageClose);
    });
    EXPECT_EQ(1, setup->GetDialogsQueue());
    EXPECT_TRUE(ui.finish());
    EXPECT_EQ(1u, ui.matched().size());
    EXPECT_EQ(1, setup->exitQuestionGuard);
    EXPECT_EQ(1, setup->MainWindowExist());
    setup->exitQuestionGuard = 0;
}

// The background window closed under an open page (the exit button or F3
// confirmed) takes the page with it and ends the wizard.
TEST_F(WizardTest, BackgroundClosedUnderAPageEndsTheWizard) {
    ui::Script ui;
    expectPage(ui, 1, [this](HWND) { PostMessageA(setup->backgroundWindow, WM_COMMAND, IDM_CLOSE_BACKGROUND, 0); });
    setup->GetDialogsQueue();
    EXPECT_TRUE(ui.finish());
    EXPECT_FALSE(IsWindow(ui.matched()[0].hwnd));
    EXPECT_EQ(0, setup->MainWindowExist());
    EXPECT_TRUE(setup->currentPage < 1 || setup->currentPage > setup->pageCount) << setup->currentPage;
}

// ---------------------------------------------------------------------------
// Browse.

// The shell's folder browser, the one with the library's path field.
ui::Script& browser(ui::Script& ui, std::function<void(HWND)> act) {
    return ui.window(
        "folder browser with the path field",
        [](const ui::WindowInfo& w) { return w.className == "#32770" && GetDlgItem(w.hwnd, IDC_BROWSE_PATH); },
        std::move(act));
}

// Types `path` into the browser's field once the tree has settled, and
// presses OK.
void typeAndOk(HWND dialog, const std::string& path) {
    waitFor([&] { return !controlText(dialog, IDC_BROWSE_PATH).empty(); });
    ui::type(dialog, IDC_BROWSE_PATH, path);
    ui::press(dialog, IDOK);
}

TEST_F(WizardTest, BrowseChoosesTheTargetFolderAndShowsItShortened) {
    std::string dir = testenv::scratchDir();
    std::string chosen = dir + "\\A rather long folder name\\that the page shows shortened\\Product";
    ASSERT_EQ(1, setup->DirCreation(chosen.c_str()));
    char target[PathSize];
    strcpy(target, (dir + "\\Old").c_str());
    setup->SetInstallDirectory(target);

    HWND page = nullptr;
    int idleDuring = -1;
    std::string title, shown, twin, field;
    ui::Script ui(60000);  // the shell's browser may take long to appear under load
    expectPage(ui, 1, [&](HWND p) {
        page = p;
        click(p, PageBrowse);
    });
    browser(ui, [&](HWND dialog) {
        idleDuring = setup->browseIdle;
        title = ui::describe(dialog).text;
        waitFor([&] { return !controlText(dialog, IDC_BROWSE_PATH).empty(); });
        field = controlText(dialog, IDC_BROWSE_PATH);
        typeAndOk(dialog, chosen);
        // Back on the page once the browser has gone and the folder is shown.
        waitFor([&] { return !IsWindow(dialog) && setup->browseIdle == 1; });
        shown = controlText(page, PageFolder);
        std::vector<char> text(chosen.begin(), chosen.end());
        text.push_back('\0');
        setup->SetShortWindowText(GetDlgItem(page, kTwinFolderControl), text.data());
        twin = controlText(page, kTwinFolderControl);
        click(page, PageClose);
    });
    EXPECT_EQ(1, setup->GetDialogsQueue());
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(0, idleDuring);
    EXPECT_EQ(1, setup->browseIdle);
    EXPECT_NE(std::string::npos, title.find("Choose a folder for Test Product installation.")) << title;
    // The browser started from the target directory (still to be created:
    // it stays in the field).
    EXPECT_EQ(dir + "\\Old", field);
    EXPECT_EQ(chosen, target);
    // Shown as SetShortWindowText shows it in a control of that size.
    EXPECT_EQ(twin, shown);
    EXPECT_NE(chosen, shown);
    EXPECT_NE(std::string::npos, shown.find("...")) << shown;
    // The page owns the message boxes again.
    EXPECT_EQ(page, setup->GetParentForMessage());
}

TEST_F(WizardTest, BrowseCancelledLeavesTheTargetFolder) {
    std::string dir = testenv::scratchDir();
    char target[PathSize];
    strcpy(target, dir.c_str());
    setup->SetInstallDirectory(target);
    std::string shown = "unread";
    ui::Script ui(60000);  // as above
    HWND page = nullptr;
    expectPage(ui, 1, [&](HWND p) {
        page = p;
        click(p, PageBrowse);
    });
    browser(ui, [&](HWND dialog) {
        ui::press(dialog, IDCANCEL);
        waitFor([&] { return !IsWindow(dialog) && setup->browseIdle == 1; });
        shown = controlText(page, PageFolder);
        click(page, PageNext);
    });
    expectPageAndClick(ui, 2, PageClose);
    EXPECT_EQ(1, setup->GetDialogsQueue());
    ASSERT_TRUE(ui.finish());
    EXPECT_EQ(dir, target);
    EXPECT_EQ("", shown);
    EXPECT_EQ(1, setup->browseIdle);
}

// ---------------------------------------------------------------------------
// Readme.

class ReadmeTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        home = testenv::currentDir();
        {
            std::lock_guard<std::mutex> guard(g_callLock);
            g_winExecLines.clear();
            g_winExecShows.clear();
        }
        swap.reset(new ImportSwap<decltype(&recordWinExec)>("kernel32.dll", "WinExec", recordWinExec, nullptr));
        ASSERT_TRUE(swap->active());
    }
    void TearDown() override {
        swap.reset();
        SetCurrentDirectoryA(home.c_str());
        WizardTest::TearDown();
    }
    // Presses Readme on page 1, then Close once it has been handled; the
    // command lines WinExec was given.
    std::vector<std::string> pressReadme(bool expectStart) {
        ui::Script ui;
        expectPage(ui, 1, [&](HWND page) {
            click(page, PageReadme);
            if (expectStart)
                waitFor([] { return winExecCalls() > 0; });
            // Messages are handled in order: Readme has been, when Close is.
            click(page, PageClose);
        });
        EXPECT_EQ(1, setup->GetDialogsQueue());
        EXPECT_TRUE(ui.finish());
        std::lock_guard<std::mutex> guard(g_callLock);
        return g_winExecLines;
    }
    std::string home;
    std::unique_ptr<ImportSwap<decltype(&recordWinExec)>> swap;
};

TEST_F(ReadmeTest, ReadmeInTheCurrentDirectoryOpensInTheEditor) {
    std::string dir = testenv::scratchDir();
    ASSERT_TRUE(testenv::writeFile(dir + "\\Readme.txt", std::string("Read me.\r\n")));
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    EXPECT_EQ(std::vector<std::string>{"NotePad.Exe " + dir + "\\Readme.txt"}, pressReadme(true));
    std::lock_guard<std::mutex> guard(g_callLock);
    EXPECT_EQ(std::vector<UINT>{SW_SHOWMAXIMIZED}, g_winExecShows);
}

TEST_F(ReadmeTest, DriveRootGetsNoSecondBackslash) {
    ASSERT_TRUE(testenv::writeFile("C:\\Readme.txt", std::string("Root.\r\n")));
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(std::vector<std::string>{"NotePad.Exe C:\\Readme.txt"}, pressReadme(true));
    DeleteFileA("C:\\Readme.txt");
}

TEST_F(ReadmeTest, MissingOrLockedReadmeStartsNothing) {
    std::string dir = testenv::scratchDir();
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    EXPECT_TRUE(pressReadme(false).empty());
    // Held open by another program that shares nothing: it cannot be read.
    ASSERT_TRUE(testenv::writeFile(dir + "\\Readme.txt", std::string("Locked.\r\n")));
    HANDLE locked = CreateFileA((dir + "\\Readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_TRUE(pressReadme(false).empty());
    CloseHandle(locked);
}

// ---------------------------------------------------------------------------
// The page picture, read back from the screen.

class PictureTest : public WizardTest {
protected:
    // Shows page 1 until its picture shows `expected` (bounded), and what
    // the screen showed then.
    PictureOnScreen showPicture(COLORREF expectedLeft) {
        PictureOnScreen seen;
        ui::Script ui;
        g_pictureRequests = 0;
        expectPage(ui, 1, [&](HWND page) {
            // Once the picture was asked for and the page has handled that
            // (a message sent now waits for it), the screen shows it soon.
            EXPECT_TRUE(waitFor([] { return g_pictureRequests > 0; }));
            DWORD_PTR ignored;
            SendMessageTimeoutA(page, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
            waitFor([&] {
                seen = readPicture(page, size);
                return seen.left == expectedLeft;
            });
            click(page, PageClose);
        });
        EXPECT_EQ(1, setup->GetDialogsQueue());
        EXPECT_TRUE(ui.finish());
        return seen;
    }
    SIZE size = {};
};

TEST_F(PictureTest, TrueColourDisplayShowsTheBasicPicture) {
    std::vector<COLORREF> basic = pictureColours(PagePictureBasic, &size);
    ASSERT_GE(basic.size(), 2u);
    ASSERT_GT(size.cx, 4);
    HDC screen = GetDC(nullptr);
    ASSERT_EQ(-1, GetDeviceCaps(screen, NUMCOLORS)) << "the test display has more than 8 bits per pixel";
    ReleaseDC(nullptr, screen);
    PictureOnScreen seen = showPicture(basic[0]);
    EXPECT_EQ(basic[0], seen.left);
    EXPECT_EQ(basic[1], seen.right);
    // Drawn at its own size: the page goes on beside it.
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), seen.beside);
}

TEST_F(PictureTest, PaletteDisplayShowsThePalettePictureOrFallsBack) {
    std::vector<COLORREF> basic = pictureColours(PagePictureBasic);
    std::vector<COLORREF> palette = pictureColours(PagePicturePalette, &size);
    ASSERT_GE(basic.size(), 2u);
    ASSERT_GE(palette.size(), 2u);
    ImportSwap<GetDeviceCapsFunction> caps("gdi32.dll", "GetDeviceCaps", paletteDisplayCaps, &g_realGetDeviceCaps);
    ASSERT_TRUE(caps.active());
    ImportSwap<LoadImageFunction> images("user32.dll", "LoadImageA", someImagesMissing, &g_realLoadImage);
    ASSERT_TRUE(images.active());
    g_missingImages.clear();

    g_reportedColours = 256;
    PictureOnScreen seen = showPicture(palette[0]);
    EXPECT_EQ(palette[0], seen.left);
    EXPECT_EQ(palette[1], seen.right);

    // Exactly 16 colours: the basic picture.
    g_reportedColours = 16;
    seen = showPicture(basic[0]);
    EXPECT_EQ(basic[0], seen.left);

    // The palette picture missing: the basic one instead.
    g_reportedColours = 256;
    g_missingImages = {PagePicturePalette};
    g_loadedImages.clear();
    seen = showPicture(basic[0]);
    EXPECT_EQ(basic[0], seen.left);
    EXPECT_EQ(basic[1], seen.right);
    ASSERT_GE(g_loadedImages.size(), 2u);
    EXPECT_EQ(static_cast<uintptr_t>(PagePicturePalette), g_loadedImages[0]);
    EXPECT_EQ(static_cast<uintptr_t>(PagePictureBasic), g_loadedImages[1]);

    // Neither: nothing is drawn, the page's face shows through.
    g_missingImages = {PagePicturePalette, PagePictureBasic};
    seen = showPicture(GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), seen.left);
    g_missingImages.clear();
}

}  // namespace

// ---------------------------------------------------------------------------
// The floating buttons stay over the background from page to page.

namespace {
struct ButtonState {
    bool exists = false, visible = false, above = false;
    COLORREF centre = CLR_INVALID, face = CLR_INVALID;
};
ButtonState buttonState(HWND button, HWND background) {
    ButtonState s;
    s.exists = IsWindow(button) != FALSE;
    s.visible = IsWindowVisible(button) != FALSE;
    for (HWND w = GetWindow(button, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
        if (w == background)
            s.above = true;
    RECT r;
    GetWindowRect(button, &r);
    s.centre = screenPixel(r.left + 3, (r.top + r.bottom) / 2);
    s.face = GetSysColor(COLOR_BTNFACE);
    return s;
}
}  // namespace

TEST_F(WizardTest, ExitButtonStaysOverTheBackgroundOnEveryPage) {
    setup->ShowBGWindow(SW_SHOW);
    ASSERT_EQ(1, setup->CreateExitButton());
    testenv::pumpMessages();
    HWND button = setup->exitButtonDialog, background = setup->backgroundWindow;
    std::vector<ButtonState> states;
    ui::Script ui;
    for (int n = 1; n <= 3; ++n)
        expectPage(ui, n, [&, n](HWND page) {
            // The stacking and the painting settle when the page's thread
            // gets to them, later under load: wait for them, bounded.
            ButtonState state;
            waitFor([&] {
                state = buttonState(button, background);
                return state.exists && state.visible && state.above && state.centre == state.face;
            });
            states.push_back(state);
            click(page, n < 3 ? PageNext : PageEnd);
        });
    setup->GetDialogsQueue();
    EXPECT_TRUE(ui.finish());
    ASSERT_EQ(3u, states.size());
    for (size_t i = 0; i < states.size(); ++i) {
        EXPECT_TRUE(states[i].exists) << "page " << i + 1;
        EXPECT_TRUE(states[i].visible) << "page " << i + 1;
        EXPECT_TRUE(states[i].above) << "page " << i + 1;
        EXPECT_EQ(states[i].face, states[i].centre) << "page " << i + 1;
    }
    setup->DestroyExitButton();
}
