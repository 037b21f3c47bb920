// Helpers shared by the install engine tests (engine_*_test.cpp): an engine
// that records and answers its notifications, archives packed by setupvol
// from a manifest, Install.log records, PE files stamped with version
// resources, a guard against message boxes nobody expects, and host commands
// (chattr) started through Wine.
#ifndef SETUP_TESTS_ENGINEKIT_H
#define SETUP_TESTS_ENGINEKIT_H

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string.h>
#include <string>
#include <vector>

#include "Setup.h"
#include "TestEnv.h"
#include "UiAuto.h"

namespace kit {

inline const char* caption() {
    static char text[] = "Engine Test Setup";
    return text;
}

// One notification as the engine sent it.
struct Notice {
    int kind;
    std::string text;  // kind 0: the target path; kind 1: the volume path
    int value;         // kind 0: the group entry; kinds 2, 3: the percentage
};

// A bare engine with message boxes from the library's string table, recording
// every notification; `answer` decides the reply (2 when unset).
class Engine : public SetupFileManager {
public:
    Engine() {
        InitBI(testenv::library(), const_cast<char*>(caption()));
        SetParentForMessage(nullptr);
    }
    int TakeProcessInfo(int kind, void* data) override {
        Notice n{kind, "", 0};
        if (kind == 0) {
            n.text = static_cast<const char*>(data);
            n.value = *reinterpret_cast<const int*>(static_cast<const char*>(data) + 260);
        } else if (kind == 1) {
            n.text = static_cast<const char*>(data);
        } else {
            n.value = *static_cast<const int*>(data);
        }
        notices.push_back(n);
        return answer ? answer(kind, data) : 2;
    }
    std::vector<Notice> of(int kind) const {
        std::vector<Notice> out;
        for (const Notice& n : notices)
            if (n.kind == kind)
                out.push_back(n);
        return out;
    }
    std::vector<Notice> notices;
    std::function<int(int, void*)> answer;
};

// Sets the process's current directory (where the reader looks for volumes)
// and puts the old one back.
class CurrentDir {
public:
    explicit CurrentDir(const std::string& dir) : old_(testenv::currentDir()) {
        SetCurrentDirectoryA(dir.c_str());
    }
    ~CurrentDir() { SetCurrentDirectoryA(old_.c_str()); }

private:
    std::string old_;
};

// InitSFM and, when it returns 2, MakeSetupFileOperation, the way the
// progress dialog's worker runs them, with `volumes` as the current directory.
struct RunResult {
    int init = -1;
    int run = -1;  // -1 when InitSFM did not return 2
};
inline RunResult install(SetupFileManager& engine, const std::string& volumes,
                         const std::string& installDir) {
    CurrentDir cd(volumes);
    RunResult r;
    std::vector<char> dir(installDir.begin(), installDir.end());
    dir.resize(260, '\0');
    r.init = engine.InitSFM(dir.data());
    if (r.init == 2)
        r.run = engine.MakeSetupFileOperation(dir.data());
    return r;
}

// ---------------------------------------------------------------------------
// Archives.

// A manifest for setupvol: lines as the tool reads them.
class Manifest {
public:
    Manifest& line(const std::string& text) {
        text_ += text + "\n";
        return *this;
    }
    // file SOURCE TARGET SUBDIR GROUP [options]
    Manifest& file(const std::string& source, const std::string& target, const std::string& subDir,
                   int group = 1, const std::string& options = "") {
        return line("file \"" + source + "\" " + target + " \"" + (subDir.empty() ? "-" : subDir) +
                    "\" " + std::to_string(group) + " " + options);
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Packs `manifest` with setupvol into `outDir`; extra arguments such as
// "--volume-size 40000". Fails the test when the tool fails.
inline ::testing::AssertionResult pack(const Manifest& manifest, const std::string& workDir,
                                       const std::string& outDir, const std::string& extra = "") {
    std::string path = workDir + "\\files.manifest";
    if (!testenv::writeFile(path, manifest.text()))
        return ::testing::AssertionFailure() << "cannot write " << path;
    std::string cmd = "\"" + testenv::binPath("setupvol.exe") + "\" pack \"" + path + "\" -o \"" +
                      outDir + "\" --quiet " + extra;
    int code = testenv::run(cmd, workDir);
    if (code != 0)
        return ::testing::AssertionFailure() << cmd << " exited with " << code;
    return ::testing::AssertionSuccess();
}

// The records of an Install.log; fails when its length is not a multiple of 564.
inline std::vector<tagCompressFileHeader> readLog(const std::string& path) {
    std::vector<unsigned char> bytes = testenv::readFile(path);
    EXPECT_EQ(0u, bytes.size() % sizeof(tagCompressFileHeader)) << path;
    std::vector<tagCompressFileHeader> records(bytes.size() / sizeof(tagCompressFileHeader));
    if (!records.empty())
        memcpy(records.data(), bytes.data(), records.size() * sizeof(tagCompressFileHeader));
    return records;
}

inline uint64_t writeTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

inline bool setWriteTime(const std::string& path, uint64_t time) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    BOOL ok = SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
    return ok != FALSE;
}

inline uint64_t recordTime(const tagCompressFileHeader& r) {
    return (uint64_t(r.lastWriteTime.dwHighDateTime) << 32) | r.lastWriteTime.dwLowDateTime;
}

// Deterministic content of `size` bytes, different for every seed: words
// of a small vocabulary with numbers and now and then a run of binary bytes,
// so that the compressor has something to find.
inline std::vector<unsigned char> content(uint32_t seed, size_t size) {
    static const char* const words[] = {"setup", "volume", "record", "install", "group", "data",
                                        "file", "Windows", "system", "the", "of", "and"};
    std::vector<unsigned char> out;
    out.reserve(size + 16);
    uint32_t x = seed * 2654435761u + 1;
    auto next = [&x]() {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    while (out.size() < size) {
        uint32_t r = next();
        if (r % 17 == 0) {
            for (int i = 0; i < 24; ++i)
                out.push_back(static_cast<unsigned char>(next()));
        } else {
            const char* w = words[r % 12];
            out.insert(out.end(), w, w + strlen(w));
            if (r % 5 == 0) {
                std::string n = std::to_string(r % 1000);
                out.insert(out.end(), n.begin(), n.end());
            }
            out.push_back(r % 9 == 0 ? '\n' : ' ');
        }
    }
    out.resize(size);
    return out;
}

inline std::string windowsDir() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, MAX_PATH);
    return dir;
}

inline std::string systemDir() {
    char dir[MAX_PATH];
    GetSystemDirectoryA(dir, MAX_PATH);
    return dir;
}

// ---------------------------------------------------------------------------
// PE files with version resources.

namespace detail {
inline void pad(std::vector<unsigned char>& b) {
    while (b.size() % 4)
        b.push_back(0);
}
inline void put16(std::vector<unsigned char>& b, unsigned v) {
    b.push_back(static_cast<unsigned char>(v));
    b.push_back(static_cast<unsigned char>(v >> 8));
}
inline void putText(std::vector<unsigned char>& b, const std::string& s) {
    for (char c : s)
        put16(b, static_cast<unsigned char>(c));
    put16(b, 0);
}
// One node of a version resource: length, value length, type (1 text),
// key, value, children, each part on a 4-byte boundary.
inline std::vector<unsigned char> node(const std::string& key, const std::vector<unsigned char>& value,
                                       unsigned valueLength, unsigned type,
                                       const std::vector<std::vector<unsigned char>>& children) {
    std::vector<unsigned char> b;
    put16(b, 0);
    put16(b, valueLength);
    put16(b, type);
    putText(b, key);
    pad(b);
    b.insert(b.end(), value.begin(), value.end());
    for (const auto& child : children) {
        pad(b);
        b.insert(b.end(), child.begin(), child.end());
    }
    b[0] = static_cast<unsigned char>(b.size());
    b[1] = static_cast<unsigned char>(b.size() >> 8);
    return b;
}
}  // namespace detail

// A version resource whose string block `block` (e.g. "040904E4") holds
// FileVersion = `fileVersion`, and whose fixed record says `fixedHigh`,
// `fixedLow` (by default 99.99.0.0, unlike any text the tests use).
inline std::vector<unsigned char> versionResource(const std::string& fileVersion,
                                                  const std::string& block = "040904E4",
                                                  DWORD fixedHigh = 0x00630063, DWORD fixedLow = 0) {
    using detail::node;
    std::vector<unsigned char> text;
    detail::putText(text, fileVersion);
    auto str = node("FileVersion", text, static_cast<unsigned>(fileVersion.size() + 1), 1, {});
    auto table = node(block, {}, 0, 1, {str});
    auto strings = node("StringFileInfo", {}, 0, 1, {table});
    auto translation = node("Translation", {0x09, 0x04, 0xE4, 0x04}, 4, 0, {});
    auto vars = node("VarFileInfo", {}, 0, 1, {translation});
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = 0xFEEF04BD;
    fixed.dwStrucVersion = 0x10000;
    fixed.dwFileVersionMS = fixedHigh;
    fixed.dwFileVersionLS = fixedLow;
    std::vector<unsigned char> value(reinterpret_cast<unsigned char*>(&fixed),
                                     reinterpret_cast<unsigned char*>(&fixed) + sizeof fixed);
    return node("VS_VERSION_INFO", value, sizeof fixed, 0, {strings, vars});
}

// A copy of the resource-free test DLL at `path`; with a non-empty
// `fileVersion`, stamped with a version resource.
inline ::testing::AssertionResult writeDll(const std::string& path, const std::string& fileVersion,
                                           const std::string& block = "040904E4",
                                           DWORD fixedHigh = 0x00630063, DWORD fixedLow = 0) {
    if (!CopyFileA(testenv::binPath("engine_blank.dll").c_str(), path.c_str(), FALSE))
        return ::testing::AssertionFailure() << "cannot copy the blank DLL to " << path;
    if (fileVersion.empty())
        return ::testing::AssertionSuccess();
    std::vector<unsigned char> res = versionResource(fileVersion, block, fixedHigh, fixedLow);
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    if (!update)
        return ::testing::AssertionFailure() << "BeginUpdateResource " << path;
    BOOL ok = UpdateResourceA(update, reinterpret_cast<LPCSTR>(RT_VERSION), MAKEINTRESOURCEA(1),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), res.data(),
                              static_cast<DWORD>(res.size()));
    if (!EndUpdateResourceA(update, !ok) || !ok)
        return ::testing::AssertionFailure() << "UpdateResource " << path;
    return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Message boxes nobody expects: while a guard lives, any dialog of this
// process is recorded and dismissed, so that a wrong message fails the test
// instead of hanging it. Beside a ui::Script the guard leaves the windows the
// script met alone, and acts on others only once the script has met all
// `steps` or when they stay on screen longer than the script would wait.
class DialogGuard {
public:
    explicit DialogGuard(const ui::Script* script = nullptr, size_t steps = 0)
        : script_(script), steps_(steps) {
        InitializeCriticalSection(&lock_);
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
    }
    ~DialogGuard() {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        CloseHandle(stop_);
        DeleteCriticalSection(&lock_);
    }
    DialogGuard(const DialogGuard&) = delete;
    DialogGuard& operator=(const DialogGuard&) = delete;
    // The texts of the dialogs that were dismissed.
    std::vector<std::string> seen() {
        EnterCriticalSection(&lock_);
        std::vector<std::string> out = seen_;
        LeaveCriticalSection(&lock_);
        return out;
    }

private:
    static DWORD WINAPI watch(LPVOID param) {
        DialogGuard* self = static_cast<DialogGuard*>(param);
        std::vector<HWND> dismissed;
        std::vector<std::pair<HWND, DWORD>> firstSeen;
        while (WaitForSingleObject(self->stop_, 50) == WAIT_TIMEOUT) {
            std::vector<ui::WindowInfo> expected;
            bool scriptDone = true;
            if (self->script_) {
                expected = self->script_->matched();
                scriptDone = expected.size() >= self->steps_;
            }
            for (const ui::WindowInfo& w : ui::visibleWindows()) {
                if (w.className != "#32770")
                    continue;
                auto same = [&](const ui::WindowInfo& e) { return e.hwnd == w.hwnd; };
                if (std::any_of(expected.begin(), expected.end(), same) ||
                    std::find(dismissed.begin(), dismissed.end(), w.hwnd) != dismissed.end())
                    continue;
                auto seen = std::find_if(firstSeen.begin(), firstSeen.end(),
                                         [&](const std::pair<HWND, DWORD>& f) { return f.first == w.hwnd; });
                if (seen == firstSeen.end()) {
                    firstSeen.emplace_back(w.hwnd, GetTickCount());
                    seen = firstSeen.end() - 1;
                }
                if (!scriptDone && GetTickCount() - seen->second < 20000)
                    continue;
                dismissed.push_back(w.hwnd);
                EnterCriticalSection(&self->lock_);
                self->seen_.push_back(w.text);
                LeaveCriticalSection(&self->lock_);
                int button = IDOK;
                for (int id : {IDCANCEL, IDNO, IDOK})
                    if (std::find(w.buttons.begin(), w.buttons.end(), id) != w.buttons.end()) {
                        button = id;
                        break;
                    }
                ui::press(w.hwnd, button);
            }
        }
        return 0;
    }
    const ui::Script* script_;
    size_t steps_;
    CRITICAL_SECTION lock_;
    std::vector<std::string> seen_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
};

// ---------------------------------------------------------------------------
// Host commands. Wine starts a Linux program given by its Z: path, but hands
// back no process to wait for; the command therefore ends by creating a
// marker file, which we wait for.

// The Linux path of a Windows path, through Wine's own conversion.
inline std::string unixPath(const std::string& windowsPath) {
    typedef char*(CDECL * Convert)(LPCWSTR);
    Convert convert = reinterpret_cast<Convert>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    if (!convert)
        return "";
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH);
    char* text = convert(wide);
    if (!text)
        return "";
    std::string out = text;
    HeapFree(GetProcessHeap(), 0, text);
    return out;
}

