// The log under a flood: throughput against a bare pipe reader, the view's
// own bound and the naive design; the user's keys and the window's answers
// during the flood; the UI thread's steps; the cost of an append; memory.
#include "bench.h"

#include "log/activity_log.h"
#include "log/log_core.h"
#include "resource.h"
#include "run/run_slot.h"

#include <algorithm>
#include <atomic>
#include <thread>

// The UI thread's turns for the log, timed from outside by a subclass over
// the log's own: its wake-ups and timer ticks, and the view's paints.
// Also when each turn that moved the log began while a modal window had the
// main window disabled.
static WNDPROC logProc;
static std::vector<double> tickTimes, paintTimes;
static std::vector<Clock::time_point> movesBehindModal;

static LRESULT CALLBACK timedView(HWND view, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool logStep = message == WM_TIMER || message == WM_LOG_WAKE;
    auto start = Clock::now();
    int length = logStep ? GetWindowTextLengthW(view) : 0;
    LRESULT result = CallWindowProcW(logProc, view, message, wParam, lParam);
    if (message == WM_PAINT)
        paintTimes.push_back(secondsSince(start) * 1000);
    else if (logStep)
        tickTimes.push_back(secondsSince(start) * 1000);
    if (logStep && GetWindowTextLengthW(view) != length && !IsWindowEnabled(mainWindow()))
        movesBehindModal.push_back(start);
    return result;
}

static std::vector<double> taken(std::vector<double>& times)
{
    std::vector<double> all;
    all.swap(times);
    return all;
}

static const wchar_t* kLine = L"Upload[n] posting part of holiday-photos.rar, segment"; // ~60 bytes with its number

// The File menu's popup, when it shows.
static HWND fileMenu()
{
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

// The milliseconds from each of a probe's key presses until it showed (-1:
// it never did). A press never answered, or none made, counts as endless.
struct Presses {
    std::vector<double> ms;
    std::string text(const char* none) const
    {
        std::string all;
        for (double one : ms)
            all += (all.empty() ? "" : ", ") + fmt("%.0f", one);
        return ms.empty() ? none : all + " ms";
    }
    double slowest() const
    {
        return ms.empty() || std::count(ms.begin(), ms.end(), -1.0) ? 1e9 : *std::max_element(ms.begin(), ms.end());
    }
    double median() const
    {
        return ms.empty() ? 1e9 : ::median(ms);
    }
};

// Real key presses, Alt+F, from another thread while this one serves the
// window, until the File menu shows; the menu closed again with Esc after each.
struct KeyProbe : Presses {
    std::atomic<bool> done{false};
    std::thread thread;
    void start(int presses)
    {
        thread = std::thread([this, presses] {
            for (int i = 0; i < presses; ++i) {
                // Once the summary box shows, the main window takes no keys,
                // and an Esc would close the box: the probe ends there.
                if (!IsWindowEnabled(mainWindow()))
                    break;
                SetForegroundWindow(mainWindow());
                auto pressed = Clock::now();
                sendKeys({{VK_MENU, true}, {'F', true}, {'F', false}, {VK_MENU, false}});
                while (!fileMenu() && secondsSince(pressed) < 30)
                    Sleep(1);
                ms.push_back(fileMenu() ? secondsSince(pressed) * 1000 : -1);
                if (ms.back() < 0)
                    break;
                sendKeys({{VK_ESCAPE, true}, {VK_ESCAPE, false}, {VK_ESCAPE, true}, {VK_ESCAPE, false}});
                for (auto closing = Clock::now(); fileMenu() && secondsSince(closing) < 30;)
                    Sleep(1);
                Sleep(150);
            }
            done = true;
        });
    }
    void finish()
    {
        settle([this] { return done.load(); }, 600000);
        thread.join();
    }
    std::string text() const
    {
        return Presses::text("none: the run ended first");
    }
};

// Real key presses into the settings dialog's Host field, from another
// thread while the dialog's modal loop runs on this one, until the field
// holds its character. The probe opens the dialog by its command and closes it.
struct TypingProbe : Presses {
    std::atomic<bool> done{false};
    void run(int presses)
    {
        std::thread thread([this, presses] {
            // The dialog shows once the thread's queue is first empty, and
            // then focuses Save: the focus goes to Host once it shows.
            HWND dialog = nullptr, host = nullptr;
            GUITHREADINFO gui = {sizeof gui};
            for (auto start = Clock::now(); secondsSince(start) < 60; Sleep(1)) {
                dialog = FindWindowW(L"#32770", L"Usenet config");
                host = GetDlgItem(dialog, IDC_HOST);
                if (dialog && IsWindowVisible(dialog) && GetForegroundWindow() == dialog &&
                    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) && gui.hwndFocus == host)
                    break;
                if (dialog && IsWindowVisible(dialog))
                    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(host), TRUE);
            }
            if (gui.hwndFocus != host)
                dialog = nullptr; // no presses: "none"
            for (int i = 0; dialog && i < presses; ++i) {
                auto pressed = Clock::now();
                sendKeys({{static_cast<WORD>('A' + i), true}, {static_cast<WORD>('A' + i), false}});
                while (textOf(host).size() <= static_cast<size_t>(i) && secondsSince(pressed) < 30)
                    Sleep(1);
                ms.push_back(textOf(host).size() > static_cast<size_t>(i) ? secondsSince(pressed) * 1000 : -1);
                if (ms.back() < 0)
                    break;
                Sleep(97); // out of step with the log's ticks
            }
            PostMessageW(FindWindowW(L"#32770", L"Usenet config"), WM_COMMAND, IDCANCEL, 0);
            done = true;
        });
        PostMessageW(mainWindow(), WM_COMMAND, 104, 0); // the dialog's modal loop runs inside settle
        settle([this] { return done.load() && !FindWindowW(L"#32770", L"Usenet config"); }, 600000);
        thread.join();
    }
    std::string text() const
    {
        return Presses::text("none: the dialog did not show or take the focus");
    }
};

