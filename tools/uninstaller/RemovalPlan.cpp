// The uninstaller's decisions over plain data; see RemovalPlan.h.
#include "tools/uninstaller/RemovalPlan.h"

#include <string.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "Setup.h"
#include "common/AsciiCase.h"
#include "format/InstallLog.h"
#include "format/RecordNames.h"
#include "format/Records.h"
#include "format/VolumeFormat.h"
#include "format/RegistryNames.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string trim(const char* text) {
    const char* begin = text;
    while (isBlank(*begin))
        ++begin;
    const char* end = begin + strlen(begin);
    while (end > begin && isBlank(end[-1]))
        --end;
    return std::string(begin, end);
}

bool sameComponent(const std::string& a, const std::string& b) {
    return sameName(a.data(), a.size(), b.data(), b.size());
}

// `outer` is a prefix of `inner`, component by component.
bool startsWith(const std::vector<std::string>& inner, const std::vector<std::string>& outer) {
    if (outer.size() > inner.size())
        return false;
    for (size_t i = 0; i < outer.size(); ++i)
        if (!sameComponent(inner[i], outer[i]))
            return false;
    return true;
}

enum class RootKind { Install, Shared, Shortcut };

struct Root {
    std::vector<std::string> parts;
    RootKind kind;
};

std::vector<Root> rootsOf(const KnownFolders& f) {
    std::vector<Root> roots;
    auto add = [&](const std::string& path, RootKind kind) {
        Root root;
        root.kind = kind;
        if (!path.empty() && splitPath(path, &root.parts))
            roots.push_back(root);
    };
    add(f.install, RootKind::Install);
    add(f.windows, RootKind::Shared);
    add(f.system, RootKind::Shared);
    add(f.desktop, RootKind::Shortcut);
    add(f.startup, RootKind::Shortcut);
    add(f.startMenu, RootKind::Shortcut);
    add(f.programs, RootKind::Shortcut);
    return roots;
}

// The folder a targetDir names; "" when this machine has none (targetDir 3
// names no folder: its subDir is the whole folder).
std::string baseFolder(int32_t targetDir, const KnownFolders& f) {
    TargetBase base = targetBase(targetDir);
    switch (base.kind) {
    case TargetBase::Windows: return f.windows;
    case TargetBase::System: return f.system;
    case TargetBase::Install: return f.install;
    case TargetBase::Special: break;
    case TargetBase::Absolute:
    case TargetBase::Invalid: return "";
    }
    switch (base.csidl) {
    case ShellFolderDesktop: return f.desktop;
    case ShellFolderStartup: return f.startup;
    case ShellFolderStartMenu: return f.startMenu;
    case ShellFolderPrograms: return f.programs;
    default: return "";
    }
}

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty())
        return name;
    if (name.empty())
        return folder;
    return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

}  // namespace

// ---------------------------------------------------------------------------
// Command line.

bool parseCommandLine(const char* text, CommandLine* out) {
    *out = CommandLine();
    std::string rest = trim(text ? text : "");
    while (!rest.empty() && (rest[0] == '/' || rest.compare(0, 2, "\"/") == 0)) {
        // A switch ends at the first blank outside quotes; its quotes go.
        std::string word;
        size_t end = 0;
        bool quoted = false;
        for (; end < rest.size() && (quoted || (rest[end] != ' ' && rest[end] != '\t')); ++end) {
            if (rest[end] == '"')
                quoted = !quoted;
            else
                word += rest[end];
        }
        if (word == "/S" || word == "/s")
            out->unattended = true;
        else if (word.size() > 5 && equalsAsciiNoCase(word.c_str(), 5, "/LOG="))
            out->logPath = word.substr(5);
        else
            return false;
        rest = trim(rest.c_str() + end);
    }
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
        rest = trim(rest.substr(1, rest.size() - 2).c_str());
    out->name = rest;
    return !rest.empty();
}

std::vector<ProductChoice> productChoices(const std::string& name) {
    std::vector<ProductChoice> out;
    if (name.size() > 1 && name.back() == '_')
        out.push_back({name.substr(0, name.size() - 1), true});
    out.push_back({name, false});
    return out;
}

