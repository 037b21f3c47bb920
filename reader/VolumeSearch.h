// Where the reader looks for a data volume, as plain text work: the volume's
// file name and the candidate paths in the current directory and in the
// sibling "Disk%d" directory. Portable: no <windows.h>.
//
// Every candidate is built into a caller's fixed buffer (PathSize characters
// in the reader). A candidate that would not fit is never cut: the builder
// says so and leaves the buffer holding an empty string, so that nothing
// half-built is ever opened and no earlier path passes for this one.
#ifndef SETUP_READER_VOLUME_SEARCH_H
#define SETUP_READER_VOLUME_SEARCH_H

#include <stddef.h>

// Room for "Data%d.Dat" and "Disk%d" with any int.
const size_t kVolumeNameSize = 24;

// "Data%d.Dat" for volume `number`.
void volumeFileName(char* out, size_t size, int number);

// First place: the start folder itself, e.g. D:\Disk1\Data2.Dat.
bool currentFolderCandidate(char* out, size_t size, const char* startFolder, int number);

// Second place: the start folder cut at its last backslash, then
// \Disk%d\Data%d.Dat. D:\Disk1 and the root D:\ both give D:\Disk2\Data2.Dat
// for volume 2. A folder without any backslash is taken whole. `out` must
// not be `startFolder`.
bool siblingDiskCandidate(char* out, size_t size, const char* startFolder, int number);

#endif
