// Archive.cpp: walking and checking a set of data volumes.
#include "tools/setupvol/Archive.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>

#include "explode/Explode.h"
#include "reader/VolumeFormat.h"
#include "tools/setupvol/FileSys.h"
#include "tools/setupvol/Names.h"

namespace fs = std::filesystem;

namespace {

std::string VolumeFileName(uint32_t number) { return "Data" + std::to_string(number) + ".Dat"; }

class MemoryStream : public VolumeStream {
public:
    explicit MemoryStream(const std::vector<unsigned char>& data) : data(data) {}
    size_t Read(void* buffer, size_t n) override {
        size_t k = std::min(n, data.size() - pos);
        if (k > 0) // an empty volume has no storage to copy from
            memcpy(buffer, data.data() + pos, k);
        pos += k;
        return k;
    }
    uint64_t Skip(uint64_t n) override {
        uint64_t k = std::min<uint64_t>(n, data.size() - pos);
        pos += static_cast<size_t>(k);
        return k;
    }

private:
    const std::vector<unsigned char>& data;
    size_t pos = 0;
};

class FileStream : public VolumeStream {
public:
    explicit FileStream(const fs::path& path) : in(path, std::ios::binary) {
        std::error_code ec;
        size = fs::file_size(path, ec);
        if (ec)
            size = 0;
    }
    bool IsOpen() const { return in.is_open(); }
    size_t Read(void* buffer, size_t n) override {
        if (failed)
            return 0;
        in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
        size_t got = static_cast<size_t>(in.gcount());
        if (got < n && !in.eof())
            failed = true;
        pos += got;
        return got;
    }
    uint64_t Skip(uint64_t n) override {
        if (failed)
            return 0;
        uint64_t k = pos < size ? std::min<uint64_t>(n, size - pos) : 0;
        in.seekg(static_cast<std::streamoff>(pos + k));
        if (!in) {
            failed = true;
            return 0;
        }
        pos += k;
        return k;
    }
    bool Failed() const override { return failed; }

private:
    std::ifstream in;
    uint64_t size = 0;
    uint64_t pos = 0;
    bool failed = false;
};

const size_t kMaxErrors = 50;

// Position in the archive, and the current file's chunk state, as the
// installer's reader keeps them.
class Walker {
public:
    Walker(VolumeStore& store, ArchiveReport* report) : store(store), report(report) {}

    bool Error(const std::string& message) {
        if (report->errors.size() < kMaxErrors)
            report->errors.push_back(message);
        else if (report->errors.size() == kMaxErrors)
            report->errors.push_back("too many errors; the rest of the archive was not read");
        return false;
    }
    bool TooManyErrors() const { return report->errors.size() > kMaxErrors; }

    // Opens volume n and checks its number; volume 1 also yields the header.
    bool OpenVolume(uint32_t n, const std::string& why) {
        stream.reset();
        volume = n;
        std::string name;
        stream = store.Open(n, &name);
        volumeName = name.empty() ? VolumeFileName(n) : name;
        if (!stream)
            return Error(VolumeFileName(n) + " not found" + why);
        report->volumes = std::max(report->volumes, n);
        unsigned char number[VolumeNumberSize];
        size_t got = stream->Read(number, sizeof number);
        if (stream->Failed())
            return Error(volumeName + ": read error");
        if (got == 0)
            return Error(volumeName + " is empty");
        if (got < sizeof number)
            return Error(volumeName + " is too short to hold its volume number");
        uint32_t found = ReadLe32(number);
        if (found != n)
            return Error(volumeName + " holds volume number " + std::to_string(found) + " instead of " +
                         std::to_string(n) + " (a volume of another set, or damaged)");
        return true;
    }

    // Reads exactly n bytes of the current volume; reports how many came.
    size_t ReadRaw(void* buffer, size_t n) {
        size_t got = stream->Read(buffer, n);
        if (got < n && stream->Failed())
            Error(volumeName + ": read error");
        return got;
    }

    // The next record, opening the next volume when this one ended right
    // after a chunk. 1: read; 0: failed (reported).
    int ReadRecord(unsigned char* record, unsigned fileIndex, uint32_t fileCount) {
        size_t got = ReadRaw(record, FileRecordSize);
        if (got == 0 && !stream->Failed()) {
            if (!OpenVolume(volume + 1, " (file " + std::to_string(fileIndex) + " of " + std::to_string(fileCount) +
                                            " should begin there)"))
                return 0;
            got = ReadRaw(record, FileRecordSize);
            if (got == 0 && !stream->Failed()) {
                Error(volumeName + " holds no record; file " + std::to_string(fileIndex) + " of " +
                      std::to_string(fileCount) + " is missing");
                return 0;
            }
        }
        if (got < FileRecordSize) {
            Error(volumeName + " ends inside the record of file " + std::to_string(fileIndex) + " (" +
                  std::to_string(got) + " of " + std::to_string(FileRecordSize) + " bytes)");
            return 0;
        }
        return 1;
    }

