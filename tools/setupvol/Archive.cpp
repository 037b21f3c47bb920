// Archive.cpp: walking and checking a set of data volumes. The walk goes
// through the installer's reading rules (reader/VolumeStream.h) over
// CheckedVolumes, a VolumeSource that puts every problem it meets into words:
// which volume, which file, what is wrong.
#include "tools/setupvol/Archive.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <fstream>

#include "explode/Explode.h"
#include "format/FileCheck.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"
#include "reader/VolumeStream.h"
#include "tools/setupvol/FileSys.h"
#include "tools/setupvol/Names.h"

namespace fs = std::filesystem;

namespace {

std::string volumeFileName(uint32_t number) { return "Data" + std::to_string(number) + ".Dat"; }

class MemoryVolumeFile : public VolumeFile {
public:
    explicit MemoryVolumeFile(const std::vector<unsigned char>& data) : data(data) {}
    size_t read(void* buffer, size_t n) override {
        size_t k = std::min(n, data.size() - pos);
        if (k > 0) // an empty volume has no storage to copy from
            memcpy(buffer, data.data() + pos, k);
        pos += k;
        return k;
    }
    uint64_t skip(uint64_t n) override {
        uint64_t k = std::min<uint64_t>(n, remaining());
        pos += static_cast<size_t>(k);
        return k;
    }
    uint64_t remaining() const override { return data.size() - pos; }

private:
    const std::vector<unsigned char>& data;
    size_t pos = 0;
};

class DiskVolumeFile : public VolumeFile {
public:
    explicit DiskVolumeFile(const fs::path& path) : in(path, std::ios::binary), size(fileSizeOrZero(path)) {}
    bool isOpen() const { return in.is_open(); }
    size_t read(void* buffer, size_t n) override {
        if (failedRead)
            return 0;
        in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
        size_t got = static_cast<size_t>(in.gcount());
        if (got < n && !in.eof())
            failedRead = true;
        pos += got;
        return got;
    }
    uint64_t skip(uint64_t n) override {
        if (failedRead)
            return 0;
        uint64_t k = std::min<uint64_t>(n, remaining());
        in.seekg(static_cast<std::streamoff>(pos + k));
        if (!in) {
            failedRead = true;
            return 0;
        }
        pos += k;
        return k;
    }
    uint64_t remaining() const override { return pos < size ? size - pos : 0; }
    bool failed() const override { return failedRead; }

private:
    std::ifstream in;
    uint64_t size = 0;
    uint64_t pos = 0;
    bool failedRead = false;
};

const size_t kMaxErrors = 50;

// The volume set as the installer's reading rules see it. Every problem is
// reported here, in words, and counted: the walk asks problems() whether
// anything went wrong while a rule ran. What the walk is reading at the time
// (the header, the record of file i, the data of a file) names the place.
class CheckedVolumes : public VolumeSource {
public:
    CheckedVolumes(VolumeSet& set, ArchiveReport* report) : set(set), report(report) {}

    void readingHeader() { what = Header; }
    void readingRecordOf(unsigned index, uint32_t count) {
        what = Record;
        recordIndex = index;
        fileCount = count;
    }
    void readingDataOf(ArchiveFile* file) {
        what = Data;
        current = file;
    }

    bool error(const std::string& message) {
        ++problemCount;
        if (report->errors.size() < kMaxErrors)
            report->errors.push_back(message);
        else if (report->errors.size() == kMaxErrors)
            report->errors.push_back("too many errors; the rest of the archive was not read");
        return false;
    }
    bool tooManyErrors() const { return report->errors.size() > kMaxErrors; }
    bool namesUtf8() const { return archiveNamesUtf8(report->header.formatVersion); }
    unsigned problems() const { return problemCount; }

    uint32_t volume() const { return number; }
    const std::string& volumeName() const { return name; }
    // Bytes of the open volume read or skipped after its number.
    uint64_t position() const { return offset; }
    uint64_t remaining() const { return file ? file->remaining() : 0; }
    // "file 3 'install\readme.txt'"
    std::string describe() const {
        return "file " + std::to_string(current->index) + " '" + displayTarget(current->record, namesUtf8()) + "'";
    }

