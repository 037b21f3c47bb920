// What the exit question needs from the installation run in progress
// (Process.cpp): while the user is asked whether to leave, the run's worker
// is held at its next notification; a Yes gives the run up before anything
// else happens, a No lets it go on (and ends the dialog with a result that
// came meanwhile). Each does nothing when `setup` has no run, and is called
// on the thread that owns the progress dialog.
#ifndef SETUP_RUN_HOLD_H
#define SETUP_RUN_HOLD_H

#include "Setup.h"

void holdRun(Setup& setup);
void resumeRun(Setup& setup);
void giveUpRun(Setup& setup);

#endif