    void BeginFile(const tagCompressFileHeader& first, ArchiveFile* file) {
        current = first;
        currentFile = file;
        chunkLeft = first.chunkSize;
        continues = first.continued != 0;
        file->firstVolume = file->lastVolume = volume;
        file->streamSize = first.chunkSize;
        dataError.clear();
        broken = false;
    }

    std::string Describe() const {
        return "file " + std::to_string(currentFile->index) + " '" + DisplayTarget(current) + "'";
    }

    // Moves to the next piece of the current file: next volume, its
    // continuation record. False (with dataError set) when that fails.
    bool NextPiece() {
        if (!OpenVolume(volume + 1, " (" + Describe() + " continues there)")) {
            dataError = "-"; // already reported
            return false;
        }
        unsigned char record[FileRecordSize];
        size_t got = ReadRaw(record, FileRecordSize);
        if (got < FileRecordSize) {
            dataError = volumeName + " ends inside the continuation record of " + Describe();
            return false;
        }
        tagCompressFileHeader cont = ParseFileRecord(record);
        if (strcmp(cont.fileName, current.fileName) != 0 || strcmp(cont.subDir, current.subDir) != 0 ||
            cont.targetDir != current.targetDir)
            report->warnings.push_back(volumeName + ": the continuation record of " + Describe() +
                                       " names another file ('" + DisplayTarget(cont) + "')");
        chunkLeft = cont.chunkSize;
        continues = cont.continued != 0;
        currentFile->lastVolume = volume;
        currentFile->streamSize += cont.chunkSize;
        return true;
    }

    // The installer's data read: fills the request across volumes until the
    // file's data ends. Returns the bytes delivered.
    size_t ReadData(unsigned char* buffer, size_t n) {
        size_t done = 0;
        while (done < n && dataError.empty() && !broken) {
            if (chunkLeft == 0) {
                if (!continues || !NextPiece())
                    break;
                continue;
            }
            size_t want = static_cast<size_t>(std::min<uint64_t>(n - done, chunkLeft));
            size_t got = ReadRaw(buffer + done, want);
            done += got;
            chunkLeft -= got;
            if (got < want) {
                dataError = volumeName + " ends " + std::to_string(chunkLeft) + " bytes before the end of the data of " +
                            Describe();
                break;
            }
        }
        return done;
    }

    // Skips the rest of the current file's data, through its continuations.
    bool SkipData() {
        while (dataError.empty() && !broken) {
            uint64_t skipped = stream->Skip(chunkLeft);
            if (skipped < chunkLeft) {
                dataError = stream->Failed() ? volumeName + ": read error"
                                             : volumeName + " ends " + std::to_string(chunkLeft - skipped) +
                                                   " bytes before the end of the data of " + Describe();
                chunkLeft = 0;
                return false;
            }
            chunkLeft = 0;
            if (!continues)
                return true;
            if (!NextPiece())
                return false;
        }
        return false;
    }

    // Reports a pending data error; true when there was none. Afterwards the
    // walk cannot go on: where the next record starts is unknown.
    bool FlushDataError() {
        if (dataError.empty())
            return !broken;
        if (dataError != "-")
            Error(dataError);
        dataError.clear();
        broken = true;
        currentFile->ok = false;
        return false;
    }

