#include "app_driver.h"

#include "harness.h"

#include <gtest/gtest.h>

static void copyInto(const std::wstring& from, const std::wstring& to)
{
    EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << "copy " << testing::PrintToString(from);
}

App::~App()
{
    closeApp(*this);
}

// Starts dravlet-ui.exe in folder, with the stand-in uploader's script.
static App launch(const std::wstring& folder, const std::wstring& arguments, const std::wstring& stubScript)
{
    App app;
    app.folder = folder;
    setStubScript(stubScript);
    std::wstring exe = app.folder + L"\\dravlet-ui.exe";
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {sizeof startup};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               app.folder.c_str(), &startup, &app.process));
    setStubScript(L"");
    app.main = findAppWindow(app, L"dravlet-ui");
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

App startRelease(const std::wstring& stubScript)
{
    std::wstring folder = testDirectory() + L"..\\release-check";
    copyInto(testDirectory() + L"kestrup.exe", folder + L"\\kestrup.exe");
    return launch(folder, L"", stubScript);
}

DWORD waitExit(App& app, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(app.process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(app.process.hProcess, &code);
    return code;
}

void closeApp(App& app)
{
    if (!app.process.hProcess)
        return;
    if (WaitForSingleObject(app.process.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(app.process.hProcess, 0);
        WaitForSingleObject(app.process.hProcess, 5000);
    }
    CloseHandle(app.process.hProcess);
    CloseHandle(app.process.hThread);
    app.process = {};
}

bool waitFor(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

std::wstring textOf(HWND window)
{
    int length = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(SendMessageW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()))));
    return text;
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

HWND findAppWindow(const App& app, const std::wstring& title, DWORD timeoutMs)
{
    struct Search { DWORD pid; const std::wstring* title; HWND found; } search = {app.process.dwProcessId, &title, nullptr};
    waitFor([&] {
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
        return search.found != nullptr;
    }, timeoutMs);
    return search.found;
}

std::wstring appLog(const App& app)
{
    return textOf(GetDlgItem(app.main, 3));
}

std::vector<std::wstring> appLogLines(const App& app)
{
    return splitLines(appLog(app));
}

HWND appFocus(const App& app)
{
    GUITHREADINFO info = {sizeof info};
    GetGUIThreadInfo(app.process.dwThreadId, &info);
    return info.hwndFocus;
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
    Sleep(200);
}

void bringToFront(HWND window)
{
    SetForegroundWindow(window);
    waitFor([&] { return GetForegroundWindow() == window; }, 3000);
    Sleep(100);
}

void pickFolder(App& app, const std::wstring& path)
{
    PostMessageW(app.main, WM_COMMAND, 4, 0);
    HWND picker = findAppWindow(app, L"Select Folder");
    ASSERT_TRUE(picker) << "no folder picker";
    if (path.empty()) {
        PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
    } else {
        HWND name = GetDlgItem(picker, 1152); // the picker's file-name field
        ASSERT_TRUE(name);
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        PostMessageW(picker, WM_COMMAND, IDOK, 0);
    }
    EXPECT_TRUE(waitFor([&] { return !IsWindow(picker); }));
}

std::wstring takeAppSummary(const App& app)
{
    HWND box = findAppWindow(app, L"Kestrup Finished", 30000);
    if (!box)
        return L"<no summary box>";
    std::wstring text = textOf(GetDlgItem(box, 0xFFFF));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    waitFor([&] { return !IsWindow(box); });
    return text;
}

void screenshot(HWND window, const std::wstring& name)
{
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    DWORD stride = ((width * 3 + 3) & ~3), size = stride * height;
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof info.bmiHeader + size), 0, 0,
                             sizeof file + sizeof info.bmiHeader};
    std::wstring path = testDirectory() + L"..\\screenshots";
    CreateDirectoryW(path.c_str(), nullptr);
    HANDLE out = CreateFileW((path + L"\\" + name + L".bmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(out, &file, sizeof file, &written, nullptr);
    WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
    WriteFile(out, bits, size, &written, nullptr);
    CloseHandle(out);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}
