// QrvInit.Ini, the rename file in the Windows folder: for each target that
// was in use, the engine writes TempName<n> = the temporary file holding the
// new content and RealName<n> = the target, under the section whose name is
// empty; the companion's completer reads the pairs back after the run. Here:
// the file's and keys' names, how a key's number is read, and which number
// a new pair takes. Portable: no <windows.h>.
#ifndef SETUP_FORMAT_RENAME_FILE_H
#define SETUP_FORMAT_RENAME_FILE_H

#include <stddef.h>

// The rename file's name, in the Windows folder.
extern const char kRenameFileName[];
// The section the pairs are written under: the one whose name is empty.
extern const char kRenameSection[];
// The key prefixes of a pair; the number follows in decimal.
extern const char kTemporaryKeyPrefix[];  // "TempName"
extern const char kRealKeyPrefix[];       // "RealName"

// The mutex a writer of the rename file holds while it reads and changes
// the file: a profile write rewrites the whole file, so two writers at once
// (two setups, or a setup and the completer) would lose each other's keys,
// and two setups would take the same number. Shared by every process of the
// session. A holder needs milliseconds; one that hangs does not stop the
// others: after kRenameFileWait milliseconds they write without it.
extern const char kRenameFileMutex[];
const unsigned long kRenameFileWait = 10000;

// A pair's number has at most this many digits: more is not the engine's.
const size_t kExchangeNumberDigits = 9;

// The number after `prefix` in `key` (`length` characters), the prefix
// compared without case as the profile functions do.
//   true   `*number` is the key's number
//   false  another key: a different prefix, no digits, something after
//          them, or more than kExchangeNumberDigits of them
bool exchangeKeyNumber(const char* key, size_t length, const char* prefix, unsigned long* number);

// The number a new pair takes, given the section's key names as the profile
// call lists them (each terminated, `used` characters in all): one more than
// the highest number of a TempName or RealName key, so that a pair written
// by an earlier run (of this setup or another, before the restart that
// completes it) is never overwritten. 1 for a section without pairs; 0 when
// the highest number leaves no room for another.
unsigned long nextExchangeNumber(const char* keyList, size_t used);

// The pair's two keys for number `n` into `temporaryKey` and `realKey`
// (each kExchangeKeySize characters).
const size_t kExchangeKeySize = 32;
void exchangeKeys(unsigned long n, char* temporaryKey, char* realKey);

#endif
