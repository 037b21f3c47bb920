// UI automation helper for the Win32 tests; see UiAuto.h.
#include "UiAuto.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <sstream>

namespace ui {

const HWND AnyOwner = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

namespace {

// Reads the text without sending WM_GETTEXT: the window may belong to a
// thread that is blocked, such as the test thread waiting in finish().
std::string windowText(HWND w) {
    wchar_t wide[2048];
    int n = InternalGetWindowText(w, wide, 2048);
    if (n <= 0)
        return std::string();
    char buf[4096];
    int m = WideCharToMultiByte(CP_ACP, 0, wide, n, buf, sizeof buf, nullptr, nullptr);
    return std::string(buf, m > 0 ? m : 0);
}

std::string classOf(HWND w) {
    char buf[256];
    int n = GetClassNameA(w, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out + "\"";
}

// ---------------------------------------------------------------------------
// The message boxes Setup.Dll asks for, while they are open: MessageBoxA in
// its import table is replaced by a recorder that notes the call and shows
// the box as before. A box on screen is matched to the open call of its
// thread with the same caption and text.

struct BoxCall {
    DWORD thread;
    std::string caption;
    std::string text;
    UINT style;
};

std::mutex boxLock;
std::vector<BoxCall> openBoxes;

int WINAPI recordedMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    DWORD thread = GetCurrentThreadId();
    {
        std::lock_guard<std::mutex> guard(boxLock);
        openBoxes.push_back({thread, caption ? caption : "", text ? text : "", style});
    }
    int result = MessageBoxA(owner, text, caption, style);
    std::lock_guard<std::mutex> guard(boxLock);
    for (size_t i = openBoxes.size(); i-- > 0;) {
        if (openBoxes[i].thread == thread) {
            openBoxes.erase(openBoxes.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return result;
}

}  // namespace

const void* replaceImport(HMODULE module, const char* dll, const char* function, const void* replacement) {
    if (!module)
        return nullptr;
    BYTE* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress)
        return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(
            base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD old;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old))
                return nullptr;
            const void* previous = reinterpret_cast<const void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
            return previous;
        }
    }
    return nullptr;
}

namespace {

void recordLibraryMessageBoxes() {
    static std::once_flag once;
    std::call_once(once, [] {
        replaceImport(GetModuleHandleA("Setup.Dll"), "user32.dll", "MessageBoxA",
                       reinterpret_cast<const void*>(&recordedMessageBox));
    });
}

long recordedStyle(HWND window, const std::string& caption, const std::string& text) {
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    std::lock_guard<std::mutex> guard(boxLock);
    for (size_t i = openBoxes.size(); i-- > 0;) {
        const BoxCall& call = openBoxes[i];
        if (call.thread == thread && call.caption == caption && call.text == text)
            return static_cast<long>(call.style);
    }
    return -1;
}

}  // namespace

std::string WindowInfo::describe() const {
    std::ostringstream s;
    s << "window " << hwnd << " class " << className << " owner " << owner << " caption "
      << quote(caption) << " text " << quote(text) << " buttons [";
    for (size_t i = 0; i < buttons.size(); ++i)
        s << (i ? " " : "") << buttons[i];
    s << "]";
    if (style != -1)
        s << " style " << style;
    return s.str();
}

WindowInfo describe(HWND window) {
    WindowInfo info;
    info.hwnd = window;
    info.owner = GetWindow(window, GW_OWNER);
    info.className = classOf(window);
    info.caption = windowText(window);
    // A message box keeps its message in the static control 0xFFFF.
    HWND message = GetDlgItem(window, 0xFFFF);
    if (message && classOf(message) == "Static")
        info.text = windowText(message);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::string cls = classOf(child);
        if (cls == "Button") {
            LONG style = GetWindowLongA(child, GWL_STYLE) & 0x0F;
            if (style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON || style == BS_OWNERDRAW)
                info.buttons.push_back(GetDlgCtrlID(child));
        } else if (!message && cls == "Static") {
            std::string t = windowText(child);
            if (!t.empty())
                info.text += (info.text.empty() ? "" : "\n") + t;
        }
    }
    if (message)
        info.style = recordedStyle(window, info.caption, info.text);
    return info;
}

namespace {

BOOL CALLBACK collect(HWND w, LPARAM param) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(w))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(w);
    return TRUE;
}

}  // namespace

