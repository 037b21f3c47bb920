// The one-file setup's payload rules; see Payload.h.
#include "tools/onefile/Payload.h"

#include <string.h>

#include <set>

#include "format/FileCheck.h"
#include "format/RecordNames.h"
#include "format/VolumeFormat.h"

namespace {

const unsigned char kTrailerMagic[8] = {'S', 'E', 'T', 'U', 'P', 'P', 'A', 'Y'};

// PE header offsets (the PE/COFF layout).
enum PeOffsets : uint64_t {
    DosNewHeaderAt = 0x3C,
    CoffSize = 20,             // after the "PE\0\0" signature
    CoffSectionCountAt = 2,
    CoffOptionalSizeAt = 16,
    OptionalChecksumAt = 64,
    Pe32DirectoryCountAt = 92,
    Pe32PlusDirectoryCountAt = 108,
    SecurityDirectory = 4,
    DirectoryEntrySize = 8,
    SectionHeaderSize = 40,
    SectionRawSizeAt = 16,
    SectionRawPointerAt = 20
};
const uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint64_t le64(const unsigned char* p) { return readLe32(p) | static_cast<uint64_t>(readLe32(p + 4)) << 32; }
void put16(std::vector<unsigned char>& out, uint16_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& out, uint32_t v) {
    unsigned char b[4];
    writeLe32(b, v);
    out.insert(out.end(), b, b + 4);
}
void put64(std::vector<unsigned char>& out, uint64_t v) {
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}

// Length of the UTF-8 sequence at `p` (of `left` bytes), 0 when invalid:
// overlong forms, surrogates and code points past U+10FFFF are refused.
size_t utf8Length(const unsigned char* p, size_t left) {
    if (p[0] < 0x80)
        return 1;
    size_t n = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 ? 2 : 0;
    if (n == 0 || p[0] > 0xF4 || left < n)
        return 0;
    for (size_t i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    if ((n == 3 && p[0] == 0xE0 && p[1] < 0xA0) || (n == 3 && p[0] == 0xED && p[1] >= 0xA0) ||
        (n == 4 && p[0] == 0xF0 && p[1] < 0x90) || (n == 4 && p[0] == 0xF4 && p[1] >= 0x90))
        return 0;
    return n;
}

bool safeLevel(const std::string& level) {
    if (level.empty() || isDotsOnly(level.data(), level.size()) || level.back() == '.' || level.back() == ' ')
        return false;
    // The device check knows the superscript digits (COM¹) as Windows-1252
    // bytes: the level is given to it with those three in that code page.
    std::string ansi;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(level.data());
    for (size_t i = 0; i < level.size();) {
        size_t n = utf8Length(p + i, level.size() - i);
        if (n == 0)
            return false;
        if (n == 1 && (p[i] < 0x20 || p[i] == 0x7F || strchr("<>:\"\\|?*", p[i]) != nullptr))
            return false;
        if (n == 2 && p[i] == 0xC2 && (p[i + 1] == 0xB9 || p[i + 1] == 0xB2 || p[i + 1] == 0xB3))
            ansi += static_cast<char>(p[i + 1]);
        else
            ansi.append(level, i, n);
        i += n;
    }
    return !isDeviceName(ansi.data(), ansi.size());
}

std::string foldAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

uint64_t paddingAfter(uint64_t length) {
    return (PayloadAlignment - length % PayloadAlignment) % PayloadAlignment;
}

}  // namespace

const char* payloadFaultText(PayloadFault fault) {
    switch (fault) {
    case PayloadFault::None: return "no fault";
    case PayloadFault::NotPe: return "it is not a complete Windows program";
    case PayloadFault::CutOrOverlong: return "it is cut short or has bytes added";
    case PayloadFault::NoPayload: return "its setup files are missing";
    case PayloadFault::TrailerDamaged: return "the table of its setup files is damaged";
    case PayloadFault::IndexDamaged: return "the list of its setup files is damaged";
    case PayloadFault::BadName: return "it names a file outside its own folder";
    case PayloadFault::FileDamaged: return "one of its setup files is damaged";
    }
    return "unknown fault";
}

PayloadFault readPeLayout(const unsigned char* head, size_t headSize, uint64_t fileSize, PeLayout* layout) {
    *layout = PeLayout();
    if (headSize < DosNewHeaderAt + 4 || head[0] != 'M' || head[1] != 'Z')
        return PayloadFault::NotPe;
    const uint64_t pe = readLe32(head + DosNewHeaderAt);
    const uint64_t optional = pe + 4 + CoffSize;
    if (optional + Pe32PlusDirectoryCountAt + 4 > headSize || memcmp(head + pe, "PE\0\0", 4) != 0)
        return PayloadFault::NotPe;
    const uint16_t sections = le16(head + pe + 4 + CoffSectionCountAt);
    const uint16_t optionalSize = le16(head + pe + 4 + CoffOptionalSizeAt);
    const uint16_t magic = le16(head + optional);
    if (magic != kPe32Magic && magic != kPe32PlusMagic)
        return PayloadFault::NotPe;
    const uint64_t countAt = optional + (magic == kPe32Magic ? Pe32DirectoryCountAt : Pe32PlusDirectoryCountAt);
    const uint64_t directories = countAt + 4;
    if (readLe32(head + countAt) <= SecurityDirectory ||
        directories + (SecurityDirectory + 1) * DirectoryEntrySize > optional + optionalSize)
        return PayloadFault::NotPe;
    const uint64_t table = optional + optionalSize;
    if (table + uint64_t(sections) * SectionHeaderSize > headSize)
        return PayloadFault::NotPe;
    uint64_t imageEnd = table + uint64_t(sections) * SectionHeaderSize;
    for (uint16_t i = 0; i < sections; ++i) {
        const unsigned char* s = head + table + i * SectionHeaderSize;
        const uint64_t end = uint64_t(readLe32(s + SectionRawPointerAt)) + readLe32(s + SectionRawSizeAt);
        if (readLe32(s + SectionRawSizeAt) != 0 && end > imageEnd)
            imageEnd = end;
    }
    if (imageEnd > fileSize)
        return PayloadFault::CutOrOverlong;
    layout->imageEnd = imageEnd;
    layout->checksumAt = optional + OptionalChecksumAt;
    layout->securityEntryAt = directories + SecurityDirectory * DirectoryEntrySize;
    layout->certificateAt = readLe32(head + layout->securityEntryAt);
    layout->certificateSize = readLe32(head + layout->securityEntryAt + 4);
    if (layout->certificateSize == 0) {
        layout->certificateAt = 0;
        layout->payloadEnd = fileSize;
        return PayloadFault::None;
    }
    if (layout->certificateAt < imageEnd || layout->certificateAt + layout->certificateSize != fileSize)
        return PayloadFault::CutOrOverlong;
    layout->payloadEnd = layout->certificateAt;
    return PayloadFault::None;
}

PayloadFault stripSignature(std::vector<unsigned char>* pe) {
    PeLayout layout;
    const size_t head = pe->size() < PeHeadSize ? pe->size() : size_t(PeHeadSize);
    PayloadFault fault = readPeLayout(pe->data(), head, pe->size(), &layout);
    if (fault != PayloadFault::None)
        return fault;
    if (layout.payloadEnd != layout.imageEnd) {
        // A certificate table is 8-byte aligned: up to 7 bytes of padding
        // before it belong to the signature, anything more to someone else.
        bool padding = layout.certificateAt != 0 && layout.certificateAt - layout.imageEnd < PayloadAlignment;
        for (uint64_t i = layout.imageEnd; padding && i < layout.certificateAt; ++i)
            padding = (*pe)[i] == 0;
        if (!padding)
            return PayloadFault::NotPe;
    }
    pe->resize(layout.imageEnd);
    memset(pe->data() + layout.securityEntryAt, 0, DirectoryEntrySize);
    memset(pe->data() + layout.checksumAt, 0, 4);
    return PayloadFault::None;
}

bool isSafePayloadName(const std::string& name) {
    if (name.empty() || name.size() > PayloadMaxName)
        return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        if (!safeLevel(name.substr(start, end == std::string::npos ? std::string::npos : end - start)))
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

std::vector<unsigned char> serializePayloadTail(const std::vector<PayloadEntry>& entries) {
    std::vector<unsigned char> index;
    uint64_t files = 0;
    put32(index, static_cast<uint32_t>(entries.size()));
    for (const PayloadEntry& e : entries) {
        put16(index, static_cast<uint16_t>(e.name.size()));
        index.insert(index.end(), e.name.begin(), e.name.end());
        put64(index, e.size);
        put32(index, e.crc);
        files += e.size;
    }
    std::vector<unsigned char> out(paddingAfter(files + index.size() + PayloadTrailerSize), 0);
    out.insert(out.end(), index.begin(), index.end());
    const size_t trailer = out.size();
    out.insert(out.end(), kTrailerMagic, kTrailerMagic + sizeof kTrailerMagic);
    put32(out, PayloadFormatVersion);
    put32(out, static_cast<uint32_t>(index.size()));
    put64(out, files + trailer + PayloadTrailerSize);
    put32(out, crc32Update(0, index.data(), index.size()));
    put32(out, crc32Update(0, out.data() + trailer, PayloadTrailerSize - 4));
    return out;
}

PayloadFault parsePayloadTrailer(const unsigned char* bytes, uint64_t imageEnd, uint64_t payloadEnd,
                                 PayloadTrailer* trailer) {
    *trailer = PayloadTrailer();
    if (memcmp(bytes, kTrailerMagic, sizeof kTrailerMagic) != 0)
        return PayloadFault::NoPayload;
    if (readLe32(bytes + 28) != crc32Update(0, bytes, PayloadTrailerSize - 4) ||
        readLe32(bytes + 8) != PayloadFormatVersion)
        return PayloadFault::TrailerDamaged;
    trailer->indexSize = readLe32(bytes + 12);
    trailer->payloadSize = le64(bytes + 16);
    trailer->indexCrc = readLe32(bytes + 24);
    if (trailer->payloadSize % PayloadAlignment != 0 || payloadEnd < imageEnd ||
        trailer->payloadSize > payloadEnd - imageEnd || trailer->indexSize < 4 ||
        trailer->indexSize > 4 + PayloadMaxFiles * (2 + PayloadMaxName + 12) ||
        trailer->payloadSize < uint64_t(trailer->indexSize) + PayloadTrailerSize)
        return PayloadFault::TrailerDamaged;
    return PayloadFault::None;
}

uint64_t payloadIndexRegion(const PayloadTrailer& trailer) {
    const uint64_t before = trailer.payloadSize - PayloadTrailerSize;
    const uint64_t most = uint64_t(trailer.indexSize) + PayloadAlignment - 1;
    return before < most ? before : most;
}

PayloadFault parsePayloadIndex(const unsigned char* region, size_t regionSize, const PayloadTrailer& trailer,
                               std::vector<PayloadEntry>* entries) {
    entries->clear();
    if (regionSize < trailer.indexSize)
        return PayloadFault::IndexDamaged;
    const unsigned char* p = region + regionSize - trailer.indexSize;
    const unsigned char* end = region + regionSize;
    if (crc32Update(0, p, trailer.indexSize) != trailer.indexCrc)
        return PayloadFault::IndexDamaged;
    const uint32_t count = readLe32(p);
    p += 4;
    if (count > PayloadMaxFiles)
        return PayloadFault::IndexDamaged;
    std::set<std::string> seen;
    uint64_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (end - p < 2)
            return PayloadFault::IndexDamaged;
        const size_t length = le16(p);
        if (static_cast<size_t>(end - p) < 2 + length + 12)
            return PayloadFault::IndexDamaged;
        PayloadEntry e;
        e.name.assign(reinterpret_cast<const char*>(p + 2), length);
        e.size = le64(p + 2 + length);
        e.crc = readLe32(p + 2 + length + 8);
        e.offset = offset;
        p += 2 + length + 12;
        if (e.size > trailer.payloadSize || offset + e.size > trailer.payloadSize)
            return PayloadFault::IndexDamaged;
        offset += e.size;
        if (!isSafePayloadName(e.name) || !seen.insert(foldAscii(e.name)).second)
            return PayloadFault::BadName;
        entries->push_back(e);
    }
    // The files, zero padding, the index and the trailer make the payload
    // exactly.
    const uint64_t padding = paddingAfter(offset + trailer.indexSize + PayloadTrailerSize);
    if (p != end || offset + padding + trailer.indexSize + PayloadTrailerSize != trailer.payloadSize ||
        regionSize < trailer.indexSize + padding)
        return PayloadFault::IndexDamaged;
    for (uint64_t i = 1; i <= padding; ++i)
        if (region[regionSize - trailer.indexSize - i] != 0)
            return PayloadFault::IndexDamaged;
    return PayloadFault::None;
}

PayloadFault readPayload(uint64_t fileSize, const PayloadReader& read, uint64_t* start,
                         std::vector<PayloadEntry>* entries) {
    entries->clear();
    std::vector<unsigned char> head(fileSize < PeHeadSize ? static_cast<size_t>(fileSize) : size_t(PeHeadSize));
    if (!read(0, head.data(), head.size()))
        return PayloadFault::NotPe;
    PeLayout layout;
    PayloadFault fault = readPeLayout(head.data(), head.size(), fileSize, &layout);
    if (fault != PayloadFault::None)
        return fault;
    unsigned char bytes[PayloadTrailerSize];
    if (layout.payloadEnd - layout.imageEnd < PayloadTrailerSize ||
        !read(layout.payloadEnd - PayloadTrailerSize, bytes, PayloadTrailerSize))
        return PayloadFault::NoPayload;
    PayloadTrailer trailer;
    fault = parsePayloadTrailer(bytes, layout.imageEnd, layout.payloadEnd, &trailer);
    if (fault != PayloadFault::None)
        return fault;
    std::vector<unsigned char> region(payloadIndexRegion(trailer));
    if (!read(layout.payloadEnd - PayloadTrailerSize - region.size(), region.data(), region.size()))
        return PayloadFault::IndexDamaged;
    *start = layout.payloadEnd - trailer.payloadSize;
    return parsePayloadIndex(region.data(), region.size(), trailer, entries);
}
