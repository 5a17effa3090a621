// How lines reach the log view.
//
// The view is an EDIT control owned by the UI thread, and under Wine it is
// slow: with its drawing off (see drawingOff) an insertion costs 1 to 4 ms
// plus about a microsecond a character, and far more for a long line the
// view must wrap; a cut from the top 2 to 6 ms whatever its size; and the
// paint of the whole view that follows 7 to 35 ms. So no append inserts
// anything: appendLog adds its text and CR LF to a queue under logLock, and
// the UI thread moves the queue into the view in steps. The queue, the
// planning of each step, the wake-up flag and the cost model are pure
// (log_core.cpp); this file holds the platform's part: the view's subclass,
// posting, timers, painting and measuring.
//
// Steps are bounded by time: a step either cuts whole lines off the top of
// the view or inserts one piece, sized from what the last ones cost.
//
// Input and painting come first. A step starts from a posted WM_LOG_FLUSH.
// The next one is posted the same way only while GetQueueStatus shows no
// input and no paint waiting; when the view itself needs painting, its own
// WM_PAINT posts it once everything has painted; otherwise a timer carries
// it, since timers come last in the queue order. After a burst of such
// steps one waits on a timer long enough for the thread's queue to go empty
// for a moment: a modal dialog shows itself only then. Only the UI thread
// inserts, piece by piece in queue order, so the log's order is the order in
// which appends took logLock.
//
// Nothing here is ever destroyed: workers may still append while the
// program exits.
#include "activity_log.h"

#include "log_core.h"

#include <algorithm>
#include <vector>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the view's text is UTF-16");

HANDLE logLock;
static HWND logView;     // written once by initLog on the UI thread
static WNDPROC editProc; // the view's own procedure, behind our subclass
static HANDLE logStep;   // set after every step; flushLog waits on it
static volatile LONG textLimit = 30000; // the view's limit, seen as it is set

static LogCore& core = *new LogCore; // guarded by logLock; never freed
// The UI thread's own:
static LogPace pace;
static bool stepAfterPaint;          // the view's next WM_PAINT posts the next step
static std::vector<uint32_t>& stepTimes = *new std::vector<uint32_t>; // for the benchmark
static std::vector<uint32_t>& paintTimes = *new std::vector<uint32_t>; // and the view's paints

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

static int64_t nowUs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return ticksToUs(now.QuadPart, frequency.QuadPart);
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

// Selects the empty range at the end of the view, unless the last insertion
// left it there (selecting also scrolls the view to the caret).
static void moveCaretToEnd(size_t length)
{
    DWORD start = 0, end = 0;
    SendMessageW(logView, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    if (start != length || end != length)
        SendMessageW(logView, EM_SETSEL, length, static_cast<LPARAM>(length));
}

// The view's drawing, off for a change and back on after it. Wine's EDIT
// ignores WM_SETREDRAW, and there each change drew the themed scroll bar
// twice and scrolled the view's pixels: 10 to 15 ms however small the
// change, 20 to 30 ms for a cut. DefWindowProc's handling stops all drawing
// wherever the program runs; the view then paints once in its own turn,
// behind the user's input, its frame too when the scroll bar's thumb has
// moved. Wine also marks the frame for painting when the drawing comes back
// on: that is suppressed, unless some paint was already due before, since
// painting the frame costs about a third of a paint there.
// A view that is hidden stays so.
struct ViewDrawing {
    SCROLLBARINFO bar;
    bool paintDue, shown;
};

static ViewDrawing drawingOff()
{
    ViewDrawing before = {{sizeof(SCROLLBARINFO)}, HIWORD(GetQueueStatus(QS_PAINT)) != 0,
                          (GetWindowLongW(logView, GWL_STYLE) & WS_VISIBLE) != 0};
    GetScrollBarInfo(logView, OBJID_VSCROLL, &before.bar);
    if (before.shown)
        DefWindowProcW(logView, WM_SETREDRAW, FALSE, 0);
    return before;
}

static void drawingOn(const ViewDrawing& before)
{
    if (!before.shown)
        return;
    SCROLLBARINFO bar = {sizeof bar};
    GetScrollBarInfo(logView, OBJID_VSCROLL, &bar);
    DefWindowProcW(logView, WM_SETREDRAW, TRUE, 0);
    bool moved = bar.xyThumbTop != before.bar.xyThumbTop || bar.xyThumbBottom != before.bar.xyThumbBottom ||
                 !std::equal(std::begin(bar.rgstate), std::end(bar.rgstate), std::begin(before.bar.rgstate));
    if (!moved && !before.paintDue)
        RedrawWindow(logView, nullptr, nullptr, RDW_VALIDATE | RDW_NOFRAME | RDW_NOCHILDREN);
    RedrawWindow(logView, nullptr, nullptr, RDW_INVALIDATE | (moved ? RDW_FRAME : 0));
}

// One step of moving the queue into the view: a cut or an insertion, done
// outside the lock so that workers go on queueing while the view lays out.
// Returns false when nothing was queued. UI thread.
static bool step()
{
    int64_t start = nowUs();
    size_t limit = limitNow();
    size_t length = static_cast<size_t>(GetWindowTextLengthW(logView));
    std::u16string piece;
    WaitForSingleObject(logLock, INFINITE);
    LogStep next = logNextStep(core, length, limit, start, piece);
    ReleaseMutex(logLock);
    if (next.kind == LogStep::Nothing)
        return false;
    int64_t workStart = nowUs();
    size_t units = piece.size();
    if (next.kind == LogStep::Cut)
        units = lineStartFrom(next.cutWant, length);
    ViewDrawing drawing = drawingOff();
    if (next.kind == LogStep::Cut) {
        // Selecting the top scrolls the view there, and the cut leaves the
        // caret there: put both back at the newest line before it paints.
        SendMessageW(logView, EM_SETSEL, 0, static_cast<LPARAM>(units));
        SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
        WPARAM end = length - units;
        SendMessageW(logView, EM_SETSEL, end, static_cast<LPARAM>(end));
        SendMessageW(logView, EM_SCROLLCARET, 0, 0);
    } else {
        moveCaretToEnd(length);
        SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
    }
    drawingOn(drawing);
    int64_t end = nowUs();
    WaitForSingleObject(logLock, INFINITE);
    if (next.kind == LogStep::Cut)
        logCutMeasured(core.cost, units, static_cast<double>(end - workStart), end);
    else
        logInsertMeasured(core.cost, units, static_cast<double>(end - workStart), end);
    ReleaseMutex(logLock);
    if (stepTimes.size() < 1000000)
        stepTimes.push_back(static_cast<uint32_t>(std::min<int64_t>(end - start, UINT32_MAX)));
    SetEvent(logStep);
    return true;
}

// A step, then the next one scheduled behind the user's input and painting
// (see the top of this file); the timer stands by for a view that cannot
// paint while the window is minimized.
static void stepInTurn()
{
    KillTimer(logView, stepTimer());
    stepAfterPaint = false;
    step();
    WaitForSingleObject(logLock, INFINITE);
    bool more = logStepEnded(core);
    ReleaseMutex(logLock);
    if (!more) {
        pace.burstStartUs = 0;
        return;
    }
    DWORD waiting = HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT));
    UINT elapse = USER_TIMER_MINIMUM;
    switch (logPaceNext(pace, nowUs(), waiting & QS_INPUT, waiting & QS_PAINT, GetUpdateRect(logView, nullptr, FALSE))) {
    case LogNext::PostNow:
        if (PostMessageW(logView, WM_LOG_FLUSH, 0, 0))
            return;
        break;
    case LogNext::AfterPaint:
        stepAfterPaint = true;
        break;
    case LogNext::Gap:
        elapse = logGapMs(pace);
        break;
    case LogNext::Timer:
        break;
    }
    if (SetTimer(logView, stepTimer(), elapse, nullptr) || PostMessageW(logView, WM_LOG_FLUSH, 0, 0))
        return;
    WaitForSingleObject(logLock, INFINITE);
    logWakeFailed(core); // the next append or flushLog schedules again
    ReleaseMutex(logLock);
}

