// QRVUnins.Exe: removes a product that Setup.Dll installed. It finds the
// product's Uninstall entry and installation folder, reads the Install.log
// there (after undoing the run of a setup killed in that folder, with the
// engine's own code, filemanager/JournalUndo), and carries out the plan
// RemovalPlan makes of it on what the names resolve to (MachinePaths),
// keeping what other registered products' logs list: the listed files
// last installed first (a file in use is left to the next start of Windows),
// the folders left empty, the registry keys of the product's registration,
// then Install.log and the installation folder when empty. Arguments and exit
// codes: README.md beside this file. Nothing here decides what to remove;
// this file only asks the plan and acts, and writes what it did to
// QRVUnins.log in the user's temporary folder and, asked with /LOG=<file>,
// each step as it is taken, with its Windows error code, to that log (the
// companion's LogFile, with the sample setup's refusal rule). It deletes
// only through a handle that is the item itself: a link goes as the link,
// or stays.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "LogFile.h"
#include "filemanager/JournalUndo.h"
#include "format/InstallLog.h"
#include "format/LogText.h"
#include "format/NameEncoding.h"
#include "format/RegistryNames.h"
#include "format/Records.h"
#include "format/RegistryList.h"
#include "tools/uninstaller/MachinePaths.h"
#include "tools/uninstaller/RegistryUndo.h"
#include "tools/uninstaller/RemovalPlan.h"
#include "tools/uninstaller/UninstallerIds.h"
#include "win32/CodePage.h"
#include "win32/Ownership.h"
#include "win32/SystemLibrary.h"

static_assert(ShellFolderDesktop == CSIDL_DESKTOPDIRECTORY && ShellFolderStartup == CSIDL_STARTUP &&
                  ShellFolderStartMenu == CSIDL_STARTMENU && ShellFolderPrograms == CSIDL_PROGRAMS,
              "the shell folders of format/Records.h are the shell's own numbers");

namespace {

// The most Install.log may hold: far beyond any product (115,000 files).
const DWORD kLogLimit = 64u * 1024 * 1024;

std::string loadText(UINT id) {
    char text[512] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
    return text;
}

// A message text: the string `id` with its %s and %u filled in.
template <class... Args>
std::string format(UINT id, Args... args) {
    char text[2048];
    snprintf(text, sizeof text, loadText(id).c_str(), args...);
    return text;
}

// What the user sees: nothing at all when unattended; the progress dialog
// while files go.
class Screen {
public:
    explicit Screen(bool unattended) : unattended_(unattended) {}
    // MessageBox's answer; IDOK when unattended (nothing shown).
    int message(const std::string& text, UINT style) {
        if (unattended_)
            return IDOK;
        return MessageBoxA(dialog_.get(), text.c_str(), loadText(IDS_CAPTION).c_str(), style | MB_SETFOREGROUND);
    }
    void open(const std::string& title, size_t steps) {
        if (unattended_)
            return;
        dialog_.reset(CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                         proc, 0));
        if (!dialog_.valid())
            return;
        SetDlgItemTextA(dialog_.get(), IDC_PROGRESS_TEXT, title.c_str());
        SendDlgItemMessageA(dialog_.get(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, static_cast<LPARAM>(steps));
        pump();
    }
    // Shown at most every kRefreshMs: a log of thousands of files would
    // otherwise spend its time painting.
    void step(const std::string& what) {
        ++done_;
        if (!dialog_.valid() || GetTickCount() - shown_ < kRefreshMs)
            return;
        shown_ = GetTickCount();
        SetDlgItemTextA(dialog_.get(), IDC_PROGRESS_FILE, what.c_str());
        SendDlgItemMessageA(dialog_.get(), IDC_PROGRESS_BAR, PBM_SETPOS, done_, 0);
        pump();
    }
    void close() { dialog_.reset(); }

private:
    static INT_PTR CALLBACK proc(HWND, UINT message, WPARAM, LPARAM) {
        return message == WM_INITDIALOG ? TRUE : FALSE;
    }
    // The dialog paints between steps: the work runs on this thread.
    void pump() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!IsDialogMessageA(dialog_.get(), &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
    }
    static const DWORD kRefreshMs = 40;
    bool unattended_;
    win32::Window dialog_;
    WPARAM done_ = 0;
    DWORD shown_ = 0;
};

// The first line of every log /LOG= writes: a file that starts with it is
// one this program may append to.
const char kLogFirstLine[] = "QRVUnins.Exe uninstall log";

// What was done, for QRVUnins.log, and each step as it is taken for the
// /LOG= file when one is open.
class Report {
public:
    explicit Report(LogFile* log = nullptr) : log_(log) {}
    void add(const char* what, const std::string& path, DWORD error = 0) {
        text_ += std::string(what) + "\t" + path + "\r\n";
        if (log_)
            log_->line(std::string(what) + ": " + path + (error ? ": " + windowsErrorText(error) : std::string()));
    }
    // The report's path ("" when it cannot be written).
    std::string write() const {
        char folder[MAX_PATH];
        DWORD n = GetTempPathA(sizeof folder, folder);
        if (n == 0 || n >= sizeof folder)
            return "";
        std::string path = std::string(folder) + "QRVUnins.log";
        win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file.valid() || !WriteFile(file.get(), text_.data(), static_cast<DWORD>(text_.size()), &written, nullptr))
            return "";
        return path;
    }

private:
    LogFile* log_;
    std::string text_;
};

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