    VolumeStore& store;
    ArchiveReport* report;
    std::unique_ptr<VolumeStream> stream;
    uint32_t volume = 0;
    std::string volumeName;
    tagCompressFileHeader current = {};
    ArchiveFile* currentFile = nullptr;
    uint64_t chunkLeft = 0;
    bool continues = false;
    std::string dataError; // first problem met inside the current file's data
    bool broken = false;   // such a problem was reported
};

struct ExpandContext {
    Walker* walker;
    ArchiveSink* sink;
    bool sinkOk;
    std::string sinkError;
    uint64_t written;
};

unsigned int ReadCallback(char* buffer, unsigned int* size, void* param) {
    auto* ctx = static_cast<ExpandContext*>(param);
    return static_cast<unsigned int>(ctx->walker->ReadData(reinterpret_cast<unsigned char*>(buffer), *size));
}

void WriteCallback(char* buffer, unsigned int* size, void* param) {
    auto* ctx = static_cast<ExpandContext*>(param);
    ctx->written += *size;
    if (ctx->sink && ctx->sinkOk && *size > 0)
        ctx->sinkOk = ctx->sink->Write(reinterpret_cast<unsigned char*>(buffer), *size, &ctx->sinkError);
}

const char* ExplodeProblem(unsigned result) {
    switch (result) {
    case ExplodeBadDictionary:
        return "its compressed stream names no valid dictionary size";
    case ExplodeBadLiteralMode:
        return "its compressed stream names no valid literal mode";
    case ExplodeTooShort:
        return "its compressed stream is 4 bytes or shorter, which the installer refuses";
    default:
        return "its compressed data is damaged (it ends before the end code or inside a copy)";
    }
}

// Checks of a first record that the installer would trip over.
void CheckRecord(Walker& w, const unsigned char* raw, const tagCompressFileHeader& r, const ArchiveHeader& header,
                 ArchiveFile* file) {
    std::string where = w.volumeName + ": file " + std::to_string(file->index) + " '" + DisplayTarget(r) + "'";
    auto bad = [&](const std::string& problem) {
        w.Error(where + ": " + problem);
        file->ok = false;
    };
    if (r.targetDir < 0 || r.targetDir >= TargetDirCount)
        bad("target directory " + std::to_string(r.targetDir) + " is not one of 0 to 7");
    if (!RecordTextTerminated(raw, true) || !RecordTextTerminated(raw, false))
        bad("a name field has no terminating zero");
    std::string problem = CheckPathComponent(r.fileName);
    if (!problem.empty())
        bad("file name: " + problem);
    problem = CheckSubDir(r.subDir);
    if (!problem.empty())
        bad("subfolder: " + problem);
    if (r.group < 1 || r.group > header.groupCount)
        bad("group " + std::to_string(r.group) + " is outside 1 to " + std::to_string(header.groupCount));
    if (r.chunkSize == 0)
        bad("its first record has no data after it (chunk size 0), which the installer cannot expand");
}

} // namespace

std::unique_ptr<VolumeStream> MemoryVolumeStore::Open(uint32_t number, std::string* name) {
    *name = VolumeFileName(number);
    if (number == 0 || number > volumes.size())
        return nullptr;
    return std::unique_ptr<VolumeStream>(new MemoryStream(volumes[number - 1]));
}

fs::path DirectoryVolumeStore::Find(uint32_t number) const {
    const fs::path file = PathFromUtf8(VolumeFileName(number));
    const fs::path disk = PathFromUtf8("Disk" + std::to_string(number));
    std::vector<fs::path> candidates = {dir / file, dir / disk / file};
    // Only a folder that is itself one disk of a set has sibling disks.
    std::string name = PathToUtf8(dir.lexically_normal().filename());
    if (name.empty())
        name = PathToUtf8(dir.lexically_normal().parent_path().filename());
    if (name.size() > 4 && name.compare(0, 4, "Disk") == 0 &&
        name.find_first_not_of("0123456789", 4) == std::string::npos)
        candidates.push_back(dir / ".." / disk / file);
    std::error_code ec;
    for (const fs::path& p : candidates)
        if (fs::is_regular_file(p, ec))
            return p;
    return fs::path();
}

std::unique_ptr<VolumeStream> DirectoryVolumeStore::Open(uint32_t number, std::string* name) {
    fs::path p = Find(number);
    *name = p.empty() ? VolumeFileName(number) : PathToUtf8(p.lexically_normal());
    if (p.empty())
        return nullptr;
    std::unique_ptr<FileStream> s(new FileStream(p));
    if (!s->IsOpen())
        return nullptr;
    return std::unique_ptr<VolumeStream>(s.release());
}

std::string DisplayTarget(const tagCompressFileHeader& record) {
    std::string path = TargetDirKeyword(record.targetDir);
    if (record.targetDir < 0 || record.targetDir >= TargetDirCount)
        path = "target" + std::to_string(record.targetDir);
    if (record.subDir[0])
        path += "\\" + AnsiToUtf8(record.subDir);
    return path + "\\" + AnsiToUtf8(record.fileName);
}

