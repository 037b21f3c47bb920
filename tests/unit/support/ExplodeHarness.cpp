// Test driver for Explode: see ExplodeHarness.h.
#include "tests/unit/support/ExplodeHarness.h"

#include "tests/unit/support/ReferenceExplode.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

struct Feed {
    const Bytes* stream;
    const std::vector<unsigned>* pieces;
    size_t pos = 0;
    size_t piece = 0;
    ExplodeRun* run;
};

unsigned int feedRead(char* buffer, unsigned int* size, void* param) {
    Feed* f = static_cast<Feed*>(param);
    unsigned want = f->pieces->empty() ? 2048 : (*f->pieces)[f->piece++ % f->pieces->size()];
    size_t n = std::min<size_t>({want, *size, f->stream->size() - f->pos});
    std::copy(f->stream->begin() + f->pos, f->stream->begin() + f->pos + n, buffer);
    f->pos += n;
    f->run->reads++;
    f->run->bytesRead += static_cast<unsigned>(n);
    f->run->trace += "r" + std::to_string(n) + " ";
    return static_cast<unsigned>(n);
}

void feedWrite(char* buffer, unsigned int* size, void* param) {
    Feed* f = static_cast<Feed*>(param);
    f->run->output.insert(f->run->output.end(), buffer, buffer + *size);
    f->run->writes.push_back(*size);
    f->run->trace += "w" + std::to_string(*size) + " ";
}

}  // namespace

ExplodeRun runExplode(const Bytes& stream, const std::vector<unsigned>& pieces, ExplodeWork* work) {
    ExplodeRun run;
    Feed feed{&stream, &pieces, 0, 0, &run};
    std::unique_ptr<ExplodeWork> own;
    if (!work) {
        own.reset(new ExplodeWork);
        work = own.get();
    }
    run.result = Explode(feedRead, feedWrite, work, &feed);
    return run;
}

ExplodeRun runReference(const Bytes& stream, const std::vector<unsigned>& pieces) {
    ExplodeRun run;
    Feed feed{&stream, &pieces, 0, 0, &run};
    run.result = reference::explode(feedRead, feedWrite, &feed);
    return run;
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}
