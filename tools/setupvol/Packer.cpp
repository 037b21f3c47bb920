// Packer.cpp: manifest -> compressed streams -> volumes. Files are
// compressed independently, each into a stream of its own, by a pool of
// workers a few files ahead of the writer, which places and writes them in
// manifest order: the volumes do not depend on the number of threads.
#include "tools/setupvol/Packer.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "format/FileCheck.h"
#include "format/NameEncoding.h"
#include "format/VolumeFormat.h"
#include "tools/setupvol/Archive.h"
#include "tools/setupvol/FileSys.h"
#include "tools/setupvol/Names.h"
#include "tools/setupvol/PeVersion.h"

namespace fs = std::filesystem;

namespace {

// The installer refuses a stream whose first input block holds 4 bytes or
// fewer, which is every stream of an empty file (header and end code).
// Decoders stop at the end code, so a byte after it makes such a file
// installable without changing what it expands to.
const size_t kMinStream = 5;
const size_t kIoBlock = 1 << 16;

class FileByteSource : public ByteSource {
public:
    explicit FileByteSource(const fs::path& path) : in(path, std::ios::binary), size(fileSizeOrZero(path)) {}
    uint64_t byteCount() const override { return size; }
    bool readAt(uint64_t offset, void* buffer, size_t n) override {
        if (offset > size || n > size - offset)
            return false;
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(n));
        return static_cast<size_t>(in.gcount()) == n;
    }

private:
    std::ifstream in;
    uint64_t size = 0;
};

// Compressed data held in memory by all the files between the workers and
// the writer together; what does not fit goes to temporary files.
const size_t kSpoolBudget = 256u << 20;

// A compressed stream on its way into the volumes: in memory while small,
// in a temporary file beyond that.
class Spool {
public:
    explicit Spool(size_t memoryLimit) : memoryLimit(memoryLimit) {}
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool() {
        if (file)
            fclose(file);
    }
    bool append(const unsigned char* data, size_t n) {
        size += n;
        if (!file && memory.size() + n <= memoryLimit) {
            memory.insert(memory.end(), data, data + n);
            return true;
        }
        if (!file) {
            file = tmpfile();
            if (!file || fwrite(memory.data(), 1, memory.size(), file) != memory.size()) {
                failed = true;
                return false;
            }
            memory.clear();
            memory.shrink_to_fit();
        }
        if (fwrite(data, 1, n, file) != n) {
            failed = true;
            return false;
        }
        return true;
    }
    uint64_t byteCount() const { return size; }
    bool hasFailed() const { return failed; }
    // Copies `n` bytes from `offset` to `out`.
    bool copyTo(uint64_t offset, uint64_t n, std::ostream& out) {
        if (!file) {
            out.write(reinterpret_cast<const char*>(memory.data() + offset), static_cast<std::streamsize>(n));
            return static_cast<bool>(out);
        }
        if (fflush(file) != 0 || fseek(file, 0, SEEK_SET) != 0)
            return false;
        // Skipping by reading keeps offsets beyond 2 GiB portable.
        std::vector<char> buf(kIoBlock);
        uint64_t skip = offset;
        while (skip > 0) {
            size_t k = static_cast<size_t>(std::min<uint64_t>(skip, buf.size()));
            if (fread(buf.data(), 1, k, file) != k)
                return false;
            skip -= k;
        }
        while (n > 0) {
            size_t k = static_cast<size_t>(std::min<uint64_t>(n, buf.size()));
            if (fread(buf.data(), 1, k, file) != k)
                return false;
            out.write(buf.data(), static_cast<std::streamsize>(k));
            n -= k;
        }
        fseek(file, 0, SEEK_END);
        return static_cast<bool>(out);
    }

private:
    size_t memoryLimit;
    std::vector<unsigned char> memory;
    FILE* file = nullptr;
    uint64_t size = 0;
    bool failed = false;
};

void spoolOutput(const unsigned char* data, size_t size, void* param) {
    static_cast<Spool*>(param)->append(data, size);
}

