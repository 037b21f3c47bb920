// The install engine's decisions over plain data; see EngineRules.h.
#include "filemanager/EngineRules.h"

#include <string.h>

#include "reader/VolumeFormat.h"

namespace engine {

namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(const char* text, size_t length, const char* word) {
    size_t n = strlen(word);
    if (n != length)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (lowerAscii(text[i]) != word[i])
            return false;
    return true;
}

// Length of a text field, or PathSize when no terminator lies inside it.
size_t fieldLength(const char* field) {
    const void* end = memchr(field, '\0', PathSize);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - field) : PathSize;
}

}  // namespace

bool copyPath(char* path, const char* text) {
    size_t n = strlen(text);
    if (n >= PathSize)
        return false;
    memcpy(path, text, n + 1);
    return true;
}

bool appendText(char* path, const char* text) {
    size_t have = strlen(path);
    size_t add = strlen(text);
    if (have + add >= PathSize)
        return false;
    memcpy(path + have, text, add + 1);
    return true;
}

bool appendName(char* path, const char* name) {
    size_t have = strlen(path);
    bool separator = have > 0 && path[have - 1] != '\\';
    size_t add = strlen(name);
    if (have + (separator ? 1 : 0) + add >= PathSize)
        return false;
    if (separator)
        path[have++] = '\\';
    memcpy(path + have, name, add + 1);
    return true;
}

const char* namePart(const char* path) {
    const char* slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

bool cutAtLastBackslash(char* path) {
    char* slash = strrchr(path, '\\');
    if (!slash)
        return false;
    *slash = '\0';
    return true;
}

bool isShortcutPath(const char* path) {
    const char* name = namePart(path);
    const char* dot = strrchr(name, '.');
    return dot && equalsNoCase(dot + 1, strlen(dot + 1), "lnk");
}

bool recordTextValid(const tagCompressFileHeader& record) {
    return fieldLength(record.subDir) < PathSize && fieldLength(record.fileName) < PathSize;
}

TargetBase targetBase(int32_t targetDir) {
    // CSIDL_DESKTOPDIRECTORY 16, CSIDL_STARTUP 7, CSIDL_STARTMENU 11,
    // CSIDL_PROGRAMS 2.
    switch (targetDir) {
    case TargetWindows: return {TargetBase::Windows, 0};
    case TargetSystem: return {TargetBase::System, 0};
    case TargetDesktop: return {TargetBase::Special, 16};
    case TargetNone: return {TargetBase::Absolute, 0};
    case TargetInstall: return {TargetBase::Install, 0};
    case TargetStartup: return {TargetBase::Special, 7};
    case TargetStartMenu: return {TargetBase::Special, 11};
    case TargetPrograms: return {TargetBase::Special, 2};
    default: return {TargetBase::Invalid, 0};
    }
}

bool stampTemporaryName(tagCompressFileHeader& record, const char* temporaryPath) {
    const char* name = namePart(temporaryPath);
    size_t n = strlen(name);
    if (n >= sizeof record.fileName)
        return false;
    memcpy(record.fileName, name, n + 1);
    return true;
}

bool recordMayReplace(const int32_t installed[4], const int32_t record[4]) {
    return CompareVersions(installed, record) <= 0;  // an equal version is written again
}

uint32_t filePercent(uint32_t written, uint32_t expandedSize) {
    if (expandedSize == 0)
        return 100;
    uint64_t p = static_cast<uint64_t>(written) * 100 / expandedSize;
    return p > 100 ? 100 : static_cast<uint32_t>(p);
}

uint32_t overallPercent(uint32_t done, uint32_t count) {
    if (count == 0)
        return 100;
    return static_cast<uint32_t>(static_cast<uint64_t>(done) * 100 / count);
}

int32_t groupState(const int* groupList, int32_t group) {
    if (!groupList || group < 1 || group > groupList[0])
        return 1;
    return groupList[group];
}

FileDecision decideAfterNotice(int answer, int32_t stateAfter) {
    switch (answer) {
    case 0: return FileDecision::Fail;
    case 1: return FileDecision::Break;
    case 3: return FileDecision::Skip;
    case 4: return FileDecision::Install;  // even when the group is now disabled
    default: return stateAfter == 0 ? FileDecision::Skip : FileDecision::Install;
    }
}

Keyword lookupKeyword(const char* text, size_t length) {
    static const struct {
        const char* word;
        Keyword keyword;
    } table[] = {
        {"root", Keyword::Root},       {"work", Keyword::Work},
        {"windows", Keyword::Windows}, {"system", Keyword::System},
        {"desktop", Keyword::Desktop}, {"startup", Keyword::Startup},
        {"start menu", Keyword::StartMenu}, {"programs", Keyword::Programs},
    };
    for (const auto& entry : table)
        if (equalsNoCase(text, length, entry.word))
            return entry.keyword;
    return Keyword::Unknown;
}

bool splitShippedPath(const char* shipped, uint32_t prefixLength, ShippedPath* out) {
    size_t length = strlen(shipped);
    size_t from = static_cast<size_t>(prefixLength) + 1;
    if (length < from)
        return false;
    const char* slash = strchr(shipped + from, '\\');
    if (!slash)
        return false;
    const char* keyword = slash + 1;
    const char* end = strchr(keyword, '\\');
    if (!end)
        end = keyword + strlen(keyword);
    out->keyword = lookupKeyword(keyword, static_cast<size_t>(end - keyword));
    out->tail = end;
    return true;
}

bool appendSectionLine(char* section, size_t capacity, size_t used, const char* line) {
    size_t n = strlen(line);
    // The line, its terminator and the section's final terminator.
    if (used > capacity || capacity - used < n + 2)
        return false;
    memcpy(section + used, line, n + 1);
    section[used + n + 1] = '\0';
    return true;
}

}  // namespace engine
