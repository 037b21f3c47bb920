// The diagnostic log's lines: one phrase per kind, what its figure and its
// second path are called, and the names of the Windows errors a setup meets.
#include "format/LogText.h"

#include <string.h>

namespace {

// How a kind's figure reads.
enum class Figure {
    None,     // the kind has none
    Labelled, // "<label> <n>"
    Result    // a StepResult, by name
};

struct KindText {
    SetupLogKind kind;
    const char* phrase;      // what happened, before the path
    Figure figure;
    const char* label;       // the figure's name, for Labelled
    const char* otherLabel;  // what the second path is, before it
};

const KindText kKinds[] = {
    {LogRunStarted, "run started in", Figure::Labelled, "files", nullptr},
    {LogFileInstalled, "file installed", Figure::None, nullptr, nullptr},
    {LogFileSkipped, "file skipped", Figure::Labelled, "group", nullptr},
    {LogFileKeptNewer, "file kept, the copy there is newer", Figure::None, nullptr, nullptr},
    {LogFileExchangedInUse, "file in use, replaced at the next start of Windows", Figure::None, nullptr,
     "new copy in"},
    {LogFolderCreated, "folder created", Figure::None, nullptr, nullptr},
    {LogFolderRefused, "folder cannot be created", Figure::None, nullptr, nullptr},
    {LogPathTooLong, "path too long", Figure::None, nullptr, "adding"},
    {LogReadError, "volume cannot be read", Figure::None, nullptr, nullptr},
    {LogWriteError, "file cannot be written", Figure::None, nullptr, "through"},
    {LogCrcError, "file differs from the check file, deleted", Figure::None, nullptr, nullptr},
    {LogDiskRequested, "disk asked for", Figure::Labelled, "volume", nullptr},
    {LogTransactionCommitted, "transaction committed in", Figure::None, nullptr, nullptr},
    {LogTransactionRolledBack, "transaction rolled back in", Figure::None, nullptr, nullptr},
    {LogTransactionRecovered, "unfinished earlier run undone in", Figure::None, nullptr, nullptr},
    {LogRunEnded, "run ended in", Figure::Result, nullptr, nullptr},
    {LogProtocolError, "Install.log cannot be written", Figure::None, nullptr, nullptr},
    {LogEarlierFileRemoved, "earlier file no longer shipped, removed", Figure::None, nullptr, nullptr},
    {LogEarlierFileKept, "earlier file no longer shipped, kept", Figure::None, nullptr, nullptr},
    {LogRegistryWritten, "registry value written", Figure::None, nullptr, "value"},
    {LogEarlierVersion, "earlier version's uninstaller", Figure::Labelled, "result", nullptr},
    {LogRebootDecision, "restart", Figure::None, nullptr, nullptr},
    {LogWizardOutcome, "wizard ended", Figure::Labelled, "result", nullptr},
    {LogProcessOutcome, "installation run ended", Figure::Result, nullptr, nullptr},
};

const KindText* kindText(SetupLogKind kind) {
    for (const KindText& k : kKinds)
        if (k.kind == kind)
            return &k;
    return nullptr;
}

const char* resultName(int32_t result) {
    switch (result) {
    case StepFailure: return "failed";
    case StepUserBreak: return "cancelled";
    case StepContinue: return "done";
    case StepDoneReboot: return "done, restart needed";
    }
    return "unknown result";
}

struct ErrorName {
    uint32_t code;
    const char* name;
};

// The errors a setup meets on files, folders, disks and the registry.
const ErrorName kErrors[] = {
    {2, "ERROR_FILE_NOT_FOUND"},      {3, "ERROR_PATH_NOT_FOUND"},
    {4, "ERROR_TOO_MANY_OPEN_FILES"}, {5, "ERROR_ACCESS_DENIED"},
    {8, "ERROR_NOT_ENOUGH_MEMORY"},   {15, "ERROR_INVALID_DRIVE"},
    {19, "ERROR_WRITE_PROTECT"},      {21, "ERROR_NOT_READY"},
    {23, "ERROR_CRC"},                {32, "ERROR_SHARING_VIOLATION"},
    {33, "ERROR_LOCK_VIOLATION"},     {38, "ERROR_HANDLE_EOF"},
    {39, "ERROR_HANDLE_DISK_FULL"},   {53, "ERROR_BAD_NETPATH"},
    {80, "ERROR_FILE_EXISTS"},        {87, "ERROR_INVALID_PARAMETER"},
    {112, "ERROR_DISK_FULL"},         {123, "ERROR_INVALID_NAME"},
    {145, "ERROR_DIR_NOT_EMPTY"},     {183, "ERROR_ALREADY_EXISTS"},
    {206, "ERROR_FILENAME_EXCED_RANGE"}, {267, "ERROR_DIRECTORY"},
    {1392, "ERROR_FILE_CORRUPT"},     {1450, "ERROR_NO_SYSTEM_RESOURCES"},
};

bool isRunResult(SetupLogKind kind) { return kind == LogRunEnded || kind == LogProcessOutcome; }

}  // namespace

SetupLogSeverity logSeverity(const LogFacts& facts) {
    if (isRunResult(facts.kind))
        return facts.number == StepFailure ? LogError : facts.number == StepUserBreak ? LogWarning : LogInfo;
    switch (facts.kind) {
    case LogFolderRefused:
    case LogPathTooLong:
    case LogReadError:
    case LogWriteError:
    case LogCrcError:
    case LogProtocolError:
        return LogError;
    case LogFileSkipped:
    case LogFileKeptNewer:
    case LogFileExchangedInUse:
    case LogEarlierFileKept:
    case LogDiskRequested:
    case LogTransactionRolledBack:
    case LogTransactionRecovered:
        return LogWarning;
    default:
        return facts.error ? LogError : LogInfo;
    }
}

std::string windowsErrorText(uint32_t error) {
    if (error == 0)
        return std::string();
    std::string text = "error " + std::to_string(error);
    for (const ErrorName& e : kErrors)
        if (e.code == error)
            return text + " " + e.name;
    return text;
}

std::string logText(const LogFacts& facts) {
    const KindText* kind = kindText(facts.kind);
    std::string line;
    if (!kind)
        line = "record of kind " + std::to_string(static_cast<int>(facts.kind));
    else if (facts.kind == LogRegistryWritten && facts.error)
        line = "registry value not written";
    else if (facts.kind == LogRebootDecision)
        line = facts.number ? "restart needed" : "no restart needed";
    else
        line = kind->phrase;
    const char* path = facts.path ? facts.path : "";
    if (*path)
        line += std::string(": ") + path;

    // The figure and the second path, in one bracket.
    std::string more;
    if (kind && kind->figure == Figure::Labelled)
        more = std::string(kind->label) + " " + std::to_string(facts.number);
    else if (kind && kind->figure == Figure::Result)
        more = resultName(facts.number);
    const char* other = facts.otherPath ? facts.otherPath : "";
    if (*other) {
        if (!more.empty())
            more += ", ";
        more += kind && kind->otherLabel ? std::string(kind->otherLabel) + " " + other : std::string(other);
    }
    if (!more.empty())
        line += " (" + more + ")";
    if (facts.detail && *facts.detail)
        line += std::string(" (") + facts.detail + ")";
    if (facts.error)
        line += ": " + windowsErrorText(facts.error);
    return line;
}
