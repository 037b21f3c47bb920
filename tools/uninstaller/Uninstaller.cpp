// QRVUnins.Exe: removes a product that Setup.Dll installed. It finds the
// product's Uninstall entry and installation folder, reads the Install.log
// there, and carries out the plan RemovalPlan makes of it: the listed files
// last installed first (a file in use is left to the next start of Windows),
// the folders left empty, the registry keys of the product's registration,
// then Install.log and the installation folder when empty. Arguments and exit
// codes: README.md beside this file. Nothing here decides what to remove;
// this file only asks the plan and acts, and writes what it did to
// QRVUnins.log in the user's temporary folder.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <stdio.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "format/InstallLog.h"
#include "format/Records.h"
#include "tools/uninstaller/RemovalPlan.h"
#include "tools/uninstaller/UninstallerIds.h"
#include "win32/Ownership.h"

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

// What was done, for QRVUnins.log.
class Report {
public:
    void add(const char* what, const std::string& path) { text_ += std::string(what) + "\t" + path + "\r\n"; }
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
    std::string text_;
};

HKEY rootKey(RegistryRoot root) {
    return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

bool keyExists(HKEY root, const std::string& key) {
    win32::RegistryKey k;
    return RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.out()) == ERROR_SUCCESS;
}

// A text value ("" when absent, not text, or too long).
std::string readText(HKEY root, const std::string& key, const char* value) {
    win32::RegistryKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS)
        return "";
    char data[1024];
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegQueryValueExA(k.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return "";
    data[size] = '\0';
    return data;
}

// Removes `key` and everything below it. True when it is gone.
bool deleteTree(HKEY root, const std::string& key) {
    {
        win32::RegistryKey k;
        LONG r = RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | KEY_WRITE, k.out());
        if (r == ERROR_FILE_NOT_FOUND)
            return true;
        if (r != ERROR_SUCCESS)
            return false;
        // Always the first subkey: each one found is deleted before the next look.
        for (;;) {
            char name[256];
            DWORD length = sizeof name;
            if (RegEnumKeyExA(k.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (!deleteTree(root, key + "\\" + name))
                return false;
        }
    }
    return RegDeleteKeyA(root, key.c_str()) == ERROR_SUCCESS;
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

std::string shellFolder(int csidl) {
    win32::ItemList list;
    char path[MAX_PATH] = "";
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.out())) || !list.valid() ||
        !SHGetPathFromIDListA(list.get(), path))
        return "";
    return path;
}

KnownFolders machineFolders() {
    KnownFolders f;
    char path[MAX_PATH];
    UINT n = GetWindowsDirectoryA(path, sizeof path);
    if (n > 0 && n < sizeof path)
        f.windows = path;
    n = GetSystemDirectoryA(path, sizeof path);
    if (n > 0 && n < sizeof path)
        f.system = path;
    f.desktop = shellFolder(ShellFolderDesktop);
    f.startup = shellFolder(ShellFolderStartup);
    f.startMenu = shellFolder(ShellFolderStartMenu);
    f.programs = shellFolder(ShellFolderPrograms);
    // Started by a setup through its short (8.3) path: the log has the long one.
    DWORD m = GetModuleFileNameA(nullptr, path, sizeof path);
    char longPath[MAX_PATH];
    DWORD l = m > 0 && m < sizeof path ? GetLongPathNameA(path, longPath, sizeof longPath) : 0;
    if (l > 0 && l < sizeof longPath)
        f.self = longPath;
    else if (m > 0 && m < sizeof path)
        f.self = path;
    return f;
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
    return LogRead::Read;
}

// No folder between `root` and `path` is a link to elsewhere (a junction or
// symbolic link inside the installation folder could lead out of it).
// `plain` holds the folders found plain already with every folder above
// them, so each is looked at once.
bool reachedWithoutLinks(const std::string& root, std::string path, std::unordered_set<std::string>& plain) {
    std::vector<std::string> passed;
    for (;;) {
        size_t slash = path.rfind('\\');
        if (slash == std::string::npos || path.size() <= root.size())
            return false;
        path.resize(slash);
        if (plain.count(path) || samePath(path, root))
            break;
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        passed.push_back(path);
    }
    plain.insert(passed.begin(), passed.end());
    return true;
}

