// Commands.cpp: argument handling and the seven commands of setupvol.
#include "tools/setupvol/Commands.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>

#include "explode/Explode.h"
#include "implode/Implode.h"
#include "tools/setupvol/Archive.h"
#include "tools/setupvol/FileSys.h"
#include "tools/setupvol/Manifest.h"
#include "tools/setupvol/Names.h"
#include "tools/setupvol/OutputTree.h"
#include "tools/setupvol/Packer.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage:\n"
    "  setupvol pack MANIFEST -o DIR [--volume-size BYTES] [--disk-dirs] [--threads N] [--quiet]\n"
    "  setupvol build PRODUCT-FILE -o Setup.exe [--runtime DIR] [--threads N] [--quiet]\n"
    "  setupvol build PRODUCT-FILE -o DIR --volume-size BYTES|--disk-dirs [--runtime DIR] [...]\n"
    "  setupvol list DIR\n"
    "  setupvol verify DIR\n"
    "  setupvol extract DIR -o OUT\n"
    "  setupvol implode [--literals binary|ascii] [--dict 1024|2048|4096] IN OUT\n"
    "  setupvol explode IN OUT\n"
    "  setupvol --version\n"
    "Volumes are DIR/Data<n>.Dat, or DIR/Disk<n>/Data<n>.Dat with --disk-dirs.\n"
    "--volume-size caps every volume (1457664 fills a 1.44 MB floppy disk).\n"
    "--threads: files compressed at once (default: one per core); the volumes are the same for any number.\n"
    "build: one Setup.exe holding the generic setup, the runtime, the product file and its volumes;\n"
    "with --volume-size or --disk-dirs a folder instead, as pack makes, with those files beside volume 1.\n"
    "--runtime: the folder of GenericSetup.exe, SetupStub.exe, Setup.Dll, Setup_xx.Dll and QRVUnins.Exe\n"
    "(default: the SDK's bin/, lang/ and tools/ beside this program).\n";

// Most threads `pack` takes: beyond this many, files are written faster
// than compressed only on machines far larger than a build host.
const unsigned kMaxThreads = 256;

int usage(std::ostream& err, const std::string& problem) { return commandUsage(err, problem); }

void printProblems(const ArchiveReport& report, std::ostream& err) {
    for (const std::string& w : report.warnings)
        err << "warning: " << w << "\n";
    for (const std::string& e : report.errors)
        err << "error: " << e << "\n";
}

// A line on the terminal that says how far packing has come, rewritten in
// place at most ten times a second, and cleared at the end. Spaces, not an
// escape sequence, clear it: a Windows console shows those as they are.
class ProgressLine {
public:
    explicit ProgressLine(std::ostream& err) : err(err) {}
    ~ProgressLine() { clear(); }
    void clear() {
        if (shown != 0)
            err << '\r' << std::string(shown, ' ') << '\r' << std::flush;
        shown = 0;
    }
    void operator()(const PackProgress& p) {
        auto now = std::chrono::steady_clock::now();
        if (shown != 0 && p.filesDone != p.fileCount && now - last < std::chrono::milliseconds(100))
            return;
        last = now;
        const uint64_t percent = p.byteCount == 0 ? 100 : std::min<uint64_t>(100, p.bytesDone * 100 / p.byteCount);
        std::string text = "packing: " + std::to_string(p.filesDone) + " of " + std::to_string(p.fileCount) +
                           " files, " + std::to_string(percent) + "% of the bytes";
        const size_t width = text.size();
        text.resize(std::max(width, shown), ' ');
        err << '\r' << text << std::flush;
        shown = width;
    }

private:
    std::ostream& err;
    std::chrono::steady_clock::time_point last;
    size_t shown = 0; // characters of the line on screen
};

