// Explode throughput on streams of PE code and text, in MB/s (10^6 bytes) of
// expanded data, median of several runs, printed beside libdynamite's
// decoder on the same streams (it decodes plain literals only).
//   explode_bench [stream.imp ...]      benchmark the test vectors' PE and
//                                        text streams, then the streams given
//   explode_bench --once stream.imp     expand once, for callgrind: prints the
//                                        expanded size; count instructions with
//                                        --toggle-collect='Explode(*'
#include "explode/Explode.h"

#ifdef HAVE_LIBDYNAMITE
extern "C" {
#include <libdynamite.h>
}
#endif

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

struct Source {
    const Bytes* stream;
    size_t pos;
    size_t produced;
    Bytes* keep;  // the expanded bytes, when checking
};

size_t takeInput(Source* s, void* buffer, size_t size) {
    size_t n = std::min(size, s->stream->size() - s->pos);
    memcpy(buffer, s->stream->data() + s->pos, n);
    s->pos += n;
    return n;
}

void takeOutput(Source* s, const void* buffer, size_t size) {
    s->produced += size;
    if (s->keep) {
        const unsigned char* p = static_cast<const unsigned char*>(buffer);
        s->keep->insert(s->keep->end(), p, p + size);
    }
}

unsigned int explodeRead(char* buffer, unsigned int* size, void* param) {
    return static_cast<unsigned int>(takeInput(static_cast<Source*>(param), buffer, *size));
}

void explodeWrite(char* buffer, unsigned int* size, void* param) {
    takeOutput(static_cast<Source*>(param), buffer, *size);
}

// One expansion; returns the bytes produced, 0 on failure.
size_t runExplode(const Bytes& stream, ExplodeWork* work, Bytes* keep = nullptr) {
    Source s{&stream, 0, 0, keep};
    return Explode(explodeRead, explodeWrite, work, &s) == ExplodeOk ? s.produced : 0;
}

#ifdef HAVE_LIBDYNAMITE
size_t dynamiteRead(void* buffer, size_t size, void* cookie) {
    return takeInput(static_cast<Source*>(cookie), buffer, size);
}

size_t dynamiteWrite(void* buffer, size_t size, void* cookie) {
    takeOutput(static_cast<Source*>(cookie), buffer, size);
    return size;
}

size_t runDynamite(const Bytes& stream, Bytes* keep = nullptr) {
    Source s{&stream, 0, 0, keep};
    return dynamite_explode(dynamiteRead, dynamiteWrite, &s) == DYNAMITE_SUCCESS ? s.produced : 0;
}
#endif

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One stream under test: the expanded size, and the seconds taken by each
// timing of `repeat` expansions.
struct Subject {
    std::string name;
    Bytes stream;
    size_t size = 0;
    int repeatOurs = 1, repeatTheirs = 1;
    bool theirsWorks = false;
    std::vector<double> ours, theirs;
};

template <typename Expand>
double timeRuns(Expand expand, int repeat) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < repeat; ++i)
        expand();
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

double medianRate(std::vector<double> seconds, size_t size, int repeat) {
    std::sort(seconds.begin(), seconds.end());
    return double(size) * repeat / seconds[seconds.size() / 2] / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<ExplodeWork> work(new ExplodeWork);
    if (argc == 3 && strcmp(argv[1], "--once") == 0) {
        Bytes stream = readFile(argv[2]);
        size_t produced = runExplode(stream, work.get());
        printf("%zu\n", produced);
        return produced ? 0 : 1;
    }

    std::vector<std::string> paths;
    std::string dir = std::string(SETUP_VECTORS_DIR) + "/";
    for (const char* name : {"dll.bin-4096.imp", "dll.bin-2048.imp", "dll.bin-1024.imp",
                             "dll.ascii-4096.imp", "english.bin-4096.imp",
                             "english.ascii-4096.imp", "words.ascii-2048.imp",
                             "random.bin-4096.imp", "run.bin-4096.imp"})
        paths.push_back(dir + name);
    for (int i = 1; i < argc; ++i)
        paths.push_back(argv[i]);

    // Rounds go over every stream and both decoders in turn, so that load
    // from other programs spreads evenly over what is compared.
    const int rounds = 11;
    std::vector<Subject> subjects;
    for (const std::string& path : paths) {
        Subject s;
        s.name = baseName(path);
        s.stream = readFile(path);
        Bytes expanded;
        s.size = runExplode(s.stream, work.get(), &expanded);
        if (s.size == 0) {
            printf("%s does not expand\n", s.name.c_str());
            continue;
        }
        // About 20 MB of output per timing of explode, 3 MB of libdynamite.
        s.repeatOurs = static_cast<int>(std::max<size_t>(1, 20000000 / s.size));
        s.repeatTheirs = static_cast<int>(std::max<size_t>(1, 3000000 / s.size));
#ifdef HAVE_LIBDYNAMITE
        Bytes theirs;
        s.theirsWorks = runDynamite(s.stream, &theirs) == s.size && theirs == expanded;
#endif
        subjects.push_back(std::move(s));
    }
    for (int r = 0; r < rounds; ++r) {
        for (Subject& s : subjects) {
            s.ours.push_back(timeRuns([&] { runExplode(s.stream, work.get()); }, s.repeatOurs));
#ifdef HAVE_LIBDYNAMITE
            if (s.theirsWorks)
                s.theirs.push_back(timeRuns([&] { runDynamite(s.stream); }, s.repeatTheirs));
#endif
        }
    }

    printf("MB/s of expanded data (10^6 bytes), median of %d rounds\n", rounds);
    printf("%-24s %8s %8s %10s %12s %7s\n", "stream", "in", "out", "explode", "libdynamite",
           "ratio");
    for (const Subject& s : subjects) {
        double ours = medianRate(s.ours, s.size, s.repeatOurs);
        printf("%-24s %8zu %8zu %10.1f", s.name.c_str(), s.stream.size(), s.size, ours);
        if (!s.theirs.empty()) {
            double theirs = medianRate(s.theirs, s.size, s.repeatTheirs);
            printf(" %12.1f %6.1fx\n", theirs, ours / theirs);
        } else {
            printf(" %12s\n", "n/a");
        }
    }
    return 0;
}
