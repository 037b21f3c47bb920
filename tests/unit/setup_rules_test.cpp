// A setup program's portable decisions (the sample's and the generic setup's): the command line (the target with
// blanks, quoting, unknown switches), the unattended answer to every kind
// of question, exit codes, the space check's figures, folder walking and
// the text filling that a translation cannot make overrun, and the log
// files refused.
#include "SetupRules.h"

#include <gtest/gtest.h>

namespace {

TEST(SampleArguments, EmptyLineAsksForTheWizard) {
    for (const char* line : {"", "   ", static_cast<const char*>(nullptr)}) {
        Options o = parseArguments(line);
        EXPECT_FALSE(o.silent);
        EXPECT_FALSE(o.help);
        EXPECT_TRUE(o.target.empty());
        EXPECT_TRUE(o.error.empty());
    }
}

TEST(SampleArguments, TargetTakesTheRestOfTheLineBlanksIncluded) {
    Options o = parseArguments("/S /LOG=C:\\t\\run.log /D=C:\\Program Files\\Sample  Product  ");
    EXPECT_TRUE(o.silent);
    EXPECT_EQ("C:\\t\\run.log", o.logPath);
    EXPECT_EQ("C:\\Program Files\\Sample  Product", o.target);
    EXPECT_TRUE(o.error.empty());
    // What follows /D= is the folder, even when it looks like a switch.
    EXPECT_EQ("D:\\x /S", parseArguments("/D=D:\\x /S").target);
    EXPECT_FALSE(parseArguments("/D=D:\\x /S").silent);
}

TEST(SampleArguments, QuotesAroundTheTargetOrTheWholeSwitchAreDropped) {
    EXPECT_EQ("C:\\a b", parseArguments("/S /D=\"C:\\a b\"").target);
    EXPECT_EQ("C:\\a b", parseArguments("/S \"/D=C:\\a b\"").target);
    // A quote inside the folder is left alone.
    EXPECT_EQ("C:\\a\"b", parseArguments("/D=C:\\a\"b").target);
}

TEST(SampleArguments, LogMayBeQuotedAfterItsEqualsOrWhole) {
    EXPECT_EQ("C:\\my logs\\a.log", parseArguments("/LOG=\"C:\\my logs\\a.log\" /S").logPath);
    Options o = parseArguments("\"/LOG=C:\\my logs\\a.log\" /S");
    EXPECT_EQ("C:\\my logs\\a.log", o.logPath);
    EXPECT_TRUE(o.silent);
}

TEST(SampleArguments, SwitchesAreCaseInsensitive) {
    Options o = parseArguments("/s /norestart /log=x.log /d=C:\\p");
    EXPECT_TRUE(o.silent);
    EXPECT_TRUE(o.noRestart);
    EXPECT_EQ("x.log", o.logPath);
    EXPECT_EQ("C:\\p", o.target);
}

TEST(SampleArguments, HelpInEveryCustomarySpelling) {
    for (const char* line : {"/?", "-?", "--help", "--HELP", "/help", "/h"})
        EXPECT_TRUE(parseArguments(line).help) << line;
}

TEST(SampleArguments, AnythingElseIsAnErrorNamingIt) {
    Options o = parseArguments("/S /Q /D=C:\\x");
    EXPECT_NE(std::string::npos, o.error.find("/Q")) << o.error;
    EXPECT_FALSE(parseArguments("/SILENT").error.empty());
    // The old form, the folder without /D=, is refused rather than taken
    // for something else.
    EXPECT_FALSE(parseArguments("/S C:\\target").error.empty());
    EXPECT_FALSE(parseArguments("/D=").error.empty());
    EXPECT_FALSE(parseArguments("/D=   ").error.empty());
    EXPECT_FALSE(parseArguments("/LOG= /S").error.empty());
}

TEST(SampleExitCodes, EachEndHasItsCode) {
    EXPECT_EQ(0, exitCodeFor(RunEnd::Complete));
    EXPECT_EQ(3010, exitCodeFor(RunEnd::Reboot));
    EXPECT_EQ(1602, exitCodeFor(RunEnd::Cancelled));
    EXPECT_EQ(1603, exitCodeFor(RunEnd::Failed));
    // A setup that never got to install did not succeed.
    EXPECT_EQ(1603, exitCodeFor(RunEnd::NotRun));
}

// MB_ values, spelled out: this test builds without <windows.h>.
const unsigned long kOk = 0, kOkCancel = 1, kAbortRetryIgnore = 2, kYesNoCancel = 3, kYesNo = 4,
                    kRetryCancel = 5, kIconStop = 0x10, kIconQuestion = 0x20, kForeground = 0x10000;

TEST(SampleUnattended, EveryBoxGetsTheButtonThatStopsSafely) {
    EXPECT_EQ(AnswerOk, unattendedAnswer(11113, kOk | kIconStop));
    EXPECT_EQ(AnswerOk, unattendedAnswer(11130, 0x40));
    EXPECT_EQ(AnswerCancel, unattendedAnswer(11106, kOkCancel | kIconQuestion));  // no reboot
    EXPECT_EQ(AnswerCancel, unattendedAnswer(11123, kOkCancel));                  // wrong group count
    EXPECT_EQ(AnswerCancel, unattendedAnswer(11109, kRetryCancel));               // wrong disk
    EXPECT_EQ(AnswerCancel, unattendedAnswer(11118, kRetryCancel | kForeground)); // older system file
    EXPECT_EQ(AnswerNo, unattendedAnswer(11106, kYesNo | 0x30));                  // reboot when closing
    EXPECT_EQ(AnswerCancel, unattendedAnswer(4242, kYesNoCancel));
    EXPECT_EQ(AnswerAbort, unattendedAnswer(4242, kAbortRetryIgnore));
}

TEST(SampleUnattended, TheExitQuestionIsAnsweredYesSoThatARunThatCannotGoOnEnds) {
    // "No" would send the reader back to the folder browser for ever.
    EXPECT_EQ(AnswerYes, unattendedAnswer(11103, kYesNo | kIconQuestion));
    EXPECT_EQ(AnswerYes, unattendedAnswer(11105, kYesNo | kIconQuestion));
    // The browser itself is cancelled.
    EXPECT_EQ(AnswerCancel, unattendedAnswer(MessageHookBrowser, kOkCancel));
    // The same text number with OK only is still just acknowledged.
    EXPECT_EQ(AnswerOk, unattendedAnswer(11103, kOk));
}

TEST(SampleLog, QuestionLineKeepsOneLineAndNamesTheAnswer) {
    EXPECT_EQ("message 11113 [OK] \"Installation disk might be corrupted.\\nInstallation aborted.\" "
              "-> OK (answered automatically)",
              questionLogLine(11113, "Installation disk might be corrupted.\r\nInstallation aborted.",
                              kOk | kIconStop, AnswerOk, true));
    EXPECT_EQ("folder browser [OK/Cancel] \"Select the folder containing Data2.Dat.\" -> Cancel "
              "(answered automatically)",
              questionLogLine(MessageHookBrowser, "Select the folder containing Data2.Dat.", kOkCancel,
                              AnswerCancel, true));
    EXPECT_EQ("message 11103 [Yes/No] \"q\" -> No (answered by the user)",
              questionLogLine(11103, "q", kYesNo, AnswerNo, false));
    EXPECT_EQ("answer 9", answerName(9));
    EXPECT_EQ("none", answerName(0));
    EXPECT_EQ("Abort/Retry/Ignore", buttonsName(kAbortRetryIgnore | kIconStop));
}

TEST(SampleSpace, FitsUpToTheLastByte) {
    EXPECT_TRUE(checkSpace(5000, 5000).fits);
    EXPECT_FALSE(checkSpace(5001, 5000).fits);
    EXPECT_TRUE(checkSpace(0, 0).fits);
    // Beyond 4 GB free, as large disks report.
    EXPECT_TRUE(checkSpace(0xFFFFFFFFull, 0x500000000ull).fits);
    EXPECT_EQ(0x500000000ull / 1024, checkSpace(1, 0x500000000ull).freeKb);
}

TEST(SampleSpace, ARefusalNeverShowsEqualFigures) {
    // Needed rounds up, free rounds down.
    SpaceCheck c = checkSpace(1025, 1024);
    EXPECT_FALSE(c.fits);
    EXPECT_EQ(2u, c.neededKb);
    EXPECT_EQ(1u, c.freeKb);
    for (uint64_t needed : {1ull, 1023ull, 1024ull, 4097ull, 1048577ull})
        for (uint64_t delta : {1ull, 7ull, 1023ull}) {
            if (delta > needed)
                continue;
            SpaceCheck r = checkSpace(needed, needed - delta);
            EXPECT_FALSE(r.fits);
            EXPECT_GT(r.neededKb, r.freeKb) << needed << " " << delta;
        }
    EXPECT_EQ(1u, checkSpace(1, 0).neededKb);
    EXPECT_EQ(0u, checkSpace(1, 1023).freeKb);
}

// Files laid out every possible way (each size from 1 to 3 clusters and
// a byte): the bound is never below what they take, and is reached when
// every file wastes the most it can.
TEST(SampleSpace, AllocationBoundHoldsForEveryLayoutOfTheFiles) {
    for (uint64_t cluster : {1ull, 512ull, 4096ull}) {
        for (uint64_t a = 1; a <= 3 * cluster + 1; a += cluster / 8 + 1)
            for (uint64_t b = 0; b <= 3 * cluster + 1; b += cluster / 4 + 1) {
                uint64_t taken = (a + cluster - 1) / cluster * cluster + (b + cluster - 1) / cluster * cluster;
                EXPECT_LE(taken, allocatedBound(a + b, 2, cluster)) << cluster << " " << a << " " << b;
            }
    }
    // 700 files of one byte take 700 clusters, not one KB.
    EXPECT_EQ(700u * 4096, allocatedBound(700, 700, 4096));
    EXPECT_FALSE(checkSpace(allocatedBound(700, 700, 4096), 1024 * 1024).fits);
    EXPECT_EQ(8192u, allocatedBound(5000, 1, 4096));
    EXPECT_EQ(5000u, allocatedBound(5000, 3, 0));
}

TEST(SampleFolders, ParentWalksUpToTheRootAndStops) {
    std::string p;
    ASSERT_TRUE(parentFolder("C:\\Program Files\\Sample Product", &p));
    EXPECT_EQ("C:\\Program Files", p);
    ASSERT_TRUE(parentFolder("C:\\Program Files\\", &p));
    EXPECT_EQ("C:\\", p);
    EXPECT_FALSE(parentFolder("C:\\", &p));
    EXPECT_FALSE(parentFolder("C:", &p));
    ASSERT_TRUE(parentFolder("C:\\a\\\\b", &p));
    EXPECT_EQ("C:\\a", p);
    ASSERT_TRUE(parentFolder("\\\\server\\share\\apps", &p));
    EXPECT_EQ("\\\\server\\share", p);
    EXPECT_FALSE(parentFolder("\\\\server\\share", &p));
    EXPECT_FALSE(parentFolder("\\\\server\\share\\", &p));
    EXPECT_FALSE(parentFolder("relative", &p));
}

TEST(SampleFolders, DriveOfAPathAsTheMessageNamesIt) {
    EXPECT_EQ("C:", driveOf("C:\\Program Files\\x"));
    EXPECT_EQ("Z:", driveOf("Z:"));
    EXPECT_EQ("\\\\server\\share", driveOf("\\\\server\\share\\a\\b"));
    EXPECT_EQ("relative\\x", driveOf("relative\\x"));
}

TEST(SampleText, InsertsGoInOrderAndNeverBeyondTheArguments) {
    EXPECT_EQ("Welcome to the Sample Product Setup",
              fillText("Welcome to the %s Setup", {"Sample Product"}));
    EXPECT_EQ("drive C:. 12 KB needed, 3 KB free, 100%",
              fillText("drive %s. %lu KB needed, %lu KB free, 100%%", {"C:", "12", "3"}));
    // Missing inserts leave nothing; a lone or unknown % stays as it is.
    EXPECT_EQ("a  b %n c %", fillText("a %s b %n c %", {}));
    EXPECT_EQ("x=1 y=2", fillText("x=%d y=%u", {"1", "2", "3"}));
}

TEST(SampleText, HelpNamesEverySwitchAndExitCode) {
    std::string help = helpText("ToolSetup", "Tool", "C:\\Program Files\\Tool");
    for (const char* word : {"ToolSetup [/S]", "Tool Setup", "(default C:\\Program Files\\Tool)", "/S", "/D=", "/LOG=",
                             "/NORESTART", "/?", "--help", "3010", "1602", "1603"})
        EXPECT_NE(std::string::npos, help.find(word)) << word;
}

TEST(SampleRegistration, EstimatedSizeRoundsUpToWholeKbAndSaturates) {
    EXPECT_EQ(0u, estimatedSizeKb(0));
    EXPECT_EQ(1u, estimatedSizeKb(1));
    EXPECT_EQ(1u, estimatedSizeKb(1024));
    EXPECT_EQ(2u, estimatedSizeKb(1025));
    // 4 TB and more do not wrap around in a DWORD.
    EXPECT_EQ(0xFFFFFFFFu, estimatedSizeKb(0xFFFFFFFFull * 1024));
    EXPECT_EQ(0xFFFFFFFFu, estimatedSizeKb(0xFFFFFFFFull * 1024 + 1));
    EXPECT_EQ(0xFFFFFFFFu, estimatedSizeKb(~0ull));
}

TEST(SampleRegistration, UninstallEntryValuesNameTheFolderTheIconAndTheSize) {
    ProductFacts facts{"C:\\Program Files\\Sample Product", "SampleTool.exe", "1.2", "Sample Company", 5000};
    std::vector<UninstallValue> values = uninstallValues(facts);
    ASSERT_EQ(5u, values.size());
    EXPECT_EQ("InstallLocation", values[0].name);
    EXPECT_EQ(facts.installDirectory, values[0].text);
    EXPECT_EQ("DisplayVersion", values[1].name);
    EXPECT_EQ("1.2", values[1].text);
    EXPECT_EQ("Publisher", values[2].name);
    EXPECT_EQ("Sample Company", values[2].text);
    EXPECT_EQ("DisplayIcon", values[3].name);
    EXPECT_EQ("C:\\Program Files\\Sample Product\\SampleTool.exe", values[3].text);
    EXPECT_EQ("EstimatedSize", values[4].name);
    EXPECT_TRUE(values[4].isNumber);
    EXPECT_EQ(5u, values[4].number);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(values[i].isNumber) << values[i].name;
    // A folder given with its trailing backslash (a drive root) gets no second one.
    facts.installDirectory = "D:\\";
    EXPECT_EQ("D:\\SampleTool.exe", uninstallValues(facts)[3].text);
    EXPECT_EQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample Product",
              uninstallKeyFor("Sample Product"));
}