bool readHistogram(const fs::path& path, uint64_t histogram[256], std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open " + pathToUtf8(path);
        return false;
    }
    std::vector<char> buf(kIoBlock);
    for (int i = 0; i < 256; ++i)
        histogram[i] = 0;
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        size_t got = static_cast<size_t>(in.gcount());
        for (size_t i = 0; i < got; ++i)
            ++histogram[static_cast<unsigned char>(buf[i])];
    }
    if (in.bad()) {
        *error = "cannot read " + pathToUtf8(path);
        return false;
    }
    return true;
}

// "manifest.txt:12: src/app.exe": where a file's problems are told.
std::string describeFile(const std::string& manifestName, const PackFile& f) {
    return manifestName + ":" + std::to_string(f.line) + ": " + pathToUtf8(f.source);
}

// One file made ready for the volumes: its record (time, version, size
// filled in) and its compressed stream.
struct PackedFile {
    explicit PackedFile(size_t spoolLimit) : spool(spoolLimit) {}
    std::string error;  // the file's first problem, as packArchive reports it
    std::string thrown; // an exception met on the way, rethrown by the writer
    tagCompressFileHeader record;
    ImplodeLiteralMode literals = ImplodeBinary;
    uint64_t expanded = 0;
    uint32_t dataCrc = 0;
    Spool spool;
};

// Compresses one file with `encoder` (made on first use, restarted for each
// next file). Stops early, with the file unfinished, once `stop` is set.
void packFile(const PackFile& f, const std::string& where, std::unique_ptr<Imploder>* encoder,
              const std::atomic<bool>& stop, PackedFile* out) {
    auto fail = [&](const std::string& problem) { out->error = where + ": " + problem; };
    out->record = f.record;
    uint64_t fileTime;
    std::string problem;
    if (!getFileWriteTime(f.source, &fileTime, &problem))
        return fail(problem);
    out->record.lastWriteTime.dwLowDateTime = static_cast<uint32_t>(fileTime);
    out->record.lastWriteTime.dwHighDateTime = static_cast<uint32_t>(fileTime >> 32);
    if (!f.hasVersion) {
        FileByteSource pe(f.source);
        readPeFileVersion(pe, out->record.version, nullptr);
    }

    ImplodeOptions io;
    io.dictionarySize = f.dict;
    if (f.literals == LiteralsAuto) {
        uint64_t histogram[256];
        if (!readHistogram(f.source, histogram, &problem))
            return fail(problem);
        io.literals = chooseLiteralMode(histogram);
    } else {
        io.literals = f.literals == LiteralsAscii ? ImplodeAscii : ImplodeBinary;
    }
    out->literals = io.literals;

    std::ifstream in(f.source, std::ios::binary);
    if (!in)
        return fail("cannot open the file");
    if (*encoder)
        (*encoder)->restart(io, spoolOutput, &out->spool);
    else
        encoder->reset(new Imploder(io, spoolOutput, &out->spool));
    Imploder& imploder = **encoder;
    std::vector<char> buf(kIoBlock);
    while (in && !stop) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        size_t got = static_cast<size_t>(in.gcount());
        imploder.write(buf.data(), got);
        out->expanded += got;
        out->dataCrc = crc32Update(out->dataCrc, buf.data(), got);
    }
    if (stop)
        return;
    if (in.bad())
        return fail("read error");
    imploder.finish();
    if (out->expanded > UINT32_MAX)
        return fail("the file is larger than 4 GiB, which a record cannot state");
    while (out->spool.byteCount() < kMinStream) {
        const unsigned char zero = 0;
        out->spool.append(&zero, 1);
    }
    if (out->spool.hasFailed())
        return fail("cannot keep the compressed data (temporary file)");
    out->record.expandedSize = static_cast<uint32_t>(out->expanded);
}

// Hands out the files packed, in order. With one thread the caller packs
// each file when it asks for it; with more, that many workers pack files
// ahead of the caller, at most `ahead` files beyond the one it waits for.
// With the caller's own file that makes ahead + 2 spools at most, which
// share kSpoolBudget: the memory held does not grow with the file set.
class PackQueue {
public:
    PackQueue(const std::vector<PackFile>& files, const std::string& manifestName, unsigned threads)
        : files(files), manifestName(manifestName), ahead(threads > 1 ? 2 * threads : 0),
          spoolLimit(kSpoolBudget / (ahead + 2)), ready(files.size()) {
        for (unsigned t = 0; t < threads && threads > 1; ++t)
            workers.emplace_back([this] { work(); });
    }
    ~PackQueue() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : workers)
            t.join();
    }

    // The next file in order, packed (or with the problem that stopped it).
    std::unique_ptr<PackedFile> next() {
        const size_t i = handedOut;
        if (workers.empty()) {
            ++handedOut;
            return pack(i, &ownEncoder);
        }
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return ready[i] != nullptr; });
        std::unique_ptr<PackedFile> result = std::move(ready[i]);
        ++handedOut;
        changed.notify_all();
        return result;
    }

