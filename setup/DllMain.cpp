// Library entry point: remembers this module's instance handle, from which
// every dialog, bitmap and message text of the library is loaded.
#include "Setup.h"

#include "setup/Module.h"

HINSTANCE g_libraryInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_libraryInstance = instance;
    return TRUE;
}
