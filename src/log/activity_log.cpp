// How lines reach the log view.
//
// The view is an EDIT control owned by the UI thread, and under Wine every
// EM_REPLACESEL into a visible view costs a full repaint whatever its size.
// So appendLog never touches the view from a worker: it adds the text and its
// CR LF to one queue under logLock and, when the queue was empty, posts the
// view a flush request. The UI thread, handling that request in the view's
// subclass procedure, takes up to kMaxInsert units off the queue under the
// lock and inserts them at the end of the view in one insertion, posting
// itself again while more is queued so the window keeps answering. Only the
// UI thread inserts, piece by piece in queue order, so the log's order is the
// order in which appends took the lock. Nobody holds logLock while waiting
// for another thread, so every wait for it is short.
//
// The view never holds more than its text limit: before an insertion that
// would pass it, the oldest whole lines are cut from the top, a quarter of the
// limit at a time, so the newest output always shows. The queue is bounded by
// the same limit.
#include "activity_log.h"

#include <algorithm>

HANDLE logLock;
static HWND logView;          // written once by initLog on the UI thread
static WNDPROC editProc;      // the view's own procedure, behind our subclass
static std::wstring queued;   // text not yet in the view; guarded by logLock
static volatile LONG textLimit = 30000; // the view's limit, seen as it is set

// One insertion at most this large keeps the window answering under Wine.
constexpr size_t kMaxInsert = 32000;
constexpr UINT WM_LOG_FLUSH = WM_APP + 0x41;     // posted: insert one piece
constexpr UINT WM_LOG_FLUSH_PIECE = WM_APP + 0x42; // sent: insert one piece, return its size

static size_t limitNow()
{
    return static_cast<size_t>(InterlockedCompareExchange(&textLimit, 0, 0));
}

// Keeps the queue within the view's limit by dropping its oldest lines.
static void boundQueue()
{
    size_t limit = limitNow();
    if (queued.size() <= limit)
        return;
    size_t excess = queued.size() - limit;
    size_t lf = queued.find(L'\n', excess > 0 ? excess - 1 : 0);
    size_t cut = lf == std::wstring::npos ? excess : lf + 1;
    if (cut < queued.size() && IS_LOW_SURROGATE(queued[cut]))
        ++cut;
    queued.erase(0, cut);
}

// Makes room for `incoming` more units by cutting whole lines off the top.
// (Giving the view its kept tail anew costs less in all but freezes the
// window for a quarter of a second under Wine; a deletion keeps it answering.)
static void makeRoom(size_t incoming, size_t limit)
{
    size_t length = static_cast<size_t>(GetWindowTextLengthW(logView));
    if (length + incoming <= limit)
        return;
    size_t need = std::max(length + incoming - limit, limit / 4);
    size_t cut = length;
    if (need < length) {
        std::wstring text(length + 1, L'\0');
        size_t got = static_cast<size_t>(GetWindowTextW(logView, text.data(), static_cast<int>(length + 1)));
        size_t lf = text.find(L'\n', need - 1);
        cut = (lf == std::wstring::npos || lf >= got) ? got : lf + 1;
    }
    SendMessageW(logView, EM_SETSEL, 0, static_cast<LPARAM>(cut));
    SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

// Takes the next piece off the queue: up to kMaxInsert units, ending at a
// line end where one falls inside. logLock held.
static std::wstring takePiece()
{
    size_t take = std::min({queued.size(), kMaxInsert, limitNow()});
    if (take < queued.size()) {
        size_t lf = queued.rfind(L'\n', take - 1);
        if (lf != std::wstring::npos)
            take = lf + 1;
        else if (IS_HIGH_SURROGATE(queued[take - 1]))
            --take;
    }
    std::wstring piece = queued.substr(0, take);
    queued.erase(0, take);
    return piece;
}

// Inserts a piece at the end of the view. Only the UI thread inserts, in the
// order it took the pieces, so this needs no lock: workers go on queueing
// while the view repaints.
static void insertAtEnd(const std::wstring& piece)
{
    makeRoom(piece.size(), limitNow());
    LRESULT end = GetWindowTextLengthW(logView);
    SendMessageW(logView, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(logView, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
}

// Moves one piece of the queue into the view and returns its size (0 when
// nothing was queued); more tells whether anything is left. UI thread.
static size_t insertOnePiece(bool* more = nullptr)
{
    WaitForSingleObject(logLock, INFINITE);
    std::wstring piece = takePiece();
    if (more)
        *more = !queued.empty();
    ReleaseMutex(logLock);
    if (!piece.empty())
        insertAtEnd(piece);
    return piece.size();
}

static size_t queuedNow()
{
    WaitForSingleObject(logLock, INFINITE);
    size_t size = queued.size();
    ReleaseMutex(logLock);
    return size;
}

// Moves everything queued so far into the view (not what workers add
// meanwhile, or a flood could keep the UI thread here for ever). UI thread.
static void insertAll()
{
    for (size_t left = queuedNow(), n; left > 0 && (n = insertOnePiece()) > 0;)
        left -= std::min(left, n);
}

static LRESULT CALLBACK logViewProc(HWND view, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LOG_FLUSH: {
        // One piece per turn, so the window keeps answering during a flood.
        bool more = false;
        insertOnePiece(&more);
        if (more)
            PostMessageW(view, WM_LOG_FLUSH, 0, 0);
        return 0;
    }
    case WM_LOG_FLUSH_PIECE:
        return static_cast<LRESULT>(insertOnePiece());
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
    InterlockedExchange(&textLimit, static_cast<LONG>(SendMessageW(view, EM_GETLIMITTEXT, 0, 0)));
    editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(logViewProc)));
}

// Queues text (whole lines with their CR LF) and has the UI thread insert it.
static void appendQueued(const wchar_t* text, const wchar_t* lineEnd)
{
    // A failed wait still appends: losing a line is worse than a rare mix.
    WaitForSingleObject(logLock, INFINITE);
    bool wasEmpty = queued.empty();
    queued += text;
    queued += lineEnd;
    boundQueue();
    bool onUiThread = GetWindowThreadProcessId(logView, nullptr) == GetCurrentThreadId();
    if (!onUiThread && wasEmpty && logView)
        PostMessageW(logView, WM_LOG_FLUSH, 0, 0);
    ReleaseMutex(logLock);
    if (onUiThread) {
        SetFocus(logView);
        insertAll();
    }
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
        insertAll();
        return;
    }
    // Piece by piece, each its own request, so the UI thread serves its
    // other messages in between instead of freezing for the whole queue.
    for (size_t left = queuedNow(), n; left > 0 && (n = static_cast<size_t>(SendMessageW(logView, WM_LOG_FLUSH_PIECE, 0, 0))) > 0;)
        left -= std::min(left, n);
}