bool keyExists(HKEY root, const std::string& key) {
    win32::RegistryKey k;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.out()) == ERROR_SUCCESS;
}

// Removes `key` and everything below it: ERROR_SUCCESS when it is gone,
// else the registry's error.
LONG deleteTree(HKEY root, const std::string& key) {
    {
        win32::RegistryKey k;
        LONG r = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WRITE, k.out());
        if (r == ERROR_FILE_NOT_FOUND)
            return ERROR_SUCCESS;
        if (r != ERROR_SUCCESS)
            return r;
        // Always the first subkey: each one found is deleted before the next look.
        for (;;) {
            char name[256];
            DWORD length = sizeof name;
            if (RegEnumKeyExA(k.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (LONG r = deleteTree(root, key + "\\" + name))
                return r;
        }
    }
    return RegDeleteKeyA(root, key.c_str());
}

// Removes the parents of `key` that are left empty, up to `keepAbove`
// (never the root itself).
void deleteEmptyParents(HKEY root, std::string key, const std::string& keepAbove) {
    for (;;) {
        size_t slash = key.rfind('\\');
        if (slash == std::string::npos)
            return;
        key.resize(slash);
        if (!keepAbove.empty() && lstrcmpiA(key.c_str(), keepAbove.c_str()) == 0)
            return;
        DWORD subkeys = 1, values = 1;
        {
            win32::RegistryKey k;
            if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS ||
                RegQueryInfoKeyA(k.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                 nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                return;
        }
        if (subkeys || values || RegDeleteKeyA(root, key.c_str()) != ERROR_SUCCESS)
            return;
    }
}

std::string logPathIn(const std::string& folder) {
    return folder.empty() || folder.back() == '\\' ? folder + kInstallLogName
                                                   : folder + "\\" + kInstallLogName;
}

enum class LogRead { Read, Missing, TooLarge };

LogRead readLog(const std::string& path, std::vector<unsigned char>* bytes) {
    win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return LogRead::Missing;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size))
        return LogRead::Missing;
    if (size.QuadPart > kLogLimit)
        return LogRead::TooLarge;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes->empty() &&
        (!ReadFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) || got != bytes->size()))
        return LogRead::Missing;
    // Names as this process speaks them (UTF-8 by the manifest): a name the
    // code page lacks stays as it is, its file is not found and so reported.
    localizeLogNames(bytes->data(), bytes->size(), win32::toProcessCodePage, win32::processCodePageIs1252());
    return LogRead::Read;
}