static LRESULT CALLBACK logViewProc(HWND view, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LOG_FLUSH:
        stepInTurn();
        return 0;
    case WM_PAINT: {
        int64_t start = nowUs();
        LRESULT result = CallWindowProcW(editProc, view, message, wParam, lParam);
        pace.paintUs = nowUs() - start;
        if (paintTimes.size() < 1000000)
            paintTimes.push_back(static_cast<uint32_t>(std::min<int64_t>(pace.paintUs, UINT32_MAX)));
        // Once nothing else waits to be painted or typed, the next step.
        if (stepAfterPaint && HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT)) == 0 && PostMessageW(view, WM_LOG_FLUSH, 0, 0)) {
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

// Wakes the UI thread for a drain; logLock held. Before the view exists
// nothing can be posted, and the flag stays clear.
static void wake()
{
    if (!logView || !PostMessageW(logView, WM_LOG_FLUSH, 0, 0))
        logWakeFailed(core);
}

// Queues text (whole lines with their CR LF) for the UI thread to insert.
static void appendQueued(const wchar_t* text, size_t n, const wchar_t* end, size_t endN)
{
    size_t limit = limitNow();
    // A failed wait still appends: losing a line is worse than a rare mix.
    WaitForSingleObject(logLock, INFINITE);
    if (logAppend(core, reinterpret_cast<const char16_t*>(text), n, reinterpret_cast<const char16_t*>(end), endN, limit))
        wake();
    ReleaseMutex(logLock);
    if (logView && GetWindowThreadProcessId(logView, nullptr) == GetCurrentThreadId())
        SetFocus(logView);
}

void appendLog(const wchar_t* text)
{
    appendQueued(text, wcslen(text), L"\r\n", 2);
}

void appendLogLines(const std::wstring& text)
{
    if (!text.empty())
        appendQueued(text.c_str(), text.size(), L"", 0);
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
    uint64_t target = core.queued;
    for (bool stalled = false; core.done < target;) {
        ResetEvent(logStep);
        // A quarter of a second without a step: wake the UI thread again,
        // whatever the flag says. An extra wake-up costs one empty step.
        if (logRequestDrain(core) || stalled)
            wake();
        ReleaseMutex(logLock);
        stalled = WaitForSingleObject(logStep, 250) == WAIT_TIMEOUT;
        WaitForSingleObject(logLock, INFINITE);
    }
    ReleaseMutex(logLock);
}

std::vector<uint32_t> takeLogSteps()
{
    std::vector<uint32_t> times;
    times.swap(stepTimes);
    return times;
}

std::vector<uint32_t> takeLogPaints()
{
    std::vector<uint32_t> times;
    times.swap(paintTimes);
    return times;
}
