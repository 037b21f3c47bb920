// A setup program's portable decisions: command line, unattended answers,
// exit codes, the space check, the texts of help and log, the Uninstall
// entry's values.
#include "SetupRules.h"

#include <ctype.h>
#include <string.h>

#include "InstallTarget.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool startsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix)
        if (toupper(static_cast<unsigned char>(*text)) != toupper(static_cast<unsigned char>(*prefix)))
            return false;
    return true;
}

bool equalsNoCase(const std::string& a, const char* b) {
    return a.size() == strlen(b) && startsWithNoCase(a.c_str(), b);
}

void trimTrailingBlanks(std::string& text) {
    while (!text.empty() && isBlank(text.back()))
        text.pop_back();
}

// One blank-separated argument from `p`, its quotes removed; a quote opens
// a part in which blanks belong to the argument. Backslashes are plain
// characters: they are the path separator here.
std::string readArgument(const char*& p) {
    std::string out;
    bool quoted = false;
    for (; *p && (quoted || !isBlank(*p)); ++p) {
        if (*p == '"')
            quoted = !quoted;
        else
            out += *p;
    }
    return out;
}

// The box kinds of the MB_ style's low four bits.
enum BoxKind {
    BoxOk = 0,
    BoxOkCancel = 1,
    BoxAbortRetryIgnore = 2,
    BoxYesNoCancel = 3,
    BoxYesNo = 4,
    BoxRetryCancel = 5,
    BoxCancelTryContinue = 6
};

}  // namespace

ExitCode exitCodeFor(RunEnd end) {
    switch (end) {
    case RunEnd::Complete: return ExitSuccess;
    case RunEnd::Reboot: return ExitRebootNeeded;
    case RunEnd::Cancelled: return ExitCancelled;
    case RunEnd::Failed:
    case RunEnd::NotRun: break;
    }
    return ExitFailure;
}

Options parseArguments(const char* commandLine) {
    Options options;
    const char* p = commandLine ? commandLine : "";
    for (;;) {
        while (isBlank(*p))
            ++p;
        if (!*p)
            break;
        // The target takes the rest of the line: folders have blanks.
        bool quotedWhole = *p == '"';
        if (startsWithNoCase(p + quotedWhole, "/D=")) {
            std::string folder(p + quotedWhole + 3);
            trimTrailingBlanks(folder);
            if (quotedWhole) {
                if (!folder.empty() && folder.back() == '"')
                    folder.pop_back();
            } else if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
                folder = folder.substr(1, folder.size() - 2);
            }
            trimTrailingBlanks(folder);
            if (folder.empty())
                options.error = "/D= needs a folder";
            options.target = folder;
            break;
        }
        std::string argument = readArgument(p);
        if (equalsNoCase(argument, "/S")) {
            options.silent = true;
        } else if (equalsNoCase(argument, "/NORESTART")) {
            options.noRestart = true;
        } else if (startsWithNoCase(argument.c_str(), "/LOG=")) {
            options.logPath = argument.substr(5);
            if (options.logPath.empty()) {
                options.error = "/LOG= needs a file name";
                break;
            }
        } else if (argument == "/?" || argument == "-?" || equalsNoCase(argument, "--help") ||
                   equalsNoCase(argument, "/HELP") || equalsNoCase(argument, "/H")) {
            options.help = true;
        } else {
            options.error = "unknown argument: " + argument;
            break;
        }
    }
    return options;
}

Answer unattendedAnswer(int stringId, unsigned long style) {
    if (stringId == MessageHookBrowser)
        return AnswerCancel;
    unsigned long kind = style & 0xF;
    if ((stringId == MessageHookExitQuestion || stringId == MessageHookProductExitQuestion) &&
        (kind == BoxYesNo || kind == BoxYesNoCancel))
        return AnswerYes;
    switch (kind) {
    case BoxOk: return AnswerOk;
    case BoxAbortRetryIgnore: return AnswerAbort;
    case BoxYesNo: return AnswerNo;
    case BoxOkCancel:
    case BoxYesNoCancel:
    case BoxRetryCancel:
    case BoxCancelTryContinue:
    default: return AnswerCancel;
    }
}

