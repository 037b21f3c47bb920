// The plain-text log of a run (/LOG=file): one line per event, each with the
// time since the start. Lines come from the constructing thread and from
// the installation run's worker (one per file), so they are collected under
// a lock into a buffer that is written in large pieces: a run of thousands
// of files writes its log in a few calls, not one per line.
#ifndef SAMPLE_SETUP_RUN_LOG_H
#define SAMPLE_SETUP_RUN_LOG_H

#include <windows.h>

#include <string>

#include "Owned.h"

class RunLog {
public:
    RunLog();
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Creates (or empties) `path`. Result: false when it cannot be written.
    bool open(const char* path);
    bool isOpen() const { return file_.valid(); }
    // Adds one line. Any thread; nothing happens when no log is open.
    void line(const std::string& text);
    // Writes what is collected; the log stays open.
    void flush();
    // Writes what is collected and closes the file.
    void close();

private:
    void writeCollected();  // under the lock

    CRITICAL_SECTION lock_;
    OwnedFile file_;
    std::string collected_;
    DWORD startTicks_ = 0;
};

#endif
