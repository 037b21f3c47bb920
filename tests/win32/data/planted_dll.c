/* A DLL planted beside a program under the name of a system DLL
   ("version.dll"): when anything loads it, it leaves "planted.loaded" in
   its own folder, and exports nothing a caller could use. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(instance, path, MAX_PATH);
        char* slash = n ? strrchr(path, '\\') : NULL;
        if (slash && (size_t)(slash - path) + 16 < MAX_PATH) {
            lstrcpyA(slash + 1, "planted.loaded");
            HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (marker != INVALID_HANDLE_VALUE)
                CloseHandle(marker);
        }
    }
    return TRUE;
}
