// What names lead to on this machine, and its shared roots; see MachinePaths.h.
#include "tools/uninstaller/MachinePaths.h"

// The final path of a handle and the known folders came with Windows Vista.
// Their declarations are taken from the Vista headers, but the functions are
// looked up when the program runs, so that it still starts on Windows XP
// (which has no symbolic links; a junction there shows as a reparse point).
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <unordered_set>

#include "format/RecordNames.h"
#include "format/RegistryNames.h"
#include "format/Records.h"
#include "win32/Ownership.h"
#include "win32/SystemLibrary.h"

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::string join(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// "\\?\C:\x" -> "C:\x"; "\\?\UNC\server\share" -> "\\server\share".
std::string dosPath(const std::string& final) {
    if (final.compare(0, 8, "\\\\?\\UNC\\") == 0)
        return "\\\\" + final.substr(8);
    if (final.compare(0, 4, "\\\\?\\") == 0)
        return final.substr(4);
    return final;
}

using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
using KnownFolderFunction = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);

// Where opening `path` leads ("" when it cannot be opened or this Windows
// cannot tell).
std::string finalPath(const std::string& path) {
    win32::FileHandle file(CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() ? finalPathOf(file.get()) : "";
}

bool isDriveRoot(const std::string& path) {
    return (path.size() == 2 || (path.size() == 3 && path[2] == '\\')) && path[1] == ':';
}

void addRoot(std::vector<std::string>& roots, std::unordered_set<std::string>& seen, PathResolver& resolver,
             const std::string& path) {
    if (path.empty())
        return;
    std::string target = resolver.resolve(path).target;
    std::string key;
    for (char c : target)
        key += foldNameByte(c == '/' ? '\\' : c);
    while (key.size() > 3 && key.back() == '\\')
        key.pop_back();
    if (seen.insert(key).second)
        roots.push_back(target);
}

template <class Call>
std::string textOf(Call call) {
    char text[MAX_PATH + 1];
    UINT n = call(text, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(text, n) : std::string();
}

std::string ansi(const wchar_t* wide) {
    char text[MAX_PATH * 2];
    BOOL lost = FALSE;
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, &lost);
    return n > 0 && !lost ? std::string(text) : std::string();
}

// Every known folder the shell's manager lists (Wine and Windows alike list
// several hundred; most are virtual and have no path).
void addKnownFolders(std::vector<std::string>& roots, std::unordered_set<std::string>& seen,
                     PathResolver& resolver) {
    win32::ComPtr<IKnownFolderManager> manager;
    if (FAILED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_IKnownFolderManager,
                                manager.outVoid())))
        return;
    win32::TaskMemory<KNOWNFOLDERID> ids;
    UINT count = 0;
    if (FAILED(manager->GetFolderIds(ids.out(), &count)) || !ids.valid())
        return;
    auto knownFolderPath = win32::systemFunction<KnownFolderFunction>("shell32.dll", "SHGetKnownFolderPath");
    if (!knownFolderPath)
        return;
    for (UINT i = 0; i < count; ++i) {
        win32::TaskMemory<wchar_t> path;
        if (SUCCEEDED(knownFolderPath(ids.get()[i], KF_FLAG_DONT_VERIFY, nullptr, path.out())) &&
            path.valid())
            addRoot(roots, seen, resolver, ansi(path.get()));
    }
}

}  // namespace

std::string finalPathOf(void* handle) {
    // Looked up once: the answer is the same for the whole process.
    static const FinalPathFunction function =
        win32::systemFunction<FinalPathFunction>("kernel32.dll", "GetFinalPathNameByHandleA");
    char text[MAX_PATH + 8];
    DWORD n = function ? function(handle, text, sizeof text, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS) : 0;
    if (n == 0 || n >= sizeof text)
        return "";
    std::string out = dosPath(text);
    if (out.size() == 2 && out[1] == ':')
        out += '\\';
    return out;
}

const ResolvedPath& MachineResolver::folder(const std::string& path) {
    auto it = folders_.find(path);
    if (it == folders_.end())
        it = folders_.emplace(path, resolve(path)).first;
    return it->second;
}

