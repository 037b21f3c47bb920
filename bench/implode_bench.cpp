// Implode throughput and ratio: MB/s (10^6 bytes) of input, fastest of
// several runs, on a corpus of real PE modules and texts, on one core and on
// every core (the corpus's files shared among as many threads), beside the
// independent encoder of the test vectors (StormLib's, when libstorm is
// installed); and the stream sizes over the test vectors beside its own.
//   implode_bench [--runs N] [--corpus-mb N] [--threads N] [--vectors-only] [FILE ...]
// Without files the corpus is the 32-bit PE modules of wine and mingw-w64
// found on this machine (every k-th by name, up to --corpus-mb, default 24)
// and the texts of /usr/share/common-licenses. Every stream is expanded
// again by Explode and compared, so the figures are for correct output.
#include "explode/Explode.h"
#include "implode/Implode.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef HAVE_LIBSTORM
// The encoder that made the test vectors, exported by libstorm.
extern "C" unsigned int implode(unsigned int (*readBuf)(char*, unsigned int*, void*),
                                void (*writeBuf)(char*, unsigned int*, void*), char* workBuf, void* param,
                                unsigned int* type, unsigned int* dictSize);
#endif

namespace fs = std::filesystem;

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Source {
    const Bytes* stream;
    size_t pos;
    Bytes out;
};

unsigned int readIn(char* buffer, unsigned int* size, void* param) {
    auto* s = static_cast<Source*>(param);
    size_t n = std::min<size_t>(*size, s->stream->size() - s->pos);
    memcpy(buffer, s->stream->data() + s->pos, n);
    s->pos += n;
    return static_cast<unsigned int>(n);
}

void writeOut(char* buffer, unsigned int* size, void* param) {
    auto* s = static_cast<Source*>(param);
    s->out.insert(s->out.end(), buffer, buffer + *size);
}

bool expandsTo(const Bytes& stream, const Bytes& original) {
    if (original.empty())
        return true; // the 4-byte stream of an empty file is refused by design
    std::unique_ptr<ExplodeWork> work(new ExplodeWork());
    Source s = {&stream, 0, {}};
    return Explode(readIn, writeOut, work.get(), &s) == ExplodeOk && s.out == original;
}

struct Corpus {
    std::string name;
    std::vector<Bytes> files;
    uint64_t bytes = 0;
};

struct Figures {
    double wallMBs = 0, cpuMBs = 0;
    uint64_t out = 0;
};

