// Folder browsing: the shell's folder browser with an added edit field, in
// which the user sees, amends or types the folder path, and the checks made
// on the answer. The wizard's Browse button runs it on the constructing
// thread, the volume reader on the file-copy worker; either way the shell
// runs the dialog and the callbacks on the calling thread.
//
// All the browser's state is module-wide and lives here: the callback and
// the edit field's procedure have no other way to reach it. One browse at a
// time.
#include "Setup.h"

#include <shlobj.h>
#include <string.h>

#include "baseinterface/MessageHook.h"
#include "resources/resource.h"
#include "win32/Ownership.h"

namespace {

BaseInterface* browseOwner = nullptr;  // messages and centring for the callback
char browsePath[PathSize];             // the tree's selection, then the edit field's text
bool browsePathTooLong = false;        // the edit field held more than fits in browsePath
HWND browseEdit = nullptr;             // the added edit field
HFONT browseFont = nullptr;            // the dialog's font, given to the edit field
WNDPROC browseEditProc = nullptr;      // the edit field's own procedure

// The edit field is destroyed with the dialog: its text at that moment is
// the answer, so whatever the user typed over the tree's path wins.
LRESULT CALLBACK BrowseEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        // A longer path is refused rather than cut: a cut one may name
        // another, existing folder.
        browsePathTooLong = GetWindowTextLengthA(edit) >= static_cast<int>(sizeof browsePath);
        if (GetWindowTextA(edit, browsePath, sizeof browsePath) <= 0)
            browsePath[0] = '\0';
    }
    return CallWindowProcA(browseEditProc, edit, message, wParam, lParam);
}

// Enters `path` and reads the full path back into `folder` (PathSize characters),
// as the system reports it: absolute, a drive root with its backslash.
bool enterFolder(const char* path, char* folder) {
    if (!SetCurrentDirectoryA(path))
        return false;
    char full[PathSize];
    DWORD length = GetCurrentDirectoryA(sizeof full, full);
    if (length == 0 || length >= sizeof full)
        return false;
    memcpy(folder, full, length + 1);
    return true;
}

void giveFont(HWND edit) { SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(browseFont), 1); }

}  // namespace

// Always returns 0, as the shell expects.
int CALLBACK BrowseCallbackProc(HWND dialog, UINT message, LPARAM param, LPARAM data) {
    switch (message) {
    case BFFM_INITIALIZED: {
        // Centred, and the owner of message boxes while it is open.
        if (browseOwner)
            browseOwner->CenterDialog(dialog);
        // OK from the start: a typed path needs no tree selection.
        SendMessageA(dialog, BFFM_ENABLEOK, 1, 1);
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
        browseEdit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                     WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 33, 298, 20,
                                     dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_BROWSE_PATH)),
                                     instance, nullptr);
        browseFont = reinterpret_cast<HFONT>(SendMessageA(GetWindow(dialog, GW_CHILD), WM_GETFONT, 0, 0));
        if (browseEdit) {
            giveFont(browseEdit);
            browseEditProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                browseEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BrowseEditProc)));
            giveFont(browseEdit);
        }
        // The tree opens at the preselected folder; its selection change
        // fills the edit field.
        if (data) {
            SendMessageA(dialog, BFFM_SETSELECTIONA, 1, data);
            // A preselection the tree cannot show (a folder still to be
            // created, or, in Wine, any folder on a process's first browse)
            // still stands in the field, so that OK keeps it.
            if (browseEdit && GetWindowTextLengthA(browseEdit) == 0) {
                lstrcpynA(browsePath, reinterpret_cast<const char*>(data), sizeof browsePath);
                SetWindowTextA(browseEdit, browsePath);
            }
        }
        break;
    }
    case BFFM_SELCHANGED:
        // A selection outside the file system (the desktop's virtual items)
        // has no path and empties the field.
        if (!SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(param), browsePath))
            browsePath[0] = '\0';
        if (browseEdit) {
            giveFont(browseEdit);
            SetWindowTextA(browseEdit, browsePath);
            giveFont(browseEdit);
        }
        break;
    default:
        break;
    }
    return 0;
}

// Results (BrowseResult):
//   BrowseChosen     a folder exists (it may just have been created); its
//                    full path is in `folder`.
//   BrowseMissing    the folder does not exist and was not created; a message
//                    has been shown. `folder` is emptied when the user
//                    declined to create it, else left as on entry.
//   BrowseCancelled  cancelled, or OK with an empty path; `folder` is emptied.
// The current directory and the message parent are the same on return as
// on entry. A message hook that answers takes the place of the user's Cancel.
int BaseInterface::BrowseForProgram(char* folder, char* title, int mayCreate) {
    if (askMessageHook(this, MessageHookBrowser, title ? title : "", MB_OKCANCEL)) {
        folder[0] = '\0';
        return BrowseCancelled;
    }
    browseOwner = this;
    browseEdit = nullptr;
    browsePath[0] = '\0';
    browsePathTooLong = false;
    HWND owner = parentForMessage;
    win32::CurrentDirectoryKeeper currentDirectory;
    // COM for the shell's browser, on whichever thread browses.
    win32::ComApartment com;

    win32::ItemList root;
    SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, root.out());
    char displayName[PathSize];
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = root.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = title;
    info.ulFlags = BIF_STATUSTEXT;
    info.lpfn = BrowseCallbackProc;
    info.lParam = folder[0] ? reinterpret_cast<LPARAM>(folder) : 0;
    info.iImage = 0;
    win32::ItemList chosen(SHBrowseForFolderA(&info));
    // The callback made the browse dialog the owner of message boxes.
    parentForMessage = owner;

    if (!chosen.valid() || !browsePath[0]) {
        folder[0] = '\0';
        return BrowseCancelled;
    }
    if (!browsePathTooLong && enterFolder(browsePath, folder))
        return BrowseChosen;
    // Missing, or it cannot be entered. A path too long to be used is
    // missing whatever the caller allows: it could not be created either.
    if (!mayCreate || browsePathTooLong) {
        ShowMessage(IDS_DIRECTORY_MISSING, MB_OK);
        return BrowseMissing;
    }
    if (ShowMessage(IDS_CREATE_DIRECTORY_QUESTION, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        folder[0] = '\0';
        return BrowseMissing;
    }
    if (!DirCreation(browsePath) || !enterFolder(browsePath, folder)) {
        ShowMessage(IDS_DIRECTORY_NOT_CREATED, MB_OK);
        return BrowseMissing;
    }
    return BrowseChosen;
}
