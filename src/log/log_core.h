// The log's queue and the rules that need no platform call. Pure: no
// Windows header, UTF-16 in char16_t. The caller holds its lock around
// every call taking a LogQueue.
//
// The wake-up rule: an append (or drain request) that finds the log idle
// makes it awake and must wake the UI thread; a wake-up that cannot be
// made leaves it idle, so the next append tries anew. The UI thread ticks
// until a tick finds the queue empty, which makes the log idle.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

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

// Queues text and its line break, dropping the oldest whole lines past
// limit. True when the caller must wake the UI thread.
bool logAppend(LogQueue& queue, const char16_t* text, size_t n, const char16_t* end, size_t endN, size_t limit);

bool logRequestDrain(LogQueue& queue); // for flushLog: true as logAppend
void logWakeFailed(LogQueue& queue);

// The next piece off the queue, bounded first by limit: whole lines up to
// budget units, at least one line (or a long one's part). "" when empty.
std::u16string logTakePiece(LogQueue& queue, size_t limit, size_t budget);

// What a cut off the view's top must take for a piece to fit (0: it fits):
// at least a quarter of the limit, so a full view is not cut every tick.
size_t logCutNeeded(size_t viewLength, size_t pieceUnits, size_t limit);

// After a tick: true while text is queued; false, and idle, when not.
bool logTickEnded(LogQueue& queue);

// A piece's size: halved after a tick longer than budgetMs, doubled after
// one shorter than half of it that took at least half the size (a short
// queue's small pieces tell nothing of a large one's cost). Never below
// kLeastBudgetUnits: in a full view of short lines an insertion costs 9 to
// 10 ms under Wine for 256 units or 2,048; smaller ones only drain slower.
size_t logNextBudget(size_t units, size_t used, double tickMs, double budgetMs);
constexpr size_t kFirstBudgetUnits = 4096, kLeastBudgetUnits = 2048, kMostBudgetUnits = 65536;
constexpr double kTickBudgetMs = 12; // what a tick aims to take
