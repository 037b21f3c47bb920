// Which files a program's log may be written to (LogFile.h): never into the
// product's folder, never under a name of the installation disks, and never
// over a file that is not one of the program's own logs.
#include <string.h>

#include "InstallTarget.h"
#include "LogFile.h"

LogFault logFault(const std::string& log, const std::string& folder, bool exists, const std::string& head,
                  const std::string& firstLine) {
    if (!folder.empty() && isInsideFolder(folder, log))
        return LogFault::InTarget;
    size_t slash = log.find_last_of("\\/");
    std::string name = slash == std::string::npos ? log : log.substr(slash + 1);
    if (isInstallMediaName(name))
        return LogFault::OnMedia;
    if (exists && head.compare(0, firstLine.size(), firstLine) != 0)
        return LogFault::NotOurs;
    return LogFault::None;
}

std::string logFaultText(LogFault fault, const std::string& spelled) {
    switch (fault) {
    case LogFault::None: break;
    case LogFault::InTarget: return "the log " + spelled + " would lie in the product's folder, among its files";
    case LogFault::OnMedia: return "the log " + spelled + " would be taken for a file of the installation disks";
    case LogFault::NotOurs: return "the log " + spelled + " exists and is not a log of this program";
    case LogFault::NotAPath: return "the log " + spelled + " is not a path this program can write";
    }
    return std::string();
}
