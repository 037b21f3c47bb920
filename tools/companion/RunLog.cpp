// The run's log file: each line written whole, under a lock, as it comes.
#include "RunLog.h"

#include <windows.h>
#include <stdio.h>

#include <mutex>

#include "win32/Ownership.h"

struct RunLog::State {
    std::mutex lock;
    win32::FileHandle file;
    DWORD startTicks = 0;

    void write(const std::string& text) {  // under the lock
        DWORD written = 0;
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
};

RunLog::RunLog() : state_(new State) {}

RunLog::~RunLog() { close(); }

bool RunLog::open(const char* path, const char* firstLine) {
    close();
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->file.reset(file);
    state_->startTicks = GetTickCount();
    LARGE_INTEGER size = {};
    if (state_->file.valid() && GetFileSizeEx(state_->file.get(), &size)) {
        LARGE_INTEGER end = {};
        SetFilePointerEx(state_->file.get(), end, nullptr, FILE_END);
        state_->write(size.QuadPart == 0 ? std::string(firstLine) + "\r\n" : std::string("\r\n"));
    }
    return state_->file.valid();
}

bool RunLog::isOpen() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->file.valid();
}

void RunLog::line(const std::string& text) {
    std::lock_guard<std::mutex> hold(state_->lock);
    if (!state_->file.valid())
        return;
    DWORD ms = GetTickCount() - state_->startTicks;
    char stamp[24];
    snprintf(stamp, sizeof stamp, "%5lu.%03lu  ", static_cast<unsigned long>(ms / 1000),
             static_cast<unsigned long>(ms % 1000));
    state_->write(stamp + text + "\r\n");
}

void RunLog::close() {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->file.reset();
}