// The fastest run: the one least disturbed by other work on the machine,
// which on a shared machine varies more than the encoder does.
double best(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

typedef uint64_t (*EncodeFn)(const Bytes& file, ImplodeLiteralMode literals, unsigned dict);

void countBytes(const unsigned char*, size_t size, void* param) { *static_cast<uint64_t*>(param) += size; }

// One encoder per thread, restarted for every file, as the packer's workers
// use it.
uint64_t encodeOurs(const Bytes& f, ImplodeLiteralMode literals, unsigned dict) {
    ImplodeOptions o;
    o.literals = literals;
    o.dictionarySize = dict;
    uint64_t size = 0;
    thread_local Imploder imploder(o, countBytes, nullptr);
    imploder.restart(o, countBytes, &size);
    imploder.write(f.data(), f.size());
    imploder.finish();
    return size;
}

#ifdef HAVE_LIBSTORM
struct StormIo {
    const Bytes* in;
    size_t pos;
    uint64_t out;
};

unsigned int stormRead(char* buffer, unsigned int* size, void* param) {
    auto* io = static_cast<StormIo*>(param);
    size_t n = std::min<size_t>(*size, io->in->size() - io->pos);
    memcpy(buffer, io->in->data() + io->pos, n);
    io->pos += n;
    return static_cast<unsigned int>(n);
}

void stormWrite(char*, unsigned int* size, void* param) { static_cast<StormIo*>(param)->out += *size; }

uint64_t encodeStorm(const Bytes& f, ImplodeLiteralMode literals, unsigned dict) {
    // Its work area is some 36 KB; room to spare.
    std::vector<char> work(1 << 16);
    StormIo io = {&f, 0, 0};
    unsigned type = literals == ImplodeAscii ? 1 : 0, size = dict;
    implode(stormRead, stormWrite, work.data(), &io, &type, &size);
    return io.out;
}
#endif

// Encodes the corpus `runs` times with `threads` threads taking files in
// turn; each run repeats the corpus until it has encoded at least 4 MB, so
// that a small corpus is timed over more than a few milliseconds. CPU time
// is that of the whole process (all threads).
Figures measure(const Corpus& c, EncodeFn encode, ImplodeLiteralMode literals, unsigned dict, int runs,
                unsigned threads) {
    const unsigned rounds = static_cast<unsigned>(std::max<uint64_t>(1, 4000000 / std::max<uint64_t>(c.bytes, 1)));
    std::vector<double> wall, cpu;
    Figures result;
    for (int r = 0; r < runs; ++r) {
        std::atomic<size_t> next{0};
        std::atomic<uint64_t> out{0};
        const size_t jobs = c.files.size() * rounds;
        auto work = [&] {
            uint64_t mine = 0;
            for (size_t i; (i = next++) < jobs;)
                mine += encode(c.files[i % c.files.size()], literals, dict);
            out += mine;
        };
        auto t0 = std::chrono::steady_clock::now();
        std::clock_t c0 = std::clock();
        std::vector<std::thread> pool;
        for (unsigned t = 1; t < threads; ++t)
            pool.emplace_back(work);
        work();
        for (std::thread& t : pool)
            t.join();
        double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        double u = double(std::clock() - c0) / CLOCKS_PER_SEC;
        double mb = double(c.bytes) * rounds / 1e6;
        wall.push_back(mb / std::max(w, 1e-9));
        cpu.push_back(mb / std::max(u, 1e-9));
        result.out = out / rounds;
    }
    result.wallMBs = best(wall);
    result.cpuMBs = best(cpu);
    return result;
}

// Our streams of the corpus expand to its files, else the figures are void.
void checkRoundTrip(const Corpus& c, ImplodeLiteralMode literals, unsigned dict) {
    ImplodeOptions o;
    o.literals = literals;
    o.dictionarySize = dict;
    for (const Bytes& f : c.files)
        if (!expandsTo(implodeBuffer(f.data(), f.size(), o), f)) {
            fprintf(stderr, "implode_bench: a stream of %s does not expand to its input\n", c.name.c_str());
            exit(1);
        }
}

std::vector<fs::path> glob(const std::vector<std::string>& dirs, const std::string& ext) {
    std::vector<fs::path> out;
    for (const std::string& d : dirs) {
        std::error_code ec;
        for (fs::directory_iterator it(d, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec) && (ext.empty() || it->path().extension() == ext))
                out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

void vectors() {
    const std::string dir = std::string(SETUP_VECTORS_DIR) + "/";
    std::vector<fs::path> streams = glob({dir}, ".imp");
    uint64_t ours = 0, theirs = 0;
    printf("\ntest vectors: our stream size beside the independent encoder's\n");
    printf("%-30s %9s %9s %8s\n", "stream", "ours", "theirs", "ratio");
    for (const fs::path& p : streams) {
        std::string name = p.filename().string();
        if (name.compare(0, 5, "hand-") == 0)
            continue;
        // NAME.LIT-DICT.imp
        std::string stem = p.stem().string();
        size_t dot = stem.rfind('.');
        std::string base = stem.substr(0, dot), mode = stem.substr(dot + 1);
        size_t dash = mode.find('-');
        ImplodeOptions o;
        o.literals = mode.substr(0, dash) == "ascii" ? ImplodeAscii : ImplodeBinary;
        o.dictionarySize = static_cast<unsigned>(atoi(mode.substr(dash + 1).c_str()));
        Bytes original = ReadFile(dir + base + ".bin");
        Bytes stream = implodeBuffer(original.data(), original.size(), o);
        if (!expandsTo(stream, original)) {
            fprintf(stderr, "implode_bench: %s does not round-trip\n", name.c_str());
            exit(1);
        }
        uint64_t their = fs::file_size(p);
        ours += stream.size();
        theirs += their;
        printf("%-30s %9zu %9llu %7.2f%%\n", name.c_str(), stream.size(), (unsigned long long)their,
               100.0 * stream.size() / their);
    }
    printf("%-30s %9llu %9llu %7.2f%%\n", "total", (unsigned long long)ours, (unsigned long long)theirs,
           100.0 * ours / theirs);
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    double corpusMB = 24;
    bool vectorsOnly = false;
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else if (a == "--corpus-mb" && i + 1 < argc)
            corpusMB = atof(argv[++i]);
        else if (a == "--threads" && i + 1 < argc)
            threads = static_cast<unsigned>(std::max(1, atoi(argv[++i])));
        else if (a == "--vectors-only")
            vectorsOnly = true;
        else
            files.push_back(a);
    }
    if (!vectorsOnly) {
        std::vector<Corpus> corpora;
        if (!files.empty()) {
            Corpus c;
            c.name = "given files";
            for (const fs::path& p : files)
                c.files.push_back(ReadFile(p));
            corpora.push_back(c);
        } else {
            std::vector<fs::path> dlls = glob({"/usr/lib/wine/i386-windows", "/usr/lib/i386-linux-gnu/wine/i386-windows",
                                               "/usr/i686-w64-mingw32/lib"},
                                              ".dll");
            uint64_t total = 0;
            for (const fs::path& p : dlls)
                total += fs::file_size(p);
            size_t step = std::max<size_t>(1, static_cast<size_t>(total / (corpusMB * 1e6)));
            Corpus pe;
            pe.name = "PE modules";
            for (size_t i = 0; i < dlls.size(); i += step)
                pe.files.push_back(ReadFile(dlls[i]));
            Corpus text;
            text.name = "license texts";
            for (const fs::path& p : glob({"/usr/share/common-licenses"}, ""))
                text.files.push_back(ReadFile(p));
            corpora.push_back(pe);
            corpora.push_back(text);
        }
        printf("implode throughput, MB/s of input (fastest of %d runs): one thread (wall clock, CPU time), %u threads\n"
               "(wall clock); \"indep.\": the independent encoder of the test vectors, one thread (CPU time), and our\n"
               "speed over its, by CPU time (steadier than the wall clock on a busy machine)\n",
               runs, threads);
        printf("%-14s %5s %9s  %-12s %7s %7s %7s %7s  %7s %7s %6s\n", "corpus", "files", "bytes", "mode", "1 wall",
               "1 cpu", "N wall", "ratio", "indep.", "ratio", "ours");
        for (Corpus& c : corpora) {
            c.bytes = 0;
            for (const Bytes& f : c.files)
                c.bytes += f.size();
            if (c.files.empty())
                continue;
            for (ImplodeLiteralMode lit : {ImplodeBinary, ImplodeAscii}) {
                checkRoundTrip(c, lit, 4096);
                Figures one = measure(c, encodeOurs, lit, 4096, runs, 1);
                Figures all = measure(c, encodeOurs, lit, 4096, runs, threads);
                printf("%-14s %5zu %9llu  %-12s %7.1f %7.1f %7.1f %6.2f%%", c.name.c_str(), c.files.size(),
                       (unsigned long long)c.bytes, lit == ImplodeAscii ? "ascii-4096" : "binary-4096", one.wallMBs,
                       one.cpuMBs, all.wallMBs, 100.0 * one.out / c.bytes);
#ifdef HAVE_LIBSTORM
                Figures theirs = measure(c, encodeStorm, lit, 4096, runs, 1);
                printf("  %7.1f %6.2f%% %5.2fx\n", theirs.cpuMBs, 100.0 * theirs.out / c.bytes,
                       one.cpuMBs / theirs.cpuMBs);
#else
                printf("  %7s %7s %6s\n", "-", "-", "-");
#endif
            }
        }
#ifndef HAVE_LIBSTORM
        printf("(no libstorm: the independent encoder is not measured; Debian's libstorm-dev has it)\n");
#endif
    }
    vectors();
    return 0;
}
