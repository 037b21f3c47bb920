// The diagnostic log's lines: what a SetupLogRecord's text says, built from
// the record's kind, paths, figure and Windows error code, and how much the
// record matters. The engine and the Setup object build their records'
// texts here (only when a product has set a log hook), and the uninstaller
// writes its own log's error codes the same way, so that every log of a
// product reads alike. English, for diagnosis: the message boxes keep their
// own texts. Needs the enums of Setup.h (SetupTypes.h), which brings
// <windows.h> in a Windows build.
#ifndef SETUP_FORMAT_LOG_TEXT_H
#define SETUP_FORMAT_LOG_TEXT_H

#include <stdint.h>

#include <string>

#include "Setup.h"

// What one record says before it becomes a line. `detail` is a short
// English phrase saying why ("group disabled", "the product answered
// skip"), or null.
struct LogFacts {
    SetupLogKind kind;
    const char* path = "";
    const char* otherPath = "";
    uint32_t error = 0;
    int32_t number = 0;
    const char* detail = nullptr;
};

// Result: the record's severity: LogError for a failure (and for a run or
// a registry value that failed), LogWarning for a file or run that went
// otherwise than planned, else LogInfo.
SetupLogSeverity logSeverity(const LogFacts& facts);

// Result: the record as one line, "<what>: <path> (<figure>, <other
// path>) (<detail>): error <n> <NAME>", each part only when it has one;
// never a line break (a path cannot hold one).
std::string logText(const LogFacts& facts);

// Result: "error 5 ERROR_ACCESS_DENIED", the code alone ("error 1234") when
// it has no name here; "" for 0.
std::string windowsErrorText(uint32_t error);

#endif
