// The decisions of an installation run that need no window: which closing
// operation an end code of the progress dialog selects, what a progress
// notification changes, and whether a progress bar needs a new position.
#ifndef SETUP_PROCESSRULES_H
#define SETUP_PROCESSRULES_H

// The closing step selected by the progress dialog's end code.
enum class Closing {
    Error,     // 0: failure, or the user's confirmed Cancel
    UserBreak, // 1: a user break reported by the engine
    Complete,  // 2: success, "Setup is complete."
    Reboot,    // 3: success, a reboot is needed
    Nothing    // any other value: the dialog could not be created
};

// Result: the closing step of end code `endCode` (table above).
Closing closingFor(long endCode);

// What a TakeProcessInfo notification of `kind` changes in the dialog.
enum class InfoAction {
    ShowTarget, // 0: the destination path, then one step of the Current bar
    ShowSource, // 1: the source being read
    SetTotal,   // 2: the Total bar's position
    SetCurrent, // 3: the Current bar's position
    Ignore      // any other kind
};

// Result: the action for `kind` (table above).
InfoAction infoActionFor(int kind);

// The position a progress bar was last given. Notification 3 comes for
// every 4,096-byte block while the bar moves in whole percent, so most
// updates would repeat the position; those are not sent.
class BarPosition {
public:
    // Result: true when `position` differs from the one shown (it is then
    // the one shown); false when the bar already stands there.
    bool moveTo(int position);
    // The bar was moved some other way (a step): the next position is sent.
    void forget() { known_ = false; }

private:
    bool known_ = false;
    int shown_ = 0;
};

#endif
