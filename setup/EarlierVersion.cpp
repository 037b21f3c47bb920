// Removal of an installed earlier version: finds the product's Uninstall
// entry (the one RegisterApplication wrote), starts the uninstaller its
// UninstallString names with the lower-case DisplayName and "_", shows
// dialog 11500 while it runs and keeps the calling thread's windows alive,
// then reports how it ended. setup/RegistryRules decides the program and
// the command line. Nothing here shows a message.
//
// The wait sleeps on the uninstaller's process and this thread's message
// queue together, and serves every message that arrives, so the removal
// window and the background window keep painting without the thread
// spinning between polls.
#include "Setup.h"

#include <shellapi.h>
#include <string.h>

#include "baseinterface/DiagnosticLog.h"
#include "baseinterface/MessageText.h"
#include "baseinterface/ScreenScale.h"
#include "format/UninstallerExit.h"
#include "resources/resource.h"
#include "setup/RegistryRules.h"
#include "win32/Ownership.h"
#include "win32/WindowObject.h"

namespace {

// Buffers of the Uninstall key's enumeration: a subkey name or class of 64
// characters or more stops it as a failure.
const DWORD kEnumNameSize = 64;

// The property by which the removal window finds the owner that holds it in
// RunUninstall (a product may run UninstallDialogProc for a dialog of its
// own, whose user data is its own).
const char kRemovalOwner[] = "SetupDll.RemovalOwner";

// A text value of at most PathSize - 1 characters into `text` (PathSize).
// False when it is missing, not text, or longer.
bool readText(HKEY key, const char* name, char* text) {
    DWORD type = 0;
    DWORD size = PathSize;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    // A text stored without its terminator still has to fit with one.
    if (size == 0 || text[size - 1] != '\0') {
        if (size >= PathSize)
            return false;
        text[size] = '\0';
    }
    return true;
}

// Whether the Uninstall key holds a subkey named `product` (in any case).
enum class EntrySearch { Found, Absent, Failed };

EntrySearch findEntry(HKEY uninstall, const char* product) {
    for (DWORD index = 0;; ++index) {
        char name[kEnumNameSize];
        char keyClass[kEnumNameSize];
        DWORD nameSize = kEnumNameSize;
        DWORD classSize = kEnumNameSize;
        LONG status = RegEnumKeyExA(uninstall, index, name, &nameSize, nullptr, keyClass, &classSize,
                                    nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return EntrySearch::Absent;
        if (status != ERROR_SUCCESS)
            return EntrySearch::Failed;
        // The registry's own rule for names: the system's case folding.
        if (lstrcmpiA(name, product) == 0)
            return EntrySearch::Found;
    }
}

// Serves this thread's messages until `process` ends; its exit code. A
// quit message met on the way is posted again afterwards, so that the
// caller's own loop still ends.
DWORD waitServingMessages(HANDLE process) {
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        // Asleep until the process ends or a message comes, also one that
        // came while the last one was dispatched.
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1)
            break;
    }
    if (quit)
        PostQuitMessage(quitCode);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

// Starts `commandLine` (`program` with `parameters`) and waits for it: its
// exit code, or -1 when it cannot be started.
long runAndWait(char* commandLine, const char* program, const char* parameters) {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started;
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        win32::KernelHandle process(started.hProcess);
        win32::KernelHandle thread(started.hThread);
        return static_cast<long>(waitServingMessages(process.get()));
    }
    // The uninstaller's manifest asks for an administrator: a setup that
    // runs without one starts it through the shell, which asks the user.
    const DWORD elevationRequired = 740;  // ERROR_ELEVATION_REQUIRED, which mingw's headers lack
    if (GetLastError() != elevationRequired)
        return -1;
    SHELLEXECUTEINFOA execute;
    memset(&execute, 0, sizeof execute);
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = "runas";
    execute.lpFile = program;
    execute.lpParameters = parameters;
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&execute) || !execute.hProcess)
        return -1;
    win32::KernelHandle process(execute.hProcess);
    return static_cast<long>(waitServingMessages(process.get()));
}

// Draws bitmap 11411 at the item's top left corner, in its own size on a
// 96-DPI screen and as much larger as the dialog on another.
void drawBanner(HINSTANCE library, const DRAWITEMSTRUCT& item) {
    win32::GdiObject<HBITMAP> banner(LoadBitmapA(library, MAKEINTRESOURCEA(IDB_WORKING)));
    if (!banner.valid())
        return;
    BITMAP size;
    if (!GetObjectA(banner.get(), sizeof size, &size))
        return;
    win32::MemoryDC memory(CreateCompatibleDC(item.hDC));
    if (!memory.valid())
        return;
    // Declared after the bitmap: deselected before it is deleted.
    win32::ObjectSelection selected(memory.get(), banner.get());
    SetStretchBltMode(item.hDC, COLORONCOLOR);
    StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, scaledToScreen(item.hDC, size.bmWidth),
               scaledToScreen(item.hDC, size.bmHeight), memory.get(), 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
}

}  // namespace

