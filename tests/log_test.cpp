// The activity log: error texts, appends from any thread, the text limit.
#include "harness.h"

#include "log/activity_log.h"
#include "resource.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

static std::wstring systemText(uint32_t code)
{
    wchar_t* message = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0x0400, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = message ? message : L"";
    LocalFree(message);
    return text;
}

TEST(ErrorText, SystemTextLosesItsOneTrailingLineBreak)
{
    for (uint32_t code : {0u, 2u, 5u, 32u, 0x80070005u, 0x80004005u}) {
        std::wstring raw = systemText(code);
        ASSERT_FALSE(raw.empty()) << code;
        std::wstring text = errorText(code);
        EXPECT_FALSE(text.empty());
        if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, L"\r\n") == 0)
            EXPECT_EQ(text, raw.substr(0, raw.size() - 2)) << code;
        else if (raw.back() == L'\n')
            EXPECT_EQ(text, raw.substr(0, raw.size() - 1)) << code;
        else
            EXPECT_EQ(text, raw) << code;
    }
}

TEST(ErrorText, FallbackForCodesWithoutSystemText)
{
    const struct { uint32_t code; const wchar_t* text; } cases[] = {
        {0x80040201u, L"IDispatch error #1"},   {0x8004FFFFu, L"IDispatch error #65023"},
        {0x80040200u, L"Unknown error 0x80040200"}, {0x1A2Bu, L"Unknown error 0x1A2B"},
        {0xDEADBEEFu, L"Unknown error 0xDEADBEEF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fallbackErrorText(c.code), c.text);
        if (systemText(c.code).empty()) {
            EXPECT_EQ(errorText(c.code), c.text);
        }
    }
}

TEST(ActivityLog, EachAppendIsOneLine)
{
    size_t mark = logMark();
    appendLog(L"");
    appendLog(L"ends in CR\r");
    appendLog(L"two\r\nlines");
    logError(L"step failed=", ERROR_ACCESS_DENIED);
    EXPECT_EQ(logSince(mark), L"\r\nends in CR\r\r\ntwo\r\nlines\r\nstep failed=" + errorText(5) + L"\r\n");
    EXPECT_EQ(GetFocus(), logView()); // appends on the UI thread take the focus
}

TEST(ActivityLog, ViewHasAFixedPitchFontAndTheButtonTheMessageFont)
{
    // Read in this process: another cannot read a GDI handle.
    NONCLIENTMETRICSW metrics = {sizeof metrics};
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    auto fontOf = [](HWND window) { return reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)); };
    HFONT button = fontOf(GetDlgItem(mainWindow(), IDC_CHOOSE)), log = fontOf(logView());
    ASSERT_TRUE(button && log) << "no font is the old System font";
    LOGFONTW buttonFace = {};
    GetObjectW(button, sizeof buttonFace, &buttonFace);
    EXPECT_STREQ(buttonFace.lfFaceName, metrics.lfMessageFont.lfFaceName);
    EXPECT_EQ(buttonFace.lfHeight, metrics.lfMessageFont.lfHeight);
    HDC dc = GetDC(logView());
    HGDIOBJ old = SelectObject(dc, log);
    TEXTMETRICW realized = {};
    GetTextMetricsW(dc, &realized);
    SelectObject(dc, old);
    ReleaseDC(logView(), dc);
    EXPECT_FALSE(realized.tmPitchAndFamily & TMPF_FIXED_PITCH) << "the bit set means variable pitch";
}

TEST(ActivityLog, KeepsTheNewestLinesWithinTheLimit)
{
    // Lines that wait while the limit comes down still reach the view.
    mainWindow(); // the log and its lock exist before the worker appends
    std::thread([] {
        for (int i = 0; i < 8; ++i)
            appendLog((std::wstring(600, L'x') + std::to_wstring(i)).c_str());
    }).join();
    SendMessageW(logView(), EM_LIMITTEXT, 1000, 0);
    EXPECT_TRUE(waitUntil("the newest waiting line within a limit of 1000",
                          [] { return textOf(logView()) == std::wstring(600, L'x') + L"7\r\n"; }));

    SendMessageW(logView(), EM_LIMITTEXT, 5000, 0);
    appendLog(L""); // the log bounds its queue by the limit its last tick saw
    drainLog();
    SetWindowTextW(logView(), L"");
    // From a worker, so that lines queue up beyond the limit before they show.
    std::thread([] {
        for (int i = 0; i < 3000; ++i)
            appendLog((L"line " + std::to_wstring(10000 + i)).c_str());
    }).join();
    std::wstring text = logText();
    EXPECT_LE(text.size(), 5000u);
    std::vector<std::wstring> lines = splitLines(text);
    ASSERT_GT(lines.size(), 100u);
    EXPECT_EQ(lines.back(), L"line 12999");
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], L"line " + std::to_wstring(12999 - (lines.size() - 1 - i)));

    // Appends past a full view keep going, cutting whole lines off the top.
    for (int i = 0; i < 40; ++i) {
        std::thread([i] {
            for (int k = 0; k < 50; ++k)
                appendLog((L"more " + std::to_wstring(10000 + i * 50 + k)).c_str());
        }).join();
        serveMessages();
    }
    text = logText();
    EXPECT_LE(text.size(), 5000u);
    lines = splitLines(text);
    EXPECT_EQ(lines.back(), L"more 11999");
    EXPECT_EQ(lines.front().substr(0, 5), L"more ");
}