    // After a data read: a chunk that claims more than its volume holds. The
    // rules deliver what there is and then the end of the data; the cause is
    // told here.
    void checkChunkEnd(const ChunkState& state) {
        if (state.chunkBytesLeft != 0 && file && file->remaining() == 0)
            error(name + " ends " + std::to_string(state.chunkBytesLeft) +
                  " bytes before the end of the data of " + describe());
    }

    StepResult read(unsigned char* buffer, unsigned int count, unsigned int* got) override {
        *got = 0;
        if (count == 0)
            return StepContinue;
        if (!file)
            return StepFailure;
        size_t n = file->read(buffer, count);
        if (n < count && file->failed())
            return fail(name + ": read error");
        *got = static_cast<unsigned int>(n);
        offset += n;
        const bool fresh = justOpened;
        justOpened = false;
        if (n > 0)
            return StepContinue;
        // A volume that holds nothing after its number where a record
        // should follow.
        if (fresh && what == Record)
            error(name + " holds no record; file " + std::to_string(recordIndex) + " of " +
                  std::to_string(fileCount) + " is missing");
        else if (fresh && what == Data)
            error(name + " ends inside the continuation record of " + describe());
        return StepEndOfData;
    }

    StepResult openNext() override {
        file.reset();
        ++number;
        std::string found;
        file = set.open(number, &found);
        name = found.empty() ? volumeFileName(number) : found;
        offset = 0;
        justOpened = false;
        if (!file)
            return fail(volumeFileName(number) + " not found" + why());
        report->volumes = std::max(report->volumes, number);
        unsigned char bytes[VolumeNumberSize];
        size_t got = file->read(bytes, sizeof bytes);
        if (file->failed())
            return fail(name + ": read error");
        if (got == 0)
            return fail(name + " is empty");
        if (got < sizeof bytes)
            return fail(name + " is too short to hold its volume number");
        uint32_t held = readLe32(bytes);
        if (held != number)
            return fail(name + " holds volume number " + std::to_string(held) + " instead of " +
                        std::to_string(number) + " (a volume of another set, or damaged)");
        justOpened = true;
        return StepContinue;
    }

    StepResult skip(unsigned int count) override {
        if (!file)
            return StepFailure;
        uint64_t skipped = file->skip(count);
        offset += skipped;
        if (skipped < count)
            return fail(file->failed() ? name + ": read error"
                                       : name + " ends " + std::to_string(count - skipped) +
                                             " bytes before the end of the data of " + describe());
        if (count > 0)
            justOpened = false;
        return StepContinue;
    }

    StepResult damaged(const RecordCut& cut) override {
        if (cut.continuation)
            return fail(name + " ends inside the continuation record of " + describe());
        return fail(name + " ends inside the record of file " + std::to_string(recordIndex) + " (" +
                    std::to_string(cut.got) + " of " + std::to_string(FileRecordSize) + " bytes)");
    }

    void continuationRead(const unsigned char* raw) override {
        const tagCompressFileHeader& first = current->record;
        tagCompressFileHeader next = parseFileRecord(raw);
        if (strcmp(next.fileName, first.fileName) != 0 || strcmp(next.subDir, first.subDir) != 0 ||
            next.targetDir != first.targetDir)
            report->warnings.push_back(name + ": the continuation record of " + describe() +
                                       " names another file ('" + displayTarget(next, namesUtf8()) + "')");
        current->lastVolume = number;
        current->streamSize += next.chunkSize;
    }

private:
    StepResult fail(const std::string& message) {
        error(message);
        return StepFailure;
    }

    // Why a volume is looked for, for "not found".
    std::string why() const {
        switch (what) {
        case Record:
            return " (file " + std::to_string(recordIndex) + " of " + std::to_string(fileCount) +
                   " should begin there)";
        case Data:
            return " (" + describe() + " continues there)";
        default:
            return "";
        }
    }

