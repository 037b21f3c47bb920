// Reading rules of the data volumes; see VolumeStream.h.
//
// A file's compressed data is a chain of chunks: the first follows the
// file's record, each further one follows a continuation record at the start
// of the next volume. `continued` in the record before a chunk says whether
// another chunk follows in the next volume.
#include "reader/VolumeStream.h"

#include <string.h>

namespace {

// Reads until `count` bytes are in or the volume ends. Result as
// VolumeSource::read: StepContinue (with *got possibly short of count only at
// the end of the volume), StepEndOfData nothing at all, StepFailure error.
StepResult readAll(VolumeSource& source, unsigned char* buffer, unsigned int count, unsigned int* got) {
    *got = 0;
    if (count == 0)
        return StepContinue;
    while (*got < count) {
        unsigned int n = 0;
        StepResult r = source.read(buffer + *got, count - *got, &n);
        if (r == StepFailure)
            return StepFailure;
        if (r != StepContinue || n == 0)
            break;
        *got += n;
    }
    return *got ? StepContinue : StepEndOfData;
}

// One whole record. Results: StepContinue, StepEndOfData (volume at its
// end), StepFailure (error, or a record cut short by the end of the volume:
// records are never split, so the volume is damaged).
StepResult readWholeRecord(VolumeSource& source, unsigned char* record, bool continuation) {
    unsigned int got = 0;
    StepResult r = readAll(source, record, FileRecordSize, &got);
    if (r != StepContinue)
        return r;
    if (got < FileRecordSize)
        return source.damaged(RecordCut{continuation, got});
    return StepContinue;
}

void takeChunk(ChunkState state, const unsigned char* record) {
    state.fileContinues = static_cast<int>(recordContinued(record));
    state.chunkBytesLeft = recordChunkSize(record);
}

// The next volume and the continuation record at its start.
StepResult nextPiece(VolumeSource& source, ChunkState state) {
    StepResult r = source.openNext();
    if (r != StepContinue)
        return r;
    unsigned char record[FileRecordSize];
    r = readWholeRecord(source, record, true);
    if (r != StepContinue)
        return r;
    source.continuationRead(record);
    takeChunk(state, record);
    return StepContinue;
}

}  // namespace

uint32_t recordContinued(const unsigned char* record) { return readLe32(record + 0); }

uint32_t recordChunkSize(const unsigned char* record) { return readLe32(record + 12); }

// Results: StepContinue record read; StepEndOfData no record left;
// StepFailure error or damaged volume; StepUserBreak the user gave up looking
// for the next volume.
StepResult readRecord(VolumeSource& source, ChunkState state, unsigned char* record) {
    StepResult r = readWholeRecord(source, record, false);
    if (r == StepEndOfData) {
        // The volume ended right after a chunk: the record opens the next one.
        r = source.openNext();
        if (r != StepContinue)
            return r;
        r = readWholeRecord(source, record, false);
    }
    if (r == StepContinue)
        takeChunk(state, record);
    return r;
}

// Results: StepContinue with *size bytes delivered; StepEndOfData the file's
// data is exhausted (*size 0); StepFailure error; StepUserBreak while looking
// for the next volume.
StepResult readFileData(VolumeSource& source, ChunkState state, unsigned char* buffer, unsigned int* size) {
    const unsigned int wanted = *size;
    unsigned int delivered = 0;
    if (state.chunkBytesLeft == 0) {
        *size = 0;
        return StepEndOfData;
    }
    for (;;) {
        const unsigned int rest = wanted - delivered;
        // Within the chunk, or up to its end.
        const bool toChunkEnd = rest >= state.chunkBytesLeft;
        const unsigned int part = toChunkEnd ? state.chunkBytesLeft : rest;
        unsigned int got = 0;
        StepResult r = readAll(source, buffer + delivered, part, &got);
        if (r == StepFailure)
            return StepFailure;
        delivered += got;
        state.chunkBytesLeft -= got;
        *size = delivered;
        if (got < part) {
            // The volume ends before its record says: hand over what there
            // is, never bytes the volume did not hold, and never join the
            // next volume to a chunk with a hole in it. The next call finds
            // the end of the volume and reports the end of the data.
            return delivered ? StepContinue : StepEndOfData;
        }
        if (!toChunkEnd || !state.fileContinues)
            return StepContinue;
        // A continued chunk is used up: go on in the next volume at once,
        // so that the volume always stands where the data goes on.
        r = nextPiece(source, state);
        if (r != StepContinue)
            return r;
    }
}

// Results: StepContinue all read; StepEndOfData the volume held nothing;
// StepFailure error.
StepResult readPlain(VolumeSource& source, unsigned char* buffer, unsigned int count) {
    unsigned int got = 0;
    StepResult r = readAll(source, buffer, count, &got);
    if (r == StepContinue && got < count)
        memset(buffer + got, 0, count - got);
    return r;
}

// Results: StepContinue skipped; StepFailure error; StepUserBreak or
// StepEndOfData from opening a continuation volume.
StepResult skipFileData(VolumeSource& source, ChunkState state) {
    while (state.fileContinues) {
        if (source.skip(state.chunkBytesLeft) != StepContinue)
            return StepFailure;
        StepResult r = nextPiece(source, state);
        if (r != StepContinue)
            return r;
    }
    return source.skip(state.chunkBytesLeft);
}
