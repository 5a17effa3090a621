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
    core.cost.fixedUs = kStepBudgetUs - 2000; // and a microsecond a unit: room for 2000
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
    logCutMeasured(core.cost, 64000, 2 * kStepBudgetUs, 6); // twice the budget: half as large
    EXPECT_EQ(logCutBudget(core.cost, 1000000, 7), 62500u) << "but never below a sixteenth of the limit";
    EXPECT_EQ(logCutBudget(core.cost, 640000, 7 + kIdleUs + 1), 8192u) << "small again after a pause";
    EXPECT_EQ(piece, u"") << "a cut takes nothing off the queue";
}

TEST(LogCore, CostModelLearnsThePartPerUnitAndKeepsAMarginForNoise)
{
    // A view where an insertion costs 5 ms plus 2 us a unit.
    auto feed = [](LogCost& cost, double noise) {
        for (int i = 0; i < 60; ++i) {
            size_t units = 200 + static_cast<size_t>(i % 5) * 8000;
            logInsertMeasured(cost, units, 5000.0 + 2.0 * static_cast<double>(units) + (i % 2 ? noise : -noise), 1000 + i);
        }
    };
    LogCost exact, noisy;
    feed(exact, 0);
    EXPECT_NEAR(exact.unitUs, 2.0, 0.2);
    EXPECT_NEAR(exact.fixedUs, 5000, 1000);
    double filled = 5000.0 + 2.0 * static_cast<double>(logPieceBudget(exact, 2000));
    EXPECT_GT(filled, 0.85 * kStepBudgetUs) << "without noise a piece nearly fills the budget";
    EXPECT_LE(filled, kStepBudgetUs);
    feed(noisy, 3000);
    EXPECT_NEAR(noisy.spreadUs, 3000, 1000);
    double unlucky = 5000.0 + 2.0 * static_cast<double>(logPieceBudget(noisy, 2000)) + 3000;
    EXPECT_LE(unlucky, kStepBudgetUs) << "an unlucky step still within the budget";

    // Pieces of like sizes whose costs vary by chance: a fit on them alone
    // would find 15 us a unit and shrink every piece to a line.
    LogCost alike;
    for (int i = 0; i < 40; ++i)
        logInsertMeasured(alike, i % 2 ? 1100 : 1000, i % 2 ? 9500 : 8000, 1000 + i);
    EXPECT_LT(alike.unitUs, 2.0);
    EXPECT_GT(logPieceBudget(alike, 2000), 1000u);

    logInsertMeasured(exact, 100, 5000.0 + 2.0 * 100, 3000);
    EXPECT_EQ(logPieceBudget(exact, 3000), 406u) << "a piece grows at most by half on the last";
    EXPECT_EQ(logPieceBudget(exact, 3000 + kIdleUs + 1), 0u) << "one line first after a pause";
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
