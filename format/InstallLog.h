// Install.log, the list of what an installation wrote, kept in the
// installation folder: one 564-byte volume record per installed file, in the
// order the files were written; a file that went under a temporary name
// (its target was in use) is followed by the same record with that name
// stamped over its fileName. The engine writes it, the uninstaller and the
// companion's completer read it. Also the rules for those temporary names.
// On Windows, Setup.h brings <windows.h> with the record's FILETIME.
#ifndef SETUP_FORMAT_INSTALL_LOG_H
#define SETUP_FORMAT_INSTALL_LOG_H

#include <stddef.h>

#include "Setup.h"

// The log's file name, in the installation folder.
extern const char kInstallLogName[];

// The protocol records of an installed file into `out`: the record itself,
// and, when it was written under a temporary name ("" when not), the same
// record with that name stamped over its fileName. Returns 1 or 2.
size_t protocolRecords(const tagCompressFileHeader& record, const char* temporaryName,
                       tagCompressFileHeader out[2]);

// A record of the log read after `previous` (both raw, FileRecordSize
// bytes; `parsed` is `record` parsed) is the temporary-name record of the
// previous file: the same bytes up to its fileName, which is a temporary
// file's name.
bool followsAsTemporary(const unsigned char* previous, const unsigned char* record,
                        const tagCompressFileHeader& parsed);

// The fault of one Install.log record (raw, FileRecordSize bytes, parsed
// into `record`) in English, or null when the install engine could have
// written it: both names terminated, a file name, a known targetDir, no way
// up ("..") and no device name. A log with such a record is damaged.
const char* logRecordFault(const unsigned char* raw, tagCompressFileHeader* record);

// Overwrites the start of fileName with the temporary file's name (the part
// after the last backslash of `temporaryPath`) and its terminator; the bytes
// after that terminator keep what the volume had. False when the name does not
// fit the field.
bool stampTemporaryName(tagCompressFileHeader& record, const char* temporaryPath);

// A temporary file's name as the engine has the system make it: "qrv", one
// to four hexadecimal digits, ".tmp", in any case ("qrv1A2.TMP").
bool isTemporaryFileName(const char* name);

// The folder a temporary file is made in, beside `target`: the target's path
// cut before its last backslash, except that a drive root keeps its
// backslash ("D:\x.dll" gives "D:\", never "D:", which would name that
// drive's current directory). False (folder untouched) when the target has
// no backslash or does not fit.
bool temporaryFolder(char* folder, const char* target, size_t size = PathSize);

#endif
