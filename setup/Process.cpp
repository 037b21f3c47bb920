// The installation run: the "Copying files" dialog, its worker thread that
// runs the install engine, the progress the worker publishes and the dialog
// shows, holding and stopping the worker, and the closing steps the run's
// end selects.
//
// The worker never waits on the screen: Setup::TakeProcessInfo only records
// what the dialog should show (under a lock held for a copy), and the dialog
// shows the latest of it on a timer, a few times a second, and once more
// when the run ends. Nothing is lost by that: a bar's steps and positions
// are replayed in order, so the dialog ends where the notifications left it.
//
// The worker is never suspended or killed from outside (a thread stopped that
// way may hold the heap or loader lock, and leaves its file half written).
// It runs under a RunControl that the engine asks around every
// notification, whatever the product's TakeProcessInfo does: while the exit
// question is open the worker waits there, and once the run is given up the
// engine ends after the file it is writing, closing what it opened.
#include "Setup.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <mutex>

#include "baseinterface/DiagnosticLog.h"
#include "baseinterface/MessageParent.h"
#include "common/ThreadScoped.h"
#include "filemanager/InstallJournal.h"
#include "filemanager/RunControl.h"
#include "resources/resource.h"
#include "setup/Background.h"
#include "setup/ProcessRules.h"
#include "setup/RunHold.h"
#include "win32/Ownership.h"
#include "win32/SystemLibrary.h"
#include "win32/WindowObject.h"

namespace {

// The worker posts its result to the dialog, which ends itself with it: the
// dialog ends in one place, once, on its own thread.
const UINT kWorkerDone = WM_APP + 1;
// The dialog shows the latest progress this often (milliseconds).
const UINT_PTR kShowTimer = 1;
const UINT kShowEveryMs = 50;

// What the dialog shows. The Current bar is its last position and the steps
// taken since (one per file begun), replayed in that order.
struct Progress {
    char target[PathSize] = "";
    char source[PathSize] = "";
    int total = 0;
    int current = 0;
    unsigned int stepsAfterCurrent = 0;
    // While the run's journal is undone: the Total bar's position when the
    // undo began, which it goes back from to 0 over the journal's entries.
    int undoFrom = -1;
};

// The state of one run: it lives on the stack of Process, which outlives
// both the dialog (its DWLP_USER) and the worker (its thread parameter). On
// the thread that called Process it is found by its object (openRun).
struct Run : ThreadScoped<Run> {
    explicit Run(Setup* setup) : setup(setup), gate(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}
    Setup* setup;
    HWND dialog = nullptr;
    // The worker's result, when it came while the exit question was open; -1 none.
    long pendingEnd = -1;
    // The dialog has been ended (dialog's thread only).
    bool ended = false;
    // The worker waits at its next notification while `held`; the gate is
    // reset before `held` is set and signalled after it is cleared.
    std::atomic<bool> held{false};
    win32::KernelHandle gate;
    // Set once the run is given up: the worker unwinds.
    std::atomic<bool> stopped{false};

