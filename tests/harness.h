// Shared helpers: the window the program code logs into, message pumping,
// the stand-in uploader's script, and whole runs driven end to end.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The main window and log view of this test process, created once.
HWND mainWindow();
HWND logView();

// Everything in the log view, and what was added since a mark.
std::wstring logText();
size_t logMark();
std::wstring logSince(size_t mark);
std::vector<std::wstring> splitLines(const std::wstring& text); // at CR LF, last empty piece dropped

// Serves this thread's messages for ms, or until done() holds (false on time-out).
void pump(DWORD ms);
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 30000);

std::wstring testDirectory(); // where the test executables and kestrup.exe live
std::wstring freshFolder(const std::wstring& name); // an empty folder under %TEMP%
std::string readFileBytes(const std::wstring& path);
std::wstring fromUtf8(const std::string& bytes);

// The script the stand-in uploader runs next (commands joined by line feeds).
void setStubScript(const std::wstring& script);

// Another process (the stand-in uploader) holding path open without
// sharing; returns its process handle once the file is held.
HANDLE holdFileOpen(const std::wstring& path);
void releaseFile(HANDLE holder);

// Waits for the end-of-run box, returns its text and dismisses it.
std::wstring takeSummaryBox(DWORD timeoutMs = 30000);

struct RunOutcome {
    uint32_t code;           // runCommand's result
    std::wstring log;        // the lines it added, once both workers ended
    std::wstring box;        // the summary box's text ("" when no run)
    std::wstring title;      // the main window's title afterwards
};
// One whole run of the stand-in uploader with this script and folder.
RunOutcome runStub(const std::wstring& script, const std::wstring& folder = L"C:\\windows");
