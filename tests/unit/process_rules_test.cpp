// The installation run's decisions: end codes to closing steps, notification
// kinds to actions, and the progress bars sent a position only when it moves.
#include "setup/ProcessRules.h"

#include <gtest/gtest.h>

#include <climits>

TEST(ProcessRules, EndCodesSelectTheirClosingStep) {
    EXPECT_EQ(Closing::Error, closingFor(0));
    EXPECT_EQ(Closing::UserBreak, closingFor(1));
    EXPECT_EQ(Closing::Complete, closingFor(2));
    EXPECT_EQ(Closing::Reboot, closingFor(3));
    // DialogBoxParam's failure and anything else the dialog cannot end with.
    for (long code : {-1L, 4L, 11101L, LONG_MIN, LONG_MAX})
        EXPECT_EQ(Closing::Nothing, closingFor(code)) << code;
}

TEST(ProcessRules, OnlyKindsZeroToThreeAct) {
    EXPECT_EQ(InfoAction::ShowTarget, infoActionFor(0));
    EXPECT_EQ(InfoAction::ShowSource, infoActionFor(1));
    EXPECT_EQ(InfoAction::SetTotal, infoActionFor(2));
    EXPECT_EQ(InfoAction::SetCurrent, infoActionFor(3));
    for (int kind : {-1, 4, 5, 100, INT_MIN, INT_MAX})
        EXPECT_EQ(InfoAction::Ignore, infoActionFor(kind)) << kind;
}

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
