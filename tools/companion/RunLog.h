// The plain-text log of a setup program's run (/LOG=file): one line per
// event, each with the time since the start, written by the companion's
// LogFile (LogFile.h), so that lines from the constructing thread and from
// the installation run's worker never mix and a run killed at any moment
// leaves every line before the kill. A log the setup wrote before is
// appended to. While it is open the log also receives every record of the
// library's diagnostic log (SetLogHook): each file, folder, error and
// decision of the engine and of the Setup object, with its paths and
// Windows error code. Library `companion` (Win32); the SDK ships it as
// include/RunLog.h with lib/libcompanion.a.
#ifndef SETUP_RUN_LOG_H
#define SETUP_RUN_LOG_H

#include <string>

#include "LogFile.h"
#include "Setup.h"

class RunLog {
public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens `path` for appending, creating it with `firstLine` when it is
    // new or empty, and follows the library's diagnostic log into it.
    // Result: false when it cannot be written. One log at a time follows
    // the library's.
    bool open(const char* path, const char* firstLine);
    bool isOpen() const { return file_.isOpen(); }
    // Adds one line. Any thread; nothing happens when no log is open.
    void line(const std::string& text) { file_.line(text); }
    // Stops following the library's log, then closes the file.
    void close();

private:
    LogFile file_;
    bool following_ = false;
    LogHook previous_ = nullptr;
};

// The line a record of the library's diagnostic log becomes in the run's
// log: "library: <text>", its severity named when it is not plain information.
std::string libraryLogLine(const SetupLogRecord& record);

#endif
