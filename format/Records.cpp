// Checks and placement of volume records; see Records.h.
#include "format/Records.h"

#include <string.h>

#include "common/AsciiCase.h"
#include "common/PathText.h"
#include "format/RecordNames.h"
#include "format/VolumeFormat.h"

namespace {

// Length of a text field, or PathSize when no terminator lies inside it.
size_t fieldLength(const char* field) {
    const void* end = memchr(field, '\0', PathSize);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - field) : size_t{PathSize};
}

}  // namespace

bool isShortcutPath(const char* path) {
    const char* name = namePart(path);
    const char* dot = strrchr(name, '.');
    return dot && equalsAsciiNoCase(dot + 1, strlen(dot + 1), "lnk");
}

bool recordTextValid(const tagCompressFileHeader& record) {
    return fieldLength(record.subDir) < PathSize && fieldLength(record.fileName) < PathSize;
}

bool recordNamesSafe(const tagCompressFileHeader& record) {
    return pathStaysInside(record.subDir) && pathStaysInside(record.fileName);
}

bool parseRecord(const unsigned char* raw, tagCompressFileHeader* record) {
    *record = parseFileRecord(raw);
    // Parsing cuts an unterminated field to 259 characters; the engine
    // refuses such a record instead of installing under a cut name.
    return recordTextTerminated(raw, false) && recordTextTerminated(raw, true);
}

TargetBase targetBase(int32_t targetDir) {
    switch (targetDir) {
    case TargetWindows: return {TargetBase::Windows, 0};
    case TargetSystem: return {TargetBase::System, 0};
    case TargetDesktop: return {TargetBase::Special, ShellFolderDesktop};
    case TargetNone: return {TargetBase::Absolute, 0};
    case TargetInstall: return {TargetBase::Install, 0};
    case TargetStartup: return {TargetBase::Special, ShellFolderStartup};
    case TargetStartMenu: return {TargetBase::Special, ShellFolderStartMenu};
    case TargetPrograms: return {TargetBase::Special, ShellFolderPrograms};
    default: return {TargetBase::Invalid, 0};
    }
}
