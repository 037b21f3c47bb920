// BaseInterface: message boxes from the library's string table, the owner
// they get, and dialog centring. Called from the constructing thread and from
// the file-copy worker; each call uses only its own buffers.
#include "Setup.h"

#include <string.h>

#include <memory>

#include "baseinterface/MessageText.h"

void BaseInterface::InitBI(HINSTANCE instance, char* caption) {
    resourceInstance = instance;
    messageCaption = caption;
}

void BaseInterface::SetParentForMessage(HWND parent) { parentForMessage = parent; }

HWND BaseInterface::GetParentForMessage() { return parentForMessage; }

// Result: the message box's button code (IDOK 1 ... IDNO 7), 0 when no box
// could be opened.
int BaseInterface::ShowMessage(int stringId, unsigned long style, char* insert) {
    char loaded[kLoadedTextSize];
    if (LoadStringA(resourceInstance, stringId, loaded, sizeof loaded) <= 0)
        loaded[0] = '\0';
    if (!insert)
        return MessageBoxA(parentForMessage, loaded, messageCaption, style);

    // The insert is a path or a product name of any length: the buffer is
    // sized for it rather than cutting the message short.
    size_t room = formattedMessageSize(loaded, insert);
    std::unique_ptr<char[]> text(new (std::nothrow) char[room]);
    if (!text)
        return 0;
    formatMessage(text.get(), room, loaded, insert);
    return MessageBoxA(parentForMessage, text.get(), messageCaption, style | MB_SETFOREGROUND);
}

// Result: nonzero when the window was moved.
int BaseInterface::CenterDialog(HWND dialog) {
    parentForMessage = dialog;
    // The whole primary screen from 0,0; the taskbar is not excluded.
    RECT screen, box;
    GetClientRect(GetDesktopWindow(), &screen);
    GetWindowRect(dialog, &box);
    // Signed, truncated toward zero: a dialog wider than the screen by 3
    // pixels lands at x = -1.
    int x = ((screen.right - screen.left) - (box.right - box.left)) / 2;
    int y = ((screen.bottom - screen.top) - (box.bottom - box.top)) / 2;
    return SetWindowPos(dialog, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}
