// The decisions of the relaunch from a removable disk, kept apart from the
// Win32 glue (setup/Relaunch.cpp) so that they are tested natively: where
// the executable's directory and name part, which drive root to ask about,
// which listed files are the setup's program files (everything but the
// data volumes), the clean-up list's keys in listing order, and the command
// line of the relaunched copy. Portable: no <windows.h>.
#ifndef SETUP_RELAUNCH_RULES_H
#define SETUP_RELAUNCH_RULES_H

#include <stddef.h>

#include <string>

#include "common/PathSize.h"

// Results of Setup::IsRunFromHardDrive.
enum RelaunchResult {
    RelaunchStarted = 0,    // the copy runs from the temp directory: the caller ends
    RelaunchContinueHere = 1 // not on a removable drive, or an error was shown
};

// Splits the executable's full path after its last backslash: `directory`
// (PathSize characters) receives the directory with that backslash ("A:\"),
// `*name` points at the file name inside `path`. False, nothing written,
// when the path has no backslash.
bool splitModulePath(const char* path, char* directory, const char** name);

// The root of the drive that holds `directory`, with its trailing
// backslash, into `root` (PathSize characters): "A:\" for "A:\SETUP\",
// "\\server\share\" for a share. A directory of another form is its own
// root. False, nothing written, when it does not fit.
bool driveRoot(const char* directory, char* root);

// True for a data volume: a name whose extension, from its last full stop,
// is ".dat" in any case. "Data.dat.bak" and a name without a full stop are
// program files.
bool isDataVolumeName(const char* name);

// One entry of the directory listing, as the listing gives it.
struct ListedEntry {
    const char* name;
    bool directory;
};

// What the copying step does to the system.
class RelaunchActions {
public:
    // The next entry of the executable's directory's listing ("*.*"), in
    // the listing's own order; false after the last one.
    virtual bool nextEntry(ListedEntry& entry) = 0;
    // Copies `source` to `target`, replacing a file there; false on failure.
    virtual bool copyFile(const char* source, const char* target) = 0;
    // Writes `key` = `target` into the clean-up list.
    virtual void recordCopy(const char* key, const char* target) = 0;

protected:
    ~RelaunchActions() = default;
};

// How the copying step ended.
enum class CopyOutcome {
    AllCopied,  // every program file is in the temp directory and listed
    CopyFailed  // `failedSource` could not be copied; earlier copies stay listed
};

// Copies each listed program file from `executableDirectory` + name to
// `tempDirectory` + name (both with their trailing backslash) and records
// it under key "0", "1", ... in listing order. Directories and data volumes
// are passed over. A source or target path that would not fit a path
// buffer counts as a failed copy: nothing is ever copied from or to a path
// cut short. `failedSource` receives the source path of a failed copy
// (in full, for the message).
CopyOutcome copyProgramFiles(const char* executableDirectory, const char* tempDirectory,
                             RelaunchActions& actions, std::string& failedSource);

// The clean-up list's full path: the temp directory (with its trailing
// backslash) + "__setup.ini". False, nothing written, when it does not fit.
bool cleanupListPath(const char* tempDirectory, char* path);

// The relaunched copy's command line: the temp directory + the executable's
// name + one blank + `arguments` (the blank stays when they are empty).
std::string relaunchCommandLine(const char* tempDirectory, const char* executableName,
                                const char* arguments);

#endif
