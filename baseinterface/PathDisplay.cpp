// Path display: paths shortened to fit their static controls, and the
// capitalisation of path components. Runs on the thread that owns the
// control (the wizard or the progress dialog's updates).
#include "Setup.h"

#include <string.h>

#include "common/NameStyle.h"
#include "baseinterface/PathShorten.h"
#include "win32/Ownership.h"

namespace {

bool isLower(char c) { return IsCharLowerA(c) != FALSE; }
bool isUpper(char c) { return IsCharUpperA(c) != FALSE; }
void toUpper(char* text, size_t count) { CharUpperBuffA(text, static_cast<DWORD>(count)); }
void toLower(char* text, size_t count) { CharLowerBuffA(text, static_cast<DWORD>(count)); }

}  // namespace

// Result: the result of setting the window text (nonzero on success).
int BaseInterface::SetShortWindowText(HWND control, char* text) {
    RECT client = {};
    GetClientRect(control, &client);
    // The control draws with its dialog's font, so that is the one to measure.
    char shortText[kShortTextSize];
    bool useShort;
    {
        win32::WindowDC dc(control);
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(GetParent(control), WM_GETFONT, 0, 0));
        win32::ObjectSelection selection(dc.get(), font);
        useShort = shortenPath(
            text, client.right - client.left,
            [&](const char* piece, size_t count) {
                return static_cast<unsigned int>(LOWORD(
                    GetTextExtent(dc.get(), const_cast<char*>(piece), static_cast<int>(count))));
            },
            shortText, sizeof shortText);
    }
    return SetWindowTextA(control, useShort ? shortText : text);
}

// Result: width in the low 16 bits, height in the high 16 bits, each cut to
// 16 bits; 0 when the text cannot be measured.
unsigned long BaseInterface::GetTextExtent(HDC dc, char* text, int count) {
    SIZE size = {};
    if (!GetTextExtentPoint32A(dc, text, count, &size))
        return 0;
    return (static_cast<unsigned long>(size.cx) & 0xFFFFu) |
           (static_cast<unsigned long>(size.cy) & 0xFFFFu) << 16;
}

void BaseInterface::NameTo95Style(char* path) {
    static const CharacterClasses system = {isLower, isUpper, toUpper, toLower};
    styleNameComponents(path, system);
}
