// Implode throughput and ratio: MB/s (10^6 bytes) of input, median of
// several runs, on a corpus of real PE modules and texts, and the stream
// sizes over the test vectors beside those of the independent encoder.
//   implode_bench [--runs N] [--corpus-mb N] [--vectors-only] [FILE ...]
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
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

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
    double wallMBs, cpuMBs;
    uint64_t out;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

Figures measure(const Corpus& c, ImplodeLiteralMode literals, unsigned dict, int runs) {
    ImplodeOptions o;
    o.literals = literals;
    o.dictionarySize = dict;
    std::vector<double> wall, cpu;
    uint64_t out = 0;
    for (int r = 0; r < runs; ++r) {
        out = 0;
        auto t0 = std::chrono::steady_clock::now();
        std::clock_t c0 = std::clock();
        for (const Bytes& f : c.files)
            out += implodeBuffer(f.data(), f.size(), o).size();
        double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        double u = double(std::clock() - c0) / CLOCKS_PER_SEC;
        wall.push_back(c.bytes / 1e6 / std::max(w, 1e-9));
        cpu.push_back(c.bytes / 1e6 / std::max(u, 1e-9));
    }
    for (const Bytes& f : c.files)
        if (!expandsTo(implodeBuffer(f.data(), f.size(), o), f)) {
            fprintf(stderr, "implode_bench: a stream of %s does not expand to its input\n", c.name.c_str());
            exit(1);
        }
    return {median(wall), median(cpu), out};
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
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else if (a == "--corpus-mb" && i + 1 < argc)
            corpusMB = atof(argv[++i]);
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
        printf("implode throughput, MB/s of input (median of %d runs; wall clock, and CPU time of this process)\n",
               runs);
        printf("%-14s %5s %10s  %-12s %8s %8s %7s\n", "corpus", "files", "bytes", "mode", "wall", "cpu",
               "ratio");
        for (Corpus& c : corpora) {
            c.bytes = 0;
            for (const Bytes& f : c.files)
                c.bytes += f.size();
            if (c.files.empty())
                continue;
            for (ImplodeLiteralMode lit : {ImplodeBinary, ImplodeAscii}) {
                Figures f = measure(c, lit, 4096, runs);
                printf("%-14s %5zu %10llu  %-12s %8.1f %8.1f %6.2f%%\n", c.name.c_str(), c.files.size(),
                       (unsigned long long)c.bytes, lit == ImplodeAscii ? "ascii-4096" : "binary-4096", f.wallMBs,
                       f.cpuMBs, 100.0 * f.out / c.bytes);
            }
        }
    }
    vectors();
    return 0;
}
