// The log writer (LogFile.h): each line written whole, under a lock, as it
// comes; and the refusal rule asked of a file on this machine.
#include "LogFile.h"

#include <windows.h>
#include <stdio.h>

#include <mutex>

#include "InstallTarget.h"
#include "win32/Ownership.h"

LogFault checkLogFile(const char* path, const std::string& folder, const std::string& firstLine) {
    std::string resolved = resolvedFullPath(path);
    if (resolved.empty())
        return LogFault::NotAPath;
    DWORD attributes = GetFileAttributesA(path);
    bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    std::string head;
    if (exists) {
        win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.valid()) {
            head.resize(firstLine.size());
            DWORD got = 0;
            if (!head.empty() && !ReadFile(file.get(), &head[0], static_cast<DWORD>(head.size()), &got, nullptr))
                got = 0;
            head.resize(got);
        }
    }
    return logFault(resolved, folder, exists, head, firstLine);
}

struct LogFile::State {
    std::mutex lock;
    win32::FileHandle file;
    DWORD startTicks = 0;

    // One whole line with one WriteFile, under the lock.
    void write(const std::string& text) {
        DWORD written = 0;
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
};

LogFile::LogFile() : state_(new State) {}

LogFile::~LogFile() { close(); }

bool LogFile::open(const char* path, const char* firstLine) {
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

bool LogFile::isOpen() const {
    std::lock_guard<std::mutex> hold(state_->lock);
    return state_->file.valid();
}

void LogFile::line(const std::string& text) {
    std::lock_guard<std::mutex> hold(state_->lock);
    if (!state_->file.valid())
        return;
    DWORD ms = GetTickCount() - state_->startTicks;
    char stamp[24];
    snprintf(stamp, sizeof stamp, "%5lu.%03lu  ", static_cast<unsigned long>(ms / 1000),
             static_cast<unsigned long>(ms % 1000));
    state_->write(stamp + text + "\r\n");
}

void LogFile::close() {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->file.reset();
}
