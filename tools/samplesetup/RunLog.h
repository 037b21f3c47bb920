// The plain-text log of a run (/LOG=file): one line per event, each with the
// time since the start. Lines come from the constructing thread and from
// the installation run's worker (one per file), so each is written under a
// lock, whole and at once: a run killed at any moment leaves every line
// before the kill. A log the sample wrote before is appended to.
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

    // Opens `path` for appending, creating it with `firstLine` when it is
    // new or empty. Result: false when it cannot be written.
    bool open(const char* path, const char* firstLine);
    bool isOpen() const { return file_.valid(); }
    // Adds one line. Any thread; nothing happens when no log is open.
    void line(const std::string& text);
    void close();

private:
    void write(const std::string& text);  // under the lock

    CRITICAL_SECTION lock_;
    OwnedFile file_;
    DWORD startTicks_ = 0;
};

#endif
