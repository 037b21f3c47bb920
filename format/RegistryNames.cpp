// The predefined roots of key paths, by their full names (RegistryNames.h).
#include "format/RegistryNames.h"

#include <string.h>

#include "common/AsciiCase.h"

namespace {

struct RootName {
    const char* name;
    KeyRoot root;
};

// In the order they are compared.
const RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", KeyRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", KeyRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", KeyRoot::LocalMachine},
    {"HKEY_USERS", KeyRoot::Users},
};

}  // namespace

//   KeyRoot::None   no backslash, or no root of that name
//   other                the root, *rest after the first backslash
KeyRoot splitKeyPath(const char* keyPath, const char** rest) {
    if (!keyPath)
        return KeyRoot::None;
    const char* slash = strchr(keyPath, '\\');
    if (!slash)
        return KeyRoot::None;
    size_t length = static_cast<size_t>(slash - keyPath);
    for (const RootName& root : kRootNames) {
        if (equalsAsciiNoCase(keyPath, length, root.name)) {
            *rest = slash + 1;
            return root.root;
        }
    }
    return KeyRoot::None;
}

const char* registryRootName(KeyRoot root) {
    for (const RootName& name : kRootNames)
        if (name.root == root)
            return name.name;
    return "";
}
