// Every interleaving, up to a small bound, of the log's lock-held steps as
// activity_log.cpp takes them: two workers and the UI thread appending, a
// worker waiting in flushLog, the UI thread stepping from a posted message,
// a timer or a paint, draining directly, and lowering the limit, with posts
// and timers that may fail. After each complete schedule no queued text may
// be stranded, and once drained every line must have reached the view in
// the order its append took the lock, but the oldest dropped for the limit.
#include "log_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

enum Op : char { Append, Flush, Limit, Drain };
struct Program {
    std::vector<std::pair<Op, std::u16string>> ops;
};

// The UI thread's place in stepInTurn (or in its direct drain).
enum Stage : char { Idle, Planned, Stepped, Scheduling, WakeFailed, DrainPlanned };

struct World {
    LogCore core;
    LogModel model;
    size_t limit = 24;
    std::u16string view;
    // The platform around the core: WM_LOG_FLUSH messages waiting, the step
    // timer, the view waiting to paint, and the paint's promise of a step.
    int posted = 0;
    bool timer = false, paint = false, stepAfterPaint = false;
    bool stepEvent = false;    // logStep, set by every step
    bool lastWakeFailed = false;
    int failuresLeft = 1, timeoutsLeft = 1;
    int64_t clock = 1;
    LogPace pace;
    // Actors: 0 and 1 workers, 2 the UI thread.
    size_t pc[3] = {};
    Stage stage = Idle;
    LogStep plan;
    std::u16string piece;
    bool flushStarted = false, flushWaiting = false; // worker 0 in its flushLog
    uint64_t flushTarget = 0;

    std::string key() const
    {
        std::string k(reinterpret_cast<const char*>(core.text.data() + core.head), logBacklog(core) * 2);
        auto add = [&k](const auto& value) { k.append(reinterpret_cast<const char*>(&value), sizeof value); };
        // Of the clock and the cost model only what the decisions here can
        // tell apart: whether anything was measured, and how far a burst has
        // gone (the measured costs keep every piece at the whole queue).
        bool measured = core.cost.lastStepUs != 0, cutMeasured = core.cost.cutUnits != 0;
        int64_t burst = pace.burstStartUs == 0 ? -1 : clock - pace.burstStartUs;
        add(core.drainScheduled), add(core.queued), add(core.done), add(measured), add(cutMeasured), add(burst);
        add(limit), add(posted), add(timer), add(paint), add(stepAfterPaint), add(stepEvent), add(lastWakeFailed);
        add(failuresLeft), add(timeoutsLeft), add(pc), add(stage), add(plan.kind), add(plan.cutWant);
        add(flushStarted), add(flushWaiting), add(flushTarget);
        k += '|';
        k.append(reinterpret_cast<const char*>(view.data()), view.size() * 2);
        k += '|';
        k.append(reinterpret_cast<const char*>(piece.data()), piece.size() * 2);
        return k;
    }
};

struct Checker {
    Program programs[3];
    std::unordered_set<size_t> seen; // hashes of the states explored
    std::string failure;
    size_t schedules = 0;

    void fail(const std::string& what, const World&)
    {
        if (failure.empty())
            failure = what;
    }

    // A wake-up that may fail while the budget allows: both outcomes are explored.
    template <typename Then>
    void mayFail(World& w, Then then)
    {
        World ok = w;
        ok.lastWakeFailed = false;
        then(ok, true);
        if (w.failuresLeft > 0) {
            World failed = w;
            --failed.failuresLeft;
            failed.lastWakeFailed = true;
            then(failed, false);
        }
    }

    // wake() in activity_log.cpp: a post under the lock, which may fail.
    void wake(World& w)
    {
        mayFail(w, [this](World v, bool posted) {
            if (posted)
                ++v.posted;
            else
                logWakeFailed(v.core);
            explore(v);
        });
    }

    // An append under the lock, and the post it may call for.
    void append(World w, const std::u16string& text)
    {
        static const char16_t crlf[] = u"\r\n";
        bool mustWake = logAppend(w.core, text.data(), text.size(), crlf, 2, w.limit);
        w.model.append(text + u"\r\n", w.limit);
        if (!mustWake)
            return explore(w);
        wake(w);
    }

