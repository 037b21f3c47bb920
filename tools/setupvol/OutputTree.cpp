// OutputTree.cpp: creating files below the output folder without following
// links. On POSIX each level is entered through the descriptor of the one
// above with O_NOFOLLOW, so a link is refused by the kernel even if it
// appears during the run; on Windows each level's attributes are read before
// it is entered (a link made between that look and the entry, by a program
// racing the run, is not caught), and the file is created new under a name
// of its own and renamed into place.
#include "tools/setupvol/OutputTree.h"

#include <system_error>

#include "tools/setupvol/FileSys.h"

#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

std::string outputRefusal(OutputEntry found, bool wantFolder, const std::string& shown) {
    switch (found) {
    case OutputEntry::Absent:
        return "";
    case OutputEntry::Folder:
        return wantFolder ? "" : shown + " is a folder";
    case OutputEntry::RegularFile:
        return wantFolder ? shown + " is a file, not a folder" : "";
    case OutputEntry::Link:
        return shown + " is a link, and links in the output folder are not followed";
    case OutputEntry::Other:
        break;
    }
    return shown + " is neither a folder nor a regular file";
}

OutputFile::~OutputFile() { discard(); }

namespace {

bool makeRoot(const fs::path& root, std::string* error) {
    std::error_code ec;
    fs::create_directories(root, ec);
    if (ec) {
        *error = "cannot create " + pathToUtf8(root) + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace

#ifdef _WIN32

namespace {

OutputEntry entryAt(const fs::path& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? OutputEntry::Absent
                                                                             : OutputEntry::Other;
    }
    // Symbolic links and junctions are both reparse points.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return OutputEntry::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return OutputEntry::Folder;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return OutputEntry::Other;
    return OutputEntry::RegularFile;
}

std::string windowsError(DWORD code) { return "error " + std::to_string(code); }

} // namespace

bool OutputFile::create(const fs::path& root, const std::vector<std::string>& folders, const std::string& name,
                        std::string* error) {
    discard();
    if (!makeRoot(root, error))
        return false;
    fs::path at = root;
    for (const std::string& folder : folders) {
        at /= pathFromUtf8(folder);
        OutputEntry found = entryAt(at);
        if (found == OutputEntry::Absent) {
            DWORD code = CreateDirectoryW(at.c_str(), nullptr) ? ERROR_SUCCESS : GetLastError();
            found = entryAt(at);
            // Still absent: a link to nowhere, which some systems report as
            // nothing at all, or a folder that could not be made.
            if (found == OutputEntry::Absent) {
                *error = "cannot create the folder " + pathToUtf8(at) + " (" + windowsError(code) + ")";
                return false;
            }
        }
        std::string why = outputRefusal(found, true, pathToUtf8(at));
        if (!why.empty()) {
            *error = why;
            return false;
        }
    }
    at /= pathFromUtf8(name);
    OutputEntry found = entryAt(at);
    std::string why = outputRefusal(found, false, pathToUtf8(at));
    if (!why.empty()) {
        *error = why;
        return false;
    }
    // The file is made new under a name of its own, CREATE_NEW never opening
    // what a link points to, then put in the target's place by a rename,
    // which replaces a directory entry and never writes through it. Deleting
    // the old file first would not do: Wine deletes what a Unix file link
    // points to, and reports such a link as a regular file.
    fs::path fresh = at;
    fresh += pathFromUtf8(".setupvol-" + std::to_string(GetCurrentProcessId()));
    file_.reset(CreateFileW(fresh.c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_DELETE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file_.valid()) {
        *error = "cannot create " + pathToUtf8(fresh) + " (" + windowsError(GetLastError()) + ")";
        return false;
    }
    if (!MoveFileExW(fresh.c_str(), at.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        *error = "cannot replace " + pathToUtf8(at) + " (" + windowsError(GetLastError()) + ")";
        file_.reset();
        DeleteFileW(fresh.c_str());
        return false;
    }
    path_ = at;
    return true;
}

bool OutputFile::write(const unsigned char* data, size_t size, std::string* error) {
    while (size > 0) {
        DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(file_.get(), data, part, &done, nullptr) || done == 0) {
            DWORD code = GetLastError();
            *error = "cannot write " + pathToUtf8(path_) + ": " +
                     (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ? std::string("the disk is full")
                                                                                : windowsError(code));
            return false;
        }
        data += done;
        size -= done;
    }
    return true;
}

bool OutputFile::finish(uint64_t fileTime, std::string* error) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(fileTime);
    ft.dwHighDateTime = static_cast<DWORD>(fileTime >> 32);
    bool ok = SetFileTime(file_.get(), nullptr, nullptr, &ft) != 0;
    if (!ok)
        *error = "cannot set the time of " + pathToUtf8(path_) + " (" + windowsError(GetLastError()) + ")";
    close();
    return ok;
}

void OutputFile::discard() {
    if (!file_.valid())
        return;
    file_.reset();
    // The name is ours: the file was created new under it.
    DeleteFileW(path_.c_str());
    path_.clear();
}

void OutputFile::close() {
    file_.reset();
    path_.clear();
}

#else

namespace {

// Kind of the entry `name` in the folder `dir`, the link itself when it is one.
bool entryAt(int dir, const std::string& name, OutputEntry* found) {
    struct stat st;
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        *found = OutputEntry::Absent;
        return errno == ENOENT;
    }
    *found = S_ISLNK(st.st_mode) ? OutputEntry::Link
             : S_ISDIR(st.st_mode) ? OutputEntry::Folder
             : S_ISREG(st.st_mode) ? OutputEntry::RegularFile
                                   : OutputEntry::Other;
    return true;
}

// A descriptor closed on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// Why an operation on `shown` in `dir` failed: the refusal when what stands
// there may not be used, else the system's word, read from errno at once.
std::string whyFailed(int dir, const std::string& name, bool wantFolder, const std::string& shown) {
    int code = errno;
    OutputEntry found;
    if (entryAt(dir, name, &found)) {
        std::string why = outputRefusal(found, wantFolder, shown);
        if (!why.empty())
            return why;
    }
    return shown + ": " + strerror(code);
}

} // namespace

bool OutputFile::create(const fs::path& root, const std::vector<std::string>& folders, const std::string& name,
                        std::string* error) {
    discard();
    if (!makeRoot(root, error))
        return false;
    Descriptor dir(open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) {
        *error = "cannot open " + pathToUtf8(root) + ": " + strerror(errno);
        return false;
    }
    fs::path at = root;
    for (const std::string& folder : folders) {
        at /= pathFromUtf8(folder);
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = openat(dir.get(), folder.c_str(), flags);
        if (next < 0 && errno == ENOENT && (mkdirat(dir.get(), folder.c_str(), 0777) == 0 || errno == EEXIST))
            next = openat(dir.get(), folder.c_str(), flags);
        if (next < 0) {
            *error = whyFailed(dir.get(), folder, true, pathToUtf8(at));
            return false;
        }
        dir.reset(next);
    }
    at /= pathFromUtf8(name);
    const std::string shown = pathToUtf8(at);
    OutputEntry found;
    if (!entryAt(dir.get(), name, &found)) {
        *error = shown + ": " + strerror(errno);
        return false;
    }
    std::string why = outputRefusal(found, false, shown);
    if (!why.empty()) {
        *error = why;
        return false;
    }
    if (found == OutputEntry::RegularFile && unlinkat(dir.get(), name.c_str(), 0) != 0 && errno != ENOENT) {
        *error = "cannot replace " + shown + ": " + strerror(errno);
        return false;
    }
    // O_EXCL with O_NOFOLLOW fails on any name that exists, a link that
    // appeared meanwhile included, and so never writes through one.
    Descriptor file(openat(dir.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        *error = whyFailed(dir.get(), name, false, shown);
        return false;
    }
    folder_ = dir.release();
    file_ = file.release();
    name_ = name;
    path_ = at;
    return true;
}

bool OutputFile::write(const unsigned char* data, size_t size, std::string* error) {
    while (size > 0) {
        ssize_t done = ::write(file_, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            if (done == 0)
                errno = ENOSPC;
            *error = "cannot write " + pathToUtf8(path_) + ": " + whyWriteFailed(path_);
            return false;
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
    return true;
}

bool OutputFile::finish(uint64_t fileTime, std::string* error) {
    struct timespec times[2];
    times[1] = fileTimeToTimespec(fileTime);
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // access time untouched
    bool ok = futimens(file_, times) == 0;
    if (!ok)
        *error = "cannot set the time of " + pathToUtf8(path_) + ": " + strerror(errno);
    close();
    return ok;
}

void OutputFile::discard() {
    if (file_ < 0)
        return;
    // The name is ours: the file was created new under it, in this folder.
    unlinkat(folder_, name_.c_str(), 0);
    close();
}

void OutputFile::close() {
    if (file_ >= 0)
        ::close(file_);
    if (folder_ >= 0)
        ::close(folder_);
    file_ = folder_ = -1;
    name_.clear();
    path_.clear();
}

#endif
