// One upload run: starting the uploader, watching it, reading its output.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

// The state of the current run. runCommand fills it completely before it
// starts the two workers; the watcher then owns outWrite and child, the
// reader outRead and sentCount. Only one run is active at a time.
struct RunSlot {
    HANDLE outRead;              // pipe read end, private; closed by the reader
    HANDLE outWrite;             // pipe write end, inherited; closed by the watcher
    PROCESS_INFORMATION child;   // the uploader; both handles closed by the watcher
    int32_t sentCount;           // lines holding "Upload[" in this run
};
extern RunSlot runSlot;

// Hands the run its main window: the end-of-run title goes there and the
// summary box is owned by it. Set once on the UI thread at window creation.
void setRunWindow(HWND mainWindow);

// Starts kestrup.exe for folder and the two workers. 0 when started, an
// HRESULT otherwise; HRESULT_FROM_WIN32(ERROR_BUSY) while a run is active.
uint32_t runCommand(const wchar_t* folder);

DWORD WINAPI waitExtProgram(LPVOID);
DWORD WINAPI readExtProgram(LPVOID);

// Whether a run's workers are still going (from a start until both end).
bool runActive();

// Between the run's own files: the window the reader reports to, and the
// call with which each worker says it has ended.
extern HWND runWindow;
void workerDone();

// The running executable's directory, with its trailing backslash.
std::wstring getProgramDirectory();

// The roaming application-data folder, without a trailing backslash. On
// failure logs the failing step and leaves out unchanged.
bool getRoamingAppDataPath(std::wstring& out);
