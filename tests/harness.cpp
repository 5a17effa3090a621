#include "harness.h"

#include "log/activity_log.h"
#include "run/run_slot.h"
#include "ui/ui.h"
#include "resource.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

bool demoByItself;

// ---- Waits

double waitFactor()
{
    static const double factor = [] {
        const char* text = getenv("DRAVLET_WAIT_FACTOR");
        double value = text ? atof(text) : 1.0;
        return value > 0 ? value : 1.0;
    }();
    return factor;
}

// Checks done() at least every 10 ms, also while messages keep coming: a
// flood of posted messages must not keep a wait from seeing its event.
static bool serveUntil(const std::function<bool()>& done, DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        bool more = false;
        for (DWORD batch = GetTickCount(); GetTickCount() - batch < 10;) {
            if (!(more = PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)))
                break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        DWORD spent = GetTickCount() - start;
        if (spent >= ms)
            return false;
        if (!more)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, ms - spent), QS_ALLINPUT);
    }
}

void serveMessages()
{
    serveUntil([] { return true; }, 0);
}

bool waitUntil(const std::string& what, const std::function<bool()>& done, DWORD ms)
{
    DWORD watchdog = static_cast<DWORD>(ms * waitFactor());
    if (serveUntil(done, watchdog))
        return true;
    ADD_FAILURE() << "watchdog: waited " << watchdog << " ms for " << what;
    return false;
}

bool settle(const std::function<bool()>& done, DWORD ms)
{
    return serveUntil(done, static_cast<DWORD>(ms * std::max(1.0, waitFactor())));
}

// ---- Files

std::wstring testDirectory()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory = path;
    return directory.substr(0, directory.rfind(L'\\') + 1);
}

// Each test program has a scratch folder of its own beside it.
static std::wstring scratchRoot()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.rfind(L'\\') + 1);
    return testDirectory() + L"scratch-" + name.substr(0, name.rfind(L'.'));
}

