// DLLs of the Windows system folder, never a namesake beside the program. A
// setup is started from a Downloads folder where anything may lie beside
// it, and the usual search looks there first: a "version.dll" there would
// run in place of Windows' own. So the library links no DLL that Windows
// does not always take from its system folder (its "known DLLs"): it loads
// the others here, and a program calls restrictDllSearch first thing so that
// whatever it loads later by name comes from the system folder too. The
// functions behind LOAD_LIBRARY_SEARCH_* are resolved at run time: the
// Windows XP headers this code builds with do not declare them.
// Header-only; Win32 builds only.
#ifndef SETUP_WIN32_SYSTEMLIBRARY_H
#define SETUP_WIN32_SYSTEMLIBRARY_H

#include <windows.h>

#include <string.h>

#include "common/PathSize.h"

namespace win32 {

// LOAD_LIBRARY_SEARCH_SYSTEM32, as Windows 8 (and the 2011 update of 7 and
// Vista) defines it.
const DWORD kSearchSystemFolder = 0x00000800;

// A DLL of the system folder by its full path there (loaded once, then
// counted). Never by its bare name: a module of that name already in the
// process (one a DLL imported from beside the program before the search was
// restricted) would be returned whatever the search flags say. The search
// flag makes the DLL's own imports come from the system folder; a Windows
// without the flag refuses it, and there the DLL's folder is searched
// first, which is the system folder too. Null when it does not load. The
// module is not freed: callers keep its functions for the life of the
// process.
inline HMODULE systemModule(const char* name) {
    char path[PathSize];
    UINT length = GetSystemDirectoryA(path, PathSize);
    if (length == 0 || length + 1 + strlen(name) >= PathSize)
        return nullptr;
    path[length] = '\\';
    strcpy(path + length + 1, name);
    HMODULE module = LoadLibraryExA(path, nullptr, kSearchSystemFolder);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A DLL that a program's manifest may name as a side-by-side assembly
// (Common Controls 6 for "comctl32.dll"): by its bare name, which the
// activation context redirects to the assembly, searched for in the system
// folder alone; on a Windows without the search flag by its full path there
// (the system's own version).
inline HMODULE assemblyModule(const char* name) {
    HMODULE module = LoadLibraryExA(name, nullptr, kSearchSystemFolder);
    if (module || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    return systemModule(name);
}

// A function of a module, or null.
template <class Function>
Function moduleFunction(HMODULE module, const char* name) {
    FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// A function of a system DLL (systemModule), or null.
template <class Function>
Function systemFunction(const char* dll, const char* name) {
    return moduleFunction<Function>(systemModule(dll), name);
}

// Makes every later load by a bare name in this process search the system
// folder alone (SetDefaultDllDirectories). Modules loaded already, and
// those loaded by a full path, are not affected.
//   true   restricted
//   false  this Windows cannot (no SetDefaultDllDirectories)
inline bool restrictDllSearch() {
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    SetDirectories set = reinterpret_cast<SetDirectories>(reinterpret_cast<void (*)()>(found));
    return set && set(kSearchSystemFolder);
}

}  // namespace win32

#endif