int pack(const std::vector<std::string>& in, std::ostream& out, std::ostream& err) {
    CommandArgs args;
    std::string problem;
    if (!splitCommandArgs(in, 1, {"-o", "--volume-size", "--threads"}, {"--disk-dirs", "--quiet"}, &args, &problem))
        return usage(err, problem);
    if (args.positional.size() != 1 || !args.has("-o"))
        return usage(err, "pack needs a manifest and -o DIR");
    PackOptions options;
    if (!readPackOptions(args, &options, &problem))
        return usage(err, problem);
    // Progress goes to a terminal only: never into a pipe, a log or a test's
    // stream; and not between the lines of the listing on the same screen,
    // which tells as much.
    const bool quiet = args.has("--quiet");
    ProgressLine progress(err);
    if (&err == &std::cerr && isTerminal(stderr) && (quiet || &out != &std::cout || !isTerminal(stdout)))
        options.progress = [&progress](const PackProgress& p) { progress(p); };
    fs::path manifestPath = pathFromUtf8(args.positional[0]);
    std::string text;
    if (!readWholeFile(manifestPath, &text)) {
        err << "setupvol: cannot read the manifest " << args.positional[0] << "\n";
        return 1;
    }
    Manifest manifest;
    if (!parseManifest(text, args.positional[0], &manifest, &problem)) {
        err << "setupvol: " << problem << "\n";
        return 1;
    }
    PackSummary summary;
    fs::path base = manifestPath.parent_path();
    if (base.empty())
        base = ".";
    const bool packed = packArchive(manifest, base, pathFromUtf8(args.get("-o")), options, &summary, &problem,
                                    quiet ? nullptr : &out);
    progress.clear();
    if (!packed) {
        err << "setupvol: " << problem << "\n";
        return 1;
    }
    out << summary.files << " files, " << summary.expanded << " bytes -> " << summary.compressed
        << " bytes of compressed data in " << summary.volumes << (summary.volumes == 1 ? " volume\n" : " volumes\n");
    return 0;
}

int list(const std::vector<std::string>& in, std::ostream& out, std::ostream& err, bool expand) {
    CommandArgs args;
    std::string problem;
    if (!splitCommandArgs(in, 1, {}, {}, &args, &problem))
        return usage(err, problem);
    if (args.positional.size() != 1)
        return usage(err, in[0] + " needs the folder of the volumes");
    DirectoryVolumeSet volumes(pathFromUtf8(args.positional[0]));
    ArchiveReport report;
    readArchive(volumes, expand, nullptr, &report);
    if (!expand)
        out << formatListing(report);
    printProblems(report, err);
    if (!report.errors.empty()) {
        err << "setupvol: " << report.errors.size() << (report.errors.size() == 1 ? " problem" : " problems")
            << " found\n";
        return 1;
    }
    if (expand)
        out << report.files.size() << " files in " << report.volumes
            << (report.volumes == 1 ? " volume" : " volumes") << " verified"
            << (report.checked ? ", each against its checksum\n"
                               : " (the set has no check file: expanded bytes not compared)\n");
    return 0;
}

