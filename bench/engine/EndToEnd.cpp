// engine_bench e2e: an end-to-end install benchmark. In interleaved rounds it
// installs one payload tree in several ways under the same Windows (or Wine)
// and compares each with a plain CopyFileA walk of the tree in the same
// round:
//
//   copy           CopyFileA of every file, CreateDirectoryA of every folder
//   engine-1vol    InitSFM + MakeSetupFileOperation from one volume, in process
//   engine-floppy  the same from 1.44 MB volumes
//   txn-1vol       engine-1vol with install transactions on (SetInstallTransactions)
//   engine-process the engine from one volume in a process of its own
//                  ("EXE install"): what a setup program costs at the least
//   sample-1vol    the sample setup (SampleSetup.exe /S /D=...), a process, one volume
//   sample-floppy  the same from 1.44 MB volumes
//   sample-wizard  the sample setup through its pages (SampleSetup.exe /D=...),
//                  one volume: each page's Next and the closing message's OK
//                  pressed as soon as they are on screen
//   nsis-zlib      an NSIS installer with zlib, run with /S /D=
//   nsis-lzma      an NSIS installer with /SOLID lzma
//   before-1vol    with --baseline: "EXE install" in a process, one volume
//                  (an engine_bench beside an earlier Setup.Dll)
//   before-floppy  the same from 1.44 MB volumes
//   before-sample  with --baseline-sample: that revision's sample setup /S,
//                  one volume
//   process        starting and ending an empty process (what a process costs)
//
//   engine_bench e2e PAYLOAD WORK [--rounds N] [--sample EXE]
//                    [--nsis-zlib EXE] [--nsis-lzma EXE] [--baseline EXE]
//                    [--baseline-sample EXE]
//
// WORK holds the volumes packed beforehand (WORK\vol1, WORK\floppy); each
// kind installs into WORK\out\KIND, removed before every run. Every installed
// tree is compared with the payload, byte for byte, after its run (not
// timed). The kinds' order turns by one each round, so that no kind always
// follows the same one. Prints each round, then per kind the median time,
// throughput and the median of its per-round ratios to the copy.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "Setup.h"
#include "bench/engine/BenchSupport.h"
#include "win32/Ownership.h"

int endToEnd(int argc, char** argv);
double installInProcess(const std::string& volumes, const std::string& target);

namespace {

struct Payload {
    std::vector<std::string> folders;  // relative, parents first
    std::vector<std::string> files;    // relative
    unsigned long long bytes = 0;
};

void walk(const std::string& root, const std::string& relative, Payload& p) {
    WIN32_FIND_DATAA fd;
    std::string base = relative.empty() ? root : root + "\\" + relative;
    std::vector<std::string> folders;
    {
        win32::FindHandle search(FindFirstFileA((base + "\\*").c_str(), &fd));
        if (!search.valid())
            return;
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string rel = relative.empty() ? name : relative + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                folders.push_back(rel);
            } else {
                p.files.push_back(rel);
                p.bytes += (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
            }
        } while (FindNextFileA(search.get(), &fd));
    }
    for (const std::string& f : folders) {
        p.folders.push_back(f);
        walk(root, f, p);
    }
}

bool deleteTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    {
        win32::FindHandle search(FindFirstFileA((path + "\\*").c_str(), &fd));
        if (search.valid()) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string full = path + "\\" + name;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    deleteTree(full);
                } else {
                    SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(full.c_str());
                }
            } while (FindNextFileA(search.get(), &fd));
        }
    }
    return RemoveDirectoryA(path.c_str()) || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool readWhole(const std::string& path, std::vector<char>& out) {
    win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid())
        return false;
    DWORD size = GetFileSize(file.get(), nullptr);
    out.resize(size);
    DWORD got = 0;
    return size == 0 || (ReadFile(file.get(), out.data(), size, &got, nullptr) && got == size);
}

// The installed tree holds exactly the payload's files (and, at its top,
// the engine's Install.log), byte for byte. An empty string when it does.
std::string compareTree(const std::string& payloadRoot, const Payload& payload,
                        const std::string& installed) {
    Payload found;
    walk(installed, "", found);
    size_t extra = 0;
    for (const std::string& f : found.files)
        extra += f == "Install.log";
    if (found.files.size() - extra != payload.files.size())
        return std::to_string(found.files.size() - extra) + " files installed, " +
               std::to_string(payload.files.size()) + " in the payload";
    std::vector<char> a, b;
    for (const std::string& f : payload.files) {
        if (!readWhole(payloadRoot + "\\" + f, a))
            return "cannot read payload " + f;
        if (!readWhole(installed + "\\" + f, b))
            return "missing " + f;
        if (a != b)
            return "different " + f;
    }
    return std::string();
}