private:
    std::unique_ptr<PackedFile> pack(size_t i, std::unique_ptr<Imploder>* encoder) {
        std::unique_ptr<PackedFile> result(new PackedFile(spoolLimit));
        try {
            packFile(files[i], describeFile(manifestName, files[i]), encoder, stop, result.get());
        } catch (const std::exception& e) {
            result->thrown = e.what();
            encoder->reset(); // in whatever state the throw left it
        }
        return result;
    }
    void work() {
        std::unique_ptr<Imploder> encoder;
        for (;;) {
            size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return stop || claimed == files.size() || claimed <= handedOut + ahead; });
                if (stop || claimed == files.size())
                    return;
                i = claimed++;
            }
            std::unique_ptr<PackedFile> result = pack(i, &encoder);
            {
                std::lock_guard<std::mutex> lock(mutex);
                ready[i] = std::move(result);
            }
            changed.notify_all();
        }
    }

    const std::vector<PackFile>& files;
    const std::string& manifestName;
    const size_t ahead;
    const size_t spoolLimit;
    std::unique_ptr<Imploder> ownEncoder;
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<PackedFile>> ready; // by file, until handed out
    size_t claimed = 0;                              // files taken by a worker
    size_t handedOut = 0;                            // files taken by the caller
    std::atomic<bool> stop{false};
};

// Where the volumes go. Each is written under a temporary name and renamed
// once the whole set is complete, so a failed run leaves an earlier set as
// it was.
class VolumeWriter {
public:
    VolumeWriter(const fs::path& dir, bool diskDirs) : dir(dir), diskDirs(diskDirs) {}
    ~VolumeWriter() {
        if (!committed)
            discard();
    }

    fs::path finalPath(uint32_t n) const { return volumePath(dir, diskDirs, n); }

