#include "log_core.h"

#include <algorithm>
#include <cmath>

static bool isLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

static bool isHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

static bool claimWake(LogCore& core)
{
    if (core.drainScheduled)
        return false;
    core.drainScheduled = true;
    return true;
}

// Moves the front of the queue on by n units (shown or dropped), giving
// memory back now and then, never copying the queue on every append.
static void dropFront(LogCore& core, size_t n)
{
    core.head += n;
    core.done += n;
    if (core.head >= 65536 && core.head * 2 >= core.text.size()) {
        core.text.erase(0, core.head);
        core.head = 0;
    }
}

// Keeps the queue within the view's limit by dropping its oldest lines: the
// newest output always shows.
static void boundQueue(LogCore& core, size_t limit)
{
    size_t backlog = logBacklog(core);
    if (backlog <= limit)
        return;
    size_t excess = backlog - limit;
    size_t lf = core.text.find(u'\n', core.head + excess - 1);
    size_t cut = lf + 1;
    if (lf == std::u16string::npos) { // text without a line break: cut mid-line, between characters
        cut = core.head + excess;
        if (cut < core.text.size() && isLowSurrogate(core.text[cut]))
            ++cut;
    }
    dropFront(core, cut - core.head);
}

bool logAppend(LogCore& core, const char16_t* text, size_t n, const char16_t* end, size_t endN, size_t limit)
{
    core.text.append(text, n);
    core.text.append(end, endN);
    core.queued += n + endN;
    boundQueue(core, limit);
    return claimWake(core);
}

bool logRequestDrain(LogCore& core)
{
    return logBacklog(core) > 0 && claimWake(core);
}

void logWakeFailed(LogCore& core)
{
    core.drainScheduled = false;
}

// The size of the next piece: whole lines from the front of the queue, up
// to budget units and at least one line. A line longer than kLongLineUnits,
// which the view must wrap at a cost that grows faster than its length,
// ends the piece; one longer than kLongestPieceUnits goes in parts, never
// between the two halves of a surrogate pair.
static size_t nextPiece(const LogCore& core, size_t budget)
{
    const std::u16string& text = core.text;
    size_t start = core.head, at = start;
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

LogStep logNextStep(LogCore& core, size_t viewLength, size_t limit, int64_t nowUs, std::u16string& piece)
{
    LogStep step;
    boundQueue(core, limit); // the limit may have come down since the last append
    size_t take = nextPiece(core, logPieceBudget(core.cost, nowUs));
    if (take == 0)
        return step;
    if (viewLength + take <= limit) {
        piece.assign(core.text, core.head, take);
        dropFront(core, take);
        step.kind = LogStep::Insert;
        return step;
    }
    // The queue is within the limit, so the piece is too, and cutting
    // this much of the view makes room for it.
    step.kind = LogStep::Cut;
    step.cutAtLeast = viewLength + take - limit;
    size_t all = viewLength + logBacklog(core) - limit; // what the queue will push out
    step.cutWant = std::max(step.cutAtLeast, std::min({all, logCutBudget(core.cost, limit, nowUs), viewLength}));
    return step;
}

bool logStepEnded(LogCore& core)
{
    if (logBacklog(core) > 0)
        return true;
    core.drainScheduled = false;
    return false;
}

static bool idle(const LogCost& cost, int64_t nowUs)
{
    return cost.lastStepUs == 0 || nowUs - cost.lastStepUs > kIdleUs;
}

// What a step may be predicted to cost: the budget less a margin for the
// noise, so that an unlucky step still ends near the budget.
static double target(const LogCost& cost)
{
    return kStepBudgetUs - kSpreads * cost.spreadUs;
}

void logInsertMeasured(LogCost& cost, size_t units, double us, int64_t nowUs)
{
    // Fits us = fixedUs + unitUs * units over the recent insertions, from
    // moments that forget old ones; the spread of piece sizes tells the
    // part per unit apart from the fixed part. How far the insertions stray
    // from the fit is learned too, and kept as a margin: under Wine the
    // same insertion varies by a few milliseconds from one step to the next.
    const double weight = 0.2, n = static_cast<double>(units);
    auto blend = [weight](double& mean, double value) { mean += weight * (value - mean); };
    if (cost.insertions++ == 0) {
        cost.meanUnits = n, cost.meanUs = us, cost.meanUnits2 = n * n, cost.meanUnitsUs = n * us;
    } else {
        blend(cost.spreadUs, std::abs(us - (cost.fixedUs + cost.unitUs * n)));
        blend(cost.meanUnits, n), blend(cost.meanUs, us), blend(cost.meanUnits2, n * n), blend(cost.meanUnitsUs, n * us);
    }
    // Pieces of like sizes cannot tell the part per unit from noise, so the
    // fit leans on a prior of a microsecond a unit until their sizes spread
    // by more than kPriorUnits.
    double variance = std::max(0.0, cost.meanUnits2 - cost.meanUnits * cost.meanUnits);
    double covariance = cost.meanUnitsUs - cost.meanUnits * cost.meanUs;
    const double prior = 1.0, priorWeight = kPriorUnits * kPriorUnits;
    cost.unitUs = std::clamp((covariance + prior * priorWeight) / (variance + priorWeight), 0.3, 100.0);
    cost.fixedUs = std::max(0.0, cost.meanUs - cost.unitUs * cost.meanUnits);
    cost.lastPiece = units;
    cost.lastStepUs = nowUs;
}

void logCutMeasured(LogCost& cost, size_t units, double us, int64_t nowUs)
{
    double fits = static_cast<double>(units) * std::max(target(cost), 1000.0) / std::max(us, 1.0);
    cost.cutUnits = static_cast<size_t>(std::clamp(fits, 1024.0, 2.0 * static_cast<double>(std::max<size_t>(units, 1024))));
    cost.lastStepUs = nowUs;
}

size_t logPieceBudget(const LogCost& cost, int64_t nowUs)
{
    if (idle(cost, nowUs))
        return 0; // one line, measured before more
    double room = (target(cost) - cost.fixedUs) / cost.unitUs;
    return static_cast<size_t>(std::clamp(room, 0.0, 1.5 * static_cast<double>(cost.lastPiece) + 256));
}

size_t logCutBudget(const LogCost& cost, size_t limit, int64_t nowUs)
{
    // A cut measured before larger ones; once measured, never less than a
    // sixteenth of the limit: a cut's fixed part (finding a line start,
    // laying the view out again) makes small cuts dear per unit, and cutting
    // in crumbs would keep a full view full.
    const size_t first = 8192;
    size_t units = cost.cutUnits == 0 || idle(cost, nowUs) ? first : std::max(cost.cutUnits, limit / 16);
    return std::min(units, std::max<size_t>(limit, 1));
}

LogNext logPaceNext(LogPace& pace, int64_t nowUs, bool inputWaiting, bool paintWaiting, bool viewNeedsPaint)
{
    if (pace.burstStartUs == 0)
        pace.burstStartUs = nowUs;
    if (nowUs - pace.burstStartUs >= kBurstUs) {
        pace.burstStartUs = 0;
        return LogNext::Gap;
    }
    if (!inputWaiting && !paintWaiting)
        return LogNext::PostNow;
    if (!inputWaiting && viewNeedsPaint)
        return LogNext::AfterPaint;
    return LogNext::Timer;
}

unsigned logGapMs(const LogPace& pace)
{
    return static_cast<unsigned>(std::clamp<int64_t>(2 * pace.paintUs / 1000 + 10, 20, 100));
}

int64_t ticksToUs(int64_t ticks, int64_t frequency)
{
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}
