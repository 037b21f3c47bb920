// What an install run over an earlier installation does with the earlier
// Install.log, decided over plain data. An Install.log in the installation
// folder is taken as the record of an earlier installation of the product
// being installed when the new set ships at least one of the files it lists
// in that folder (same folder keyword, sub-folder and name): the run
// replaces that log anyway, and without it no uninstaller could find the
// earlier files again. A log that shares no such file is another product's
// (or nothing of ours) and is replaced as it always was. Over an earlier
// version the earlier records the run did not write again are carried over
// into the new log (same record format), and the earlier files of the
// installation folder that the new set no longer ships are removed, unless
// the user changed them since they were installed (their size or last-write
// time differs from the record's). Only runs with transactions do this, so
// that a run that fails puts every removed file back. Builds natively; on
// Windows, Setup.h brings <windows.h> with the record's FILETIME.
#ifndef SETUP_FILEMANAGER_UPGRADE_RULES_H
#define SETUP_FILEMANAGER_UPGRADE_RULES_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "Setup.h"

// The name of one installed file across versions: its targetDir keyword and
// its path below that folder, with '/' as '\', repeated separators as one
// and letters folded as Windows compares names.
std::string installedFileKey(const tagCompressFileHeader& record);

// What becomes of one file the earlier log lists.
enum class EarlierFate {
    Rewritten,  // the run installed it again: its new records stand
    CarriedOver,// listed in the new log as it was (the set still ships it, or
                // it lies outside the installation folder, or it waits for an
                // exchange at the next start)
    Candidate   // in the installation folder and shipped no more: removed
                // when unchanged since, else carried over
};

struct EarlierFile {
    size_t first;  // its first record in the earlier log
    size_t count;  // 1, or 2 with the record of its temporary name
    EarlierFate fate;
};

struct UpgradePlan {
    // False for a log the engine could not have written (its length, a
    // record's fault): it is replaced as it always was, nothing carried over.
    bool valid = false;
    // The log shares a file of the installation folder with the new set:
    // an earlier version. Without it `files` is empty.
    bool sameProduct = false;
    // Each file once (its latest records), in the earlier log's order.
    std::vector<EarlierFile> files;
};

// The plan for an earlier log of `size` bytes, given the keys of the files
// the run wrote and of every file its set ships (installed or not).
UpgradePlan planUpgrade(const unsigned char* log, size_t size,
                        const std::unordered_set<std::string>& written,
                        const std::unordered_set<std::string>& shipped);

// A file as found on disk is still the one its record installed: the
// record's expanded size and last-write time.
bool unchangedSince(const tagCompressFileHeader& record, uint64_t size, uint64_t writeTime);

#endif
