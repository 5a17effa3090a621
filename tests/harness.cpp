#include "harness.h"

#include "log/activity_log.h"
#include "run/run_slot.h"
#include "ui/ui.h"
#include "resource.h"

#include <gtest/gtest.h>

static HWND mainHandle, viewHandle;

// The program's own main window, class and resources, created in this process.
static void createWindows()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerMainWindowClass(instance, L"DRAVLETUI");
    mainHandle = createMainWindow(instance, L"DRAVLETUI", L"dravlet-ui");
    viewHandle = GetDlgItem(mainHandle, IDC_LOGVIEW);
    ShowWindow(mainHandle, SW_SHOW);
    UpdateWindow(mainHandle);
    pump(50);
}

HWND mainWindow()
{
    if (!mainHandle)
        createWindows();
    return mainHandle;
}

HWND logView()
{
    mainWindow();
    return viewHandle;
}

std::wstring logText()
{
    flushLog();
    int length = GetWindowTextLengthW(logView());
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(logView(), text.data(), length + 1)));
    return text;
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

void pump(DWORD ms)
{
    pumpUntil([] { return false; }, ms);
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeoutMs - spent), QS_ALLINPUT);
    }
}

std::wstring testDirectory()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory = path;
    return directory.substr(0, directory.rfind(L'\\') + 1);
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
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring freshFolder(const std::wstring& name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"dravlet-tests\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += name;
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

std::wstring fromUtf8(const std::string& bytes)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

void setStubScript(const std::wstring& script)
{
    SetEnvironmentVariableW(L"KESTRUP_STUB", script.empty() ? nullptr : script.c_str());
}

HANDLE holdFileOpen(const std::wstring& path)
{
    setStubScript(L"hold 30000 " + path);
    std::wstring exe = testDirectory() + L"kestrup.exe", commandLine = L"kestrup.exe";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION holder = {};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &holder));
    setStubScript(L"");
    CloseHandle(holder.hThread);
    EXPECT_TRUE(pumpUntil([&] {
        HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
        CloseHandle(probe);
        return probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
    }, 15000)) << "the file was never held";
    return holder.hProcess;
}

void releaseFile(HANDLE holder)
{
    TerminateProcess(holder, 0);
    WaitForSingleObject(holder, 5000);
    CloseHandle(holder);
}

static HWND findSummaryBox()
{
    return FindWindowW(L"#32770", L"Kestrup Finished");
}

std::wstring takeSummaryBox(DWORD timeoutMs)
{
    HWND box = nullptr;
    if (!pumpUntil([&] { return (box = findSummaryBox()) != nullptr && IsWindowVisible(box); }, timeoutMs))
        return L"<no summary box>";
    wchar_t text[256] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 256);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    pumpUntil([&] { return !IsWindow(box); }, 10000);
    return text;
}

RunOutcome runStub(const std::wstring& script, const std::wstring& folder)
{
    mainWindow();
    setStubScript(script);
    size_t mark = logMark();
    RunOutcome outcome = {};
    outcome.code = runCommand(folder.c_str());
    if (outcome.code == 0) {
        outcome.box = takeSummaryBox();
        EXPECT_TRUE(pumpUntil([] { return !runActive(); })) << "the run's workers never ended";
    }
    setStubScript(L"");
    outcome.log = logSince(mark);
    wchar_t title[256] = {};
    GetWindowTextW(mainWindow(), title, 256);
    outcome.title = title;
    return outcome;
}