// Writes expanded files to OUT/<target keyword>/<subDir>/<fileName>, never
// through a link already in OUT (OutputTree.h).
class TreeSink : public ArchiveSink {
public:
    explicit TreeSink(const fs::path& root) : root(root) {}
    bool beginFile(const ArchiveFile& file, std::string* error) override {
        const tagCompressFileHeader& r = file.record;
        const bool namesUtf8 = file.namesUtf8;
        // Names that would leave the output folder are refused, whatever
        // the record says.
        if (r.targetDir < 0 || r.targetDir >= 8 || !checkSubDir(r.subDir, namesUtf8).empty() ||
            !checkPathComponent(r.fileName, namesUtf8).empty()) {
            *error = "file " + std::to_string(file.index) + ": not extracted, its target path is invalid";
            return false;
        }
        std::vector<std::string> folders{targetDirKeyword(r.targetDir)};
        std::string sub = hostName(r.subDir, namesUtf8);
        size_t start = 0;
        while (!sub.empty()) {
            size_t end = sub.find('\\', start);
            folders.push_back(sub.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (!out.create(root, folders, hostName(r.fileName, namesUtf8), error)) {
            *error = "file " + std::to_string(file.index) + ": not extracted: " + *error;
            return false;
        }
        return true;
    }
    bool write(const unsigned char* data, size_t size, std::string* error) override {
        return out.write(data, size, error);
    }
    void endFile(const ArchiveFile& file, bool ok) override {
        if (out.path().empty())
            return;
        if (!ok) {
            // A damaged file is not left behind looking complete.
            out.discard();
            return;
        }
        uint64_t ft = (uint64_t(file.record.lastWriteTime.dwHighDateTime) << 32) |
                      file.record.lastWriteTime.dwLowDateTime;
        // A time that cannot be set leaves the file with the time of its
        // writing; its bytes are complete.
        std::string problem;
        out.finish(ft, &problem);
        ++written;
    }
    unsigned written = 0;

private:
    fs::path root;
    OutputFile out;
};

int extract(const std::vector<std::string>& in, std::ostream& out, std::ostream& err) {
    CommandArgs args;
    std::string problem;
    if (!splitCommandArgs(in, 1, {"-o"}, {}, &args, &problem))
        return usage(err, problem);
    if (args.positional.size() != 1 || !args.has("-o"))
        return usage(err, "extract needs the folder of the volumes and -o OUT");
    DirectoryVolumeSet volumes(pathFromUtf8(args.positional[0]));
    TreeSink sink(pathFromUtf8(args.get("-o")));
    ArchiveReport report;
    readArchive(volumes, true, &sink, &report);
    printProblems(report, err);
    out << sink.written << " of " << report.files.size() << " files extracted\n";
    if (!report.errors.empty()) {
        err << "setupvol: " << report.errors.size() << (report.errors.size() == 1 ? " problem" : " problems")
            << " found\n";
        return 1;
    }
    return 0;
}

void writeToStream(const unsigned char* data, size_t size, void* param) {
    static_cast<std::ostream*>(param)->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}


// Opens IN (the first operand) for reading and OUT (the second) for writing;
// false, with the message printed, when either cannot be opened.
bool openInOut(const CommandArgs& args, std::ifstream* src, std::ofstream* dst, std::ostream& err) {
    src->open(pathFromUtf8(args.positional[0]), std::ios::binary);
    if (!*src) {
        err << "setupvol: cannot open " << args.positional[0] << "\n";
        return false;
    }
    dst->open(pathFromUtf8(args.positional[1]), std::ios::binary | std::ios::trunc);
    if (!*dst) {
        err << "setupvol: cannot create " << args.positional[1] << "\n";
        return false;
    }
    return true;
}

int implodeCommand(const std::vector<std::string>& in, std::ostream& out, std::ostream& err) {
    CommandArgs args;
    std::string problem;
    if (!splitCommandArgs(in, 1, {"--literals", "--dict"}, {}, &args, &problem))
        return usage(err, problem);
    if (args.positional.size() != 2)
        return usage(err, "implode needs IN and OUT");
    ImplodeOptions options;
    if (args.has("--literals")) {
        std::string v = args.get("--literals");
        if (v == "ascii")
            options.literals = ImplodeAscii;
        else if (v != "binary")
            return usage(err, "--literals is binary or ascii, not '" + v + "'");
    }
    if (args.has("--dict")) {
        std::string v = args.get("--dict");
        if (v != "1024" && v != "2048" && v != "4096")
            return usage(err, "--dict is 1024, 2048 or 4096, not '" + v + "'");
        options.dictionarySize = static_cast<unsigned>(atoi(v.c_str()));
    }
    std::ifstream src;
    std::ofstream dst;
    if (!openInOut(args, &src, &dst, err))
        return 1;
    Imploder imploder(options, writeToStream, static_cast<std::ostream*>(&dst));
    std::vector<char> buf(1 << 16);
    while (src) {
        src.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        imploder.write(buf.data(), static_cast<size_t>(src.gcount()));
    }
    imploder.finish();
    dst.close();
    if (src.bad() || dst.fail()) {
        err << "setupvol: read or write error\n";
        return 1;
    }
    out << imploder.bytesIn() << " -> " << imploder.bytesOut() << " bytes\n";
    return 0;
}

struct ExplodeFiles {
    std::ifstream* in;
    std::ofstream* out;
    uint64_t written;
};

unsigned int explodeRead(char* buffer, unsigned int* size, void* param) {
    auto* f = static_cast<ExplodeFiles*>(param);
    f->in->read(buffer, *size);
    return static_cast<unsigned int>(f->in->gcount());
}

void explodeWrite(char* buffer, unsigned int* size, void* param) {
    auto* f = static_cast<ExplodeFiles*>(param);
    f->out->write(buffer, *size);
    f->written += *size;
}

int explodeCommand(const std::vector<std::string>& in, std::ostream& out, std::ostream& err) {
    CommandArgs args;
    std::string problem;
    if (!splitCommandArgs(in, 1, {}, {}, &args, &problem))
        return usage(err, problem);
    if (args.positional.size() != 2)
        return usage(err, "explode needs IN and OUT");
    std::ifstream src;
    std::ofstream dst;
    if (!openInOut(args, &src, &dst, err))
        return 1;
    std::unique_ptr<ExplodeWork> work(new ExplodeWork());
    ExplodeFiles files = {&src, &dst, 0};
    unsigned result = Explode(explodeRead, explodeWrite, work.get(), &files);
    dst.close();
    // A cut or damaged stream leaves no partial output that looks complete.
    if (result != ExplodeOk || dst.fail()) {
        std::error_code ec;
        fs::remove(pathFromUtf8(args.positional[1]), ec);
    }
    static const char* const names[] = {"ok", "bad dictionary size", "bad literal mode", "stream too short",
                                        "damaged or cut-off data"};
    if (result != ExplodeOk) {
        err << "setupvol: " << args.positional[0] << ": " << (result < 5 ? names[result] : "unknown error")
            << " (result " << result << ", " << files.written << " bytes expanded; "
            << args.positional[1] << " not kept)\n";
        return 1;
    }
    if (dst.fail()) {
        err << "setupvol: cannot write " << args.positional[1] << "\n";
        return 1;
    }
    out << files.written << " bytes\n";
    return 0;
}

} // namespace

int commandUsage(std::ostream& err, const std::string& problem) {
    err << "setupvol: " << problem << "\n" << kUsage;
    return 2;
}

bool CommandArgs::has(const std::string& name) const {
    for (const auto& o : options)
        if (o.first == name)
            return true;
    return false;
}

std::string CommandArgs::get(const std::string& name) const {
    for (const auto& o : options)
        if (o.first == name)
            return o.second;
    return "";
}

bool splitCommandArgs(const std::vector<std::string>& in, size_t from, const std::vector<std::string>& valued,
                      const std::vector<std::string>& flags, CommandArgs* args, std::string* problem) {
    for (size_t i = from; i < in.size(); ++i) {
        const std::string& a = in[i];
        if (a.size() > 1 && a[0] == '-') {
            bool isValued = false, isFlag = false;
            for (const auto& v : valued)
                isValued |= v == a;
            for (const auto& f : flags)
                isFlag |= f == a;
            if (isValued) {
                if (i + 1 >= in.size()) {
                    *problem = a + " needs a value";
                    return false;
                }
                args->options.emplace_back(a, in[++i]);
            } else if (isFlag) {
                args->options.emplace_back(a, "");
            } else {
                *problem = "unknown option " + a;
                return false;
            }
        } else {
            args->positional.push_back(a);
        }
    }
    return true;
}

bool readPackOptions(const CommandArgs& args, PackOptions* options, std::string* problem) {
    options->diskDirs = args.has("--disk-dirs");
    if (args.has("--volume-size")) {
        std::string v = args.get("--volume-size");
        char* end = nullptr;
        errno = 0;
        unsigned long long cap = strtoull(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || v[0] == '-' || v[0] == '+' || v[0] == ' ' || cap == 0) {
            *problem = "--volume-size needs a number of bytes, not '" + v + "'";
            return false;
        }
        if (errno == ERANGE) {
            *problem = "--volume-size " + v + " is too large (at most 18446744073709551615 bytes)";
            return false;
        }
        options->volumeCap = cap;
    }
    options->threads = std::max(1u, std::thread::hardware_concurrency());
    if (args.has("--threads")) {
        std::string v = args.get("--threads");
        if (v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos ||
            atoi(v.c_str()) < 1 || atoi(v.c_str()) > static_cast<int>(kMaxThreads)) {
            *problem = "--threads needs a number from 1 to " + std::to_string(kMaxThreads) + ", not '" + v + "'";
            return false;
        }
        options->threads = static_cast<unsigned>(atoi(v.c_str()));
    }
    return true;
}

int runSetupVol(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty())
        return usage(err, "no command given");
    const std::string& command = args[0];
    try {
        if (command == "pack")
            return pack(args, out, err);
        if (command == "list")
            return list(args, out, err, false);
        if (command == "verify")
            return list(args, out, err, true);
        if (command == "extract")
            return extract(args, out, err);
        if (command == "implode")
            return implodeCommand(args, out, err);
        if (command == "explode")
            return explodeCommand(args, out, err);
        if (command == "--version" || command == "version") {
            // The runtime's version: the tool and Setup.Dll ship together.
            out << "setupvol " << SETUP_VERSION << "\n";
            return 0;
        }
        if (command == "help" || command == "--help" || command == "-h") {
            out << kUsage;
            return 0;
        }
    } catch (const std::exception& e) {
        err << "setupvol: " << e.what() << "\n";
        return 1;
    }
    return usage(err, "unknown command '" + command + "'");
}