std::string answerName(int answer) {
    static const char* const names[] = {"none", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    if (answer >= 0 && answer <= AnswerNo)
        return names[answer];
    return "answer " + std::to_string(answer);
}

std::string buttonsName(unsigned long style) {
    switch (style & 0xF) {
    case BoxOk: return "OK";
    case BoxOkCancel: return "OK/Cancel";
    case BoxAbortRetryIgnore: return "Abort/Retry/Ignore";
    case BoxYesNoCancel: return "Yes/No/Cancel";
    case BoxYesNo: return "Yes/No";
    case BoxRetryCancel: return "Retry/Cancel";
    case BoxCancelTryContinue: return "Cancel/Try Again/Continue";
    default: return "buttons " + std::to_string(style & 0xF);
    }
}

std::string questionLogLine(int stringId, const std::string& text, unsigned long style, int answer,
                            bool automatic) {
    std::string line = stringId == MessageHookBrowser ? "folder browser" : "message " + std::to_string(stringId);
    line += " [" + buttonsName(style) + "] \"";
    for (char c : text) {
        if (c == '\n')
            line += "\\n";
        else if (c != '\r')
            line += c;
    }
    line += "\" -> " + answerName(answer);
    line += automatic ? " (answered automatically)" : " (answered by the user)";
    return line;
}

SpaceCheck checkSpace(uint64_t neededBytes, uint64_t freeBytes) {
    SpaceCheck check;
    check.fits = neededBytes <= freeBytes;
    check.neededKb = neededBytes / 1024 + (neededBytes % 1024 != 0);
    check.freeKb = freeBytes / 1024;
    return check;
}

LogFault logFault(const std::string& log, const std::string& target, bool exists, const std::string& head,
                  const std::string& firstLine) {
    if (isInsideFolder(target, log))
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
    case LogFault::InTarget: return "the log " + spelled + " would lie in the target folder, among the product's files";
    case LogFault::OnMedia: return "the log " + spelled + " would be taken for a file of the installation disks";
    case LogFault::NotOurs: return "the log " + spelled + " exists and is not a log of this setup";
    }
    return std::string();
}

uint64_t allocatedBound(uint64_t totalBytes, uint64_t fileCount, uint64_t clusterBytes) {
    uint64_t c = clusterBytes ? clusterBytes : 1;
    uint64_t whole = (totalBytes + c - 1) / c * c;  // one file of them all: the least it takes
    if (fileCount < 2)
        return whole;
    return (totalBytes + fileCount * (c - 1)) / c * c;
}

namespace {

// Length of the root of `path`: 3 for "C:\", 2 for "C:", the length of
// "\\server\share" (without a backslash after it); 0 when it has none.
size_t rootLength(const std::string& path) {
    if (path.size() >= 2 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
        return path.size() >= 3 && path[2] == '\\' ? 3 : 2;
    if (path.compare(0, 2, "\\\\") == 0) {
        size_t server = path.find('\\', 2);
        if (server == std::string::npos)
            return path.size();
        size_t share = path.find('\\', server + 1);
        return share == std::string::npos ? path.size() : share;
    }
    return 0;
}

}  // namespace

bool parentFolder(const std::string& path, std::string* parent) {
    size_t root = rootLength(path);
    std::string p = path;
    while (p.size() > root && p.back() == '\\')
        p.pop_back();
    if (p.size() <= root)
        return false;
    size_t cut = p.rfind('\\');
    if (cut == std::string::npos || cut < root) {
        // "C:\a" -> "C:\", "C:a" -> "C:"; a relative name has no parent.
        *parent = p.substr(0, root);
        return root != 0;
    }
    while (cut > root && p[cut - 1] == '\\')
        --cut;
    *parent = p.substr(0, cut);
    return true;
}

std::string driveOf(const std::string& path) {
    size_t root = rootLength(path);
    if (root == 0)
        return path;
    std::string drive = path.substr(0, root);
    if (drive.size() == 3 && drive[2] == '\\')
        drive.pop_back();
    return drive;
}

std::string fillText(const std::string& format, const std::vector<std::string>& inserts) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        char c = format[i + 1];
        size_t skip = 0;
        if (c == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (c == 's' || c == 'd' || c == 'u')
            skip = 1;
        else if (c == 'l' && i + 2 < format.size() && (format[i + 2] == 'u' || format[i + 2] == 'd'))
            skip = 2;
        if (!skip) {
            out += '%';
            continue;
        }
        if (next < inserts.size())
            out += inserts[next];
        ++next;
        i += skip;
    }
    return out;
}

