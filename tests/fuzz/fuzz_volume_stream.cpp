// libFuzzer target: the installer's own reading rules of the data volumes
// (reader/VolumeStream.h), fed by volumes in memory, driven first by a script
// of calls from the input and then as the engine drives them (a record, the
// file's data read to its end or skipped, the next record, ...). Any input
// must be read without a crash or a sanitizer report, and every call must
// keep the rules' promises: never more bytes delivered than requested, only
// bytes the volumes hold, a chunk state that matches the records read, a
// volume that stands where the data goes on, and an end.
//
// Input layout: byte 0 flags (bits 0-1 volumes - 1; bits 2-3 what opening a
// volume past the last gives: failure, user break, end of data; bit 4 the
// source delivers at most byte 1 bytes a read; bit 5 the source fails its
// byte-2-th read or skip), byte 3 the script length L, L script bytes, then
// one 16-bit little-endian length per volume but the last, then the volumes'
// bytes (the last takes the rest). Volumes start after their number.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "reader/VolumeStream.h"
#include "tests/fuzz/Require.h"

namespace {

struct Volume {
    const uint8_t* data;
    size_t size;
};

// Volumes in memory. Records, for the checks, what it handed over into the
// caller's buffer (the shadow) and how much work a call took.
class FuzzVolumes : public VolumeSource {
public:
    std::vector<Volume> volumes;
    size_t current = 0;
    size_t position = 0;
    unsigned int maxPerRead = 0xFFFFFFFF;
    StepResult pastEnd = StepFailure;
    long failAt = -1; // the failAt-th read or skip fails
    long calls = 0;
    long callsThisStep = 0;
    int opens = 0;
    int damages = 0;
    int continuations = 0;

    // The caller's buffer of the current step.
    unsigned char* watch = nullptr;
    size_t watchSize = 0;
    std::vector<unsigned char> shadow;
    std::vector<bool> filled;

    void watchBuffer(unsigned char* buffer, size_t size) {
        watch = buffer;
        watchSize = size;
        shadow.assign(size, 0);
        filled.assign(size, false);
        callsThisStep = 0;
    }
    // How many bytes from the buffer's start the source has filled.
    size_t filledPrefix() const {
        size_t n = 0;
        while (n < filled.size() && filled[n])
            ++n;
        return n;
    }
    size_t totalBytes() const {
        size_t n = 0;
        for (const Volume& v : volumes)
            n += v.size;
        return n;
    }

    StepResult read(unsigned char* buffer, unsigned int count, unsigned int* got) override {
        step();
        *got = 0;
        if (count == 0)
            return StepContinue;
        if (++calls == failAt)
            return StepFailure;
        const Volume& v = volumes[current];
        size_t n = std::min<size_t>({count, v.size - position, maxPerRead});
        // A read into the caller's buffer must lie wholly inside what was asked for.
        if (watch && buffer >= watch && buffer < watch + watchSize) {
            REQUIRE(static_cast<size_t>(buffer - watch) + count <= watchSize);
            for (size_t i = 0; i < n; ++i) {
                shadow[buffer - watch + i] = v.data[position + i];
                filled[buffer - watch + i] = true;
            }
        }
        if (n)
            memcpy(buffer, v.data + position, n);
        position += n;
        *got = static_cast<unsigned int>(n);
        return n ? StepContinue : StepEndOfData;
    }
    StepResult openNext() override {
        step();
        ++opens;
        if (current + 1 >= volumes.size())
            return pastEnd;
        ++current;
        position = 0;
        return StepContinue;
    }
    StepResult skip(unsigned int count) override {
        step();
        if (++calls == failAt)
            return StepFailure;
        position = std::min<size_t>(position + count, volumes[current].size);
        return StepContinue;
    }
    StepResult damaged(const RecordCut& cut) override {
        ++damages;
        REQUIRE(cut.got > 0 && cut.got < FileRecordSize);
        return StepFailure;
    }
    void continuationRead(const unsigned char* record) override {
        ++continuations;
        // The record just read is the one at the start of this volume.
        REQUIRE(position == FileRecordSize);
        REQUIRE(memcmp(record, volumes[current].data, FileRecordSize) == 0);
    }

private:
    // Every call makes progress (a byte, a volume) or ends: the work of one
    // step is bounded by the bytes and volumes there are.
    void step() { REQUIRE(++callsThisStep <= static_cast<long>(2 * totalBytes() + 4 * volumes.size() + 16)); }
};

const unsigned char kCanary = 0xA5;

// memcmp that allows empty (and then possibly null) ranges.
bool same(const unsigned char* a, const unsigned char* b, size_t n) { return n == 0 || memcmp(a, b, n) == 0; }

struct Driver {
    FuzzVolumes& v;
    int fileContinues = 0;
    unsigned int chunkBytesLeft = 0;
    ChunkState state() { return ChunkState{fileContinues, chunkBytesLeft}; }

