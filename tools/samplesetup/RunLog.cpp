// The run's log file: collected under a lock, written in large pieces.
#include "RunLog.h"

#include <stdio.h>

namespace {

// Collected text is written once it reaches this size.
const size_t kWriteSize = 64 * 1024;

}  // namespace

RunLog::RunLog() { InitializeCriticalSection(&lock_); }

RunLog::~RunLog() {
    close();
    DeleteCriticalSection(&lock_);
}

bool RunLog::open(const char* path) {
    close();
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EnterCriticalSection(&lock_);
    file_.reset(file);
    startTicks_ = GetTickCount();
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
        collected_ += stamp;
        collected_ += text;
        collected_ += "\r\n";
        if (collected_.size() >= kWriteSize)
            writeCollected();
    }
    LeaveCriticalSection(&lock_);
}

void RunLog::flush() {
    EnterCriticalSection(&lock_);
    writeCollected();
    LeaveCriticalSection(&lock_);
}

void RunLog::close() {
    EnterCriticalSection(&lock_);
    writeCollected();
    file_.reset();
    LeaveCriticalSection(&lock_);
}

void RunLog::writeCollected() {
    if (file_.valid() && !collected_.empty()) {
        DWORD written = 0;
        WriteFile(file_.get(), collected_.data(), static_cast<DWORD>(collected_.size()), &written, nullptr);
    }
    collected_.clear();
}