std::vector<WindowInfo> visibleWindows() {
    recordLibraryMessageBoxes();
    std::vector<HWND> handles;
    EnumWindows(collect, reinterpret_cast<LPARAM>(&handles));
    std::vector<WindowInfo> out;
    for (HWND w : handles)
        out.push_back(describe(w));
    return out;
}

void press(HWND dialog, int buttonId) {
    HWND button = GetDlgItem(dialog, buttonId);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

void type(HWND dialog, int editId, const std::string& text) {
    SendDlgItemMessageA(dialog, editId, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

struct Script::State {
    struct Step {
        std::string description;
        std::function<bool(const WindowInfo&)> match;
        std::function<void(HWND)> act;
    };
    std::mutex lock;
    std::vector<Step> steps;
    size_t next = 0;           // first step not yet done
    bool stop = false;
    bool failed = false;
    std::string failure;
    std::string unreported;    // windows dismissed since finish() last reported
    std::vector<WindowInfo> matched;
    std::set<HWND> handled;    // windows already acted on or dismissed
    DWORD timeoutMs;
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // the watcher is gone
};

namespace {

// Closes a window that no step expects, with the least harmful button.
void dismiss(HWND w, const WindowInfo& info) {
    for (int id : {IDCANCEL, IDNO, IDOK}) {
        if (std::find(info.buttons.begin(), info.buttons.end(), id) != info.buttons.end()) {
            press(w, id);
            return;
        }
    }
    PostMessageA(w, WM_CLOSE, 0, 0);
}

// Dismisses a dialog the script gave up on and keeps it for the report.
void giveUp(Script::State& state, const WindowInfo& w) {
    state.handled.insert(w.hwnd);
    state.unreported += (state.unreported.empty() ? "" : "\n") + std::string("dismissed ") + w.describe();
    dismiss(w.hwnd, w);
}

DWORD WINAPI watch(LPVOID param) {
    auto state = *static_cast<std::shared_ptr<Script::State>*>(param);
    delete static_cast<std::shared_ptr<Script::State>*>(param);
    DWORD stepStart = GetTickCount();
    std::vector<std::string> seen;
    std::map<HWND, DWORD> strays;  // unexpected dialogs and when they came
    for (;;) {
        Sleep(20);
        std::vector<WindowInfo> windows = visibleWindows();
        std::unique_lock<std::mutex> guard(state->lock);
        if (state->stop)
            break;
        for (const WindowInfo& w : windows) {
            if (w.className != "#32770")
                continue;
            std::string d = w.describe();
            if (std::find(seen.begin(), seen.end(), d) == seen.end())
                seen.push_back(d);
        }
        if (state->next >= state->steps.size()) {
            stepStart = GetTickCount();
            if (!state->steps.empty())
                SetEvent(state->done);
            // A dialog that no step expects would block the code under test
            // for good: once it has stayed for a step's time, it fails the
            // test and is dismissed.
            DWORD now = GetTickCount();
            for (const WindowInfo& w : windows) {
                if (w.className != "#32770" || state->handled.count(w.hwnd))
                    continue;
                auto first = strays.emplace(w.hwnd, now).first;
                if (now - first->second < state->timeoutMs)
                    continue;
                state->failed = true;
                state->failure += (state->failure.empty() ? "" : "\n") +
                                  std::string("unexpected ") + w.describe();
                giveUp(*state, w);
            }
            continue;
        }
        strays.clear();
        auto& step = state->steps[state->next];
        bool acted = false;
        for (const WindowInfo& w : windows) {
            if (state->handled.count(w.hwnd) || !step.match(w))
                continue;
            state->handled.insert(w.hwnd);
            state->matched.push_back(w);
            std::function<void(HWND)> act = step.act;
            ++state->next;
            // The user's action runs unlocked: it may wait for the window,
            // and finish() must still be able to look at the state.
            guard.unlock();
            act(w.hwnd);
            stepStart = GetTickCount();
            acted = true;
            break;
        }
        if (acted || GetTickCount() - stepStart < state->timeoutMs)
            continue;
        // The expected window never came: record what did, and dismiss the
        // dialogs on screen so that the code under test can return.
        state->failed = true;
        std::ostringstream s;
        s << "expected " << step.description << " within " << state->timeoutMs << " ms; seen:";
        if (seen.empty())
            s << " no dialog";
        for (const std::string& d : seen)
            s << "\n  " << d;
        state->failure = s.str();
        for (const WindowInfo& w : windows)
            if (w.className == "#32770")
                giveUp(*state, w);
        state->next = state->steps.size();
        SetEvent(state->done);
    }
    SetEvent(state->stopped);
    return 0;
}

}  // namespace

Script::Script(DWORD stepTimeoutMs) : state_(std::make_shared<State>()) {
    recordLibraryMessageBoxes();
    state_->timeoutMs = stepTimeoutMs;
    thread_ = CreateThread(nullptr, 0, watch, new std::shared_ptr<State>(state_), 0, nullptr);
}

Script::~Script() {
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        state_->stop = true;
    }
    // The watcher ends within one round unless a step's action hangs; then
    // it is left behind (it keeps the state alive) and the test fails.
    bool stopped = WaitForSingleObject(state_->stopped, state_->timeoutMs + 5000) == WAIT_OBJECT_0;
    CloseHandle(thread_);
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!stopped)
        ADD_FAILURE() << "the UI script's watcher did not stop: a step's action hangs";
    // Windows the script dismissed and nobody reported (finish() was not
    // called, or they came after it): a failure all the same.
    if (!state_->unreported.empty())
        ADD_FAILURE() << "the UI script dismissed windows nobody expected:\n" << state_->unreported;
    if (stopped) {
        CloseHandle(state_->done);
        CloseHandle(state_->stopped);
    }
}

Script& Script::window(std::string description, std::function<bool(const WindowInfo&)> match,
                       std::function<void(HWND)> act) {
    std::lock_guard<std::mutex> guard(state_->lock);
    state_->steps.push_back({std::move(description), std::move(match), std::move(act)});
    ResetEvent(state_->done);
    return *this;
}

Script& Script::messageBox(HWND owner, std::string caption, std::string text, int button, long style) {
    std::string d = "message box owned by " +
                    (owner == AnyOwner ? std::string("anyone") : std::to_string(reinterpret_cast<uintptr_t>(owner))) +
                    " caption " + quote(caption) + " text " + quote(text) +
                    (style == -1 ? std::string() : " style " + std::to_string(style)) + " to press " +
                    std::to_string(button);
    return window(
        d,
        [=](const WindowInfo& w) {
            return w.className == "#32770" && (owner == AnyOwner || w.owner == owner) &&
                   w.caption == caption && w.text == text && (style == -1 || w.style == style);
        },
        [=](HWND w) { press(w, button); });
}

Script& Script::dialog(std::string caption, std::function<void(HWND)> act) {
    return window(
        "dialog with caption " + quote(caption),
        [=](const WindowInfo& w) { return w.className == "#32770" && w.caption == caption; },
        std::move(act));
}

::testing::AssertionResult Script::finish() {
    DWORD total;
    bool done;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        total = state_->timeoutMs * static_cast<DWORD>(state_->steps.size() + 1);
        done = state_->steps.empty();  // nothing to wait for
    }
    // Keep serving the windows of this thread while waiting: a message box
    // may be owned by one of them.
    DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < total) {
        DWORD r = MsgWaitForMultipleObjects(1, &state_->done, FALSE, 50, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0)
            done = true;
        MSG msg;
        while (!done && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    std::lock_guard<std::mutex> guard(state_->lock);
    if (!done) {
        // The watcher is stuck in a step's action: what is on screen goes.
        for (const WindowInfo& w : visibleWindows())
            if (w.className == "#32770" && !state_->handled.count(w.hwnd))
                giveUp(*state_, w);
    }
    std::string dismissed;
    dismissed.swap(state_->unreported);
    if (state_->failed)
        return ::testing::AssertionFailure() << state_->failure;
    if (state_->next < state_->steps.size() || !done)
        return ::testing::AssertionFailure() << "steps left undone: " << state_->steps.size() - state_->next
                                             << (dismissed.empty() ? "" : "\n") << dismissed;
    return ::testing::AssertionSuccess();
}

std::vector<WindowInfo> Script::matched() const {
    std::lock_guard<std::mutex> guard(state_->lock);
    return state_->matched;
}

}  // namespace ui
