// Build.cpp: `setupvol build`; see Build.h.
#include "tools/setupvol/Build.h"

#include <algorithm>
#include <fstream>

#include "format/FileCheck.h"
#include "format/RegistryNames.h"
#include "resources/resource.h"
#include "setup/LanguageRules.h"
#include "tools/onefile/Payload.h"
#include "tools/product/ProductFile.h"
#include "tools/product/ProductRules.h"
#include "tools/setupvol/Commands.h"
#include "tools/setupvol/FileSys.h"
#include "tools/setupvol/Names.h"
#include "tools/setupvol/Packer.h"

namespace fs = std::filesystem;

namespace {

const char kSetupDllName[] = "Setup.Dll";
const size_t kCopyBlock = 1 << 20;

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return s;
}

// One file the setup needs beside it: its name there ('/' between levels)
// and where it comes from.
struct Part {
    std::string name;
    fs::path source;
};

// The language libraries, in the order of the language dialog's flags:
// every one, or those of `languages` (two-letter codes) when given.
std::vector<std::string> languageLibraries(const std::vector<std::string>* languages = nullptr) {
    std::vector<std::string> names;
    char name[32];
    for (int id = IDL_ENGLISH; languageCode(id); ++id)
        if ((!languages || std::find(languages->begin(), languages->end(), languageCode(id)) != languages->end()) &&
            languageLibraryName(id, name, sizeof name))
            names.push_back(name);
    return names;
}

// The product file and what it names: its manifest's text (and the folder
// its sources are relative to) and the page files the wizard shows.
struct Product {
    fs::path file;
    ProductDescription description;
    std::string manifestText, manifestName;
    fs::path manifestBase;
    std::vector<Part> pageFiles;
};

bool readProduct(const fs::path& file, Product* product, std::ostream& err) {
    product->file = file;
    const std::string shown = pathToUtf8(file);
    std::string text;
    if (!readWholeFile(file, &text)) {
        err << "setupvol: cannot read the product file " << shown << "\n";
        return false;
    }
    ProductResult result = parseProductFile(text, shown);
    const ProductDescription& d = result.description;
    fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    if (result.ok()) {
        if (d.files.manifestPath.empty()) {
            product->manifestText = d.files.inlineManifest;
            product->manifestName = shown;
            product->manifestBase = folder;
        } else {
            fs::path manifest = folder / pathFromUtf8(d.files.manifestPath);
            product->manifestName = pathToUtf8(manifest);
            product->manifestBase = manifest.parent_path();
            if (!readWholeFile(manifest, &product->manifestText))
                result.errors.push_back(
                    {shown, d.files.lines.of("manifest"), 0, "the manifest " + product->manifestName + " cannot be read"});
        }
    }
    if (result.ok())
        result.errors = checkProductManifest(d, product->manifestText, product->manifestName);
    // The setup reads the page files beside the product file: a path that
    // leaves its folder would name a file the payload cannot hold.
    for (const Page& page : d.pages)
        for (const auto& byLanguage : page.file.byLanguage) {
            std::string name = byLanguage.second;
            std::replace(name.begin(), name.end(), '\\', '/');
            if (!isInstallRelative(byLanguage.second) || !isSafePayloadName(name)) {
                result.errors.push_back({shown, page.lines.of("file"), 0,
                                         "the page file '" + byLanguage.second +
                                             "' must be a plain relative path inside the product file's folder"});
                continue;
            }
            bool known = false;
            for (const Part& p : product->pageFiles)
                known |= lowered(p.name) == lowered(name);
            if (!known)
                product->pageFiles.push_back({name, folder / pathFromUtf8(name)});
        }
    for (const ProductError& e : result.errors)
        err << e.text() << "\n";
    product->description = d;
    return result.ok();
}

// The manifest, and the uninstaller every product's registration names,
// into the Windows folder in group 1 (unless the manifest installs it
// there itself).
bool productManifest(const Product& product, const fs::path& uninstaller, Manifest* manifest, std::string* problem) {
    if (!parseManifest(product.manifestText, product.manifestName, manifest, problem, NamesByDefault::Utf8))
        return false;
    const int windows = targetDirFromKeyword("windows");
    for (const ManifestEntry& e : manifest->entries) {
        std::string name = e.name.empty() ? pathToUtf8(pathFromUtf8(e.source).filename()) : e.name;
        if (!e.tree && e.targetDir == windows && e.subDir.empty() && lowered(name) == lowered(kUninstallerName))
            return true;
    }
    ManifestEntry entry;
    entry.source = pathToUtf8(fs::absolute(uninstaller));
    std::replace(entry.source.begin(), entry.source.end(), '\\', '/');
    entry.targetDir = windows;
    entry.group = 1;
    manifest->entries.push_back(entry);
    return true;
}

