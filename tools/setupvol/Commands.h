// Commands.h: the commands of the setupvol program, callable from tests.
#ifndef SETUPVOL_COMMANDS_H
#define SETUPVOL_COMMANDS_H

#include <ostream>
#include <string>
#include <vector>

// Runs `setupvol ARGS...` (args without the program name). Normal output
// goes to `out`, messages to `err`. Returns the exit code: 0 success, 1 a
// failure or damage found, 2 wrong usage.
int runSetupVol(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

#endif
