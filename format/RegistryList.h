// InstallReg.log, the registry values a setup program wrote for its product
// (its own values and file types) and the keys it created, kept beside
// Install.log in the installation folder so that the uninstaller removes
// them too. Install.log stays a list of files; an installation without this
// list (every one made before it existed) uninstalls as it always did. One
// entry a line, its fields separated by tabs, '%' escaping tab, CR, LF and
// '%' in them:
//
//     value <TAB> HKLM <TAB> key <TAB> name <TAB> string|expand-string|dword <TAB> data
//     key   <TAB> HKCR <TAB> key
//
// The uninstaller deletes a value only while it still holds what was written
// (another program may have changed it since), the values last written
// first, then the created keys deepest first, each only when left empty.
// The list is user-writable and read as hostile input: a line that is not
// one of these shapes makes the whole list damaged, and then nothing of it is
// removed. Portable.
#ifndef SETUP_FORMAT_REGISTRY_LIST_H
#define SETUP_FORMAT_REGISTRY_LIST_H

#include <stdint.h>

#include <string>
#include <vector>

// The list's file name, in the installation folder.
extern const char kRegistryListName[];

enum class ListedRoot { LocalMachine, CurrentUser, ClassesRoot };
enum class ListedType { String, ExpandString, Dword };

struct ListedEntry {
    bool createdKey = false;  // a key the setup created; else a value it wrote
    ListedRoot root = ListedRoot::LocalMachine;
    std::string key;          // below the root, levels separated by '\'
    std::string name;         // values: "" for the key's default value
    ListedType type = ListedType::String;
    std::string text;         // String, ExpandString
    uint32_t number = 0;      // Dword
};

// The entry as one line of the list, CR LF included.
std::string registryListLine(const ListedEntry& entry);

// Reads a whole list. False, with the 1-based number of the first bad line,
// when a line is not an entry (an unknown kind, root or type, a key with an
// empty level or a leading '\', a dword that is no number, a bad escape).
bool parseRegistryList(const std::string& text, std::vector<ListedEntry>* entries, size_t* badLine);

// `earlier`, then the entries of `added` it does not hold yet (the same
// kind, root, key and name, compared without case): the list of an
// installation that a later run of the same product went over.
std::vector<ListedEntry> mergeRegistryLists(const std::vector<ListedEntry>& earlier,
                                           const std::vector<ListedEntry>& added);

// The uninstaller's order: the values, last written first, then the created
// keys, deepest first (a key before every key above it).
std::vector<ListedEntry> registryRemovalOrder(const std::vector<ListedEntry>& entries);

#endif
