// What every setup program does around its wizard (see SetupProgram.h):
// the switches, the checks before anything is written, the message hook,
// the run and what follows it. Moved here from the sample setup, so that the
// sample and the generic setup behave alike.
//
// Unattended, no window may wait for an answer: the program installs a
// message hook (SetMessageHook) through which every question of the library
// and of the program itself is answered by itself with the choice that stops
// safely, and logged. Interactive, the same hook shows each box itself, so
// that the answer is logged too and a confirmed "exit" is known to be the
// user's (the library ends a cancelled run the same way as a failed one).
//
// A run that needs a reboot: /S and /NORESTART (and a product that allows
// no restart) never restart Windows and never ask; they leave the restart to
// the caller and exit with 3010. The interactive run otherwise offers the
// restart as the library does.
//
// In order: started from a removable drive, the program copies itself to
// the temporary folder, starts the copy with the same arguments and ends
// with 0. An earlier version that is registered as the product's own (its
// publisher and uninstaller) is offered for removal once the Ready page's
// Install is pressed (interactive only). After a run that installed the
// files the program adds its own (afterInstall) and the product is
// registered for its uninstaller QRVUnins.Exe (a failure there ends with
// 1603, and the library undoes the run with the registration), and after a
// run that was registered and left files in use their exchange is handed to
// Windows' next start.
#include "SetupProgram.h"

#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

#include "ExchangeCompleter.h"
#include "InstallTarget.h"
#include "LogFile.h"
#include "win32/Ownership.h"

namespace {

// The target folder: the wizard's Browse writes into it. One run per process.
char g_installDir[PathSize];

// The library's "Setup is complete." text, and its question whether to
// remove the earlier version ("%s already exists on your computer ...").
const int kSetupCompleteText = 11130;
const int kEarlierVersionQuestion = 11125;
// RunUninstall's result when the uninstaller removed the earlier version.
const int kUninstallDone = 100;

static_assert(AnswerOk == IDOK && AnswerCancel == IDCANCEL && AnswerYes == IDYES && AnswerNo == IDNO &&
                  AnswerAbort == IDABORT && AnswerRetry == IDRETRY && AnswerIgnore == IDIGNORE,
              "the answers of SetupRules.h are the message box's button codes");

// The Setup object's texts: it keeps the pointers, the facts outlive it.
char* kept(const std::string& text) { return const_cast<char*>(text.c_str()); }

// What the message hook needs; set in WinMain before the hook is installed
// and read by it on any thread. One run per process.
struct Session {
    const Options* options = nullptr;
    RunLog* log = nullptr;
    std::atomic<bool> userEnded{false};
    // A disk's folder browser was cancelled for nobody: the run stopped
    // because a disk is missing or wrong, which no user chose.
    std::atomic<bool> diskNotGiven{false};
};
Session g_session;

// The message hook: every question of the library (and of the program, see
// SetupProgram::tell) comes here, on whichever thread asks.
int CALLBACK answerQuestion(BaseInterface* asker, int stringId, const char* text, unsigned long style) {
    int answer;
    bool automatic = g_session.options->silent;
    if (automatic) {
        answer = unattendedAnswer(stringId, style);
        if (stringId == MessageHookBrowser)
            g_session.diskNotGiven = true;
    } else if (stringId == MessageHookBrowser) {
        g_session.log->line(std::string("folder browser \"") + text + "\" opened");
        return 0;  // the person at the screen chooses
    } else {
        answer = MessageBoxA(asker->GetParentForMessage(), text, asker->messageCaption, style);
        if (answer == 0)
            return 0;  // no box could be opened: the library tries itself
    }
    g_session.log->line(questionLogLine(stringId, text, style, answer, automatic));
    if ((stringId == MessageHookExitQuestion || stringId == MessageHookProductExitQuestion) && answer == IDYES)
        g_session.userEnded = true;
    return answer;
}

// Writes `text` where the caller can read it: the standard output (a
// package manager's pipe), else the console the program was started from,
// else, when nobody would see it, a message box (never in unattended mode).
}  // namespace

