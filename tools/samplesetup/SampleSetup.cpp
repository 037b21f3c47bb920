// The sample product's setup executable: what a product's own small setup
// does with the library's install engine. Started from the first disk of a
// set (the folder holding Data1.Dat), it installs the product into the folder
// given on its command line (default C:\Program Files\Sample Product),
// reporting each file on its standard output, and closes with the library's
// own "Setup is complete." message. "/S" before the folder installs silently,
// without that closing message (for benchmarks and scripted installs).
#include "Setup.h"

#include <stdio.h>
#include <string.h>

namespace {

// The product keeps its strings alive for the object's lifetime.
char g_title[] = "Sample Product Setup";

class SampleSetup : public SetupFileManager {
public:
    // Runs on the installing thread: here only a progress line per file.
    int TakeProcessInfo(int kind, void* data) override {
        if (kind == InfoBeforeFile)
            printf("installing %s\n", static_cast<const FileNotice*>(data)->targetPath);
        else if (kind == InfoOverallPercent)
            printf("  %u%% of the files done\n", *static_cast<unsigned int*>(data));
        fflush(stdout);
        return NoticeGoOn;  // also "go on" for the percentages
    }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    static char installDir[PathSize] = "C:\\Program Files\\Sample Product";
    bool silent = false;
    if (commandLine && commandLine[0] == '/' && (commandLine[1] == 'S' || commandLine[1] == 's') &&
        (commandLine[2] == ' ' || commandLine[2] == '\0')) {
        silent = true;
        commandLine += 2;
        while (*commandLine == ' ')
            ++commandLine;
    }
    if (commandLine && *commandLine) {
        // A folder with spaces arrives in quotes.
        const char* from = commandLine;
        size_t length = strlen(from);
        if (length >= 2 && from[0] == '"' && from[length - 1] == '"') {
            ++from;
            length -= 2;
        }
        if (length >= sizeof installDir)
            return 1;
        memcpy(installDir, from, length);
        installDir[length] = '\0';
    }

    SampleSetup setup;
    setup.InitBI(GetModuleHandleA("Setup.Dll"), g_title);
    setup.SetParentForMessage(nullptr);
    // Group 1 holds the program, group 2 the documentation, group 3 the help:
    // all wanted here.
    setup.MakeGroupList(3);

    int result = setup.InitSFM(installDir);
    if (result == StepContinue)
        result = setup.MakeSetupFileOperation(installDir);
    printf("result %d\n", result);
    fflush(stdout);
    if (result == StepContinue && !silent)
        setup.ShowMessage(11130, MB_ICONINFORMATION);  // "Setup is complete."
    return result == StepContinue || result == StepDoneReboot ? 0 : 1;
}
