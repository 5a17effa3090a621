// The log's queue and every decision about it that needs no platform call:
// what waits for the view, what the next step of moving it there takes,
// whether an append must wake the UI thread, and what a step costs. Pure:
// no Windows header, UTF-16 in char16_t whatever the width of wchar_t.
//
// The caller holds its lock around every function taking a LogCore; the
// view's length and limit are passed in, read by the caller. A step is
// either a cut of whole lines off the view's top or one insertion.
//
// The wake-up rule: whenever text is queued, drainScheduled is set, and
// then a wake-up is pending (a posted message, an armed timer, a paint that
// is followed by a step) or a step is under way. Only an append or a drain
// request that finds the flag clear sets it, and must then wake the UI
// thread while still holding the lock; a wake-up that cannot be made clears
// the flag again, so the next append or request tries anew.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Units a piece may always take, however dear the view: one line, or the
// part of a line that fits this.
constexpr size_t kLongLineUnits = 1024;    // a line the view wraps ends a piece
constexpr size_t kLongestPieceUnits = 4096; // a piece ends mid-line only past this
constexpr double kStepBudgetUs = 11000;     // the time one step aims at, noise included
constexpr double kSpreads = 1.5;            // the margin kept for noise, in mean deviations
constexpr double kPriorUnits = 2000;        // the spread of piece sizes the cost fit trusts
constexpr int64_t kIdleUs = 1000000;        // after this long without a step, start small

// What the view's work costs, learned from the steps measured: an insertion
// a fixed part, a part for each unit and how far it strays from those; a
// cut as the units that fit the budget by the last one's measure.
struct LogCost {
    double fixedUs = 20000;      // an insertion's fixed part
    double unitUs = 1.0;         // and its part per unit
    double spreadUs = 0;         // how far insertions stray from that, on average
    double meanUnits = 0, meanUs = 0, meanUnits2 = 0, meanUnitsUs = 0; // fitting moments
    int insertions = 0;
    size_t lastPiece = 0;        // a piece grows at most by half on the last
    size_t cutUnits = 0;         // what the next cut may take; 0 until one was measured
    int64_t lastStepUs = 0;      // when the last step ended; 0: none yet
};

struct LogCore {
    std::u16string text;  // text[head...] is not yet in the view
    size_t head = 0;
    bool drainScheduled = false;
    uint64_t queued = 0;  // units ever queued
    uint64_t done = 0;    // units ever shown or dropped
    LogCost cost;
};

inline size_t logBacklog(const LogCore& core)
{
    return core.text.size() - core.head;
}

// Queues text and then end (its line break), dropping the oldest whole
// lines past limit. True when the caller must wake the UI thread now.
bool logAppend(LogCore& core, const char16_t* text, size_t n, const char16_t* end, size_t endN, size_t limit);

// For a thread waiting for the queue to drain: true when the caller must
// wake the UI thread now (no wake-up is pending).
bool logRequestDrain(LogCore& core);

// A wake-up (posted message or timer) could not be made.
void logWakeFailed(LogCore& core);

// The next step for a view of this length. Insert: piece holds the text,
// taken off the queue. Cut: at least cutAtLeast units, and up to cutWant,
// must go off the view's top (the caller cuts at a whole line) before the
// next piece fits.
struct LogStep {
    enum Kind { Nothing, Cut, Insert } kind = Nothing;
    size_t cutAtLeast = 0, cutWant = 0;
};
LogStep logNextStep(LogCore& core, size_t viewLength, size_t limit, int64_t nowUs, std::u16string& piece);

// After a step: true when more is queued (the caller schedules the next
// step); false when the queue is empty, and the flag is then clear.
bool logStepEnded(LogCore& core);

// What a step measured, for the next ones.
void logInsertMeasured(LogCost& cost, size_t units, double us, int64_t nowUs);
void logCutMeasured(LogCost& cost, size_t units, double us, int64_t nowUs);

// The units a piece may take to stay within the budget; and those a cut may.
size_t logPieceBudget(const LogCost& cost, int64_t nowUs);
size_t logCutBudget(const LogCost& cost, size_t limit, int64_t nowUs);

// How the next step is scheduled behind the user's input and painting.
// Back-to-back steps (posted at once, or after the view's paint) leave the
// thread's queue never empty, and a modal dialog shows only once it is; so
// after a burst of them one step waits on a timer that leaves a gap.
struct LogPace {
    int64_t burstStartUs = 0; // 0: not in a burst
    int64_t paintUs = 0;      // the view's last paint took this long
};
enum class LogNext { PostNow, AfterPaint, Timer, Gap };
LogNext logPaceNext(LogPace& pace, int64_t nowUs, bool inputWaiting, bool paintWaiting, bool viewNeedsPaint);
// The gap's timer, in milliseconds: long enough for a paint to end first.
unsigned logGapMs(const LogPace& pace);
constexpr int64_t kBurstUs = 500000;

// A performance counter's ticks as microseconds, without overflow.
int64_t ticksToUs(int64_t ticks, int64_t frequency);
