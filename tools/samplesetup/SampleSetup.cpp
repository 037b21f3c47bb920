// The sample product's setup executable: the program a product team copies
// and adapts. It derives its object from Setup and drives the library the
// usual way: background window, exit button, a four-page wizard (welcome,
// readme, folder and components, ready to install), the installation run
// with its progress dialog, and the library's closing messages.
//
// Beside the wizard it has an unattended mode for package managers and
// administrators (SampleSetup /? lists the switches): /S installs without
// the wizard, /D= names the target, /LOG= writes a plain-text log, and
// /NORESTART never restarts Windows. The exit code tells how it ended
// (0, 3010 reboot needed, 1602 cancelled, 1603 failed), interactive or not.
//
// Unattended, no window may wait for an answer: the program installs a
// message hook (SetMessageHook) through which every question of the library
// and of the sample itself is answered by itself with the choice that stops
// safely, and logged. Interactive, the same hook shows each box itself, so
// that the answer is logged too and a confirmed "exit" is known to be the
// user's (the library ends a cancelled run the same way as a failed one).
//
// A run that needs a reboot: /S and /NORESTART never restart Windows and
// never ask; they leave the restart to the caller and exit with 3010. The
// interactive run without /NORESTART offers the restart as the library does.
#include "SampleSetup.h"

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

#include "PageText.h"

namespace {

// The product's strings: the Setup object keeps the pointers.
char g_title[] = "Sample Product Setup";
char g_productName[] = "Sample Product";
char g_exeName[] = "SampleTool.exe";
// The target folder: the wizard's Browse writes into it.
char g_installDir[PathSize];

// The library's "Setup is complete." text.
const int kSetupCompleteText = 11130;

static_assert(AnswerOk == IDOK && AnswerCancel == IDCANCEL && AnswerYes == IDYES && AnswerNo == IDNO &&
                  AnswerAbort == IDABORT && AnswerRetry == IDRETRY && AnswerIgnore == IDIGNORE,
              "the sample's answers are the message box's button codes");

// What the message hook needs; set in WinMain before the hook is installed
// and read by it on any thread. One run per process.
struct Session {
    const Options* options = nullptr;
    RunLog* log = nullptr;
    std::atomic<bool> userEnded{false};
};
Session g_session;

// The message hook: every question of the library (and of the sample, see
// SampleProduct::tell) comes here, on whichever thread asks.
int CALLBACK answerQuestion(BaseInterface* asker, int stringId, const char* text, unsigned long style) {
    int answer;
    bool automatic = g_session.options->silent;
    if (automatic) {
        answer = unattendedAnswer(stringId, style);
    } else if (stringId == kBrowserId) {
        g_session.log->line(std::string("folder browser \"") + text + "\" opened");
        return 0;  // the person at the screen chooses
    } else {
        answer = MessageBoxA(asker->parentForMessage, text, asker->messageCaption, style);
        if (answer == 0)
            return 0;  // no box could be opened: the library tries itself
    }
    g_session.log->line(questionLogLine(stringId, text, style, answer, automatic));
    if ((stringId == kExitQuestionId || stringId == kProductExitQuestionId) && answer == IDYES)
        g_session.userEnded = true;
    return answer;
}

// Writes `text` where the caller can read it: the standard output (a
// package manager's pipe), else the console the program was started from,
// else, when nobody would see it, a message box (never in unattended mode).
void printText(const std::string& text, bool silent) {
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE console = INVALID_HANDLE_VALUE;
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        out = console;
        crlf = "\r\n" + crlf;  // after the prompt the shell has printed already
    }
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE)
        WriteFile(out, crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr);
    else if (!silent)
        MessageBoxA(nullptr, text.c_str(), g_title, MB_OK | MB_ICONINFORMATION);
    if (console != INVALID_HANDLE_VALUE)
        CloseHandle(console);
}

// The target folder: /D= made absolute, else "Sample Product" in the
// Program Files folder. Result: false when the folder does not fit.
bool chooseTarget(const Options& options) {
    char folder[MAX_PATH];
    if (!options.target.empty()) {
        DWORD length = GetFullPathNameA(options.target.c_str(), sizeof folder, folder, nullptr);
        if (length == 0 || length >= sizeof g_installDir)
            return false;
    } else if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder)) ||
               strlen(folder) + strlen("\\Sample Product") >= sizeof folder) {
        strcpy(folder, "C:\\Program Files\\Sample Product");
    } else {
        strcat(folder, "\\Sample Product");
    }
    strcpy(g_installDir, folder);
    return true;
}

