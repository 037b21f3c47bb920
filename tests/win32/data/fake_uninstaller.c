/* A stand-in for the product's uninstaller in the removal tests: it appends
   the command line it was started with to the file named by the environment
   variable FAKE_UNINSTALLER_LOG, waits FAKE_UNINSTALLER_MS milliseconds,
   appends "ended" and exits with FAKE_UNINSTALLER_EXIT (0 when unset). The
   test sets the variables; the child inherits them. */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

static DWORD number(const char* name) {
    char text[32] = "";
    if (!GetEnvironmentVariableA(name, text, sizeof text))
        return 0;
    return (DWORD)strtoul(text, NULL, 10);
}

static void append(const char* log, const char* text) {
    HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE)
        return;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    WriteFile(file, "\n", 1, &written, NULL);
    CloseHandle(file);
}

int main(void) {
    char log[MAX_PATH] = "";
    if (GetEnvironmentVariableA("FAKE_UNINSTALLER_LOG", log, sizeof log))
        append(log, GetCommandLineA());
    Sleep(number("FAKE_UNINSTALLER_MS"));
    if (log[0])
        append(log, "ended");
    return (int)number("FAKE_UNINSTALLER_EXIT");
}