    // Takes a step's piece or cut under the lock, as step() does.
    bool plan(World& w)
    {
        w.plan = logNextStep(w.core, w.view.size(), w.limit, w.clock, w.piece);
        w.model.bound(w.limit);
        if (w.plan.kind == LogStep::Insert) {
            if (const char* broken = pieceBreaksRules(w.piece, w.core.text.substr(w.core.head, 1)); *broken)
                fail(broken, w);
            if (!w.model.take(w.piece))
                fail("a piece is not the oldest text queued: lines out of order or lost", w);
        }
        return w.plan.kind != LogStep::Nothing;
    }

    // The cut or insertion outside the lock, then its measure under it.
    void perform(World& w)
    {
        size_t units = w.piece.size();
        if (w.plan.kind == LogStep::Cut) {
            units = fakeLineStartFrom(w.view, w.plan.cutWant);
            w.view.erase(0, units);
        } else {
            w.view += w.piece;
            if (w.view.size() > w.limit)
                fail("an insertion took the view past its limit", w);
        }
        w.clock += 100000; // a burst ends after three steps
        if (w.plan.kind == LogStep::Cut)
            logCutMeasured(w.core.cost, units, 5000, w.clock);
        else
            logInsertMeasured(w.core.cost, units, 10000.0 + static_cast<double>(units), w.clock);
        w.paint = true;
        w.stepEvent = true;
        w.piece.clear();
    }

    void uiStep(World w)
    {
        switch (w.stage) {
        case Planned: // perform, then see whether more is queued
            perform(w);
            w.stage = Stepped;
            return explore(w);
        case Stepped:
            w.stage = logStepEnded(w.core) ? Scheduling : Idle;
            if (w.stage == Idle)
                w.pace.burstStartUs = 0;
            return explore(w);
        case Scheduling: {
            LogNext next = logPaceNext(w.pace, w.clock, false, w.paint, w.paint);
            auto timerThenPost = [this](World v) {
                mayFail(v, [this](World t, bool armed) {
                    if (armed) {
                        t.timer = true;
                        t.stage = Idle;
                        return explore(t);
                    }
                    mayFail(t, [this](World p, bool posted) {
                        if (posted)
                            ++p.posted;
                        p.stage = posted ? Idle : WakeFailed;
                        explore(p);
                    });
                });
            };
            if (next == LogNext::PostNow)
                return mayFail(w, [&](World v, bool posted) {
                    if (posted) {
                        ++v.posted;
                        v.stage = Idle;
                        return explore(v);
                    }
                    timerThenPost(v);
                });
            if (next == LogNext::AfterPaint)
                w.stepAfterPaint = true;
            return timerThenPost(w);
        }
        case WakeFailed:
            logWakeFailed(w.core);
            w.stage = Idle;
            return explore(w);
        case DrainPlanned: // flushLog on the UI thread: steps until nothing is queued
            perform(w);
            if (plan(w))
                w.stage = DrainPlanned;
            else
                w.stage = Idle;
            return explore(w);
        case Idle:
            break;
        }
    }

    // stepInTurn's start: the timer killed, a step planned.
    void stepInTurn(World w)
    {
        w.timer = false;
        w.stepAfterPaint = false;
        w.stage = plan(w) ? Planned : Stepped;
        explore(w);
    }

    // The UI thread takes its next message: posted ones first, then paint,
    // then the timer (a periodic one stays armed until stepInTurn kills it).
    void dispatch(World w)
    {
        if (w.posted > 0) {
            --w.posted;
            return stepInTurn(w);
        }
        if (w.paint) {
            w.paint = false;
            if (!w.stepAfterPaint)
                return explore(w);
            return mayFail(w, [this](World v, bool posted) {
                if (posted) {
                    ++v.posted;
                    v.stepAfterPaint = false;
                    v.timer = false;
                }
                explore(v);
            });
        }
        if (w.timer)
            return stepInTurn(w);
    }

    void uiOp(World w)
    {
        auto [op, text] = programs[2].ops[w.pc[2]++];
        if (op == Append)
            return append(w, text);
        if (op == Limit) {
            w.limit = text.size();
            return explore(w);
        }
        // Drain
        w.stage = plan(w) ? DrainPlanned : Idle;
        explore(w);
    }

