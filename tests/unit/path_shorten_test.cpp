// Path shortening around "...", measured with made-up fonts.
#include "baseinterface/PathShorten.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Every character 5 pixels wide, the full stop `dot` pixels; the height goes
// into the high word as GetTextExtent packs it.
MeasureText fixedFont(unsigned int dot = 5) {
    return [dot](const char* text, size_t count) {
        unsigned int w = 0;
        for (size_t i = 0; i < count; ++i)
            w += text[i] == '.' ? dot : 5;
        return (13u << 16) | (w & 0xFFFF);
    };
}

unsigned int widthOf(const std::string& s, unsigned int dot = 5) {
    return fixedFont(dot)(s.c_str(), s.size()) & 0xFFFF;
}

struct Shown {
    bool shortened;
    std::string text;
};

Shown show(const std::string& text, int width, unsigned int dot = 5) {
    char out[kShortTextSize];
    memset(out, 'x', sizeof out);
    bool s = shortenPath(text.c_str(), width, fixedFont(dot), out, sizeof out);
    return {s, s ? std::string(out) : text};
}

TEST(PathShorten, NarrowerTextIsShownUnchanged) {
    std::string path = "C:\\Program Files\\Vendor";
    Shown s = show(path, static_cast<int>(widthOf(path)) + 1);
    EXPECT_FALSE(s.shortened);
}

TEST(PathShorten, TextExactlyAsWideAsTheControlIsShortened) {
    std::string path = "C:\\Program Files\\Vendor";
    Shown s = show(path, static_cast<int>(widthOf(path)));
    ASSERT_TRUE(s.shortened);
    EXPECT_EQ("C:\\...gram Files\\Vendor", s.text);
}

TEST(PathShorten, KeepsTheDriveAndTheLongestTailThatFits) {
    std::string path = "C:\\Program Files\\Vendor\\Product\\Bin";
    for (int width = 40; width < static_cast<int>(widthOf(path)); width += 7) {
        Shown s = show(path, width);
        ASSERT_TRUE(s.shortened) << width;
        ASSERT_EQ(0u, s.text.find("C:\\...")) << s.text;
        std::string tail = s.text.substr(6);
        ASSERT_EQ(path.substr(path.size() - tail.size()), tail);
        int room = width - static_cast<int>(widthOf("C:\\..."));
        EXPECT_LE(static_cast<int>(widthOf(tail)), room) << width;
        // One more character would not have fitted.
        std::string longer = path.substr(path.size() - tail.size() - 1);
        EXPECT_GT(static_cast<int>(widthOf(longer)), room) << width;
    }
}

TEST(PathShorten, TextWithoutBackslashIsShownUnchanged) {
    EXPECT_FALSE(show("AVeryLongFileNameWithoutAnyFolder.txt", 20).shortened);
}

TEST(PathShorten, ControlNarrowerThanTheDriveShowsDriveAndEllipsis) {
    Shown s = show("C:\\Program Files\\Vendor", 15);  // C:\ is 15 wide
    ASSERT_TRUE(s.shortened);
    EXPECT_EQ("C:\\...", s.text);
}

TEST(PathShorten, DriveFitsButNotTheEllipsis) {
    // Room for C:\ (15) but not C:\... (30): the whole tail goes.
    Shown s = show("C:\\Program Files", 20);
    ASSERT_TRUE(s.shortened);
    EXPECT_EQ("C:\\...", s.text);
    // With wide full stops the whole text is narrower than C:\...: shown whole.
    Shown wide = show("C:\\ab", 20, 10);
    EXPECT_FALSE(wide.shortened);
}

TEST(PathShorten, NothingDroppedMeansUnchanged) {
    // With full stops of no width the tail fits the room exactly: nothing
    // to drop, so the text stays as it is.
    EXPECT_FALSE(show("C:\\ab", 25, 0).shortened);
}

TEST(PathShorten, WidthsAreSixteenBitsWide) {
    // A measure whose height sits in the high word: only the low word counts.
    std::string path = "C:\\Program Files\\Vendor";
    char out[kShortTextSize];
    auto measure = [](const char*, size_t count) { return 0xFFFF0000u | static_cast<unsigned int>(count); };
    EXPECT_FALSE(shortenPath(path.c_str(), 1000, measure, out, sizeof out));
}

TEST(PathShorten, LongTextsStayWithinTheBuffer) {
    std::string path = "C:\\" + std::string(400, 'a') + "\\end";
    char out[kShortTextSize + 8];
    memset(out, 'x', sizeof out);
    // Wide enough for everything, but the buffer is not: the tail is cut to it.
    int wide = static_cast<int>(widthOf(path));
    ASSERT_TRUE(shortenPath(path.c_str(), wide, fixedFont(), out, kShortTextSize));
    std::string shown(out);
    EXPECT_EQ(kShortTextSize - 1, shown.size());
    EXPECT_EQ(0u, shown.find("C:\\..."));
    EXPECT_EQ(path.substr(path.size() - (shown.size() - 6)), shown.substr(6));
    EXPECT_EQ('x', out[kShortTextSize]);
    // A first component that alone overflows the buffer is shown unchanged.
    std::string noRoom(300, 'b');
    noRoom += "\\tail";
    EXPECT_FALSE(shortenPath(noRoom.c_str(), 50, fixedFont(), out, kShortTextSize));
}

}  // namespace
