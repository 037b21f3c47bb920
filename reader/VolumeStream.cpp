// Reading rules of the data volumes; see VolumeStream.h.
//
// A file's compressed data is a chain of chunks: the first follows the
// file's record, each further one follows a continuation record at the start
// of the next volume. `continued` in the record before a chunk says whether
// another chunk follows in the next volume.
#include "reader/VolumeStream.h"

#include <string.h>

namespace {

uint32_t little32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads until `count` bytes are in or the volume ends. Result as
// VolumeSource::read: 2 (with *got possibly short of count only at the end of
// the volume), 3 nothing at all, 0 error.
int readAll(VolumeSource& source, unsigned char* buffer, unsigned int count, unsigned int* got) {
    *got = 0;
    if (count == 0)
        return 2;
    while (*got < count) {
        unsigned int n = 0;
        int r = source.read(buffer + *got, count - *got, &n);
        if (r == 0)
            return 0;
        if (r != 2 || n == 0)
            break;
        *got += n;
    }
    return *got ? 2 : 3;
}

// One whole record. Results: 2, 3 (volume at its end), 0 (error, or a record
// cut short by the end of the volume: records are never split, so the
// volume is damaged).
int readWholeRecord(VolumeSource& source, unsigned char* record) {
    unsigned int got = 0;
    int r = readAll(source, record, kRecordSize, &got);
    if (r != 2)
        return r;
    if (got < kRecordSize)
        return source.damaged();
    return 2;
}

void takeChunk(ChunkState state, const unsigned char* record) {
    state.fileContinues = static_cast<int>(recordContinued(record));
    state.chunkBytesLeft = recordChunkSize(record);
}

// The next volume and the continuation record at its start.
int nextPiece(VolumeSource& source, ChunkState state) {
    int r = source.openNext();
    if (r != 2)
        return r;
    unsigned char record[kRecordSize];
    r = readWholeRecord(source, record);
    if (r != 2)
        return r;
    takeChunk(state, record);
    return 2;
}

}  // namespace

uint32_t recordContinued(const unsigned char* record) { return little32(record + 0); }

uint32_t recordChunkSize(const unsigned char* record) { return little32(record + 12); }

// Results: 2 record read; 3 no record left; 0 error or damaged volume; 1 the
// user gave up looking for the next volume.
int readRecord(VolumeSource& source, ChunkState state, unsigned char* record) {
    int r = readWholeRecord(source, record);
    if (r == 3) {
        // The volume ended right after a chunk: the record opens the next one.
        r = source.openNext();
        if (r != 2)
            return r;
        r = readWholeRecord(source, record);
    }
    if (r == 2)
        takeChunk(state, record);
    return r;
}

// Results: 2 with *size bytes delivered; 3 the file's data is exhausted
// (*size 0); 0 error; 1 user break while looking for the next volume.
int readFileData(VolumeSource& source, ChunkState state, unsigned char* buffer, unsigned int* size) {
    const unsigned int wanted = *size;
    unsigned int delivered = 0;
    if (state.chunkBytesLeft == 0) {
        *size = 0;
        return 3;
    }
    for (;;) {
        const unsigned int rest = wanted - delivered;
        // Within the chunk, or up to its end.
        const bool toChunkEnd = rest >= state.chunkBytesLeft;
        const unsigned int part = toChunkEnd ? state.chunkBytesLeft : rest;
        unsigned int got = 0;
        int r = readAll(source, buffer + delivered, part, &got);
        if (r == 0)
            return 0;
        delivered += got;
        state.chunkBytesLeft -= got;
        *size = delivered;
        if (got < part) {
            // The volume ends before its record says: hand over what there
            // is, never bytes the volume did not hold, and never join the
            // next volume to a chunk with a hole in it. The next call finds
            // the end of the volume and reports the end of the data.
            return delivered ? 2 : 3;
        }
        if (!toChunkEnd || !state.fileContinues)
            return 2;
        // A continued chunk is used up: go on in the next volume at once,
        // so that the volume always stands where the data goes on.
        r = nextPiece(source, state);
        if (r != 2)
            return r;
    }
}

// Results: 2 all read; 3 the volume held nothing; 0 error.
int readPlain(VolumeSource& source, unsigned char* buffer, unsigned int count) {
    unsigned int got = 0;
    int r = readAll(source, buffer, count, &got);
    if (r == 2 && got < count)
        memset(buffer + got, 0, count - got);
    return r;
}

// Results: 2 skipped; 0 error; 1 or 3 from opening a continuation volume.
int skipFileData(VolumeSource& source, ChunkState state) {
    while (state.fileContinues) {
        if (source.skip(state.chunkBytesLeft) != 2)
            return 0;
        int r = nextPiece(source, state);
        if (r != 2)
            return r;
    }
    return source.skip(state.chunkBytesLeft);
}
