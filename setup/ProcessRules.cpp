// The decisions of an installation run that need no window: the end code's
// closing step, the notification's action and the progress bars' positions.
#include "setup/ProcessRules.h"

//   Closing::Error      0
//   Closing::UserBreak  1
//   Closing::Complete   2
//   Closing::Reboot     3
//   Closing::Nothing    any other value
Closing closingFor(long endCode) {
    switch (endCode) {
    case 0: return Closing::Error;
    case 1: return Closing::UserBreak;
    case 2: return Closing::Complete;
    case 3: return Closing::Reboot;
    default: return Closing::Nothing;
    }
}

//   InfoAction::ShowTarget  0
//   InfoAction::ShowSource  1
//   InfoAction::SetTotal    2
//   InfoAction::SetCurrent  3
//   InfoAction::Ignore      any other kind, negative ones included
InfoAction infoActionFor(int kind) {
    switch (kind) {
    case 0: return InfoAction::ShowTarget;
    case 1: return InfoAction::ShowSource;
    case 2: return InfoAction::SetTotal;
    case 3: return InfoAction::SetCurrent;
    default: return InfoAction::Ignore;
    }
}

//   true   the position changed and must be sent
//   false  the bar already stands at `position`
bool BarPosition::moveTo(int position) {
    if (known_ && shown_ == position)
        return false;
    known_ = true;
    shown_ = position;
    return true;
}