void printText(const std::string& text, bool silent, const std::string& caption) {
    std::string crlf;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    win32::FileHandle console;
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        console.reset(CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        out = console.get();
        crlf = "\r\n" + crlf;  // after the prompt the shell has printed already
    }
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE)
        WriteFile(out, crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr);
    else if (!silent)
        MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

namespace {

// The target folder: /D= made absolute, else the product's default folder
// in the Program Files folder. Result: false when the folder does not fit.
bool chooseTarget(const Options& options, const std::string& defaultFolder) {
    std::string below = "\\" + defaultFolder;
    char folder[PathSize];
    if (!options.target.empty()) {
        DWORD length = GetFullPathNameA(options.target.c_str(), sizeof folder, folder, nullptr);
        if (length == 0 || length >= sizeof folder)
            return false;
    } else {
        if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, folder)))
            strcpy(folder, "C:\\Program Files");
        if (strlen(folder) + below.size() >= sizeof folder)
            return false;
        strcat(folder, below.c_str());
    }
    strcpy(g_installDir, folder);
    return true;
}

// Why `folder` may not be the target, "" when it may: the uninstaller could
// not remove what would be installed there, or it is another product's
// folder, whose Install.log the run would replace (over the product's own
// installation the run is an upgrade). `check` receives the target check.
std::string targetRefusal(const char* folder, const std::string& productName, TargetCheck* check) {
    *check = checkInstallTarget(folder);
    if (check->fault != TargetFault::None)
        return targetFaultText(*check, folder);
    std::string other;
    FolderClaim claim = checkFolderClaim(folder, productName.c_str(), &other);
    return folderClaimText(claim, folder, other);
}

// Before anything is written: the target and the log, each as it resolves
// (an 8.3 alias of the Start Menu is the Start Menu), refused when the
// uninstaller could not remove what would be installed or the run would
// destroy what is there. Result: the exit code of the refusal, or
// ExitSuccess to go on; `why` says what was refused.
ExitCode checkPlaces(const Options& options, const SetupFacts& facts, std::string* why) {
    TargetCheck target;
    *why = targetRefusal(g_installDir, facts.productName, &target);
    if (!why->empty())
        return ExitFailure;
    if (options.logPath.empty())
        return ExitSuccess;
    LogFault fault = checkLogFile(options.logPath.c_str(), target.resolved, facts.logFirstLine);
    if (fault != LogFault::None) {
        *why = logFaultText(fault, options.logPath);
        return ExitBadArguments;
    }
    return ExitSuccess;
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

bool userEndedSetup() { return g_session.userEnded && !g_session.diskNotGiven; }

void showHeadingBold(HWND page, int control) {
    static win32::GdiObject<HFONT> headingFont;
    if (!headingFont.valid()) {
        LOGFONTA font;
        HFONT pageFont = reinterpret_cast<HFONT>(SendMessageA(page, WM_GETFONT, 0, 0));
        if (!pageFont || !GetObjectA(pageFont, sizeof font, &font))
            return;
        font.lfWeight = FW_BOLD;
        font.lfHeight = font.lfHeight * 4 / 3;
        headingFont.reset(CreateFontIndirectA(&font));
    }
    if (headingFont.valid())
        SendDlgItemMessageA(page, control, WM_SETFONT, reinterpret_cast<WPARAM>(headingFont.get()), FALSE);
}

namespace {

// How a run that stopped on its way ended: cancelled when a person ended
// it, failed when a disk could not be had unattended (the exit question
// that follows is answered Yes by the program, not by a user).
RunEnd stoppedEnd() { return g_session.diskNotGiven ? RunEnd::Failed : RunEnd::Cancelled; }

}  // namespace

SetupProgram::SetupProgram(HINSTANCE instance, const SetupFacts& productFacts, const Options& runOptions,
                           RunLog& runLog)
    : Setup(instance, kept(productFacts.title), kept(productFacts.productName), kept(productFacts.exeName)),
      facts(productFacts), options(runOptions), log(runLog) {}

std::string SetupProgram::text(int id) const {
    char buffer[1024];
    int length = 0;
    if (languageLibrary)
        length = LoadStringA(languageLibrary, id, buffer, sizeof buffer);
    if (length <= 0)
        length = LoadStringA(productInstance, id, buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, length) : std::string();
}

int SetupProgram::tell(int id, unsigned long style, const std::vector<std::string>& inserts) {
    std::string message = fillText(text(id), inserts);
    return answerQuestion(this, id, message.c_str(), style);
}

RunEnd SetupProgram::readArchiveSize() {
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
        fileCount = header.fileCount;
        log.line("archive: " + std::to_string(header.fileCount) + " files, " +
                 std::to_string(header.totalSize) + " bytes");
        return RunEnd::NotRun;
    }
    log.line("archive: Data1.Dat could not be read");
    return r == StepUserBreak || userEndedSetup() ? stoppedEnd() : RunEnd::Failed;
}