std::string helpText(const std::string& program, const std::string& product, const std::string& defaultFolder) {
    std::string text = product + " Setup\n"
           "\n"
           "  " + program + " [/S] [/NORESTART] [/LOG=file] [/D=folder]\n"
           "\n"
           "  /S          Installs without the wizard and asks nothing; the progress\n"
           "              dialog is shown. Every question of the setup is answered\n"
           "              with the choice that stops safely (Cancel, No; OK for a\n"
           "              notice) and logged. Never restarts Windows. An installed\n"
           "              earlier version is kept and installed over, not removed.\n"
           "  /D=folder   The target folder (default " + defaultFolder + ").\n"
           "              Must come last; it may contain blanks and needs no quotes.\n"
           "              A drive root, a shared folder (Program Files ...), a\n"
           "              stream or device path, or another product's folder is\n"
           "              refused (1603).\n"
           "  /LOG=file   Writes a plain-text log: start, arguments, each file, each\n"
           "              message with its answer, the end and the exit code. A log\n"
           "              of this setup is appended to; any other existing file, one\n"
           "              in the target folder or named as a disk's file is refused\n"
           "              (1639).\n"
           "  /NORESTART  Never restarts Windows, also when files in use need it.\n"
           "  /? --help   Prints this text.\n"
           "\n"
           "Exit codes:\n"
           "  0     installed\n"
           "  3010  installed; restart Windows to finish (files that were in use)\n"
           "  1602  cancelled by the user\n"
           "  1603  failed (not enough space, a disk missing or damaged, the folder\n"
           "        refused ...; see the log); also\n"
           "        when the installed files could not be registered for removal\n"
           "  1639  an argument was not understood or the log refused; nothing was done\n"
           "\n"
           "Started from a removable drive, the setup goes on from a copy in the\n"
           "temporary folder, started with the same switches, and this program\n"
           "exits with 0 at once: the copy's exit code tells how the install ended.\n";
    return text;
}

std::string uninstallKeyFor(const std::string& productName) {
    return "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productName;
}

bool isOwnEntry(const UninstallEntry& entry, const std::string& productName, const std::string& publisher,
                const std::string& windowsDir) {
    // The library's registration: the Windows folder, "\QRVUnins.Exe ", the name.
    std::string folder = windowsDir;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    // Older versions of the library wrote the uninstaller's path unquoted.
    std::string uninstaller = folder + "\\QRVUnins.Exe";
    return !productName.empty() && equalsNoCase(entry.displayName, productName.c_str()) &&
           (equalsNoCase(entry.uninstallString, ("\"" + uninstaller + "\" " + productName).c_str()) ||
            equalsNoCase(entry.uninstallString, (uninstaller + " " + productName).c_str())) &&
           equalsNoCase(entry.publisher, publisher.c_str());
}

std::string earlierVersionText(const UninstallEntry& entry) {
    std::string text = entry.displayName;
    if (!entry.displayVersion.empty())
        text += " " + entry.displayVersion;
    std::string about = entry.publisher;
    if (!entry.installLocation.empty())
        about += (about.empty() ? "in " : ", in ") + entry.installLocation;
    return about.empty() ? text : text + " (" + about + ")";
}

uint32_t estimatedSizeKb(uint64_t bytes) {
    uint64_t kb = bytes / 1024 + (bytes % 1024 != 0);
    return kb > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(kb);
}

std::vector<UninstallValue> uninstallValues(const ProductFacts& product) {
    std::string icon = product.installDirectory;
    if (icon.empty() || icon.back() != '\\')
        icon += '\\';
    icon += product.exeName;
    return {
        {"InstallLocation", false, product.installDirectory, 0},
        {"DisplayVersion", false, product.version, 0},
        {"Publisher", false, product.publisher, 0},
        {"DisplayIcon", false, icon, 0},
        {"EstimatedSize", true, "", estimatedSizeKb(product.totalBytes)},
    };
}