// What became of a file to remove.
enum class Gone {
    Deleted,    // deleted now
    Absent,     // not there (removed by hand, or a temporary file already exchanged)
    Scheduled,  // in use: Windows deletes it at its next start
    KeptLink,   // a link that cannot be opened as itself: it stays, and so does its target
    Failed      // neither (no right to it, or a folder stands at its place)
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// `path` opened as the item itself, never what a link leads to. Windows
// honours FILE_FLAG_OPEN_REPARSE_POINT; Wine opens a file's symbolic link as
// its target whatever the flag says, and DeleteFile, MoveFileEx and
// RemoveDirectory then act on the target. So the item counts as itself only
// when the handle's final path is `path` (or, where Windows cannot tell the
// final path, when it carries no reparse point).
enum class Opened { Itself, Absent, InUse, Elsewhere, Denied };
Opened openItself(const std::string& path, DWORD* attributes) {
    win32::FileHandle item(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!item.valid()) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Opened::Absent;
        return error == ERROR_SHARING_VIOLATION ? Opened::InUse : Opened::Denied;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(item.get(), &info))
        return Opened::Denied;
    *attributes = info.dwFileAttributes;
    std::string where = finalPathOf(item.get());
    if (where.empty() ? (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 : !samePath(where, path))
        return Opened::Elsewhere;
    return Opened::Itself;
}

// Deletes a file (a link as the link: DeleteFile removes a link, not its
// target, once the path is known to be the link); one that is in use goes
// at the next start of Windows. *error receives the Windows error of a
// removal that failed or was left to the next start, else 0.
Gone removeFile(const std::string& path, DWORD* error) {
    *error = 0;
    DWORD attributes = 0;
    switch (openItself(path, &attributes)) {
    case Opened::Itself: break;
    case Opened::Absent: return Gone::Absent;
    case Opened::Elsewhere: return Gone::KeptLink;
    case Opened::InUse:
    case Opened::Denied: *error = GetLastError(); return Gone::Failed;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        *error = ERROR_DIRECTORY;
        return Gone::Failed;  // a folder where the log names a file: not ours to empty
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(path.c_str()))
        return Gone::Deleted;
    *error = GetLastError();
    if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return Gone::Scheduled;
    *error = GetLastError();
    return Gone::Failed;
}

// The full paths of what `folder` holds, files and folders, without looking
// inside the folders.
std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> entries;
    WIN32_FIND_DATAA found;
    win32::FindHandle search(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!search.valid())
        return entries;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            entries.push_back(folder + "\\" + found.cFileName);
    } while (FindNextFileA(search.get(), &found));
    return entries;
}

// A folder removed now when it is empty; when it still holds a file that
// goes at the next start, its removal is scheduled after that file. A link
// standing for a folder (which shows a reparse point, under Wine too) goes
// only as itself. A folder that stays for what the product did not install
// in it names each of those entries.
void removeFolder(const std::string& folder, bool holdsScheduled, const PlannedPaths& planned, Report& report) {
    DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && openItself(folder, &attributes) != Opened::Itself) {
        report.add("kept folder (a link)", folder);
        return;
    }
    if (RemoveDirectoryA(folder.c_str())) {
        report.add("removed folder", folder);
        return;
    }
    DWORD error = GetLastError();
    if (holdsScheduled && MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        report.add("folder at next start", folder, error);
        return;
    }
    report.add("kept folder (not empty)", folder, error);
    for (const std::string& entry : planned.unplanned(folderEntries(folder)))
        report.add("kept (not installed with the product)", entry);
}

// The folders that hold a file left to the next start, each with every
// folder above it, so that a folder asks once.
class ScheduledFolders {
public:
    void add(const std::string& file) {
        std::vector<std::string> parts;
        if (splitPath(file, &parts))
            for (size_t n = 1; n < parts.size(); ++n)
                keys_.insert(pathKey(parts, n));
    }
    bool holds(const std::string& folder) const {
        std::vector<std::string> parts;
        return splitPath(folder, &parts) && keys_.count(pathKey(parts, parts.size())) > 0;
    }

private:
    std::unordered_set<std::string> keys_;
};

struct Product {
    std::string name;     // as its Uninstall entry is named
    std::string display;  // its DisplayName, for messages
    bool askedAlready = false;
    std::string exeName;  // the program's file name, from the product key
    std::string program;  // the program's full path, from App Paths
};