bool SetupProgram::installChosen() {
    // The page stays when the folder is refused or the files do not fit:
    // the user goes back to choose another folder.
    if (!folderAccepted() || !filesFit())
        return false;
    installAccepted = true;
    return true;
}

bool SetupProgram::folderAccepted() {
    TargetCheck check;
    std::string why = targetRefusal(installDirectory, facts.productName, &check);
    log.line("target check: " + (why.empty() ? std::string("accepted ") + installDirectory : why));
    if (!why.empty())
        tell(SetupTextFolderRefused, MB_ICONSTOP, {why});
    return why.empty();
}

bool SetupProgram::filesFit() {
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
    // The drive allocates whole clusters; a drive that does not say how
    // large they are is counted by the byte.
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    uint64_t cluster = 1;
    if (GetDiskFreeSpaceA(query.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        cluster = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    SpaceCheck check = checkSpace(allocatedBound(neededBytes, fileCount, cluster), available.QuadPart);
    log.line("space: " + std::to_string(check.neededKb) + " KB needed at most (" + std::to_string(fileCount) +
             " files in " + std::to_string(cluster) + "-byte clusters), " + std::to_string(check.freeKb) +
             " KB free in " + folder);
    if (!check.fits)
        tell(SetupTextNoSpace, MB_ICONSTOP,
             {driveOf(installDirectory), std::to_string(check.neededKb), std::to_string(check.freeKb)});
    return check.fits;
}

int SetupProgram::TakeProcessInfo(int kind, void* data) {
    if (kind == InfoBeforeFile && data && log.isOpen())
        log.line(std::string("file ") + static_cast<const FileNotice*>(data)->targetPath);
    return Setup::TakeProcessInfo(kind, data);
}

bool SetupProgram::earlierVersionEntry(UninstallEntry* entry) const {
    win32::RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallKeyFor(productName).c_str(), 0, KEY_READ, key.out()) !=
        ERROR_SUCCESS)
        return false;
    auto text = [&](const char* name) {
        char value[PathSize * 2];
        DWORD size = sizeof value - 1, type = 0;
        if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::string();
        value[size] = '\0';
        return std::string(value);
    };
    entry->displayName = text("DisplayName");
    entry->uninstallString = text("UninstallString");
    entry->publisher = text("Publisher");
    entry->installLocation = text("InstallLocation");
    entry->displayVersion = text("DisplayVersion");
    return true;
}