TEST(ActivityLog, TheNewestLineStaysInSightThroughEveryCut)
{
    // Checked after every message: a cut must not leave the view at its top,
    // or a paint shows the oldest lines; nor may any tick leave the view's
    // drawing off.
    mainWindow();
    SendMessageW(logView(), EM_LIMITTEXT, 6000, 0);
    RECT client;
    GetClientRect(logView(), &client);
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(kWait * waitFactor());
    int cuts = 0;
    std::wstring top;
    for (LRESULT round = 0; round < 12; ++round) {
        std::thread([round] { // queued in a burst, as a flood does
            for (LRESULT i = round * 150; i < round * 150 + 150; ++i)
                appendLog((L"line " + std::to_wstring(i)).c_str());
        }).join();
        for (MSG message; !textOf(logView()).ends_with(L"line " + std::to_wstring(round * 150 + 149) + L"\r\n");) {
            ASSERT_LT(GetTickCount64(), deadline) << "watchdog: the queue not drained";
            if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
                continue;
            }
            DispatchMessageW(&message);
            ASSERT_TRUE(IsWindowVisible(logView())) << "a tick left the view's drawing off";
            wchar_t first[16] = {};
            SendMessageW(logView(), WM_GETTEXT, 16, reinterpret_cast<LPARAM>(first));
            cuts += top != first, top = first; // a cut and an insertion may leave the length as it was
            LRESULT length = GetWindowTextLengthW(logView());
            int y = static_cast<short>(HIWORD(SendMessageW(logView(), EM_POSFROMCHAR, std::max<LRESULT>(length - 3, 0), 0)));
            ASSERT_TRUE(length == 0 || (y >= 0 && y < client.bottom)) // an empty view has no position
                << "the view left the newest line after " << cuts << " cuts";
        }
    }
    EXPECT_GT(cuts, 2);
}

TEST(ActivityLog, ATickLeavesAHiddenViewHidden)
{
    mainWindow();
    HWND focus = GetFocus();
    ShowWindow(logView(), SW_HIDE);
    appendLog(L"a line while the view is hidden");
    drainLog();
    EXPECT_FALSE(IsWindowVisible(logView()));
    ShowWindow(logView(), SW_SHOW);
    SetFocus(focus);
}

// Each log step that changed the view while the main window was disabled:
// when it was handed to the log and when the log gave it back, in ms by the
// log's own clock (the performance counter, converted as the log does). The
// fifth closes the dialog.
static WNDPROC logOwnProc;
static std::vector<std::pair<double, double>> movesBehindModal;

static double counterMs()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

static LRESULT CALLBACK timedLog(HWND view, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_TIMER && message != WM_LOG_WAKE)
        return CallWindowProcW(logOwnProc, view, message, wParam, lParam);
    double handed = counterMs();
    int before = GetWindowTextLengthW(view);
    LRESULT result = CallWindowProcW(logOwnProc, view, message, wParam, lParam);
    if (GetWindowTextLengthW(view) != before && !IsWindowEnabled(mainWindow())) {
        movesBehindModal.emplace_back(handed, counterMs());
        if (movesBehindModal.size() == 5)
            PostMessageW(FindWindowW(L"#32770", L"Usenet config"), WM_COMMAND, IDCANCEL, 0);
    }
    return result;
}

// A trickle of lines wakes the idle log again and again: behind the modal
// settings dialog it still moves no more than every 250 ms, and keeps moving.
TEST(ActivityLog, BehindAModalDialogMovesFourTimesASecondAtMost)
{
    movesBehindModal.clear();
    logOwnProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(logView(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(timedLog)));
    OnExit restore{[] { SetWindowLongPtrW(logView(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(logOwnProc)); }};
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        for (int i = 0; !stop; ++i, Sleep(5))
            appendLog((L"trickle " + std::to_wstring(i)).c_str());
    });
    // The watchdog: a log that stops moving leaves the dialog open.
    UINT_PTR watchdog = SetTimer(nullptr, 0, static_cast<UINT>(kWait * waitFactor()), [](HWND, UINT, UINT_PTR, DWORD) {
        if (HWND dialog = FindWindowW(L"#32770", L"Usenet config"))
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONFIG), mainWindow(), configDialogProc, 0);
    KillTimer(nullptr, watchdog);
    stop = true;
    trickle.join();
    ASSERT_GE(movesBehindModal.size(), 5u) << "the log stopped moving behind the dialog";
    // A step begins no sooner than 250 ms after the one before began. Each
    // began after it was handed over and before it was given back, so
    // however long the thread was held up around either, the later one's
    // return comes 250 ms or more after the earlier one was handed over.
    for (size_t i = 1; i < movesBehindModal.size(); ++i)
        EXPECT_GE(movesBehindModal[i].second - movesBehindModal[i - 1].first, 250.0) << "move " << i;
}
