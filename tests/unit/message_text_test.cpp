// Formatting of message texts with one insert.
#include "baseinterface/MessageText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string format(const char* text, const char* insert, size_t size = 0) {
    size_t need = formattedMessageSize(text, insert);
    if (size == 0)
        size = need;
    std::string out(size, '#');
    formatMessage(&out[0], size, text, insert);
    return std::string(out.c_str());
}

TEST(MessageText, FirstPercentSReceivesTheInsert) {
    EXPECT_EQ("Uninstalling existing version of Acme.",
              format("Uninstalling existing version of %s.", "Acme"));
    EXPECT_EQ(strlen("Uninstalling existing version of Acme.") + 1,
              formattedMessageSize("Uninstalling existing version of %s.", "Acme"));
}

TEST(MessageText, TextWithoutPercentSIsUnchanged) {
    EXPECT_EQ("Setup is complete.", format("Setup is complete.", "ignored"));
}

TEST(MessageText, OnlyOneInsertAndDoublePercentIsPercent) {
    // A second %s has no argument behind it: it is left as written.
    EXPECT_EQ("a X b %s c % d", format("a %s b %s c %% d", "X"));
}

TEST(MessageText, CutToTheBufferAndAlwaysTerminated) {
    EXPECT_EQ("Copy C:\\lo", format("Copy %s now", "C:\\long\\path", 11));
    EXPECT_EQ("", format("abc", "x", 1));
}

}  // namespace