void SetupProgram::offerRemoval() {
    UninstallEntry entry;
    if (!earlierVersionEntry(&entry))
        return;
    char windows[PathSize] = "";
    UINT length = GetWindowsDirectoryA(windows, PathSize);
    if (length == 0 || length >= PathSize ||
        !isOwnEntry(entry, productName, facts.publisher, windows)) {
        // Same name, but not what our registration writes: another
        // publisher's product, or one removed by some other program.
        log.line("earlier version: an entry of that name that is not ours (publisher \"" + entry.publisher +
                 "\", uninstaller \"" + entry.uninstallString + "\"); not offered");
        return;
    }
    if (options.silent) {
        // Nobody chose to remove it: the files are installed over it.
        log.line("earlier version: registered; kept (/S removes nothing, the install goes over it)");
        return;
    }
    std::string what = earlierVersionText(entry);
    if (ShowMessage(kEarlierVersionQuestion, MB_YESNO | MB_ICONQUESTION, &what[0]) != IDYES) {
        log.line("earlier version: registered; kept (the user answered No)");
        return;
    }
    int removed = RunUninstall();
    log.line("earlier version: RunUninstall " + std::to_string(removed) +
             (removed == kUninstallDone ? " (removed)" : " (not removed; the install goes over it)"));
}

bool SetupProgram::registerProduct() {
    if (!RegisterApplication()) {
        log.line("registration: RegisterApplication failed");
        return false;
    }
    log.line("registration: RegisterApplication done");
    std::string key = uninstallKeyFor(productName);
    ProductFacts product{installDirectory, facts.icon.empty() ? facts.exeName : facts.icon, facts.version,
                         facts.publisher, neededBytes};
    for (const UninstallValue& value : uninstallValues(product)) {
        std::string name = value.name;
        DWORD number = value.number;
        std::string text = value.text;
        int written = value.isNumber
                          ? WriteToRegistry(HKEY_LOCAL_MACHINE, &key[0], &name[0], REG_DWORD,
                                            reinterpret_cast<unsigned char*>(&number), sizeof number)
                          : WriteToRegistry(HKEY_LOCAL_MACHINE, &key[0], &name[0], REG_SZ,
                                            reinterpret_cast<unsigned char*>(&text[0]),
                                            static_cast<unsigned long>(text.size() + 1));
        log.line("registration: " + name + " = " +
                 (value.isNumber ? std::to_string(number) : "\"" + text + "\"") + (written ? "" : " FAILED"));
        if (!written)
            return false;
    }
    return true;
}

void SetupProgram::completePendingExchanges() {
    ExchangeCompletion done = completeExchanges();
    log.line("exchange at restart: " + std::to_string(done.registered) + " registered, " +
             std::to_string(done.stale) + " stale, " + std::to_string(done.left) + " left");
}

// Both closing operations that follow an installed run register the product
// first: before the library's closing message, and before a restart it may
// offer. An addition or a registration that fails ends the run as failed,
// without them, and the library undoes it whole (AbandonRun).
int SetupProgram::ProcessOK() {
    end_ = RunEnd::Complete;
    if (!afterInstall() || !registerProduct()) {
        end_ = RunEnd::Failed;
        AbandonRun(this);
        HideAll();
        return 0;
    }
    return 1;  // the library says "Setup is complete." (answered by itself under /S)
}

int SetupProgram::ProcessNeedReboot() {
    end_ = RunEnd::Reboot;
    if (!afterInstall() || !registerProduct()) {
        end_ = RunEnd::Failed;
        AbandonRun(this);
        rebootNeeded = 0;  // the failure is said; no restart is offered with it
        HideAll();
        return 0;
    }
    // Registered, the run stays: its files in use are exchanged at the next start.
    completePendingExchanges();
    if (!options.silent && !options.noRestart && facts.restartAllowed)
        return 1;  // the library offers the restart
    // Nobody is asked and nothing restarts; the closing of the background
    // window must not offer it either.
    rebootNeeded = 0;
    const char* why = options.silent ? "/S" : options.noRestart ? "/NORESTART" : "the product offers none";
    log.line("restart: needed, left to the caller (" + std::string(why) + ")");
    if (!options.silent) {
        SetLastDlgHWND(GetActiveWindow());
        ShowMessage(kSetupCompleteText, MB_ICONINFORMATION);
    }
    HideAll();
    return 0;
}

