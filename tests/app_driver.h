// Drives the real dravlet-ui.exe from outside its process: starts a copy of
// it (with the stand-in uploader beside it), finds and reads its windows,
// presses its buttons and dismisses its boxes.
#pragma once
#include <windows.h>

#include <functional>
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
// Starts the program unpacked from the release package (release-check in
// the build folder), with the stand-in uploader put beside it.
App startRelease(const std::wstring& stubScript);
// Waits for the process to end and returns its exit code (STILL_ACTIVE on time-out).
DWORD waitExit(App& app, DWORD timeoutMs = 15000);
// Ends the program if it still runs.
void closeApp(App& app);

bool waitFor(const std::function<bool()>& done, DWORD timeoutMs = 20000);
std::wstring textOf(HWND window);
std::wstring classOf(HWND window);
RECT clientRectIn(HWND child, HWND parent); // the child's rectangle in parent's client coordinates
LONG styleOf(HWND window);

// A visible top-level window of the app's process with this title.
HWND findAppWindow(const App& app, const std::wstring& title, DWORD timeoutMs = 20000);
// The log view's text.
std::wstring appLog(const App& app);
std::vector<std::wstring> appLogLines(const App& app);
// The focused window of the app's UI thread.
HWND appFocus(const App& app);

// Real keyboard input to the foreground window.
void sendKeys(const std::vector<std::pair<WORD, bool>>& keys); // (virtual key, down)
void bringToFront(HWND window);

// "Choose folder", the picker filled with path and confirmed; an empty path cancels.
void pickFolder(App& app, const std::wstring& path);
// Waits for the end-of-run box, returns its text and dismisses it.
std::wstring takeAppSummary(const App& app);

// Writes a screenshot of the window into the build folder as name.bmp.
void screenshot(HWND window, const std::wstring& name);
