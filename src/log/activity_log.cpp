// How lines reach the log view.
//
// The view is an EDIT control owned by the UI thread, and under Wine every
// insertion into it costs 10 to 20 ms however small (more as the view fills),
// plus well under a microsecond a character, and far more for a long line
// the view must wrap; painting it costs up to 8 ms more, and a cut from the
// top 20 to 60 ms. So no append inserts anything: appendLog adds its text and
// CR LF to a queue under logLock, and the UI thread moves the queue into the
// view in steps.
//
// Steps are bounded by time. A step either cuts whole lines off the top of
// the view, when the next piece would take it past its limit, or inserts one
// piece: whole lines from the front of the queue, as many as the measured
// cost of the last insertions says fit the budget, at least one, and at most
// one long line. So the same code keeps the window answering on a slow
// machine.
//
// Input and painting come first. A step starts from a posted WM_LOG_FLUSH.
// The next one is posted the same way only while GetQueueStatus shows no
// input and no paint waiting; when the view itself needs painting, its own
// WM_PAINT posts it once it has painted; otherwise a timer carries it, since
// timers come last in the queue order. Only the UI thread inserts, piece by
// piece in queue order, so the log's order is the order in which appends took
// logLock.
//
// No lost wake-up: whenever text is queued, drainScheduled is set, and then
// either a WM_LOG_FLUSH is posted, the step timer is armed, or the UI thread
// is in a step. An append posts only when it sets drainScheduled; a step
// clears it when it leaves the queue empty or could schedule nothing (a
// full message queue), and flushLog then tries again; all under logLock.
//
// The queue keeps at most the view's limit: its oldest lines are dropped, so
// the newest output always shows. Nothing here is ever destroyed: workers may
// still append while the program exits.
#include "activity_log.h"

#include <algorithm>

HANDLE logLock;
static HWND logView;     // written once by initLog on the UI thread
static WNDPROC editProc; // the view's own procedure, behind our subclass
static HANDLE logStep;   // set after every step; flushLog waits on it
static volatile LONG textLimit = 30000; // the view's limit, seen as it is set

// Text on its way to the view. Guarded by logLock; allocated once, never freed.
struct LogQueue {
    std::wstring text;           // text[head...] is not yet in the view
    size_t head = 0;
    bool drainScheduled = false; // see the top of this file
    uint64_t queued = 0;         // units ever queued
    uint64_t done = 0;           // units ever shown or dropped
};
static LogQueue& logQueue = *new LogQueue;

// What the UI thread's steps cost; it alone touches these. An insertion
// costs a fixed part, measured, and a part for each character, taken as 1 us
// (more than it is: the measured fixed part then makes up the difference).
constexpr LONGLONG kStepBudgetUs = 22000; // the time one step aims at
constexpr double kUsPerUnit = 1.0;
constexpr size_t kLeastPiece = 2048;      // units a piece may always take
constexpr size_t kLongLine = 1024;        // a line the view wraps ends a piece
constexpr size_t kLongestLine = 4096;     // a piece ends mid-line only past this
static double fixedUs = 20000;            // an insertion's fixed cost, as measured
static size_t cutSize = 640000;           // units the next cut may take
static LONGLONG longestStepUs;            // for the benchmark
static bool stepAfterPaint;               // the view's next WM_PAINT posts the next step

constexpr UINT WM_LOG_FLUSH = WM_APP + 0x41; // posted: one step
// The step timer's id is an address in this program, which no control's own
// timer id (small numbers) can equal.
static UINT_PTR stepTimer()
{
    return reinterpret_cast<UINT_PTR>(&logStep);
}

static size_t limitNow()
{
    return static_cast<size_t>(InterlockedCompareExchange(&textLimit, 0, 0));
}

static LONGLONG nowUs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Whole seconds and the rest apart: the count times a million would
    // overflow after days of uptime.
    LONGLONG seconds = now.QuadPart / frequency.QuadPart, rest = now.QuadPart % frequency.QuadPart;
    return seconds * 1000000 + rest * 1000000 / frequency.QuadPart;
}

static size_t queuedNow() // logLock held
{
    return logQueue.text.size() - logQueue.head;
}

// Moves the front of the queue on by n units (shown or dropped), giving
// memory back now and then, never copying the queue on every append.
static void dropFront(size_t n) // logLock held
{
    logQueue.head += n;
    logQueue.done += n;
    if (logQueue.head >= 65536 && logQueue.head * 2 >= logQueue.text.size()) {
        logQueue.text.erase(0, logQueue.head);
        logQueue.head = 0;
    }
}

