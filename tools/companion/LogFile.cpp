// The log writer (LogFile.h): each line written whole, under a lock, as it
// comes; and the refusal rule asked of a file on this machine.
#include "LogFile.h"

#include <stdio.h>

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

namespace {

// One whole line with one WriteFile, under the caller's lock.
void writeText(HANDLE file, const std::string& text) {
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

LogFile::LogFile() : file_(INVALID_HANDLE_VALUE) { InitializeCriticalSection(&lock_); }

LogFile::~LogFile() {
    close();
    DeleteCriticalSection(&lock_);
}

bool LogFile::open(const char* path, const char* firstLine) {
    close();
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    EnterCriticalSection(&lock_);
    win32::closeFile(file_);
    file_ = file;
    startTicks_ = GetTickCount();
    LARGE_INTEGER size = {};
    if (file_ != INVALID_HANDLE_VALUE && GetFileSizeEx(file_, &size)) {
        LARGE_INTEGER end = {};
        SetFilePointerEx(file_, end, nullptr, FILE_END);
        writeText(file_, size.QuadPart == 0 ? std::string(firstLine) + "\r\n" : std::string("\r\n"));
    }
    LeaveCriticalSection(&lock_);
    return file != INVALID_HANDLE_VALUE;
}

bool LogFile::isOpen() const { return file_ != INVALID_HANDLE_VALUE; }

void LogFile::line(const std::string& text) {
    EnterCriticalSection(&lock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        DWORD ms = GetTickCount() - startTicks_;
        char stamp[24];
        snprintf(stamp, sizeof stamp, "%5lu.%03lu  ", static_cast<unsigned long>(ms / 1000),
                 static_cast<unsigned long>(ms % 1000));
        writeText(file_, stamp + text + "\r\n");
    }
    LeaveCriticalSection(&lock_);
}

void LogFile::close() {
    EnterCriticalSection(&lock_);
    win32::closeFile(file_);
    LeaveCriticalSection(&lock_);
}
