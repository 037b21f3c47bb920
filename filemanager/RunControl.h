// RunControl: how whoever drives an install run holds it and stops it,
// whatever the product's TakeProcessInfo answers. The driver (Setup::Process's
// worker) puts a control on the thread for the length of the run; the engine
// asks it before and after every notification, so a product's override
// cannot keep a cancelled run going by answering "go on", nor by not calling
// the library's own TakeProcessInfo. A thread without a control (a product
// driving a bare engine itself) runs as the product's answers say. The
// control also hears of a failed write, which ends the run for its driver.
// Portable: no <windows.h>.
#ifndef SETUP_FILEMANAGER_RUN_CONTROL_H
#define SETUP_FILEMANAGER_RUN_CONTROL_H

#include <stddef.h>

#include "common/ThreadScoped.h"

class RunControl : public ThreadScoped<RunControl> {
public:
    // Returns at once while the run may go on; waits while it is held (the
    // user is being asked whether to give it up). False once it is given up.
    virtual bool mayGoOn() = 0;
    // A write of the file being installed failed and has been shown.
    virtual void writeFailed() = 0;
    // The run's journal is being undone: (done, total, path) says `done` of
    // `total` entries are, the next one about `path` (1, 1, "" when all are).
    virtual void undoing(size_t, size_t, const char*) {}
    // True when the driver settles a completed run's journal itself, after
    // its closing operation (settleHeldRun, InstallJournal.h).
    virtual bool holdsCommit() { return false; }

    // The control of the run this thread is driving, or null.
    static RunControl* ofThisThread() {
        return find([](const RunControl&) { return true; });
    }

protected:
    RunControl() = default;
    ~RunControl() = default;
};

#endif
