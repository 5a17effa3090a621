// How lines reach the log view. Inserting into the view (an EDIT owned by
// the UI thread) is slow, so appends only queue their text under logLock
// (log_core.cpp); the UI thread moves the queue into the view on a timer, a
// piece a tick with the view's drawing off, then repaints it once. Timers
// come after input and painting, so menus, dialogs and the folder picker
// answer during a flood; behind any modal window the log moves 4 times a
// second at most. Only the UI thread inserts, in the order appends
// took logLock. Nothing here is destroyed: workers may append during exit.
#include "activity_log.h"

#include "log_core.h"

HANDLE logLock;
static HWND logView;       // written once by initLog on the UI thread
static WNDPROC editProc;   // the view's own procedure, behind our subclass
static HANDLE logTick;     // set after every tick; flushLog waits on it
static volatile LONG queueLimit; // the view's limit, as the last tick saw it
static LogQueue& queue = *new LogQueue; // guarded by logLock; never freed
static size_t pieceBudget = kFirstBudgetUnits; // the UI thread's own
static double lastTickMs;  // when the last tick began; the UI thread's own

constexpr UINT kTickMs = 20;                 // a tick's period
constexpr double kModalPaceMs = 250;         // the least time between ticks behind a modal window

// An address in this program: no control's own timer id can equal it.
static const UINT_PTR tickTimer = reinterpret_cast<UINT_PTR>(&logTick);

static double nowMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
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

// The view's drawing off for a change. Windows' EDIT handles WM_SETREDRAW;
// Wine's ignores it (the view stays WS_VISIBLE): DefWindowProc then does.
static bool drawingOff()
{
    SendMessageW(logView, WM_SETREDRAW, FALSE, 0);
    if (!(GetWindowLongW(logView, GWL_STYLE) & WS_VISIBLE))
        return false;
    DefWindowProcW(logView, WM_SETREDRAW, FALSE, 0);
    return true;
}

// Drawing back on, the caret in sight, and the repaint WM_SETREDRAW asks for.
static void drawingOn(bool fallback)
{
    SendMessageW(logView, WM_SETREDRAW, TRUE, 0);
    if (fallback)
        DefWindowProcW(logView, WM_SETREDRAW, TRUE, 0);
    SendMessageW(logView, EM_SCROLLCARET, 0, 0);
    RedrawWindow(logView, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

// One piece into the view, outside the lock so that workers go on queueing
// while the view lays out. A hidden view stays hidden. UI thread.
static void tick()
{
    double start = lastTickMs = nowMs();
    size_t limit = static_cast<size_t>(SendMessageW(logView, EM_GETLIMITTEXT, 0, 0));
    InterlockedExchange(&queueLimit, static_cast<LONG>(limit));
    WaitForSingleObject(logLock, INFINITE);
    std::u16string piece = logTakePiece(queue, limit, pieceBudget);
    ReleaseMutex(logLock);
    if (!piece.empty()) {
        bool shown = GetWindowLongW(logView, GWL_STYLE) & WS_VISIBLE, fallback = shown && drawingOff();
        size_t length = static_cast<size_t>(GetWindowTextLengthW(logView));
        if (size_t need = logCutNeeded(length, piece.size(), limit)) {
            size_t cut = lineStartFrom(need, length);
            SendMessageW(logView, EM_SETSEL, 0, static_cast<LPARAM>(cut));
            SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
            length -= cut;
        }
        SendMessageW(logView, EM_SETSEL, length, static_cast<LPARAM>(length));
        SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
        if (shown)
            drawingOn(fallback);
        pieceBudget = logNextBudget(pieceBudget, piece.size(), nowMs() - start, kTickBudgetMs);
    }
    WaitForSingleObject(logLock, INFINITE);
    if (!logTickEnded(queue))
        KillTimer(logView, tickTimer);
    ReleaseMutex(logLock);
    SetEvent(logTick);
}

// While the log is awake, the timer ticks. A timer that cannot be set
// leaves the log idle: the next append or flushLog wakes it again.
static void keepTicking()
{
    WaitForSingleObject(logLock, INFINITE);
    if (queue.awake && !SetTimer(logView, tickTimer, kTickMs, nullptr))
        logWakeFailed(queue);
    ReleaseMutex(logLock);
}

// While any modal window disables the main window (the settings dialog, the
// "Kestrup Finished" box), the user works there, and a tick and repaint every
// 20 ms kept each key waiting a frame or two: the log then moves at most every
// kModalPaceMs, whether a timer or a wake-up asks. The folder picker has no
// owner: the main window stays enabled behind it, and the log keeps its pace.
static bool waitBehindModal(HWND view)
{
    return !IsWindowEnabled(GetAncestor(view, GA_ROOT)) && nowMs() - lastTickMs < kModalPaceMs;
}

static LRESULT CALLBACK logViewProc(HWND view, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
    case WM_LOG_WAKE:
        if (message == WM_TIMER && wParam != tickTimer)
            break;
        if (!waitBehindModal(view))
            tick();
        if (message == WM_LOG_WAKE)
            keepTicking(); // a wake-up starts the timer; a tick that finds the queue empty stops it
        return 0;
    }
    return CallWindowProcW(editProc, view, message, wParam, lParam);
}

void initLog(HWND view, HANDLE lock, size_t limit)
{
    logLock = lock;
    logView = view;
    logTick = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InterlockedExchange(&queueLimit, static_cast<LONG>(limit));
    editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(logViewProc)));
}

// Wakes the UI thread; logLock held. Before the view exists nothing can be
// posted, and the log stays idle.
static void wake()
{
    if (!logView || !PostMessageW(logView, WM_LOG_WAKE, 0, 0))
        logWakeFailed(queue);
}

// Queues text (whole lines with their CR LF) for the UI thread to insert.
static void appendQueued(const wchar_t* text, size_t n, const wchar_t* end, size_t endN)
{
    size_t limit = static_cast<size_t>(InterlockedCompareExchange(&queueLimit, 0, 0));
    // A failed wait still appends: losing a line is worse than a rare mix.
    WaitForSingleObject(logLock, INFINITE);
    if (logAppend(queue, reinterpret_cast<const char16_t*>(text), n, reinterpret_cast<const char16_t*>(end), endN, limit))
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
    WaitForSingleObject(logLock, INFINITE);
    for (uint64_t target = queue.queued; queue.done < target;) {
        ResetEvent(logTick);
        if (logRequestDrain(queue))
            wake();
        ReleaseMutex(logLock);
        WaitForSingleObject(logTick, 250);
        WaitForSingleObject(logLock, INFINITE);
    }
    ReleaseMutex(logLock);
}