double copyTree(const std::string& from, const Payload& p, const std::string& to) {
    double start = bench::seconds();
    if (!CreateDirectoryA(to.c_str(), nullptr))
        return -1;
    for (const std::string& f : p.folders)
        if (!CreateDirectoryA((to + "\\" + f).c_str(), nullptr))
            return -1;
    for (const std::string& f : p.files)
        if (!CopyFileA((from + "\\" + f).c_str(), (to + "\\" + f).c_str(), FALSE))
            return -1;
    return bench::seconds() - start;
}

char caption[] = "engine_bench";

}  // namespace

double installInProcess(const std::string& volumes, const std::string& target) {
    char here[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, here);
    SetCurrentDirectoryA(volumes.c_str());
    double start = bench::seconds();
    int r;
    {
        SetupFileManager engine;
        engine.InitBI(GetModuleHandleA("Setup.Dll"), caption);
        engine.SetParentForMessage(nullptr);
        char dir[PathSize] = {};
        strncpy(dir, target.c_str(), PathSize - 1);
        r = engine.InitSFM(dir);
        if (r == StepContinue)
            r = engine.MakeSetupFileOperation(dir);
    }
    double elapsed = bench::seconds() - start;
    SetCurrentDirectoryA(here);
    return r == StepContinue ? elapsed : -1.0;
}

namespace {

double timedProcess(const std::string& commandLine, const std::string& folder,
                    const std::function<void(DWORD)>& meanwhile = nullptr) {
    double start = bench::seconds();
    int code = bench::run(commandLine, folder, true, meanwhile);
    double elapsed = bench::seconds() - start;
    return code == 0 ? elapsed : -1.0;
}

// The user who goes through a wizard as fast as it appears: Next on each
// page of process `pid`, OK on its message boxes, No to its questions (an
// earlier kind's installation is offered for removal: it is kept), each
// window once.
struct PressThrough {
    std::vector<HWND> pressed;
    DWORD pid = 0;

    static BOOL CALLBACK visit(HWND window, LPARAM self) {
        auto* p = reinterpret_cast<PressThrough*>(self);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != p->pid || !IsWindowVisible(window) ||
            std::find(p->pressed.begin(), p->pressed.end(), window) != p->pressed.end())
            return TRUE;
        // The floating buttons (exit, language) have no caption: never pressed.
        bool captioned = (GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
        for (int id : {static_cast<int>(PageNext), IDOK, IDNO}) {
            HWND button = GetDlgItem(window, id);
            if (id != PageNext && !captioned)
                continue;
            if (button && IsWindowEnabled(button)) {
                p->pressed.push_back(window);
                PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
                break;
            }
        }
        return TRUE;
    }
    void operator()(DWORD process) {
        pid = process;
        EnumWindows(visit, reinterpret_cast<LPARAM>(this));
    }
};

struct Kind {
    std::string name;
    std::function<double(const std::string& target)> run;
    bool installs;  // leaves a tree to compare
    std::vector<double> times, ratios;
};

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string ownPath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

}  // namespace

