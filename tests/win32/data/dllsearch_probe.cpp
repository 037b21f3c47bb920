// A setup reduced to what loads DLLs, for the DLL search test: started with
// "restrict" it calls RestrictDllSearch first, as a product's WinMain does;
// then with "load" it asks for "version.dll" by name itself, else it reads
// the version of the Setup.Dll beside it through the library (which needs
// version.dll). One or the other: a module loaded once is found again by
// its name. Exit code: 1 when the library read Setup.Dll's version as 1.10,
// plus 2 when RestrictDllSearch restricted the search, plus 4 when the
// load by name succeeded.
#include "Setup.h"

#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
    int result = 0;
    if (strstr(arguments, "restrict") && RestrictDllSearch())
        result |= 2;
    if (strstr(arguments, "load"))
        return LoadLibraryA("version.dll") ? result | 4 : result;
    char title[] = "DLL search probe";
    char product[] = "Probe";
    char exe[] = "dllsearch_probe.exe";
    Setup setup(instance, title, product, exe);
    char library[MAX_PATH];
    GetModuleFileNameA(GetModuleHandleA("Setup.Dll"), library, MAX_PATH);
    int version[4] = {};
    if (setup.QRV_GetFileVersion(library, version) && version[0] == 1 && version[1] == 10)
        result |= 1;
    return result;
}
