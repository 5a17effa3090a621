// The log's pure core: pieces, surrogates, the cost model, the pace, the clock.
#include "log/log_core.h"

#include <gtest/gtest.h>

TEST(LogCore, LongLinesGoInPiecesThatKeepSurrogatePairsWhole)
{
    LogCore core;
    std::u16string line = std::u16string(kLongestPieceUnits - 1, u'x') + u"\xD83D\xDE00" + u"tail\r\n";
    ASSERT_TRUE(logAppend(core, line.data(), line.size(), u"", 0, 640000));
    core.cost.lastStepUs = 1; // not idle
    std::u16string first, second;
    EXPECT_EQ(logNextStep(core, 0, 640000, 2, first).kind, LogStep::Insert);
    EXPECT_EQ(first, std::u16string(kLongestPieceUnits - 1, u'x')); // not between the pair's halves
    logNextStep(core, first.size(), 640000, 3, second);
    EXPECT_EQ(second, u"\xD83D\xDE00tail\r\n");
    EXPECT_TRUE(logStepEnded(core) == false && !core.drainScheduled);
}

TEST(LogCore, ACutMakesRoomAndIsSmallUntilMeasured)
{
    LogCore core;
    core.cost.lastStepUs = 1, core.cost.lastPiece = 2000;
    std::u16string line = u"0123456789abcd\r\n", piece; // 16 units
    for (int i = 0; i < 1000; ++i)
        logAppend(core, line.data(), line.size(), u"", 0, 640000);
    LogStep step = logNextStep(core, 639990, 640000, 2, piece);
    EXPECT_EQ(step.kind, LogStep::Cut);
    EXPECT_EQ(step.cutAtLeast, 639990u + 2000 - 640000) << "room for a piece of the budget's 2000 units";
    EXPECT_EQ(step.cutWant, 8192u) << "the first cut is small";
    logCutMeasured(core.cost, 64000, 2000, 3); // far within the budget: the next may be twice as large
    EXPECT_EQ(logNextStep(core, 639990, 640000, 4, piece).cutWant, 639990u + 16000 - 640000)
        << "all that the queue pushes out, within the budget";
    EXPECT_EQ(logCutBudget(core.cost, 1000000, 5), 128000u);
    logCutMeasured(core.cost, 64000, 44000, 6); // twice the budget: half as large
    EXPECT_EQ(logCutBudget(core.cost, 1000000, 7), 62500u) << "but never below a sixteenth of the limit";
    EXPECT_EQ(logCutBudget(core.cost, 640000, 7 + kIdleUs + 1), 8192u) << "small again after a pause";
    EXPECT_EQ(piece, u"") << "a cut takes nothing off the queue";
}

TEST(LogCore, CostModelLearnsThePartPerUnit)
{
    // A view where an insertion costs 5 ms plus 8 us a unit.
    LogCost cost;
    for (int i = 0; i < 40; ++i) {
        size_t units = 200 + static_cast<size_t>(i % 5) * 400;
        logInsertMeasured(cost, units, 5000.0 + 8.0 * static_cast<double>(units), 1000 + i);
    }
    EXPECT_NEAR(cost.unitUs, 8.0, 0.5);
    size_t budget = logPieceBudget(cost, 2000);
    EXPECT_NEAR(5000.0 + 8.0 * static_cast<double>(budget), kStepBudgetUs, 0.05 * kStepBudgetUs);
    logInsertMeasured(cost, 100, 5000.0 + 8.0 * 100, 3000);
    EXPECT_EQ(logPieceBudget(cost, 3000), 406u) << "a piece grows at most by half on the last";
    EXPECT_EQ(logPieceBudget(cost, 3000 + kIdleUs + 1), 0u) << "one line first after a pause";
}

TEST(LogCore, BackToBackStepsLeaveAGapNowAndThen)
{
    LogPace pace;
    EXPECT_EQ(logPaceNext(pace, 1000, false, false, false), LogNext::PostNow);
    EXPECT_EQ(logPaceNext(pace, 2000, false, true, true), LogNext::AfterPaint);
    EXPECT_EQ(logPaceNext(pace, 3000, true, true, true), LogNext::Timer);
    EXPECT_EQ(logPaceNext(pace, 1000 + kBurstUs, false, false, false), LogNext::Gap);
    EXPECT_EQ(logPaceNext(pace, 2000 + kBurstUs, false, false, false), LogNext::PostNow) << "a new burst";
    pace.paintUs = 30000;
    EXPECT_EQ(logGapMs(pace), 70u);
}

TEST(LogCore, TicksBecomeMicrosecondsWithoutOverflow)
{
    // 11.6 days of a 10 MHz counter: the ticks times a million overflow 64 bits.
    EXPECT_EQ(ticksToUs(10000000LL * 1000000 + 5, 10000000), 1000000000000LL);
    EXPECT_EQ(ticksToUs(3, 4), 750000);
}
