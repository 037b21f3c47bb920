// PeVersion.cpp: version resource of a PE module, read from its bytes.
//
// Path through the file: DOS header -> PE header -> resource data directory
// -> section that holds it -> resource tree (type 16 = version, then the
// resource named 1 or else the first, then the language-neutral or US
// English entry or else the first) -> VS_VERSIONINFO block tree ->
// "StringFileInfo" -> "040904E4" -> "FileVersion", or without it the fixed
// record that is the root block's value. Every offset and length read from
// the file is checked against what the file holds before use.
#include "tools/setupvol/PeVersion.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "format/VolumeFormat.h"

bool MemoryByteSource::readAt(uint64_t offset, void* buffer, size_t n) {
    if (offset > size || n > size - offset)
        return false;
    memcpy(buffer, data + offset, n);
    return true;
}

namespace {

const uint32_t kVersionType = 16;      // RT_VERSION
const uint32_t kVersionInfoName = 1;   // VS_VERSION_INFO
const size_t kMaxVersionResource = 1 << 20;
const unsigned kMaxSections = 4096;
const unsigned kMaxDirectoryEntries = 4096;

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

class Module {
public:
    explicit Module(ByteSource& file) : file(file) {}

    bool u16(uint64_t offset, uint16_t* v) {
        unsigned char b[2];
        if (!file.readAt(offset, b, 2))
            return false;
        *v = static_cast<uint16_t>(b[0] | (b[1] << 8));
        return true;
    }
    bool u32(uint64_t offset, uint32_t* v) {
        unsigned char b[4];
        if (!file.readAt(offset, b, 4))
            return false;
        *v = readLe32(b);
        return true;
    }

    // Reads the headers and finds the resource directory. False when the
    // file is no PE module or has no resources.
    bool open() {
        uint16_t magic;
        uint32_t peOffset, signature;
        if (!u16(0, &magic) || magic != 0x5A4D) // "MZ"
            return false;
        if (!u32(0x3C, &peOffset) || !u32(peOffset, &signature) || signature != 0x00004550) // "PE\0\0"
            return false;
        uint64_t coff = uint64_t(peOffset) + 4;
        uint16_t sectionCount, optionalSize, optionalMagic;
        if (!u16(coff + 2, &sectionCount) || !u16(coff + 16, &optionalSize))
            return false;
        uint64_t optional = coff + 20;
        if (!u16(optional, &optionalMagic))
            return false;
        uint32_t dirCountOffset, dirOffset;
        if (optionalMagic == 0x10B) { // PE32
            dirCountOffset = 92;
            dirOffset = 96;
        } else if (optionalMagic == 0x20B) { // PE32+
            dirCountOffset = 108;
            dirOffset = 112;
        } else {
            return false;
        }
        uint32_t dirCount;
        const uint32_t resourceEntry = dirOffset + 2 * 8;
        if (!u32(optional + dirCountOffset, &dirCount) || dirCount < 3 || resourceEntry + 8 > optionalSize)
            return false;
        if (!u32(optional + resourceEntry, &resourceRva) || !u32(optional + resourceEntry + 4, &resourceSize))
            return false;
        if (resourceRva == 0 || sectionCount == 0 || sectionCount > kMaxSections)
            return false;
        uint64_t table = optional + optionalSize;
        for (unsigned i = 0; i < sectionCount; ++i) {
            Section s;
            uint64_t at = table + uint64_t(i) * 40;
            if (!u32(at + 8, &s.virtualSize) || !u32(at + 12, &s.virtualAddress) || !u32(at + 16, &s.rawSize) ||
                !u32(at + 20, &s.rawOffset))
                return false;
            sections.push_back(s);
        }
        // The resource offsets inside the tree count from the directory's
        // start; they must stay inside the file bytes of its section.
        return map(resourceRva, 16, &resourceBase, &resourceLimit);
    }