// The folder of `folders` (installation or shortcut folder) that holds
// `path`, written as the plan writes paths ("" when none does).
std::string rootOf(const KnownFolders& f, const std::string& path) {
    std::vector<std::string> best;
    for (const std::string& root : {f.install, f.desktop, f.startup, f.startMenu, f.programs}) {
        std::vector<std::string> parts;
        if (!root.empty() && pathInside(root, path) && splitPath(root, &parts) && parts.size() > best.size())
            best = parts;
    }
    return joinParts(best, best.size());
}

// What became of a file to remove.
enum class Gone {
    Deleted,    // deleted now
    Absent,     // not there (removed by hand, or a temporary file already exchanged)
    Scheduled,  // in use: Windows deletes it at its next start
    Failed      // neither (no right to it, or a folder stands at its place)
};

// Deletes a file; one that is in use goes at the next start of Windows.
Gone removeFile(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Gone::Absent : Gone::Failed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Gone::Failed;  // a folder where the log names a file: not ours to empty
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(path.c_str()))
        return Gone::Deleted;
    if (MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return Gone::Scheduled;
    return Gone::Failed;
}

// A folder removed now when it is empty; when it still holds a file that
// goes at the next start, its removal is scheduled after that file.
void removeFolder(const std::string& folder, bool holdsScheduled, Report& report) {
    if (RemoveDirectoryA(folder.c_str())) {
        report.add("removed folder", folder);
    } else if (holdsScheduled && MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        report.add("folder at next start", folder);
    } else if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        report.add("kept folder (not empty)", folder);
    }
}

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
    std::string folder = readText(HKEY_LOCAL_MACHINE, uninstallKey(p.name), "InstallLocation");
    if (!folder.empty())
        return folder;
    std::string programFolder;
    if (!p.exeName.empty())
        programFolder = readText(HKEY_LOCAL_MACHINE, appPathsKey(p.exeName), "Path");
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