// Runs `command` with the host's /bin/sh and waits (at most 20 s) until it
// has finished. False when it could not be started or did not finish.
inline bool hostCommand(const std::string& command) {
    static int serial = 0;
    std::string marker = testenv::binPath("") + "host_done_" + std::to_string(GetCurrentProcessId()) +
                         "_" + std::to_string(++serial);
    std::string markerUnix = unixPath(marker);
    if (markerUnix.empty())
        return false;
    DeleteFileA(marker.c_str());
    std::string line = "Z:\\bin\\sh -c \"" + command + "; touch '" + markerUnix + "'\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    if (pi.hThread)
        CloseHandle(pi.hThread);
    for (int i = 0; i < 400; ++i) {
        if (testenv::fileExists(marker)) {
            DeleteFileA(marker.c_str());
            return true;
        }
        Sleep(50);
    }
    return false;
}

// Makes a folder truly unwritable (the immutable attribute, which holds even
// for root) for the guard's life.
class Immutable {
public:
    explicit Immutable(const std::string& windowsDir) : unix_(unixPath(windowsDir)) {
        ok_ = !unix_.empty() && hostCommand("chattr +i '" + unix_ + "'");
    }
    ~Immutable() {
        if (!unix_.empty())
            hostCommand("chattr -i '" + unix_ + "'");
    }
    bool ok() const { return ok_; }

private:
    std::string unix_;
    bool ok_ = false;
};