// Only the entry our registration writes is offered for removal.
TEST(SampleRegistration, EarlierVersionOnlyWhenTheEntryIsOurOwn) {
    const UninstallEntry ours = {"Sample Product", "C:\\Windows\\QRVUnins.Exe Sample Product", "Sample Company",
                                 "C:\\Apps\\Sample", "1.0"};
    EXPECT_TRUE(isOwnEntry(ours, "Sample Product", "Sample Company", "C:\\Windows"));
    EXPECT_TRUE(isOwnEntry(ours, "sample product", "SAMPLE COMPANY", "c:\\windows\\"));
    // As the library writes it now: the uninstaller's path quoted.
    UninstallEntry quoted = ours;
    quoted.uninstallString = "\"C:\\Windows\\QRVUnins.Exe\" Sample Product";
    EXPECT_TRUE(isOwnEntry(quoted, "Sample Product", "Sample Company", "C:\\Windows"));
    const struct {
        const char* field;
        UninstallEntry entry;
    } others[] = {
        {"publisher", {ours.displayName, ours.uninstallString, "Other Company", "", ""}},
        {"no publisher", {ours.displayName, ours.uninstallString, "", "", ""}},
        {"uninstaller", {ours.displayName, "C:\\Other\\unins000.exe Sample Product", ours.publisher, "", ""}},
        {"folder", {ours.displayName, "C:\\Temp\\QRVUnins.Exe Sample Product", ours.publisher, "", ""}},
        {"argument", {ours.displayName, "C:\\Windows\\QRVUnins.Exe Sample Product 2", ours.publisher, "", ""}},
        {"quotes", {ours.displayName, "\"C:\\Windows\\QRVUnins.Exe Sample Product\"", ours.publisher, "", ""}},
        {"name", {"Sample Product 2", ours.uninstallString, ours.publisher, "", ""}},
    };
    for (const auto& o : others)
        EXPECT_FALSE(isOwnEntry(o.entry, "Sample Product", "Sample Company", "C:\\Windows")) << o.field;

    EXPECT_EQ("Sample Product 1.0 (Sample Company, in C:\\Apps\\Sample)", earlierVersionText(ours));
    EXPECT_EQ("Sample Product (in C:\\Apps)", earlierVersionText({"Sample Product", "", "", "C:\\Apps", ""}));
    EXPECT_EQ("Sample Product", earlierVersionText({"Sample Product", "", "", "", ""}));
}