bool validKeyName(const std::string& name) {
    if (name.empty() || name.size() > 200)
        return false;
    for (char c : name)
        if (c == '\\' || static_cast<unsigned char>(c) < 32)
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// The plan.

bool installFolderAcceptable(const KnownFolders& f) {
    std::vector<std::string> install;
    if (!splitPath(f.install, &install) || install.size() < 2)
        return false;
    for (const std::string& known : {f.windows, f.system, f.desktop, f.startup, f.startMenu, f.programs, f.self}) {
        std::vector<std::string> parts;
        if (!known.empty() && splitPath(known, &parts) && startsWith(parts, install))
            return false;
    }
    return sharedRootClash(f.install, f.shared) == RootClash::None;
}

namespace {

// What the resolver said of each folder on the way, asked once per folder:
// a log of many thousand files in as many folders stays linear.
class FolderFacts {
public:
    explicit FolderFacts(PathResolver& resolver) : resolver_(resolver) {}
    const ResolvedPath& of(const std::vector<std::string>& parts, size_t count) {
        std::string key = pathKey(parts, count);
        auto it = known_.find(key);
        if (it == known_.end())
            it = known_.emplace(std::move(key), resolver_.resolve(joinParts(parts, count))).first;
        return it->second;
    }

private:
    PathResolver& resolver_;
    std::unordered_map<std::string, ResolvedPath> known_;
};

// A folder on the way spelt in the log is a link that leads into `root`
// (not to the root itself or above it: an installation folder may be a
// link, and so may a folder above it). A link inside the product's folder
// could have been made by anyone; what lies behind it is not the product's.
bool reachedThroughLink(const std::vector<std::string>& spelled, const std::vector<std::string>& root,
                        FolderFacts& facts) {
    for (size_t n = 2; n < spelled.size(); ++n) {
        const ResolvedPath& folder = facts.of(spelled, n);
        if (!folder.link)
            continue;
        std::vector<std::string> target;
        if (splitPath(folder.target, &target) && startsWith(root, target))
            continue;
        return true;
    }
    return false;
}

}  // namespace

RemovalPlan planRemoval(const unsigned char* log, size_t size, const KnownFolders& folders) {
    SpelledPaths spelled;
    return planRemoval(log, size, folders, spelled);
}

RemovalPlan planRemoval(const unsigned char* log, size_t size, const KnownFolders& folders, PathResolver& resolver) {
    RemovalPlan plan;
    size_t count = size / FileRecordSize;
    if (size % FileRecordSize != 0) {
        plan.badRecord = count;
        plan.fault = "the last record is cut short";
        return plan;
    }
    std::vector<Root> roots = rootsOf(folders);
    std::vector<std::string> self;
    splitPath(folders.self, &self);

    struct Listed {
        std::vector<std::string> parts;  // as the log spells it
        bool ok;  // a drive-absolute path that splits
        bool temporary;
        bool shortcut;  // the file (or the file it stands in for) is a shortcut
    };
    std::vector<Listed> listed;
    listed.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* raw = log + i * FileRecordSize;
        tagCompressFileHeader record;
        if (const char* fault = logRecordFault(raw, &record)) {
            plan.badRecord = i;
            plan.fault = fault;
            return plan;
        }
        Listed entry;
        entry.temporary = i > 0 && followsAsTemporary(raw - FileRecordSize, raw, record);
        entry.shortcut = entry.temporary ? listed.back().shortcut : isShortcutPath(record.fileName);
        std::string base = baseFolder(record.targetDir, folders);
        bool known = record.targetDir == TargetNone || !base.empty();
        entry.ok = known && splitPath(join(join(base, record.subDir), record.fileName), &entry.parts);
        // A name that passed the engine's own checks but still does not make
        // a path (a stream colon, a wildcard) was never written by it.
        if (known && !entry.ok && record.targetDir != TargetNone) {
            plan.badRecord = i;
            plan.fault = "a name holds a character no file name may hold";
            return plan;
        }
        listed.push_back(entry);
    }

    FolderFacts facts(resolver);
    std::unordered_set<std::string> seen;
    std::unordered_set<std::string> knownFolders;
    std::vector<std::vector<std::string>> folderParts;
    for (size_t i = count; i-- > 0;) {
        const Listed& entry = listed[i];
        PlannedFile file;
        file.temporary = entry.temporary;
        file.link = false;
        file.fate = FileFate::Outside;
        if (!entry.ok) {
            // targetDir 3 with a folder that is no drive path, or a shell
            // folder this machine lacks: nothing we may touch.
            tagCompressFileHeader record = parseFileRecord(log + i * FileRecordSize);
            file.path = join(join(baseFolder(record.targetDir, folders), record.subDir), record.fileName);
            plan.files.push_back(file);
            continue;
        }
        // Every rule below is about where the file really is.
        ResolvedPath where = resolver.resolve(joinParts(entry.parts, entry.parts.size()));
        std::vector<std::string> parts;
        if (!splitPath(where.path, &parts)) {
            file.path = where.path.empty() ? joinParts(entry.parts, entry.parts.size()) : where.path;
            plan.files.push_back(file);  // resolves to no drive path (a share): outside
            continue;
        }
        if (!seen.insert(pathKey(parts, parts.size())).second)
            continue;  // the same file twice (or under two names) is one removal
        file.path = joinParts(parts, parts.size());
        file.link = where.link;

        // The most specific folder decides: a Start Menu inside the Windows
        // folder is still a shortcut folder.
        const Root* best = nullptr;
        for (const Root& root : roots)
            if (parts.size() > root.parts.size() && startsWith(parts, root.parts) &&
                (!best || root.parts.size() > best->parts.size()))
                best = &root;
        if (!self.empty() && self.size() == parts.size() && startsWith(parts, self))
            file.fate = FileFate::Self;
        else if (!best)
            file.fate = FileFate::Outside;
        else if (best->kind == RootKind::Shared)
            file.fate = FileFate::Shared;
        else if (best->kind == RootKind::Shortcut && !entry.shortcut)
            file.fate = FileFate::NotShortcut;
        else if (reachedThroughLink(entry.parts, best->parts, facts))
            file.fate = FileFate::BehindLink;
        else
            file.fate = FileFate::Remove;
        plan.files.push_back(file);
        if (file.fate != FileFate::Remove)
            continue;
        for (size_t n = best->parts.size() + 1; n < parts.size(); ++n) {
            if (knownFolders.insert(pathKey(parts, n)).second)
                folderParts.emplace_back(parts.begin(), parts.begin() + n);
        }
    }
    // Deepest first, so that a folder is tried after the folders inside it;
    // the order among equals stays that of the files.
    std::stable_sort(folderParts.begin(), folderParts.end(),
                     [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
                         return a.size() > b.size();
                     });
    for (const auto& f : folderParts)
        plan.folders.push_back(joinParts(f, f.size()));
    plan.valid = true;
    return plan;
}

