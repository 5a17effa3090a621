// Helpers shared by the test programs: waits with watchdogs, the clean-up
// that runs after every test, scratch files, starting processes and the
// stand-in uploader's script, the summary box, the real program driven from
// outside, probes of a window, and the program's own main window created
// in this process.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// --auto on the command line: scripts/demo.sh runs the demo session.
extern bool demoByItself;

// ---- Waits. None depends on the machine's speed: each waits for an event
// and has a watchdog far above what the event needs. DRAVLET_WAIT_FACTOR
// (default 1) scales the watchdogs of the waits a test makes on the program.

double waitFactor(); // DRAVLET_WAIT_FACTOR, 1 when unset

constexpr DWORD kWait = 60000;       // an event that takes well under a second
constexpr DWORD kLongWait = 300000;  // a flood of output drained and shown

// Serves this thread's messages until done() holds. When the watchdog fires
// the test fails with what it awaited and for how long, and this returns false.
bool waitUntil(const std::string& what, const std::function<bool()>& done, DWORD ms = kWait);

// Serves the messages waiting for this thread, and returns.
void serveMessages();

// The same for clean-up after a test: silent, and never scaled below ms.
bool settle(const std::function<bool()>& done, DWORD ms = kWait);

// ---- Clean-up. Installed by main: after every test, however it ended, the
// uploaders it started are stopped with everything they started, its run is
// finished (summary box dismissed, workers ended), and the stub script, the
// log view's limit and the keyboard focus are put back.
void installCleanUp();

// Puts something back when the scope ends, also when an assertion returns early.
struct OnExit {
    std::function<void()> run;
    ~OnExit() { run(); }
};

// ---- Files. Scratch files live in the build folder and are removed when
// the test program ends; the user's own files are touched only in the
// disposable Wine prefix that scripts/wine-prefix.sh marks.

std::wstring testDirectory(); // where the test executables and kestrup.exe live
std::wstring freshFolder(const std::wstring& name); // an empty folder of the tests' own
std::string readFileBytes(const std::wstring& path);
void writeFileBytes(const std::wstring& path, const std::string& bytes);
std::wstring fromUtf8(const std::string& bytes);
std::vector<std::wstring> splitLines(const std::wstring& text); // at CR LF, last empty piece dropped

// A case that needs what only the test command's Wine prefix has (its mark,
// the save_faults fixture's folders) skips elsewhere, saying why; where
// CTest runs it under Wine (DRAVLET_DISPOSABLE=required), it fails instead.
bool disposablePrefix();
bool disposableRequired();
#define REQUIRE_OR_SKIP(ready, why)                                                                             \
    if (ready) {                                                                                                \
    } else if (disposableRequired())                                                                            \
        FAIL() << why;                                                                                          \
    else                                                                                                        \
        GTEST_SKIP() << why
#define SKIP_UNLESS_DISPOSABLE()                                                                                \
    REQUIRE_OR_SKIP(disposablePrefix(), "changes the user's own %APPDATA%: runs only in the disposable Wine prefix " \
                                        "that scripts/wine-prefix.sh marks")

std::wstring roamingFolder(); // %APPDATA% as the program finds it
std::wstring settingsPath();  // the settings file in it
OnExit keepSettings();        // puts the settings file back as it was when the scope ends
// Moves path to path + ".away" until the scope ends; a test program stopped
// meanwhile puts it back when it next starts.
OnExit moveAside(const std::wstring& path);
// The uploader's command line the log shows for a folder that does not end
// in a backslash, written out as the user reads it.
std::wstring uploaderCommandLine(const std::wstring& folder);

// ---- Starting processes. Under load, Wine's CreateProcessW now and then
// fails with ERROR_INTERNAL_ERROR: the new process ends in its start-up
// (seen twice in some 1,500 starts beside two CPU hogs; Windows has no such
// failure). The program reports it as any failed start; the tests start
// again, kStartTries times in all, where a run is what they test.
constexpr int kStartTries = 3;
constexpr uint32_t kWineStartFailed = 0x80070000u | ERROR_INTERNAL_ERROR; // runCommand's code for it

// ---- The stand-in uploader.

// The script the stand-in uploader runs next (commands joined by line feeds).
void setStubScript(const std::wstring& script);

// Starts exe in its own folder with the stand-in uploader's script in its
// environment and, given output, that handle as its standard output and
// error (inherited). Fails the test when it cannot start.
PROCESS_INFORMATION startProcess(const std::wstring& exe, const std::wstring& arguments, const std::wstring& script,
                                 HANDLE output = nullptr);

// The named event of this test program that the stand-in uploader's
// "wait NAME" blocks on. Shut again after every test.
std::wstring gate();
void openGate();

