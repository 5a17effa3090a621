// The baseline for start-up and size: a minimal Win32 program with the same
// window furniture as dravlet-ui (a menu bar, a push button and a multi-line
// edit control), laid out on its first paint the same way.
#include <windows.h>

static HWND button, edit;

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        edit = CreateWindowExW(0, L"EDIT", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE,
                               10, 90, 465, 200, window, reinterpret_cast<HMENU>(3), nullptr, nullptr);
        button = CreateWindowExW(0, L"BUTTON", L"Choose folder", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 10, 20, 100,
                                 100, window, reinterpret_cast<HMENU>(4), nullptr, nullptr);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        RECT r;
        GetClientRect(window, &r);
        SetWindowPos(button, nullptr, 0, 0, r.right, 50, 0);
        SetWindowPos(edit, nullptr, 0, 50, r.right, r.bottom > 50 ? r.bottom - 50 : 0, 0);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    WNDCLASSEXW wc = {sizeof wc};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"MINIMAL";
    RegisterClassExW(&wc);
    HMENU bar = CreateMenu(), file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 105, L"E&xit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    HWND window = CreateWindowExW(0, L"MINIMAL", L"minimal", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                  nullptr, bar, instance, nullptr);
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