// Key presses into the settings dialog while a flood that does not end fills
// the log; the uploader is stopped afterwards.
static void typeDuringAFlood(TypingProbe& typing)
{
    SetWindowTextW(logView(), L"");
    setStubScript(L"lines 4000000000 Upload[n] a line of the endless flood");
    if (runCommand(L"C:\\windows") != 0)
        return;
    settle([] { return GetWindowTextLengthW(logView()) > 20000; }, 600000);
    typing.run(10);
    TerminateProcess(runSlot.child.hProcess, 0);
    settle([] { return FindWindowW(L"#32770", L"Kestrup Finished") != nullptr; }, 3600000);
    takeSummaryBox(GetCurrentProcessId(), 600000);
    settle([] { return !runActive(); }, 600000);
    setStubScript(L"");
}

// Runs the stand-in uploader with this script through the program's own run
// code; returns the seconds until the summary box appears. The key probe
// starts once the first lines show.
static double programRun(const std::wstring& script, Probe* probe, KeyProbe* keys = nullptr)
{
    SetWindowTextW(logView(), L"");
    setStubScript(script);
    if (probe)
        probe->start(mainWindow(), 30000);
    taken(tickTimes);
    taken(paintTimes);
    auto start = Clock::now();
    if (runCommand(L"C:\\windows") != 0)
        return -1;
    if (keys) {
        settle([] { return GetWindowTextLengthW(logView()) > 1000; }, 600000);
        keys->start(5);
    }
    // (Should a key of the probe have closed the box, the run's end is the end.)
    settle([] { return FindWindowW(L"#32770", L"Kestrup Finished") != nullptr || !runActive(); }, 3600000);
    double seconds = secondsSince(start);
    if (keys)
        keys->finish();
    if (probe)
        probe->finish();
    if (FindWindowW(L"#32770", L"Kestrup Finished"))
        takeSummaryBox();
    settle([] { return !runActive(); }, 600000);
    setStubScript(L"");
    return seconds;
}

// The same output drained through a pipe by a bare reader with no log.
static std::wstring linesScript(int lines, const wchar_t* line = kLine)
{
    return L"lines " + std::to_wstring(lines) + L" " + line;
}

static double bareReader(int lines, const wchar_t* line = kLine)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    auto start = Clock::now();
    PROCESS_INFORMATION child = startProcess(testDirectory() + L"kestrup.exe", L"", linesScript(lines, line), writeEnd);
    CloseHandle(writeEnd);
    char buffer[512];
    DWORD got;
    size_t feeds = 0;
    while (ReadFile(readEnd, buffer, 512, &got, nullptr))
        feeds += std::count(buffer, buffer + got, '\n');
    double seconds = secondsSince(start);
    CloseHandle(readEnd);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    return feeds == static_cast<size_t>(lines) ? seconds : -1;
}

