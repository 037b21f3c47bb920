// The installation run's progress bars: a position is sent only when it
// moves. (Which closing step an end code selects and which notification kinds
// act are plain tables; setup_process_test sees them at work.)
#include "setup/ProcessRules.h"

#include <gtest/gtest.h>

TEST(ProcessRules, BarPositionSentOnlyWhenItMoves) {
    BarPosition bar;
    // The first position is always sent, even 0.
    EXPECT_TRUE(bar.moveTo(0));
    EXPECT_FALSE(bar.moveTo(0));
    // A file of many blocks: one send per whole percent.
    int sent = 0;
    for (int block = 0; block <= 1000; ++block)
        sent += bar.moveTo(block * 100 / 1000) ? 1 : 0;
    EXPECT_EQ(100, sent);
    EXPECT_FALSE(bar.moveTo(100));
    // Moving back (the next file) is a change.
    EXPECT_TRUE(bar.moveTo(3));
    // After a step moved the bar, the same position is sent again.
    bar.forget();
    EXPECT_TRUE(bar.moveTo(3));
    EXPECT_FALSE(bar.moveTo(3));
}
