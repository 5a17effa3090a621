// The log's pure core: pieces, the queue's bound, the cut, the piece size.
#include "log/log_core.h"

#include <gtest/gtest.h>

TEST(LogCore, LongLinesGoInPiecesThatKeepSurrogatePairsWhole)
{
    LogQueue queue;
    std::u16string line = std::u16string(kLongestPieceUnits - 1, u'x') + u"\xD83D\xDE00" + u"tail\r\n";
    ASSERT_TRUE(logAppend(queue, line.data(), line.size(), u"", 0, 640000));
    EXPECT_EQ(logTakePiece(queue, 640000, 65536), std::u16string(kLongestPieceUnits - 1, u'x'))
        << "not between the pair's halves";
    EXPECT_EQ(logTakePiece(queue, 640000, 65536), u"\xD83D\xDE00tail\r\n");
    EXPECT_EQ(logTakePiece(queue, 640000, 65536), u"");
    EXPECT_FALSE(logTickEnded(queue));
    EXPECT_FALSE(queue.awake);
}

TEST(LogCore, TheQueueKeepsTheNewestWholeLinesWithinTheLimit)
{
    LogQueue queue;
    for (const char16_t* line : {u"one", u"two", u"three"})
        logAppend(queue, line, std::char_traits<char16_t>::length(line), u"\r\n", 2, 12);
    EXPECT_EQ(logTakePiece(queue, 12, 100), u"two\r\nthree\r\n");
    for (const char16_t* line : {u"four", u"five"})
        logAppend(queue, line, std::char_traits<char16_t>::length(line), u"\r\n", 2, 100);
    EXPECT_EQ(logTakePiece(queue, 7, 100), u"five\r\n") << "a limit that came down since the appends";
    EXPECT_EQ(queue.done, queue.queued);
}

TEST(LogCore, ACutMakesRoomAQuarterOfTheLimitAtATime)
{
    EXPECT_EQ(logCutNeeded(600, 400, 1000), 0u);
    EXPECT_EQ(logCutNeeded(900, 200, 1000), 250u) << "a quarter of the limit, not just the 100 needed";
    EXPECT_EQ(logCutNeeded(900, 700, 1000), 600u) << "all that is needed";
    EXPECT_EQ(logCutNeeded(100, 1000, 1000), 100u) << "never more than the view";
}

TEST(LogCore, APieceHalvesAfterALongTickAndDoublesAfterAShortFullOne)
{
    EXPECT_EQ(logNextBudget(8192, 100, 13, 12), 4096u);
    EXPECT_EQ(logNextBudget(4096, 2048, 5.9, 12), 8192u);
    EXPECT_EQ(logNextBudget(4096, 2047, 5.9, 12), 4096u) << "a short queue's piece tells nothing of a full one";
    EXPECT_EQ(logNextBudget(kLeastBudgetUnits, kLeastBudgetUnits, 100, 12), kLeastBudgetUnits);
}

TEST(LogCore, OnlyTheAppendThatFindsTheLogIdleWakesIt)
{
    LogQueue queue;
    EXPECT_FALSE(logRequestDrain(queue)) << "nothing queued";
    EXPECT_TRUE(logAppend(queue, u"a", 1, u"\r\n", 2, 100));
    EXPECT_FALSE(logAppend(queue, u"b", 1, u"\r\n", 2, 100));
    EXPECT_FALSE(logRequestDrain(queue));
    logWakeFailed(queue);
    EXPECT_TRUE(logRequestDrain(queue)) << "after a failed wake-up the next one tries again";
    logTakePiece(queue, 100, 100);
    EXPECT_FALSE(logTickEnded(queue));
    EXPECT_TRUE(logAppend(queue, u"c", 1, u"\r\n", 2, 100));
}
