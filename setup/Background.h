// What the rest of the Setup object needs from the background window's
// module (Background.cpp): its removal when the object goes, the floating
// buttons, the one exit question, and the F3 key on another thread.
#ifndef SETUP_BACKGROUND_H
#define SETUP_BACKGROUND_H

#include "Setup.h"
#include "setup/BackgroundRules.h"

// Destroys `setup`'s background window if it is still open, without posting
// the quit message (that is for the user ending the installation, not for
// the object going away), and unregisters the window class this object
// registered, so that a later object of the process can register it again.
void releaseBackground(Setup& setup);

// Puts the exit and language buttons back on top, without activating them.
// They are owned by the background and belong over it, but when an owned
// dialog is shown Wine raises the background above its other owned windows,
// hiding the buttons; each wizard page and the progress dialog call this
// as they appear. The
// buttons sit in corners no dialog covers.
void keepFloatingButtonsOver(const Setup& setup);

// Creates one of the library's floating buttons (a modeless dialog owned by
// the background window, given `setup` as its parameter) and puts it on top
// where `place` chooses for the background's client area and the button's
// size. Returns the button, or null when the dialog could not be created.
HWND createFloatingButton(Setup& setup, int dialogId, DLGPROC procedure,
                          ButtonPlace (*place)(const RECT& client, int width, int height));

// Destroys a floating button that is still open and clears its member. A
// modeless dialog is destroyed, not ended: EndDialog would only hide it and
// keep its window for the life of the background window.
void destroyFloatingButton(HWND& button);

// Asks the exit question for `asker`, unless a question is open already
// (then it beeps or stays silent, as exitWishWhile says, and returns 0).
// A run in progress is held while the user is asked and given up on IDYES,
// before anything else happens. Result: IDYES, IDNO, or 0 when not asked.
// exitQuestionGuard is free again on return.
int askExitQuestion(Setup& setup, ExitAsker asker);

// A keyboard hook for F3 on the calling thread, for a thread other than the
// constructing one whose windows may have the keyboard (the run's worker
// shows message boxes); null when it could not be set. The owner unhooks it.
HHOOK hookExitKey();

// Enables the shutdown privilege of this process, without which
// ExitWindowsEx(EWX_REBOOT) fails: for every reboot the library requests.
void enableShutdownPrivilege();

#endif
