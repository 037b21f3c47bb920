// A setup executable reduced to its first step, for the relaunch test: it
// asks Setup::IsRunFromHardDrive with its own command-line arguments. When
// that has started a copy (0) it ends at once with exit code 0; when it is
// to go on here (1) it writes what it sees to the file named by its first
// argument (its module path, current directory and command line, one a
// line) and ends with exit code 1. Run from a floppy it is thus the disk's
// setup; its copy in the temp directory writes the report.
#include "Setup.h"

#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int show) {
    // The arguments as a product passes them on: all of them, unparsed.
    char kept[1024];
    lstrcpynA(kept, arguments, sizeof kept);
    // The object is only the way to the operation, which reads none of it;
    // its window is never shown.
    char title[] = "Relaunch probe";
    char product[] = "Probe";
    char exe[] = "relaunch_probe.exe";
    Setup setup(instance, title, product, exe);
    if (setup.IsRunFromHardDrive(kept, show) == 0)
        return 0;

    // The report file is the first argument, up to the first blank.
    char report[MAX_PATH];
    lstrcpynA(report, kept, sizeof report);
    if (char* blank = strchr(report, ' '))
        *blank = '\0';
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, sizeof module);
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(sizeof current, current);
    // Written beside it and renamed, so that a reader never sees half of it.
    char partial[MAX_PATH + 8];
    snprintf(partial, sizeof partial, "%s.part", report);
    FILE* out = fopen(partial, "wb");
    if (out) {
        fprintf(out, "%s\n%s\n%s\n", module, current, GetCommandLineA());
        fclose(out);
        MoveFileA(partial, report);
    }
    return 1;
}