// Keeps the queue within the view's limit by dropping its oldest lines.
static void boundQueue() // logLock held
{
    size_t limit = limitNow();
    if (queuedNow() <= limit)
        return;
    size_t excess = queuedNow() - limit;
    size_t lf = logQueue.text.find(L'\n', logQueue.head + excess - 1);
    size_t cut = lf == std::wstring::npos ? logQueue.head + excess : lf + 1;
    if (cut < logQueue.text.size() && IS_LOW_SURROGATE(logQueue.text[cut]))
        ++cut;
    dropFront(cut - logQueue.head);
}

// The size of the next piece: whole lines from the front of the queue, up
// to budget units and at least one line. A line longer than kLongLine, which
// the view must wrap at a cost that grows faster than its length, ends the
// piece; one longer than kLongestLine goes in parts. logLock held.
static size_t nextPiece(size_t budget)
{
    const std::wstring& text = logQueue.text;
    size_t start = logQueue.head, at = start;
    while (at < text.size()) {
        size_t lf = text.find(L'\n', at);
        size_t next = lf == std::wstring::npos ? text.size() : lf + 1;
        if (at > start && next - start > budget)
            break;
        if (next - at > kLongestLine) {
            if (at > start)
                break;
            return IS_HIGH_SURROGATE(text[at + kLongestLine - 1]) ? kLongestLine - 1 : kLongestLine;
        }
        bool wrapped = next - at > kLongLine;
        at = next;
        if (wrapped)
            break;
    }
    return at - start;
}

// The units the next insertion may take to stay within the budget.
static size_t pieceBudget()
{
    double room = (static_cast<double>(kStepBudgetUs) - fixedUs) / kUsPerUnit;
    return static_cast<size_t>(std::clamp(room, static_cast<double>(kLeastPiece), 65536.0));
}

// The start of the first whole line at or after position at: the view has
// wrapped lines, so the visual line ending with a line break is sought.
static size_t lineStartFrom(size_t at, size_t length)
{
    LRESULT line = SendMessageW(logView, EM_LINEFROMCHAR, at, 0);
    for (LRESULT count = SendMessageW(logView, EM_GETLINECOUNT, 0, 0); ++line < count;) {
        size_t start = static_cast<size_t>(SendMessageW(logView, EM_LINEINDEX, line, 0));
        size_t before = static_cast<size_t>(SendMessageW(logView, EM_LINEINDEX, line - 1, 0));
        size_t shown = static_cast<size_t>(SendMessageW(logView, EM_LINELENGTH, before, 0));
        if (start >= at && start - before >= shown + 2) // a CR LF ends the line before
            return start;
    }
    return length;
}

// Cuts whole lines off the top of the view: at least need units, and as
// many of want as the last cut's cost says fit the budget. Cutting all that
// the queue will push out at once keeps the view short while the queue
// drains, and a short view takes insertions faster.
static void cutTop(size_t need, size_t want, size_t length)
{
    size_t cut = lineStartFrom(std::max(need, std::min({want, cutSize, length})), length);
    LONGLONG start = nowUs();
    SendMessageW(logView, EM_SETSEL, 0, static_cast<LPARAM>(cut));
    SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    size_t limit = limitNow();
    double fitted = static_cast<double>(cut) * kStepBudgetUs / static_cast<double>(std::max<LONGLONG>(nowUs() - start, 1));
    cutSize = std::clamp(static_cast<size_t>(std::min(fitted, 2.0 * static_cast<double>(cutSize))), limit / 16, limit);
}

// Selects the empty range at the end of the view, unless the last insertion
// left it there (setting it costs about 5 ms under Wine).
static void moveCaretToEnd(size_t length)
{
    DWORD start = 0, end = 0;
    SendMessageW(logView, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start != length || end != length)
        SendMessageW(logView, EM_SETSEL, length, static_cast<LPARAM>(length));
}

// One step of moving the queue into the view: a cut or an insertion.
// Returns false when nothing was queued. UI thread.
static bool step()
{
    LONGLONG start = nowUs();
    size_t limit = limitNow();
    size_t length = static_cast<size_t>(GetWindowTextLengthW(logView));
    WaitForSingleObject(logLock, INFINITE);
    boundQueue(); // the limit may have come down since the last append
    size_t take = nextPiece(pieceBudget());
    size_t backlog = queuedNow();
    std::wstring piece;
    if (length + take <= limit) {
        piece = logQueue.text.substr(logQueue.head, take);
        dropFront(take);
    }
    ReleaseMutex(logLock);
    if (take == 0)
        return false;
    if (piece.empty()) {
        cutTop(length + take - limit, length + backlog - limit, length);
    } else {
        // Inserted outside the lock: workers go on queueing while the view
        // lays out.
        LONGLONG insertStart = nowUs();
        moveCaretToEnd(length);
        SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
        double spent = static_cast<double>(nowUs() - insertStart);
        // A dearer step counts at once, a cheaper one slowly: overshooting
        // the budget is worse than a smaller piece.
        double fixed = std::max(0.0, spent - kUsPerUnit * static_cast<double>(piece.size()));
        fixedUs = fixed > fixedUs ? fixed : 0.9 * fixedUs + 0.1 * fixed;
    }
    longestStepUs = std::max(longestStepUs, nowUs() - start);
    SetEvent(logStep);
    return true;
}

