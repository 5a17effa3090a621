// The log's queue and the rules that need no platform call: what waits for
// the view, how it is cut into pieces, how much of the view a piece pushes
// out, how the piece size follows the time a tick took, and whether an
// append must wake the UI thread. Pure: no Windows header, UTF-16 in
// char16_t whatever the width of wchar_t.
//
// The caller holds its lock around every function taking a LogQueue.
//
// The wake-up rule: the log is idle or awake. An append (or a drain
// request) that finds it idle makes it awake and must then wake the UI
// thread; a wake-up that cannot be made leaves it idle again, so the next
// append tries anew. While awake, the UI thread ticks until a tick finds
// the queue empty, which makes the log idle in the same hold of the lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A piece is whole lines from the front of the queue, at least one line,
// or the part of a long line that fits this:
constexpr size_t kLongLineUnits = 1024;     // a line the view wraps ends a piece
constexpr size_t kLongestPieceUnits = 4096; // a piece ends mid-line only past this

struct LogQueue {
    std::u16string text; // text[head...] is not yet in the view
    size_t head = 0;
    bool awake = false;
    uint64_t queued = 0;  // units ever queued
    uint64_t done = 0;    // units ever shown or dropped
};

inline size_t logBacklog(const LogQueue& queue)
{
    return queue.text.size() - queue.head;
}

// Queues text and then end (its line break), dropping the oldest whole
// lines past limit. True when the caller must wake the UI thread now.
bool logAppend(LogQueue& queue, const char16_t* text, size_t n, const char16_t* end, size_t endN, size_t limit);

// For a thread waiting for the queue to drain: true when the caller must
// wake the UI thread now.
bool logRequestDrain(LogQueue& queue);

// A wake-up could not be made.
void logWakeFailed(LogQueue& queue);

// Takes the next piece off the queue, which is first bounded by limit: at
// most budget units but at least one line. Empty when nothing is queued.
std::u16string logTakePiece(LogQueue& queue, size_t limit, size_t budget);

// The least a cut off the view's top must take before a piece fits; 0 when
// it fits already. A cut takes at least a quarter of the limit, so that a
// full view is cut now and then, not for every piece.
size_t logCutNeeded(size_t viewLength, size_t pieceUnits, size_t limit);

// After a tick: true while text is queued; false when the queue is empty,
// and the log is then idle.
bool logTickEnded(LogQueue& queue);

// The next piece's budget in units: halved after a tick that took longer
// than budgetMs, doubled after one that took less than half of it.
size_t logNextBudget(size_t units, double tickMs, double budgetMs);
constexpr size_t kFirstBudgetUnits = 4096, kLeastBudgetUnits = 256, kMostBudgetUnits = 65536;
constexpr double kTickBudgetMs = 12; // what a tick aims to take
