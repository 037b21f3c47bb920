// Resources of Setup.Dll as built: the five dialog templates read byte by
// byte and created for real, the flags and banner, the two icons and the
// version record.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestEnv.h"
#include "resource.h"

namespace {

// Nothing here calls into Setup.Dll, so the linker leaves it out of the
// program's imports: load it, as a setup executable's import would.
class LoadLibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override { module = LoadLibraryA(testenv::binPath("Setup.Dll").c_str()); }
    void TearDown() override { FreeLibrary(module); }

private:
    HMODULE module = nullptr;
};
const auto* const kLoaded = ::testing::AddGlobalTestEnvironment(new LoadLibraryEnvironment);

// ---------------------------------------------------------------------------
// What each dialog must hold.

struct Item {
    int id;
    const char* cls;   // "Button", "Static", "msctls_progress32"
    const char* text;  // "#1" for the ordinal text of an icon static
    short x, y, cx, cy;
    DWORD style;
};

struct Dialog {
    int id;
    WORD language;
    DWORD style;
    short x, y, cx, cy;
    const char* caption;
    std::vector<Item> items;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kText = kChild | WS_GROUP | SS_LEFT;
constexpr DWORD kCentred = kChild | WS_GROUP | SS_CENTER;
constexpr DWORD kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kDefault = kChild | WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr DWORD kFlag = kChild | WS_TABSTOP | BS_OWNERDRAW;
constexpr DWORD kRule = kChild | BS_GROUPBOX;
constexpr DWORD kBar = kChild | WS_BORDER;

constexpr DWORD kButtonDialog = DS_SETFONT | DS_3DLOOK | WS_POPUP | WS_VISIBLE;
constexpr DWORD kFramedDialog = kButtonDialog | DS_MODALFRAME | WS_CAPTION | WS_SYSMENU;
constexpr WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
constexpr WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

const std::vector<Dialog>& dialogs() {
    static const std::vector<Dialog> all = {
        {11100, kNeutral, kButtonDialog, 300, 200, 40, 14, "",
         {{2, "Button", "Exit", 0, 0, 40, 14, kDefault}}},
        {11200, kNeutral, kFramedDialog, 0, 0, 256, 113, "Copying files",
         {{2, "Button", "Cancel", 168, 92, 80, 13, kDefault},
          {-1, "Static", "From :", 38, 7, 24, 8, kText},
          {11110, "Static", "", 66, 7, 182, 8, kText | SS_NOPREFIX},
          {-1, "Static", "To :", 38, 21, 17, 8, kText},
          {11111, "Static", "", 66, 21, 182, 8, kText | SS_NOPREFIX},
          {-1, "Static", "Current :", 8, 40, 30, 8, kText},
          {-1, "Static", "Total :", 8, 54, 30, 8, kText},
          {-1, "Static", "#1", 8, 8, 18, 20, kChild | SS_ICON},
          {753, "Static", "0", 47, 68, 10, 8, kText},
          {754, "Static", "50", 140, 68, 10, 8, kText},
          {755, "Static", "100", 232, 68, 15, 8, kText},
          {11412, "Button", "", 7, 78, 241, 5, kRule},
          {101, "msctls_progress32", "", 48, 41, 200, 8, kBar},
          {102, "msctls_progress32", "", 48, 55, 200, 8, kBar}}},
        {11300, kNeutral, kButtonDialog, 0, 0, 86, 14, "",
         {{1, "Button", "Choose language", 0, 0, 86, 14, kDefault}}},
        {11400, kEnglishUS, kFramedDialog, 0, 0, 264, 140, "Select language",
         {{-1, "Static", "&English", 14, 43, 29, 8, kCentred},
          {11401, "Button", "English", 8, 8, 42, 30, kFlag},
          {-1, "Static", "&French", 64, 43, 29, 8, kCentred},
          {11402, "Button", "Fran\xe7" "ais", 60, 8, 42, 30, kFlag},
          {-1, "Static", "&German", 113, 43, 29, 8, kCentred},
          {11403, "Button", "Deutsch", 112, 8, 42, 30, kFlag},
          {-1, "Static", "&Dutch", 164, 43, 29, 8, kCentred},
          {11404, "Button", "Nederlands", 164, 8, 42, 30, kFlag},
          {-1, "Static", "&Spanish", 215, 43, 29, 8, kCentred},
          {11405, "Button", "Espa\xf1ol", 216, 8, 42, 30, kFlag},
          {-1, "Static", "&Italian", 14, 94, 29, 8, kCentred},
          {11406, "Button", "Italiano", 8, 60, 42, 30, kFlag},
          {-1, "Static", "&Portuguese", 59, 94, 39, 8, kCentred},
          {11407, "Button", "Portugu\xea" "s", 60, 60, 42, 30, kFlag},
          {-1, "Static", "S&weden", 113, 94, 29, 8, kCentred},
          {11408, "Button", "Svenska", 112, 60, 42, 30, kFlag},
          {-1, "Static", "&Norwegian", 160, 94, 37, 8, kCentred},
          {11409, "Button", "Norsk", 164, 60, 42, 30, kFlag},
          {-1, "Static", "Finnis&h", 215, 94, 29, 8, kCentred},
          {11410, "Button", "Suomi", 216, 60, 42, 30, kFlag},
          {11411, "Button", "", 8, 106, 252, 5, kRule},
          {2, "Button", "Cancel", 205, 119, 55, 14, kPush}}},
        {11500, kNeutral, DS_SETFONT | DS_3DLOOK | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_BORDER,
         20, 20, 240, 120, "",
         {{12000, "Static", "Text1", 12, 15, 216, 22, kText | SS_NOPREFIX},
          {11106, "Button", "", 12, 52, 216, 56, kFlag | BS_CENTER}}},
    };
    return all;
}

// ---------------------------------------------------------------------------
// DLGTEMPLATE reader. After the fixed header come variable fields of
// 16-bit units: menu, class and title (each empty, 0xFFFF + ordinal, or a
// zero-terminated UTF-16 string), then with DS_SETFONT the point size and
// face name. Every item starts on a 4-byte boundary.

struct Cursor {
    const BYTE* base;
    size_t pos;
    size_t size;