// The files beside the setup, but for the volumes, in the order they are
// stored: the setup and its runtime (the language libraries of the
// product's languages only), the product file, its page files.
std::vector<Part> setupParts(const Product& product, const fs::path& runtime, const fs::path& toolDir) {
    std::vector<Part> parts;
    parts.push_back({kGenericSetupName, runtimeFilePath(runtime, toolDir, kGenericSetupName)});
    parts.push_back({kSetupDllName, runtimeFilePath(runtime, toolDir, kSetupDllName)});
    for (const std::string& name : languageLibraries(&product.description.product.languages))
        parts.push_back({name, runtimeFilePath(runtime, toolDir, name)});
    parts.push_back({kProductFileName, product.file});
    parts.insert(parts.end(), product.pageFiles.begin(), product.pageFiles.end());
    return parts;
}

// Data1.Dat, Data2.Dat ... and Data.Chk as packArchive left them in `dir`.
void addVolumes(const fs::path& dir, bool diskDirs, std::vector<Part>* parts) {
    for (uint32_t n = 1;; ++n) {
        fs::path volume = volumePath(dir, diskDirs, n);
        std::error_code ec;
        if (!fs::is_regular_file(volume, ec))
            break;
        parts->push_back({pathToUtf8(volume.filename()), volume});
    }
    fs::path check = volumePath(dir, diskDirs, 1).parent_path() / kCheckFileName;
    std::error_code ec;
    if (fs::is_regular_file(check, ec))
        parts->push_back({kCheckFileName, check});
}

// Appends `source` to `out`, giving its size and CRC-32.
bool appendFile(const fs::path& source, std::ofstream& out, PayloadEntry* entry, std::string* problem) {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        *problem = "cannot read " + pathToUtf8(source);
        return false;
    }
    std::vector<char> buffer(kCopyBlock);
    entry->size = 0;
    entry->crc = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const size_t got = static_cast<size_t>(in.gcount());
        entry->crc = crc32Update(entry->crc, buffer.data(), got);
        entry->size += got;
        out.write(buffer.data(), static_cast<std::streamsize>(got));
    }
    if (in.bad()) {
        *problem = "cannot read " + pathToUtf8(source);
        return false;
    }
    return true;
}

// Writes the stub, then every part and the payload's tail, to `output`
// (through a temporary name beside it, so that a failure leaves no
// half-written setup).
bool writeOneFile(const fs::path& stubPath, const std::vector<Part>& parts, const fs::path& output,
                  uint64_t* size, std::string* problem) {
    std::string text;
    if (!readWholeFile(stubPath, &text)) {
        *problem = "cannot read the stub " + pathToUtf8(stubPath);
        return false;
    }
    std::vector<unsigned char> stub(text.begin(), text.end());
    PayloadFault fault = stripSignature(&stub);
    if (fault != PayloadFault::None) {
        *problem = pathToUtf8(stubPath) + " is no setup stub: " + payloadFaultText(fault);
        return false;
    }
    fs::path partial = output;
    partial += ".partial";
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    if (!out) {
        *problem = "cannot create " + pathToUtf8(partial);
        return false;
    }
    out.write(reinterpret_cast<const char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
    std::vector<PayloadEntry> entries;
    for (const Part& part : parts) {
        PayloadEntry entry;
        entry.name = part.name;
        if (!appendFile(part.source, out, &entry, problem)) {
            out.close();
            fs::remove(partial);
            return false;
        }
        entries.push_back(entry);
    }
    std::vector<unsigned char> tail = serializePayloadTail(entries);
    out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    *size = static_cast<uint64_t>(out.tellp());
    out.close();
    std::error_code ec;
    if (out.fail()) {
        *problem = whyWriteFailed(partial);
        fs::remove(partial, ec);
        return false;
    }
    fs::rename(partial, output, ec);
    if (ec) {
        *problem = "cannot replace " + pathToUtf8(output) + ": " + ec.message();
        fs::remove(partial, ec);
        return false;
    }
    return true;
}

// The floppy layout: the parts copied beside the first volume, the generic
// setup as Setup.exe.
bool copyBeside(const std::vector<Part>& parts, const fs::path& folder, std::string* problem) {
    for (const Part& part : parts) {
        fs::path target = folder / pathFromUtf8(part.name == kGenericSetupName ? "Setup.exe" : part.name);
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        fs::copy_file(part.source, target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            *problem = "cannot copy " + pathToUtf8(part.source) + " to " + pathToUtf8(target) + ": " + ec.message();
            return false;
        }
    }
    return true;
}

bool checkRuntime(const std::vector<Part>& parts, std::string* problem) {
    for (const Part& part : parts) {
        std::error_code ec;
        if (!fs::is_regular_file(part.source, ec)) {
            *problem = "missing: " + pathToUtf8(part.source) + " (the runtime folder is --runtime DIR)";
            return false;
        }
    }
    return true;
}

}  // namespace

