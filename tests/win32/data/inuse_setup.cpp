// A product's setup reduced to its file copying, for the completer's test
// of two setups before one restart: "inuse_setup <volumes> <install folder>"
// installs the archive in the volumes folder into the install folder with a
// bare engine and ends with the run's result (3: done, a file was in use
// and waits for the next start). Nothing waits for a person: the message
// hook answers every box (OK, No or Cancel; Yes to leaving, so that a disk
// prompt ends the run instead of coming back) and writes its text to stderr.
#include "Setup.h"

#include <stdio.h>
#include <string.h>

namespace {

int CALLBACK answerAlone(BaseInterface*, int stringId, const char* text, unsigned long style) {
    fprintf(stderr, "inuse_setup: %s\n", text);
    if (stringId == MessageHookExitQuestion)
        return IDYES;
    switch (style & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 100;
    SetMessageHook(answerAlone);
    char caption[] = "In-use setup";
    char installDir[PathSize] = {};
    lstrcpynA(installDir, argv[2], sizeof installDir);
    if (!SetCurrentDirectoryA(argv[1]))
        return 101;
    SetupFileManager engine;
    engine.InitBI(GetModuleHandleA("Setup.Dll"), caption);
    int init = engine.InitSFM(installDir);
    if (init != 2)
        return 110 + init;
    return engine.MakeSetupFileOperation(installDir);
}
