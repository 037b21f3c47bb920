// The installation run: the "Copying files" dialog, its worker thread that
// runs the install engine, the progress notifications turned into dialog
// updates, the cancel handshake, and the closing steps the run's end selects.
//
// The worker is never suspended or killed from outside (a thread stopped that
// way may hold the heap or loader lock, and leaves its file half written).
// It is held at a safe point instead, inside its next notification, while
// the cancel question is open; a confirmed Cancel lets it unwind: every later
// notification answers a user break and changes nothing on screen, so the
// engine ends after the file it is writing, closing what it opened.
#include "Setup.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "setup/Background.h"
#include "setup/ProcessRules.h"
#include "win32/Ownership.h"
#include "win32/WindowObject.h"

namespace {

// The worker posts its result to the dialog, which ends itself with it: the
// dialog ends in one place, once, on its own thread.
const UINT kWorkerDone = WM_APP + 1;

// The state of one run: it lives on the stack of Process, which outlives
// both the dialog (its DWLP_USER) and the worker (its thread parameter).
struct Run {
    explicit Run(Setup* setup) : setup(setup), gate(CreateEventA(nullptr, TRUE, TRUE, nullptr)) {}
    Setup* setup;
    // The cancel question is open (touched on the dialog's thread only).
    int cancelBusy = 0;
    // The worker's result, when it came while the question was open; -1 none.
    long pendingEnd = -1;
    // The dialog has been ended (dialog's thread only).
    bool ended = false;
    // Signalled while the worker may go on; reset while the question is open.
    win32::KernelHandle gate;
    // Set once the run is given up: the worker unwinds.
    volatile LONG stopped = 0;
    // Worker thread only.
    BarPosition currentBar;
    BarPosition totalBar;
};

// The run whose worker this thread is, for TakeProcessInfo; null on every
// other thread. Per thread: each run's worker finds its own run.
thread_local Run* t_workerRun = nullptr;

void endRun(HWND dialog, Run& run, long code) {
    if (run.ended)
        return;
    run.ended = true;
    EndDialog(dialog, code);
}

// Exit codes: 0 InitSFM failed or the run was given up, 1 the engine ran.
DWORD WINAPI worker(LPVOID parameter) {
    Run* run = static_cast<Run*>(parameter);
    Setup* setup = run->setup;
    t_workerRun = run;
    auto leave = win32::atScopeExit([] { t_workerRun = nullptr; });
    DWORD exitCode = 0;
    long result = StepFailure;
    if (setup->InitSFM(setup->installDirectory) == StepContinue) {
        result = setup->MakeSetupFileOperation(setup->installDirectory);
        exitCode = 1;
    }
    if (InterlockedCompareExchange(&run->stopped, 0, 0))
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
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    Setup* setup = run.setup;
    setup->CenterDialog(dialog);
    setup->progressDialog = dialog;
    initBar(dialog, IDC_CURRENT_BAR);
    initBar(dialog, IDC_TOTAL_BAR);
    run.currentBar.moveTo(0);
    run.totalBar.moveTo(0);
    // The last run's thread handle is kept until the next run starts.
    win32::KernelHandle previous(setup->workerThread);
    setup->workerThread = CreateThread(nullptr, 0, worker, &run, 0, nullptr);
    if (!setup->workerThread)
        endRun(dialog, run, StepFailure);
}

// Asks whether to give up the run, holding the worker while it is asked.
void askCancel(HWND dialog, Run& run) {
    if (run.cancelBusy) {
        MessageBeep(0xFFFFFFFF);
        return;
    }
    run.cancelBusy = 1;
    ResetEvent(run.gate.get());
    int answer = run.setup->ShowMessage(IDS_EXIT_QUESTION, MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) {
        InterlockedExchange(&run.stopped, 1);
        SetEvent(run.gate.get());
        PostMessageA(GetWindow(dialog, GW_OWNER), WM_COMMAND, IDM_CLOSE_BACKGROUND, 0);
        endRun(dialog, run, StepFailure);
    } else {
        SetEvent(run.gate.get());
        if (run.pendingEnd >= 0)
            endRun(dialog, run, run.pendingEnd);
    }
    run.cancelBusy = 0;
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
        if (run->cancelBusy)
            run->pendingEnd = static_cast<long>(wParam);
        else
            endRun(dialog, *run, static_cast<long>(wParam));
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
        if (!run->ended) {
            InterlockedExchange(&run->stopped, 1);
            SetEvent(run->gate.get());
        }
        return FALSE;
    }
    return FALSE;
}

