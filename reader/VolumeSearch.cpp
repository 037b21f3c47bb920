// Candidate paths of the volume search; see VolumeSearch.h.
#include "reader/VolumeSearch.h"

#include <stdio.h>
#include <string.h>

void volumeFileName(char* out, size_t size, int number) {
    snprintf(out, size, "Data%d.Dat", number);
}

bool joinPath(char* out, size_t size, const char* folder, const char* name) {
    if (size == 0)
        return false;
    size_t folderLength = strlen(folder);
    size_t nameLength = strlen(name);
    bool needSeparator = folderLength > 0 && folder[folderLength - 1] != '\\';
    size_t total = folderLength + (needSeparator ? 1 : 0) + nameLength;
    if (total >= size) {
        out[0] = '\0';
        return false;
    }
    // `out` may be `folder` itself: move, then append.
    memmove(out, folder, folderLength);
    if (needSeparator)
        out[folderLength++] = '\\';
    memcpy(out + folderLength, name, nameLength);
    out[total] = '\0';
    return true;
}

bool currentFolderCandidate(char* out, size_t size, const char* startFolder, int number) {
    char name[kVolumeNameSize];
    volumeFileName(name, sizeof name, number);
    return joinPath(out, size, startFolder, name);
}

bool siblingDiskCandidate(char* out, size_t size, const char* startFolder, int number) {
    const char* cut = strrchr(startFolder, '\\');
    size_t parentLength = cut ? static_cast<size_t>(cut - startFolder) : strlen(startFolder);
    char disk[kVolumeNameSize];
    char name[kVolumeNameSize];
    snprintf(disk, sizeof disk, "Disk%d", number);
    volumeFileName(name, sizeof name, number);
    // parent + "\" + disk + "\" + name
    size_t total = parentLength + 1 + strlen(disk) + 1 + strlen(name);
    if (size == 0 || total >= size) {
        if (size)
            out[0] = '\0';
        return false;
    }
    snprintf(out, size, "%.*s\\%s\\%s", static_cast<int>(parentLength), startFolder, disk, name);
    return true;
}
