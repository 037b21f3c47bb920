// The process's ANSI code page, which every "A" call of the library and its
// programs speaks: the system's, or UTF-8 when the program's manifest
// declares activeCodePage UTF-8 (Windows 10 1903 and later, and Wine, which
// then answers GetACP with 65001). Names from the volumes and Install.log
// are converted to it (format/NameEncoding.h) before they become paths.
#ifndef SETUP_WIN32_CODE_PAGE_H
#define SETUP_WIN32_CODE_PAGE_H

#include <windows.h>

#include <string>

namespace win32 {

// `text` in the process's code page: false when a character has no form
// there (no best-fit substitutes: "Ω" must not become "O").
inline bool toProcessCodePage(const std::u16string& text, std::string* out) {
    out->clear();
    if (text.empty())
        return true;
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16");
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    const int length = static_cast<int>(text.size());
    const UINT codePage = GetACP();
    // UTF-8 has every character and refuses both the flag and the question.
    const bool utf8 = codePage == CP_UTF8;
    BOOL defaulted = FALSE;
    int size = WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0, nullptr,
                                   utf8 ? nullptr : &defaulted);
    if (size <= 0 || defaulted)
        return false;
    out->resize(static_cast<size_t>(size));
    size = WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, length, &(*out)[0], size, nullptr,
                               utf8 ? nullptr : &defaulted);
    return size > 0 && !defaulted;
}

// `text`, in code page `codePage` (CP_UTF8, CP_ACP ...), as wide
// characters; "" when it is empty or, with MB_ERR_INVALID_CHARS among
// `flags`, not valid in that code page.
inline std::wstring wideText(const std::string& text, UINT codePage, DWORD flags = 0) {
    const int length = static_cast<int>(text.size());
    int n = text.empty() ? 0 : MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, flags, text.data(), length, &out[0], n);
    return out;
}

// The process's code page is Windows-1252, the code of a set's names
// unless it says UTF-8: they are then used as they are.
inline bool processCodePageIs1252() { return GetACP() == 1252; }

} // namespace win32

#endif
