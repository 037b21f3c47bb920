// The run's log file: each line written whole, under a lock, as it comes.
#include "RunLog.h"

#include <stdio.h>

RunLog::RunLog() { InitializeCriticalSection(&lock_); }

RunLog::~RunLog() {
    close();
    DeleteCriticalSection(&lock_);
}

bool RunLog::open(const char* path, const char* firstLine) {
    close();
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    EnterCriticalSection(&lock_);
    file_.reset(file);
    startTicks_ = GetTickCount();
    LARGE_INTEGER size = {};
    if (file_.valid() && GetFileSizeEx(file_.get(), &size)) {
        LARGE_INTEGER end = {};
        SetFilePointerEx(file_.get(), end, nullptr, FILE_END);
        write(size.QuadPart == 0 ? std::string(firstLine) + "\r\n" : std::string("\r\n"));
    }
    LeaveCriticalSection(&lock_);
    return file != INVALID_HANDLE_VALUE;
}

void RunLog::line(const std::string& text) {
    EnterCriticalSection(&lock_);
    if (file_.valid()) {
        DWORD ms = GetTickCount() - startTicks_;
        char stamp[24];
        snprintf(stamp, sizeof stamp, "%5lu.%03lu  ", static_cast<unsigned long>(ms / 1000),
                 static_cast<unsigned long>(ms % 1000));
        write(stamp + text + "\r\n");
    }
    LeaveCriticalSection(&lock_);
}

void RunLog::close() {
    EnterCriticalSection(&lock_);
    file_.reset();
    LeaveCriticalSection(&lock_);
}

void RunLog::write(const std::string& text) {
    DWORD written = 0;
    WriteFile(file_.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