fs::path runtimeFilePath(const fs::path& runtimeDir, const fs::path& toolDir, const std::string& name) {
    if (!runtimeDir.empty())
        return runtimeDir / pathFromUtf8(name);
    const fs::path sdk = toolDir.parent_path();
    if (name == kUninstallerName)
        return toolDir / pathFromUtf8(name);
    for (const std::string& library : languageLibraries())
        if (name == library)
            return sdk / "lang" / pathFromUtf8(name);
    return sdk / "bin" / pathFromUtf8(name);
}

namespace {

int build(const std::vector<std::string>& in, std::ostream& out, std::ostream& err) {
    CommandArgs args;
    std::string problem;
    if (!splitCommandArgs(in, 1, {"-o", "--runtime", "--volume-size", "--threads"}, {"--disk-dirs", "--quiet"},
                          &args, &problem))
        return commandUsage(err, problem);
    if (args.positional.size() != 1 || !args.has("-o"))
        return commandUsage(err, "build needs a product file and -o OUT");
    PackOptions options;
    if (!readPackOptions(args, &options, &problem))
        return commandUsage(err, problem);
    const bool folderLayout = args.has("--volume-size") || args.has("--disk-dirs");
    const fs::path output = pathFromUtf8(args.get("-o"));
    const fs::path runtime = args.has("--runtime") ? pathFromUtf8(args.get("--runtime")) : fs::path();
    const fs::path toolDir = ownProgramPath().parent_path();

    Product product;
    if (!readProduct(pathFromUtf8(args.positional[0]), &product, err))
        return 1;
    Manifest manifest;
    if (!productManifest(product, runtimeFilePath(runtime, toolDir, kUninstallerName), &manifest, &problem)) {
        err << "setupvol: " << problem << "\n";
        return 1;
    }
    std::vector<Part> parts = setupParts(product, runtime, toolDir);
    const fs::path stub = runtimeFilePath(runtime, toolDir, kSetupStubName);
    std::vector<Part> needed = parts;
    needed.push_back({kUninstallerName, runtimeFilePath(runtime, toolDir, kUninstallerName)});
    if (!folderLayout)
        needed.push_back({kSetupStubName, stub});
    if (!checkRuntime(needed, &problem)) {
        err << "setupvol: " << problem << "\n";
        return 1;
    }

    // The volumes go straight into a floppy layout's folder, or into a
    // scratch folder beside the one file, removed afterwards.
    fs::path volumes = output;
    if (!folderLayout)
        volumes += ".volumes";
    std::error_code ec;
    if (!folderLayout)
        fs::remove_all(volumes, ec);
    PackSummary summary;
    bool ok = packArchive(manifest, product.manifestBase, volumes, options, &summary, &problem,
                          args.has("--quiet") ? nullptr : &out);
    uint64_t size = 0;
    if (ok && folderLayout) {
        ok = copyBeside(parts, volumePath(volumes, options.diskDirs, 1).parent_path(), &problem);
    } else if (ok) {
        addVolumes(volumes, false, &parts);
        ok = writeOneFile(stub, parts, output, &size, &problem);
    }
    if (!folderLayout)
        fs::remove_all(volumes, ec);
    if (!ok) {
        err << "setupvol: " << problem << "\n";
        return 1;
    }
    out << summary.files << " files, " << summary.expanded << " bytes -> " << summary.compressed
        << " bytes of compressed data in " << summary.volumes << (summary.volumes == 1 ? " volume" : " volumes");
    if (folderLayout)
        out << ", with the setup beside volume 1\n";
    else
        out << "; " << pathToUtf8(output) << ": " << size << " bytes\n";
    return 0;
}

}  // namespace

int runBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        return build(args, out, err);
    } catch (const std::exception& e) {
        err << "setupvol: " << e.what() << "\n";
        return 1;
    }
}
