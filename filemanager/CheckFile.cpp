// The per-file check of a run: when the set has a check file (Data.Chk
// beside Data1.Dat), InitSFM reads it into the run; each record read must
// match its entry, and each file's expanded bytes its CRC-32. The format
// and its parsing live in format/FileCheck.h; this file reads the file from
// disk and keeps the run's place in it.
//
// Rules where the set is damaged:
//  - A check file that is damaged or belongs to another set stops the run
//    with 11113 before Install.log is made.
//  - A record that differs from its entry stops the run with 11113 before
//    anything is made for it.
//  - A file whose expanded bytes differ from their CRC is deleted, 11113 is
//    shown and the run ends with 0, the files before it keeping their
//    records (writeTarget in FileInstall.cpp).
//  - Without the check file nothing changes: every file installs unchecked.
#include <vector>

#include "filemanager/EngineRun.h"
#include "win32/Ownership.h"

namespace {

// Reads the check file beside the first volume (`volumePath`) into `table`.
// Absent when there is none; Damaged when it cannot be read, its length is
// not that of a check file of `fileCount` files, or its own checksum fails.
CheckFileRead readCheckFile(const char* volumePath, uint32_t fileCount, CheckTable* table) {
    char path[PathSize];
    if (!copyPath(path, volumePath) || !cutAtLastBackslash(path) || !appendName(path, kCheckFileName))
        return CheckFileRead::Absent;
    win32::FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? CheckFileRead::Absent
                                                                              : CheckFileRead::Damaged;
    }
    uint64_t expected = CheckHeaderSize + static_cast<uint64_t>(fileCount) * CheckEntrySize +
                        CheckTrailerSize;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) != expected ||
        fileCount > CheckMaxFiles)
        return CheckFileRead::Damaged;
    std::vector<unsigned char> bytes(static_cast<size_t>(expected));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size())
        return CheckFileRead::Damaged;
    return parseCheckFile(bytes.data(), bytes.size(), table) == CheckFileState::Valid
               ? CheckFileRead::Read
               : CheckFileRead::Damaged;
}

}  // namespace

// Starts the run's check afresh from the set's check file.
//   Absent   the set has none: the run checks nothing
//   Read     the run checks every record and file against it
//   Damaged  unreadable, damaged, or another set's (`rawHeader` is the
//            archive header as read): the run checks nothing
CheckFileRead loadCheckFile(EngineRun& run, const char* volumePath, const unsigned char* rawHeader,
                            uint32_t fileCount) {
    run.checked = false;
    run.checkTable = CheckTable();
    run.nextEntry = 0;
    run.fileChecked = false;
    CheckTable table;
    CheckFileRead read = readCheckFile(volumePath, fileCount, &table);
    if (read == CheckFileRead::Read && !checkTableFitsHeader(table, rawHeader, fileCount))
        return CheckFileRead::Damaged;
    if (read == CheckFileRead::Read) {
        run.checkTable = std::move(table);
        run.checked = true;
    }
    return read;
}

// Takes the entry of the record just read (the file's first). False when the
// record's bytes differ from the ones packed; true without a check file or
// past the entries.
bool recordMatchesCheck(EngineRun& run, const unsigned char* raw, size_t size) {
    if (!run.checked)
        return true;
    run.fileChecked = run.nextEntry < run.checkTable.entries.size();
    if (!run.fileChecked)
        return true;
    run.entry = run.checkTable.entries[run.nextEntry++];
    return run.entry.recordCrc == crc32Update(0, raw, size);
}

// Before the file's expansion: nothing summed yet.
void startFileCheck(EngineRun& run) {
    run.crc = 0;
    run.bytes = 0;
}

// The decoder's output as it comes (the hook of WriteBuff, before anything
// else is done with the bytes).
void sumExpanded(EngineRun& run, const char* data, unsigned int count) {
    if (run.fileChecked) {
        run.crc = crc32Update(run.crc, data, count);
        run.bytes += count;
    }
}

// After the file's expansion: true when it has no entry or its bytes are
// the ones packed.
bool expandedMatchesCheck(const EngineRun& run) {
    return !run.fileChecked ||
           (run.crc == run.entry.dataCrc && run.bytes == run.entry.expandedSize);
}
