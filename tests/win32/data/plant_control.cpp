// The planted-DLL test's own program: it imports nothing but kernel32 and
// the C runtime (Wine's user32 would bring a planted version.dll in at the
// start), and loads version.dll one of three ways, named by its argument:
//   plain       by its bare name with the default search, which looks in the
//               program's own folder first
//   restricted  by its bare name after win32::restrictDllSearch, as every
//               program of ours does first
//   system      through win32::systemModule, as the library does
// Exit code: 0 a version.dll with GetFileVersionInfoSizeA (Windows' own),
// 1 none loaded, 2 one without it (the plant), 3 a bad argument.
#include <windows.h>

#include <string.h>

#include "win32/SystemLibrary.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 3;
    HMODULE module = nullptr;
    if (strcmp(argv[1], "plain") == 0) {
        module = LoadLibraryA("version.dll");
    } else if (strcmp(argv[1], "restricted") == 0) {
        if (!win32::restrictDllSearch())
            return 3;
        module = LoadLibraryA("version.dll");
    } else if (strcmp(argv[1], "system") == 0) {
        module = win32::systemModule("version.dll");
    } else {
        return 3;
    }
    if (!module)
        return 1;
    return GetProcAddress(module, "GetFileVersionInfoSizeA") ? 0 : 2;
}