std::string localTime() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond);
    return text;
}

bool isFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

const char* endName(RunEnd end) {
    switch (end) {
    case RunEnd::NotRun: return "not installed";
    case RunEnd::Complete: return "installed";
    case RunEnd::Reboot: return "installed, a restart is needed";
    case RunEnd::Failed: return "failed";
    case RunEnd::Cancelled: return "cancelled";
    }
    return "?";
}

}  // namespace

bool userEndedSetup() { return g_session.userEnded; }

SampleProduct::SampleProduct(HINSTANCE instance, const Options& runOptions, RunLog& runLog)
    : Setup(instance, g_title, g_productName, g_exeName), options(runOptions), log(runLog) {}

std::string SampleProduct::text(int id) const {
    char buffer[1024];
    int length = 0;
    if (languageLibrary)
        length = LoadStringA(languageLibrary, id, buffer, sizeof buffer);
    if (length <= 0)
        length = LoadStringA(productInstance, id, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, length) : std::string();
}

int SampleProduct::tell(int id, unsigned long style, const std::vector<std::string>& inserts) {
    std::string message = fillText(text(id), inserts);
    return answerQuestion(this, id, message.c_str(), style);
}

RunEnd SampleProduct::readArchiveSize() {
    // A reader of its own: InitSFM would create the target folder and its
    // Install.log before the check, and the run's worker reads the volumes
    // from the start again with the Setup object's reader.
    Reader probe;
    probe.InitBI(libraryInstance, windowTitle);
    probe.SetParentForMessage(GetParentForMessage());
    ArchiveHeader header;
    memset(&header, 0, sizeof header);
    unsigned int size = sizeof header;
    int r = probe.Read(reinterpret_cast<unsigned char*>(&header), &size, ReadModePlain);
    if (r == StepContinue && size == sizeof header) {
        neededBytes = header.totalSize;
        log.line("archive: " + std::to_string(header.fileCount) + " files, " +
                 std::to_string(header.totalSize) + " bytes");
        return RunEnd::NotRun;
    }
    log.line("archive: Data1.Dat could not be read");
    return r == StepUserBreak || userEndedSetup() ? RunEnd::Cancelled : RunEnd::Failed;
}

bool SampleProduct::filesFit() {
    // The deepest folder of the target that exists: a drive mounted in a
    // folder counts, not the drive letter's.
    std::string folder = installDirectory;
    std::string parent;
    while (!isFolder(folder) && parentFolder(folder, &parent))
        folder = parent;
    std::string query = folder;
    if (query.empty() || query.back() != '\\')
        query += '\\';
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExA(query.c_str(), &available, nullptr, nullptr)) {
        log.line("space: the free space of " + folder + " cannot be read; not checked");
        return true;
    }
    SpaceCheck check = checkSpace(neededBytes, available.QuadPart);
    log.line("space: " + std::to_string(check.neededKb) + " KB needed, " + std::to_string(check.freeKb) +
             " KB free in " + folder);
    if (!check.fits)
        tell(TEXT_NO_SPACE, MB_ICONSTOP,
             {driveOf(installDirectory), std::to_string(check.neededKb), std::to_string(check.freeKb)});
    return check.fits;
}

int SampleProduct::TakeProcessInfo(int kind, void* data) {
    if (kind == InfoBeforeFile && data && log.isOpen())
        log.line(std::string("file ") + static_cast<const FileNotice*>(data)->targetPath);
    if (kind == InfoVolumeOpened && data) {
        // Sent before every file, mostly naming the same volume again.
        if (strcmp(shownVolume_, static_cast<const char*>(data)) == 0)
            return StepContinue;  // its answer is ignored
        snprintf(shownVolume_, sizeof shownVolume_, "%s", static_cast<const char*>(data));
    }
    if (kind == InfoFilePercent && data) {
        // The file's bar: the engine reports every 4 KB block, and each new
        // position the dialog draws costs the worker a round trip to the
        // dialog's thread (about a millisecond under Wine: 25 MB of files
        // took 7 s instead of 0.5 s). Twenty positions a second are as
        // smooth to the eye; a file's last position and the next file's
        // first always go through.
        unsigned int percent = *static_cast<unsigned int*>(data);
        DWORD now = GetTickCount();
        if (percent < 100 && percent >= barPercent_ && now - barShownAt_ < kBarInterval)
            return StepContinue;  // this answer is only kept by the engine
        barPercent_ = percent;
        barShownAt_ = now;
    }
    return Setup::TakeProcessInfo(kind, data);
}