TEST(SampleLogFile, RefusedInTheTargetOnTheDisksOrWhenNotOurs) {
    const std::string target = "C:\\Apps\\Sample";
    const std::string firstLine = "Sample Product Setup log";
    const std::string ours = firstLine + "\r\n    0.000  start";
    struct Case {
        const char* log;
        bool exists;
        std::string head;
        LogFault fault;
    };
    const Case cases[] = {
        {"C:\\logs\\setup.log", false, "", LogFault::None},
        {"C:\\logs\\setup.log", true, ours, LogFault::None},          // appended to
        {"C:\\logs\\setup.log", true, "", LogFault::NotOurs},         // an empty file someone made
        {"C:\\logs\\setup.log", true, "QRVL\x01", LogFault::NotOurs},
        {"C:\\Apps\\Sample\\Install.log", true, "", LogFault::InTarget},
        {"C:\\Apps\\Sample\\Docs\\new.log", false, "", LogFault::InTarget},
        {"c:\\apps\\sample\\install.log", true, ours, LogFault::InTarget},
        {"D:\\Disk1\\Data1.Dat", true, "", LogFault::OnMedia},
        {"D:\\Disk1\\new.log", false, "", LogFault::None},
        {"D:\\Disk1\\Setup.Dll", true, "MZ", LogFault::NotOurs},
        {"D:\\Disk1\\data.chk", false, "", LogFault::OnMedia},
        {"D:\\Disk2\\Data2.Dat", false, "", LogFault::OnMedia},       // the next disk, not inserted yet
        {"C:\\logs\\data12.dat", false, "", LogFault::OnMedia},
        {"C:\\logs\\Data.Dat", false, "", LogFault::None},
        {"C:\\Apps\\Sample.log", false, "", LogFault::None},
    };
    for (const Case& c : cases) {
        LogFault fault = logFault(c.log, target, c.exists, c.head, firstLine);
        EXPECT_EQ(c.fault, fault) << c.log;
        std::string text = logFaultText(fault, c.log);
        EXPECT_EQ(c.fault == LogFault::None, text.empty()) << c.log;
    }
}

}  // namespace
