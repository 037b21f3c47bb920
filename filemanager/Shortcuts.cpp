// Shortcuts and special folders: a shipped shortcut (.lnk) names its target
// and working directory with a keyword where this machine's folders go
// (work, windows, system, desktop, startup, start menu, programs); the
// engine rewrites both through the shell's link object and saves the file.
// The keyword rules are EngineRules' (splitShippedPath); this file asks the
// shell and Windows for the folders.
//
// A shortcut written under a temporary name (the real one was in use) is
// fixed up in that temporary file, which is the one that will take its
// place (fixShortcut in FileInstall.cpp decides which).
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <string.h>

#include "filemanager/EngineRun.h"
#include "win32/Ownership.h"

namespace {

// A shipped shortcut path rewritten for this machine.
//   > 0 rewritten into `result` (the value QRV_DirReparing reports)
//     0 no usable keyword (root, unknown, no keyword at all): `result` untouched
//    -1 the rewritten path does not fit a path buffer
int repare(SetupFileManager& engine, char* result, const char* shipped, unsigned int prefixLength,
           const char* installDir) {
    ShippedPath split;
    if (!splitShippedPath(shipped, prefixLength, &split))
        return 0;
    char dir[PathSize] = "";
    int status = 0;
    switch (split.keyword) {
    case Keyword::Work:
        status = copyPath(dir, installDir) ? 1 : -1;
        break;
    case Keyword::Windows:
        status = static_cast<int>(GetWindowsDirectoryA(dir, PathSize));
        break;
    case Keyword::System: {
        char system[PathSize] = "";
        UINT n = GetSystemDirectoryA(system, PathSize);
        // A system directory marked read-only sends its files to Windows.
        if (n > 0 && n < PathSize && engine.QRV_IsReadOnly(system)) {
            status = static_cast<int>(GetWindowsDirectoryA(dir, PathSize));
        } else {
            status = static_cast<int>(n);
            memcpy(dir, system, sizeof dir);
        }
        break;
    }
    case Keyword::Desktop: status = engine.QRV_SpecialDir(dir, CSIDL_DESKTOPDIRECTORY); break;
    case Keyword::Startup: status = engine.QRV_SpecialDir(dir, CSIDL_STARTUP); break;
    case Keyword::StartMenu: status = engine.QRV_SpecialDir(dir, CSIDL_STARTMENU); break;
    case Keyword::Programs: status = engine.QRV_SpecialDir(dir, CSIDL_PROGRAMS); break;
    case Keyword::Root:
    case Keyword::Unknown: return 0;
    }
    if (status <= 0)
        return status;
    if (status >= static_cast<int>(PathSize) || !appendText(dir, split.tail))
        return -1;
    memcpy(result, dir, PathSize);
    return status;
}

// Rewrites the loaded link. 1 rewritten and saved, or left as shipped; 0 a
// COM step failed or a rewritten path would not fit.
int rewriteLink(SetupFileManager& engine, const win32::ComPtr<IShellLinkA>& link,
                const win32::ComPtr<IPersistFile>& file, const char* shortcut,
                unsigned int prefixLength, const char* installDir) {
    WCHAR wideName[PathSize] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, shortcut, -1, wideName, PathSize))
        return 0;
    if (FAILED(file->Load(wideName, STGM_READ)))
        return 0;
    char workDir[PathSize] = {};
    char target[PathSize] = {};
    char rewritten[PathSize] = {};
    WIN32_FIND_DATAA found = {};
    if (FAILED(link->GetWorkingDirectory(workDir, PathSize)))
        return 0;
    if (FAILED(link->GetPath(target, PathSize, &found, SLGP_UNCPRIORITY)))
        return 0;

    int status = repare(engine, rewritten, target, prefixLength, installDir);
    if (status < 0)
        return 0;
    if (status == 0)
        return 1;  // no keyword: the shortcut stays as shipped
    if (FAILED(link->SetPath(rewritten)))
        return 0;

    status = repare(engine, rewritten, workDir, prefixLength, installDir);
    if (status < 0)
        return 0;
    if (status == 0)
        return 1;  // nothing saved: the new target is dropped with the object
    link->SetWorkingDirectory(rewritten);  // a failure here shows in the save
    return SUCCEEDED(file->Save(wideName, TRUE)) ? 1 : 0;
}

}  // namespace

// 1 rewritten, or left as shipped (no keyword in its target or working
// directory); 0 when a COM step failed (not a link, cannot be saved ...) or a
// rewritten path would not fit a path buffer.
int SetupFileManager::QRV_ShortcutModification(char* installDir, char* shortcut,
                                               unsigned int prefixLength) {
    // The worker thread initialises COM for itself on every call. The
    // interfaces are declared after the apartment, so they go first.
    win32::ComApartment com;
    win32::ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.outVoid())))
        return 0;
    win32::ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.outVoid())))
        return 0;
    return rewriteLink(*this, link, file, shortcut, prefixLength, installDir);
}

// Nonzero with the rewritten path in `result`: 1 for work, the directory's
// length for windows and system, 1 for the special folders. 0 for root, an
// unknown keyword, a path without a keyword, or a result that does not fit a
// path buffer; `result` is then untouched. `shipped` is not changed.
int SetupFileManager::QRV_DirReparing(char* result, char* shipped, unsigned int prefixLength,
                                      char* installDir) {
    int status = repare(*this, result, shipped, prefixLength, installDir);
    return status > 0 ? status : 0;
}

// 1 with the folder's path in `path`, 0 when the shell has none.
int SetupFileManager::QRV_SpecialDir(char* path, int csidl) {
    win32::ItemList list;
    if (FAILED(SHGetSpecialFolderLocation(GetActiveWindow(), csidl, list.out())) || !list.valid())
        return 0;
    return SHGetPathFromIDListA(list.get(), path) ? 1 : 0;
}
