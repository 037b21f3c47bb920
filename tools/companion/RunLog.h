// The plain-text log of a setup program's run (/LOG=file): one line per
// event, each with the time since the start. Lines come from the
// constructing thread and from the installation run's worker (one per
// file), so each is written under a lock, whole and at once: a run killed at
// any moment leaves every line before the kill. A log the setup wrote before
// is appended to. Library `companion` (Win32); the SDK ships it as
// include/RunLog.h with lib/libcompanion.a.
#ifndef SETUP_RUN_LOG_H
#define SETUP_RUN_LOG_H

#include <memory>
#include <string>

class RunLog {
public:
    RunLog();
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens `path` for appending, creating it with `firstLine` when it is
    // new or empty. Result: false when it cannot be written.
    bool open(const char* path, const char* firstLine);
    bool isOpen() const;
    // Adds one line. Any thread; nothing happens when no log is open.
    void line(const std::string& text);
    void close();

private:
    struct State;  // the file and its lock
    std::unique_ptr<State> state_;
};

#endif