    bool open(uint32_t n, std::string* error) {
        if (!close(error))
            return false;
        fs::path final = finalPath(n);
        std::error_code ec;
        fs::create_directories(final.parent_path(), ec);
        if (!openTemporary(final, error))
            return false;
        unsigned char head[FirstVolumeDataOffset] = {};
        writeLe32(head, n);
        // Volume 1's header is filled in once every file is known.
        out.write(reinterpret_cast<const char*>(head), n == 1 ? FirstVolumeDataOffset : VolumeNumberSize);
        return check(error);
    }
    // Opens `final` with ".new" appended; every such file is renamed into
    // place together once the whole set is written.
    bool openTemporary(const fs::path& final, std::string* error) {
        fs::path temp = final;
        temp += ".new";
        out.open(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            *error = "cannot create " + pathToUtf8(temp);
            return false;
        }
        temps.push_back(temp);
        finals.push_back(final);
        return true;
    }
    std::ostream& stream() { return out; }
    bool check(std::string* error) {
        if (!out) {
            *error = "cannot write " + pathToUtf8(temps.back()) + ": " + whyWriteFailed(temps.back());
            return false;
        }
        return true;
    }
    bool close(std::string* error) {
        if (!out.is_open())
            return true;
        out.close();
        if (out.fail()) {
            *error = "cannot write " + pathToUtf8(temps.back()) + ": " + whyWriteFailed(temps.back());
            return false;
        }
        return true;
    }
    // The check file, beside Data1.Dat; renamed into place with the volumes.
    bool writeCheck(const std::vector<unsigned char>& bytes, std::string* error) {
        if (!close(error))
            return false;
        if (!openTemporary(finalPath(1).parent_path() / pathFromUtf8(kCheckFileName), error))
            return false;
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return check(error) && close(error);
    }
    bool patchHeader(const ArchiveHeader& header, std::string* error) {
        std::fstream f(temps.front(), std::ios::binary | std::ios::in | std::ios::out);
        unsigned char bytes[ArchiveHeaderSize];
        serializeArchiveHeader(header, bytes);
        f.seekp(VolumeNumberSize);
        f.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
        f.close();
        if (f.fail()) {
            *error = "cannot write the archive header into " + pathToUtf8(temps.front());
            return false;
        }
        return true;
    }
    // Renames the new set into place and removes volumes of an earlier run
    // that do not belong to it.
    bool commit(std::string* error) {
        if (!close(error))
            return false;
        for (size_t i = 0; i < temps.size(); ++i) {
            std::error_code ec;
            fs::rename(temps[i], finals[i], ec);
            if (ec) {
                *error = "cannot rename " + pathToUtf8(temps[i]) + " to " + pathToUtf8(finals[i]) + ": " + ec.message();
                return false;
            }
        }
        committed = true;
        removeStale();
        return true;
    }

private:
    void discard() {
        std::error_code ec;
        out.close();
        for (const fs::path& p : temps)
            fs::remove(p, ec);
    }
    static uint32_t numberIn(const std::string& name, const char* prefix, const char* suffix) {
        size_t p = strlen(prefix), s = strlen(suffix);
        if (name.size() <= p + s || name.compare(0, p, prefix) != 0 || name.compare(name.size() - s, s, suffix) != 0)
            return 0;
        std::string digits = name.substr(p, name.size() - p - s);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            return 0;
        return static_cast<uint32_t>(atoi(digits.c_str()));
    }
    void removeStale() {
        std::error_code ec;
        std::vector<fs::path> doomed;
        auto scan = [&](const fs::path& folder, uint32_t only) {
            for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
                std::string name = pathToUtf8(it->path().filename());
                // A check file of an earlier set would not fit this one.
                if (name == kCheckFileName) {
                    if (std::find(finals.begin(), finals.end(), it->path()) == finals.end())
                        doomed.push_back(it->path());
                    continue;
                }
                uint32_t n = numberIn(name, "Data", ".Dat");
                if (n == 0 || (only != 0 && n != only))
                    continue;
                if (std::find(finals.begin(), finals.end(), it->path()) == finals.end())
                    doomed.push_back(it->path());
            }
        };
        scan(dir, 0);
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            uint32_t n = numberIn(pathToUtf8(it->path().filename()), "Disk", "");
            if (n != 0 && it->is_directory(ec))
                scan(it->path(), n);
        }
        for (const fs::path& p : doomed) {
            fs::remove(p, ec);
            fs::path parent = p.parent_path();
            if (parent != dir && fs::is_empty(parent, ec))
                fs::remove(parent, ec);
        }
    }

    fs::path dir;
    bool diskDirs;
    std::ofstream out;
    std::vector<fs::path> temps, finals;
    bool committed = false;
};

} // namespace

ImplodeLiteralMode chooseLiteralMode(const uint64_t histogram[256]) {
    const ImplodeCode* codes = implodeLiteralCodes();
    uint64_t ascii = 0, binary = 0;
    for (int b = 0; b < 256; ++b) {
        ascii += histogram[b] * codes[b].bits;
        binary += histogram[b] * 8;
    }
    return ascii < binary ? ImplodeAscii : ImplodeBinary;
}

fs::path volumePath(const fs::path& dir, bool diskDirs, uint32_t n) {
    fs::path file = pathFromUtf8("Data" + std::to_string(n) + ".Dat");
    return diskDirs ? dir / pathFromUtf8("Disk" + std::to_string(n)) / file : dir / file;
}

