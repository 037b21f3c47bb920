// SetupStub: the program at the front of a one-file Setup.exe. It finds the
// payload `setupvol build` appended to it (before a signature's certificate
// table, which Authenticode leaves out of its hash while covering the
// payload), unpacks every file into a new folder of its own under the
// user's temporary folder, checking each against the index, runs
// GenericSetup.exe from there (its current folder too) with the command
// line it was given, passes
// the setup's exit code on, and removes the folder. A damaged or cut file
// is refused before the setup starts: a message box, or under /S none, and
// exit code 1603.
#define _CRT_RAND_S
#include <stdlib.h>

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "format/FileCheck.h"
#include "tools/onefile/Payload.h"
#include "win32/CodePage.h"
#include "win32/Ownership.h"
#include "win32/SystemLibrary.h"

namespace {

// The exit code of a setup that could not run (ERROR_INSTALL_FAILURE, as
// Windows Installer reports it), whatever went wrong before it started.
const DWORD kExitNotRun = 1603;
const wchar_t kTitle[] = L"Setup";
// How often a folder still in use (a program the setup started and left
// running a moment) is tried again, and how long apart.
const int kRemoveTries = 20;
const DWORD kRemovePauseMs = 250;
// Tries for a folder name nobody holds yet.
const int kFolderTries = 16;
const DWORD kCopyBlock = 1 << 20;

bool unattended() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    bool silent = false;
    for (int i = 1; argv && i < count; ++i)
        silent |= lstrcmpiW(argv[i], L"/S") == 0;
    LocalFree(argv);
    return silent;
}

// Why the setup cannot run; shown unless unattended.
DWORD refuse(const std::wstring& text) {
    if (!unattended())
        MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    return kExitNotRun;
}

DWORD refuseDamaged(PayloadFault fault) {
    std::wstring why;
    for (const char* p = payloadFaultText(fault); *p; ++p)
        why += static_cast<wchar_t>(*p);
    return refuse(L"This setup file is damaged or incomplete: " + why +
                  L".\n\nNothing was installed. Please download the setup again.");
}

std::wstring systemText(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring s = text ? text : L"error " + std::to_wstring(error);
    LocalFree(text);
    while (!s.empty() && (s.back() == L'\n' || s.back() == L'\r' || s.back() == L' '))
        s.pop_back();
    return s;
}

std::wstring widen(const std::string& utf8) { return win32::wideText(utf8, CP_UTF8, MB_ERR_INVALID_CHARS); }

bool readAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &got, nullptr) &&
           got == size;
}

// This program's own file, read-only; others may read it too.
win32::FileHandle openSelf() {
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        return win32::FileHandle();
    return win32::FileHandle(CreateFileW(path.data(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

struct Payload {
    uint64_t start = 0;
    std::vector<PayloadEntry> entries;
};

PayloadFault readOwnPayload(HANDLE self, Payload* payload) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(self, &size))
        return PayloadFault::NotPe;
    return readPayload(
        static_cast<uint64_t>(size.QuadPart),
        [self](uint64_t offset, unsigned char* buffer, size_t count) {
            return count <= MAXDWORD && readAt(self, offset, buffer, static_cast<DWORD>(count));
        },
        &payload->start, &payload->entries);
}

// Who may reach the unpacked files: the system and the owner this process
// gives what it makes. Elevated, that owner is the Administrators group, so
// that the user's own programs, which run without those rights, cannot
// replace the setup between its unpacking and its start; otherwise it is
// the user. Empty when it cannot be told: the folder then inherits.
std::wstring folderAccess() {
    win32::KernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out()))
        return std::wstring();
    std::vector<unsigned char> owner(256);
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenOwner, owner.data(), static_cast<DWORD>(owner.size()), &size))
        return std::wstring();
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_OWNER*>(owner.data())->Owner, &sid))
        return std::wstring();
    std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;") + sid + L")";
    LocalFree(sid);
    return sddl;
}

// A new folder under the user's temporary folder, named at random and
// made by this call alone (an existing one is never taken over), open to
// folderAccess() alone.
bool makeFreshFolder(std::wstring* folder, DWORD* error) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    const std::wstring access = folderAccess();
    if (!access.empty() && !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                               access.c_str(), SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
        attributes.lpSecurityDescriptor = nullptr;
    auto freeDescriptor = win32::atScopeExit([&] { LocalFree(attributes.lpSecurityDescriptor); });
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) {
        *error = GetLastError();
        return false;
    }
    for (int i = 0; i < kFolderTries; ++i) {
        unsigned int a = 0, b = 0;
        if (rand_s(&a) != 0 || rand_s(&b) != 0) {
            *error = ERROR_GEN_FAILURE;
            return false;
        }
        wchar_t name[32];
        wsprintfW(name, L"Setup-%08X%08X", a, b);
        *folder = std::wstring(temp) + name;
        if (CreateDirectoryW(folder->c_str(), &attributes))
            return true;
        *error = GetLastError();
        if (*error != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

// Removes `path` and what it holds; a link is removed, never followed.
bool removeTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    win32::FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (find.valid()) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(child.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                removeTree(child);
            else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(child.c_str());
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find.get(), &found));
    }
    find.reset();
    return RemoveDirectoryW(path.c_str()) != 0;
}

