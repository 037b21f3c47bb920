// UI automation for the Win32 tests: a watcher thread waits for the message
// boxes and dialogs that the code under test opens, checks what they say and
// presses the button a user would. Every wait is bounded: a window that never
// comes fails the test with everything that was seen, and a window nobody
// expected is dismissed and fails the test, so that the code under test can
// return. The MB_ style Setup.Dll passes for a message box is recorded on the
// way (its import of MessageBoxA goes through a recorder), because most of
// it, MB_SETFOREGROUND for one, leaves no trace on the box itself.
//
//   ui::Script ui;
//   ui.messageBox(owner, "Title", "Text", IDYES);
//   EXPECT_EQ(6, object.ShowMessage(...));
//   EXPECT_TRUE(ui.finish());
#ifndef SETUP_TESTS_UIAUTO_H
#define SETUP_TESTS_UIAUTO_H

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

// What a user sees of one top-level window.
struct WindowInfo {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::string className;
    std::string caption;
    std::string text;          // a message box's message, else its static texts joined by '\n'
    std::vector<int> buttons;  // control ids of its push buttons
    long style = -1;           // a message box from Setup.Dll: its MB_ style; else -1
    std::string describe() const;
};

WindowInfo describe(HWND window);

// Visible top-level windows of this process.
std::vector<WindowInfo> visibleWindows();

// Presses a button the way a click does (the dialog receives WM_COMMAND).
void press(HWND dialog, int buttonId);
// Replaces the text of an edit control as typing would.
void type(HWND dialog, int editId, const std::string& text);

// Points `module`'s import of dll!function at `replacement` (a function of
// the same signature), so that a test sees or stands in for a system call
// the code under test makes. Returns what the import pointed at before
// (give it back the same way), null when the module does not import it.
const void* replaceImport(HMODULE module, const char* dll, const char* function, const void* replacement);

// A special owner value: the owner is not checked.
extern const HWND AnyOwner;

class Script {
public:
    explicit Script(DWORD stepTimeoutMs = 15000);
    ~Script();
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    // Expects a message box owned by `owner` with exactly this caption and
    // text, shown by Setup.Dll with exactly this MB_ style (any style when
    // -1); presses `button` (IDOK, IDCANCEL, IDYES, IDNO, IDRETRY ...).
    Script& messageBox(HWND owner, std::string caption, std::string text, int button,
                       long style = -1);
    // Expects a dialog whose caption is `caption` and hands it to `act`,
    // which does what the user would (type, press). `act` runs on the watcher
    // thread and must not block on the window's thread.
    Script& dialog(std::string caption, std::function<void(HWND)> act);
    // The same with any predicate on what is on screen.
    Script& window(std::string description, std::function<bool(const WindowInfo&)> match,
                   std::function<void(HWND)> act);

    // Waits until every step has happened. Fails with a description of the
    // windows seen when a step did not happen in time. A script that is not
    // finished still fails the test, when it goes, for every window it had
    // to dismiss.
    ::testing::AssertionResult finish();

    // What the matched windows looked like, in step order.
    std::vector<WindowInfo> matched() const;

    struct State;  // shared with the watcher thread

private:
    std::shared_ptr<State> state_;
    HANDLE thread_ = nullptr;
};

}  // namespace ui

#endif
