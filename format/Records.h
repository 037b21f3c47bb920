// What the engine and the uninstaller both decide about one volume record
// (the unit of Install.log too): whether its text fields and names are sound,
// where its targetDir keyword puts it, and whether a path is a shortcut. On
// Windows, Setup.h brings <windows.h> with the record's FILETIME; the rules
// themselves need no Windows call.
#ifndef SETUP_FORMAT_RECORDS_H
#define SETUP_FORMAT_RECORDS_H

#include <stdint.h>

#include "Setup.h"

// Extension after the last dot of the name is "lnk", in any case.
bool isShortcutPath(const char* path);

// Both text fields end inside their PathSize bytes: a record that does not
// is damaged, and building a path from it would read past the field.
bool recordTextValid(const tagCompressFileHeader& record);

// The record's subDir and fileName keep the file inside its base folder and
// off the devices: no component of either is dots only ("." or "..", which
// would climb out) or a device name (CON, NUL, COM1 ..., which would swallow
// the data). Rules of format/RecordNames.h; a targetDir 3 record may still
// name an absolute folder in its subDir.
bool recordNamesSafe(const tagCompressFileHeader& record);

// A record as read from the volume (564 bytes): parsed into `record`. True
// when both its text fields are terminated; false for a damaged record, whose
// parsed texts are cut and must not be used.
bool parseRecord(const unsigned char* raw, tagCompressFileHeader* record);

// The shell folders a record may name, by their CSIDL numbers (the values
// of <shlobj.h>, stated here for portable code; the glue that asks the shell
// checks them against its own).
enum ShellFolderId {
    ShellFolderDesktop = 16,   // CSIDL_DESKTOPDIRECTORY
    ShellFolderStartup = 7,    // CSIDL_STARTUP
    ShellFolderStartMenu = 11, // CSIDL_STARTMENU
    ShellFolderPrograms = 2    // CSIDL_PROGRAMS
};

// Where a targetDir keyword puts a file: the one mapping of the keywords to
// folders, for the engine that installs and the uninstaller that removes.
// Special folders carry their CSIDL.
struct TargetBase {
    enum Kind { Invalid, Windows, System, Special, Absolute, Install } kind;
    int csidl;  // for Special
};
TargetBase targetBase(int32_t targetDir);

#endif