static void removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring freshFolder(const std::wstring& name)
{
    CreateDirectoryW(scratchRoot().c_str(), nullptr);
    std::wstring folder = scratchRoot() + L"\\" + name;
    removeTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string readFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void writeFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

std::wstring fromUtf8(const std::string& bytes)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

std::vector<std::wstring> splitLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t at = 0;
    for (size_t end; (end = text.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    if (at < text.size())
        lines.push_back(text.substr(at));
    return lines;
}

// Under Wine, in a prefix that scripts/wine-prefix.sh created and marked
// as the tests' own. Nowhere else may a test touch the user's profile.
bool disposablePrefix()
{
    static const bool disposable = [] {
        if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
            return false;
        wchar_t drive[8] = L"C:";
        GetEnvironmentVariableW(L"SystemDrive", drive, 8);
        return GetFileAttributesW((std::wstring(drive) + L"\\dravlet-disposable-prefix.txt").c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    }();
    return disposable;
}

bool disposableRequired()
{
    const char* required = getenv("DRAVLET_DISPOSABLE");
    return required && strcmp(required, "required") == 0;
}

std::wstring roamingFolder()
{
    std::wstring folder;
    EXPECT_TRUE(getRoamingAppDataPath(folder));
    return folder;
}

std::wstring settingsPath()
{
    return roamingFolder() + L"\\kestrup.toml";
}

std::wstring uploaderCommandLine(const std::wstring& folder)
{
    EXPECT_NE(folder.back(), L'\\') << "a trailing backslash is doubled on the command line";
    return L"kestrup.exe -c=\"" + settingsPath() + L"\" -u=\"" + folder + L"\"";
}

OnExit keepSettings()
{
    std::wstring path = settingsPath();
    RemoveDirectoryW((path + L".new").c_str()); // a test stopped halfway may have left it in the way
    std::string bytes = readFileBytes(path);
    return OnExit{[path, bytes] {
        for (const std::wstring& file : {path, path + L".new", path + L".old"}) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            RemoveDirectoryW(file.c_str());
            if (file != path)
                DeleteFileW(file.c_str());
        }
        if (bytes == "<missing>")
            DeleteFileW(path.c_str());
        else
            writeFileBytes(path, bytes);
    }};
}

// ---- Things moved aside for a test. The note names what is away, so that a
// test program stopped before the test put it back (a watchdog, a time-out)
// puts it back at its next start.

static std::wstring awayNote()
{
    return testDirectory() + L"moved-aside.txt";
}

static void putBack(const std::wstring& path)
{
    std::wstring away = path + L".away";
    if (GetFileAttributesW(away.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    // Whatever a test left in its place goes aside in turn.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        MoveFileW(path.c_str(), (path + L".left-" + std::to_wstring(GetTickCount())).c_str());
    MoveFileW(away.c_str(), path.c_str());
}

OnExit moveAside(const std::wstring& path)
{
    writeFileBytes(awayNote(), std::string(reinterpret_cast<const char*>(path.data()), path.size() * 2));
    EXPECT_TRUE(MoveFileW(path.c_str(), (path + L".away").c_str())) << "move aside: error " << GetLastError();
    return OnExit{[path] {
        putBack(path);
        DeleteFileW(awayNote().c_str());
    }};
}

static void putBackWhatAStoppedRunLeft()
{
    std::string note = readFileBytes(awayNote());
    if (note != "<missing>")
        putBack(std::wstring(reinterpret_cast<const wchar_t*>(note.data()), note.size() / 2));
    DeleteFileW(awayNote().c_str());
}

// ---- The stand-in uploader

void setStubScript(const std::wstring& script)
{
    SetEnvironmentVariableW(L"KESTRUP_STUB", script.empty() ? nullptr : script.c_str());
}

PROCESS_INFORMATION startProcess(const std::wstring& exe, const std::wstring& arguments, const std::wstring& script,
                                 HANDLE output)
{
    setStubScript(script);
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    std::wstring folder = exe.substr(0, exe.rfind(L'\\'));
    STARTUPINFOW startup = {sizeof startup};
    if (output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
    }
    PROCESS_INFORMATION process = {};
    BOOL started = FALSE;
    for (int tries = 0; !started && tries < kStartTries; ++tries)
        started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, CREATE_NO_WINDOW,
                                 nullptr, folder.c_str(), &startup, &process) ||
                  GetLastError() != ERROR_INTERNAL_ERROR;
    EXPECT_TRUE(process.hProcess) << "start " << testing::PrintToString(exe) << ": error " << GetLastError();
    setStubScript(L"");
    return process;
}

static HANDLE gateEvent;

std::wstring gate()
{
    std::wstring name = L"dravlet-test-gate-" + std::to_wstring(GetCurrentProcessId());
    if (!gateEvent)
        gateEvent = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    return name;
}

void openGate()
{
    gate();
    SetEvent(gateEvent);
}

// The holder says when it holds the file; nothing here opens the file
// meanwhile, or its own open could fail.
static HANDLE startHolder(const std::wstring& verb, const std::wstring& rest)
{
    static int holders;
    std::wstring held = L"dravlet-test-held-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++holders);
    HANDLE heldEvent = CreateEventW(nullptr, TRUE, FALSE, held.c_str());
    PROCESS_INFORMATION holder = startProcess(testDirectory() + L"kestrup.exe", L"", verb + L" " + held + L" " + rest);
    CloseHandle(holder.hThread);
    HANDLE either[] = {heldEvent, holder.hProcess};
    DWORD woke = WaitForMultipleObjects(2, either, FALSE, static_cast<DWORD>(kWait * waitFactor()));
    CloseHandle(heldEvent);
    DWORD code = 0;
    GetExitCodeProcess(holder.hProcess, &code);
    if (woke == WAIT_OBJECT_0)
        return holder.hProcess;
    if (code == STILL_ACTIVE)
        ADD_FAILURE() << "watchdog: the holder did not say it holds the file";
    else
        ADD_FAILURE() << "the holder did not hold the file: its open failed with " << code;
    releaseFile(holder.hProcess);
    return nullptr;
}

HANDLE holdFileOpen(const std::wstring& path)
{
    return startHolder(L"hold", path);
}

void releaseFile(HANDLE holder)
{
    if (!holder)
        return;
    TerminateProcess(holder, 0);
    WaitForSingleObject(holder, kWait);
    CloseHandle(holder);
}

static std::function<void()> pauseAction;
static DWORD pauseThread;
static void(WINAPI* realSleep)(DWORD);

static void WINAPI pauseHook(DWORD ms)
{
    if (ms > 0 && GetCurrentThreadId() == pauseThread && pauseAction) { // Sleep(0) yields, as threads start
        std::function<void()> action = std::move(pauseAction);
        pauseAction = nullptr;
        action();
    }
    realSleep(ms);
}

// The slot of this program's import table through which it calls Sleep.
static void** sleepImport()
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; import->Name; ++import) {
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot)
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, "Sleep") == 0)
                return reinterpret_cast<void**>(&slot->u1.Function);
    }
    return nullptr;
}

