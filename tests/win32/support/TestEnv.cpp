// Helpers shared by the Win32 tests; see TestEnv.h.
#include "TestEnv.h"

#include <gtest/gtest.h>
#include <stdio.h>

namespace testenv {

HINSTANCE library() { return GetModuleHandleA("Setup.Dll"); }

static std::string slashes(std::string p) {
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

std::string scratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char& c : name)
        if (c == '/' || c == '\\')
            c = '_';
    std::string dir = slashes(SETUP_SCRATCH_DIR) + "\\" + name;
    removeTree(dir);
    CreateDirectoryA(slashes(SETUP_SCRATCH_DIR).c_str(), nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

void removeTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string n = fd.cFileName;
            if (n == "." || n == "..")
                continue;
            std::string p = dir + "\\" + n;
            SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(p);
            else
                DeleteFileA(p.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    BOOL ok = bytes.empty() ||
              WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(h);
    return ok && done == bytes.size();
}

bool writeFile(const std::string& path, const std::string& text) {
    return writeFile(path, std::vector<unsigned char>(text.begin(), text.end()));
}

std::vector<unsigned char> readFile(const std::string& path) {
    std::vector<unsigned char> out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    unsigned char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        out.insert(out.end(), buf, buf + got);
    CloseHandle(h);
    return out;
}

bool fileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool dirExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string currentDir() {
    char buf[MAX_PATH];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    return std::string(buf, n < sizeof buf ? n : 0);
}

int run(const std::string& commandLine, const std::string& workDir) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    // Under a loaded Wine a process start has been seen to fail once in a
    // few hundred runs: the start is tried again, and a failure says why.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        std::string cmd = commandLine;
        started = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 workDir.empty() ? nullptr : workDir.c_str(), &si, &pi) != FALSE;
        if (!started) {
            fprintf(stderr, "testenv::run: cannot start %s (error %lu)\n", commandLine.c_str(),
                    static_cast<unsigned long>(GetLastError()));
            Sleep(200);
        }
    }
    if (!started)
        return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

std::string binPath(const std::string& name) { return slashes(SETUP_BIN_DIR) + "\\" + name; }

void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace testenv