    VolumeSet& set;
    ArchiveReport* report;
    std::unique_ptr<VolumeFile> file;
    uint32_t number = 0; // of the open volume
    std::string name;
    uint64_t offset = 0;
    bool justOpened = false; // nothing read yet after the volume number
    unsigned problemCount = 0;
    enum { Header, Record, Data } what = Header;
    unsigned recordIndex = 0;
    uint32_t fileCount = 0;
    ArchiveFile* current = nullptr;
};

struct ExpandContext {
    CheckedVolumes* volumes;
    ChunkState state;
    unsigned problemsBefore; // any more: the file's data is broken, stop reading it
    ArchiveSink* sink;
    bool sinkOk;
    std::string sinkError;
    uint64_t written;
    uint32_t crc;  // of the expanded bytes
};

// The installer's data read (mode 1), as the engine's decoder callback makes it.
unsigned int readCallback(char* buffer, unsigned int* size, void* param) {
    auto* ctx = static_cast<ExpandContext*>(param);
    if (ctx->volumes->problems() != ctx->problemsBefore)
        return 0;
    unsigned int count = *size;
    StepResult r = readFileData(*ctx->volumes, ctx->state, reinterpret_cast<unsigned char*>(buffer), &count);
    if (r != StepFailure && r != StepUserBreak)
        ctx->volumes->checkChunkEnd(ctx->state);
    return r == StepContinue ? count : 0;
}

void writeCallback(char* buffer, unsigned int* size, void* param) {
    auto* ctx = static_cast<ExpandContext*>(param);
    ctx->written += *size;
    ctx->crc = crc32Update(ctx->crc, buffer, *size);
    if (ctx->sink && ctx->sinkOk && *size > 0)
        ctx->sinkOk = ctx->sink->write(reinterpret_cast<unsigned char*>(buffer), *size, &ctx->sinkError);
}

const char* explodeProblem(unsigned result) {
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
void checkRecord(CheckedVolumes& volumes, const unsigned char* raw, const tagCompressFileHeader& r,
                 const ArchiveHeader& header, ArchiveFile* file) {
    const bool utf8 = archiveNamesUtf8(header.formatVersion);
    std::string where =
        volumes.volumeName() + ": file " + std::to_string(file->index) + " '" + displayTarget(r, utf8) + "'";
    auto bad = [&](const std::string& problem) {
        volumes.error(where + ": " + problem);
        file->ok = false;
    };
    if (r.targetDir < 0 || r.targetDir >= TargetDirCount)
        bad("target directory " + std::to_string(r.targetDir) + " is not one of 0 to 7");
    if (!recordTextTerminated(raw, true) || !recordTextTerminated(raw, false))
        bad("a name field has no terminating zero");
    std::string problem = checkPathComponent(r.fileName, utf8);
    if (!problem.empty())
        bad("file name: " + problem);
    problem = checkSubDir(r.subDir, utf8);
    if (!problem.empty())
        bad("subfolder: " + problem);
    if (r.group < 1 || r.group > header.groupCount)
        bad("group " + std::to_string(r.group) + " is outside 1 to " + std::to_string(header.groupCount));
    if (r.chunkSize == 0)
        bad("its first record has no data after it (chunk size 0), which the installer cannot expand");
}

// Expands the current file through the decoder, handing its bytes to `sink`
// when there is one. False when its data is broken: where the next record
// starts is then unknown.
bool expandFile(CheckedVolumes& volumes, ChunkState state, ExplodeWork* work, ArchiveSink* sink,
                const CheckEntry* check, ArchiveFile& file) {
    ExpandContext ctx = {&volumes, state, volumes.problems(), sink, sink != nullptr, "", 0, 0};
    if (sink && !sink->beginFile(file, &ctx.sinkError))
        ctx.sinkOk = false;
    unsigned result = Explode(readCallback, writeCallback, work, &ctx);
    file.expandedBytes = ctx.written;
    const bool broken = volumes.problems() != ctx.problemsBefore;
    std::string where = volumes.volumeName() + ": " + volumes.describe();
    if (broken) {
        // The structure problem is the cause; the decoder's complaint
        // would only repeat it.
        file.ok = false;
    } else if (result != ExplodeOk) {
        volumes.error(where + ": " + explodeProblem(result));
        file.ok = false;
    } else if (ctx.written != file.record.expandedSize) {
        volumes.error(where + ": expands to " + std::to_string(ctx.written) + " bytes, its record says " +
                      std::to_string(file.record.expandedSize));
        file.ok = false;
    } else if (check && (check->dataCrc != ctx.crc || check->expandedSize != ctx.written)) {
        volumes.error(where + ": its expanded bytes differ from those " + kCheckFileName +
                      " records (damaged data)");
        file.ok = false;
    }
    if (sink) {
        if (!ctx.sinkOk) {
            volumes.error(ctx.sinkError);
            file.ok = false;
        }
        sink->endFile(file, file.ok);
    }
    return !broken;
}

} // namespace

bool MemoryVolumeSet::readCheckFile(std::vector<unsigned char>* bytes, std::string* name) {
    *bytes = check;
    *name = kCheckFileName;
    return hasCheck;
}

bool DirectoryVolumeSet::readCheckFile(std::vector<unsigned char>* bytes, std::string* name) {
    fs::path first = find(1);
    if (first.empty())
        return false;
    fs::path path = first.parent_path() / pathFromUtf8(kCheckFileName);
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    *name = pathToUtf8(path.lexically_normal());
    std::ifstream in(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // One that cannot be read is told as damaged.
    if (in.bad())
        bytes->clear();
    return true;
}

std::unique_ptr<VolumeFile> MemoryVolumeSet::open(uint32_t number, std::string* name) {
    *name = volumeFileName(number);
    if (number == 0 || number > volumes.size())
        return nullptr;
    return std::unique_ptr<VolumeFile>(new MemoryVolumeFile(volumes[number - 1]));
}

fs::path DirectoryVolumeSet::find(uint32_t number) const {
    const fs::path file = pathFromUtf8(volumeFileName(number));
    const fs::path disk = pathFromUtf8("Disk" + std::to_string(number));
    std::vector<fs::path> candidates = {dir / file, dir / disk / file};
    // Only a folder that is itself one disk of a set has sibling disks.
    std::string name = pathToUtf8(dir.lexically_normal().filename());
    if (name.empty())
        name = pathToUtf8(dir.lexically_normal().parent_path().filename());
    if (name.size() > 4 && name.compare(0, 4, "Disk") == 0 &&
        name.find_first_not_of("0123456789", 4) == std::string::npos)
        candidates.push_back(dir / ".." / disk / file);
    std::error_code ec;
    for (const fs::path& p : candidates)
        if (fs::is_regular_file(p, ec))
            return p;
    return fs::path();
}

std::unique_ptr<VolumeFile> DirectoryVolumeSet::open(uint32_t number, std::string* name) {
    fs::path p = find(number);
    *name = p.empty() ? volumeFileName(number) : pathToUtf8(p.lexically_normal());
    if (p.empty())
        return nullptr;
    std::unique_ptr<DiskVolumeFile> f(new DiskVolumeFile(p));
    if (!f->isOpen())
        return nullptr;
    return std::unique_ptr<VolumeFile>(f.release());
}

std::string displayTarget(const tagCompressFileHeader& record, bool namesUtf8) {
    std::string path = targetDirKeyword(record.targetDir);
    if (record.targetDir < 0 || record.targetDir >= TargetDirCount)
        path = "target" + std::to_string(record.targetDir);
    if (record.subDir[0])
        path += "\\" + hostName(record.subDir, namesUtf8);
    return path + "\\" + hostName(record.fileName, namesUtf8);
}

void readArchive(VolumeSet& set, bool expand, ArchiveSink* sink, ArchiveReport* report) {
    *report = ArchiveReport();
    CheckedVolumes volumes(set, report);
    volumes.readingHeader();
    if (volumes.openNext() != StepContinue)
        return;
    // The header as the installer reads it (mode 2); a short one is told here.
    unsigned char raw[FileRecordSize];
    if (readPlain(volumes, raw, ArchiveHeaderSize) == StepFailure)
        return;
    if (volumes.position() < ArchiveHeaderSize) {
        volumes.error(volumes.volumeName() + " is too short to hold the archive header");
        return;
    }
    report->header = parseArchiveHeader(raw);
    report->headerRead = true;
    const ArchiveHeader& h = report->header;
    if (!archiveFormatKnown(h.formatVersion))
        volumes.error(volumes.volumeName() + ": format version " + std::to_string(h.formatVersion) +
                      " (the installer accepts only 1, and 1 with the flag of UTF-8 names " +
                      std::to_string(ArchiveNamesUtf8) + ", and stops with \"Wrong version sources!\")");
    const bool utf8 = archiveNamesUtf8(h.formatVersion);
    if (h.groupCount < 1)
        volumes.error(volumes.volumeName() + ": group count " + std::to_string(h.groupCount) +
                      " (at least 1 expected)");

    // The check file, when the set has one, must belong to this set.
    CheckTable check;
    std::vector<unsigned char> checkBytes;
    std::string checkName;
    if (set.readCheckFile(&checkBytes, &checkName)) {
        if (parseCheckFile(checkBytes.data(), checkBytes.size(), &check) != CheckFileState::Valid)
            volumes.error(checkName + " is damaged (wrong length, format or checksum); the files cannot be checked");
        else if (!checkTableFitsHeader(check, raw, h.fileCount))
            volumes.error(checkName + " does not belong to this set: it records another archive header or " +
                          std::to_string(check.entries.size()) + " files instead of " + std::to_string(h.fileCount));
        else
            report->checked = true;
    }
    TargetPaths targets(utf8);

    std::unique_ptr<ExplodeWork> work;
    if (expand)
        work.reset(new ExplodeWork());
    uint64_t expandedTotal = 0;
    int fileContinues = 0;
    unsigned int chunkBytesLeft = 0;
    const ChunkState state{fileContinues, chunkBytesLeft};

    for (uint32_t i = 1; i <= h.fileCount && !volumes.tooManyErrors(); ++i) {
        volumes.readingRecordOf(i, h.fileCount);
        if (readRecord(volumes, state, raw) != StepContinue)
            return; // told by the volumes
        report->files.emplace_back();
        ArchiveFile& file = report->files.back();
        file.index = i;
        file.record = parseFileRecord(raw);
        file.namesUtf8 = utf8;
        file.recordCrc = crc32Update(0, raw, FileRecordSize);
        checkRecord(volumes, raw, file.record, h, &file);
        const CheckEntry* entry = report->checked ? &check.entries[i - 1] : nullptr;
        if (entry && entry->recordCrc != file.recordCrc) {
            volumes.error(volumes.volumeName() + ": file " + std::to_string(i) + " '" + displayTarget(file.record, utf8) +
                          "': its record differs from the one " + kCheckFileName + " records (damaged record)");
            file.ok = false;
        }
        unsigned other = 0;
        const char* clash = nullptr;
        switch (targets.add(file.record.targetDir, file.record.subDir, file.record.fileName, i, &other)) {
        case TargetPaths::None: break;
        case TargetPaths::SameFile: clash = "names the same file as"; break;
        case TargetPaths::FileIsFolder: clash = "is a folder of"; break;
        case TargetPaths::FolderIsFile: clash = "has a folder that is"; break;
        }
        if (clash) {
            volumes.error(volumes.volumeName() + ": file " + std::to_string(i) + " '" + displayTarget(file.record, utf8) +
                          "' " + clash + " file " + std::to_string(other) + " '" +
                          displayTarget(report->files[other - 1].record, utf8) +
                          "' on Windows (names compared without case); they cannot both be installed");
            file.ok = false;
        }
        file.firstVolume = file.lastVolume = volumes.volume();
        file.streamSize = file.record.chunkSize;
        volumes.readingDataOf(&file);
        expandedTotal += file.record.expandedSize;

        if (expand && !expandFile(volumes, state, work.get(), sink, entry, file))
            return;
        // Whatever the decoder left (bytes after the end code, or all of it
        // after a failure) is skipped to reach the next record.
        if (skipFileData(volumes, state) != StepContinue) {
            file.ok = false;
            return;
        }
    }
    if (volumes.tooManyErrors())
        return;

    // After the last chunk nothing may follow, in this volume or as another.
    const uint64_t trailing = volumes.remaining();
    if (trailing > 0)
        volumes.error(volumes.volumeName() + ": " + std::to_string(trailing) +
                      (trailing == 1 ? " byte follows" : " bytes follow") + " the last file (" +
                      std::to_string(h.fileCount) + " files expected); the file count or a chunk size is wrong");
    // A further volume is never read by the installer; on a set made by this
    // tool it means a wrong file count or a stray disk of another set.
    std::string name;
    if (set.open(volumes.volume() + 1, &name))
        volumes.error(name + " follows the last volume of the archive, which ends in " + volumes.volumeName() +
                      " after " + std::to_string(h.fileCount) + " files (wrong file count, or a volume of another set)");
    if (expandedTotal != h.totalSize)
        report->warnings.push_back("the archive header's total size " + std::to_string(h.totalSize) +
                                   " differs from the sum of the files' sizes " + std::to_string(expandedTotal));
}

std::string formatListing(const ArchiveReport& report) {
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
        out += displayTarget(r, archiveNamesUtf8(report.header.formatVersion)) + "\n";
    }
    return out;
}
