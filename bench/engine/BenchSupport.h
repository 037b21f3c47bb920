// What both engine benchmarks share: a monotonic clock in seconds and
// starting a program and waiting for its exit code.
#ifndef SETUP_TOOLS_ENGINEBENCH_BENCH_SUPPORT_H
#define SETUP_TOOLS_ENGINEBENCH_BENCH_SUPPORT_H

#include <windows.h>

#include <functional>
#include <string>

#include "win32/Ownership.h"

namespace bench {

inline double seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs `commandLine` in `folder` (the current one when empty), its standard
// output and error to NUL when `quiet`; the exit code, or -1 when it did not
// start or did not end within ten minutes. `meanwhile`, when given, is
// called with the process's id every few milliseconds while it runs.
inline int run(const std::string& commandLine, const std::string& folder = std::string(),
               bool quiet = false, const std::function<void(DWORD)>& meanwhile = nullptr) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    win32::FileHandle nul;
    if (quiet) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        nul.reset(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                              nullptr));
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = nul.get();
        si.hStdError = nul.get();
    }
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, quiet ? TRUE : FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return -1;
    win32::KernelHandle thread(pi.hThread);
    win32::KernelHandle process(pi.hProcess);
    // A program that waits for an answer nobody gives fails rather than hangs.
    DWORD waited = WAIT_TIMEOUT;
    if (meanwhile) {
        for (int tick = 0; tick < 600000 / 5 && waited == WAIT_TIMEOUT; ++tick) {
            meanwhile(pi.dwProcessId);
            waited = WaitForSingleObject(process.get(), 5);
        }
    } else {
        waited = WaitForSingleObject(process.get(), 600000);
    }
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<int>(code);
}

}  // namespace bench

#endif
