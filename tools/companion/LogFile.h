// A program's plain-text log (/LOG=<file>), shared by the setup programs
// (RunLog.h) and the uninstaller (static library `companion`; the SDK ships it as
// include/LogFile.h with lib/libcompanion.a). Which files a log may be
// written to, and the writer: one line per event, each with the time since
// the log was opened, written whole under a lock with one WriteFile of its
// own, so that lines from several threads never mix and a process killed
// at any moment leaves every line before the kill in the file. It includes
// only <string> (and <memory> for the writer), so the SDK's copy stands
// alone: `#include "LogFile.h"`.
//
//     LogFault fault = checkLogFile(path, folder, kMyFirstLine);
//     if (fault != LogFault::None)
//         refuse(logFaultText(fault, path));   // nothing written
//     LogFile log;
//     log.open(path, kMyFirstLine);
//     log.line("removed: C:\\Apps\\Tool.exe");
#ifndef SETUP_LOG_FILE_H
#define SETUP_LOG_FILE_H

#include <string>

// Why a log may not be written to a file.
enum class LogFault {
    None,
    InTarget,  // inside the product's folder: Install.log or a file of the product
    OnMedia,   // named as a disk's volume (Data2.Dat) or its check file: the reader would take it for one
    NotOurs,   // an existing file that is not a log of this program
    NotAPath   // cannot be made a full path (checkLogFile)
};

// Result: the fault of the log file `log` for a program working on the
// product folder `folder` (each as it resolves; "" when there is none yet).
// `exists` and `head` (its first bytes) say what is there now: a program
// appends only to a log whose first line is its own `firstLine`, and creates
// any other log new. Every file of the disks counts as existing and not a
// log, so only its name is asked.
LogFault logFault(const std::string& log, const std::string& folder, bool exists, const std::string& head,
                  const std::string& firstLine);

// The refusal as a sentence naming the log as the user gave it; "" for None.
std::string logFaultText(LogFault fault, const std::string& spelled);

#ifdef _WIN32
#include <memory>

// logFault for `path` on this machine: resolved as checkInstallTarget
// resolves folders, and its first bytes read when it exists. Windows only.
LogFault checkLogFile(const char* path, const std::string& folder, const std::string& firstLine);

class LogFile {
public:
    LogFile();
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens `path` for appending, creating it with `firstLine` when it is
    // new or empty (a blank line then separates this run's lines from the
    // last). Result: false when it cannot be written. The refusal rule is
    // checkLogFile's, asked before.
    bool open(const char* path, const char* firstLine);
    bool isOpen() const;
    // Adds one line, "<seconds since open>  <text>". Any thread; nothing
    // happens when no log is open.
    void line(const std::string& text);
    void close();

private:
    struct State;  // the file and its lock
    std::unique_ptr<State> state_;
};
#endif

#endif