int SampleProduct::ProcessOK() {
    end_ = RunEnd::Complete;
    return 1;  // the library says "Setup is complete." (answered by itself under /S)
}

int SampleProduct::ProcessNeedReboot() {
    end_ = RunEnd::Reboot;
    if (!options.silent && !options.noRestart)
        return 1;  // the library offers the restart
    // Nobody is asked and nothing restarts; the closing of the background
    // window must not offer it either.
    rebootNeeded = 0;
    log.line("restart: needed, left to the caller (" + std::string(options.silent ? "/S" : "/NORESTART") + ")");
    if (!options.silent) {
        SetLastDlgHWND(GetActiveWindow());
        ShowMessage(kSetupCompleteText, MB_ICONINFORMATION);
    }
    HideAll();
    return 0;
}

int SampleProduct::ProcessError() {
    end_ = userEndedSetup() ? RunEnd::Cancelled : RunEnd::Failed;
    return 1;
}

int SampleProduct::ProcessUserBreak() {
    end_ = RunEnd::Cancelled;
    return 1;
}

void SampleProduct::settleWindows() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // The background window ends the thread's loop when it goes; this
        // program has no loop of its own to end, and a quit message left in
        // the queue would close the next message box at once.
        if (msg.message == WM_QUIT)
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (!MainWindowExist())
        SetParentForMessage(nullptr);
}

void SampleProduct::logGroups() {
    std::string line = "groups:";
    for (int group = 1; group <= GroupCount; ++group)
        line += " " + std::to_string(group) + (GetGroupStatus(group) == 0 ? " off" : " on");
    log.line(line);
}

RunEnd SampleProduct::run() {
    if (!MainWindowExist())
        return RunEnd::NotRun;  // the library has said why
    MakeGroupList(GroupCount);
    SetInstallDirectory(g_installDir);
    SetParentForMessage(backgroundWindow);

    RunEnd ended = readArchiveSize();
    if (ended == RunEnd::NotRun) {
        if (options.silent) {
            if (!filesFit())
                ended = RunEnd::Failed;
        } else {
            ShowBGWindow(SW_SHOW);
            CreateExitButton();
            switch (runWizard(*this)) {
            case WizardEnd::Accepted: break;
            case WizardEnd::Cancelled: ended = RunEnd::Cancelled; break;
            case WizardEnd::Failed: ended = RunEnd::Failed; break;
            }
        }
    }
    if (ended == RunEnd::NotRun) {
        log.line(std::string("target: ") + installDirectory);
        logGroups();
        Process();
        ended = end_;
    }
    settleWindows();
    HideAll();
    if (ended == RunEnd::Failed)
        tell(TEXT_FAILED, MB_ICONSTOP, {productName});
    else if (ended == RunEnd::Cancelled)
        tell(TEXT_CANCELLED, MB_ICONINFORMATION, {productName});
    return ended;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    Options options = parseArguments(commandLine);
    if (options.help) {
        printText(helpText(), options.silent);
        return ExitSuccess;
    }
    if (options.error.empty() && !chooseTarget(options))
        options.error = "the folder is too long: " + options.target;
    if (!options.error.empty()) {
        printText("SampleSetup: " + options.error + "\n\n" + helpText(), options.silent);
        return ExitBadArguments;
    }
    RunLog log;
    if (!options.logPath.empty() && !log.open(options.logPath.c_str())) {
        printText("SampleSetup: the log " + options.logPath + " cannot be written\n", options.silent);
        return ExitFailure;
    }
    log.line("start " + localTime());
    log.line(std::string("arguments: ") + (commandLine ? commandLine : ""));
    log.line(options.silent ? "mode: unattended" : "mode: wizard");

    g_session.options = &options;
    g_session.log = &log;
    MessageHook previous = SetMessageHook(answerQuestion);
    RunEnd end;
    {
        SampleProduct product(instance, options, log);
        end = product.run();
    }
    SetMessageHook(previous);

    int code = exitCodeFor(end);
    log.line(std::string("end: ") + endName(end));
    log.line("exit code " + std::to_string(code));
    log.close();
    return code;
}
