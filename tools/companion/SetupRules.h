// A setup program's decisions that need no window, shared by the sample
// setup and the generic setup (library `companion`; the SDK ships it as
// include/SetupRules.h with lib/libcompanion.a): the command line, the
// answer an unattended run gives to each question, the exit code of each
// way a run ends, whether the files fit on the target drive, the texts of
// the help and of the log, which log files are refused, and the values of
// the Uninstall entry. Portable (Setup.h brings <windows.h> only in the
// Windows build), so that they are tested natively; SetupProgram.cpp asks
// and acts.
#ifndef SETUP_RULES_H
#define SETUP_RULES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "Setup.h"

// The process's exit codes, the ones package managers know from other
// installers.
enum ExitCode {
    ExitSuccess = 0,
    ExitCancelled = 1602,     // the user (or an answer given for the user) ended the install
    ExitFailure = 1603,       // the install failed; the log says why
    ExitBadArguments = 1639,  // a switch that is not understood: nothing was done
    ExitRebootNeeded = 3010   // installed; some files take their place at the next start
};

// How a run ended, as the closing operations and the wizard report it.
enum class RunEnd {
    NotRun,     // nothing was installed and nobody cancelled (the setup could not start)
    Complete,   // every file installed
    Reboot,     // installed, a reboot is needed
    Failed,     // an error ended it (shown or logged)
    Cancelled   // the user ended it: wizard Cancel, the run's Cancel, a disk not given
};

// Result: the exit code for `end` (NotRun is a failure).
ExitCode exitCodeFor(RunEnd end);

// What the command line asks for.
struct Options {
    bool silent = false;     // /S: no wizard, every question answered by itself
    bool noRestart = false;  // /NORESTART: never reboot
    bool help = false;       // --help, /? : print the switches and stop
    std::string target;      // /D=<folder>, empty when not given
    std::string logPath;     // /LOG=<file>, empty when not given
    std::string error;       // not empty: what could not be understood
};

// Parses the command line after the program's name. Switches are
// case-insensitive and separated by blanks; a switch may be quoted whole or
// after its '=' ("/LOG=a b.log" or /LOG="a b.log"). /D= comes last and takes
// the rest of the line, blanks included, as is customary for installers
// (surrounding quotes are dropped).
Options parseArguments(const char* commandLine);

// The answers of a message box, with their Windows values (IDOK ... IDNO).
enum Answer {
    AnswerNone = 0,
    AnswerOk = 1,
    AnswerCancel = 2,
    AnswerAbort = 3,
    AnswerRetry = 4,
    AnswerIgnore = 5,
    AnswerYes = 6,
    AnswerNo = 7
};

// Result: the answer an unattended run gives to question `stringId` (the
// string numbers of Setup.h's MessageHookIds) shown with MB_ style `style`:
// Yes to the exit questions (MessageHookExitQuestion and
// MessageHookProductExitQuestion are only put when the run cannot go on, a
// disk that is not there, or when the person at the screen pressed Cancel;
// Yes ends the run there), else the button that
// stops safely (Cancel, No, Abort), OK for a plain notice; Cancel for the
// folder browser.
Answer unattendedAnswer(int stringId, unsigned long style);

// Result: the button's name as the log writes it ("OK", "Yes" ...), "none"
// for 0 and "answer N" for any other value.
std::string answerName(int answer);

// Result: the buttons of MB_ style `style`, as the log writes them ("OK",
// "Yes/No" ...).
std::string buttonsName(unsigned long style);

// One log line for a question and its answer; line breaks of the text are
// written as "\n" so that each question stays on one line.
std::string questionLogLine(int stringId, const std::string& text, unsigned long style, int answer,
                            bool automatic);

// Whether the files fit, and the figures the message shows: the needed size
// rounded up to whole KB and the free space rounded down, so that a refusal
// never reads as if the two were equal.
struct SpaceCheck {
    bool fits;
    uint64_t neededKb;
    uint64_t freeKb;
};
SpaceCheck checkSpace(uint64_t neededBytes, uint64_t freeBytes);

// The most `fileCount` files of `totalBytes` in all can take on a drive
// that allocates `clusterBytes` at a time: each file takes whole clusters,
// so each wastes less than one. A bound, not the sum itself: the files'
// own sizes are in records spread over every disk, which cannot all be read
// before the run. A cluster size of 0 is taken as 1.
uint64_t allocatedBound(uint64_t totalBytes, uint64_t fileCount, uint64_t clusterBytes);

