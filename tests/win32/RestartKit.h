// Helpers of the tests that leave work to the next start of Windows (the
// uninstaller's files in use, the completed exchange): a file held open as a
// running program holds it, the renames Windows keeps for its next start
// (PendingFileRenameOperations), kept and put back around a test, and the
// qrv*.TMP files of a folder.
#ifndef SETUP_TESTS_RESTARTKIT_H
#define SETUP_TESTS_RESTARTKIT_H

#include <windows.h>

#include <string>
#include <vector>

namespace kit {

// Holds a file open without any sharing.
class Held {
public:
    explicit Held(const std::string& path)
        : h_(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~Held() { release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE h_;
};

inline const char* sessionManagerKey() { return "System\\CurrentControlSet\\Control\\Session Manager"; }

// The strings of PendingFileRenameOperations, in order: pairs of source
// ("\??\C:\...") and destination ("" to delete, "!\??\..." to replace).
inline std::vector<std::string> pendingRenames() {
    std::vector<std::string> out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        size > 0) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size);
        size_t count = size / sizeof(wchar_t);
        for (size_t at = 0; at < count;) {
            std::wstring wide(&data[at]);
            // A pair's empty destination is a string too; the list ends at
            // the terminator after the last pair.
            char narrow[1024] = "";
            WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
            out.push_back(narrow);
            at += wide.size() + 1;
        }
        while (out.size() % 2)
            out.pop_back();
    }
    RegCloseKey(key);
    return out;
}

// The destination given for `source` ("\??\" + path), or "(none)".
inline std::string pendingFor(const std::string& path) {
    std::vector<std::string> list = pendingRenames();
    for (size_t i = 0; i + 1 < list.size(); i += 2)
        if (lstrcmpiA(list[i].c_str(), ("\\??\\" + path).c_str()) == 0)
            return list[i + 1];
    return "(none)";
}

// Keeps PendingFileRenameOperations as it was and puts it back when it goes,
// so that a test's scheduled work does not outlive it.
class PendingRenamesKeeper {
public:
    PendingRenamesKeeper() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            had_ = true;
            data_.resize(size);
            RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type_, data_.data(), &size);
        }
        RegCloseKey(key);
    }
    ~PendingRenamesKeeper() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey(), 0, KEY_WRITE, &key) != ERROR_SUCCESS)
            return;
        if (had_)
            RegSetValueExW(key, L"PendingFileRenameOperations", 0, type_, data_.data(),
                           static_cast<DWORD>(data_.size()));
        else
            RegDeleteValueW(key, L"PendingFileRenameOperations");
        RegCloseKey(key);
    }

private:
    bool had_ = false;
    DWORD type_ = REG_MULTI_SZ;
    std::vector<BYTE> data_;
};

// The qrv*.TMP files in `dir`.
inline std::vector<std::string> temporaries(const std::string& dir) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\qrv*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do
        out.push_back(dir + "\\" + fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return out;
}

}  // namespace kit

#endif