    StepResult record() {
        std::vector<unsigned char> buffer(FileRecordSize + 16, kCanary);
        v.watchBuffer(buffer.data(), FileRecordSize);
        const int damagesBefore = v.damages;
        StepResult r = readRecord(v, state(), buffer.data());
        REQUIRE(r >= StepFailure && r <= StepEndOfData);
        for (size_t i = FileRecordSize; i < buffer.size(); ++i)
            REQUIRE(buffer[i] == kCanary);
        if (v.damages != damagesBefore)
            REQUIRE(r == StepFailure);
        if (r == StepContinue) {
            REQUIRE(v.filledPrefix() == FileRecordSize);
            REQUIRE(memcmp(buffer.data(), v.shadow.data(), FileRecordSize) == 0);
            REQUIRE(static_cast<uint32_t>(fileContinues) == recordContinued(buffer.data()));
            REQUIRE(chunkBytesLeft == recordChunkSize(buffer.data()));
            // A record is read whole from one volume, right before where the volume stands.
            REQUIRE(v.position >= FileRecordSize);
            REQUIRE(memcmp(buffer.data(), v.volumes[v.current].data + v.position - FileRecordSize, FileRecordSize) == 0);
        }
        return r;
    }

    StepResult data(unsigned int request) {
        std::vector<unsigned char> buffer(request + 16, kCanary);
        v.watchBuffer(buffer.data(), request);
        const int opensBefore = v.opens;
        const int continuesBefore = fileContinues;
        const unsigned int chunkBefore = chunkBytesLeft;
        unsigned int size = request;
        StepResult r = readFileData(v, state(), buffer.data(), &size);
        REQUIRE(r >= StepFailure && r <= StepEndOfData);
        for (size_t i = request; i < buffer.size(); ++i)
            REQUIRE(buffer[i] == kCanary);
        if (r == StepFailure || r == StepUserBreak)
            return r;
        REQUIRE(size <= request);
        // Only bytes the volumes held, in the order they held them.
        REQUIRE(v.filledPrefix() == size);
        REQUIRE(same(buffer.data(), v.shadow.data(), size));
        if (r == StepContinue) {
            REQUIRE(size > 0 || request == 0);
            // The volume stands where the data goes on: a continued chunk
            // that is used up has already led to the next volume.
            REQUIRE(chunkBytesLeft > 0 || fileContinues == 0);
        }
        if (v.opens == opensBefore) {
            REQUIRE(chunkBytesLeft == chunkBefore - size);
            REQUIRE(fileContinues == continuesBefore);
            if (r == StepEndOfData)
                REQUIRE(size == 0);
        }
        return r;
    }

    StepResult skipData() {
        v.watchBuffer(nullptr, 0);
        StepResult r = skipFileData(v, state());
        REQUIRE(r >= StepFailure && r <= StepEndOfData);
        if (r == StepContinue)
            REQUIRE(fileContinues == 0);
        return r;
    }

    StepResult plain(unsigned int count) {
        std::vector<unsigned char> buffer(count + 16, kCanary);
        v.watchBuffer(buffer.data(), count);
        StepResult r = readPlain(v, buffer.data(), count);
        REQUIRE(r >= StepFailure && r <= StepEndOfData);
        for (size_t i = count; i < buffer.size(); ++i)
            REQUIRE(buffer[i] == kCanary);
        if (r == StepContinue) {
            // What the volume held, then zeros rather than stale bytes.
            size_t got = v.filledPrefix();
            REQUIRE(same(buffer.data(), v.shadow.data(), got));
            for (size_t i = got; i < count; ++i)
                REQUIRE(buffer[i] == 0);
        }
        return r;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const uint8_t flags = data[0];
    FuzzVolumes v;
    static const StepResult pastEnd[4] = {StepFailure, StepUserBreak, StepEndOfData, StepFailure};
    v.pastEnd = pastEnd[(flags >> 2) & 3];
    if (flags & 0x10)
        v.maxPerRead = data[1] ? data[1] : 1;
    if (flags & 0x20)
        v.failAt = data[2];
    const size_t scriptLength = std::min<size_t>(data[3], size - 4);
    const uint8_t* script = data + 4;
    size_t pos = 4 + scriptLength;
    const size_t count = 1 + (flags & 3);
    for (size_t i = 0; i < count; ++i) {
        size_t len = size - pos;
        if (i + 1 < count) {
            if (pos + 2 > size)
                return 0;
            len = std::min<size_t>(data[pos] | (data[pos + 1] << 8), size - pos - 2);
            pos += 2;
        }
        v.volumes.push_back(Volume{data + pos, len});
        pos += len;
    }

    Driver d{v};
    // The script: calls in any order, as a confused caller might make them.
    for (size_t i = 0; i < scriptLength; ++i) {
        const uint8_t op = script[i];
        const unsigned int arg = i + 1 < scriptLength ? script[i + 1] : 0;
        switch (op & 3) {
        case 0:
            d.record();
            break;
        case 1:
            d.data(arg < 128 ? 1 + arg : 4096);
            ++i; // the argument
            break;
        case 2:
            d.skipData();
            break;
        case 3:
            d.plain(arg);
            ++i;
            break;
        }
    }
    // Then as the engine goes: record, data or skip, until the records end.
    // Every record takes 564 bytes, so the walk has an end.
    const size_t maxRecords = v.totalBytes() / FileRecordSize + v.volumes.size() + 1;
    for (size_t records = 0;; ++records) {
        REQUIRE(records <= maxRecords);
        if (d.record() != StepContinue)
            break;
        const bool skip = (records + flags) % 3 == 0;
        StepResult r = StepContinue;
        if (skip) {
            r = d.skipData();
        } else {
            // Each further read delivers at least a byte.
            size_t reads = 0;
            while ((r = d.data(4096)) == StepContinue)
                REQUIRE(++reads <= v.totalBytes());
            // Whatever is left is skipped, as the volume tool does after
            // the decoder has stopped.
            if (r == StepEndOfData)
                r = d.skipData();
        }
        if (r != StepContinue)
            break;
    }
    return 0;
}
