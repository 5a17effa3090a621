// Drives the real dravlet-ui.exe from outside its process: starts a copy of
// it (with the stand-in uploader beside it), finds and reads its windows,
// presses its buttons and types into it. Waits and the summary box come
// from harness.h.
#pragma once
#include "harness.h"

#include <string>
#include <vector>

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

// The screen's picture of some windows, cropped to them.
struct Picture {
    RECT frame = {};       // on the screen
    std::vector<BYTE> bgr; // top-down rows of 3 bytes a pixel, each row padded to 4 bytes
};
// Taken once they have painted: neither they nor their children have
// anything left to paint, and then two captures at least 60 ms apart agree
// (the screen under Wine shows what has reached X; a caret may blink). An
// empty picture when the watchdog fires.
Picture pictureOf(const std::vector<HWND>& windows);
// Writes it into the build folder's screenshots as name.png; returns its path.
std::wstring savePicture(const Picture& picture, const std::wstring& name);

// What is drawn in an area of the picture (screen coordinates): the pixels
// that stand out from the area's commonest colour, how many columns hold
// any, and how many bands of rows (a line of text makes one).
struct Ink {
    size_t pixels = 0;
    int columns = 0, bands = 0;
};
Ink inkIn(const Picture& picture, RECT area);
RECT clientOnScreen(HWND window);
