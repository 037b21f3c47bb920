// Candidate paths of the volume search; see VolumeSearch.h.
#include "reader/VolumeSearch.h"

#include <stdio.h>
#include <string.h>

#include "common/PathText.h"

void volumeFileName(char* out, size_t size, int number) {
    snprintf(out, size, "Data%d.Dat", number);
}

bool currentFolderCandidate(char* out, size_t size, const char* startFolder, int number) {
    char name[kVolumeNameSize];
    volumeFileName(name, sizeof name, number);
    if (joinPath(out, startFolder, name, size))
        return true;
    if (size)
        out[0] = '\0';
    return false;
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
