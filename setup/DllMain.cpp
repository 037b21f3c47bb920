// Library entry point: remembers this module's instance handle, from which
// every dialog, bitmap and message text of the library is loaded; and the
// restriction of the process's DLL search a product asks for at its start.
#include "Setup.h"

#include "setup/Module.h"
#include "win32/SystemLibrary.h"

HINSTANCE g_libraryInstance = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH)
        g_libraryInstance = instance;
    return TRUE;
}

//   1  later loads by name search the system folder alone
//   0  this Windows cannot restrict the search
int RestrictDllSearch(void) { return win32::restrictDllSearch() ? 1 : 0; }
