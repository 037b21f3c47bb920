// DirCreation: a directory together with the missing directories above it.
// Called by the install engine on the worker thread and by the folder
// browser. Shows nothing; the caller reports a failure.
#include "Setup.h"

#include "common/DirChain.h"
#include "win32/Ownership.h"

namespace {

class SystemDirectories : public DirectoryActions {
public:
    explicit SystemDirectories(const win32::CurrentDirectoryKeeper& home) : home_(home) {}
    bool create(const char* path) override { return CreateDirectoryA(path, nullptr) != FALSE; }
    // Entering is only a check: going back to the starting directory each
    // time keeps a relative path's later prefixes relative to where the walk
    // started, not to the prefix just entered (A\B\C would otherwise be
    // looked for as A\B\A\B\C).
    bool enter(const char* path) override {
        if (!SetCurrentDirectoryA(path))
            return false;
        home_.restore();
        return true;
    }

private:
    const win32::CurrentDirectoryKeeper& home_;
};

}  // namespace

// Result: 1 when `path` exists as a directory on return, 0 otherwise. The
// current directory is the same on return as on entry.
int BaseInterface::DirCreation(const char* path) {
    win32::CurrentDirectoryKeeper home;
    if (!home.valid()) {
        // No way back from a walk: only the whole path at once.
        return CreateDirectoryA(path, nullptr) ? 1 : 0;
    }
    SystemDirectories actions(home);
    return createDirectoryChain(path, actions);
}