bool resolveManifest(const Manifest& manifest, const fs::path& baseDir, std::vector<PackFile>* files,
                     int32_t* groupCount, std::string* error) {
    files->clear();
    const bool utf8 = manifest.namesUtf8;
    TargetPaths targets(utf8);
    int highestGroup = 0, highestLine = 0;
    auto fail = [&](int line, const std::string& problem) {
        *error = manifest.displayName + ":" + std::to_string(line) + ": " + problem;
        return false;
    };
    for (const ManifestEntry& e : manifest.entries) {
        fs::path source = pathFromUtf8(e.source);
        if (source.is_relative())
            source = baseDir / source;
        std::error_code ec;
        std::vector<std::pair<fs::path, std::string>> found; // source, subDir-relative UTF-8 path
        if (e.tree) {
            if (!fs::is_directory(source, ec))
                return fail(e.line, "source folder '" + e.source + "' not found");
            std::vector<std::string> rel;
            std::string walkError;
            if (!listTreeSorted(source, &rel, &walkError))
                return fail(e.line, walkError);
            if (rel.empty())
                return fail(e.line, "source folder '" + e.source + "' holds no files");
            for (const std::string& r : rel)
                found.emplace_back(source / pathFromUtf8(r), r);
        } else {
            if (!fs::is_regular_file(source, ec))
                return fail(e.line, "source file '" + e.source + "' not found");
            found.emplace_back(source, pathToUtf8(source.filename()));
        }
        for (const auto& item : found) {
            PackFile f;
            f.line = e.line;
            f.source = item.first;
            f.literals = e.literals;
            f.dict = e.dict;
            f.hasVersion = e.hasVersion;
            memset(&f.record, 0, sizeof f.record);
            f.record.targetDir = e.targetDir;
            f.record.group = e.group;
            for (int i = 0; i < 4; ++i)
                f.record.version[i] = e.version[i];
            // Name and extra levels from the source (trees) or the option.
            std::string rel = item.second, dirs, name;
            size_t slash = rel.rfind('/');
            if (slash != std::string::npos) {
                dirs = rel.substr(0, slash);
                name = rel.substr(slash + 1);
            } else {
                name = rel;
            }
            for (char& c : dirs)
                if (c == '/')
                    c = '\\';
            std::string dirsStored, nameStored, convError;
            if (!storedName(dirs, utf8, &dirsStored, &convError) || !storedName(name, utf8, &nameStored, &convError))
                return fail(e.line, "'" + rel + "': " + convError);
            if (!e.name.empty())
                nameStored = e.name;
            std::string subDir = joinSubDir(e.subDir, dirsStored);
            std::string problem = checkSubDir(subDir, utf8);
            if (problem.empty())
                problem = checkPathComponent(nameStored, utf8);
            if (!problem.empty())
                return fail(e.line, "'" + rel + "': " + problem);
            if (subDir.size() > 259 || nameStored.size() > 259)
                return fail(e.line, "'" + rel + "': the target folder or name is longer than 259 bytes");
            memcpy(f.record.subDir, subDir.c_str(), subDir.size() + 1);
            memcpy(f.record.fileName, nameStored.c_str(), nameStored.size() + 1);
            unsigned otherLine = 0;
            switch (targets.add(e.targetDir, subDir, nameStored, static_cast<unsigned>(e.line), &otherLine)) {
            case TargetPaths::None: break;
            case TargetPaths::SameFile:
                return fail(e.line, "target " + displayTarget(f.record, utf8) + " is already installed by line " +
                                        std::to_string(otherLine) + " (Windows compares names without case)");
            case TargetPaths::FileIsFolder:
                return fail(e.line, "target " + displayTarget(f.record, utf8) + " is a folder of a file of line " +
                                        std::to_string(otherLine));
            case TargetPaths::FolderIsFile:
                return fail(e.line, "a folder of target " + displayTarget(f.record, utf8) +
                                        " is a file installed by line " + std::to_string(otherLine));
            }
            if (e.group > highestGroup) {
                highestGroup = e.group;
                highestLine = e.line;
            }
            files->push_back(f);
        }
    }
    if (manifest.hasGroups) {
        if (highestGroup > manifest.groups)
            return fail(highestLine, "group " + std::to_string(highestGroup) + " exceeds 'groups " +
                                         std::to_string(manifest.groups) + "' of line " +
                                         std::to_string(manifest.groupsLine));
        *groupCount = manifest.groups;
    } else {
        *groupCount = std::max(highestGroup, 1);
    }
    return true;
}