    // File offset of `size` bytes at `rva`, and how many bytes from there on
    // the file holds for that section. Bytes a section has only in memory
    // (beyond its raw data) are not read.
    bool map(uint32_t rva, uint32_t size, uint64_t* offset, uint64_t* available) {
        for (const Section& s : sections) {
            uint64_t span = s.virtualSize ? s.virtualSize : s.rawSize;
            if (rva < s.virtualAddress || rva - s.virtualAddress >= span)
                continue;
            uint64_t delta = rva - s.virtualAddress;
            uint64_t raw = std::min<uint64_t>(s.rawSize, span);
            if (delta + size > raw)
                return false;
            uint64_t start = uint64_t(s.rawOffset) + delta;
            if (start > file.byteCount())
                return false;
            uint64_t avail = std::min<uint64_t>(raw - delta, file.byteCount() - start);
            if (avail < size)
                return false;
            *offset = start;
            *available = avail;
            return true;
        }
        return false;
    }

    struct Entry {
        uint32_t id;     // name or id; high bit set: a name
        uint32_t target; // high bit set: a subdirectory
    };

    bool directory(uint32_t offset, std::vector<Entry>* entries) {
        entries->clear();
        uint16_t named, ids;
        if (offset > resourceLimit || resourceLimit - offset < 16)
            return false;
        if (!u16(resourceBase + offset + 12, &named) || !u16(resourceBase + offset + 14, &ids))
            return false;
        unsigned count = unsigned(named) + ids;
        if (count > kMaxDirectoryEntries || (resourceLimit - offset - 16) / 8 < count)
            return false;
        for (unsigned i = 0; i < count; ++i) {
            Entry e;
            uint64_t at = resourceBase + offset + 16 + uint64_t(i) * 8;
            if (!u32(at, &e.id) || !u32(at + 4, &e.target))
                return false;
            entries->push_back(e);
        }
        return true;
    }

