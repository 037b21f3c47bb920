// Which files a program's log (/LOG=) may be written to: the rule the
// sample setup and the uninstaller share (tools/companion/LogFile.h).
#include "LogFile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kSetupLog[] = "Sample Product Setup log";
const char kUninstallLog[] = "QRVUnins.Exe uninstall log";

TEST(LogFileRule, RefusedInTheFolderOnTheDisksOrWhenNotThisProgramsOwn) {
    const std::string folder = "C:\\Apps\\Sample";
    const std::string setupHead = std::string(kSetupLog) + "\r\n    0.000  start";
    const std::string uninstallHead = std::string(kUninstallLog) + "\r\n";
    struct Case {
        const char* log;
        const char* folder;
        bool exists;
        std::string head;
        const char* firstLine;
        LogFault fault;
    };
    const Case cases[] = {
        {"C:\\logs\\setup.log", "", false, "", kSetupLog, LogFault::None},
        {"C:\\logs\\setup.log", "", true, setupHead, kSetupLog, LogFault::None},  // appended to
        {"C:\\logs\\setup.log", "", true, "", kSetupLog, LogFault::NotOurs},      // an empty file someone made
        {"C:\\logs\\setup.log", "", true, "QRVL\x01", kSetupLog, LogFault::NotOurs},
        // Each program appends to its own logs only.
        {"C:\\logs\\setup.log", "", true, setupHead, kUninstallLog, LogFault::NotOurs},
        {"C:\\logs\\unins.log", "", true, uninstallHead, kUninstallLog, LogFault::None},
        {"C:\\logs\\unins.log", "", true, std::string(kUninstallLog, 8), kUninstallLog, LogFault::NotOurs},
        {"C:\\Apps\\Sample\\Install.log", "C:\\Apps\\Sample", true, "", kSetupLog, LogFault::InTarget},
        {"C:\\Apps\\Sample\\Docs\\new.log", "C:\\Apps\\Sample", false, "", kUninstallLog, LogFault::InTarget},
        {"c:\\apps\\sample\\install.log", "C:\\Apps\\Sample", true, setupHead, kSetupLog, LogFault::InTarget},
        {"C:\\Apps\\Sample.log", "C:\\Apps\\Sample", false, "", kSetupLog, LogFault::None},
        // No folder known yet (the uninstaller found no product): the other rules hold.
        {"C:\\Apps\\Sample\\Install.log", "", true, "", kUninstallLog, LogFault::NotOurs},
        {"D:\\Disk1\\Data1.Dat", "", true, "", kSetupLog, LogFault::OnMedia},
        {"D:\\Disk1\\new.log", "", false, "", kSetupLog, LogFault::None},
        {"D:\\Disk1\\Setup.Dll", "", true, "MZ", kSetupLog, LogFault::NotOurs},
        {"D:\\Disk1\\data.chk", "", false, "", kUninstallLog, LogFault::OnMedia},
        {"D:\\Disk2\\Data2.Dat", "", false, "", kSetupLog, LogFault::OnMedia},  // the next disk, not inserted yet
        {"C:\\logs\\data12.dat", "", false, "", kSetupLog, LogFault::OnMedia},
        {"C:\\logs\\Data.Dat", "", false, "", kSetupLog, LogFault::None},
    };
    for (const Case& c : cases) {
        LogFault fault = logFault(c.log, c.folder, c.exists, c.head, c.firstLine);
        EXPECT_EQ(c.fault, fault) << c.log << " for " << c.firstLine;
        std::string text = logFaultText(fault, c.log);
        EXPECT_EQ(c.fault == LogFault::None, text.empty()) << c.log;
        EXPECT_TRUE(text.empty() || text.find(c.log) != std::string::npos) << text;
    }
}

}  // namespace