// Another process (the stand-in uploader) holding path open without
// sharing; returns its process handle once the file is held, or null
// (the test failed) when it could not hold it.
HANDLE holdFileOpen(const std::wstring& path);
void releaseFile(HANDLE holder);

// Runs action at the first pause (a Sleep of 1 ms or more) that this thread
// makes while the scope lasts: the step that code under test reaches only
// once a try has been refused, whatever the machine's speed. Patches this
// program's import of Sleep, which the code under test calls through.
OnExit atFirstPause(std::function<void()> action);

// ---- Windows of a process, this one or another.

std::wstring textOf(HWND window);
// Real keyboard input to the foreground window: (virtual key, down) pairs.
void sendKeys(const std::vector<std::pair<WORD, bool>>& keys);

// A visible top-level window of the process with this title, or null once the watchdog fires.
HWND findWindow(DWORD processId, const std::wstring& title, DWORD ms = kWait);
// Waits for the end-of-run box of a process. When it does not come, every
// process the test started is stopped; a run that does not end even then
// stops the test program, since no later test could trust what it left.
HWND summaryBox(DWORD processId = GetCurrentProcessId(), DWORD ms = kWait);
// Waits for the end-of-run box, returns its text and dismisses it.
std::wstring takeSummaryBox(DWORD processId = GetCurrentProcessId(), DWORD ms = kWait);

// ---- The real dravlet-ui.exe, started and driven from outside its process.

// A running copy of the program; ended when the test lets go of it, so a
// failed assertion never leaves it behind.
struct App {
    PROCESS_INFORMATION process = {};
    HWND main = nullptr;
    std::wstring folder; // where this copy of the program lives
    App() = default;
    App(App&& other) noexcept : process(other.process), main(other.main), folder(std::move(other.folder)) { other.process = {}; }
    App& operator=(App&&) = delete;
    ~App();
};

// Starts a fresh copy of the program in a folder of its own. With a stub
// script, kestrup.exe is the stand-in uploader running that script.
App startApp(const std::wstring& name, const std::wstring& arguments = L"", bool withUploader = true,
             const std::wstring& stubScript = L"");
// Starts the program that is in folder already, with kestrup.exe beside it.
App startAppIn(const std::wstring& folder);
// Waits for the process to end and returns its exit code (STILL_ACTIVE when the watchdog fires).
DWORD waitExit(App& app, DWORD ms = kWait);

std::wstring classOf(HWND window);
RECT clientRectIn(HWND child, HWND parent); // the child's rectangle in parent's client coordinates
LONG styleOf(HWND window);

std::vector<std::wstring> appLogLines(const App& app);
// Waits until the log holds exactly these lines.
bool waitForLog(const App& app, const std::vector<std::wstring>& lines);
// The focused window of the app's UI thread.
HWND appFocus(const App& app);

// Makes window the foreground window, with the keyboard focus on focus.
bool bringToFront(const App& app, HWND window, HWND focus);

// "Choose folder", the picker filled with path and confirmed; an empty path cancels.
void pickFolder(App& app, const std::wstring& path);

// The settings dialog, opened by command 104; and waiting for it to close.
HWND openConfig(App& app);
bool waitClosed(App& app, HWND dialog);
void typeInto(HWND control, const std::wstring& text); // WM_CHAR for each character
// Types into the dialog's Host, Username, Password and Connections fields.
void typeSettings(HWND dialog, const std::wstring& host, const std::wstring& user, const std::wstring& pass,
                  const std::wstring& conns);

// ---- Probes of this process's main window, for the load tests and the benchmark.

SIZE_T committedMemory(); // this process's private committed memory

// Samples a window from another thread every 20 ms until finish(): the
// slowest answer to WM_NULL, the answers that took past the watchdog, and
// this process's peak committed memory.
struct Probe {
    std::atomic<bool> stop{false}, done{false};
    std::atomic<DWORD> slowestMs{0}, stalls{0};
    std::atomic<SIZE_T> peak{0};
    std::thread thread;
    void start(HWND window, DWORD watchdogMs);
    void finish(); // serves this thread's messages until the last sample is answered
};

// ---- The program's main window in this process, created once.

HWND mainWindow();
HWND logView();
void drainLog(); // serves this thread until everything queued is in the view
std::wstring logText(); // everything in the view, once the queue is drained
size_t logMark();
std::wstring logSince(size_t mark);

struct RunOutcome {
    uint32_t code;      // runCommand's result
    std::wstring log;   // the lines it added, once both workers ended
    std::wstring box;   // the summary box's text ("" when no run)
    std::wstring title; // the main window's title afterwards
};
// One whole run of the stand-in uploader with this script and folder.
RunOutcome runStub(const std::wstring& script, const std::wstring& folder = L"C:\\windows", DWORD ms = kWait);
