// Helpers shared by the test programs: waits with watchdogs, the clean-up
// that runs after every test, scratch files, the stand-in uploader's
// script, the summary box, and the program's own main window created in
// this process.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
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
// disposable Wine prefix that scripts/wine-session.sh marks.

std::wstring testDirectory(); // where the test executables and kestrup.exe live
std::wstring freshFolder(const std::wstring& name); // an empty folder of the tests' own
std::string readFileBytes(const std::wstring& path);
void writeFileBytes(const std::wstring& path, const std::string& bytes);
std::wstring fromUtf8(const std::string& bytes);
std::vector<std::wstring> splitLines(const std::wstring& text); // at CR LF, last empty piece dropped

bool disposablePrefix();
#define SKIP_UNLESS_DISPOSABLE()                                                                                \
    if (!disposablePrefix())                                                                                    \
    GTEST_SKIP() << "changes the user's own %APPDATA%: runs only in the disposable Wine prefix of wine-session.sh"

std::wstring roamingFolder(); // %APPDATA% as the program finds it
std::wstring settingsPath();  // the settings file in it
OnExit keepSettings();        // puts the settings file back as it was when the scope ends
// The uploader's command line the log shows for a folder that does not end
// in a backslash, written out as the user reads it.
std::wstring uploaderCommandLine(const std::wstring& folder);

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

// ---- The program's main window in this process, created once.

HWND mainWindow();
HWND logView();
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
