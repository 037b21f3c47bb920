// Path display on real controls: a static control in a parent window whose
// font is the one to measure with, and name styling by the system's rules.
#include "Setup.h"

#include <gtest/gtest.h>

#include <string>

#include "TestEnv.h"

namespace {

HFONT parentFont = nullptr;

// A parent that answers WM_GETFONT the way a dialog does.
LRESULT CALLBACK parentProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETFONT)
        return reinterpret_cast<LRESULT>(parentFont);
    return DefWindowProcA(w, message, wParam, lParam);
}

class PathDisplay : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = parentProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "PathDisplayParent";
        RegisterClassA(&wc);
    }
    void SetUp() override {
        base = BaseInterface{};
        base.InitBI(testenv::library(), caption);
        small = font(13);
        big = font(40);
        parentFont = small;
        parent = CreateWindowExA(0, "PathDisplayParent", "parent", WS_POPUP, 0, 0, 800, 100, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, parent);
    }
    void TearDown() override {
        DestroyWindow(parent);
        DeleteObject(small);
        DeleteObject(big);
    }
    static HFONT font(int height) {
        return CreateFontA(-height, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
    }
    // A static control whose client area is `width` pixels wide.
    HWND control(int width) {
        return CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, width, 20, parent, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }
    // Width in the parent's font, measured independently of the library.
    int width(const std::string& text) {
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, parentFont);
        SIZE size = {};
        GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        return size.cx;
    }
    std::string shown(HWND c) {
        char text[1024] = {};
        GetWindowTextA(c, text, sizeof text);
        return text;
    }
    std::string show(int controlWidth, std::string text) {
        HWND c = control(controlWidth);
        EXPECT_NE(0, base.SetShortWindowText(c, &text[0]));
        std::string s = shown(c);
        DestroyWindow(c);
        return s;
    }
    char caption[16] = "Setup";
    BaseInterface base;
    HFONT small = nullptr, big = nullptr;
    HWND parent = nullptr;
};

const std::string kPath = "C:\\Program Files\\Vendor\\Product\\Bin";

TEST_F(PathDisplay, NarrowerTextIsSetUnchanged) {
    EXPECT_EQ(kPath, show(width(kPath) + 1, kPath));
}

TEST_F(PathDisplay, WideTextKeepsTheDriveAndTheLongestFittingTail) {
    for (int w : {width(kPath), width(kPath) * 3 / 4, width(kPath) / 2, width("C:\\...W")}) {
        std::string s = show(w, kPath);
        ASSERT_EQ(0u, s.find("C:\\...")) << s;
        std::string tail = s.substr(6);
        ASSERT_LT(tail.size(), kPath.size() - 3);
        EXPECT_EQ(kPath.substr(kPath.size() - tail.size()), tail);
        int room = w - width("C:\\...");
        EXPECT_LE(width(tail), room) << s;
        EXPECT_GT(width(kPath.substr(kPath.size() - tail.size() - 1)), room) << s;
    }
}

TEST_F(PathDisplay, TextWithoutBackslashIsSetUnchanged) {
    std::string name = "A file name far too long for its little control.txt";
    EXPECT_EQ(name, show(40, name));
}

TEST_F(PathDisplay, VeryNarrowControlsShowTheDriveAndTheEllipsis) {
    EXPECT_EQ("C:\\...", show(3, kPath));
    EXPECT_EQ("C:\\...", show(width("C:\\") + 1, kPath));  // C:\ fits, C:\... does not
    EXPECT_EQ("C:\\...", show(0, kPath));
}

TEST_F(PathDisplay, MeasuredWithTheParentsFont) {
    int w = width(kPath) + 10;  // fits in the small font
    EXPECT_EQ(kPath, show(w, kPath));
    parentFont = big;
    std::string s = show(w, kPath);
    EXPECT_EQ(0u, s.find("C:\\...")) << s;
}

TEST_F(PathDisplay, LongestPathFitsTheBuffer) {
    std::string deep = "C:\\" + std::string(255, 'd') + "\\x";  // 260 characters
    std::string s = show(200, deep);
    ASSERT_EQ(0u, s.find("C:\\..."));
    EXPECT_EQ(deep.substr(deep.size() - (s.size() - 6)), s.substr(6));
}

TEST_F(PathDisplay, TextExtentPacksWidthAndHeight) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, small);
    SIZE size = {};
    char text[] = "Program Files";
    GetTextExtentPoint32A(dc, text, 7, &size);
    unsigned long packed = base.GetTextExtent(dc, text, 7);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(static_cast<unsigned long>(size.cx), packed & 0xFFFF);
    EXPECT_EQ(static_cast<unsigned long>(size.cy), packed >> 16);
}

std::string styled(BaseInterface& base, std::string path) {
    base.NameTo95Style(&path[0]);
    return path;
}

TEST_F(PathDisplay, NameStyleExamples) {
    EXPECT_EQ("C:\\Program files\\Myapp", styled(base, "C:\\PROGRAM FILES\\MYAPP"));
    EXPECT_EQ("C:\\Windows", styled(base, "c:\\windows"));
    EXPECT_EQ("C:\\My Documents", styled(base, "C:\\My Documents"));
    EXPECT_EQ("1Stapp", styled(base, "1STAPP"));
    EXPECT_EQ("\\\\Server\\Share", styled(base, "\\\\SERVER\\SHARE"));
    EXPECT_EQ("D:\\1995\\", styled(base, "d:\\1995\\"));
}

TEST_F(PathDisplay, NameStyleUsesTheCodePagesLetters) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    EXPECT_EQ("C:\\\xC9t\xE9", styled(base, "C:\\\xC9T\xC9"));
}

}  // namespace