    void workerOp(World w, int who)
    {
        const auto& [op, text] = programs[who].ops[w.pc[who]];
        if (op == Append) {
            ++w.pc[who];
            return append(w, text);
        }
        if (w.flushWaiting) { // its wait ends: a step set the event, or 250 ms passed
            if (!w.stepEvent)
                --w.timeoutsLeft;
            w.flushWaiting = false;
            return explore(w);
        }
        if (!w.flushStarted)
            w.flushTarget = w.core.queued, w.flushStarted = true;
        if (w.core.done >= w.flushTarget) {
            ++w.pc[who];
            return explore(w);
        }
        w.stepEvent = false;
        w.flushWaiting = true;
        if (!logRequestDrain(w.core))
            return explore(w);
        wake(w);
    }

    bool pending(const World& w) const { return w.posted > 0 || w.paint || w.timer; }

    void explore(World w)
    {
        if (capture) {
            capture->push_back(w);
            return;
        }
        if (!failure.empty() || !seen.insert(std::hash<std::string>()(w.key())).second)
            return;
        bool any = false;
        for (int who = 0; who < 2; ++who) {
            if (w.pc[who] == programs[who].ops.size() || (who == 0 && w.flushWaiting && !w.stepEvent && w.timeoutsLeft == 0))
                continue;
            any = true;
            workerOp(w, who);
        }
        if (w.stage != Idle)
            return uiStep(w);
        if (w.pc[2] < programs[2].ops.size()) {
            any = true;
            uiOp(w);
        }
        if (pending(w)) {
            any = true;
            dispatch(w);
        }
        if (!any)
            finish(w);
    }

    // Every actor is done and nothing more is pending: the end of a schedule.
    void finish(World w)
    {
        ++schedules;
        bool wakePending = pending(w) || w.stage != Idle;
        if (logBacklog(w.core) > 0 && !wakePending && (w.core.drainScheduled || !w.lastWakeFailed))
            return fail("queued text is stranded: nothing will step, and the next append will not schedule", w);
        // What the next append or flushLog would do, and then the drain.
        if (logBacklog(w.core) > 0 && !wakePending && logRequestDrain(w.core))
            ++w.posted;
        for (int turns = 0; pending(w) || w.stage != Idle; ++turns) {
            if (turns > 1000)
                return fail("the queue never drains", w);
            w.failuresLeft = 0;
            w = runUi(w);
        }
        if (logBacklog(w.core) > 0 || w.model.units > 0)
            fail("text is left queued after the drain", w);
        if (w.core.drainScheduled)
            fail("the flag is left set with nothing queued", w);
    }

    // One deterministic turn of the UI thread, with nothing failing.
    World runUi(World w)
    {
        std::vector<World> next;
        Checker one;
        one.capture = &next;
        if (w.stage != Idle)
            one.uiStep(w);
        else
            one.dispatch(w);
        if (!one.failure.empty())
            fail(one.failure, w);
        return next.empty() ? World{} : next.front();
    }

    std::vector<World>* capture = nullptr; // set: record the next worlds, explore none
};

} // namespace

static std::string check(Checker& c)
{
    World start;
    c.explore(start);
    return c.failure;
}

static void expectSound(const Program& w0, const Program& w1, const Program& ui)
{
    Checker c;
    c.programs[0] = w0, c.programs[1] = w1, c.programs[2] = ui;
    EXPECT_EQ(check(c), "");
    printf("%zu states, %zu complete schedules\n", c.seen.size(), c.schedules);
    EXPECT_GT(c.schedules, 100u);
}

TEST(LogInterleavings, AppendsFromEveryThreadWithWakeUpsThatFail)
{
    expectSound({{{Append, u"a0"}, {Append, u"a1"}}}, {{{Append, u"b0"}, {Append, u"b1"}}},
                {{{Append, u"u0"}, {Append, u"u1"}}});
}

TEST(LogInterleavings, AFlushTheLimitComingDownAndADirectDrain)
{
    expectSound({{{Append, u"a0"}, {Flush, u""}}}, {{{Append, u"b0"}}},
                {{{Append, u"u0"}, {Limit, u"12345678"}, {Append, u"u1"}, {Drain, u""}}});
}
