// FileSys.h: the little the volume tool needs from the file system beyond
// standard C++: file times as Windows FILETIME values, a sorted walk of a
// directory tree, a whole file read, why a write failed and whether output
// goes to a terminal. Paths are UTF-8 strings on every platform.
#ifndef SETUPVOL_FILESYS_H
#define SETUPVOL_FILESYS_H

#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include <filesystem>
#include <string>
#include <vector>

std::filesystem::path pathFromUtf8(const std::string& utf8);
std::string pathToUtf8(const std::filesystem::path& path);

// Size of a file in bytes; 0 when it cannot be told.
uint64_t fileSizeOrZero(const std::filesystem::path& path);

// Last-write time as 100-nanosecond intervals since 1601-01-01 UTC.
bool getFileWriteTime(const std::filesystem::path& path, uint64_t* fileTime, std::string* error);
bool setFileWriteTime(const std::filesystem::path& path, uint64_t fileTime, std::string* error);
#ifndef _WIN32
// The same time as the system's clock counts it.
struct timespec fileTimeToTimespec(uint64_t fileTime);
#endif

// Why a write to `path` failed, in words: a full disk is named as such.
// Called at once after the failure, while errno still tells.
std::string whyWriteFailed(const std::filesystem::path& path);

// Reads the whole file `path` into `text`: false when it cannot be opened
// or a read fails.
bool readWholeFile(const std::filesystem::path& path, std::string* text);

// The file of the running program; empty when it cannot be told.
std::filesystem::path ownProgramPath();

// Whether `stream` (stdout, stderr) is a terminal, not a pipe or a file.
bool isTerminal(FILE* stream);

// Every regular file below `root`, as paths relative to it with '/' between
// levels, in byte order of their names level by level (a folder's files and
// subfolders sorted together), so the order is the same on every machine.
// Links to folders are not followed.
bool listTreeSorted(const std::filesystem::path& root, std::vector<std::string>* files, std::string* error);

#endif