// ---------------------------------------------------------------------------
// Trees compared before and after a run.

// A tree as a listing: per entry its attributes, and for a file its times
// and bytes (a folder's times follow its content).
using Listing = std::map<std::string, std::string>;

inline void listTree(const std::string& root, const std::string& relative, Listing& out) {
    WIN32_FIND_DATAA f;
    HANDLE find = FindFirstFileA((root + relative + "\\*").c_str(), &f);
    while (find != INVALID_HANDLE_VALUE) {
        std::string name = f.cFileName, path = relative + "\\" + name;
        if (name != "." && name != "..") {
            std::string& e = out[path];
            e = std::to_string(f.dwFileAttributes);
            if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                listTree(root, path, out);
            } else {
                std::vector<unsigned char> bytes = testenv::readFile(root + path);
                e += " " + std::to_string(f.ftLastWriteTime.dwLowDateTime) + " " +
                     std::to_string(f.ftCreationTime.dwLowDateTime) + " " + std::string(bytes.begin(), bytes.end());
            }
        }
        if (!FindNextFileA(find, &f)) {
            FindClose(find);
            break;
        }
    }
}

// What differs, one line per entry; "" when nothing does.
inline std::string treeDifferences(const Listing& before, const Listing& after) {
    std::string text;
    for (const auto& b : before)
        if (!after.count(b.first) || after.at(b.first) != b.second)
            text += "changed or missing " + b.first + "\n";
    for (const auto& a : after)
        if (!before.count(a.first))
            text += "left " + a.first + "\n";
    return text;
}

}  // namespace kit

#endif