    bool ok(size_t n) const { return pos + n <= size; }
    WORD word() {
        WORD w = 0;
        if (ok(2))
            std::memcpy(&w, base + pos, 2);
        pos += 2;
        return w;
    }
    DWORD dword() {
        DWORD lo = word();
        return lo | (DWORD(word()) << 16);
    }
    short coordinate() { return static_cast<short>(word()); }
    void align4() { pos = (pos + 3) & ~size_t(3); }

    // "" for an empty field, "#N" for an ordinal, else the text (ASCII).
    std::string field() {
        WORD first = word();
        if (first == 0xFFFF)
            return "#" + std::to_string(word());
        std::string s;
        for (WORD c = first; c != 0 && ok(0); c = word())
            s += static_cast<char>(c);
        return s;
    }
};

struct ParsedItem {
    DWORD style, exStyle;
    short x, y, cx, cy;
    int id;
    std::string cls, text;
    WORD extraBytes;
};

struct ParsedDialog {
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::string menu, cls, caption, face;
    WORD pointSize = 0;
    std::vector<ParsedItem> items;
    bool complete = false;  // every byte read lay inside the resource
};

// The predefined classes a template may name by ordinal.
std::string className(const std::string& field) {
    if (field == "#128") return "Button";
    if (field == "#129") return "Edit";
    if (field == "#130") return "Static";
    if (field == "#131") return "ListBox";
    if (field == "#132") return "ScrollBar";
    if (field == "#133") return "ComboBox";
    return field;
}

ParsedDialog parseTemplate(const void* data, size_t size) {
    Cursor c{static_cast<const BYTE*>(data), 0, size};
    ParsedDialog d;
    d.style = c.dword();
    d.exStyle = c.dword();
    WORD count = c.word();
    d.x = c.coordinate();
    d.y = c.coordinate();
    d.cx = c.coordinate();
    d.cy = c.coordinate();
    d.menu = c.field();
    d.cls = c.field();
    d.caption = c.field();
    if (d.style & DS_SETFONT) {
        d.pointSize = c.word();
        d.face = c.field();
    }
    for (WORD i = 0; i < count && c.ok(18); ++i) {
        c.align4();
        ParsedItem it;
        it.style = c.dword();
        it.exStyle = c.dword();
        it.x = c.coordinate();
        it.y = c.coordinate();
        it.cx = c.coordinate();
        it.cy = c.coordinate();
        it.id = static_cast<short>(c.word());
        it.cls = className(c.field());
        it.text = c.field();
        it.extraBytes = c.word();
        c.pos += it.extraBytes;
        d.items.push_back(it);
    }
    d.complete = c.pos <= size && d.items.size() == count;
    return d;
}

// The raw bytes of a resource of the library, in a given language or, with
// language -1, in whatever language FindResource picks.
std::vector<BYTE> resourceBytes(LPCSTR type, int id, int language = -1) {
    HINSTANCE lib = testenv::library();
    HRSRC res = language < 0
                    ? FindResourceA(lib, MAKEINTRESOURCEA(id), type)
                    : FindResourceExA(lib, type, MAKEINTRESOURCEA(id), static_cast<WORD>(language));
    if (!res)
        return {};
    HGLOBAL mem = LoadResource(lib, res);
    const BYTE* p = static_cast<const BYTE*>(LockResource(mem));
    if (!p)
        return {};
    return std::vector<BYTE>(p, p + SizeofResource(lib, res));
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(),
                                                  -1, b.c_str(), -1) == CSTR_EQUAL;
}