    // Written by the worker, read by the dialog's timer.
    std::mutex progressLock;
    Progress published;
    unsigned int publishedVersion = 0;
    // The dialog's thread only: what it shows.
    Progress shown;
    unsigned int shownVersion = 0;
};

// The run whose worker this thread is, for TakeProcessInfo; null on every
// other thread. Per thread: each run's worker finds its own run.
thread_local Run* t_workerRun = nullptr;

void hold(Run& run) {
    ResetEvent(run.gate.get());
    run.held.store(true);
}

void release(Run& run) {
    run.held.store(false);
    SetEvent(run.gate.get());
}

void stop(Run& run) {
    run.stopped.store(true);
    release(run);
}

// The engine asks this around every notification of the worker's run.
class WorkerControl : public RunControl {
public:
    explicit WorkerControl(Run& run) : run_(run) {}
    bool mayGoOn() override {
        if (run_.held.load())
            WaitForSingleObject(run_.gate.get(), INFINITE);
        return !run_.stopped.load();
    }
    // The run is over: the background window closes without a question.
    void writeFailed() override {
        PostMessageA(run_.setup->backgroundWindow, WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
    }
    // The undo of a run that ended early, shown as the copying was: what is
    // put back, and the Total bar going back.
    void undoing(size_t done, size_t total, const char* path) override;
    // The product's registration in the closing operation belongs to the run.
    bool holdsCommit() override { return true; }

private:
    Run& run_;
};

void copyText(char* shown, const void* text) {
    snprintf(shown, PathSize, "%s", static_cast<const char*>(text));
}

// Records what notification `action` changes, for the dialog to show.
void publish(Run& run, InfoAction action, const void* data) {
    std::lock_guard<std::mutex> hold(run.progressLock);
    Progress& p = run.published;
    switch (action) {
    case InfoAction::ShowTarget:
        copyText(p.target, data);
        ++p.stepsAfterCurrent;
        break;
    case InfoAction::ShowSource: copyText(p.source, data); break;
    case InfoAction::SetTotal: p.total = *static_cast<const int*>(data); break;
    case InfoAction::SetCurrent:
        p.current = *static_cast<const int*>(data);
        p.stepsAfterCurrent = 0;
        break;
    case InfoAction::Ignore: return;
    }
    ++run.publishedVersion;
}

void WorkerControl::undoing(size_t done, size_t total, const char* path) {
    char line[PathSize] = "";
    if (LoadStringA(run_.setup->libraryInstance, IDS_UNDOING, line, sizeof line) <= 0)
        line[0] = '\0';
    std::lock_guard<std::mutex> hold(run_.progressLock);
    Progress& p = run_.published;
    if (p.undoFrom < 0) {
        p.undoFrom = p.total;
        copyText(p.source, line);
        p.current = 0;
        p.stepsAfterCurrent = 0;
    }
    copyText(p.target, path);
    p.total = total == 0 ? 0 : static_cast<int>(p.undoFrom - static_cast<unsigned long long>(p.undoFrom) * done / total);
    ++run_.publishedVersion;
}

void showText(Setup& setup, HWND dialog, int id, char* shown, const char* latest) {
    if (strcmp(shown, latest) == 0)
        return;
    memcpy(shown, latest, PathSize);
    char text[PathSize];
    memcpy(text, latest, PathSize);
    setup.SetShortWindowText(GetDlgItem(dialog, id), text);
}

// Brings the dialog up to what the worker published last.
void showProgress(HWND dialog, Run& run) {
    Progress latest;
    {
        std::lock_guard<std::mutex> hold(run.progressLock);
        if (run.publishedVersion == run.shownVersion)
            return;
        latest = run.published;
        run.shownVersion = run.publishedVersion;
    }
    Progress& shown = run.shown;
    showText(*run.setup, dialog, IDC_SOURCE_TEXT, shown.source, latest.source);
    showText(*run.setup, dialog, IDC_TARGET_TEXT, shown.target, latest.target);
    if (latest.total != shown.total)
        SendDlgItemMessageA(dialog, IDC_TOTAL_BAR, PBM_SETPOS, latest.total, 0);
    if (latest.current != shown.current || latest.stepsAfterCurrent != shown.stepsAfterCurrent) {
        SendDlgItemMessageA(dialog, IDC_CURRENT_BAR, PBM_SETPOS, latest.current, 0);
        for (unsigned int i = 0; i < latest.stepsAfterCurrent; ++i)
            SendDlgItemMessageA(dialog, IDC_CURRENT_BAR, PBM_STEPIT, 0, 0);
    }
    shown.total = latest.total;
    shown.current = latest.current;
    shown.stepsAfterCurrent = latest.stepsAfterCurrent;
}

void endRun(HWND dialog, Run& run, long code) {
    if (run.ended || !IsWindow(dialog))
        return;
    run.ended = true;
    showProgress(dialog, run);
    KillTimer(dialog, kShowTimer);
    EndDialog(dialog, code);
}

// What the worker thread is for the length of the run: the run's worker (for
// TakeProcessInfo), under its control, with the progress dialog as the owner
// of its messages and F3 heard while one of them has the keyboard.
struct WorkerScope {
    WorkerScope(Run& run, Setup& setup)
        : control(run), messages(setup, setup.progressDialog), exitKey(hookExitKey()) {
        t_workerRun = &run;
    }
    ~WorkerScope() { t_workerRun = nullptr; }
    WorkerControl control;
    ThreadMessageParent messages;
    win32::HookHandle exitKey;
};

// Exit codes: 0 InitSFM failed or the run was given up, 1 the engine ran.
DWORD WINAPI worker(LPVOID parameter) {
    Run* run = static_cast<Run*>(parameter);
    Setup* setup = run->setup;
    DWORD exitCode = 0;
    long result = StepFailure;
    {
        WorkerScope scope(*run, *setup);
        if (setup->InitSFM(setup->installDirectory) == StepContinue) {
            result = setup->MakeSetupFileOperation(setup->installDirectory);
            exitCode = 1;
        }
    }
    if (run->stopped.load())
        return 0;
    PostMessageA(setup->progressDialog, kWorkerDone, static_cast<WPARAM>(result), 0);
    return exitCode;
}

void initBar(HWND dialog, int id) {
    SendDlgItemMessageA(dialog, id, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageA(dialog, id, PBM_SETSTEP, 1, 0);
    SendDlgItemMessageA(dialog, id, PBM_SETPOS, 0, 0);
}

void startRun(HWND dialog, Run& run) {
    // comctl32.dll is no known DLL: from the system folder (or the
    // assembly the program's manifest names) alone.
    static const auto initControls = win32::moduleFunction<decltype(&InitCommonControlsEx)>(
        win32::assemblyModule("comctl32.dll"), "InitCommonControlsEx");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    if (initControls)
        initControls(&controls);
    Setup* setup = run.setup;
    setup->CenterDialog(dialog);
    setup->progressDialog = dialog;
    run.dialog = dialog;
    initBar(dialog, IDC_CURRENT_BAR);
    initBar(dialog, IDC_TOTAL_BAR);
    SetTimer(dialog, kShowTimer, kShowEveryMs, nullptr);
    // The last run's thread handle is kept until the next run starts.
    win32::KernelHandle previous(setup->workerThread);
    setup->workerThread = CreateThread(nullptr, 0, worker, &run, 0, nullptr);
    if (!setup->workerThread)
        endRun(dialog, run, StepFailure);
}

// Cancel: the exit question, the worker held while it is open. Yes has given
// the run up already; the background window closes after the dialog.
void askCancel(HWND dialog, Run& run) {
    if (askExitQuestion(*run.setup, ExitAskedByCancel) != IDYES)
        return;
    PostMessageA(GetWindow(dialog, GW_OWNER), WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
    endRun(dialog, run, StepFailure);
}

INT_PTR CALLBACK progressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        startRun(dialog, *win32::keepDialogObject<Run>(dialog, lParam));
        return TRUE;
    }
    Run* run = win32::dialogObject<Run>(dialog);
    if (!run)
        return FALSE;
    switch (message) {
    case kWorkerDone:
        // An exit question open now answers first (resumeRun ends the run).
        if (run->held.load())
            run->pendingEnd = static_cast<long>(wParam);
        else
            endRun(dialog, *run, static_cast<long>(wParam));
        return FALSE;
    case WM_TIMER:
        if (wParam == kShowTimer)
            showProgress(dialog, *run);
        return FALSE;
    case WM_WINDOWPOSCHANGED:
        if (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW)
            keepFloatingButtonsOver(*run->setup);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            askCancel(dialog, *run);
        return FALSE;
    case WM_DESTROY:
        // Gone without being ended: its owner, the background window, was
        // closed (F3, the exit button). That is a confirmed Cancel: the
        // worker stops at its next notification, and Process waits for it.
        if (!run->ended)
            stop(*run);
        return FALSE;
    }
    return FALSE;
}

// The run of `setup` in progress on this thread, or null.
Run* openRun(const Setup& setup) {
    return Run::find([&](const Run& run) { return run.setup == &setup && !run.ended; });
}

// Waits for the run's worker, serving the messages sent to this thread's
// windows meanwhile (an engine message box owned by one of them sends some);
// posted ones, such as the background window's close command, wait for the
// caller's loop. A worker still running here lost its dialog with the
// background window: it is given up and unwinds at its next notification.
void finishWorker(Run& run, HANDLE thread) {
    stop(run);
    if (!thread)
        return;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) != WAIT_OBJECT_0) {
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// The reboot question after a run that needs one.
void offerReboot(Setup& setup) {
    if (setup.ShowMessage(IDS_REBOOT_QUESTION, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
        setup.HideAll();
        enableShutdownPrivilege();
        ExitWindowsEx(EWX_REBOOT, 0);
    }
}

// Shows a notification at once: for a caller other than the run's worker
// (a product's own thread, or no run), which may wait on the dialog.
void showNow(Setup& setup, HWND dialog, InfoAction action, void* data) {
    switch (action) {
    case InfoAction::ShowTarget:
        setup.SetShortWindowText(GetDlgItem(dialog, IDC_TARGET_TEXT), static_cast<char*>(data));
        SendDlgItemMessageA(dialog, IDC_CURRENT_BAR, PBM_STEPIT, 0, 0);
        break;
    case InfoAction::ShowSource:
        setup.SetShortWindowText(GetDlgItem(dialog, IDC_SOURCE_TEXT), static_cast<char*>(data));
        break;
    case InfoAction::SetTotal:
        SendDlgItemMessageA(dialog, IDC_TOTAL_BAR, PBM_SETPOS, *static_cast<int*>(data), 0);
        break;
    case InfoAction::SetCurrent:
        SendDlgItemMessageA(dialog, IDC_CURRENT_BAR, PBM_SETPOS, *static_cast<int*>(data), 0);
        break;
    case InfoAction::Ignore: break;
    }
}

}  // namespace

void holdRun(Setup& setup) {
    if (Run* run = openRun(setup))
        hold(*run);
}

void resumeRun(Setup& setup) {
    Run* run = openRun(setup);
    if (!run)
        return;
    release(*run);
    if (run->pendingEnd >= 0)
        endRun(run->dialog, *run, run->pendingEnd);
}

void giveUpRun(Setup& setup) {
    if (Run* run = openRun(setup))
        stop(*run);
}

// Result: 0 in every case; the outcome reaches the product through the
// closing operations and rebootNeeded.
int Setup::Process() {
    Run run(this);
    INT_PTR code = DialogBoxParamA(libraryInstance, MAKEINTRESOURCEA(IDD_COPYING), backgroundWindow,
                                   progressProc, reinterpret_cast<LPARAM>(&run));
    // Only after the dialog is gone: no notification may wait on it again.
    // The worker has ended when this returns, so the run may go.
    run.ended = true;
    finishWorker(run, workerThread);
    SetParentForMessage(backgroundWindow);
    logEvent(LogProcessOutcome, installDirectory, "", 0, static_cast<int32_t>(code));
    logEvent(LogRebootDecision, installDirectory, "", 0, closingFor(static_cast<long>(code)) == Closing::Reboot);

    // With transactions a completed run is committed only after its closing
    // operation, which registers the product (InstallJournal.h); any other
    // end undoes it first (a run completed while the exit question was open).
    Closing closing = closingFor(static_cast<long>(code));
    if (closing != Closing::Complete && closing != Closing::Reboot)
        settleHeldRun(*this, false);
    switch (closing) {
    case Closing::Error:
        if (ProcessError())
            HideAll();
        break;
    case Closing::UserBreak:
        if (ProcessUserBreak())
            HideAll();
        break;
    case Closing::Complete: {
        int closes = ProcessOK();
        bool kept = settleHeldRun(*this, true);
        if (closes) {
            if (kept) {
                SetLastDlgHWND(GetActiveWindow());
                ShowMessage(IDS_SETUP_COMPLETE, MB_ICONINFORMATION);
            }
            HideAll();
        }
        break;
    }
    case Closing::Reboot: {
        rebootNeeded = 1;
        int closes = ProcessNeedReboot();
        // Undone, it needs no restart.
        bool kept = settleHeldRun(*this, true);
        if (!kept)
            rebootNeeded = 0;
        if (closes) {
            if (kept) {
                SetLastDlgHWND(GetActiveWindow());
                offerReboot(*this);
            }
            HideAll();
        }
        break;
    }
    case Closing::Nothing:
        break;
    }
    return 0;
}

// Result: 2 for every kind. On the run's worker the change is recorded for
// the dialog to show; the hold and the stop of a run are the engine's
// business (RunControl), not this notification's.
int Setup::TakeProcessInfo(int kind, void* data) {
    InfoAction action = infoActionFor(kind);
    // Without its data there is nothing to show.
    if (action == InfoAction::Ignore || !data)
        return StepContinue;
    if (Run* run = t_workerRun) {
        publish(*run, action, data);
        return StepContinue;
    }
    // Outside a run (no dialog yet) there is nothing to show.
    if (HWND dialog = progressDialog)
        showNow(*this, dialog, action, data);
    return StepContinue;
}
