#include "log_core.h"

#include <algorithm>

static bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
static bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

static bool claimWake(LogQueue& queue)
{
    bool idle = !queue.awake;
    queue.awake = true;
    return idle;
}

// Moves the front of the queue on by n units (shown or dropped), giving
// memory back now and then, never copying the queue on every append.
static void dropFront(LogQueue& queue, size_t n)
{
    queue.head += n;
    queue.done += n;
    if (queue.head >= 65536 && queue.head * 2 >= queue.text.size()) {
        queue.text.erase(0, queue.head);
        queue.head = 0;
    }
}

// Keeps the queue within the view's limit by dropping its oldest lines: the
// newest output always shows.
static void boundQueue(LogQueue& queue, size_t limit)
{
    size_t backlog = logBacklog(queue);
    if (backlog <= limit)
        return;
    size_t excess = backlog - limit;
    size_t lf = queue.text.find(u'\n', queue.head + excess - 1);
    size_t cut = lf + 1;
    if (lf == std::u16string::npos) { // text without a line break: cut mid-line, between characters
        cut = queue.head + excess;
        if (cut < queue.text.size() && isLowSurrogate(queue.text[cut]))
            ++cut;
    }
    dropFront(queue, cut - queue.head);
}

bool logAppend(LogQueue& queue, const char16_t* text, size_t n, const char16_t* end, size_t endN, size_t limit)
{
    queue.text.append(text, n);
    queue.text.append(end, endN);
    queue.queued += n + endN;
    boundQueue(queue, limit);
    return claimWake(queue);
}

bool logRequestDrain(LogQueue& queue)
{
    return logBacklog(queue) > 0 && claimWake(queue);
}

void logWakeFailed(LogQueue& queue)
{
    queue.awake = false;
}

// The size of the next piece: whole lines from the front of the queue, up
// to budget units and at least one line. A line longer than kLongLineUnits,
// which the view must wrap at a cost that grows faster than its length,
// ends the piece; one longer than kLongestPieceUnits goes in parts, never
// between the two halves of a surrogate pair.
static size_t nextPiece(const LogQueue& queue, size_t budget)
{
    const std::u16string& text = queue.text;
    size_t start = queue.head, at = start;
    while (at < text.size()) {
        size_t lf = text.find(u'\n', at);
        size_t next = lf == std::u16string::npos ? text.size() : lf + 1;
        if (at > start && next - start > budget)
            break;
        if (next - at > kLongestPieceUnits) {
            if (at > start)
                break;
            return isHighSurrogate(text[at + kLongestPieceUnits - 1]) ? kLongestPieceUnits - 1 : kLongestPieceUnits;
        }
        bool wrapped = next - at > kLongLineUnits;
        at = next;
        if (wrapped)
            break;
    }
    return at - start;
}

std::u16string logTakePiece(LogQueue& queue, size_t limit, size_t budget)
{
    boundQueue(queue, limit); // the limit may have come down since the last append
    size_t take = nextPiece(queue, budget);
    std::u16string piece(queue.text, queue.head, take);
    dropFront(queue, take);
    return piece;
}

size_t logCutNeeded(size_t viewLength, size_t pieceUnits, size_t limit)
{
    if (viewLength + pieceUnits <= limit)
        return 0;
    return std::min(viewLength, std::max(viewLength + pieceUnits - limit, limit / 4));
}

bool logTickEnded(LogQueue& queue)
{
    if (logBacklog(queue) > 0)
        return true;
    queue.awake = false;
    return false;
}

size_t logNextBudget(size_t units, size_t used, double tickMs, double budgetMs)
{
    if (tickMs > budgetMs)
        return std::max(units / 2, kLeastBudgetUnits);
    if (tickMs < budgetMs / 2 && 2 * used >= units)
        return std::min(units * 2, kMostBudgetUnits);
    return units;
}