// Every language a resource is stored in. (FindResourceEx falls back to
// other languages, so it cannot tell.)
BOOL CALLBACK addLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

std::vector<WORD> languages(LPCSTR type, int id) {
    std::vector<WORD> list;
    EnumResourceLanguagesA(testenv::library(), type, MAKEINTRESOURCEA(id), addLanguage,
                           reinterpret_cast<LONG_PTR>(&list));
    return list;
}

TEST(DialogTemplates, EachDialogIsStoredInItsOwnLanguageOnly) {
    for (const Dialog& d : dialogs())
        EXPECT_EQ(std::vector<WORD>{d.language}, languages(RT_DIALOG, d.id)) << d.id;
}

TEST(DialogTemplates, HeaderItemsCoordinatesAndStylesAreExact) {
    for (const Dialog& want : dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(want.id));
        std::vector<BYTE> bytes = resourceBytes(RT_DIALOG, want.id);
        ASSERT_FALSE(bytes.empty());
        // A DLGTEMPLATEEX would start with version 1 and signature 0xFFFF.
        ASSERT_NE(0xFFFF0001u, *reinterpret_cast<const DWORD*>(bytes.data()));
        ParsedDialog got = parseTemplate(bytes.data(), bytes.size());
        EXPECT_TRUE(got.complete);
        EXPECT_EQ(want.style, got.style);
        EXPECT_EQ(0u, got.exStyle);
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
        EXPECT_EQ("", got.menu);
        EXPECT_EQ("", got.cls);
        EXPECT_EQ(want.caption, got.caption);
        EXPECT_EQ(8, got.pointSize);
        EXPECT_EQ("MS Sans Serif", got.face);
        ASSERT_EQ(want.items.size(), got.items.size());
        for (size_t i = 0; i < want.items.size(); ++i) {
            const Item& w = want.items[i];
            const ParsedItem& g = got.items[i];
            SCOPED_TRACE("item " + std::to_string(i) + " id " + std::to_string(w.id));
            EXPECT_EQ(w.id, g.id);
            // windres stores class names given as text in capitals; the
            // window manager matches them without regard to case.
            EXPECT_TRUE(sameText(w.cls, g.cls)) << g.cls;
            EXPECT_EQ(w.text, g.text);
            EXPECT_EQ(w.x, g.x);
            EXPECT_EQ(w.y, g.y);
            EXPECT_EQ(w.cx, g.cx);
            EXPECT_EQ(w.cy, g.cy);
            EXPECT_EQ(w.style, g.style) << std::hex << g.style;
            EXPECT_EQ(0u, g.exStyle);
            EXPECT_EQ(0, g.extraBytes);
        }
    }
}

// ---------------------------------------------------------------------------
// The dialogs created for real, with a procedure that does nothing.

INT_PTR CALLBACK idleProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

class LiveDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Dialog 11200 holds progress bars: their class must exist before
        // the dialog is created.
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&icc);
    }
};

