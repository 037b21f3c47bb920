// libFuzzer target: the install engine's decisions over what a volume and a
// product hand it (filemanager/EngineRules.h): record checks, target
// directories, groups, the answer to the "before a file" notification,
// shipped shortcut paths and their keywords, the temporary name stamped into
// a protocol record, wininit.ini sections, the 260-character path helpers,
// versions and percentages, and the naming rules of records (names that
// leave the target or name a device, the full rules setupvol packs by, the
// case fold). Each is checked against what its header promises,
// stated here again in the simplest way: results, bounds (nothing written
// past a buffer, which the sanitizers and canaries watch) and the bytes left
// alone.
//
// Input layout: byte 0 picks the rule, the rest is its material (a record is
// the first 564 bytes, texts are split at zero bytes).
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "filemanager/EngineRules.h"
#include "format/RecordNames.h"
#include "format/VolumeFormat.h"
#include "tests/fuzz/Require.h"

namespace {


const unsigned char kCanary = 0xA5;

// The input as a reader of pieces; missing bytes read as zero.
class Material {
public:
    Material(const uint8_t* data, size_t size) : data(data), size(size) {}
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(byte()) << (8 * i);
        return v;
    }
    // Up to the next zero byte or the end, at most `limit` characters.
    std::string text(size_t limit = 1000) {
        std::string s;
        while (pos < size && data[pos] != 0 && s.size() < limit)
            s += static_cast<char>(data[pos++]);
        if (pos < size && data[pos] == 0)
            ++pos;
        return s;
    }
    // `n` raw bytes, zero-padded.
    std::vector<unsigned char> bytes(size_t n) {
        std::vector<unsigned char> out(n, 0);
        for (size_t i = 0; i < n && pos < size; ++i)
            out[i] = data[pos++];
        return out;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string s) {
    for (char& c : s)
        c = lower(c);
    return s;
}

// A path buffer of PathSize characters with a guarded tail.
struct PathBuffer {
    char bytes[PathSize + 32];
    PathBuffer() { memset(bytes, kCanary, sizeof bytes); }
    void set(const std::string& s) { memcpy(bytes, s.c_str(), s.size() + 1); }
    void checkTail() const {
        for (size_t i = PathSize; i < sizeof bytes; ++i)
            REQUIRE(static_cast<unsigned char>(bytes[i]) == kCanary);
    }
};

void records(Material& m) {
    std::vector<unsigned char> raw = m.bytes(FileRecordSize);
    tagCompressFileHeader record;
    memcpy(&record, raw.data(), sizeof record);
    const bool terminated = memchr(record.subDir, 0, sizeof record.subDir) && memchr(record.fileName, 0, sizeof record.fileName);
    REQUIRE(recordTextValid(record) == terminated);
    // The raw bytes and the parsed record agree on what is damaged.
    REQUIRE(terminated == (recordTextTerminated(raw.data(), true) && recordTextTerminated(raw.data(), false)));

    // The temporary name: the name part only, the rest of the field and of
    // the record untouched.
    std::string temporary = m.text(600);
    tagCompressFileHeader stamped = record;
    const char* slash = strrchr(temporary.c_str(), '\\');
    std::string name = slash ? std::string(slash + 1) : temporary;
    const bool fits = name.size() < sizeof record.fileName;
    REQUIRE(stampTemporaryName(stamped, temporary.c_str()) == fits);
    if (fits) {
        REQUIRE(memcmp(stamped.fileName, name.c_str(), name.size() + 1) == 0);
        REQUIRE(memcmp(stamped.fileName + name.size() + 1, record.fileName + name.size() + 1,
                       sizeof record.fileName - name.size() - 1) == 0);
        REQUIRE(recordTextValid(stamped) == (memchr(record.subDir, 0, sizeof record.subDir) != nullptr));
    } else {
        REQUIRE(memcmp(stamped.fileName, record.fileName, sizeof record.fileName) == 0);
    }
    stamped = record; // the other fields stay
    stampTemporaryName(stamped, temporary.c_str());
    REQUIRE(memcmp(&stamped, &record, offsetof(tagCompressFileHeader, fileName)) == 0);

    TargetBase base = targetBase(record.targetDir);
    if (record.targetDir < 0 || record.targetDir >= TargetDirCount) {
        REQUIRE(base.kind == TargetBase::Invalid);
    } else {
        REQUIRE(base.kind != TargetBase::Invalid);
        if (base.kind == TargetBase::Special)
            REQUIRE(base.csidl == 2 || base.csidl == 7 || base.csidl == 11 || base.csidl == 16);
        else
            REQUIRE(base.csidl == 0);
    }

    // Versions: the record's may replace the installed one, or the other way round.
    int32_t installed[4];
    for (int32_t& part : installed)
        part = static_cast<int32_t>(m.u32());
    const bool replace = recordMayReplace(installed, record.version);
    REQUIRE(replace == (compareVersions(installed, record.version) <= 0));
    if (!replace)
        REQUIRE(recordMayReplace(record.version, installed));
    REQUIRE(recordMayReplace(record.version, record.version));
}

void groups(Material& m) {
    std::vector<int> list(1 + (m.byte() % 12));
    list[0] = static_cast<int>(list.size()) - 1 - (m.byte() % 3); // a count at most the states there are
    if (list[0] < 0)
        list[0] = 0;
    for (size_t i = 1; i < list.size(); ++i)
        list[i] = static_cast<int>(m.u32() % 3);
    const int32_t group = static_cast<int32_t>(m.u32());
    const int32_t state = groupState(list.data(), group);
    if (group >= 1 && group <= list[0])
        REQUIRE(state == list[group]);
    else
        REQUIRE(state == 1);
    REQUIRE(groupState(nullptr, group) == 1);

    // Any number a product answers is a valid FileNoticeAnswer.
    const FileNoticeAnswer answer = static_cast<FileNoticeAnswer>(m.u32());
    const FileDecision decision = decideAfterNotice(answer, state);
    switch (answer) {
    case NoticeFail: REQUIRE(decision == FileDecision::Fail); break;
    case NoticeBreak: REQUIRE(decision == FileDecision::Break); break;
    case NoticeSkip: REQUIRE(decision == FileDecision::Skip); break;
    case NoticeInstall: REQUIRE(decision == FileDecision::Install); break;
    default: REQUIRE(decision == (state == 0 ? FileDecision::Skip : FileDecision::Install)); break;
    }

    const uint32_t written = m.u32(), expanded = m.u32();
    const uint32_t p = filePercent(written, expanded);
    REQUIRE(p <= 100);
    if (expanded == 0)
        REQUIRE(p == 100);
    if (written < UINT32_MAX)
        REQUIRE(filePercent(written + 1, expanded) >= p);
    const uint32_t done = m.u32(), all = m.u32();
    const uint32_t o = overallPercent(done, all);
    if (all == 0)
        REQUIRE(o == 100);
    else if (done <= all)
        REQUIRE(o <= 100);
}

void keywords(Material& m) {
    static const char* const words[] = {"root", "work", "windows", "system", "desktop", "startup", "start menu", "programs"};
    const uint32_t prefix = m.byte() % 40;
    const std::string shipped = m.text();

    // A component is a keyword exactly when it is one of the words in any case.
    const std::string component = m.text(40);
    const Keyword k = lookupKeyword(component.data(), component.size());
    bool known = false;
    for (const char* w : words)
        known |= lowered(component) == w;
    REQUIRE((k != Keyword::Unknown) == known);
    std::string upper = component;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    REQUIRE(lookupKeyword(upper.data(), upper.size()) == k);

    ShippedPath split = {Keyword::Unknown, nullptr};
    const bool ok = splitShippedPath(shipped.c_str(), prefix, &split);
    const size_t from = static_cast<size_t>(prefix) + 1;
    const bool expected = shipped.size() >= from && shipped.find('\\', from) != std::string::npos;
    REQUIRE(ok == expected);
    if (ok) {
        const char* begin = shipped.c_str();
        REQUIRE(split.tail >= begin && split.tail <= begin + shipped.size());
        REQUIRE(*split.tail == '\0' || *split.tail == '\\');
        const size_t slash = shipped.find('\\', from);
        const std::string word = shipped.substr(slash + 1, static_cast<size_t>(split.tail - begin) - slash - 1);
        REQUIRE(word.find('\\') == std::string::npos);
        REQUIRE(split.keyword == lookupKeyword(word.data(), word.size()));
    }
}

void sections(Material& m) {
    const size_t capacity = m.u32() % 4096;
    const size_t used = m.u32() % 4096;
    const std::string line = m.text(5000);
    std::vector<unsigned char> section(capacity + 32, kCanary);
    const std::vector<unsigned char> before = section;
    const bool fits = used <= capacity && capacity - used >= line.size() + 2;
    REQUIRE(appendSectionLine(reinterpret_cast<char*>(section.data()), capacity, used, line.c_str()) == fits);
    if (!fits) {
        REQUIRE(section == before);
        return;
    }
    REQUIRE(memcmp(section.data(), before.data(), used) == 0);
    REQUIRE(memcmp(section.data() + used, line.c_str(), line.size() + 1) == 0);
    REQUIRE(section[used + line.size() + 1] == 0);
    REQUIRE(memcmp(section.data() + used + line.size() + 2, before.data() + used + line.size() + 2,
                   section.size() - used - line.size() - 2) == 0);
}

void paths(Material& m) {
    std::string start = m.text(300);
    const std::string more = m.text(300);
    PathBuffer path;
    const bool startFits = start.size() < PathSize;
    REQUIRE(copyPath(path.bytes, start.c_str()) == startFits);
    path.checkTail();
    if (!startFits) {
        // Refused: not a byte written.
        for (unsigned char c : path.bytes)
            REQUIRE(c == kCanary);
        start.resize(PathSize - 1);
        path.set(start);
    }
    REQUIRE(strcmp(path.bytes, start.c_str()) == 0);

    // appendText: all or nothing.
    PathBuffer text = path;
    const bool textFits = start.size() + more.size() < PathSize;
    REQUIRE(appendText(text.bytes, more.c_str()) == textFits);
    text.checkTail();
    REQUIRE(std::string(text.bytes) == (textFits ? start + more : start));

    // appendName: one backslash between, none doubled.
    PathBuffer named = path;
    const bool separator = !start.empty() && start.back() != '\\';
    const std::string joined = start + (separator ? "\\" : "") + more;
    const bool nameFits = joined.size() < PathSize;
    REQUIRE(appendName(named.bytes, more.c_str()) == nameFits);
    named.checkTail();
    REQUIRE(std::string(named.bytes) == (nameFits ? joined : start));

    const char* name = namePart(named.bytes);
    REQUIRE(name >= named.bytes && name <= named.bytes + strlen(named.bytes));
    REQUIRE(strchr(name, '\\') == nullptr);
    REQUIRE(name == named.bytes || name[-1] == '\\');

    const std::string whole = named.bytes;
    const size_t last = whole.rfind('\\');
    REQUIRE(cutAtLastBackslash(named.bytes) == (last != std::string::npos));
    REQUIRE(std::string(named.bytes) == (last != std::string::npos ? whole.substr(0, last) : whole));

    const std::string leaf = whole.substr(last == std::string::npos ? 0 : last + 1);
    const size_t dot = leaf.rfind('.');
    REQUIRE(isShortcutPath(whole.c_str()) == (dot != std::string::npos && lowered(leaf.substr(dot + 1)) == "lnk"));
}

// The naming rules, against a model written out plainly: split at both
// separators; a component is refused when it is dots and blanks with a dot,
// or when the part before its first dot or colon, without trailing blanks,
// is a device word.
bool modelDevice(const std::string& component) {
    size_t end = component.find_first_of(".:");
    std::string base = component.substr(0, end);
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    std::string upper;
    for (char c : base)
        upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    for (const char* word : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (upper == word)
            return true;
    if (upper.size() != 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0))
        return false;
    unsigned char d = static_cast<unsigned char>(upper[3]);
    return (d >= '1' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
}

bool modelDots(const std::string& component) {
    return component.find('.') != std::string::npos &&
           component.find_first_not_of(". ") == std::string::npos;
}

bool modelStaysInside(const std::string& path) {
    size_t start = 0;
    for (;;) {
        size_t end = path.find_first_of("\\/", start);
        std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (modelDots(part) || modelDevice(part))
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

void names(Material& m) {
    std::string subDir = m.text(PathSize - 1);
    std::string fileName = m.text(PathSize - 1);
    tagCompressFileHeader record;
    memset(&record, 0, sizeof record);
    memcpy(record.subDir, subDir.c_str(), subDir.size() + 1);
    memcpy(record.fileName, fileName.c_str(), fileName.size() + 1);
    REQUIRE(pathStaysInside(subDir.c_str()) == modelStaysInside(subDir));
    REQUIRE(recordNamesSafe(record) == (modelStaysInside(subDir) && modelStaysInside(fileName)));

    // The full rules: a component they accept is one the engine accepts, and
    // holds nothing Windows would change or refuse.
    NameFault fault = componentFault(fileName.data(), fileName.size());
    REQUIRE(isDeviceName(fileName.data(), fileName.size()) == modelDevice(fileName));
    if (fault == NameFault::None) {
        REQUIRE(!fileName.empty());
        REQUIRE(pathStaysInside(fileName.c_str()));
        REQUIRE(fileName.find_first_of("<>:\"/\\|?*") == std::string::npos);
        REQUIRE(fileName.back() != '.' && fileName.back() != ' ');
        for (char c : fileName) {
            unsigned char b = static_cast<unsigned char>(c);
            REQUIRE(b >= 32 && b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D);
        }
    }
    REQUIRE(nameFaultText(fault)[0] != '\0');

    // The fold is a fold: applied twice it changes nothing, and it folds
    // ASCII letters to capitals and nothing else of ASCII.
    for (char c : fileName) {
        char f = foldNameByte(c);
        REQUIRE(foldNameByte(f) == f);
        if (c >= 'a' && c <= 'z')
            REQUIRE(f == c - 32);
        else if (static_cast<unsigned char>(c) < 0x80)
            REQUIRE(f == c);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    Material m(data + 1, size - 1);
    switch (data[0] % 6) {
    case 0: records(m); break;
    case 1: groups(m); break;
    case 2: keywords(m); break;
    case 3: sections(m); break;
    case 4: paths(m); break;
    case 5: names(m); break;
    }
    return 0;
}