// The installation folder: InstallLocation, else the folder of the program
// or one above it whose Install.log lists the program.
std::string findInstallFolder(const Product& p, const KnownFolders& machine) {
    std::string folder = registryText(HKEY_LOCAL_MACHINE, uninstallKey(p.name), "InstallLocation");
    if (!folder.empty())
        return folder;
    std::string programFolder;
    if (!p.exeName.empty())
        programFolder = registryText(HKEY_LOCAL_MACHINE, appPathsKey(p.exeName), "Path");
    if (programFolder.empty() && !p.program.empty())
        programFolder = p.program.substr(0, p.program.rfind('\\'));
    std::vector<std::string> candidates = installFolderCandidates(programFolder);
    for (const std::string& candidate : candidates) {
        std::vector<unsigned char> log;
        if (readLog(logPathIn(candidate), &log) != LogRead::Read)
            continue;
        if (p.program.empty())
            return candidates.front() == candidate ? candidate : "";
        KnownFolders f = machine;
        f.install = candidate;
        RemovalPlan plan = planRemoval(log.data(), log.size(), f);
        for (const PlannedFile& file : plan.files)
            if (samePath(file.path, p.program))
                return candidate;
    }
    return "";
}

// What the registry says of the product `name` (its askedAlready unset).
Product productNamed(const std::string& name) {
    Product p;
    p.name = name;
    p.display = registryText(HKEY_LOCAL_MACHINE, uninstallKey(name), "DisplayName");
    if (p.display.empty())
        p.display = name;
    p.exeName = registryText(HKEY_LOCAL_MACHINE, productKey(name), nullptr);
    if (!validKeyName(p.exeName))
        p.exeName.clear();
    if (!p.exeName.empty())
        p.program = registryText(HKEY_LOCAL_MACHINE, appPathsKey(p.exeName), nullptr);
    return p;
}

// Every file the Install.logs of the other registered products (the
// Uninstall entries but `self`'s, each in the folder it is found in as this
// product's is) list, where their own plans find them. A log that cannot be
// read or is damaged lists nothing.
std::vector<std::string> filesOfOtherProducts(const std::string& self, const KnownFolders& machine,
                                              PathResolver& resolver) {
    std::vector<std::string> files;
    for (const std::string& name : uninstallEntryNames()) {
        if (!validKeyName(name) || lstrcmpiA(name.c_str(), self.c_str()) == 0)
            continue;
        Product other = productNamed(name);
        std::string folder = findInstallFolder(other, machine);
        if (folder.empty())
            continue;
        KnownFolders theirs = machine;
        theirs.install = resolver.resolve(folder).target;
        std::vector<unsigned char> log;
        if (samePath(theirs.install, machine.install) || readLog(logPathIn(theirs.install), &log) != LogRead::Read)
            continue;
        for (const PlannedFile& file : planRemoval(log.data(), log.size(), theirs, resolver).files)
            files.push_back(file.path);
    }
    return files;
}

// Opens the /LOG= file, when one is asked and not open yet, for a removal
// from `folder` ("" while no folder is known: the log may not lie in it).
// False when the rule refuses it or it cannot be written (said so; nothing
// written, nothing removed).
bool openLog(const CommandLine& command, const std::string& folder, LogFile& log, Screen& screen) {
    if (command.logPath.empty() || log.isOpen())
        return true;
    LogFault fault = checkLogFile(command.logPath.c_str(), folder, kLogFirstLine);
    if (fault == LogFault::None && log.open(command.logPath.c_str(), kLogFirstLine)) {
        log.line("start: " + command.name + (command.unattended ? " (unattended)" : ""));
        if (!folder.empty())
            log.line("folder: " + folder);
        return true;
    }
    std::string why = fault != LogFault::None ? logFaultText(fault, command.logPath)
                                              : "the log " + command.logPath + " cannot be written";
    screen.message(format(IDS_LOG_REFUSED, why.c_str()), MB_ICONSTOP);
    return false;
}

