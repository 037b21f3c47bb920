// The diagnostic log's lines: what a record of each shape reads like, the
// Windows error's name, and the severity a product filters on.
#include "format/LogText.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

LogFacts facts(SetupLogKind kind, const char* path, const char* other = "", uint32_t error = 0, int32_t number = 0,
               const char* detail = nullptr) {
    LogFacts f;
    f.kind = kind;
    f.path = path;
    f.otherPath = other;
    f.error = error;
    f.number = number;
    f.detail = detail;
    return f;
}

TEST(LogText, EachPartAppearsOnlyWhenTheRecordHasIt) {
    struct Case {
        LogFacts facts;
        const char* line;
    } cases[] = {
        {facts(LogFileInstalled, "C:\\P\\a.exe"), "file installed: C:\\P\\a.exe"},
        {facts(LogFolderRefused, "C:\\P\\Docs", "", 183),
         "folder cannot be created: C:\\P\\Docs: error 183 ERROR_ALREADY_EXISTS"},
        {facts(LogFileExchangedInUse, "C:\\P\\a.dll", "C:\\P\\qrv1.TMP"),
         "file in use, replaced at the next start of Windows: C:\\P\\a.dll (new copy in C:\\P\\qrv1.TMP)"},
        {facts(LogFileSkipped, "Docs\\g.txt", "", 0, 2, "group disabled"),
         "file skipped: Docs\\g.txt (group 2) (group disabled)"},
        {facts(LogDiskRequested, "D:\\Data2.Dat", "", 2, 2, "not found"),
         "disk asked for: D:\\Data2.Dat (volume 2) (not found): error 2 ERROR_FILE_NOT_FOUND"},
        {facts(LogRunEnded, "C:\\P", "", 0, StepDoneReboot), "run ended in: C:\\P (done, restart needed)"},
        {facts(LogProcessOutcome, "", "", 0, -1), "installation run ended (unknown result)"},
        {facts(LogRegistryWritten, "HKEY_LOCAL_MACHINE\\S", "Path", 5),
         "registry value not written: HKEY_LOCAL_MACHINE\\S (value Path): error 5 ERROR_ACCESS_DENIED"},
        {facts(LogRebootDecision, "C:\\P", "", 0, 1), "restart needed: C:\\P"},
        {facts(static_cast<SetupLogKind>(99), "x", "y", 1234), "record of kind 99: x (y): error 1234"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.line, logText(c.facts));
}

TEST(LogText, NullTextsReadAsEmpty) {
    EXPECT_EQ("folder created", logText(facts(LogFolderCreated, nullptr, nullptr)));
}

TEST(LogText, EveryKindHasAPhraseOfItsOwn) {
    // A kind added to Setup.h without its phrase would read "record of kind".
    std::set<std::string> seen;
    for (int kind : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 32, 33, 34, 35, 36}) {
        std::string line = logText(facts(static_cast<SetupLogKind>(kind), ""));
        EXPECT_EQ(std::string::npos, line.find("record of kind")) << kind;
        EXPECT_TRUE(seen.insert(line).second) << kind << ": " << line;
    }
}

TEST(LogText, ErrorNamesAreWindowsOwnAndUnknownCodesStayNumbers) {
    EXPECT_EQ("", windowsErrorText(0));
    EXPECT_EQ("error 32 ERROR_SHARING_VIOLATION", windowsErrorText(32));
    EXPECT_EQ("error 112 ERROR_DISK_FULL", windowsErrorText(112));
    EXPECT_EQ("error 4294967295", windowsErrorText(0xFFFFFFFFu));
}

TEST(LogText, SeverityFollowsTheOutcome) {
    EXPECT_EQ(LogInfo, logSeverity(facts(LogFileInstalled, "")));
    EXPECT_EQ(LogWarning, logSeverity(facts(LogFileKeptNewer, "")));
    EXPECT_EQ(LogWarning, logSeverity(facts(LogEarlierFileKept, "")));
    EXPECT_EQ(LogError, logSeverity(facts(LogWriteError, "")));
    // A run's end and a registry value matter by how they went.
    EXPECT_EQ(LogError, logSeverity(facts(LogRunEnded, "", "", 0, StepFailure)));
    EXPECT_EQ(LogWarning, logSeverity(facts(LogProcessOutcome, "", "", 0, StepUserBreak)));
    EXPECT_EQ(LogInfo, logSeverity(facts(LogRunEnded, "", "", 0, StepDoneReboot)));
    EXPECT_EQ(LogInfo, logSeverity(facts(LogRegistryWritten, "")));
    EXPECT_EQ(LogError, logSeverity(facts(LogRegistryWritten, "", "", 5)));
}

}  // namespace