static void patchSleep(void* to)
{
    void** slot = sleepImport();
    DWORD was;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was);
    *slot = to;
    VirtualProtect(slot, sizeof *slot, was, &was);
}

OnExit atFirstPause(std::function<void()> action)
{
    if (!realSleep)
        realSleep = reinterpret_cast<void(WINAPI*)(DWORD)>(*sleepImport());
    pauseAction = std::move(action);
    pauseThread = GetCurrentThreadId();
    patchSleep(reinterpret_cast<void*>(pauseHook));
    return OnExit{[] {
        patchSleep(reinterpret_cast<void*>(realSleep));
        pauseAction = nullptr;
    }};
}

// ---- Windows of a process

std::wstring textOf(HWND window)
{
    int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(SendMessageW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

void sendKeys(const std::vector<std::pair<WORD, bool>>& keys)
{
    std::vector<INPUT> inputs;
    for (auto [key, down] : keys) {
        INPUT in = {INPUT_KEYBOARD};
        in.ki.wVk = key;
        in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

static HWND visibleWindow(DWORD processId, const std::wstring& title)
{
    struct Search { DWORD pid; const std::wstring* title; HWND found; } search = {processId, &title, nullptr};
    EnumWindows([](HWND w, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD pid;
        GetWindowThreadProcessId(w, &pid);
        if (pid == s->pid && IsWindowVisible(w) && textOf(w) == *s->title) {
            s->found = w;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findWindow(DWORD processId, const std::wstring& title, DWORD ms)
{
    HWND found = nullptr;
    std::string what(title.begin(), title.end());
    waitUntil("a window \"" + what + "\"", [&] { return (found = visibleWindow(processId, title)) != nullptr; }, ms);
    return found;
}

static void endRun(DWORD processId = GetCurrentProcessId());

HWND summaryBox(DWORD processId, DWORD ms)
{
    HWND box = findWindow(processId, L"Kestrup Finished", ms);
    if (!box)
        endRun(processId);
    return box;
}

std::wstring takeSummaryBox(DWORD processId, DWORD ms)
{
    HWND box = summaryBox(processId, ms);
    if (!box)
        return L"<no summary box>";
    std::wstring text = textOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    waitUntil("the summary box to close", [&] { return !IsWindow(box); });
    return text;
}

// ---- The real program

static void copyInto(const std::wstring& from, const std::wstring& to)
{
    EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << "copy " << testing::PrintToString(from);
}

App::~App()
{
    if (!process.hProcess)
        return;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, kWait);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// Starts dravlet-ui.exe in folder, with the stand-in uploader's script.
static App launch(const std::wstring& folder, const std::wstring& arguments, const std::wstring& stubScript)
{
    App app;
    app.folder = folder;
    app.process = startProcess(folder + L"\\dravlet-ui.exe", arguments, stubScript);
    app.main = findWindow(app.process.dwProcessId, L"dravlet-ui");
    return app;
}

App startApp(const std::wstring& name, const std::wstring& arguments, bool withUploader, const std::wstring& stubScript)
{
    std::wstring folder = freshFolder(name);
    copyInto(testDirectory() + L"..\\dravlet-ui.exe", folder + L"\\dravlet-ui.exe");
    if (withUploader)
        copyInto(testDirectory() + L"kestrup.exe", folder + L"\\kestrup.exe");
    return launch(folder, arguments, stubScript);
}

App startAppIn(const std::wstring& folder)
{
    return launch(folder, L"", L"");
}

DWORD waitExit(App& app, DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    if (waitUntil("the program to exit", [&] { return WaitForSingleObject(app.process.hProcess, 0) == WAIT_OBJECT_0; }, ms))
        GetExitCodeProcess(app.process.hProcess, &code);
    return code;
}

std::wstring classOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

RECT clientRectIn(HWND child, HWND parent)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LONG styleOf(HWND window)
{
    return GetWindowLongW(window, GWL_STYLE);
}

std::vector<std::wstring> appLogLines(const App& app)
{
    return splitLines(textOf(GetDlgItem(app.main, 3)));
}

bool waitForLog(const App& app, const std::vector<std::wstring>& lines)
{
    if (waitUntil("the log to hold the expected lines", [&] { return appLogLines(app) == lines; }))
        return true;
    EXPECT_EQ(appLogLines(app), lines);
    return false;
}

HWND appFocus(const App& app)
{
    GUITHREADINFO info = {sizeof info};
    GetGUIThreadInfo(app.process.dwThreadId, &info);
    return info.hwndFocus;
}

bool bringToFront(const App& app, HWND window, HWND focus)
{
    SetForegroundWindow(window);
    return waitUntil("the window to come to the front with its focus",
                     [&] { return GetForegroundWindow() == window && appFocus(app) == focus; });
}

void pickFolder(App& app, const std::wstring& path)
{
    PostMessageW(app.main, WM_COMMAND, 4, 0);
    HWND picker = findWindow(app.process.dwProcessId, L"Select Folder");
    ASSERT_TRUE(picker) << "no folder picker";
    if (path.empty()) {
        PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
    } else {
        // The picker may show before its file-name field (1152) exists or
        // takes text: the path goes in until the field holds it, and only
        // then comes the picker's own OK, after everything it had queued.
        ASSERT_TRUE(waitUntil("the picker's file-name field to hold the folder", [&] {
            HWND name = GetDlgItem(picker, 1152);
            if (name && textOf(name) != path)
                SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            return name && textOf(name) == path;
        }));
        PostMessageW(picker, WM_COMMAND, IDOK, 0);
    }
    ASSERT_TRUE(waitUntil("the folder picker to close", [&] { return !IsWindow(picker); }));
}

HWND openConfig(App& app)
{
    PostMessageW(app.main, WM_COMMAND, 104, 0);
    return findWindow(app.process.dwProcessId, L"Usenet config");
}

bool waitClosed(App& app, HWND dialog)
{
    return waitUntil("the settings dialog to close", [&] { return !IsWindow(dialog) && IsWindowEnabled(app.main); });
}

void typeInto(HWND control, const std::wstring& text)
{
    for (wchar_t c : text)
        PostMessageW(control, WM_CHAR, c, 1);
}

void typeSettings(HWND dialog, const std::wstring& host, const std::wstring& user, const std::wstring& pass,
                  const std::wstring& conns)
{
    typeInto(GetDlgItem(dialog, 1001), host);
    typeInto(GetDlgItem(dialog, 1002), user);
    typeInto(GetDlgItem(dialog, 1003), pass);
    typeInto(GetDlgItem(dialog, 1005), conns);
}

// ---- Probes

SIZE_T committedMemory()
{
    // PagefileUsage is the private committed memory (Wine reports no PrivateUsage).
    PROCESS_MEMORY_COUNTERS counters = {sizeof counters};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
}

void Probe::start(HWND window, DWORD watchdogMs)
{
    peak = committedMemory();
    thread = std::thread([this, window, watchdogMs] {
        for (DWORD_PTR result; !stop; Sleep(20)) {
            peak = std::max<SIZE_T>(peak, committedMemory());
            DWORD sent = GetTickCount();
            stalls += !SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, watchdogMs, &result);
            slowestMs = std::max<DWORD>(slowestMs, GetTickCount() - sent);
        }
        done = true;
    });
}

void Probe::finish()
{
    stop = true;
    settle([this] { return done.load(); }); // its last send needs this thread
    thread.join();
}

// ---- The program's main window in this process

static HWND mainHandle, viewHandle;

HWND mainWindow()
{
    if (!mainHandle) {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        registerMainWindowClass(instance, L"DRAVLETUI");
        mainHandle = createMainWindow(instance, L"DRAVLETUI", L"dravlet-ui");
        viewHandle = GetDlgItem(mainHandle, IDC_LOGVIEW);
        ShowWindow(mainHandle, SW_SHOW);
        UpdateWindow(mainHandle);
        settle([] { return SendMessageW(viewHandle, EM_GETLIMITTEXT, 0, 0) == 640000; });
    }
    return mainHandle;
}

HWND logView()
{
    mainWindow();
    return viewHandle;
}

void drainLog()
{
    // flushLog as a worker calls it, while this thread serves the ticks.
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread flusher([done] { flushLog(), *done = true; });
    if (settle([&] { return done->load(); }, kLongWait))
        return flusher.join();
    ADD_FAILURE() << "watchdog: the log's queue did not drain";
    flusher.detach();
}

std::wstring logText()
{
    drainLog();
    return textOf(logView());
}

size_t logMark()
{
    return logText().size();
}

std::wstring logSince(size_t mark)
{
    std::wstring text = logText();
    return mark < text.size() ? text.substr(mark) : std::wstring();
}

RunOutcome runStub(const std::wstring& script, const std::wstring& folder, DWORD ms)
{
    mainWindow();
    setStubScript(script);
    size_t mark = logMark();
    RunOutcome outcome = {};
    for (int tries = 0; tries < kStartTries; ++tries) {
        outcome.code = runCommand(folder.c_str());
        if (outcome.code != kWineStartFailed)
            break;
        mark = logMark(); // the failed start's lines are Wine's, not the run's
    }
    if (outcome.code == 0) {
        outcome.box = takeSummaryBox(GetCurrentProcessId(), ms);
        if (!waitUntil("the run's workers to end", [] { return !runActive(); }))
            endRun(); // so that the test's next run is not refused
    }
    setStubScript(L"");
    outcome.log = logSince(mark);
    outcome.title = textOf(mainWindow());
    return outcome;
}

// ---- Clean-up after every test

static HANDLE testJob; // this process and every process started from it

// Every process the tests start, and all that those start, joins the job:
// the clean-up can then stop them all, and they end with this process.
static void joinTestJob()
{
    testJob = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(testJob, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    if (!AssignProcessToJobObject(testJob, GetCurrentProcess()))
        printf("note: not in a job of its own (error %lu): processes a test leaves may outlive it\n", GetLastError());
}

// Stops every process the tests started but the one kept.
static void stopOtherProcesses(DWORD keep)
{
    struct { JOBOBJECT_BASIC_PROCESS_ID_LIST list; ULONG_PTR more[1023]; } ids = {};
    if (!QueryInformationJobObject(testJob, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
        return;
    const ULONG_PTR* pid = ids.list.ProcessIdList;
    for (ULONG i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        if (pid[i] == GetCurrentProcessId() || pid[i] == keep)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid[i]));
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, kWait);
            CloseHandle(process);
        }
    }
}

static bool processEnded(DWORD processId)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    bool ended = !process || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    if (process)
        CloseHandle(process);
    return ended;
}

// Ends a run of this process or of the program processId: every other
// process the test started is stopped, its summary box is dismissed as it
// shows, and (here) its workers end. A run that does not end even so stops
// the test program: every later test would wait out its watchdogs on it,
// and nothing after it could be trusted.
static void endRun(DWORD processId)
{
    stopOtherProcesses(processId);
    bool own = processId == GetCurrentProcessId(), boxShown = false;
    if (settle([&] {
            if (HWND box = visibleWindow(processId, L"Kestrup Finished")) {
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                boxShown = true;
            }
            return own ? !runActive() : boxShown || processEnded(processId);
        }))
        return;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    printf("[  FAILED  ] %s.%s: its run did not end within %lu ms of every uploader being stopped; "
           "the test program stops here\n",
           test ? test->test_suite_name() : "?", test ? test->name() : "?", static_cast<unsigned long>(kWait * waitFactor()));
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 1);
}

// An empty view at its default limit. What is queued is shown first, so
// that no line of an earlier test can arrive after the view is cleared.
static void resetLog()
{
    if (!viewHandle)
        return;
    SendMessageW(viewHandle, EM_LIMITTEXT, 640000, 0);
    drainLog();
    SetWindowTextW(viewHandle, L"");
}

namespace {
struct CleanUp : testing::EmptyTestEventListener {
    HWND focus = nullptr;
    void OnTestStart(const testing::TestInfo&) override
    {
        resetLog();
        focus = GetFocus();
    }
    void OnTestEnd(const testing::TestInfo&) override
    {
        setStubScript(L"");
        if (gateEvent)
            ResetEvent(gateEvent);
        endRun();
        resetLog();
        if (IsWindow(focus))
            SetFocus(focus);
    }
    void OnTestProgramEnd(const testing::UnitTest&) override { removeTree(scratchRoot()); }
};
} // namespace

void installCleanUp()
{
    putBackWhatAStoppedRunLeft();
    joinTestJob();
    testing::UnitTest::GetInstance()->listeners().Append(new CleanUp);
}