// The whole removal, asked by `command`. Results: the exit codes of
// format/UninstallerExit.h (ExitRemoved, ExitDeclined, ExitUnknownProduct,
// ExitLogMissing, ExitLogDamaged, ExitUnsafeFolder, ExitIncomplete), each
// shown to the user first unless the command is unattended.
UninstallExit uninstall(const CommandLine& command) {
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
        screen.message(format(IDS_NO_ENTRY, command.name.c_str()), MB_ICONSTOP);
        return ExitUnknownProduct;
    }
    product.display = readText(HKEY_LOCAL_MACHINE, uninstallKey(product.name), "DisplayName");
    if (product.display.empty())
        product.display = product.name;
    product.exeName = readText(HKEY_LOCAL_MACHINE, productKey(product.name), nullptr);
    if (!validKeyName(product.exeName))
        product.exeName.clear();
    if (!product.exeName.empty())
        product.program = readText(HKEY_LOCAL_MACHINE, appPathsKey(product.exeName), nullptr);

    KnownFolders folders = machineFolders();
    folders.install = findInstallFolder(product, folders);
    if (folders.install.empty()) {
        screen.message(format(IDS_NO_FOLDER, product.display.c_str()), MB_ICONSTOP);
        return ExitUnknownProduct;
    }
    if (!installFolderAcceptable(folders)) {
        screen.message(format(IDS_UNSAFE, product.display.c_str(), folders.install.c_str()), MB_ICONSTOP);
        return ExitUnsafeFolder;
    }
    std::string logPath = logPathIn(folders.install);
    std::vector<unsigned char> log;
    switch (readLog(logPath, &log)) {
    case LogRead::Read: break;
    case LogRead::Missing:
        screen.message(format(IDS_LOG_MISSING, logPath.c_str()), MB_ICONSTOP);
        return ExitLogMissing;
    case LogRead::TooLarge:
        screen.message(format(IDS_LOG_DAMAGED, logPath.c_str(), 0u, "far too large"), MB_ICONSTOP);
        return ExitLogDamaged;
    }
    RemovalPlan plan = planRemoval(log.data(), log.size(), folders);
    if (!plan.valid) {
        screen.message(format(IDS_LOG_DAMAGED, logPath.c_str(), static_cast<unsigned>(plan.badRecord + 1),
                              plan.fault.c_str()),
                       MB_ICONSTOP);
        return ExitLogDamaged;
    }
    if (!product.askedAlready &&
        screen.message(format(IDS_ASK, product.display.c_str()), MB_YESNO | MB_ICONQUESTION) == IDNO)
        return ExitDeclined;

    std::vector<RegistryRemoval> keys = registryRemovals(product.name, product.exeName);
    screen.open(format(IDS_PROGRESS, product.display.c_str()),
                plan.files.size() + plan.folders.size() + keys.size() + 1);
    Report report;
    unsigned failed = 0;
    std::vector<std::string> scheduled;
    std::unordered_set<std::string> plainFolders;
    for (const PlannedFile& file : plan.files) {
        screen.step(file.path);
        switch (file.fate) {
        case FileFate::Remove: break;
        case FileFate::Shared: report.add("kept shared", file.path); continue;
        case FileFate::Outside: report.add("kept outside", file.path); continue;
        case FileFate::NotShortcut: report.add("kept (not a shortcut)", file.path); continue;
        case FileFate::Self: report.add("kept (the uninstaller)", file.path); continue;
        }
        if (!reachedWithoutLinks(rootOf(folders, file.path), file.path, plainFolders)) {
            report.add("kept (behind a link)", file.path);
            continue;
        }
        switch (removeFile(file.path)) {
        case Gone::Deleted: report.add("removed", file.path); break;
        case Gone::Absent: report.add("already gone", file.path); break;
        case Gone::Scheduled:
            report.add("at next start", file.path);
            scheduled.push_back(file.path);
            break;
        case Gone::Failed:
            report.add("FAILED", file.path);
            ++failed;
            break;
        }
    }
    auto holdsScheduled = [&](const std::string& folder) {
        for (const std::string& s : scheduled)
            if (pathInside(folder, s))
                return true;
        return false;
    };
    for (const std::string& folder : plan.folders) {
        screen.step(folder);
        removeFolder(folder, holdsScheduled(folder), report);
    }
    if (failed) {
        // The entry and the log stay, so that the removal can be tried again.
        std::string where = report.write();
        screen.close();
        screen.message(format(IDS_INCOMPLETE, product.display.c_str(), failed, where.c_str()), MB_ICONSTOP);
        return ExitIncomplete;
    }
    for (const RegistryRemoval& key : keys) {
        screen.step(key.key);
        HKEY root = rootKey(key.root);
        if (key.onlyIfInside && !pathInside(folders.install, readText(root, key.key, nullptr))) {
            report.add("kept key (another program's)", key.key);
            continue;
        }
        if (deleteTree(root, key.key)) {
            report.add("removed key", key.key);
            deleteEmptyParents(root, key.key, key.keepAbove);
        } else {
            report.add("FAILED key", key.key);
        }
    }
    screen.step(logPath);
    DeleteFileA(logPath.c_str());
    removeFolder(folders.install, holdsScheduled(folders.install), report);
    report.write();
    screen.close();
    if (!product.askedAlready)
        screen.message(format(scheduled.empty() ? IDS_DONE : IDS_DONE_RESTART, product.display.c_str()),
                       MB_ICONINFORMATION);
    return ExitRemoved;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    win32::ComApartment com;  // for the shell's folder lookups
    CommandLine command;
    if (!parseCommandLine(commandLine, &command)) {
        if (!command.unattended)
            MessageBoxA(nullptr, loadText(IDS_USAGE).c_str(), loadText(IDS_CAPTION).c_str(), MB_ICONSTOP);
        return ExitUsage;
    }
    return uninstall(command);
}
