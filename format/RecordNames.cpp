// The naming rules of volume records; see RecordNames.h.
#include "format/RecordNames.h"

#include <string.h>

#include "common/AsciiCase.h"

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isUnassigned1252(unsigned char b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

}  // namespace

bool isDeviceName(const char* text, size_t length) {
    // Windows looks at the part before the first dot (or stream colon),
    // without the blanks in front of it.
    size_t base = 0;
    while (base < length && text[base] != '.' && text[base] != ':')
        ++base;
    while (base > 0 && text[base - 1] == ' ')
        --base;
    static const char* const plain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* word : plain)
        if (equalsAsciiNoCase(text, base, word))
            return true;
    if (base != 4)
        return false;
    if (!equalsAsciiNoCase(text, 3, "COM") && !equalsAsciiNoCase(text, 3, "LPT"))
        return false;
    unsigned char digit = static_cast<unsigned char>(text[3]);
    // Superscript one, two and three count as digits here.
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool isDotsOnly(const char* text, size_t length) {
    bool dot = false;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '.')
            dot = true;
        else if (text[i] != ' ')
            return false;
    }
    return dot;
}

bool pathStaysInside(const char* path) {
    const char* start = path;
    for (;;) {
        const char* end = start;
        while (*end && !isSeparator(*end))
            ++end;
        size_t length = static_cast<size_t>(end - start);
        if (isDotsOnly(start, length) || isDeviceName(start, length))
            return false;
        if (!*end)
            return true;
        start = end + 1;
    }
}

NameFault componentFault(const char* text, size_t length) {
    if (length == 0)
        return NameFault::Empty;
    if (isDotsOnly(text, length))
        return NameFault::DotsOnly;
    if (isDeviceName(text, length))
        return NameFault::DeviceName;
    for (size_t i = 0; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) < 32)
            return NameFault::ControlCharacter;
    for (size_t i = 0; i < length; ++i)
        if (memchr("<>:\"/\\|?*", text[i], 9))
            return NameFault::ReservedCharacter;
    if (text[length - 1] == '.' || text[length - 1] == ' ')
        return NameFault::TrailingDotOrBlank;
    for (size_t i = 0; i < length; ++i)
        if (isUnassigned1252(static_cast<unsigned char>(text[i])))
            return NameFault::UnassignedByte;
    return NameFault::None;
}

const char* nameFaultText(NameFault fault) {
    switch (fault) {
    case NameFault::None: return "is valid";
    case NameFault::Empty: return "is empty";
    case NameFault::DotsOnly: return "is only dots, which would leave its folder";
    case NameFault::DeviceName:
        return "names a Windows device (CON, PRN, AUX, NUL, COM1-9, LPT1-9), which would swallow "
               "the file";
    case NameFault::ControlCharacter: return "holds a control character";
    case NameFault::ReservedCharacter:
        return "holds one of < > : \" / \\ | ? *, which Windows does not allow in names";
    case NameFault::TrailingDotOrBlank: return "ends in a dot or blank, which Windows drops";
    case NameFault::UnassignedByte:
        return "holds a byte that Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90 or 0x9D)";
    }
    return "is invalid";
}

char foldNameByte(char c) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z')
        return static_cast<char>(b - 32);
    // à..þ to À..Þ, not the division sign; š œ ž ÿ to their capitals.
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7)
        return static_cast<char>(b - 32);
    switch (b) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
    }
}

bool sameName(const char* a, size_t aLength, const char* b, size_t bLength) {
    if (aLength != bLength)
        return false;
    for (size_t i = 0; i < aLength; ++i)
        if (foldNameByte(a[i]) != foldNameByte(b[i]))
            return false;
    return true;
}