// The whole removal, asked by `command`. Results: the exit codes of
// format/UninstallerExit.h (ExitRemoved, ExitDeclined, ExitUnknownProduct,
// ExitLogMissing, ExitLogDamaged, ExitUnsafeFolder, ExitSetupRunning,
// ExitIncomplete), each
// shown to the user first unless the command is unattended.
UninstallExit uninstall(const CommandLine& command, LogFile& stepLog) {
    Screen screen(command.unattended);
    Product product;
    bool found = false;
    for (const ProductChoice& choice : productChoices(command.name)) {
        if (validKeyName(choice.product) && keyExists(HKEY_LOCAL_MACHINE, uninstallKey(choice.product))) {
            product.name = choice.product;
            product.askedAlready = choice.askedAlready;
            found = true;
            break;
        }
    }
    if (!found) {
        if (!openLog(command, "", stepLog, screen))
            return ExitUsage;
        stepLog.line("refused: no Uninstall entry named " + command.name);
        screen.message(format(IDS_NO_ENTRY, command.name.c_str()), MB_ICONSTOP);
        return ExitUnknownProduct;
    }
    bool asked = product.askedAlready;
    product = productNamed(product.name);
    product.askedAlready = asked;

    MachineResolver resolver;
    KnownFolders folders = machineFolders(resolver);
    std::string registered = findInstallFolder(product, folders);
    if (registered.empty()) {
        if (!openLog(command, "", stepLog, screen))
            return ExitUsage;
        stepLog.line("refused: no installation folder found for " + product.name);
        screen.message(format(IDS_NO_FOLDER, product.display.c_str()), MB_ICONSTOP);
        return ExitUnknownProduct;
    }
    // Every rule holds for what the folder is, however it is spelt: an 8.3
    // alias or a link of Program Files is Program Files.
    folders.install = resolver.resolve(registered).target;
    if (!openLog(command, folders.install, stepLog, screen))
        return ExitUsage;
    LogFile* steps = stepLog.isOpen() ? &stepLog : nullptr;
    if (!installFolderAcceptable(folders)) {
        Report refused(steps);
        std::string root;
        sharedRootClash(folders.install, folders.shared, &root);
        refused.add("refused folder", registered + "\t" + folders.install + (root.empty() ? "" : "\t" + root));
        refused.write();
        screen.message(format(IDS_UNSAFE, product.display.c_str(), folders.install.c_str()), MB_ICONSTOP);
        return ExitUnsafeFolder;
    }
    // A setup killed in this folder left its journal: its run is undone
    // first, so that Install.log and the files are the last complete
    // installation's. One still at work keeps everything as it is.
    Report report(steps);
    switch (recoverJournal(folders.install.c_str())) {
    case JournalFound::None: break;
    case JournalFound::RolledBack:
        report.add("rolled back an unfinished setup", folders.install + "\\" + kJournalName);
        break;
    case JournalFound::InUse:
        stepLog.line("refused: a setup holds " + folders.install + "\\" + kJournalName);
        screen.message(format(IDS_SETUP_RUNNING, product.display.c_str()), MB_ICONSTOP);
        return ExitSetupRunning;
    }
    std::string logPath = logPathIn(folders.install);
    std::vector<unsigned char> log;
    switch (readLog(logPath, &log)) {
    case LogRead::Read: break;
    case LogRead::Missing:
        stepLog.line("refused: " + logPath + " cannot be read");
        screen.message(format(IDS_LOG_MISSING, logPath.c_str()), MB_ICONSTOP);
        return ExitLogMissing;
    case LogRead::TooLarge:
        stepLog.line("refused: " + logPath + " is far too large");
        screen.message(format(IDS_LOG_DAMAGED, logPath.c_str(), 0u, "far too large"), MB_ICONSTOP);
        return ExitLogDamaged;
    }
    RemovalPlan plan = planRemoval(log.data(), log.size(), folders, resolver);
    if (!plan.valid) {
        stepLog.line("refused: " + logPath + " is damaged at record " + std::to_string(plan.badRecord + 1) + ": " +
                 plan.fault);
        screen.message(format(IDS_LOG_DAMAGED, logPath.c_str(), static_cast<unsigned>(plan.badRecord + 1),
                              plan.fault.c_str()),
                       MB_ICONSTOP);
        return ExitLogDamaged;
    }
    if (!product.askedAlready &&
        screen.message(format(IDS_ASK, product.display.c_str()), MB_YESNO | MB_ICONQUESTION) == IDNO) {
        stepLog.line("declined: the user answered No");
        return ExitDeclined;
    }
    // Another product in or beside this folder keeps what its own log lists.
    keepOtherProductsFiles(plan, filesOfOtherProducts(product.name, folders, resolver));

    std::vector<RegistryRemoval> keys = registryRemovals(product.name, product.exeName);
    screen.open(format(IDS_PROGRESS, product.display.c_str()),
                plan.files.size() + plan.folders.size() + keys.size() + 1);
    PlannedPaths planned(plan);
    planned.add(logPath);
    planned.add(folders.install + "\\" + kRegistryListName);
    unsigned failed = 0;
    bool restart = false;
    ScheduledFolders scheduled;
    for (const PlannedFile& file : plan.files) {
        screen.step(file.path);
        switch (file.fate) {
        case FileFate::Remove: break;
        case FileFate::Shared: report.add("kept shared", file.path); continue;
        case FileFate::Outside: report.add("kept outside", file.path); continue;
        case FileFate::NotShortcut: report.add("kept (not a shortcut)", file.path); continue;
        case FileFate::Self: report.add("kept (the uninstaller)", file.path); continue;
        case FileFate::BehindLink: report.add("kept (behind a link)", file.path); continue;
        case FileFate::OtherProduct: report.add("kept (another product's)", file.path); continue;
        }
        DWORD error = 0;
        switch (removeFile(file.path, &error)) {
        case Gone::Deleted: report.add(file.link ? "removed link" : "removed", file.path); break;
        case Gone::Absent: report.add("already gone", file.path); break;
        case Gone::KeptLink: report.add("kept (a link that cannot be removed without its target)", file.path); break;
        case Gone::Scheduled:
            report.add("at next start", file.path, error);
            scheduled.add(file.path);
            restart = true;
            break;
        case Gone::Failed:
            report.add("FAILED", file.path, error);
            ++failed;
            break;
        }
    }
    for (const std::string& folder : plan.folders) {
        screen.step(folder);
        removeFolder(folder, scheduled.holds(folder), planned, report);
    }
    if (failed) {
        // The entry and the log stay, so that the removal can be tried again.
        std::string where = report.write();
        stepLog.line("incomplete: " + std::to_string(failed) + " files stay; the entry and " + logPath + " are kept");
        screen.close();
        screen.message(format(IDS_INCOMPLETE, product.display.c_str(), failed, where.c_str()), MB_ICONSTOP);
        return ExitIncomplete;
    }
    for (const RegistryRemoval& key : keys) {
        screen.step(key.key);
        HKEY root = rootKey(key.root);
        if (key.onlyIfInside && !pathInside(folders.install, registryText(root, key.key, nullptr))) {
            report.add("kept key (another program's)", key.key);
            continue;
        }
        LONG error = deleteTree(root, key.key);
        if (error == ERROR_SUCCESS) {
            report.add("removed key", key.key);
            deleteEmptyParents(root, key.key, key.keepAbove);
        } else {
            report.add("FAILED key", key.key, static_cast<DWORD>(error));
        }
    }
    // The registry values and keys a setup program listed beside the log.
    for (const auto& line : undoRegistryList(folders.install))
        report.add(line.first, line.second);
    screen.step(logPath);
    DWORD error = 0;
    switch (removeFile(logPath, &error)) {
    case Gone::KeptLink: report.add("kept (a link that cannot be removed without its target)", logPath); break;
    case Gone::Deleted: report.add("removed", logPath); break;
    case Gone::Scheduled: report.add("at next start", logPath, error); break;
    case Gone::Failed: report.add("FAILED", logPath, error); break;
    case Gone::Absent: break;
    }
    removeFolder(folders.install, scheduled.holds(folders.install), planned, report);
    report.write();
    screen.close();
    if (!product.askedAlready)
        screen.message(format(restart ? IDS_DONE_RESTART : IDS_DONE, product.display.c_str()),
                       MB_ICONINFORMATION);
    return ExitRemoved;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    // Whatever this process loads later by name comes from the system folder.
    win32::restrictDllSearch();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    win32::ComApartment com;  // for the shell's folder lookups
    CommandLine command;
    if (!parseCommandLine(commandLine, &command)) {
        if (!command.unattended)
            MessageBoxA(nullptr, loadText(IDS_USAGE).c_str(), loadText(IDS_CAPTION).c_str(), MB_ICONSTOP);
        return ExitUsage;
    }
    LogFile log;
    UninstallExit exit = uninstall(command, log);
    log.line("exit code " + std::to_string(static_cast<int>(exit)));
    return exit;
}