// One EM_REPLACESEL per line into the same visible view: the naive design.
static double naiveInsertions(int lines)
{
    SetWindowTextW(logView(), L"");
    std::wstring line = std::wstring(kLine) + L" 12345\r\n";
    auto start = Clock::now();
    for (int i = 0; i < lines; ++i) {
        LRESULT end = GetWindowTextLengthW(logView());
        SendMessageW(logView(), EM_SETSEL, static_cast<WPARAM>(end), end);
        SendMessageW(logView(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    }
    double seconds = secondsSince(start);
    SetWindowTextW(logView(), L"");
    return seconds;
}

// The simplest loop that the view itself bounds: the same lines fed into a
// bare EDIT with the log's styles, font and size, in its place, in pieces
// sized by the log's rule for its tick budget, a quarter of the limit cut
// off the top whenever the next piece would not fit, each change with the
// view's drawing off as the log does it, and the window served (and so
// painted) between ticks, with no timer between them. Seconds for the lines.
static double viewBound(int lines)
{
    RECT place;
    GetWindowRect(logView(), &place);
    MapWindowPoints(nullptr, mainWindow(), reinterpret_cast<POINT*>(&place), 2);
    HWND edit = CreateWindowExW(GetWindowLongW(logView(), GWL_EXSTYLE), L"EDIT", L"", GetWindowLongW(logView(), GWL_STYLE),
                                place.left, place.top, place.right - place.left, place.bottom - place.top, mainWindow(),
                                reinterpret_cast<HMENU>(77), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(edit, WM_SETFONT, SendMessageW(logView(), WM_GETFONT, 0, 0), FALSE);
    SendMessageW(edit, EM_LIMITTEXT, 640000, 0);
    ShowWindow(logView(), SW_HIDE);
    std::wstring text;
    for (int i = 1; i <= lines; ++i)
        text += std::wstring(kLine) + L" " + std::to_wstring(i) + L"\r\n";
    auto start = Clock::now();
    size_t piece = kFirstBudgetUnits;
    for (size_t at = 0; at < text.size(); serveMessages()) {
        auto tickStart = Clock::now();
        size_t length = static_cast<size_t>(GetWindowTextLengthW(edit));
        size_t n = text.find(L'\n', at + std::min(piece, text.size() - at) - 1) + 1 - at;
        DefWindowProcW(edit, WM_SETREDRAW, FALSE, 0);
        if (length + n > 640000) {
            LRESULT line = SendMessageW(edit, EM_LINEFROMCHAR, 160000, 0);
            LRESULT cut = SendMessageW(edit, EM_LINEINDEX, line + 1, 0);
            SendMessageW(edit, EM_SETSEL, 0, cut);
            SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
            length -= cut;
        }
        std::wstring chunk = text.substr(at, n);
        SendMessageW(edit, EM_SETSEL, length, static_cast<LPARAM>(length));
        SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(chunk.c_str()));
        at += n;
        DefWindowProcW(edit, WM_SETREDRAW, TRUE, 0);
        SendMessageW(edit, EM_SCROLLCARET, 0, 0);
        RedrawWindow(edit, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
        piece = logNextBudget(piece, n, secondsSince(tickStart) * 1000, kTickBudgetMs);
    }
    double seconds = secondsSince(start);
    DestroyWindow(edit);
    ShowWindow(logView(), SW_SHOW);
    return seconds;
}

// The floor under any step: one smallest insertion, a short line, into the
// log's view near its limit, with the view's drawing off as the log does it,
// and the paint of the view that follows; and the same insertion with the
// drawing on (medians of 15, the window served between them).
struct Floor {
    double off, paint, on;
};

static Floor insertionFloor()
{
    std::wstring fill;
    while (fill.size() < 630000)
        fill += L"prefilled line of the log view\r\n";
    SetWindowTextW(logView(), fill.c_str());
    LRESULT end = GetWindowTextLengthW(logView());
    SendMessageW(logView(), EM_SETSEL, static_cast<WPARAM>(end), end);
    pump(100);
    std::vector<double> off, paints, on;
    for (int i = 0; i < 30; ++i) {
        bool drawing = i % 2;
        auto start = Clock::now();
        if (!drawing)
            DefWindowProcW(logView(), WM_SETREDRAW, FALSE, 0);
        SendMessageW(logView(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"x\r\n"));
        if (!drawing) {
            DefWindowProcW(logView(), WM_SETREDRAW, TRUE, 0);
            RedrawWindow(logView(), nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
        }
        (drawing ? on : off).push_back(secondsSince(start) * 1000);
        start = Clock::now();
        UpdateWindow(logView());
        if (!drawing)
            paints.push_back(secondsSince(start) * 1000);
        pump(30);
    }
    SetWindowTextW(logView(), L"");
    return {median(off), median(paints), median(on)};
}

// Mean seconds per append of a 30-character line from a worker, every line
// reaching the view (the worker flushes each thousand), after prefilling the
// view with `prefill` characters.
static double appendCost(int lines, size_t prefill)
{
    std::wstring fill;
    while (fill.size() < prefill)
        fill += L"prefilled line of the log view\r\n";
    SetWindowTextW(logView(), fill.c_str());
    std::atomic<bool> done{false};
    auto start = Clock::now();
    std::thread worker([&] {
        wchar_t text[40];
        for (int i = 0; i < lines; ++i) {
            swprintf(text, 40, L"appended line number %08d", i);
            appendLog(text);
            if (i % 1000 == 999)
                flushLog();
        }
        flushLog();
        done = true;
    });
    settle([&] { return done.load(); }, 3600000);
    double seconds = secondsSince(start);
    worker.join();
    SetWindowTextW(logView(), L"");
    return seconds / lines;
}


void benchLogFlood(const Sizes& sizes)
{
    const int runLines = sizes.runLines;
    logProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(logView(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(timedView)));
    // Responsiveness while a run is quiet: the baseline of the flood's.
    Probe quiet;
    KeyProbe quietKeys;
    quiet.start(mainWindow(), 30000);
    setStubScript(L"text waiting\nwait " + gate());
    if (runCommand(L"C:\\windows") != 0)
        return cannotRun("the stand-in uploader did not start");
    settle([] { return GetWindowTextLengthW(logView()) > 0; }, 600000);
    quietKeys.start(5);
    quietKeys.finish();
    quiet.finish();
    TypingProbe quietTyping;
    quietTyping.run(10);
    openGate();
    takeSummaryBox(GetCurrentProcessId(), 3600000);
    settle([] { return !runActive(); }, 600000);

    // Three runs of each, interleaved: the median is the figure, since a
    // flood's speed varies by a third between runs on this machine.
    Probe during;
    KeyProbe floodKeys;
    std::vector<double> programs, bares, bounds;
    std::vector<double> floodSteps, floodPaints;
    for (int i = 0; i < (sizes.quick ? 1 : 3); ++i) {
        programs.push_back(programRun(linesScript(runLines), i == 0 ? &during : nullptr, i == 0 ? &floodKeys : nullptr));
        std::vector<double> ticks = taken(tickTimes), paints = taken(paintTimes);
        floodSteps.insert(floodSteps.end(), ticks.begin(), ticks.end());
        floodPaints.insert(floodPaints.end(), paints.begin(), paints.end());
        bares.push_back(bareReader(runLines));
        bounds.push_back(viewBound(runLines));
    }
    if (*std::min_element(programs.begin(), programs.end()) < 0 || *std::min_element(bares.begin(), bares.end()) < 0)
        return cannotRun("a flood did not run to its end");
    double program = median(programs), bare = median(bares), bound = median(bounds);
    double naive = naiveInsertions(sizes.naiveLines);
    double programRate = runLines / program, bareRate = runLines / bare, naiveRate = sizes.naiveLines / naive,
           boundRate = runLines / bound;
    report({"log throughput, " + std::to_string(runLines) + " lines of ~60 bytes", fmt("%.0f lines/s", programRate),
            fmt("bare pipe reader %.0f lines/s", bareRate) + fmt("; the view's bound %.0f lines/s", boundRate) +
                fmt("; one insertion a line %.0f lines/s", naiveRate),
            fmt("%.2fx pipe", programRate / bareRate) + fmt(", %.2fx view", programRate / boundRate) +
                fmt(", %.0fx naive", programRate / naiveRate),
            {{"x pipe", programRate / bareRate, ">=", 0.37}, {"x naive", programRate / naiveRate, ">=", 100}}});
    // Short lines fill the view with the most lines, and an insertion
    // then costs about the same whatever its size.
    double shortRun = programRun(linesScript(runLines, L"Part"), nullptr), shortBare = bareReader(runLines, L"Part");
    report({"log throughput, " + std::to_string(runLines) + " lines of ~12 bytes", fmt("%.0f lines/s", runLines / shortRun),
            fmt("the ~60-byte lines' %.0f lines/s", programRate) + fmt("; bare pipe reader %.0f lines/s", runLines / shortBare),
            fmt("%.2fx the ~60-byte lines", runLines / shortRun / programRate),
            {{"x ~60-byte lines", runLines / shortRun / programRate, ">=", 0.1}}});
    report({"Alt+F to the open File menu during that flood", floodKeys.text(), "during a quiet run " + quietKeys.text(),
            fmt("median %.0f ms", floodKeys.median()) + fmt(" vs %.0f ms", quietKeys.median()),
            {{"slowest ms", floodKeys.slowest(), "<", 150}, {"median ms", floodKeys.median(), "<", 100}}});
    TypingProbe floodTyping;
    movesBehindModal.clear();
    typeDuringAFlood(floodTyping);
    std::vector<double> gaps;
    for (size_t i = 1; i < movesBehindModal.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::milli>(movesBehindModal[i] - movesBehindModal[i - 1]).count());
    double longestGap = gaps.empty() ? 1e9 : longest(gaps);
    double typingBound = std::max(2 * quietTyping.median(), 5.0);
    report({"a key press into the settings dialog during a flood", floodTyping.text(), "quiet " + quietTyping.text(),
            fmt("median %.0f ms", floodTyping.median()) + fmt(" vs %.0f ms", quietTyping.median()),
            {{"median ms", floodTyping.median(), "<=", typingBound}, {"slowest ms", floodTyping.slowest(), "<", 50}}});
    report({"the log behind that dialog: time between moves", gaps.empty() ? "no move" :
                fmt("median %.0f ms, ", median(gaps)) + fmt("shortest %.0f ms, ", *std::min_element(gaps.begin(), gaps.end())) +
                fmt("longest %.0f ms", longestGap) + fmt(" (%.0f moves)", 1.0 * movesBehindModal.size()),
            "-", "-", {{"longest ms", longestGap, "<", 1000}}});
    report({"UI responsiveness during that flood", fmt("slowest WM_NULL %.0f ms", during.slowestMs),
            fmt("%.0f ms during a quiet run", quiet.slowestMs),
            fmt("%.2fx", during.slowestMs / std::max(1.0, 1.0 * quiet.slowestMs)),
            {{"slowest ms", 1.0 * during.slowestMs, "<", 100}}});
    programRun(L"big " + std::to_wstring(sizes.endlessBytes), nullptr);
    std::vector<double> endlessSteps = taken(tickTimes);
    Floor floor = insertionFloor();
    report({"floor: one smallest insertion into a near-full view",
            fmt("%.1f ms with the view's drawing off, ", floor.off) + fmt("then %.1f ms to paint it (medians of 15)", floor.paint),
            fmt("%.1f ms with the drawing on", floor.on), "-", {}});
    report({"UI-thread log ticks: longest, 99th percentile",
            fmt("%.1f ms, ", longest(floodSteps)) + fmt("%.1f ms with ordinary lines", percentile(floodSteps, 0.99)) +
                fmt("; the view's paints meanwhile %.1f ms, ", longest(floodPaints)) + fmt("%.1f ms", percentile(floodPaints, 0.99)),
            fmt("%.1f ms, ", longest(endlessSteps)) + fmt("%.1f ms", percentile(endlessSteps, 0.99)) +
                fmt(" during a %.3g MB endless line", sizes.endlessBytes / 1048576.0),
            "-", {{"longest ms, ordinary", longest(floodSteps), "<", 30}, {"longest ms at the cap", longest(endlessSteps), "<", 100}}});

    // Append cost against the log's length.
    double empty = appendCost(sizes.appendLines, 0);
    double nearLimit = appendCost(sizes.appendLines, 640000 - sizes.appendLines * 32 - 4000);
    double trimming = appendCost(sizes.trimLines, 630000);
    report({"append cost, empty view", fmt("%.1f us/line", empty * 1e6), "-", "1.00x", {}});
    report({"append cost, view near its limit", fmt("%.1f us/line", nearLimit * 1e6), fmt("empty view %.1f us", empty * 1e6),
            fmt("%.2fx", nearLimit / empty), {{"x empty", nearLimit / empty, "<=", 1.2}}});
    report({"append cost, " + std::to_string(sizes.trimLines) + " lines through a full view", fmt("%.1f us/line", trimming * 1e6),
            fmt("empty view %.1f us", empty * 1e6), fmt("%.2fx", trimming / empty), {{"x empty", trimming / empty, "<=", 1.5}}});

    // Memory: what the program keeps of a long flood.
    SetWindowTextW(logView(), L"");
    pump(200);
    SIZE_T idle = committedMemory();
    Probe flood;
    programRun(linesScript(sizes.floodLines), &flood);
    SIZE_T full = committedMemory();
    SetWindowTextW(logView(), L"");
    pump(200);
    SIZE_T cleared = committedMemory();
    double above = (static_cast<double>(flood.peak) - static_cast<double>(idle)) / 1048576.0;
    report({"peak committed memory, " + std::to_string(sizes.floodLines) + "-line run", fmt("+%.1f MB over idle", above),
            fmt("idle %.1f MB", idle / 1048576.0) + fmt("; clearing the view frees %.1f MB", (double(full) - double(cleared)) / 1048576.0),
            "-", {{"MB above idle", above, "<=", 32}}});
}