int SetupProgram::ProcessError() {
    end_ = userEndedSetup() ? RunEnd::Cancelled : RunEnd::Failed;
    return 1;
}

int SetupProgram::ProcessUserBreak() {
    end_ = stoppedEnd();
    return 1;
}

void SetupProgram::settleWindows() {
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

void SetupProgram::logGroups() {
    std::string line = "groups:";
    for (int group = 1; group <= facts.groupCount; ++group)
        line += " " + std::to_string(group) + (GetGroupStatus(group) == 0 ? " off" : " on");
    log.line(line);
}

RunEnd SetupProgram::run() {
    if (!MainWindowExist())
        return RunEnd::NotRun;  // the library has said why
    MakeGroupList(facts.groupCount);
    groupsMade();
    SetInstallDirectory(g_installDir);
    SetParentForMessage(backgroundWindow);

    RunEnd ended = readArchiveSize();
    if (ended == RunEnd::NotRun) {
        if (options.silent) {
            offerRemoval();
            if (!filesFit())
                ended = RunEnd::Failed;
        } else {
            ShowBGWindow(SW_SHOW);
            CreateExitButton();
            if (!offersLanguageChoice())
                log.line("language button: not offered (one language)");
            else if (!CreateChoseLanButton())
                log.line("language button: could not be shown");
            switch (runWizard()) {
            case WizardEnd::Accepted: break;
            case WizardEnd::Cancelled: ended = RunEnd::Cancelled; break;
            case WizardEnd::Failed: ended = RunEnd::Failed; break;
            }
            // The choice is made: the run's progress dialog needs no button.
            if (languageButtonDialog)
                DestroyChoseLanButton();
            // Only once the user has said Install: a wizard cancelled
            // before then leaves the earlier version as it was.
            if (ended == RunEnd::NotRun) {
                SetParentForMessage(backgroundWindow);  // the pages that owned the messages are gone
                offerRemoval();
            }
        }
    }
    if (ended == RunEnd::NotRun) {
        log.line(std::string("target: ") + installDirectory);
        logGroups();
        Process();
        ended = end_;
        // A setup killed on this folder before was undone by this one's start.
        char recovered[PathSize * 2];
        if (GetRecoveryLine(this, recovered, sizeof recovered) > 0)
            log.line(recovered);
    }
    settleWindows();
    HideAll();
    if (ended == RunEnd::Failed)
        tell(SetupTextFailed, MB_ICONSTOP, {productName});
    else if (ended == RunEnd::Cancelled)
        tell(SetupTextCancelled, MB_ICONINFORMATION, {productName});
    return ended;
}

namespace {

// The target folder of /D= in UTF-8 when the program's code page lacks some
// of its characters (a system without UTF-8 for programs: the folder has
// reached the program with '?' in their place), else "".
std::string unrepresentableTarget() {
    const wchar_t* wide = GetCommandLineW();
    BOOL lost = FALSE;
    if (GetACP() == CP_UTF8 ||
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &lost) == 0 || !lost)
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string line(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &line[0], size, nullptr, nullptr);
    line.resize(strlen(line.c_str()));
    for (size_t at = 0; at + 3 <= line.size(); ++at)
        if (line[at] == '/' && (line[at + 1] == 'D' || line[at + 1] == 'd') && line[at + 2] == '=')
            return line.substr(at + 3);
    return std::string();
}

// The first step: on a removable drive the program goes on from a copy in
// the temporary folder, started with the same arguments, and this process
// ends at once with 0 (the copy's exit code is the one that tells how the
// install ended). Result: true to go on here.
bool goOnHere(HINSTANCE instance, const char* commandLine, const Options& options, const SetupFacts& facts) {
    // The Setup object's background window stays hidden until run() shows
    // it; a message its construction may put is answered as the switches
    // say (nothing is logged yet: the copy writes the log).
    RunLog noLog;
    g_session.options = &options;
    g_session.log = &noLog;
    MessageHook previous = SetMessageHook(answerQuestion);
    std::string line = commandLine ? commandLine : "";
    int here;
    {
        Setup probe(instance, kept(facts.title), kept(facts.productName), kept(facts.exeName));
        here = probe.IsRunFromHardDrive(&line[0], SW_SHOWNORMAL);
    }
    SetMessageHook(previous);
    g_session.options = nullptr;
    g_session.log = nullptr;
    return here != 0;
}

}  // namespace