// Why /LOG= may not name a file.
enum class LogFault {
    None,
    InTarget,  // inside the target folder: Install.log or a file of the product
    OnMedia,   // named as a disk's volume (Data2.Dat) or its check file: the reader would take it for one
    NotOurs    // an existing file that is not one of this setup's logs
};
// Result: the fault of the log file `log` for a run into `target` (each as
// it resolves). `exists` and `head` (its first bytes) say what is there
// now: every other file of the disks exists, and is not a log. A log that
// starts with `firstLine`, the first line of every log this setup writes,
// is one it may append to.
LogFault logFault(const std::string& log, const std::string& target, bool exists, const std::string& head,
                  const std::string& firstLine);
std::string logFaultText(LogFault fault, const std::string& spelled);

// The folder above `path` ("C:\a\b" -> "C:\a", "C:\a" -> "C:\"); false at a
// drive root or a share root ("\\server\share"), which have none.
bool parentFolder(const std::string& path, std::string* parent);

// The drive of `path` as the message names it: "C:" or "\\server\share";
// the path itself when it has neither.
std::string driveOf(const std::string& path);

// `format` with each %s, %d, %u or %lu replaced by the next of `inserts`
// (nothing when they run out) and %% by %. A translation cannot make it
// read past its arguments, as printf would.
std::string fillText(const std::string& format, const std::vector<std::string>& inserts);

// The text of --help, for the program `program` ("SampleSetup") installing
// `product` into `defaultFolder` unless told otherwise.
std::string helpText(const std::string& program, const std::string& product, const std::string& defaultFolder);

// The product's Uninstall entry, below HKEY_LOCAL_MACHINE: the key the
// library's registration writes DisplayName and UninstallString into, and
// whose presence says an earlier version is installed.
std::string uninstallKeyFor(const std::string& productName);

// An Uninstall entry's texts as read ("" for a value that is missing).
struct UninstallEntry {
    std::string displayName;
    std::string uninstallString;
    std::string publisher;
    std::string installLocation;
    std::string displayVersion;
};

// The entry is this product's own, as its registration writes it: its
// DisplayName is the product's name, its UninstallString the uninstaller
// QRVUnins.Exe in `windowsDir` given that name, and its Publisher ours
// (each compared without case). Another publisher's product of the same
// name, or an entry whose uninstaller is some other program, is not ours
// to remove.
bool isOwnEntry(const UninstallEntry& entry, const std::string& productName, const std::string& publisher,
                const std::string& windowsDir);

// What the removal question names: "Sample Product 1.0 (Sample Company, in
// C:\Apps\Sample)", without the parts the entry lacks.
std::string earlierVersionText(const UninstallEntry& entry);

// The archive's bytes as the Uninstall entry's EstimatedSize gives them:
// KB rounded up, at most the largest DWORD.
uint32_t estimatedSizeKb(uint64_t bytes);

// What the installed product is, for its Uninstall entry.
struct ProductFacts {
    std::string installDirectory;
    std::string exeName;  // the main executable, below installDirectory
    std::string version;
    std::string publisher;
    uint64_t totalBytes;  // the archive header's totalSize
};

// One value of the Uninstall entry: text, or a number (REG_DWORD).
struct UninstallValue {
    std::string name;
    bool isNumber;
    std::string text;
    uint32_t number;
};

// The values a setup adds to the Uninstall entry beside the library's
// DisplayName and UninstallString, in the order they are written:
// InstallLocation, DisplayVersion, Publisher, DisplayIcon (the main
// executable's path, one backslash after the folder), EstimatedSize.
std::vector<UninstallValue> uninstallValues(const ProductFacts& product);

// The texts a setup program's own string table (and each language library
// Setup_xx.Dll) carries under these numbers, for the messages the shared
// code shows; a resource script names them as numbers.
enum SetupText {
    SetupTextNoSpace = 1050,       // %s drive, then KB needed, KB free
    SetupTextFailed = 1051,        // %s product
    SetupTextCancelled = 1052,     // %s product
    SetupTextFolderRefused = 1053  // %s why
};

// What a setup program says of its product. The texts must outlive the
// SetupProgram object: the Setup object keeps pointers to them.
struct SetupFacts {
    std::string program;        // the program's name in its messages: "SampleSetup"
    std::string title;          // the windows' caption: "Sample Product Setup"
    std::string productName;    // as Windows lists it: the Uninstall entry's name
    std::string exeName;        // the main program in the install folder (App Paths)
    std::string version;        // the Uninstall entry's DisplayVersion
    std::string publisher;
    std::string aboutUrl;       // "" none
    std::string helpUrl;        // "" none
    std::string icon;           // DisplayIcon, an installed file below the folder; "" the main program
    std::string defaultFolder;  // below Program Files
    std::string logFirstLine;   // the first line of every log this program writes
    int groupCount = 1;         // the archive's groups
    bool restartAllowed = true; // false: a needed restart is left to the user, as with /NORESTART
};

// How the wizard ended: Accepted when Install was pressed on the last page,
// Cancelled when the user left it, Failed when a page could not be shown.
enum class WizardEnd { Accepted, Cancelled, Failed };

#endif