// Waits for the run's worker, serving the messages sent to this thread's
// windows meanwhile (an engine message box owned by one of them sends some);
// posted ones, such as the background window's close command, wait for the
// caller's loop. A worker still running here lost its dialog with the
// background window: it is given up and unwinds at its next notification.
void finishWorker(Run& run, HANDLE thread) {
    InterlockedExchange(&run.stopped, 1);
    SetEvent(run.gate.get());
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

}  // namespace

// Result: 0 in every case; the outcome reaches the product through the
// closing operations and rebootNeeded.
int Setup::Process() {
    Run run(this);
    INT_PTR code = DialogBoxParamA(libraryInstance, MAKEINTRESOURCEA(IDD_COPYING), backgroundWindow,
                                   progressProc, reinterpret_cast<LPARAM>(&run));
    // Only after the dialog is gone: no notification may wait on it again.
    // The worker has ended when this returns, so the run may go.
    finishWorker(run, workerThread);
    SetParentForMessage(backgroundWindow);

    switch (closingFor(static_cast<long>(code))) {
    case Closing::Error:
        if (ProcessError())
            HideAll();
        break;
    case Closing::UserBreak:
        if (ProcessUserBreak())
            HideAll();
        break;
    case Closing::Complete:
        if (ProcessOK()) {
            SetLastDlgHWND(GetActiveWindow());
            ShowMessage(IDS_SETUP_COMPLETE, MB_ICONINFORMATION);
            HideAll();
        }
        break;
    case Closing::Reboot:
        rebootNeeded = 1;
        if (ProcessNeedReboot()) {
            SetLastDlgHWND(GetActiveWindow());
            offerReboot(*this);
            HideAll();
        }
        break;
    case Closing::Nothing:
        break;
    }
    return 0;
}

// Result: 2 for every kind, except on the worker of a run given up by the
// user, where it is 1 (a user break) so that the engine ends.
int Setup::TakeProcessInfo(int kind, void* data) {
    InfoAction action = infoActionFor(kind);
    if (action == InfoAction::Ignore)
        return StepContinue;
    Run* run = t_workerRun;
    if (run) {
        // The safe point: held here while the cancel question is open.
        WaitForSingleObject(run->gate.get(), INFINITE);
        if (InterlockedCompareExchange(&run->stopped, 0, 0))
            return StepUserBreak;
    }
    // Outside a run (no dialog yet) or without its data there is nothing to show.
    HWND dialog = progressDialog;
    if (!dialog || !data)
        return StepContinue;
    switch (action) {
    case InfoAction::ShowTarget:
        SetShortWindowText(GetDlgItem(dialog, IDC_TARGET_TEXT), static_cast<char*>(data));
        SendDlgItemMessageA(dialog, IDC_CURRENT_BAR, PBM_STEPIT, 0, 0);
        if (run)
            run->currentBar.forget();
        break;
    case InfoAction::ShowSource:
        SetShortWindowText(GetDlgItem(dialog, IDC_SOURCE_TEXT), static_cast<char*>(data));
        break;
    case InfoAction::SetTotal: {
        int position = *static_cast<int*>(data);
        // Off the worker there is no bar state: the position is sent as it is.
        if (!run || run->totalBar.moveTo(position))
            SendDlgItemMessageA(dialog, IDC_TOTAL_BAR, PBM_SETPOS, position, 0);
        break;
    }
    case InfoAction::SetCurrent: {
        int position = *static_cast<int*>(data);
        if (!run || run->currentBar.moveTo(position))
            SendDlgItemMessageA(dialog, IDC_CURRENT_BAR, PBM_SETPOS, position, 0);
        break;
    }
    case InfoAction::Ignore:
        break;
    }
    return StepContinue;
}
