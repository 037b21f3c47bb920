// Reader: the data volumes Data%d.Dat as one sequential source. Runs on the
// file-copy worker thread; the message boxes and the folder browser it shows
// are owned by the current message parent. The reading rules themselves are
// in VolumeStream.cpp; this file finds, checks and reads the volume files.
#include "Setup.h"

#include <stdio.h>
#include <string.h>

#include <new>

#include "baseinterface/DiagnosticLog.h"
#include "common/PathText.h"
#include "format/VolumeFormat.h"
#include "reader/ReadAhead.h"
#include "reader/VolumeSearch.h"
#include "reader/VolumeStream.h"
#include "resources/resource.h"
#include "win32/Ownership.h"

namespace {

// One ReadFile from the open volume. Results: StepContinue read (*got may be
// short of count), StepEndOfData nothing left, StepFailure error shown.
StepResult readDirect(Reader& reader, unsigned char* buffer, unsigned int count, unsigned int* got) {
    *got = 0;
    if (count == 0)
        return StepContinue;
    DWORD read = 0;
    if (!ReadFile(reader.volumeFile, buffer, count, &read, nullptr)) {
        logEvent(LogReadError, reader.volumePath, "", GetLastError());
        reader.ShowMessage(IDS_VOLUME_READ_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    *got = read;
    return read ? StepContinue : StepEndOfData;
}

// The run's read-ahead for this reader, matched to the open volume: a block
// read from a volume that is no longer the open one is forgotten.
ReadAhead* readAheadFor(Reader& reader) {
    ReadAhead* ahead = ReadAhead::of(reader);
    if (ahead && ahead->file != reader.volumeFile) {
        ahead->drop();
        ahead->file = reader.volumeFile;
    }
    return ahead;
}

// ReadDataFile that also tells how many bytes came; served from the run's
// read-ahead when there is one. Results: StepContinue read (*got may be
// short of count), StepEndOfData nothing left, StepFailure error shown.
StepResult readVolume(Reader& reader, unsigned char* buffer, unsigned int count, unsigned int* got) {
    *got = 0;
    if (count == 0)
        return StepContinue;
    ReadAhead* ahead = readAheadFor(reader);
    if (!ahead)
        return readDirect(reader, buffer, count, got);
    if (ahead->position == ahead->end) {
        if (count >= ReadAhead::kBlockSize)
            return readDirect(reader, buffer, count, got);
        unsigned int n = 0;
        StepResult r = readDirect(reader, ahead->block.get(), ReadAhead::kBlockSize, &n);
        if (r != StepContinue)
            return r;
        ahead->position = 0;
        ahead->end = n;
    }
    unsigned int n = ahead->end - ahead->position;
    if (n > count)
        n = count;
    memcpy(buffer, ahead->block.get() + ahead->position, n);
    ahead->position += n;
    *got = n;
    return StepContinue;
}

// Moves the file pointer by a distance that may exceed 2 GB either way. A
// position whose low part is all ones is only an error when the last error
// says so.
bool moveFilePointer(HANDLE file, long long distance) {
    LONG high = static_cast<LONG>(distance >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(file, static_cast<LONG>(distance & 0xFFFFFFFF), &high, FILE_CURRENT);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

// Moves forward by an unsigned distance, first over the bytes read ahead.
// Results: StepContinue, or StepFailure with 11112 shown.
StepResult skipVolume(Reader& reader, unsigned int count) {
    if (ReadAhead* ahead = readAheadFor(reader)) {
        unsigned int buffered = ahead->end - ahead->position;
        if (count <= buffered) {
            ahead->position += count;
            return StepContinue;
        }
        count -= buffered;
        ahead->drop();
    }
    if (!moveFilePointer(reader.volumeFile, count)) {
        logEvent(LogReadError, reader.volumePath, "", GetLastError(), 0, "cannot move in the volume");
        reader.ShowMessage(IDS_VOLUME_SEEK_ERROR, MB_ICONSTOP);
        return StepFailure;
    }
    return StepContinue;
}

// The volume files on disk, for the reading rules.
class DiskVolumes : public VolumeSource {
public:
    explicit DiskVolumes(Reader& reader) : reader_(reader) {}
    StepResult read(unsigned char* buffer, unsigned int count, unsigned int* got) override {
        return readVolume(reader_, buffer, count, got);
    }
    StepResult openNext() override { return static_cast<StepResult>(reader_.OpenDataFile()); }
    StepResult skip(unsigned int count) override { return skipVolume(reader_, count); }
    StepResult damaged(const RecordCut&) override {
        logEvent(LogReadError, reader_.volumePath, "", 0, 0, "a record is cut short");
        reader_.ShowMessage(IDS_VOLUME_READ_ERROR, MB_ICONSTOP);
        return StepFailure;
    }

private:
    Reader& reader_;
};

// Lets the user point at the folder that holds volume `name`, starting the
// browser in `startFolder` (updated to the folder chosen). On StepContinue
// the chosen folder is the current directory and reader.volumePath names the
// volume in it. Results: StepContinue chosen, StepUserBreak the user gave
// up, StepFailure the folder is too deep for the volume's path (11108 shown).
StepResult askForFolder(Reader& reader, char* startFolder, const char* name) {
    char title[64];
    snprintf(title, sizeof title, "Select the folder containing %s.", name);
    for (;;) {
        char folder[PathSize];
        strcpy(folder, startFolder);
        logEvent(LogDiskRequested, reader.volumePath, "", GetLastError(), reader.currentVolume,
                 "not found where it was looked for");
        int chosen = reader.BrowseForProgram(folder, title, 0);
        if (chosen == BrowseChosen) {
            // Later volumes are looked for here first.
            SetCurrentDirectoryA(folder);
            strcpy(startFolder, folder);
            if (!joinPath(reader.volumePath, folder, name, sizeof reader.volumePath)) {
                // No path, rather than the last one tried, names the volume.
                reader.volumePath[0] = '\0';
                reader.ShowMessage(IDS_VOLUME_READ_ERROR, MB_ICONSTOP);
                return StepFailure;
            }
            return StepContinue;
        }
        // BrowseMissing: the browser has said so; the user chooses again.
        if (chosen == BrowseCancelled &&
            reader.ShowMessage(IDS_EXIT_QUESTION, MB_YESNO | MB_ICONQUESTION) == IDYES)
            return StepUserBreak;
    }
}

}  // namespace

ReadAhead::ReadAhead(Reader& owner) : reader(owner) {
    // A run nested in a run of the same reader goes on with the outer block
    // (this one, registered already, has no block yet and is passed over).
    if (!of(reader))
        block.reset(new (std::nothrow) unsigned char[kBlockSize]);
    file = reader.volumeFile;
}

ReadAhead::~ReadAhead() {
    // The unused bytes go back, so that the next direct read gets them.
    unsigned int unused = end - position;
    if (unused && file == reader.volumeFile && file != INVALID_HANDLE_VALUE)
        moveFilePointer(file, -static_cast<long long>(unused));
}

ReadAhead* ReadAhead::of(const Reader& reader) {
    return find([&](const ReadAhead& a) { return &a.reader == &reader && a.block; });
}

void ReadAhead::drop() { position = end = 0; }

Reader::Reader() {
    resourceInstance = nullptr;
    parentForMessage = nullptr;
    messageCaption = nullptr;
    volumeFile = INVALID_HANDLE_VALUE;
    fileContinues = 0;
    currentVolume = 0;
    chunkBytesLeft = 0;
    volumePath[0] = '\0';
}

Reader::~Reader() { win32::closeFile(volumeFile); }

// The reader's own notification does nothing; SetupFileManager and Setup
// override it.
int Reader::TakeProcessInfo(int, void*) { return StepContinue; }

void Reader::GetFileName(char* name) { strcpy(name, volumePath); }

// Results: StepContinue the next volume is open and verified, positioned
// after its number; StepUserBreak the user gave up; StepFailure read error or
// unusable path (shown); StepEndOfData the volume file is empty.
int Reader::OpenDataFile() {
    // What was read ahead belongs to the volume being closed.
    if (ReadAhead* ahead = ReadAhead::of(*this))
        ahead->drop();
    if (currentVolume != 0)
        win32::closeFile(volumeFile);
    ++currentVolume;
    volumeFile = INVALID_HANDLE_VALUE;

    char name[kVolumeNameSize];
    volumeFileName(name, sizeof name, currentVolume);
    // A current directory too deep for the buffer is not looked in: the
    // volume can still be pointed to with the browser.
    char startFolder[PathSize];
    DWORD length = GetCurrentDirectoryA(sizeof startFolder, startFolder);
    if (length == 0 || length >= sizeof startFolder)
        startFolder[0] = '\0';
    char browseStart[PathSize];
    strcpy(browseStart, startFolder);

    // Places in order: the current directory, the sibling Disk%d directory,
    // then folders the user points to until the volume is there. A candidate
    // path that does not fit is a place where the volume cannot be opened.
    enum { CurrentFolder, SiblingDisk, UserFolder } place = CurrentFolder;
    bool candidate = startFolder[0] &&
                     currentFolderCandidate(volumePath, sizeof volumePath, startFolder, currentVolume);
    for (;;) {
        if (candidate) {
            volumeFile = CreateFileA(volumePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        if (volumeFile != INVALID_HANDLE_VALUE) {
            unsigned char number[4] = {};
            unsigned int got = 0;
            StepResult r = readVolume(*this, number, sizeof number, &got);
            if (r != StepContinue)
                return r;
            if (got == sizeof number && readLe32(number) == static_cast<uint32_t>(currentVolume))
                break;
            // The wrong disk is in the drive: the user changes it and we
            // try the same path again. The file is closed before asking, so
            // that nothing of ours holds the disk or the file being replaced.
            win32::closeFile(volumeFile);
            logEvent(LogDiskRequested, volumePath, "", 0, currentVolume, "another disk's volume is there");
            if (ShowMessage(IDS_WRONG_VOLUME, MB_RETRYCANCEL) != IDRETRY)
                return StepUserBreak;
            continue;
        }
        if (place == CurrentFolder) {
            place = SiblingDisk;
            candidate = startFolder[0] &&
                        siblingDiskCandidate(volumePath, sizeof volumePath, startFolder, currentVolume);
            continue;
        }
        place = UserFolder;
        StepResult r = askForFolder(*this, browseStart, name);
        if (r != StepContinue)
            return r;
        candidate = true;
    }
    TakeProcessInfo(InfoVolumeOpened, volumePath);
    return StepContinue;
}

// Results: StepContinue read (also when fewer than `count` bytes came),
// StepEndOfData the volume is at its end, StepFailure read error (11108
// shown).
int Reader::ReadDataFile(unsigned char* buffer, unsigned int count) {
    unsigned int got = 0;
    return readVolume(*this, buffer, count, &got);
}

// `mode` is a ReadMode. Results: StepContinue, StepEndOfData (no record
// left, or the file's data exhausted), StepUserBreak, StepFailure shown;
// StepFailure without a message for an unknown mode or a record buffer
// smaller than a record.
int Reader::Read(unsigned char* buffer, unsigned int* size, int mode) {
    if (currentVolume == 0) {
        int r = OpenDataFile();
        if (r != StepContinue)
            return r;
    }
    DiskVolumes source(*this);
    ChunkState state{fileContinues, chunkBytesLeft};
    switch (mode) {
    case ReadModeRecord:
        // Always exactly one record: reading more would eat file data.
        if (*size < FileRecordSize)
            return StepFailure;
        return readRecord(source, state, buffer);
    case ReadModeFileData:
        return readFileData(source, state, buffer, size);
    case ReadModePlain:
        return readPlain(source, buffer, *size);
    default:
        return StepFailure;
    }
}

// Results: StepContinue at the next record; StepFailure, StepUserBreak or
// StepEndOfData from the steps on the way.
int Reader::Seek() {
    DiskVolumes source(*this);
    return skipFileData(source, ChunkState{fileContinues, chunkBytesLeft});
}

// Results: StepContinue, or StepFailure with 11112 shown. chunkBytesLeft is
// left as it was.
int Reader::SeekIn() { return skipVolume(*this, chunkBytesLeft); }
