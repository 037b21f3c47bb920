// The install engine's decisions over plain data; see EngineRules.h.
#include "filemanager/EngineRules.h"

#include <string.h>

#include "common/AsciiCase.h"
#include "explode/Explode.h"
#include "format/RecordNames.h"
#include "format/VolumeFormat.h"


bool recordMayReplace(const int32_t installed[4], const int32_t record[4]) {
    return compareVersions(installed, record) <= 0;  // an equal version is written again
}

SystemFilePlan planSystemFile(InstalledCopy copy, bool systemReadOnly) {
    if (copy == CopyNewer)
        return SystemFilePlan::Skip;
    if (!systemReadOnly)
        return SystemFilePlan::InPlace;
    // The older copy stays in the system directory, where it may still be
    // found first: the user decides.
    return copy == CopyReplaceable ? SystemFilePlan::AskThenRedirect : SystemFilePlan::Redirect;
}

bool comparedWithWindowsCopy(int32_t targetDir) { return targetDir == TargetWindows; }

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

int setGroupState(int* groupList, int32_t group, int state) {
    if (!groupList)
        return -1;
    if (group < 1 || group > groupList[0])
        return 0;
    groupList[group] = state;
    return 1;
}

FileDecision decideAfterNotice(FileNoticeAnswer answer, int32_t stateAfter) {
    switch (answer) {
    case NoticeFail: return FileDecision::Fail;
    case NoticeBreak: return FileDecision::Break;
    case NoticeSkip: return FileDecision::Skip;
    case NoticeInstall: return FileDecision::Install;  // even when the group is now disabled
    case NoticeGoOn:
    default: return stateAfter == 0 ? FileDecision::Skip : FileDecision::Install;
    }
}

bool expandedWhole(unsigned int explodeResult, uint32_t chunkBytesLeft, int32_t fileContinues) {
    return explodeResult == ExplodeOk && chunkBytesLeft == 0 && fileContinues == 0;
}

ExpansionEnd expansionEnd(unsigned int explodeResult, uint32_t chunkBytesLeft, int32_t fileContinues) {
    if (expandedWhole(explodeResult, chunkBytesLeft, fileContinues))
        return ExpansionEnd::Complete;
    return explodeResult == ExplodeOk ? ExpansionEnd::SkipRest : ExpansionEnd::Damaged;
}

ShortcutFixUp shortcutFixUp(const char* target, const char* temporaryName) {
    if (!isShortcutPath(target))
        return ShortcutFixUp::None;
    return temporaryName[0] ? ShortcutFixUp::Temporary : ShortcutFixUp::Target;
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
        if (equalsAsciiNoCase(text, length, entry.word))
            return entry.keyword;
    return Keyword::Unknown;
}

bool splitShippedPath(const char* shipped, uint32_t prefixLength, ShippedPath* out) {
    size_t length = strlen(shipped);
    // Compared before adding one: a damaged header's 0xFFFFFFFF plus one
    // would wrap to 0 in a 32-bit size_t and start at the path's first byte.
    if (prefixLength >= length)
        return false;
    size_t from = static_cast<size_t>(prefixLength) + 1;
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

//   true   "<target>=<temporary>" in `line`
//   false  an empty path, or no room (untouched)
bool wininitRenameLine(char* line, const char* shortTarget, const char* shortTemporary, size_t size) {
    size_t target = strlen(shortTarget);
    size_t temporary = strlen(shortTemporary);
    // Windows 9x reads an empty side as a line to skip, or worse.
    if (target == 0 || temporary == 0 || target + 1 + temporary >= size)
        return false;
    memcpy(line, shortTarget, target);
    line[target] = '=';
    memcpy(line + target + 1, shortTemporary, temporary + 1);
    return true;
}

bool removeSectionLine(char* section, const char* line) {
    char* found = nullptr;
    char* end = section;
    for (char* p = section; *p; p += strlen(p) + 1) {
        if (strcmp(p, line) == 0)
            found = p;
        end = p + strlen(p) + 1;
    }
    if (!found)
        return false;
    // Moves the lines after it, and the section's final terminator, down.
    char* next = found + strlen(found) + 1;
    memmove(found, next, static_cast<size_t>(end - next) + 1);
    return true;
}

