// Folder browsing: the shell's folder browser with an added edit field, in
// which the user sees, amends or types the folder path, and the checks made
// on the answer. The wizard's Browse button runs it on the constructing
// thread, the volume reader on the file-copy worker; either way the shell
// runs the dialog and the callbacks on the calling thread.
//
// Each browse keeps its state on the stack of BrowseForProgram and hands it
// to the shell as the callback's data; the edit field keeps it in its
// GWLP_USERDATA. So two browses, one on each thread, share nothing.
#include "Setup.h"

#include <shlobj.h>
#include <string.h>

#include "baseinterface/MessageHook.h"
#include "baseinterface/MessageParent.h"
#include "baseinterface/ScreenScale.h"
#include "resources/resource.h"
#include "win32/Ownership.h"

namespace {

struct BrowseState {
    BaseInterface* owner = nullptr;   // messages and centring for the callback
    const char* preselected = nullptr;  // the folder the tree opens at, or null
    char path[PathSize] = "";         // the tree's selection, then the edit field's text
    bool pathTooLong = false;         // the edit field held more than fits in path
    HWND edit = nullptr;              // the added edit field
    HFONT font = nullptr;             // the dialog's font, given to the edit field
    WNDPROC editProc = nullptr;       // the edit field's own procedure
};

BrowseState* stateOfEdit(HWND edit) {
    return reinterpret_cast<BrowseState*>(GetWindowLongPtrA(edit, GWLP_USERDATA));
}

// The edit field is destroyed with the dialog: its text at that moment is
// the answer, so whatever the user typed over the tree's path wins.
LRESULT CALLBACK BrowseEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    BrowseState* state = stateOfEdit(edit);
    if (message == WM_DESTROY) {
        // A longer path is refused rather than cut: a cut one may name
        // another, existing folder.
        state->pathTooLong = GetWindowTextLengthA(edit) >= static_cast<int>(sizeof state->path);
        if (GetWindowTextA(edit, state->path, sizeof state->path) <= 0)
            state->path[0] = '\0';
    }
    return CallWindowProcA(state->editProc, edit, message, wParam, lParam);
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

void giveFont(const BrowseState& state) {
    SendMessageA(state.edit, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), 1);
}

}  // namespace

// `data` is the browse's state (BrowseState). Always returns 0, as the
// shell expects.
int CALLBACK BrowseCallbackProc(HWND dialog, UINT message, LPARAM param, LPARAM data) {
    BrowseState* state = reinterpret_cast<BrowseState*>(data);
    if (!state)
        return 0;
    switch (message) {
    case BFFM_INITIALIZED: {
        // Centred, and the owner of message boxes while it is open.
        if (state->owner)
            state->owner->CenterDialog(dialog);
        // OK from the start: a typed path needs no tree selection.
        SendMessageA(dialog, BFFM_ENABLEOK, 1, 1);
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
        // Placed in pixels of a 96-DPI screen, below the status text; the
        // shell's dialog grows with the screen's DPI, so the field does too.
        win32::WindowDC screen(dialog);
        auto scaled = [&](int length) { return screen.valid() ? scaledToScreen(screen.get(), length) : length; };
        state->edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                      WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, scaled(10), scaled(33),
                                      scaled(298), scaled(20), dialog,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_BROWSE_PATH)), instance, nullptr);
        state->font = reinterpret_cast<HFONT>(SendMessageA(GetWindow(dialog, GW_CHILD), WM_GETFONT, 0, 0));
        if (state->edit) {
            giveFont(*state);
            SetWindowLongPtrA(state->edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
            state->editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                state->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BrowseEditProc)));
            giveFont(*state);
        }
        // The tree opens at the preselected folder; its selection change
        // fills the edit field.
        if (state->preselected) {
            SendMessageA(dialog, BFFM_SETSELECTIONA, 1, reinterpret_cast<LPARAM>(state->preselected));
            // A preselection the tree cannot show (a folder still to be
            // created, or, in Wine, any folder on a process's first browse)
            // still stands in the field, so that OK keeps it.
            if (state->edit && GetWindowTextLengthA(state->edit) == 0) {
                lstrcpynA(state->path, state->preselected, sizeof state->path);
                SetWindowTextA(state->edit, state->path);
            }
        }
        break;
    }
    case BFFM_SELCHANGED:
        // A selection outside the file system (the desktop's virtual items)
        // has no path and empties the field.
        if (!SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(param), state->path))
            state->path[0] = '\0';
        if (state->edit) {
            giveFont(*state);
            SetWindowTextA(state->edit, state->path);
            giveFont(*state);
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
    BrowseState state;
    state.owner = this;
    state.preselected = folder[0] ? folder : nullptr;
    HWND owner = messageParentSlot(*this);
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
    info.lParam = reinterpret_cast<LPARAM>(&state);
    info.iImage = 0;
    win32::ItemList chosen(SHBrowseForFolderA(&info));
    // The callback made the browse dialog the owner of message boxes.
    messageParentSlot(*this) = owner;

    if (!chosen.valid() || !state.path[0]) {
        folder[0] = '\0';
        return BrowseCancelled;
    }
    if (!state.pathTooLong && enterFolder(state.path, folder))
        return BrowseChosen;
    // Missing, or it cannot be entered. A path too long to be used is
    // missing whatever the caller allows: it could not be created either.
    if (!mayCreate || state.pathTooLong) {
        ShowMessage(IDS_DIRECTORY_MISSING, MB_OK);
        return BrowseMissing;
    }
    if (ShowMessage(IDS_CREATE_DIRECTORY_QUESTION, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        folder[0] = '\0';
        return BrowseMissing;
    }
    if (!DirCreation(state.path) || !enterFolder(state.path, folder)) {
        ShowMessage(IDS_DIRECTORY_NOT_CREATED, MB_OK);
        return BrowseMissing;
    }
    return BrowseChosen;
}
