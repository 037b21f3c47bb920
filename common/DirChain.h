// Creation of a directory together with the missing directories above it,
// as a walk over the path's backslashes. Portable: the caller creates and
// enters directories.
#ifndef SETUP_DIR_CHAIN_H
#define SETUP_DIR_CHAIN_H

#include "common/PathSize.h"

class DirectoryActions {
public:
    // Creates one directory; false when it was not created (it may exist).
    virtual bool create(const char* path) = 0;
    // True when the directory can be made the current directory.
    virtual bool enter(const char* path) = 0;

protected:
    ~DirectoryActions() = default;
};

// Longest path the walk works on (a path buffer with its terminator).
const unsigned int kDirPathLimit = PathSize - 1;

// Returns 1 when `path` exists as a directory afterwards, 0 otherwise.
// Refused without creating anything (unless the whole path could be created
// at once): a character from / * ? " < > |, two backslashes in a row, no
// backslash at all, or a path longer than kDirPathLimit. The part before the
// first backslash (a drive, or nothing) is never created; each longer prefix
// is created and must be enterable before the next is tried.
int createDirectoryChain(const char* path, DirectoryActions& actions);

#endif
