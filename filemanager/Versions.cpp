// Versions and existing files: where a file of the system or Windows
// directory is already installed, and whether the record's version may
// replace it (the comparison itself is EngineRules'), read from the file's
// version resource; and the two file queries the engine asks before writing
// (exists, read-only).
#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>

#include "filemanager/EngineRun.h"
#include "format/VolumeFormat.h"
#include "win32/Ownership.h"
#include "win32/SystemLibrary.h"

static_assert(sizeof(VS_FIXEDFILEINFO) == kFixedVersionRecordSize, "the fixed version record");

namespace {

// version.dll is no known DLL: it comes from the system folder alone
// (win32/SystemLibrary.h), resolved once for the process and kept.
struct VersionFunctions {
    decltype(&GetFileVersionInfoSizeA) size;
    decltype(&GetFileVersionInfoA) read;
    decltype(&VerQueryValueA) query;
};

const VersionFunctions& versionFunctions() {
    static const VersionFunctions functions = {
        win32::systemFunction<decltype(&GetFileVersionInfoSizeA)>("version.dll", "GetFileVersionInfoSizeA"),
        win32::systemFunction<decltype(&GetFileVersionInfoA)>("version.dll", "GetFileVersionInfoA"),
        win32::systemFunction<decltype(&VerQueryValueA)>("version.dll", "VerQueryValueA"),
    };
    return functions;
}

}  // namespace

char* SetupFileManager::GetClearName(char* path, int system) {
    char dir[PathSize];
    bool ok = system ? systemDirectory(dir) : windowsDirectory(dir);
    size_t skip = ok ? strlen(dir) : 0;
    size_t length = strlen(path);
    return path + (skip < length ? skip : length);
}

// An InstalledCopy:
//   CopyAbsent       no file at the directory + relative
//   CopyReplaceable  a file is there and the record may replace it
//   CopyNewer        a file is there whose version is newer than the record's
int SetupFileManager::IsNewFile(char* relative, tagCompressFileHeader* record, int system) {
    char path[PathSize];
    bool ok = system ? systemDirectory(path) : windowsDirectory(path);
    if (!ok || !appendText(path, relative) || !QRV_FileExist(path))
        return CopyAbsent;
    return NewFileVersion(path, record) ? CopyReplaceable : CopyNewer;
}

// 1 the record's version is equal or newer, or the installed one cannot be read.
int SetupFileManager::NewFileVersion(char* path, tagCompressFileHeader* record) {
    int installed[4];
    if (!QRV_GetFileVersion(path, installed))
        return 1;
    return recordMayReplace(reinterpret_cast<const int32_t*>(installed), record->version) ? 1 : 0;
}

// 1 when the file has a version resource; `version` then holds the parts of
// its US English / code page 1252 FileVersion text or, without that text,
// its fixed file version (resourceFileVersion decides).
int SetupFileManager::QRV_GetFileVersion(char* path, int* version) {
    for (int i = 0; i < 4; ++i)
        version[i] = 0;
    const VersionFunctions& api = versionFunctions();
    if (!api.size || !api.read || !api.query)
        return 0;
    DWORD ignored = 0;
    DWORD size = api.size(path, &ignored);
    if (size == 0)
        return 0;
    std::unique_ptr<char[]> info(new (std::nothrow) char[size]);
    if (!info || !api.read(path, 0, size, info.get()))
        return 0;
    char query[64];
    snprintf(query, sizeof query, "\\StringFileInfo\\%s\\FileVersion", kVersionTextBlock);
    char* text = nullptr;
    UINT length = 0;
    // The value's length counts its terminator; copy it out terminated.
    char copy[PathSize];
    const char* found = nullptr;
    if (api.query(info.get(), query, reinterpret_cast<void**>(&text), &length) && text) {
        size_t n = length < PathSize ? length : PathSize - 1;
        memcpy(copy, text, n);
        copy[n] = '\0';
        found = copy;
    }
    FixedVersion fixed = {false, 0, 0};
    VS_FIXEDFILEINFO* record = nullptr;
    if (api.query(info.get(), "\\", reinterpret_cast<void**>(&record), &length) && record &&
        length >= kFixedVersionRecordSize && record->dwSignature == kFixedVersionSignature)
        fixed = {true, record->dwFileVersionMS, record->dwFileVersionLS};
    resourceFileVersion(found, fixed, reinterpret_cast<int32_t*>(version));
    return 1;
}

// "Exists" means openable for reading with no sharing: a file that another
// program holds open counts as absent.
int SetupFileManager::QRV_FileExist(char* path) {
    win32::FileHandle file(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() ? 1 : 0;
}

// 1 when `path` exists and carries the read-only attribute.
int SetupFileManager::QRV_IsReadOnly(char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}
