// Every interleaving of the log's lock-held steps as activity_log.cpp takes
// them: two workers appending (each append posting a wake-up, which may
// fail, when it finds the log idle) and the UI thread ticking from that
// wake-up or its timer (which may fail to be set), a tick taking its piece
// and ending in two holds of the lock. In every state a log that is awake
// has a wake-up on the way; when nothing more can happen, every line is in
// the view in the order its append took the lock, or the log is idle and
// the next append wakes it.
#include "log/log_core.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace {

enum Stage : char { Idle, Taken, TickedFromWake };

struct World {
    LogQueue queue;
    std::u16string view, expected, piece;
    int posted = 0, postFailures = 1, timerFailures = 1;
    bool timer = false, fromWake = false;
    Stage stage = Idle;
    size_t next[2] = {};

    std::string key() const
    {
        std::string k(reinterpret_cast<const char*>(view.data()), view.size() * 2);
        k += '|';
        k.append(reinterpret_cast<const char*>(expected.data()), expected.size() * 2);
        auto add = [&k](const auto& value) { k.append(reinterpret_cast<const char*>(&value), sizeof value); };
        add(queue.head), add(queue.awake), add(posted), add(postFailures), add(timerFailures), add(timer);
        add(fromWake), add(stage), add(next);
        return k;
    }
};

const std::u16string lines[2][2] = {{u"a1", u"a2"}, {u"b1", u"b2"}};

struct Checker {
    std::unordered_set<std::string> seen;
    std::string failure;
    size_t ends = 0;

    void explore(const World& w)
    {
        if (!failure.empty() || !seen.insert(w.key()).second)
            return;
        if (w.queue.awake && w.posted == 0 && !w.timer && w.stage == Idle)
            failure = "the log is awake with no wake-up on the way: the next append will not wake it";
        bool moved = false;
        for (int t = 0; t < 2; ++t)
            if (w.next[t] < 2) { // an append, and its post under the same hold of the lock
                moved = true;
                World v = w;
                const std::u16string& line = lines[t][v.next[t]++];
                v.expected += line + u"\r\n";
                if (logAppend(v.queue, line.data(), line.size(), u"\r\n", 2, 1000)) {
                    if (v.postFailures > 0) {
                        World failed = v;
                        --failed.postFailures;
                        logWakeFailed(failed.queue);
                        explore(failed);
                    }
                    ++v.posted;
                }
                explore(v);
            }
        if (w.stage == Idle && (w.posted > 0 || w.timer)) { // a tick takes its piece
            for (bool wake : {true, false}) {
                if (wake ? w.posted == 0 : !w.timer)
                    continue;
                moved = true;
                World v = w;
                v.posted -= wake;
                v.fromWake = wake;
                v.piece = logTakePiece(v.queue, 1000, 3);
                v.stage = Taken;
                explore(v);
            }
        } else if (w.stage == Taken) { // the piece goes in; the tick ends, killing the timer when idle
            moved = true;
            World v = w;
            v.view += v.piece;
            v.timer = logTickEnded(v.queue) && v.timer;
            v.stage = v.fromWake ? TickedFromWake : Idle;
            explore(v);
        } else if (w.stage == TickedFromWake) { // keepTicking: the timer is set while awake
            moved = true;
            World v = w;
            v.stage = Idle;
            if (v.queue.awake && v.timerFailures > 0) {
                World failed = v;
                --failed.timerFailures;
                logWakeFailed(failed.queue);
                explore(failed);
            }
            v.timer = v.queue.awake;
            explore(v);
        }
        if (moved)
            return;
        ++ends;
        if (w.view + w.queue.text.substr(w.queue.head) != w.expected)
            failure = "lines out of the order their appends took the lock";
        else if (logBacklog(w.queue) > 0 && w.queue.awake)
            failure = "queued text is stranded: the log is awake, so the next append will not wake it";
    }
};

} // namespace

TEST(LogInterleavings, NoLineIsStrandedOrOutOfOrder)
{
    Checker checker;
    checker.explore(World{});
    EXPECT_EQ(checker.failure, "");
    EXPECT_GT(checker.ends, 10u);
    printf("%zu states, %zu ends\n", checker.seen.size(), checker.ends);
}
