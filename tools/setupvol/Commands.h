// Commands.h: the commands of the setupvol program, callable from tests.
#ifndef SETUPVOL_COMMANDS_H
#define SETUPVOL_COMMANDS_H

#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct PackOptions;

// Runs `setupvol ARGS...` (args without the program name); `build` is
// runBuild of Build.h, which the program hands it to. Normal output
// goes to `out`, messages to `err`. Returns the exit code: 0 success, 1 a
// failure or damage found, 2 wrong usage.
int runSetupVol(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// A command's arguments: positional ones and options with their values.
struct CommandArgs {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    bool has(const std::string& name) const;
    std::string get(const std::string& name) const;  // "" when absent
};

// Splits in[from...] into positional arguments and options; `valued` lists
// the options that take a value, `flags` those that take none. False with
// *problem on an unknown option or a missing value.
bool splitCommandArgs(const std::vector<std::string>& in, size_t from, const std::vector<std::string>& valued,
                      const std::vector<std::string>& flags, CommandArgs* args, std::string* problem);

// Prints "setupvol: PROBLEM" and the usage; returns the exit code 2.
int commandUsage(std::ostream& err, const std::string& problem);

// The options --volume-size, --disk-dirs and --threads of `pack` and
// `build` into *options. False with *problem when a value is wrong.
bool readPackOptions(const CommandArgs& args, PackOptions* options, std::string* problem);

#endif