bool packArchive(const Manifest& manifest, const fs::path& baseDir, const fs::path& outDir,
                 const PackOptions& options, PackSummary* summary, std::string* error, std::ostream* log) {
    *summary = PackSummary();
    if (options.volumeCap != 0 && options.volumeCap < VolumePlanner::minimumCap()) {
        *error = "--volume-size must be at least " + std::to_string(VolumePlanner::minimumCap()) + " bytes";
        return false;
    }
    std::vector<PackFile> files;
    int32_t groupCount = 1;
    if (!resolveManifest(manifest, baseDir, &files, &groupCount, error))
        return false;
    if (files.size() > UINT32_MAX) {
        *error = "too many files";
        return false;
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        *error = "cannot create the folder " + pathToUtf8(outDir);
        return false;
    }

    VolumePlanner planner(options.volumeCap);
    VolumeWriter writer(outDir, options.diskDirs);
    CheckTable check;
    uint32_t openVolume = 0;
    uint64_t total = 0;
    std::vector<VolumePiece> pieces;
    uint64_t totalIn = 0, doneIn = 0;
    if (options.progress)  // the total is for the progress line alone
        for (const PackFile& f : files)
            totalIn += fileSizeOrZero(f.source);
    PackQueue queue(files, manifest.displayName, std::max(1u, options.threads));
    for (size_t i = 0; i < files.size(); ++i) {
        std::unique_ptr<PackedFile> packed = queue.next();
        if (!packed->thrown.empty())
            throw std::runtime_error(packed->thrown);
        if (!packed->error.empty()) {
            *error = packed->error;
            return false;
        }
        const PackFile& f = files[i];
        const std::string where = describeFile(manifest.displayName, f);
        std::string problem;
        Spool& spool = packed->spool;
        const uint64_t expanded = packed->expanded;
        const uint32_t dataCrc = packed->dataCrc;
        total += expanded;

        pieces.clear();
        if (!planner.place(spool.byteCount(), &pieces, &problem)) {
            *error = where + ": " + problem;
            return false;
        }
        for (const VolumePiece& piece : pieces) {
            if (piece.volume != openVolume) {
                if (!writer.open(piece.volume, error))
                    return false;
                openVolume = piece.volume;
            }
            tagCompressFileHeader record = packed->record;
            record.continued = piece.continued ? 1 : 0;
            record.chunkSize = piece.chunkSize;
            unsigned char bytes[FileRecordSize];
            serializeFileRecord(record, bytes);
            if (&piece == &pieces.front())  // the record in front of the file's first data
                check.entries.push_back({crc32Update(0, bytes, sizeof bytes), record.expandedSize, dataCrc});
            writer.stream().write(reinterpret_cast<const char*>(bytes), sizeof bytes);
            if (!spool.copyTo(piece.streamOffset, piece.chunkSize, writer.stream()) || !writer.check(error)) {
                // A failed volume write is told by Check; else the spool failed.
                if (!writer.check(error))
                    return false;
                *error = where + ": cannot read back the compressed data from its temporary file";
                return false;
            }
        }
        summary->compressed += spool.byteCount();
        if (log) {
            char line[160];
            snprintf(line, sizeof line, "%5zu  %10llu -> %10llu  %-6s %4u  vol %u  ", i + 1,
                     (unsigned long long)expanded, (unsigned long long)spool.byteCount(),
                     packed->literals == ImplodeAscii ? "ascii" : "binary", f.dict, pieces.front().volume);
            *log << line << displayTarget(packed->record) << "\n";
        }
        if (options.progress)
            options.progress(PackProgress{i + 1, files.size(), doneIn += expanded, totalIn});
    }
    if (files.empty() && !writer.open(1, error))
        return false;
    if (total > UINT32_MAX) {
        *error = "the files add up to " + std::to_string(total) +
                 " bytes, more than the archive header's 32-bit total size can state";
        return false;
    }
    ArchiveHeader header;
    header.totalSize = static_cast<uint32_t>(total);
    header.fileCount = static_cast<uint32_t>(files.size());
    header.groupCount = groupCount;
    header.formatVersion = archiveFormat(manifest.namesUtf8);
    header.shortcutPrefixLength = manifest.shortcutPrefixLength;
    unsigned char rawHeader[ArchiveHeaderSize];
    serializeArchiveHeader(header, rawHeader);
    check.headerCrc = crc32Update(0, rawHeader, sizeof rawHeader);
    if (!writer.close(error) || !writer.patchHeader(header, error) ||
        !writer.writeCheck(serializeCheckFile(check), error) || !writer.commit(error))
        return false;
    summary->files = header.fileCount;
    summary->volumes = std::max<uint32_t>(planner.volumeCount(), 1);
    summary->expanded = total;
    return true;
}
