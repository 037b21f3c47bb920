// Build.h: `setupvol build`, a product's whole setup from its product file:
// the volumes packed from its manifest (with the uninstaller added), then
// one Setup.exe (SetupStub.exe with the generic setup, the runtime, the
// product file, its page files and the volumes as its payload,
// tools/onefile/Payload.h), or, for floppies, a folder as `pack` makes with
// those files beside the first volume.
#ifndef SETUPVOL_BUILD_H
#define SETUPVOL_BUILD_H

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// Where each runtime file is found: `--runtime DIR` holds them all; without
// it they are taken from the SDK's layout around the folder of setupvol
// itself (tools/): bin/ for the programs and Setup.Dll, lang/ for the
// language libraries, tools/ for the uninstaller.
std::filesystem::path runtimeFilePath(const std::filesystem::path& runtimeDir, const std::filesystem::path& toolDir,
                                      const std::string& name);

// Runs `setupvol build ARGS...` (args[0] is "build"). Exit codes as
// runSetupVol: 0 built, 1 a failure (every problem of the product file
// printed), 2 wrong usage.
int runBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

#endif