std::string windowText(HWND w) {
    char buf[256] = {};
    GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

std::string windowClass(HWND w) {
    char buf[256] = {};
    GetClassNameA(w, buf, sizeof buf);
    return buf;
}

TEST_F(LiveDialogs, ControlsHaveTheirIdsClassesTextsAndPlaces) {
    for (const Dialog& want : dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(want.id));
        HWND dlg = CreateDialogParamA(testenv::library(), MAKEINTRESOURCEA(want.id), nullptr,
                                      idleProc, 0);
        ASSERT_NE(nullptr, dlg);
        EXPECT_TRUE(IsWindowVisible(dlg));
        EXPECT_EQ(want.caption, windowText(dlg));
        EXPECT_EQ(want.style & WS_CAPTION, DWORD(GetWindowLongA(dlg, GWL_STYLE)) & WS_CAPTION);

        // Children are kept in template order.
        size_t i = 0;
        for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++i) {
            ASSERT_LT(i, want.items.size());
            const Item& w = want.items[i];
            SCOPED_TRACE("item " + std::to_string(i) + " id " + std::to_string(w.id));
            EXPECT_EQ(w.id, static_cast<short>(GetDlgCtrlID(c)));
            EXPECT_EQ(w.cls, windowClass(c));
            EXPECT_TRUE(IsWindowVisible(c));
            // Place and size are converted to pixels separately, as the
            // dialog manager does, so the far edge may differ from the
            // converted far edge by a rounding.
            RECT want_px = {w.x, w.y, w.cx, w.cy};
            MapDialogRect(dlg, &want_px);
            RECT got;
            GetWindowRect(c, &got);
            MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&got), 2);
            EXPECT_EQ(want_px.left, got.left);
            EXPECT_EQ(want_px.top, got.top);
            if (std::string(w.text) == "#1") {
                // An icon static takes the size of its icon.
                EXPECT_NE(0, SendMessageA(c, STM_GETICON, 0, 0));
            } else {
                EXPECT_EQ(w.text, windowText(c));
                EXPECT_EQ(want_px.right, got.right - got.left);
                EXPECT_EQ(want_px.bottom, got.bottom - got.top);
            }
        }
        EXPECT_EQ(want.items.size(), i);

        HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
        LOGFONTA lf = {};
        ASSERT_NE(0, GetObjectA(font, sizeof lf, &lf));
        EXPECT_STREQ("MS Sans Serif", lf.lfFaceName);
        DestroyWindow(dlg);
    }
}

TEST_F(LiveDialogs, TheProgressDialogsIconIsIconOne) {
    HWND dlg = CreateDialogParamA(testenv::library(), MAKEINTRESOURCEA(IDD_COPYING), nullptr,
                                  idleProc, 0);
    ASSERT_NE(nullptr, dlg);
    HWND icon = nullptr;
    for (HWND c = GetWindow(dlg, GW_CHILD); c && !icon; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = c;
    ASSERT_NE(nullptr, icon);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)), &info));
    BITMAP mask = {};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(GetSystemMetrics(SM_CXICON), mask.bmWidth);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    DestroyWindow(dlg);
}

// ---------------------------------------------------------------------------
// Bitmaps. A BITMAP resource is a DIB without its file header.

struct Picture {
    int id;
    int width, height;
    // Sample points (fractions of width and height) and the colour the
    // picture must show there, so that no two flags can trade places.
    struct Sample {
        double u, v;
        const char* colour;
    };
    std::vector<Sample> samples;
};

const std::vector<Picture>& pictures() {
    static const std::vector<Picture> all = {
        {11400, 50, 32, {{0.2, 0.2, "blue"}, {0.9, 0.02, "red"}, {0.9, 0.98, "red"}}},
        {11401, 50, 32, {{0.5, 0.5, "red"}, {0.5, 0.05, "red"}, {0.3, 0.05, "blue"}, {0.02, 0.38, "white"}}},
        {11402, 50, 32, {{0.15, 0.5, "blue"}, {0.5, 0.5, "white"}, {0.85, 0.5, "red"}}},
        {11403, 50, 32, {{0.5, 0.15, "black"}, {0.5, 0.5, "red"}, {0.5, 0.85, "yellow"}}},
        {11404, 50, 32, {{0.5, 0.15, "red"}, {0.5, 0.5, "white"}, {0.5, 0.85, "blue"}}},
        {11405, 50, 32, {{0.5, 0.1, "red"}, {0.8, 0.5, "yellow"}, {0.5, 0.9, "red"}}},
        {11406, 50, 32, {{0.15, 0.5, "green"}, {0.5, 0.5, "white"}, {0.85, 0.5, "red"}}},
        {11407, 50, 32, {{0.1, 0.1, "green"}, {0.8, 0.5, "red"}, {0.4, 0.5, "white"}}},
        {11408, 50, 32, {{0.1, 0.1, "blue"}, {0.38, 0.5, "yellow"}, {0.9, 0.5, "yellow"}}},
        {11409, 50, 32, {{0.1, 0.1, "red"}, {0.36, 0.5, "blue"}, {0.9, 0.39, "white"}}},
        {11410, 50, 32, {{0.1, 0.1, "white"}, {0.36, 0.5, "blue"}, {0.9, 0.5, "blue"}}},
        {11411, 192, 64, {{0.01, 0.02, "grey"}, {0.99, 0.98, "grey"}}},
    };
    return all;
}

