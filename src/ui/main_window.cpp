// The main window: a "Choose folder" strip above the activity log view.
#include "ui.h"

#include "../log/activity_log.h"
#include "../run/run_slot.h"
#include "resource.h"

HINSTANCE appInstance;     // set before the main window is created
static HWND logViewHandle; // WM_CREATE
static HWND buttonHandle;  // WM_CREATE

constexpr int kButtonHeight = 50;
constexpr WPARAM kLogLimit = 640000;

ATOM registerMainWindowClass(HINSTANCE instance, const wchar_t* className)
{
    WNDCLASSEXW wc = {sizeof wc};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_DRAVLETUI));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_MAINMENU);
    wc.lpszClassName = className;
    wc.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    return RegisterClassExW(&wc);
}

HWND createMainWindow(HINSTANCE instance, const wchar_t* className, const wchar_t* title)
{
    appInstance = instance;
    return CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                           nullptr, nullptr, instance, nullptr);
}

static LRESULT onCreate(HWND window, WPARAM wParam, LPARAM lParam)
{
    setRunWindow(window); // the run's end-of-run title and summary box go here
    HANDLE lock = CreateMutexW(nullptr, FALSE, nullptr);
    if (!lock)
        return 1;
    logViewHandle = CreateWindowExW(0, L"EDIT", nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                                    10, 90, 465, 200, window, reinterpret_cast<HMENU>(IDC_LOGVIEW), nullptr, nullptr);
    initLog(logViewHandle, lock);
    PostMessageW(logViewHandle, EM_LIMITTEXT, kLogLimit, 0);
    buttonHandle = CreateWindowExW(0, L"BUTTON", L"Choose folder", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                   10, 20, 100, 100, window, reinterpret_cast<HMENU>(IDC_CHOOSE), nullptr, nullptr);
    return DefWindowProcW(window, WM_CREATE, wParam, lParam);
}

// The layout follows every repaint, and every resize repaints.
static void onPaint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    int width = client.right, height = client.bottom;
    SetWindowPos(buttonHandle, nullptr, 0, 0, width, kButtonHeight, 0);
    SetWindowPos(logViewHandle, nullptr, 0, kButtonHeight, width,
                 height > kButtonHeight ? height - kButtonHeight : 0, 0);
    EndPaint(window, &paint);
}

LRESULT CALLBACK mainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return onCreate(window, wParam, lParam);
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDM_CHOOSE:
            chooseFolder(window);
            return 0;
        case IDM_CONFIG:
            DialogBoxParamW(appInstance, MAKEINTRESOURCEW(IDD_CONFIG), window, configDialogProc, 0);
            return 0;
        case IDM_EXIT:
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
