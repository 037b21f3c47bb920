// The diagnostic log's hook and the delivery of one record to it. The text
// is built here, on the reporting thread, only when a hook is set.
#include "baseinterface/DiagnosticLog.h"

#include <new>
#include <string>

// Set by the product on any thread, read by whichever thread reports.
std::atomic<LogHook> g_logHook{nullptr};

LogHook SetLogHook(LogHook hook) { return g_logHook.exchange(hook); }

void deliverLog(const LogFacts& facts) {
    LogHook hook = g_logHook.load();
    if (!hook)
        return;
    // The caller goes on to show its message or return its result with the
    // error it had.
    DWORD lastError = GetLastError();
    try {
        std::string text = logText(facts);
        SetupLogRecord record;
        record.size = sizeof record;
        record.kind = facts.kind;
        record.severity = logSeverity(facts);
        record.text = text.c_str();
        record.path = facts.path;
        record.otherPath = facts.otherPath;
        record.error = facts.error;
        record.number = facts.number;
        hook(&record);
    } catch (const std::bad_alloc&) {
        // Without memory for the text the record is lost, not the run.
    }
    SetLastError(lastError);
}