// The nearest of a few named colours.
const char* colourName(RGBQUAD q) {
    struct Named {
        const char* name;
        int r, g, b;
    };
    static const Named names[] = {
        {"black", 0, 0, 0},     {"white", 255, 255, 255}, {"grey", 192, 192, 192},
        {"red", 200, 16, 46},   {"blue", 0, 60, 140},     {"yellow", 250, 200, 0},
        {"green", 0, 120, 50},
    };
    const char* best = "";
    long bestDistance = -1;
    for (const Named& n : names) {
        long dr = q.rgbRed - n.r, dg = q.rgbGreen - n.g, db = q.rgbBlue - n.b;
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = n.name;
        }
    }
    return best;
}

// Colour at (x, y), y counted from the top, of a 4-bit bottom-up DIB.
RGBQUAD pixel(const std::vector<BYTE>& dib, int x, int y) {
    const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
    const auto* table = reinterpret_cast<const RGBQUAD*>(dib.data() + h->biSize);
    const BYTE* bits = dib.data() + h->biSize + 16 * sizeof(RGBQUAD);
    int stride = ((h->biWidth * 4 + 31) / 32) * 4;
    BYTE pair = bits[(h->biHeight - 1 - y) * stride + x / 2];
    return table[x % 2 == 0 ? pair >> 4 : pair & 15];
}

TEST(Bitmaps, EveryPictureIsAnUncompressedSixteenColourDibOfItsSize) {
    for (const Picture& p : pictures()) {
        SCOPED_TRACE("bitmap " + std::to_string(p.id));
        std::vector<BYTE> dib = resourceBytes(RT_BITMAP, p.id);
        ASSERT_GE(dib.size(), sizeof(BITMAPINFOHEADER));
        const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
        EXPECT_EQ(sizeof(BITMAPINFOHEADER), h->biSize);
        EXPECT_EQ(p.width, h->biWidth);
        EXPECT_EQ(p.height, h->biHeight);  // positive: stored bottom-up
        EXPECT_EQ(1, h->biPlanes);
        EXPECT_EQ(4, h->biBitCount);
        EXPECT_EQ(DWORD(BI_RGB), h->biCompression);
        EXPECT_TRUE(h->biClrUsed == 0 || h->biClrUsed == 16);
        size_t stride = ((p.width * 4 + 31) / 32) * 4;
        ASSERT_EQ(h->biSize + 16 * sizeof(RGBQUAD) + stride * p.height, dib.size());

        HBITMAP bmp = LoadBitmapA(testenv::library(), MAKEINTRESOURCEA(p.id));
        ASSERT_NE(nullptr, bmp);
        BITMAP info = {};
        GetObjectA(bmp, sizeof info, &info);
        EXPECT_EQ(p.width, info.bmWidth);
        EXPECT_EQ(p.height, info.bmHeight);
        DeleteObject(bmp);
    }
}

TEST(Bitmaps, EachFlagShowsItsCountrysColoursWhereExpected) {
    for (const Picture& p : pictures()) {
        SCOPED_TRACE("bitmap " + std::to_string(p.id));
        std::vector<BYTE> dib = resourceBytes(RT_BITMAP, p.id);
        ASSERT_FALSE(dib.empty());
        for (const Picture::Sample& s : p.samples) {
            int x = static_cast<int>(s.u * p.width), y = static_cast<int>(s.v * p.height);
            EXPECT_STREQ(s.colour, colourName(pixel(dib, x, y))) << "at " << x << "," << y;
        }
    }
}

