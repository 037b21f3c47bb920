// The product's message hook (SetMessageHook in Setup.h), consulted before
// the library opens a message box or a folder browser. One pointer for the
// process, read and written atomically, since the installation run's worker
// asks as well as the constructing thread.
#ifndef SETUP_BASEINTERFACE_MESSAGE_HOOK_H
#define SETUP_BASEINTERFACE_MESSAGE_HOOK_H

#include "Setup.h"

// Result: the hook's answer, or 0 when there is no hook or it lets the
// window open.
int askMessageHook(BaseInterface* asker, int stringId, const char* text, unsigned long style);

#endif