// A step, then the next one scheduled behind the user's input and painting:
// posted at once while nothing waits; after the view's own WM_PAINT when it
// needs painting (the timer stands by, for a view that cannot paint while
// the window is minimized); otherwise by the timer.
static void stepInTurn()
{
    KillTimer(logView, stepTimer());
    stepAfterPaint = false;
    step();
    WaitForSingleObject(logLock, INFINITE);
    bool more = queuedNow() > 0;
    if (!more)
        logQueue.drainScheduled = false;
    ReleaseMutex(logLock);
    if (!more)
        return;
    DWORD waiting = HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT));
    if (waiting == 0 && PostMessageW(logView, WM_LOG_FLUSH, 0, 0))
        return;
    stepAfterPaint = !(waiting & QS_INPUT) && GetUpdateRect(logView, nullptr, FALSE);
    if (SetTimer(logView, stepTimer(), USER_TIMER_MINIMUM, nullptr) || PostMessageW(logView, WM_LOG_FLUSH, 0, 0))
        return;
    WaitForSingleObject(logLock, INFINITE);
    logQueue.drainScheduled = false;
    ReleaseMutex(logLock);
}

static LRESULT CALLBACK logViewProc(HWND view, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LOG_FLUSH:
        stepInTurn();
        return 0;
    case WM_PAINT: {
        LRESULT result = CallWindowProcW(editProc, view, message, wParam, lParam);
        if (stepAfterPaint && HIWORD(GetQueueStatus(QS_INPUT)) == 0 && PostMessageW(view, WM_LOG_FLUSH, 0, 0)) {
            stepAfterPaint = false;
            KillTimer(view, stepTimer());
        }
        return result;
    }
    case WM_TIMER:
        if (wParam != stepTimer())
            break;
        stepInTurn();
        return 0;
    case EM_SETLIMITTEXT: {
        LRESULT result = CallWindowProcW(editProc, view, message, wParam, lParam);
        InterlockedExchange(&textLimit, static_cast<LONG>(SendMessageW(view, EM_GETLIMITTEXT, 0, 0)));
        return result;
    }
    }
    return CallWindowProcW(editProc, view, message, wParam, lParam);
}

void initLog(HWND view, HANDLE lock)
{
    logLock = lock;
    logView = view;
    logStep = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InterlockedExchange(&textLimit, static_cast<LONG>(SendMessageW(view, EM_GETLIMITTEXT, 0, 0)));
    editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(logViewProc)));
}

// Has the UI thread start draining the queue, unless it is scheduled already.
static void scheduleDrain() // logLock held
{
    if (!logQueue.drainScheduled && logView)
        logQueue.drainScheduled = PostMessageW(logView, WM_LOG_FLUSH, 0, 0) != FALSE;
}

// Queues text (whole lines with their CR LF) for the UI thread to insert.
static void appendQueued(const wchar_t* text, const wchar_t* lineEnd)
{
    // A failed wait still appends: losing a line is worse than a rare mix.
    WaitForSingleObject(logLock, INFINITE);
    size_t before = logQueue.text.size();
    logQueue.text += text;
    logQueue.text += lineEnd;
    logQueue.queued += logQueue.text.size() - before;
    boundQueue();
    scheduleDrain();
    ReleaseMutex(logLock);
    if (logView && GetWindowThreadProcessId(logView, nullptr) == GetCurrentThreadId())
        SetFocus(logView);
}

void appendLog(const wchar_t* text)
{
    appendQueued(text, L"\r\n");
}

void appendLogLines(const std::wstring& text)
{
    if (!text.empty())
        appendQueued(text.c_str(), L"");
}

void flushLog()
{
    if (!logView)
        return;
    if (GetWindowThreadProcessId(logView, nullptr) == GetCurrentThreadId()) {
        while (step()) {
        }
        return;
    }
    WaitForSingleObject(logLock, INFINITE);
    uint64_t target = logQueue.queued;
    for (;;) {
        if (logQueue.done >= target)
            break;
        ResetEvent(logStep);
        scheduleDrain();
        ReleaseMutex(logLock);
        // Not for ever: a drain that could not be scheduled is tried again.
        WaitForSingleObject(logStep, 250);
        WaitForSingleObject(logLock, INFINITE);
    }
    ReleaseMutex(logLock);
}

uint32_t takeLongestLogStep()
{
    uint32_t longest = static_cast<uint32_t>(std::min<LONGLONG>(longestStepUs, UINT32_MAX));
    longestStepUs = 0;
    return longest;
}