TEST(Bitmaps, TheBannerIsRedLetteringOnLightGrey) {
    std::vector<BYTE> dib = resourceBytes(RT_BITMAP, IDB_WORKING);
    ASSERT_FALSE(dib.empty());
    int grey = 0, red = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 192; ++x) {
            RGBQUAD q = pixel(dib, x, y);
            grey += q.rgbRed == 192 && q.rgbGreen == 192 && q.rgbBlue == 192;
            red += q.rgbRed > 150 && q.rgbGreen < 60 && q.rgbBlue < 60;
        }
    // Mostly ground, but a good deal of solid ink.
    EXPECT_GT(grey, 192 * 64 / 2);
    EXPECT_GT(red, 192 * 64 / 20);
}

// ---------------------------------------------------------------------------
// Icons: a group directory (GRPICONDIR) naming RT_ICON images.

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD iconId;
};
#pragma pack(pop)
static_assert(sizeof(GroupEntry) == 14, "GRPICONDIRENTRY is 14 bytes");

void expectIconGroup(int group, int language, int size) {
    SCOPED_TRACE("icon group " + std::to_string(group));
    std::vector<BYTE> dir = resourceBytes(RT_GROUP_ICON, group, language);
    ASSERT_GE(dir.size(), 6u + sizeof(GroupEntry));
    const WORD* head = reinterpret_cast<const WORD*>(dir.data());
    EXPECT_EQ(0, head[0]);
    EXPECT_EQ(1, head[1]);  // icons, not cursors
    ASSERT_EQ(1, head[2]);  // one image
    GroupEntry e;
    std::memcpy(&e, dir.data() + 6, sizeof e);
    EXPECT_EQ(size, e.width);
    EXPECT_EQ(size, e.height);
    EXPECT_EQ(16, e.colours);
    EXPECT_EQ(1, e.planes);
    EXPECT_EQ(4, e.bitCount);

    std::vector<BYTE> image = resourceBytes(RT_ICON, e.iconId);
    ASSERT_EQ(e.bytes, image.size());
    const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(image.data());
    EXPECT_EQ(size, h->biWidth);
    EXPECT_EQ(2 * size, h->biHeight);  // colour image and mask
    EXPECT_EQ(4, h->biBitCount);
    EXPECT_EQ(DWORD(BI_RGB), h->biCompression);

    HICON icon = CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()), TRUE,
                                          0x00030000, size, size, 0);
    EXPECT_NE(nullptr, icon);
    DestroyIcon(icon);
}

TEST(Icons, GroupOneIsThirtyTwoPixelsInSixteenColours) {
    expectIconGroup(IDI_SETUP, kNeutral, 32);
}

TEST(Icons, GroupTwoIsSixteenPixelsInSixteenColoursAndEnglish) {
    expectIconGroup(IDI_SETUP_SMALL, kEnglishUS, 16);
    EXPECT_EQ(std::vector<WORD>{kEnglishUS}, languages(RT_GROUP_ICON, IDI_SETUP_SMALL));
}

// ---------------------------------------------------------------------------
// Version record, read the way Explorer reads it: from the file.

class VersionRecord : public ::testing::Test {
protected:
    void SetUp() override {
        char path[MAX_PATH] = {};
        ASSERT_NE(0u, GetModuleFileNameA(testenv::library(), path, MAX_PATH));
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(path, &handle);
        ASSERT_NE(0u, size);
        block.resize(size);
        ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));
    }
    std::string value(const std::string& name) {
        char* text = nullptr;
        UINT length = 0;
        std::string query = "\\StringFileInfo\\040904E4\\" + name;
        if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length))
            return "<missing>";
        return text;
    }
    std::vector<BYTE> block;
};

TEST_F(VersionRecord, FixedPartNamesADllForWin32AtVersionOne) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(DWORD(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(DWORD(VOS__WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(0u, fixed->dwFileFlags);
}

TEST_F(VersionRecord, TranslationIsUsEnglishInCodePage1252) {
    WORD* pair = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&pair), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, pair[0]);
    EXPECT_EQ(1252, pair[1]);
}

TEST_F(VersionRecord, StringsNameTheMakerAndTheFile) {
    EXPECT_EQ("Tarvelon", value("CompanyName"));
    EXPECT_EQ("Setup runtime", value("FileDescription"));
    EXPECT_EQ("1.10", value("FileVersion"));
    EXPECT_EQ("Setup.Dll", value("InternalName"));
    EXPECT_EQ("Setup.Dll", value("OriginalFilename"));
    EXPECT_NE("<missing>", value("LegalCopyright"));
}

}  // namespace