int runSetupProgram(HINSTANCE instance, const char* commandLine, const SetupFacts& facts, const SetupMaker& make) {
    // First of all: a DLL lying beside the setup (a Downloads folder) is
    // never loaded in place of Windows' own.
    RestrictDllSearch();
    // Apps & features links to these from the Uninstall entry.
    SetProductLinks(facts.aboutUrl.c_str(), facts.helpUrl.c_str());
    // Reading the switches changes nothing: the copy reads them again.
    Options options = parseArguments(commandLine);
    if (!goOnHere(instance, commandLine, options, facts))
        return ExitSuccess;
    std::string help = helpText(facts.program, facts.productName, "C:\\Program Files\\" + facts.defaultFolder);
    if (options.help) {
        printText(help, options.silent, facts.title);
        return ExitSuccess;
    }
    if (options.error.empty() && !chooseTarget(options, facts.defaultFolder))
        options.error = "the folder is too long: " + options.target;
    if (!options.error.empty()) {
        printText(facts.program + ": " + options.error + "\n\n" + help, options.silent, facts.title);
        return ExitBadArguments;
    }
    // A folder that reached the program with '?' for characters it lacks
    // is not the one asked for: refused before it is judged or written to.
    std::string lost = unrepresentableTarget();
    if (!lost.empty()) {
        std::string why = "the folder " + lost + " cannot be used: this system's code page lacks characters of its name";
        RunLog lostLog;
        if (!options.logPath.empty() && lostLog.open(options.logPath.c_str(), facts.logFirstLine.c_str())) {
            lostLog.line(why);
            lostLog.line("exit code " + std::to_string(ExitFailure));
        }
        printText(facts.program + ": " + why + "; nothing was done\n", options.silent, facts.title);
        return ExitFailure;
    }
    std::string refused;
    ExitCode refusal = checkPlaces(options, facts, &refused);
    if (refusal != ExitSuccess) {
        printText(facts.program + ": " + refused + "; nothing was done\n", options.silent, facts.title);
        return refusal;
    }
    RunLog log;
    if (!options.logPath.empty() && !log.open(options.logPath.c_str(), facts.logFirstLine.c_str())) {
        printText(facts.program + ": the log " + options.logPath + " cannot be written\n", options.silent,
                  facts.title);
        return ExitFailure;
    }
    log.line("start " + localTime());
    // Which copy runs: from a removable drive, the one in the temporary folder.
    char program[PathSize] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    log.line(std::string("program: ") + program);
    log.line(std::string("arguments: ") + (commandLine ? commandLine : ""));
    log.line(options.silent ? "mode: unattended" : "mode: wizard");

    g_session.options = &options;
    g_session.log = &log;
    MessageHook previous = SetMessageHook(answerQuestion);
    // A run that does not complete leaves the machine as it found it.
    SetInstallTransactions(1);
    RunEnd end;
    {
        std::unique_ptr<SetupProgram> product = make(options, log);
        end = product->run();
    }
    SetMessageHook(previous);

    int code = exitCodeFor(end);
    log.line(std::string("end: ") + endName(end));
    log.line("exit code " + std::to_string(code));
    log.close();
    return code;
}
