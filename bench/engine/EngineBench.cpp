// engine_bench: how fast the install engine puts a corpus of files in place
// from data volumes, beside a plain CopyFile of the same files, in one run
// under the same Windows (or Wine). `engine_bench e2e ...` is the end-to-end
// comparison with other installers (EndToEnd.cpp, run by `scripts/bench e2e`).
//
//   engine_bench CORPUS WORK [--volume-size BYTES] [--rounds N]
//
// CORPUS is a folder of files (for example copies of Wine's own PE DLLs and
// some licence texts). The first run packs them with setupvol into
// WORK\vol (not timed; kept for later runs); every round then installs the
// archive into WORK\install with InitSFM and MakeSetupFileOperation and
// copies the corpus into WORK\copy with CopyFileA. Figures are megabytes
// (10^6 bytes) of installed file content per second; the best round counts.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Setup.h"
#include "bench/engine/BenchSupport.h"
#include "win32/Ownership.h"

int endToEnd(int argc, char** argv);
// Installs the volumes in `volumes` into `target` with a bare engine: the
// seconds it took, or a negative number when the run did not end with 2.
double installInProcess(const std::string& volumes, const std::string& target);

namespace {

struct Corpus {
    std::vector<std::string> names;
    unsigned long long bytes = 0;
};

Corpus listCorpus(const std::string& dir) {
    Corpus c;
    WIN32_FIND_DATAA fd;
    win32::FindHandle search(FindFirstFileA((dir + "\\*").c_str(), &fd));
    if (!search.valid())
        return c;
    do {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        c.names.push_back(fd.cFileName);
        c.bytes += (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    } while (FindNextFileA(search.get(), &fd));
    search.reset();
    std::sort(c.names.begin(), c.names.end());
    return c;
}

using bench::run;
using bench::seconds;

std::string ownFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    return p.substr(0, p.rfind('\\'));
}

unsigned long long folderBytes(const std::string& dir, const char* pattern) {
    unsigned long long total = 0;
    WIN32_FIND_DATAA fd;
    win32::FindHandle search(FindFirstFileA((dir + "\\" + pattern).c_str(), &fd));
    if (!search.valid())
        return 0;
    do
        total += (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    while (FindNextFileA(search.get(), &fd));
    return total;
}

double installOnce(const std::string& volumes, const std::string& target) {
    return installInProcess(volumes, target);
}

double copyOnce(const std::string& corpus, const Corpus& files, const std::string& target) {
    CreateDirectoryA(target.c_str(), nullptr);
    double start = seconds();
    for (const std::string& name : files.names)
        if (!CopyFileA((corpus + "\\" + name).c_str(), (target + "\\" + name).c_str(), FALSE))
            return -1.0;
    return seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
    // "e2e": the end-to-end comparison (EndToEnd.cpp); "noop": an empty
    // process, whose start and end it measures; "install VOLUMES TARGET":
    // one install, for the comparison with another Setup.Dll beside this
    // program (the classes' layout is fixed, so any build of it fits).
    if (argc >= 2 && !strcmp(argv[1], "e2e"))
        return endToEnd(argc - 1, argv + 1);
    if (argc >= 2 && !strcmp(argv[1], "noop"))
        return 0;
    // "install-txn VOLUMES TARGET": the same with install transactions on,
    // for profiling what they cost.
    bool transactions = argc == 4 && !strcmp(argv[1], "install-txn");
    if (transactions) {
        using Transactions = int(__cdecl*)(int);
        auto on = reinterpret_cast<Transactions>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("Setup.Dll"), "SetInstallTransactions")));
        if (!on)
            return 1;
        on(1);
    }
    if (argc == 4 && (transactions || !strcmp(argv[1], "install"))) {
        double elapsed = installInProcess(argv[2], argv[3]);
        if (elapsed < 0)
            return 1;
        printf("installed in %.3f s\n", elapsed);  // the process around it costs the rest
        return 0;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: engine_bench CORPUS WORK [--volume-size BYTES] [--rounds N]\n");
        return 2;
    }
    std::string corpus = argv[1], work = argv[2];
    std::string volumeSize = "8000000";
    int rounds = 3;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--volume-size"))
            volumeSize = argv[i + 1];
        else if (!strcmp(argv[i], "--rounds"))
            rounds = atoi(argv[i + 1]);
    }
    Corpus files = listCorpus(corpus);
    if (files.names.empty()) {
        fprintf(stderr, "engine_bench: no files in %s\n", corpus.c_str());
        return 1;
    }
    CreateDirectoryA(work.c_str(), nullptr);
    std::string volumes = work + "\\vol";
    if (GetFileAttributesA((volumes + "\\Data1.Dat").c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::string manifest = work + "\\corpus.manifest";
        FILE* f = fopen(manifest.c_str(), "w");
        if (!f)
            return 1;
        for (const std::string& name : files.names)
            fprintf(f, "file \"%s\\%s\" install - 1\n", corpus.c_str(), name.c_str());
        fclose(f);
        printf("packing %zu files (%.1f MB) ...\n", files.names.size(), files.bytes / 1e6);
        fflush(stdout);
        double start = seconds();
        int code = run("\"" + ownFolder() + "\\setupvol.exe\" pack \"" + manifest + "\" -o \"" +
                       volumes + "\" --quiet --volume-size " + volumeSize);
        if (code != 0) {
            fprintf(stderr, "engine_bench: setupvol failed (%d)\n", code);
            return 1;
        }
        printf("packed in %.1f s\n", seconds() - start);
    }
    unsigned long long packed = folderBytes(volumes, "Data*.Dat");
    int volumeCount = 0;
    while (GetFileAttributesA((volumes + "\\Data" + std::to_string(volumeCount + 1) + ".Dat").c_str()) !=
           INVALID_FILE_ATTRIBUTES)
        ++volumeCount;
    printf("corpus: %zu files, %.1f MB; volumes: %d, %.1f MB\n", files.names.size(), files.bytes / 1e6,
           volumeCount, packed / 1e6);

    double bestInstall = 1e30, bestCopy = 1e30;
    for (int round = 1; round <= rounds; ++round) {
        double c = copyOnce(corpus, files, work + "\\copy");
        double i = installOnce(volumes, work + "\\install");
        if (c < 0 || i < 0) {
            fprintf(stderr, "engine_bench: round %d failed (install %.3f, copy %.3f)\n", round, i, c);
            return 1;
        }
        printf("round %d: install %.3f s (%.1f MB/s), CopyFile %.3f s (%.1f MB/s)\n", round, i,
               files.bytes / 1e6 / i, c, files.bytes / 1e6 / c);
        bestInstall = std::min(bestInstall, i);
        bestCopy = std::min(bestCopy, c);
    }
    printf("best: install from volumes %.1f MB/s, CopyFile %.1f MB/s (install takes %.2fx the copy time)\n",
           files.bytes / 1e6 / bestInstall, files.bytes / 1e6 / bestCopy, bestInstall / bestCopy);
    return 0;
}