ResolvedPath MachineResolver::resolve(const std::string& asked) {
    std::string path = asked;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    ResolvedPath r;
    if (isDriveRoot(path)) {
        std::string root = path.substr(0, 2) + "\\";
        std::string target = finalPath(root);
        r.path = root;
        r.target = target.empty() ? root : target;
        return r;
    }
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos) {
        r.path = r.target = path;  // no drive path: nothing to resolve
        return r;
    }
    std::string parent = path.substr(0, slash);
    std::string name = path.substr(slash + 1);
    std::string base = folder(parent.size() == 2 ? parent + "\\" : parent).target;

    // Attributes cost no handle; opening one costs a round trip to the
    // server under Wine, so a log of 100,000 files opens only what must be.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && name.find('~') != std::string::npos) {
        // Only a name with a tilde can be an 8.3 alias of another.
        WIN32_FIND_DATAA found;
        win32::FindHandle find(FindFirstFileA(path.c_str(), &found));
        if (find.valid())
            name = found.cFileName;
    }
    r.path = join(base, name);
    r.target = r.path;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A link whose target cannot be opened leads nowhere known: to itself.
        r.link = true;
        std::string target = finalPath(path);
        if (!target.empty())
            r.target = target;
    }
    return r;
}

std::vector<std::string> sharedRoots(PathResolver& resolver) {
    std::vector<std::string> roots;
    std::unordered_set<std::string> seen;
    char drives[4 * 26 + 2] = "";
    DWORD n = GetLogicalDriveStringsA(sizeof drives, drives);
    if (n > 0 && n < sizeof drives)
        for (const char* d = drives; *d; d += strlen(d) + 1)
            addRoot(roots, seen, resolver, d);
    addRoot(roots, seen, resolver, textOf([](char* t, UINT s) { return GetWindowsDirectoryA(t, s); }));
    addRoot(roots, seen, resolver, textOf([](char* t, UINT s) { return GetSystemDirectoryA(t, s); }));
    addRoot(roots, seen, resolver, textOf([](char* t, UINT s) { return GetSystemWow64DirectoryA(t, s); }));
    addRoot(roots, seen, resolver, textOf([](char* t, UINT s) { return GetTempPathA(s, t); }));
    // A 32-bit program on 64-bit Windows sees Program Files (x86) as its
    // Program Files; the other one is named only in the environment.
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "CommonProgramW6432",
                             "ProgramData", "ALLUSERSPROFILE", "PUBLIC", "USERPROFILE", "SystemRoot"})
        addRoot(roots, seen, resolver,
                textOf([name](char* t, UINT s) { return GetEnvironmentVariableA(name, t, s); }));
    // The shell's folders by their old numbers too, for a shell without the
    // known-folder manager.
    for (int csidl = 0; csidl < 0x40; ++csidl) {
        char path[MAX_PATH] = "";
        if (SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
            addRoot(roots, seen, resolver, path);
    }
    addKnownFolders(roots, seen, resolver);
    return roots;
}

namespace {

std::string shellFolder(int csidl) {
    win32::ItemList list;
    char path[MAX_PATH] = "";
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, list.out())) || !list.valid() ||
        !SHGetPathFromIDListA(list.get(), path))
        return "";
    return path;
}

}  // namespace

KnownFolders machineFolders(PathResolver& resolver) {
    KnownFolders f;
    auto folder = [&](const std::string& path) { return path.empty() ? path : resolver.resolve(path).target; };
    char path[MAX_PATH];
    UINT n = GetWindowsDirectoryA(path, sizeof path);
    if (n > 0 && n < sizeof path)
        f.windows = folder(path);
    n = GetSystemDirectoryA(path, sizeof path);
    if (n > 0 && n < sizeof path)
        f.system = folder(path);
    f.desktop = folder(shellFolder(ShellFolderDesktop));
    f.startup = folder(shellFolder(ShellFolderStartup));
    f.startMenu = folder(shellFolder(ShellFolderStartMenu));
    f.programs = folder(shellFolder(ShellFolderPrograms));
    // Started by a setup through its short (8.3) path: the log has the long one.
    DWORD m = GetModuleFileNameA(nullptr, path, sizeof path);
    if (m > 0 && m < sizeof path)
        f.self = resolver.resolve(path).path;
    f.shared = sharedRoots(resolver);
    return f;
}

std::string registryText(HKEY root, const std::string& key, const char* value) {
    win32::RegistryKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.out()) != ERROR_SUCCESS)
        return "";
    char data[1024];
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegQueryValueExA(k.get(), value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return "";
    data[size] = '\0';
    return data;
}

std::vector<std::string> uninstallEntryNames() {
    std::vector<std::string> names;
    win32::RegistryKey entries;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, entries.out()) != ERROR_SUCCESS)
        return names;
    char name[256];  // the longest key name Windows allows, and its end
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        LONG r = RegEnumKeyExA(entries.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA)
            continue;
        if (r != ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    return names;
}
