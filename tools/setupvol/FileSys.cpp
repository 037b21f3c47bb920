// FileSys.cpp: file times, tree walks and write errors, with a small shim per platform.
#include "tools/setupvol/FileSys.h"

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {
// Seconds from 1601-01-01 to 1970-01-01.
const uint64_t kUnixEpochSeconds = 11644473600ull;
} // namespace

fs::path pathFromUtf8(const std::string& utf8) { return fs::u8path(utf8); }

std::string pathToUtf8(const fs::path& path) {
    auto s = path.u8string();
    return std::string(s.begin(), s.end());
}

#ifdef _WIN32

bool getFileWriteTime(const fs::path& path, uint64_t* fileTime, std::string* error) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        *error = "cannot read the time of " + pathToUtf8(path) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    *fileTime = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime;
    return true;
}

bool setFileWriteTime(const fs::path& path, uint64_t fileTime, std::string* error) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = "cannot set the time of " + pathToUtf8(path) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(fileTime);
    ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    BOOL ok = SetFileTime(h, nullptr, nullptr, &ft);
    DWORD err = GetLastError();
    CloseHandle(h);
    if (!ok) {
        *error = "cannot set the time of " + pathToUtf8(path) + " (error " + std::to_string(err) + ")";
        return false;
    }
    return true;
}

#else

bool getFileWriteTime(const fs::path& path, uint64_t* fileTime, std::string* error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = "cannot read the time of " + pathToUtf8(path) + ": " + strerror(errno);
        return false;
    }
    // Times before 1601 cannot be expressed; clamp them to its start.
    int64_t seconds = static_cast<int64_t>(st.st_mtim.tv_sec) + static_cast<int64_t>(kUnixEpochSeconds);
    if (seconds < 0)
        seconds = 0;
    *fileTime = static_cast<uint64_t>(seconds) * 10000000ull + static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
    return true;
}

struct timespec fileTimeToTimespec(uint64_t fileTime) {
    struct timespec t;
    t.tv_sec = static_cast<time_t>(static_cast<int64_t>(fileTime / 10000000ull) -
                                   static_cast<int64_t>(kUnixEpochSeconds));
    t.tv_nsec = static_cast<long>(fileTime % 10000000ull) * 100;
    return t;
}

bool setFileWriteTime(const fs::path& path, uint64_t fileTime, std::string* error) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // access time untouched
    times[1] = fileTimeToTimespec(fileTime);
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        *error = "cannot set the time of " + pathToUtf8(path) + ": " + strerror(errno);
        return false;
    }
    return true;
}

#endif

namespace {

bool walk(const fs::path& root, const std::string& prefix, int depth, std::vector<std::string>* files,
          std::string* error) {
    if (depth > 64) {
        *error = "folders nested more than 64 levels deep below " + pathToUtf8(root);
        return false;
    }
    std::error_code ec;
    fs::path dir = prefix.empty() ? root : root / pathFromUtf8(prefix);
    std::vector<std::pair<std::string, bool>> entries; // name, is folder
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        fs::file_status link = it->symlink_status(ec2);
        fs::file_status target = it->status(ec2);
        std::string name = pathToUtf8(it->path().filename());
        if (fs::is_directory(target)) {
            if (!fs::is_symlink(link))
                entries.emplace_back(name, true);
        } else if (fs::is_regular_file(target)) {
            entries.emplace_back(name, false);
        }
    }
    if (ec) {
        *error = "cannot list " + pathToUtf8(dir) + ": " + ec.message();
        return false;
    }
    std::sort(entries.begin(), entries.end());
    for (const auto& e : entries) {
        std::string rel = prefix.empty() ? e.first : prefix + "/" + e.first;
        if (e.second) {
            if (!walk(root, rel, depth + 1, files, error))
                return false;
        } else {
            files->push_back(rel);
        }
    }
    return true;
}

} // namespace

bool listTreeSorted(const fs::path& root, std::vector<std::string>* files, std::string* error) {
    files->clear();
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        *error = pathToUtf8(root) + " is not a folder";
        return false;
    }
    return walk(root, "", 0, files, error);
}

std::string whyWriteFailed(const fs::path& path) {
    int code = errno;
    if (code == ENOSPC)
        return "the disk is full";
    std::error_code ec;
    fs::space_info space = fs::space(path.parent_path(), ec);
    if (!ec && space.available == 0)
        return "the disk is full";
#ifdef EDQUOT
    if (code == EDQUOT)
        return "the disk quota is used up";
#endif
    return code ? strerror(code) : "write error";
}

uint64_t fileSizeOrZero(const std::filesystem::path& path) {
    std::error_code ec;
    uint64_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

bool isTerminal(FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

bool readWholeFile(const fs::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

fs::path ownProgramPath() {
#ifdef _WIN32
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        return fs::path();
    path.resize(n);
    return fs::path(path);
#else
    std::error_code ec;
    fs::path path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : path;
#endif
}
