// BaseInterface: message boxes from the library's string table, the owner
// they get, the product's message hook that may answer them instead of the
// user, and dialog centring. Called from the constructing thread and from
// the file-copy worker; each call uses only its own buffers, and the parent
// of the calling thread (MessageParent.h).
#include "Setup.h"

#include <string.h>

#include <atomic>
#include <memory>

#include "baseinterface/MessageHook.h"
#include "baseinterface/MessageParent.h"
#include "baseinterface/MessageText.h"

namespace {

// Set by the product on any thread, read by whichever thread asks.
std::atomic<MessageHook> g_messageHook{nullptr};

}  // namespace

MessageHook SetMessageHook(MessageHook hook) { return g_messageHook.exchange(hook); }

int askMessageHook(BaseInterface* asker, int stringId, const char* text, unsigned long style) {
    MessageHook hook = g_messageHook.load();
    return hook ? hook(asker, stringId, text, style) : 0;
}

void BaseInterface::InitBI(HINSTANCE instance, char* caption) {
    resourceInstance = instance;
    messageCaption = caption;
}

// The parent is the calling thread's (MessageParent.h): the worker's
// messages keep theirs whatever the dialogs' thread sets meanwhile.
void BaseInterface::SetParentForMessage(HWND parent) { messageParentSlot(*this) = parent; }

HWND BaseInterface::GetParentForMessage() { return messageParentSlot(*this); }

// Result: the message box's button code (IDOK 1 ... IDNO 7), or the message
// hook's answer; 0 when no box could be opened.
int BaseInterface::ShowMessage(int stringId, unsigned long style, char* insert) {
    char loaded[kLoadedTextSize];
    if (LoadStringA(resourceInstance, stringId, loaded, sizeof loaded) <= 0)
        loaded[0] = '\0';
    const char* text = loaded;
    // The insert is a path or a product name of any length: the buffer is
    // sized for it rather than cutting the message short.
    std::unique_ptr<char[]> formatted;
    if (insert) {
        size_t room = formattedMessageSize(loaded, insert);
        formatted.reset(new (std::nothrow) char[room]);
        if (!formatted)
            return 0;
        formatMessage(formatted.get(), room, loaded, insert);
        text = formatted.get();
        style |= MB_SETFOREGROUND;
    }
    if (int answer = askMessageHook(this, stringId, text, style))
        return answer;
    return MessageBoxA(messageParentSlot(*this), text, messageCaption, style);
}

// Result: nonzero when the window was moved.
int BaseInterface::CenterDialog(HWND dialog) {
    messageParentSlot(*this) = dialog;
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
