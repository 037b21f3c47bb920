// Setup::IsRunFromHardDrive: a setup started from a removable disk copies
// its program files (everything in its directory but the data volumes) to
// the temp directory, lists the copies in __setup.ini for whoever cleans up
// later, and starts the copy there, so that the disk drive is free for the
// next disk. The data volumes stay on the disk: the copy starts in this
// process's current directory (normally the disk's), where the volume
// reader looks for them. The decisions are in RelaunchRules; this file
// asks the system and acts. It uses nothing of the Setup object, and its
// three errors are fixed English texts, not the string table's: they can
// come before any language is chosen.
#include "Setup.h"

#include <string>
#include <vector>

#include "baseinterface/MessageHook.h"
#include "common/PathText.h"
#include "setup/RelaunchRules.h"
#include "win32/Ownership.h"

namespace {

// The listing of the executable's directory, the folder the copies are
// made from (not the current directory: "A:\SETUP.EXE" typed at a prompt
// in C:\ lists the disk, not C:\), copies with CopyFileA and the clean-up
// list written with the profile writer: keys already there from an earlier
// run are overwritten one by one, and those beyond this run's count stay.
class DiskCopies : public RelaunchActions {
public:
    // `pattern` is the executable's directory + "*.*".
    DiskCopies(const char* pattern, const char* listPath) : pattern_(pattern), listPath_(listPath) {}

    bool nextEntry(ListedEntry& entry) override {
        if (!started_) {
            started_ = true;
            listing_.reset(FindFirstFileA(pattern_, &found_));
        } else if (listing_.valid() && !FindNextFileA(listing_.get(), &found_)) {
            listing_.reset();
        }
        if (!listing_.valid())
            return false;
        entry.name = found_.cFileName;
        entry.directory = (found_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        return true;
    }
    bool copyFile(const char* source, const char* target) override {
        return CopyFileA(source, target, FALSE) != FALSE;
    }
    void recordCopy(const char* key, const char* target) override {
        WritePrivateProfileStringA("CleanUp", key, target, listPath_);
    }

private:
    const char* pattern_;
    const char* listPath_;
    bool started_ = false;
    win32::FindHandle listing_;
    WIN32_FIND_DATAA found_ = {};
};

// The three errors: plain OK boxes owned by whatever window is in front.
// They are offered to the product's message hook first, as every other box
// of the library is, so that an unattended setup started from a floppy
// never waits on one; the hook sees their owner and caption in `box`.
void showError(const BaseInterface& asker, const char* text, const char* caption) {
    BaseInterface box = asker;
    box.parentForMessage = GetForegroundWindow();
    box.messageCaption = const_cast<char*>(caption);
    if (askMessageHook(&box, MessageHookFixedText, text, MB_OK))
        return;
    MessageBoxA(box.parentForMessage, text, caption, MB_OK);
}

// Starts `commandLine` with this process's environment and current
// directory, its first window shown as `showCommand`. True when it started.
bool startCopy(const std::string& commandLine, int showCommand) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    char currentDirectory[PathSize];
    DWORD length = GetCurrentDirectoryA(sizeof currentDirectory, currentDirectory);
    // A current directory too long to read is inherited all the same.
    const char* startIn = (length > 0 && length < sizeof currentDirectory) ? currentDirectory : nullptr;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, startIn, &startup, &started))
        return false;
    win32::KernelHandle process(started.hProcess);
    win32::KernelHandle thread(started.hThread);
    return true;
}

}  // namespace

// Results (RelaunchResult):
//   0  the copy in the temp directory has started; the caller ends
//   1  go on in this process: not on a removable drive, or an error was
//      shown (a path without a backslash, a failed copy, a copy that did
//      not start); files copied so far stay, and stay listed
int Setup::IsRunFromHardDrive(char* arguments, int showCommand) {
    char executable[PathSize];
    DWORD length = GetModuleFileNameA(nullptr, executable, sizeof executable);
    // A path that filled the buffer was cut short: it names no file.
    if (length == 0 || length >= sizeof executable)
        executable[0] = '\0';
    char directory[PathSize];
    const char* name = nullptr;
    if (!splitModulePath(executable, directory, &name)) {
        showError(*this, "Error in Module File Name", executable);
        return RelaunchContinueHere;
    }
    // The drive's root: the type of a directory below it is not the drive's.
    char root[PathSize];
    if (!driveRoot(directory, root) || GetDriveTypeA(root) != DRIVE_REMOVABLE)
        return RelaunchContinueHere;

    char temp[PathSize];
    length = GetTempPathA(sizeof temp, temp);
    char listPath[PathSize];
    // Without a temp directory there is nowhere to copy to: the setup runs
    // from the disk as it is.
    if (length == 0 || length >= sizeof temp || !cleanupListPath(temp, listPath))
        return RelaunchContinueHere;

    // A directory too long to list runs from the disk as it is, too.
    char pattern[PathSize];
    if (!joinPath(pattern, directory, "*.*"))
        return RelaunchContinueHere;
    DiskCopies disk(pattern, listPath);
    std::string failedSource;
    if (copyProgramFiles(directory, temp, disk, failedSource) == CopyOutcome::CopyFailed) {
        showError(*this, failedSource.c_str(), "Error Copying File");
        return RelaunchContinueHere;
    }
    if (!startCopy(relaunchCommandLine(temp, name, arguments), showCommand)) {
        showError(*this, arguments ? arguments : "", "CreateProcess Error");
        return RelaunchContinueHere;
    }
    return RelaunchStarted;
}