// Writes one file of the payload below `folder`, making its folders, and
// checks its bytes as they pass.
//   true    written, its CRC matches the index's
//   false   *fault FileDamaged: its bytes differ or end early; *fault None:
//           it could not be written, *error says why
bool unpackFile(HANDLE self, const Payload& payload, const PayloadEntry& e, const std::wstring& folder,
                PayloadFault* fault, DWORD* error) {
    *fault = PayloadFault::None;
    std::wstring path = folder;
    std::wstring name = widen(e.name);
    for (size_t start = 0;;) {
        size_t slash = name.find(L'/', start);
        path += L"\\" + name.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
        if (slash == std::wstring::npos)
            break;
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = GetLastError();
            return false;
        }
        start = slash + 1;
    }
    win32::FileHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) {
        *error = GetLastError();
        return false;
    }
    std::vector<unsigned char> buffer(kCopyBlock);
    uint32_t crc = 0;
    for (uint64_t done = 0; done < e.size;) {
        DWORD block = e.size - done < kCopyBlock ? static_cast<DWORD>(e.size - done) : kCopyBlock;
        if (!readAt(self, payload.start + e.offset + done, buffer.data(), block)) {
            *fault = PayloadFault::FileDamaged;
            return false;
        }
        crc = crc32Update(crc, buffer.data(), block);
        DWORD written = 0;
        if (!WriteFile(out.get(), buffer.data(), block, &written, nullptr) || written != block) {
            *error = GetLastError();
            return false;
        }
        done += block;
    }
    if (crc != e.crc) {
        *fault = PayloadFault::FileDamaged;
        return false;
    }
    return true;
}

DWORD runSetup(const std::wstring& folder, DWORD* exitCode) {
    const std::wstring program = folder + L"\\" + widen(kGenericSetupName);
    std::wstring commandLine = L"\"" + program + L"\"";
    const wchar_t* arguments = argumentsAfterProgram(GetCommandLineW());
    if (*arguments)
        commandLine += std::wstring(L" ") + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // The setup's folder is its current one too: the library's reader looks
    // for Data1.Dat there.
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return GetLastError();
    win32::KernelHandle processHandle(process.hProcess);
    win32::KernelHandle threadHandle(process.hThread);
    WaitForSingleObject(processHandle.get(), INFINITE);
    if (!GetExitCodeProcess(processHandle.get(), exitCode))
        return GetLastError();
    return ERROR_SUCCESS;
}

DWORD run() {
    win32::FileHandle self = openSelf();
    if (!self.valid())
        return refuse(L"Setup cannot read its own file: " + systemText(GetLastError()));
    Payload payload;
    PayloadFault fault = readOwnPayload(self.get(), &payload);
    if (fault != PayloadFault::None)
        return refuseDamaged(fault);
    std::wstring folder;
    DWORD error = ERROR_SUCCESS;
    if (!makeFreshFolder(&folder, &error))
        return refuse(L"Setup cannot make a folder for its files in the temporary folder: " + systemText(error));
    auto removeFolder = win32::atScopeExit([&] {
        for (int i = 0; i < kRemoveTries && !removeTree(folder); ++i)
            Sleep(kRemovePauseMs);
    });
    for (const PayloadEntry& e : payload.entries) {
        if (!unpackFile(self.get(), payload, e, folder, &fault, &error))
            return fault != PayloadFault::None
                       ? refuseDamaged(fault)
                       : refuse(L"Setup cannot unpack its files into " + folder + L": " + systemText(error));
    }
    self.reset();
    DWORD exitCode = kExitNotRun;
    error = runSetup(folder, &exitCode);
    if (error != ERROR_SUCCESS)
        return refuse(L"Setup cannot start " + folder + L"\\" + widen(kGenericSetupName) + L": " + systemText(error));
    return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // First of all, as the setups do: it runs from a Downloads folder, and
    // whatever the shell loads for it later by name comes from the system
    // folder alone.
    win32::restrictDllSearch();
    return static_cast<int>(run());
}