INT_PTR CALLBACK UninstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        Setup* setup = win32::keepDialogObject<Setup>(dialog, lParam);
        if (!setup)
            return TRUE;
        setup->CenterDialog(dialog);
        char format[kLoadedTextSize] = "";
        LoadStringA(setup->libraryInstance, IDS_UNINSTALLING, format, sizeof format);
        char text[PathSize];
        formatMessage(text, sizeof text, format, setup->productName ? setup->productName : "");
        SetDlgItemTextA(dialog, IDC_UNINSTALL_TEXT, text);
        return TRUE;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        Setup* setup = win32::dialogObject<Setup>(dialog);
        if (wParam != IDC_UNINSTALL_PICTURE || !item || !setup)
            return FALSE;
        drawBanner(setup->libraryInstance, *item);
        return TRUE;
    }
    case WM_DESTROY:
        // Also when its owner, the background window, takes it along: the
        // owner in RunUninstall lets go, or it would destroy the handle again.
        if (auto* owner = static_cast<win32::Window*>(RemovePropA(dialog, kRemovalOwner)))
            owner->release();
        return FALSE;
    }
    return FALSE;
}

//   100  the uninstaller ended with exit code 100
//   1    no entry (no Uninstall key either); no readable DisplayName or
//        UninstallString; no program before the DisplayName; no such
//        program; not started; another code
//   0    the Uninstall key cannot be opened or enumerated, the entry cannot
//        be opened, or its UninstallString lacks its DisplayName
int Setup::RunUninstall() {
    SetParentForMessage(backgroundWindow);
    if (!productName)
        return 1;
    // Read access is all this needs: a user who may not write HKLM still
    // has the earlier version removed (its uninstaller asks for more rights
    // if it needs them).
    win32::RegistryKey uninstall;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, uninstall.out());
    if (opened == ERROR_FILE_NOT_FOUND)
        return 1;  // no Uninstall key: no entry
    if (opened != ERROR_SUCCESS)
        return 0;
    switch (findEntry(uninstall.get(), productName)) {
    case EntrySearch::Absent:
        logEvent(LogEarlierVersion, productName, "", 0, 1, "no Uninstall entry of that name");
        return 1;
    case EntrySearch::Failed: return 0;
    case EntrySearch::Found: break;
    }

    char displayName[PathSize];
    char uninstallString[PathSize];
    {
        win32::RegistryKey entry;
        if (RegOpenKeyExA(uninstall.get(), productName, 0, KEY_READ, entry.out()) != ERROR_SUCCESS)
            return 0;
        if (!readText(entry.get(), "DisplayName", displayName) ||
            !readText(entry.get(), "UninstallString", uninstallString))
            return 1;
    }
    CharLowerA(displayName);
    CharLowerA(uninstallString);

    char program[PathSize];
    switch (uninstallProgram(uninstallString, displayName, program)) {
    case UninstallProgram::NotNamed: return 0;
    case UninstallProgram::NoPath: return 1;
    case UninstallProgram::Found: break;
    }
    char shortProgram[PathSize];
    DWORD length = GetShortPathNameA(program, shortProgram, PathSize);
    if (length == 0 || length >= PathSize) {
        logEvent(LogEarlierVersion, program, "", length ? 0 : GetLastError(), 1, "the uninstaller cannot be found");
        return 1;
    }
    char commandLine[PathSize];
    if (!uninstallCommandLine(commandLine, shortProgram, displayName))
        return 1;

    win32::Window removal(CreateDialogParamA(libraryInstance, MAKEINTRESOURCEA(IDD_UNINSTALL), backgroundWindow,
                                             UninstallDialogProc, reinterpret_cast<LPARAM>(this)));
    if (removal.valid())
        SetPropA(removal.get(), kRemovalOwner, &removal);
    long exitCode = runAndWait(commandLine, shortProgram, displayName);
    logEvent(LogEarlierVersion, commandLine, "", 0, static_cast<int32_t>(exitCode), "ran");
    int result = exitCode == ExitRemoved ? ExitRemoved : 1;
    removal.reset();
    SetParentForMessage(backgroundWindow);
    return result;
}