size_t keepOtherProductsFiles(RemovalPlan& plan, const std::vector<std::string>& others) {
    std::unordered_set<std::string> listed;
    std::vector<std::string> parts;
    for (const std::string& path : others)
        if (splitPath(path, &parts))
            listed.insert(pathKey(parts, parts.size()));
    size_t kept = 0;
    for (PlannedFile& file : plan.files)
        if (file.fate == FileFate::Remove && splitPath(file.path, &parts) &&
            listed.count(pathKey(parts, parts.size()))) {
            file.fate = FileFate::OtherProduct;
            ++kept;
        }
    return kept;
}

PlannedPaths::PlannedPaths(const RemovalPlan& plan) {
    for (const PlannedFile& file : plan.files)
        add(file.path);
    for (const std::string& folder : plan.folders)
        add(folder);
}

void PlannedPaths::add(const std::string& path) {
    std::vector<std::string> parts;
    if (splitPath(path, &parts))
        keys_.insert(pathKey(parts, parts.size()));
}

std::vector<std::string> PlannedPaths::unplanned(const std::vector<std::string>& entries) const {
    std::vector<std::string> out;
    std::vector<std::string> parts;
    for (const std::string& entry : entries)
        if (!splitPath(entry, &parts) || !keys_.count(pathKey(parts, parts.size())))
            out.push_back(entry);
    return out;
}

std::vector<std::string> installFolderCandidates(const std::string& programFolder) {
    std::vector<std::string> out;
    std::vector<std::string> parts;
    if (!splitPath(programFolder, &parts))
        return out;
    for (size_t n = parts.size(); n >= 2; --n)
        out.push_back(joinParts(parts, n));
    return out;
}

// ---------------------------------------------------------------------------
// Registration.

std::string uninstallKey(const std::string& product) { return std::string(kUninstallKey) + "\\" + product; }

std::string productKey(const std::string& product) { return std::string(kProductsKey) + "\\" + product; }

std::string appPathsKey(const std::string& exeName) { return std::string(kAppPathsKey) + "\\" + exeName; }

std::vector<RegistryRemoval> registryRemovals(const std::string& product, const std::string& exeName) {
    std::vector<RegistryRemoval> out;
    // The shell verb: QRV_Files\Shell\<product>\command; other products'
    // verbs may share QRV_Files\Shell, which goes only when empty.
    out.push_back({RegistryRoot::ClassesRoot, std::string(kShellVerbsKey) + "\\" + product, "", false});
    if (!exeName.empty() && validKeyName(exeName))
        out.push_back({RegistryRoot::LocalMachine, appPathsKey(exeName), kAppPathsKey, true});
    out.push_back({RegistryRoot::LocalMachine, productKey(product), "SOFTWARE", false});
    // The Uninstall entry goes last: while it is there the removal can be tried again.
    out.push_back({RegistryRoot::LocalMachine, uninstallKey(product), kUninstallKey, false});
    return out;
}
