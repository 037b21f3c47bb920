// The exit codes of the uninstaller QRVUnins.Exe, for the uninstaller that
// ends with them and the library that runs an earlier version's uninstaller
// and reads "removed" from them; tools/uninstaller/README.md lists them for
// people. Portable: no <windows.h>.
#ifndef SETUP_FORMAT_UNINSTALLER_EXIT_H
#define SETUP_FORMAT_UNINSTALLER_EXIT_H

enum UninstallExit {
    ExitRemoved = 100,      // the product is removed (files in use go at the next start)
    ExitDeclined = 1,       // the user answered No: nothing removed
    ExitUsage = 2,          // no product named, or an unknown switch
    ExitUnknownProduct = 3, // no Uninstall entry, or no installation folder for it
    ExitLogMissing = 4,     // no Install.log in the installation folder: nothing removed
    ExitLogDamaged = 5,     // Install.log damaged: nothing removed
    ExitUnsafeFolder = 6,   // the installation folder is a drive root or holds Windows' folders
    ExitIncomplete = 7,     // some listed files could neither be deleted nor scheduled
    ExitSetupRunning = 8    // a setup is at work in the installation folder: nothing removed
};

#endif
