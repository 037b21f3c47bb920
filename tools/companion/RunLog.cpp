// The run's log file, and the library's diagnostic log followed into it.
#include "RunLog.h"

#include <atomic>

namespace {

// The log the library's records go to. The hook is a plain function with no
// data of its own, so the one log that follows it is found here; it is set
// before the hook is installed and cleared after it is removed.
std::atomic<RunLog*> g_following{nullptr};

// Called on whichever thread the library decides on (the run's worker for
// the engine's records): the log's own lock keeps each line whole.
void CALLBACK writeLibraryRecord(const SetupLogRecord* record) {
    RunLog* log = g_following.load();
    if (log && record && record->text)
        log->line(libraryLogLine(*record));
}

}  // namespace

std::string libraryLogLine(const SetupLogRecord& record) {
    const char* severity = record.severity == LogError     ? "library error: "
                           : record.severity == LogWarning ? "library warning: "
                                                           : "library: ";
    return severity + std::string(record.text);
}

RunLog::~RunLog() { close(); }

bool RunLog::open(const char* path, const char* firstLine) {
    close();
    if (!file_.open(path, firstLine))
        return false;
    RunLog* none = nullptr;
    if (g_following.compare_exchange_strong(none, this)) {
        previous_ = SetLogHook(writeLibraryRecord);
        following_ = true;
    }
    return true;
}

void RunLog::close() {
    if (following_) {
        SetLogHook(previous_);
        g_following.store(nullptr);
        following_ = false;
    }
    file_.close();
}