int endToEnd(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: engine_bench e2e PAYLOAD WORK [--rounds N] [--sample EXE] "
                        "[--nsis-zlib EXE] [--nsis-lzma EXE] [--baseline EXE]\n");
        return 2;
    }
    std::string payloadRoot = argv[1], work = argv[2];
    std::string sample, nsisZlib, nsisLzma, baseline, baselineSample;
    int rounds = 5;
    for (int i = 3; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--rounds")
            rounds = atoi(argv[i + 1]);
        else if (option == "--sample")
            sample = argv[i + 1];
        else if (option == "--nsis-zlib")
            nsisZlib = argv[i + 1];
        else if (option == "--nsis-lzma")
            nsisLzma = argv[i + 1];
        else if (option == "--baseline")
            baseline = argv[i + 1];
        else if (option == "--baseline-sample")
            baselineSample = argv[i + 1];
    }
    Payload payload;
    walk(payloadRoot, "", payload);
    if (payload.files.empty()) {
        fprintf(stderr, "engine_bench: no files in %s\n", payloadRoot.c_str());
        return 1;
    }
    std::string out = work + "\\out";
    CreateDirectoryA(out.c_str(), nullptr);
    std::string vol1 = work + "\\vol1", floppy = work + "\\floppy";

    std::vector<Kind> kinds;
    kinds.push_back({"copy", [&](const std::string& t) { return copyTree(payloadRoot, payload, t); }, true, {}, {}});
    kinds.push_back({"engine-1vol", [&](const std::string& t) { return installInProcess(vol1, t); }, true, {}, {}});
    kinds.push_back({"engine-floppy", [&](const std::string& t) { return installInProcess(floppy, t); }, true, {}, {}});
    // Looked up, not imported: the same program runs beside an earlier
    // Setup.Dll for the baseline kinds, which has no transactions.
    using Transactions = int(__cdecl*)(int);
    auto transactions = reinterpret_cast<Transactions>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("Setup.Dll"), "SetInstallTransactions")));
    if (transactions)
        kinds.push_back({"txn-1vol", [&](const std::string& t) {
                             transactions(1);
                             double elapsed = installInProcess(vol1, t);
                             transactions(0);
                             return elapsed;
                         }, true, {}, {}});
    if (!sample.empty()) {
        kinds.push_back({"sample-1vol", [&](const std::string& t) {
                             return timedProcess("\"" + sample + "\" /S /D=" + t, vol1);
                         }, true, {}, {}});
        kinds.push_back({"sample-floppy", [&](const std::string& t) {
                             return timedProcess("\"" + sample + "\" /S /D=" + t, floppy);
                         }, true, {}, {}});
        kinds.push_back({"sample-wizard", [&](const std::string& t) {
                             PressThrough user;
                             return timedProcess("\"" + sample + "\" /D=" + t, vol1, std::ref(user));
                         }, true, {}, {}});
    }
    if (!nsisZlib.empty())
        kinds.push_back({"nsis-zlib", [&](const std::string& t) {
                             return timedProcess("\"" + nsisZlib + "\" /S /D=" + t, work);
                         }, true, {}, {}});
    if (!nsisLzma.empty())
        kinds.push_back({"nsis-lzma", [&](const std::string& t) {
                             return timedProcess("\"" + nsisLzma + "\" /S /D=" + t, work);
                         }, true, {}, {}});
    if (!baseline.empty()) {
        kinds.push_back({"before-1vol", [&](const std::string& t) {
                             return timedProcess("\"" + baseline + "\" install " + vol1 + " " + t, work);
                         }, true, {}, {}});
        kinds.push_back({"before-floppy", [&](const std::string& t) {
                             return timedProcess("\"" + baseline + "\" install " + floppy + " " + t, work);
                         }, true, {}, {}});
    }
    if (!baselineSample.empty())
        kinds.push_back({"before-sample", [&](const std::string& t) {
                             return timedProcess("\"" + baselineSample + "\" /S /D=" + t, vol1);
                         }, true, {}, {}});
    std::string self = ownPath();
    kinds.push_back({"engine-process", [&](const std::string& t) {
                         return timedProcess("\"" + self + "\" install " + vol1 + " " + t, work);
                     }, true, {}, {}});
    kinds.push_back({"process", [&](const std::string&) {
                         return timedProcess("\"" + self + "\" noop", work);
                     }, false, {}, {}});

    printf("payload: %zu files in %zu folders, %.1f MB\n", payload.files.size(),
           payload.folders.size(), payload.bytes / 1e6);
    printf("%d rounds, kinds in turning order:", rounds);
    for (const Kind& k : kinds)
        printf(" %s", k.name.c_str());
    printf("\n");
    fflush(stdout);

    for (int round = 0; round < rounds; ++round) {
        std::vector<double> times(kinds.size(), -1);
        for (size_t step = 0; step < kinds.size(); ++step) {
            size_t index = (step + round) % kinds.size();
            Kind& kind = kinds[index];
            std::string target = out + "\\" + kind.name;
            deleteTree(target);
            double t = kind.run(target);
            if (t < 0) {
                fprintf(stderr, "engine_bench: %s failed in round %d\n", kind.name.c_str(), round + 1);
                return 1;
            }
            if (kind.installs) {
                std::string problem = compareTree(payloadRoot, payload, target);
                if (!problem.empty()) {
                    fprintf(stderr, "engine_bench: %s installed a different tree: %s\n",
                            kind.name.c_str(), problem.c_str());
                    return 1;
                }
            }
            times[index] = t;
        }
        printf("round %d:", round + 1);
        for (size_t i = 0; i < kinds.size(); ++i) {
            kinds[i].times.push_back(times[i]);
            kinds[i].ratios.push_back(times[i] / times[0]);
            printf(" %s %.3f", kinds[i].name.c_str(), times[i]);
        }
        printf("\n");
        fflush(stdout);
    }
    printf("\n%-14s %9s %9s %14s\n", "kind", "median s", "MB/s", "x copy (median)");
    for (const Kind& k : kinds) {
        double m = median(k.times);
        printf("%-14s %9.3f %9.1f %14.2f\n", k.name.c_str(), m,
               k.installs ? payload.bytes / 1e6 / m : 0.0, median(k.ratios));
    }
    for (const Kind& k : kinds)
        deleteTree(out + "\\" + k.name);
    return 0;
}
