// The damage sweep. The routine suite runs a few cases (seconds); the full
// sweep of 400 takes minutes and runs on demand, outside ctest's time limit,
// in the build's bin folder with Wine started (scripts/wine-env.sh):
//
//   $WINE engine_sweep_test.exe 400     (or SETUP_SWEEP_CASES=400)
//
// A multi-volume set is damaged over and over, by a cut volume or flipped
// bytes at random places, and each damaged set goes through `setupvol verify`
// and through the engine, once with its check file and once without. It
// counts how the runs end; the figure that matters is how many damaged sets
// install "successfully" with bytes or names that differ from the product's
// files, which must be 0 with the check file.
#include "Setup.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "EngineKit.h"
#include "TestEnv.h"

namespace {

// Cases of the routine run. The damage of a case depends only on the seed
// and the cases before it, so a short run is the start of the long one.
int sweepCases = 4;

struct Tally {
    int stopped = 0;        // the engine stopped with a message
    int clean = 0;          // ended with 2 and every file right
    int wrong = 0;          // ended with 2 and some file wrong or misnamed
    int verifyFlagged = 0;  // setupvol verify exited non-zero
};

// Runs a program with its output thrown away; its exit code.
int quietRun(const std::string& commandLine) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = nul;
    PROCESS_INFORMATION pi = {};
    std::string cmd = commandLine;
    DWORD code = static_cast<DWORD>(-1);
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(nul);
    return static_cast<int>(code);
}

// How the engine ends on the set in `volumes`: 2 with the installed files
// compared against `originals` (by name), else stopped.
void runEngine(const std::string& volumes, const std::string& app,
               const std::map<std::string, std::vector<unsigned char>>& originals, Tally* tally) {
    testenv::removeTree(app);
    int run = -1;
    {
        kit::Engine engine;
        engine.MakeGroupList(1);
        kit::DialogGuard guard;
        run = kit::install(engine, volumes, app).run;
    }
    if (run != 2) {
        ++tally->stopped;
        return;
    }
    bool right = true;
    std::vector<tagCompressFileHeader> log = kit::readLog(app + "\\Install.log");
    right = log.size() == originals.size();
    for (const tagCompressFileHeader& r : log) {
        auto found = originals.find(r.fileName);
        if (found == originals.end() || testenv::readFile(app + "\\" + r.fileName) != found->second)
            right = false;
    }
    if (right)
        ++tally->clean;
    else
        ++tally->wrong;
    if (getenv("SWEEP_VERBOSE")) {
        printf("  run 2, %zu records:", log.size());
        for (const tagCompressFileHeader& r : log) {
            auto found = originals.find(r.fileName);
            printf(" %s%s", r.fileName,
                   found == originals.end() ? "(?)"
                   : testenv::readFile(app + "\\" + r.fileName) != found->second ? "(X)" : "");
        }
        printf("\n");
    }
}

TEST(EngineSweep, DamagedSetsNeverInstallWrongBytes) {
    const std::string dir = testenv::scratchDir();
    CreateDirectoryA((dir + "\\src").c_str(), nullptr);
    std::map<std::string, std::vector<unsigned char>> originals;
    kit::Manifest m;
    std::mt19937 rng(2024);
    for (int i = 0; i < 8; ++i) {
        std::vector<unsigned char> bytes = kit::content(100 + i, 4000 + 5000 * i);
        if (i % 4 == 1)  // incompressible: literals that still decode when hit
            for (unsigned char& b : bytes)
                b = static_cast<unsigned char>(rng());
        std::string name = "f" + std::to_string(i) + ".bin";
        ASSERT_TRUE(testenv::writeFile(dir + "\\src\\" + name, bytes));
        originals[name] = bytes;
        m.file("src\\" + name, "install", "", 1);
    }
    const std::string clean = dir + "\\clean";
    ASSERT_TRUE(kit::pack(m, dir, clean, "--volume-size 25000"));
    std::vector<std::vector<unsigned char>> volumes;
    for (int n = 1; testenv::fileExists(clean + "\\Data" + std::to_string(n) + ".Dat"); ++n)
        volumes.push_back(testenv::readFile(clean + "\\Data" + std::to_string(n) + ".Dat"));
    const std::vector<unsigned char> check = testenv::readFile(clean + "\\Data.Chk");
    ASSERT_GE(volumes.size(), 3u);
    ASSERT_FALSE(check.empty());

    const std::string work = dir + "\\case";
    const std::string app = dir + "\\App";
    CreateDirectoryA(work.c_str(), nullptr);
    // The undamaged set installs right with and without its check file.
    for (size_t n = 0; n < volumes.size(); ++n)
        ASSERT_TRUE(testenv::writeFile(work + "\\Data" + std::to_string(n + 1) + ".Dat", volumes[n]));
    for (bool withFile : {true, false}) {
        if (withFile)
            ASSERT_TRUE(testenv::writeFile(work + "\\Data.Chk", check));
        else
            DeleteFileA((work + "\\Data.Chk").c_str());
        Tally control;
        runEngine(work, app, originals, &control);
        ASSERT_EQ(1, control.clean) << (withFile ? "with" : "without") << " the check file";
    }

    Tally withCheck, without;
    int truncations = 0, flips = 0;
    for (int c = 0; c < sweepCases; ++c) {
        std::vector<std::vector<unsigned char>> damaged = volumes;
        size_t v = rng() % damaged.size();
        std::vector<unsigned char>& vol = damaged[v];
        if (c % 4 == 0) {
            vol.resize(rng() % vol.size());
            ++truncations;
        } else {
            int count = 1 + static_cast<int>(rng() % 3);
            for (int k = 0; k < count; ++k) {
                size_t at = rng() % vol.size();
                vol[at] ^= static_cast<unsigned char>(1u << (rng() % 8));
                if (getenv("SWEEP_VERBOSE"))
                    printf("case %d: flip in Data%zu.Dat at %zu\n", c, v + 1, at);
            }
            ++flips;
        }
        for (size_t n = 0; n < damaged.size(); ++n)
            ASSERT_TRUE(testenv::writeFile(work + "\\Data" + std::to_string(n + 1) + ".Dat", damaged[n]));

        for (bool withFile : {true, false}) {
            Tally& tally = withFile ? withCheck : without;
            if (withFile)
                ASSERT_TRUE(testenv::writeFile(work + "\\Data.Chk", check));
            else
                DeleteFileA((work + "\\Data.Chk").c_str());
            if (quietRun("\"" + testenv::binPath("setupvol.exe") + "\" verify \"" + work + "\"") != 0)
                ++tally.verifyFlagged;
            runEngine(work, app, originals, &tally);
        }
    }
    auto print = [&](const char* what, const Tally& t) {
        printf("%-22s engine: %4d stopped, %4d installed right, %4d installed WRONG; "
               "setupvol verify flagged %4d of %d\n",
               what, t.stopped, t.clean, t.wrong, t.verifyFlagged, sweepCases);
    };
    printf("damage sweep: %d cases (%d truncations, %d byte flips) over %zu volumes\n", sweepCases,
           truncations, flips, volumes.size());
    print("with Data.Chk:", withCheck);
    print("without Data.Chk:", without);
    EXPECT_EQ(0, withCheck.wrong);
    EXPECT_EQ(sweepCases, withCheck.stopped + withCheck.clean + withCheck.wrong);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The count: the first argument, else SETUP_SWEEP_CASES.
    const char* count = argc > 1 ? argv[1] : getenv("SETUP_SWEEP_CASES");
    if (count && atoi(count) > 0)
        sweepCases = atoi(count);
    return RUN_ALL_TESTS();
}
