// The program's code under load: many appending threads with a modal dialog
// coming and going, hundreds of runs, a flood of output.
#include "harness.h"

#include "log/activity_log.h"
#include "resource.h"
#include "run/run_slot.h"
#include "ui/ui.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Ends the process with a message if a test hangs, instead of hanging CI.
struct Watchdog {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread thread;
    Watchdog(DWORD ms, const char* what)
        : thread([this, ms, what] {
              if (WaitForSingleObject(done, ms) == WAIT_TIMEOUT) {
                  fprintf(stderr, "watchdog: %s did not finish in %lu ms (deadlock?)\n", what, ms);
                  fflush(stderr);
                  TerminateProcess(GetCurrentProcess(), 99);
              }
          }) {}
    ~Watchdog()
    {
        SetEvent(done);
        thread.join();
        CloseHandle(done);
    }
};

TEST(Load, FourWorkersUiAppendsAndADialogNeverMixOrDeadlock)
{
    Watchdog watchdog(240000, "the log under load");
    const int perThread = 25000; // together well past the view's limit
    SetWindowTextW(logView(), L"");
    std::atomic<int> running{4};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([w, &running] {
            for (int i = 0; i < perThread; ++i)
                appendLog((L"W" + std::to_wstring(w) + L" line " + std::to_wstring(i)).c_str());
            --running;
        });
    // The UI thread appends too, and opens and closes the settings dialog,
    // whose modal loop must keep serving the log.
    int uiLines = 0;
    size_t longest = 0;
    while (running > 0) {
        std::thread closer([] {
            HWND dialog = nullptr;
            for (int i = 0; i < 200 && !(dialog = FindWindowW(L"#32770", L"Usenet config")); ++i)
                Sleep(10);
            Sleep(100);
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CONFIG), mainWindow(), configDialogProc, 0);
        closer.join();
        appendLog((L"UI line " + std::to_wstring(uiLines++)).c_str());
        longest = std::max(longest, static_cast<size_t>(GetWindowTextLengthW(logView())));
        pump(5);
    }
    for (std::thread& t : workers)
        t.join();

    std::vector<std::wstring> lines = splitLines(logText());
    EXPECT_LE(longest, 640000u);
    EXPECT_LE(logText().size(), 640000u);
    ASSERT_GT(lines.size(), 1000u);
    // Oldest lines may have been cut to keep within the limit; what is left
    // is whole, in each thread's own order, and ends with each one's last.
    int last[5] = {-1, -1, -1, -1, -1};
    for (size_t i = 1; i < lines.size(); ++i) { // the first line may be a cut remnant's successor
        const std::wstring& line = lines[i];
        int who = line.rfind(L"UI line ", 0) == 0 ? 4 : (line.size() > 8 && line[0] == L'W') ? line[1] - L'0' : -1;
        ASSERT_TRUE(who >= 0 && who <= 4) << "mixed line: " << testing::PrintToString(line);
        int n = std::stoi(line.substr(who == 4 ? 8 : 8));
        ASSERT_EQ(line, (who == 4 ? L"UI line " : L"W" + std::to_wstring(who) + L" line ") + std::to_wstring(n));
        ASSERT_GT(n, last[who]) << "out of order: " << testing::PrintToString(line);
        last[who] = n;
    }
    for (int w = 0; w < 4; ++w)
        EXPECT_EQ(last[w], perThread - 1) << "worker " << w << "'s newest line is missing";
    SetWindowTextW(logView(), L"");
}

static size_t threadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {sizeof entry};
    size_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// Open handles of this process, found by asking about every handle value
// (Wine's GetProcessHandleCount always reports 0).
static size_t handleCount()
{
    size_t count = 0;
    DWORD flags;
    for (uintptr_t value = 4; value < 0x10000; value += 4)
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    return count;
}

TEST(Load, TwoHundredRunsLeaveNothingBehind)
{
    Watchdog watchdog(1500000, "200 runs");
    const std::wstring script = L"text Upload[1/2] a\ntext between\ntext Upload[2/2] b\nexit 1";
    runStub(script); // the first run loads what every run uses
    size_t handlesBefore = handleCount();
    size_t threadsBefore = threadCount();
    DWORD start = GetTickCount();
    for (int i = 0; i < 200; ++i) {
        RunOutcome run = runStub(script);
        ASSERT_EQ(run.box, L"NZBs sent=2") << "run " << i;
        SetWindowTextW(logView(), L"");
    }
    size_t handlesAfter = handleCount();
    size_t threadsAfter = threadCount();
    printf("200 runs in %lu ms; handles %zu -> %zu, threads %zu -> %zu\n", GetTickCount() - start, handlesBefore,
           handlesAfter, threadsBefore, threadsAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 2);
    EXPECT_LE(threadsAfter, threadsBefore + 2);
}

static SIZE_T committed()
{
    // PagefileUsage is the private committed memory (Wine reports no PrivateUsage).
    PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

TEST(Load, FloodAndEndlessLineStayBounded)
{
    Watchdog watchdog(600000, "the flood");
    SetWindowTextW(logView(), L"");
    pump(100);
    SIZE_T before = committed();
    std::atomic<bool> running{true};
    std::atomic<SIZE_T> peak{before};
    std::atomic<DWORD> slowest{0};
    std::atomic<bool> unanswered{false}, samplerDone{false};
    std::thread sampler([&] {
        // Until the summary shows: what follows is this test reading the log.
        while (running && !FindWindowW(L"#32770", L"Kestrup Finished")) {
            peak = std::max<SIZE_T>(peak, committed());
            DWORD sent = GetTickCount();
            DWORD_PTR result;
            if (!SendMessageTimeoutW(mainWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result))
                unanswered = true;
            slowest = std::max<DWORD>(slowest, GetTickCount() - sent);
            Sleep(20);
        }
        samplerDone = true;
    });
    DWORD start = GetTickCount();
    RunOutcome run = runStub(L"lines 1000000 Upload[n] flood line of about sixty bytes, say\nbig 10485760");
    DWORD spent = GetTickCount() - start;
    running = false;
    pumpUntil([&] { return samplerDone.load(); }, 30000); // its last send needs this thread
    sampler.join();
    printf("1,000,000 lines + 10 MB line: %lu ms, committed memory +%zu KiB at peak, slowest answer %lu ms\n", spent,
           static_cast<size_t>((peak - before) / 1024), static_cast<DWORD>(slowest));
    EXPECT_EQ(run.box, L"NZBs sent=1000000");
    EXPECT_FALSE(unanswered) << "the window stopped answering";
    EXPECT_LT(peak - before, 96u * 1024 * 1024) << "memory grew with the output";
    EXPECT_LE(logText().size(), 640000u);
    std::vector<std::wstring> lines = splitLines(logText());
    ASSERT_FALSE(lines.empty());
    SetWindowTextW(logView(), L"");
}
