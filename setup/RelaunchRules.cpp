// The relaunch's decisions; see RelaunchRules.h.
#include "setup/RelaunchRules.h"

#include <stdio.h>
#include <string.h>

#include "common/AsciiCase.h"
#include "common/PathText.h"

bool splitModulePath(const char* path, char* directory, const char** name) {
    const char* slash = strrchr(path, '\\');
    if (!slash)
        return false;
    size_t length = static_cast<size_t>(slash - path) + 1;
    if (length >= PathSize)
        return false;
    memcpy(directory, path, length);
    directory[length] = '\0';
    *name = slash + 1;
    return true;
}

bool driveRoot(const char* directory, char* root) {
    size_t length = strlen(directory);
    if (length >= 2 && directory[1] == ':') {
        // "A:" then the backslash, whatever follows it.
        root[0] = directory[0];
        root[1] = ':';
        root[2] = '\\';
        root[3] = '\0';
        return true;
    }
    if (length >= 2 && directory[0] == '\\' && directory[1] == '\\') {
        // \\server\share\ : up to the fourth backslash, or the whole
        // directory with one added when the share is all there is.
        const char* server = strchr(directory + 2, '\\');
        const char* share = server ? strchr(server + 1, '\\') : nullptr;
        if (share) {
            size_t rootLength = static_cast<size_t>(share - directory) + 1;
            if (rootLength >= PathSize)
                return false;
            memcpy(root, directory, rootLength);
            root[rootLength] = '\0';
            return true;
        }
        if (!copyPath(root, directory))
            return false;
        return appendText(root, "\\");
    }
    return copyPath(root, directory);
}

bool isDataVolumeName(const char* name) {
    const char* dot = strrchr(name, '.');
    if (!dot)
        return false;
    // ASCII only: the comparison must not depend on the code page or locale.
    return equalsAsciiNoCase(dot, strlen(dot), ".dat");
}

CopyOutcome copyProgramFiles(const char* executableDirectory, const char* tempDirectory,
                             RelaunchActions& actions, std::string& failedSource) {
    int copied = 0;
    ListedEntry entry;
    while (actions.nextEntry(entry)) {
        if (entry.directory || isDataVolumeName(entry.name))
            continue;
        char source[PathSize];
        char target[PathSize];
        bool sourceFits = copyPath(source, executableDirectory) && appendText(source, entry.name);
        bool targetFits = copyPath(target, tempDirectory) && appendText(target, entry.name);
        if (!sourceFits || !targetFits || !actions.copyFile(source, target)) {
            failedSource = std::string(executableDirectory) + entry.name;
            return CopyOutcome::CopyFailed;
        }
        char key[16];
        snprintf(key, sizeof key, "%d", copied);
        actions.recordCopy(key, target);
        ++copied;
    }
    return CopyOutcome::AllCopied;
}

bool cleanupListPath(const char* tempDirectory, char* path) {
    char formed[PathSize];
    if (!copyPath(formed, tempDirectory) || !appendText(formed, "__setup.ini"))
        return false;
    return copyPath(path, formed);
}

std::string relaunchCommandLine(const char* tempDirectory, const char* executableName,
                                const char* arguments) {
    std::string line(tempDirectory);
    line += executableName;
    line += ' ';
    line += arguments ? arguments : "";
    return line;
}
