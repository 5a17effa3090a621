// libFuzzer: the log's queue under any sequence of appends, ticks with any
// budget, the user typing into the view or clearing it, and the limit
// changing, also below a waiting piece; a list of lines is the oracle, and
// a string stands in for the view, cut and filled as the UI thread does it.
#include "log_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Bytes {
    const uint8_t* data;
    size_t size, at = 0;
    unsigned next() { return at < size ? data[at++] : 0; }
    bool empty() const { return at >= size; }
};

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "log core check failed: %s\n", what);
        std::abort();
    }
}

char16_t unitFrom(unsigned b)
{
    static const char16_t units[] = {u'x', u'y', u' ', u'\r', u'\n', 0xD83D, 0xDE00, 0xE9, u'-'};
    return units[b % (sizeof units / sizeof *units)];
}

struct Run {
    LogQueue queue;
    LogModel model;
    std::u16string view;
    size_t limit = 640, maxLimit = 640, maxAppend = 0;

    void append(Bytes& in)
    {
        unsigned shape = in.next();
        size_t n = in.next() * ((shape & 3) == 3 ? 40u : 1u); // now and then past the longest piece
        std::u16string text;
        for (size_t i = 0; i < n; ++i)
            text += (shape & 4) ? unitFrom(in.next()) : static_cast<char16_t>(u'a' + i % 26);
        if (shape & 8) // appendLogLines: whole lines, each with its CR LF
            text += u"\r\n";
        const char16_t* end = (shape & 8) ? u"" : u"\r\n";
        size_t endN = (shape & 8) ? 0 : 2;
        logAppend(queue, text.data(), text.size(), end, endN, limit);
        model.append(text + std::u16string(end, endN), limit);
        maxAppend = std::max(maxAppend, text.size() + endN);
    }

    // One tick as the UI thread takes it; false when nothing was queued.
    bool tick(size_t budget)
    {
        size_t backlogBefore = logBacklog(queue);
        std::u16string piece = logTakePiece(queue, limit, budget);
        model.bound(limit);
        check(model.units == logBacklog(queue) + piece.size(), "the queue holds other than the oldest lines dropped");
        check(logBacklog(queue) <= std::max(limit, backlogBefore), "the queue grew in a tick");
        if (piece.empty())
            return false;
        const char* broken = pieceBreaksRules(piece, queue.text.substr(queue.head, 1));
        check(!*broken, broken);
        size_t firstLf = piece.find(u'\n');
        check(piece.size() <= budget || firstLf == std::u16string::npos || firstLf == piece.size() - 1,
              "a piece of several lines past its budget");
        check(model.take(piece), "a piece is not the oldest text queued: lines out of order or lost");
        if (size_t need = logCutNeeded(view.size(), piece.size(), limit)) {
            check(need <= view.size(), "a cut reaches past the view");
            view.erase(0, fakeLineStartFrom(view, need));
        }
        view += piece;
        check(view.size() <= limit, "an insertion took the view past its limit");
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Bytes in{data, size};
    Run run;
    while (!in.empty()) {
        switch (in.next() % 8) {
        case 0:
        case 1:
            run.append(in);
            break;
        case 2:
        case 3: // a tick with any budget
            run.tick(in.next() * ((in.next() & 1) ? 64u : 1u));
            break;
        case 4: { // the user types into the view, as much as its limit lets in
            size_t at = run.view.empty() ? 0 : in.next() % (run.view.size() + 1);
            std::u16string typed(std::min<size_t>(in.next() % 8, run.limit - std::min(run.limit, run.view.size())), u't');
            run.view.insert(at, typed);
            break;
        }
        case 5:
            run.view.clear();
            break;
        case 6: // the limit changes, also below a waiting piece
            run.limit = 1 + in.next() * ((in.next() & 1) ? 40u : 1u);
            run.maxLimit = std::max(run.maxLimit, run.limit);
            break;
        case 7:
        { // a waiting worker asks for a drain; its wake-up may fail
            bool mustWake = logBacklog(run.queue) > 0 && !run.queue.awake;
            check(logRequestDrain(run.queue) == mustWake, "a drain request wakes when it need not, or not when it must");
        }
            if (in.next() & 1)
                logWakeFailed(run.queue);
            break;
        }
        check(run.queue.text.capacity() <= 4 * (run.maxLimit + run.maxAppend) + 262144,
              "the queue's memory grew past a multiple of the limit and the largest append");
    }
    for (int ticks = 0; run.tick(kFirstBudgetUnits); ++ticks)
        check(ticks < 100000, "the queue never drains");
    check(run.model.units == 0 && logBacklog(run.queue) == 0, "text is left queued after the drain");
    check(!logTickEnded(run.queue) && !run.queue.awake, "the log stays awake with nothing queued");
    return 0;
}
