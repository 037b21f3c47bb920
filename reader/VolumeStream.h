// The reading rules of the data volumes, apart from where the bytes come
// from: records, the current file's data joined across volumes, plain bytes,
// and skipping a file. Portable (no Windows call; on Windows, Setup.h, for
// StepResult, brings <windows.h>). The Reader serves the
// volumes from disk through VolumeSource; tests serve them from memory.
//
// Results are the reader's StepResult (Setup.h): StepFailure (the source has
// already told the user), StepUserBreak, StepContinue (success),
// StepEndOfData.
#ifndef SETUP_READER_VOLUME_STREAM_H
#define SETUP_READER_VOLUME_STREAM_H

#include <stddef.h>
#include <stdint.h>

#include "Setup.h"
#include "format/VolumeFormat.h"

// A record that the end of its volume cut short.
struct RecordCut {
    bool continuation; // the current file's continuation record, else the next file's record
    unsigned int got;  // bytes of it the volume still held (1 to FileRecordSize - 1)
};

// The open volume and the way to the next one.
class VolumeSource {
public:
    // Reads up to `count` bytes at the current position; *got receives the
    // number read. StepContinue when at least one byte was read (or count is
    // 0), StepEndOfData when the volume is at its end, StepFailure on a read
    // error (reported).
    virtual StepResult read(unsigned char* buffer, unsigned int count, unsigned int* got) = 0;
    // Closes the volume and opens the next one, positioned after its volume
    // number. StepContinue when open; StepFailure, StepUserBreak or
    // StepEndOfData (an empty volume) otherwise.
    virtual StepResult openNext() = 0;
    // Moves forward by `count` bytes. StepContinue, or StepFailure (reported).
    virtual StepResult skip(unsigned int count) = 0;
    // Tells the user the volume is damaged (a record cut short); returns
    // StepFailure.
    virtual StepResult damaged(const RecordCut& cut) = 0;
    // A continuation record has just been read at the start of the volume
    // opened for the current file's next chunk. The installer needs nothing
    // of it; the volume tool checks that it names the same file.
    virtual void continuationRead(const unsigned char* record) { (void)record; }

protected:
    ~VolumeSource() = default;
};

// Where the reader stands in the current file's data.
struct ChunkState {
    int& fileContinues;           // nonzero: the data goes on in the next volume
    unsigned int& chunkBytesLeft; // unread bytes of the current chunk
};

// The `continued` and `chunkSize` fields of a 564-byte record.
uint32_t recordContinued(const unsigned char* record);
uint32_t recordChunkSize(const unsigned char* record);

// Mode 0: the next file's record into `record` (564 bytes). A volume that is
// at its end leads to the next volume. Sets the chunk state from the record.
StepResult readRecord(VolumeSource& source, ChunkState state, unsigned char* record);

// Mode 1: up to *size bytes of the current file's data, joined across
// volumes; *size receives the number delivered. StepEndOfData when the file's data is
// exhausted. A continued chunk that ends in this call switches to the next
// volume before returning, even when the request has just been filled.
StepResult readFileData(VolumeSource& source, ChunkState state, unsigned char* buffer, unsigned int* size);

// Mode 2: `count` plain bytes. A volume shorter than the request leaves the
// rest of `buffer` zeroed rather than holding stale bytes.
StepResult readPlain(VolumeSource& source, unsigned char* buffer, unsigned int count);

// Skips the rest of the current file's data through all its continuation
// volumes, leaving the position at the next record.
StepResult skipFileData(VolumeSource& source, ChunkState state);

#endif