    // The version resource's bytes; false when there is none.
    bool versionResource(std::vector<unsigned char>* data) {
        std::vector<Entry> entries;
        // Level 1: the resource type.
        if (!directory(0, &entries))
            return false;
        const Entry* type = nullptr;
        for (const Entry& e : entries)
            if (e.id == kVersionType && (e.target & 0x80000000u))
                type = &e;
        if (!type)
            return false;
        // Level 2: the resource name; the system asks for id 1.
        uint32_t next = type->target & 0x7FFFFFFFu;
        if (!directory(next, &entries) || entries.empty())
            return false;
        const Entry* name = &entries[0];
        for (const Entry& e : entries)
            if (e.id == kVersionInfoName) {
                name = &e;
                break;
            }
        if (!(name->target & 0x80000000u))
            return false;
        // Level 3: the language.
        next = name->target & 0x7FFFFFFFu;
        if (!directory(next, &entries) || entries.empty())
            return false;
        const Entry* lang = &entries[0];
        for (const Entry& e : entries)
            if (e.id == 0x409 && lang->id != 0)
                lang = &e;
        for (const Entry& e : entries)
            if (e.id == 0)
                lang = &e;
        if (lang->target & 0x80000000u)
            return false;
        // The data entry: an RVA (not a resource offset) and a size.
        uint32_t dataEntry = lang->target;
        if (dataEntry > resourceLimit || resourceLimit - dataEntry < 16)
            return false;
        uint32_t rva, size;
        if (!u32(resourceBase + dataEntry, &rva) || !u32(resourceBase + dataEntry + 4, &size))
            return false;
        if (size < 6 || size > kMaxVersionResource)
            return false;
        uint64_t offset, available;
        if (!map(rva, 6, &offset, &available))
            return false;
        size_t n = static_cast<size_t>(std::min<uint64_t>(size, available));
        data->resize(n);
        return file.readAt(offset, data->data(), n);
    }

private:
    ByteSource& file;
    std::vector<Section> sections;
    uint32_t resourceRva = 0, resourceSize = 0;
    uint64_t resourceBase = 0, resourceLimit = 0;
};

// One node of the VS_VERSIONINFO tree: wLength (the node with its children),
// wValueLength, wType (1: text value counted in characters), a UTF-16 key,
// padding to 4 bytes, the value, padding, then the children.
struct Block {
    size_t end;
    std::u16string key;
    size_t value;
    size_t valueEnd;
    size_t children;
};

size_t align4(size_t v) { return (v + 3) & ~size_t(3); }

uint16_t get16(const std::vector<unsigned char>& d, size_t at) {
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

uint32_t get32(const std::vector<unsigned char>& d, size_t at) { return readLe32(d.data() + at); }

bool parseBlock(const std::vector<unsigned char>& d, size_t at, size_t limit, Block* b) {
    if (at + 6 > limit)
        return false;
    size_t length = get16(d, at);
    size_t valueLength = get16(d, at + 2);
    uint16_t type = get16(d, at + 4);
    if (length < 6 || length > limit - at)
        return false;
    b->end = at + length;
    b->key.clear();
    size_t p = at + 6;
    for (;;) {
        if (p + 2 > b->end)
            return false;
        char16_t c = get16(d, p);
        p += 2;
        if (c == 0)
            break;
        b->key.push_back(c);
    }
    b->value = std::min(align4(p), b->end);
    size_t valueBytes = type == 1 ? valueLength * 2 : valueLength;
    b->valueEnd = std::min(b->value + valueBytes, b->end);
    b->children = std::min(align4(b->valueEnd), b->end);
    return true;
}

bool keyEquals(const std::u16string& key, const char* want) {
    size_t n = strlen(want);
    if (key.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char16_t a = key[i], b = static_cast<unsigned char>(want[i]);
        if (a >= 'a' && a <= 'z')
            a = static_cast<char16_t>(a - 32);
        if (b >= 'a' && b <= 'z')
            b = static_cast<char16_t>(b - 32);
        if (a != b)
            return false;
    }
    return true;
}

// Finds the child of `parent` with the key; false when there is none.
bool findChild(const std::vector<unsigned char>& d, const Block& parent, const char* key, Block* child) {
    size_t at = parent.children;
    while (at + 6 <= parent.end) {
        if (!parseBlock(d, at, parent.end, child))
            return false;
        if (keyEquals(child->key, key))
            return true;
        at = align4(child->end);
    }
    return false;
}

} // namespace

PeVersionResult readPeFileVersion(ByteSource& file, int32_t version[4], std::string* text) {
    for (int i = 0; i < 4; ++i)
        version[i] = 0;
    if (text)
        text->clear();
    Module module(file);
    std::vector<unsigned char> data;
    if (!module.open() || !module.versionResource(&data))
        return PeNoVersionResource;
    Block root, stringInfo, table, value;
    if (!parseBlock(data, 0, data.size(), &root))
        return PeNoVersionResource;
    if (!findChild(data, root, "StringFileInfo", &stringInfo) ||
        !findChild(data, stringInfo, kVersionTextBlock, &table) || !findChild(data, table, "FileVersion", &value)) {
        // The fixed record: signature, structure version, then the file
        // version's high and low halves.
        FixedVersion fixed = {false, 0, 0};
        if (root.valueEnd - root.value >= kFixedVersionRecordSize && get32(data, root.value) == kFixedVersionSignature)
            fixed = {true, get32(data, root.value + 8), get32(data, root.value + 12)};
        resourceFileVersion(nullptr, fixed, version);
        return fixed.present ? PeFixedVersionFound : PeNoFileVersion;
    }
    // The text runs to its terminator, or to the end of its block when a
    // writer left that out.
    std::string ansi;
    for (size_t p = value.value; p + 2 <= value.end; p += 2) {
        char16_t c = get16(data, p);
        if (c == 0)
            break;
        ansi.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    resourceFileVersion(ansi.c_str(), FixedVersion{false, 0, 0}, version);
    if (text)
        *text = ansi;
    return PeFileVersionFound;
}