void ReadArchive(VolumeStore& store, bool expand, ArchiveSink* sink, ArchiveReport* report) {
    *report = ArchiveReport();
    Walker w(store, report);
    if (!w.OpenVolume(1, ""))
        return;
    unsigned char raw[FileRecordSize];
    if (w.ReadRaw(raw, ArchiveHeaderSize) < ArchiveHeaderSize) {
        w.Error(w.volumeName + " is too short to hold the archive header");
        return;
    }
    report->header = ParseArchiveHeader(raw);
    report->headerRead = true;
    const ArchiveHeader& h = report->header;
    if (h.formatVersion != ArchiveFormatVersion)
        w.Error(w.volumeName + ": format version " + std::to_string(h.formatVersion) +
                " (the installer accepts only 1 and stops with \"Wrong version sources!\")");
    if (h.groupCount < 1)
        w.Error(w.volumeName + ": group count " + std::to_string(h.groupCount) + " (at least 1 expected)");

    std::unique_ptr<ExplodeWork> work;
    if (expand)
        work.reset(new ExplodeWork());
    uint64_t expandedTotal = 0;

    for (uint32_t i = 1; i <= h.fileCount && !w.TooManyErrors(); ++i) {
        if (!w.ReadRecord(raw, i, h.fileCount))
            return;
        report->files.emplace_back();
        ArchiveFile& file = report->files.back();
        file.index = i;
        file.record = ParseFileRecord(raw);
        CheckRecord(w, raw, file.record, h, &file);
        w.BeginFile(file.record, &file);
        expandedTotal += file.record.expandedSize;

        if (expand) {
            ExpandContext ctx = {&w, sink, sink != nullptr, "", 0};
            if (sink && !sink->BeginFile(file, &ctx.sinkError))
                ctx.sinkOk = false;
            unsigned result = Explode(ReadCallback, WriteCallback, work.get(), &ctx);
            file.expandedBytes = ctx.written;
            std::string where = w.volumeName + ": " + w.Describe();
            if (!w.FlushDataError()) {
                // The structure problem is the cause; the decoder's complaint
                // would only repeat it.
            } else if (result != ExplodeOk) {
                w.Error(where + ": " + ExplodeProblem(result));
                file.ok = false;
            } else if (ctx.written != file.record.expandedSize) {
                w.Error(where + ": expands to " + std::to_string(ctx.written) + " bytes, its record says " +
                        std::to_string(file.record.expandedSize));
                file.ok = false;
            }
            if (sink) {
                if (!ctx.sinkOk) {
                    w.Error(ctx.sinkError);
                    file.ok = false;
                }
                sink->EndFile(file, file.ok);
            }
        }
        // Whatever the decoder left (bytes after the end code, or all of it
        // after a failure) is skipped to reach the next record.
        if (!w.SkipData()) {
            w.FlushDataError();
            return;
        }
    }
    if (w.TooManyErrors())
        return;

    // After the last chunk nothing may follow, in this volume or as another.
    unsigned char probe[256];
    uint64_t trailing = 0;
    for (size_t got; (got = w.stream->Read(probe, sizeof probe)) > 0;)
        trailing += got;
    if (trailing > 0)
        w.Error(w.volumeName + ": " + std::to_string(trailing) + (trailing == 1 ? " byte follows" : " bytes follow") +
                " the last file (" +
                std::to_string(h.fileCount) + " files expected); the file count or a chunk size is wrong");
    // A further volume is never read by the installer; on a set made by this
    // tool it means a wrong file count or a stray disk of another set.
    std::string name;
    if (store.Open(w.volume + 1, &name))
        w.Error(name + " follows the last volume of the archive, which ends in " + w.volumeName +
                " after " + std::to_string(h.fileCount) + " files (wrong file count, or a volume of another set)");
    if (expandedTotal != h.totalSize)
        report->warnings.push_back("the archive header's total size " + std::to_string(h.totalSize) +
                                   " differs from the sum of the files' sizes " + std::to_string(expandedTotal));
}

std::string FormatListing(const ArchiveReport& report) {
    std::string out;
    char line[512];
    if (report.headerRead) {
        const ArchiveHeader& h = report.header;
        snprintf(line, sizeof line,
                 "files %u  total size %u  groups %d  format %d  shortcut prefix %u  volumes %u\n",
                 h.fileCount, h.totalSize, h.groupCount, h.formatVersion, h.shortcutPrefixLength, report.volumes);
        out += line;
    }
    out += "   #  vol  stream     size      group  version          modified (UTC)       target\n";
    for (const ArchiveFile& f : report.files) {
        const tagCompressFileHeader& r = f.record;
        std::string vol = std::to_string(f.firstVolume);
        if (f.lastVolume != f.firstVolume)
            vol += "-" + std::to_string(f.lastVolume);
        char version[64];
        snprintf(version, sizeof version, "%d.%d.%d.%d", r.version[0], r.version[1], r.version[2], r.version[3]);
        // FILETIME to a calendar date (proleptic Gregorian, UTC).
        uint64_t ft = (uint64_t(r.lastWriteTime.dwHighDateTime) << 32) | r.lastWriteTime.dwLowDateTime;
        int64_t secs = static_cast<int64_t>(ft / 10000000ull) - 11644473600LL;
        int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
        int64_t rem = secs - days * 86400;
        int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
        int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
        int64_t d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
        char when[160];
        snprintf(when, sizeof when, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", (long long)y, (long long)m,
                 (long long)d, (long long)(rem / 3600), (long long)(rem / 60 % 60), (long long)(rem % 60));
        snprintf(line, sizeof line, "%4u  %-4s %9llu %9u  %5d  %-15s  %s  ", f.index, vol.c_str(),
                 (unsigned long long)f.streamSize, r.expandedSize, r.group, version, when);
        out += line;
        out += DisplayTarget(r) + "\n";
    }
    return out;
}
