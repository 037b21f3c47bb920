// MessageParent: the owner of the message boxes an object shows on one
// thread, for as long as a scope lasts. The file-copy worker shows its
// messages (a disk prompt, the volume browser, the engine's errors) over the
// progress dialog, while the dialog's thread moves the object's
// parentForMessage from window to window (centring a dialog, the language
// dialog): each thread's messages keep the parent meant for them. Without a
// scope on the thread, the object's parentForMessage is the parent.
#ifndef SETUP_BASEINTERFACE_MESSAGE_PARENT_H
#define SETUP_BASEINTERFACE_MESSAGE_PARENT_H

#include "Setup.h"
#include "common/ThreadScoped.h"

class ThreadMessageParent : public ThreadScoped<ThreadMessageParent> {
public:
    ThreadMessageParent(const BaseInterface& object, HWND parent) : object(object), parent(parent) {}

    const BaseInterface& object;
    HWND parent;
};

// The slot that holds `object`'s message parent on this thread: the
// innermost scope's for it, else its parentForMessage.
inline HWND& messageParentSlot(BaseInterface& object) {
    ThreadMessageParent* scope =
        ThreadMessageParent::find([&](const ThreadMessageParent& s) { return &s.object == &object; });
    return scope ? scope->parent : object.parentForMessage;
}

#endif
