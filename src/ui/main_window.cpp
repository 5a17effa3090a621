// The main window: a "Choose folder" strip above the activity log view.
#include "ui.h"

#include "../log/activity_log.h"
#include "../run/run_slot.h"
#include "resource.h"

#include <cstdlib>
#include <cwchar>

HINSTANCE appInstance;     // set before the main window is created
static HWND logViewHandle; // WM_CREATE
static HWND buttonHandle;  // WM_CREATE
// The children's fonts, made once on WM_CREATE. Deleted on WM_NCDESTROY,
// which comes after the children are gone (WM_DESTROY comes before).
static HFONT messageFont, logFont;

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

// The face and metrics with which a font comes out on this machine.
static void realize(HFONT font, wchar_t (&face)[LF_FACESIZE], TEXTMETRICW& metrics)
{
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    GetTextFaceW(screen, LF_FACESIZE, face);
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
}

// Controls a program creates itself draw with the old bold System font until
// they are given another. The button gets the system's message font, which
// already matches the DPI the program declares; the log a fixed-pitch font
// as tall, so the uploader's output lines up as in a console.
static void createFonts()
{
    NONCLIENTMETRICSW metrics = {sizeof metrics};
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    messageFont = CreateFontIndirectW(&metrics.lfMessageFont);
    wchar_t face[LF_FACESIZE];
    TEXTMETRICW message, log;
    realize(messageFont, face, message);

    // Consolas where installed: the font mapper gives some other face for a
    // missing one, so the face it gave is checked. Else its fixed-pitch
    // outline face, if it comes out about as tall (a raster face may be tiny).
    LOGFONTW wanted = {};
    wanted.lfHeight = metrics.lfMessageFont.lfHeight;
    wanted.lfCharSet = DEFAULT_CHARSET;
    wanted.lfQuality = metrics.lfMessageFont.lfQuality;
    wanted.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    const struct { const wchar_t* face; BYTE precision; } choices[] = {{L"Consolas", OUT_DEFAULT_PRECIS},
                                                                       {L"", OUT_TT_ONLY_PRECIS}};
    for (const auto& choice : choices) {
        wcscpy(wanted.lfFaceName, choice.face);
        wanted.lfOutPrecision = choice.precision;
        logFont = CreateFontIndirectW(&wanted);
        realize(logFont, face, log);
        bool fixed = !(log.tmPitchAndFamily & TMPF_FIXED_PITCH); // the bit set means variable pitch
        bool outline = log.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE);
        bool asTall = 4 * std::abs(log.tmHeight - message.tmHeight) <= message.tmHeight;
        if ((!*choice.face || wcscmp(face, choice.face) == 0) && fixed && outline && asTall)
            return;
        DeleteObject(logFont);
    }
    logFont = CreateFontIndirectW(&wanted); // the mapper's fixed-pitch choice, whatever it is
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
    initLog(logViewHandle, lock, kLogLimit);
    PostMessageW(logViewHandle, EM_LIMITTEXT, kLogLimit, 0);
    buttonHandle = CreateWindowExW(0, L"BUTTON", L"Choose folder", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                   10, 20, 100, 100, window, reinterpret_cast<HMENU>(IDC_CHOOSE), nullptr, nullptr);
    createFonts();
    SendMessageW(buttonHandle, WM_SETFONT, reinterpret_cast<WPARAM>(messageFont), FALSE);
    SendMessageW(logViewHandle, WM_SETFONT, reinterpret_cast<WPARAM>(logFont), FALSE);
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
    case WM_NCDESTROY:
        DeleteObject(messageFont);
        DeleteObject(logFont);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
