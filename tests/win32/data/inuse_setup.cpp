// A product's setup reduced to its file copying, for the completer's test
// of two setups before one restart: "inuse_setup <install folder>" installs
// the archive of the current directory with a bare engine and ends with the
// run's result (3: a file was in use and waits for the next start). The
// message hook answers every box, so nothing waits for a person: OK, Cancel,
// and Yes to leaving, so that a disk prompt ends the run.
#include "Setup.h"

namespace {

int CALLBACK answerAlone(BaseInterface*, int stringId, const char*, unsigned long style) {
    if (stringId == MessageHookExitQuestion)
        return IDYES;
    return (style & MB_TYPEMASK) == MB_OK ? IDOK : IDCANCEL;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 100;
    SetMessageHook(answerAlone);
    char caption[] = "In-use setup";
    char installDir[PathSize] = {};
    lstrcpynA(installDir, argv[1], sizeof installDir);
    SetupFileManager engine;
    engine.InitBI(GetModuleHandleA("Setup.Dll"), caption);
    int init = engine.InitSFM(installDir);
    return init == 2 ? engine.MakeSetupFileOperation(installDir) : 110 + init;
}
