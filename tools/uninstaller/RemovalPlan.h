// The uninstaller's decisions over plain data: what its command line asks,
// where the installation folder may be found, which of the files an
// Install.log lists may be deleted and in what order, which folders may go
// once empty, and which registry keys the product's registration made.
// Install.log is user-writable, so it is read as hostile input: a file is
// deleted only when what its path resolves to (8.3 aliases expanded, links
// followed) lies inside the installation folder, or is a shortcut inside one
// of the shell's shortcut folders, and no link on its way leads there; files
// of the Windows and system folders are shared and stay; anything else stays
// and is reported. A log with a record the install engine could never have
// written (cut short, unterminated names, a way up "..", a device name) is
// damaged and nothing at all is removed. Portable: no <windows.h>.
#ifndef SETUP_TOOLS_UNINSTALLER_REMOVAL_PLAN_H
#define SETUP_TOOLS_UNINSTALLER_REMOVAL_PLAN_H

#include <stddef.h>

#include <string>
#include <unordered_set>
#include <vector>

#include "format/FolderPaths.h"
#include "format/UninstallerExit.h"

// ---------------------------------------------------------------------------
// Command line.

struct CommandLine {
    bool unattended = false;  // /S: no question, no message, the exit code only
    std::string logPath;      // /LOG=<file>: a log of every step, "" when not asked
    std::string name;         // the rest, blanks and surrounding quotes removed
};
// Leading switches (/S and /LOG=<file>, any case; the file may be quoted
// whole, "/LOG=a b.log", or after its '=', /LOG="a b.log"), then the
// product's name. False for an unknown switch, an empty /LOG= or no name.
bool parseCommandLine(const char* text, CommandLine* out);

// One way of reading the name: the product, and whether the user was asked
// already (the setup of a new version passes the lower-cased name followed
// by "_" after asking its own question).
struct ProductChoice {
    std::string product;
    bool askedAlready;
};
// In the order they are tried: a name ending in "_" first as the product
// without it, asked already; then the name as it is (a product whose own
// name ends in "_"), not asked.
std::vector<ProductChoice> productChoices(const std::string& name);

// A name usable as one registry key component: not empty, no backslash, no
// control character, at most 200 characters.
bool validKeyName(const std::string& name);

// ---------------------------------------------------------------------------
// The plan.

// Each folder as it resolves (ResolvedPath::target), so that the rules hold
// for what the names lead to, not how they are spelt.
struct KnownFolders {
    std::string install;  // the product's installation folder
    std::string windows;
    std::string system;
    // The shell's shortcut folders; empty when the shell has none.
    std::string desktop;
    std::string startup;
    std::string startMenu;
    std::string programs;
    std::string self;  // the uninstaller's own program file
    // The machine's shared roots (drive roots, Windows, Program Files,
    // ProgramData, the profiles, the shell's known folders, the temporary folder).
    std::vector<std::string> shared;
};

// The installation folder may be worked in: drive-absolute, not a drive
// root, and neither one of the known or shared folders nor above one of them
// (a log "inside" C:\ or the user's profile could name anything).
bool installFolderAcceptable(const KnownFolders& folders);

// What becomes of one file the log lists.
enum class FileFate {
    Remove,      // inside the installation folder, or a shortcut in a shortcut folder
    Shared,      // in the Windows or system folder: stays
    Outside,     // outside every folder the uninstaller may touch: stays
    NotShortcut, // a file other than a shortcut in a shortcut folder: stays
    Self,        // the uninstaller itself: stays
    BehindLink,  // reached through a link or junction that leads into the folder: stays
    OtherProduct // another registered product's Install.log lists it too: stays
};

struct PlannedFile {
    std::string path;  // where the file itself lies (ResolvedPath::path)
    FileFate fate;
    bool temporary;    // the record of a new file written under a temporary name
    bool link;         // the file is itself a link: only the link may go, never its target
};

struct RemovalPlan {
    bool valid = false;
    size_t badRecord = 0;  // damaged: the first record at fault (count = a cut record)
    std::string fault;     // damaged: why, in English
    // Every distinct file of the log, last installed first.
    std::vector<PlannedFile> files;
    // Folders below the installation and shortcut folders that held removed
    // files, deepest first; each is removed only when it is empty. Neither
    // the installation folder nor a shortcut folder itself is among them.
    std::vector<std::string> folders;
};

// The plan for an Install.log of `size` bytes (564-byte records); every
// path the log names, and every folder on its way, is asked of `resolver`
// once. Linear in the size of the log.
RemovalPlan planRemoval(const unsigned char* log, size_t size, const KnownFolders& folders, PathResolver& resolver);
// The same with every name taken as it is spelt.
RemovalPlan planRemoval(const unsigned char* log, size_t size, const KnownFolders& folders);

// The files of `plan` to be removed that another registered product's
// Install.log lists too (`others`: the paths its own plan found, as
// PlannedFile::path) stay: their fate becomes OtherProduct. Returns how
// many. A folder that keeps such a file is not empty, so it stays as well.
size_t keepOtherProductsFiles(RemovalPlan& plan, const std::vector<std::string>& others);

// What a removal names, to tell it from what lies beside it: every file of
// a plan, whatever its fate, every folder the plan may remove, and the
// product's own lists beside Install.log. A folder that stays because it is
// not empty holds, besides those, what the user put there; the report names
// each such entry.
class PlannedPaths {
public:
    explicit PlannedPaths(const RemovalPlan& plan);
    void add(const std::string& path);
    // Of `entries` (full paths), those neither the plan nor add() named, in
    // their order.
    std::vector<std::string> unplanned(const std::vector<std::string>& entries) const;

private:
    std::unordered_set<std::string> keys_;
};

// Where to look for Install.log when the Uninstall entry names no
// installation folder: the program's folder (the App Paths "Path") and the
// folders above it, nearest first, never a drive root.
std::vector<std::string> installFolderCandidates(const std::string& programFolder);

// ---------------------------------------------------------------------------
// Registration.

enum class RegistryRoot { ClassesRoot, LocalMachine };

struct RegistryRemoval {
    RegistryRoot root;
    std::string key;        // removed with everything below it
    std::string keepAbove;  // its parents up to (not including) this one go when empty
    bool onlyIfInside;      // App Paths: only when its default value names a file
                            // inside the installation folder (another product may share the name)
};
// The keys the product's registration made, for `product` and its program's
// file name `exeName` (empty when unknown: no App Paths key then).
std::vector<RegistryRemoval> registryRemovals(const std::string& product, const std::string& exeName);

// The Uninstall entry of `product` below HKEY_LOCAL_MACHINE.
std::string uninstallKey(const std::string& product);
// The product key below HKEY_LOCAL_MACHINE whose default value is the program's file name.
std::string productKey(const std::string& product);
// The App Paths key of a program file name.
std::string appPathsKey(const std::string& exeName);

#endif
