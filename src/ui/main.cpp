// Entry point: load the strings, register the class, create and show the
// main window, run the message loop. The command line is not used.
#include "ui.h"

#include "resource.h"

#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    restrictDllSearch(); // before anything can load a DLL by name

    // The known-folder lookup and the folder picker are COM objects used on
    // this thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    // Zeroed, so that a failed LoadStringW leaves an empty text.
    wchar_t title[100] = {}, className[100] = {};
    LoadStringW(instance, IDS_APP_TITLE, title, 100);
    LoadStringW(instance, IDS_CLASS_NAME, className, 100);
    registerMainWindowClass(instance, className);

    HWND window = createMainWindow(instance, className, title);
    if (!window)
        return 0;

    STARTUPINFOW startup = {sizeof startup};
    GetStartupInfoW(&startup);
    ShowWindow(window, (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT);
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCEL));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        if (TranslateAcceleratorW(msg.hwnd, accelerators, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
