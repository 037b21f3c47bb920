// The predefined key of a root a registry list names (format/RegistryList.h):
// one mapping for the generic setup, which writes the values, and the
// uninstaller, which removes them.
#ifndef WIN32_LISTED_ROOT_H
#define WIN32_LISTED_ROOT_H

#include <windows.h>

#include "format/RegistryList.h"

namespace win32 {

inline HKEY listedRootKey(ListedRoot root) {
    switch (root) {
    case ListedRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case ListedRoot::CurrentUser: return HKEY_CURRENT_USER;
    case ListedRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    }
    return HKEY_LOCAL_MACHINE;
}

}  // namespace win32

#endif
