/* A stranger's "version.dll", as it might lie beside a setup in a Downloads
   folder: loading it writes the path of the program that loaded it into the
   file SETUP_PLANT_MARKER names. It passes on only the three functions
   Wine's user32.dll imports (planted_version.def); a program that took the
   others from it would find none. The hardening test plants it beside a
   program and looks for that file. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    char marker[MAX_PATH], program[MAX_PATH];
    DWORD length;
    (void)self;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    length = GetEnvironmentVariableA("SETUP_PLANT_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker)
        return TRUE;
    length = GetModuleFileNameA(NULL, program, sizeof program);
    HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, program, length, &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}
