// Drive paths compared the way Windows looks names up, and the two questions
// everyone who deletes or writes on a user's machine must ask of them: what
// a name leads to (through the PathResolver the Windows side provides), and
// whether a folder is one of the machine's shared roots (a drive root, the
// Windows folder, Program Files, the profiles, a known folder of the shell)
// or holds one. The uninstaller refuses such an installation folder; a setup
// refuses such a target. Portable: no <windows.h>.
#ifndef SETUP_FORMAT_FOLDER_PATHS_H
#define SETUP_FORMAT_FOLDER_PATHS_H

#include <stddef.h>

#include <string>
#include <vector>

// Only drive-absolute paths ("C:\..."; '/' is taken as '\') are understood.
// Components are compared without case (Windows-1252 letters), after
// dropping the trailing dots and blanks Windows drops.

// The path's components ("C:" first), or false for a path that is not
// drive-absolute or has a component that is dots only, a device name, or
// holds a character no file name may hold.
bool splitPath(const std::string& path, std::vector<std::string>* parts);
std::string joinParts(const std::vector<std::string>& parts, size_t count);
// `inner` lies strictly below `outer`.
bool pathInside(const std::string& outer, const std::string& inner);
bool samePath(const std::string& a, const std::string& b);
// One text per path that equal paths share, for hash sets of paths: the
// first `count` components, each byte folded as Windows compares names.
std::string pathKey(const std::vector<std::string>& parts, size_t count);

// What a name leads to, as the Windows side finds it on the machine.
struct ResolvedPath {
    // Where the item itself lies: 8.3 aliases expanded and the links and
    // junctions of the folders above it followed, the item itself not.
    std::string path;
    // Where opening it leads: `path`, or the target when the item is a link.
    std::string target;
    bool link = false;  // the item itself is a symbolic link, junction or other reparse point
};

class PathResolver {
public:
    virtual ~PathResolver() = default;
    // Any drive path; a name that does not exist resolves as far as its
    // folders do, and is no link.
    virtual ResolvedPath resolve(const std::string& path) = 0;
};

// Takes every name as it is spelt: for machines that have no aliases or
// links, and for plans made before anything is on disk.
class SpelledPaths : public PathResolver {
public:
    ResolvedPath resolve(const std::string& path) override;
};

// Why a folder may not be treated as one program's own.
enum class RootClash {
    None,        // a folder of its own
    NotDrivePath,// not drive-absolute, or a component no name may have
    DriveRoot,   // "C:\"
    IsShared,    // one of the shared roots
    HoldsShared  // a shared root lies below it
};
// `folder` and `roots` as they resolve (ResolvedPath::target). `which`, when
// given, receives the shared root at fault.
RootClash sharedRootClash(const std::string& folder, const std::vector<std::string>& roots,
                          std::string* which = nullptr);

#endif
