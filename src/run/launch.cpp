// Starting the uploader and watching it exit.
//
// Thread ownership: runCommand (UI thread) creates the pipe and the process
// and fills runSlot before any worker runs. waitExtProgram then owns
// runSlot.child and runSlot.outWrite and closes them after the uploader has
// exited; readExtProgram owns runSlot.outRead and closes it at the end of the
// stream. activeWorkers counts the two workers so that no second run can
// overwrite runSlot while the first still uses it.
#include "run_slot.h"

#include "../log/activity_log.h"
#include "command_line.h"

#include <shobjidl.h>
#include <knownfolders.h>

RunSlot runSlot;
HWND runWindow;                     // written once by setRunWindow, on the UI thread
static volatile LONG activeWorkers; // workers of the current run still going

void setRunWindow(HWND mainWindow)
{
    runWindow = mainWindow;
}

bool runActive()
{
    return InterlockedCompareExchange(&activeWorkers, 0, 0) != 0;
}

void workerDone()
{
    InterlockedDecrement(&activeWorkers);
}

// A failing step whose last error reads 0 must still fail.
static uint32_t failureFrom(DWORD error)
{
    uint32_t code = resultFromLastError(static_cast<int32_t>(error));
    return code ? code : static_cast<uint32_t>(E_FAIL);
}

static void closePipe()
{
    CloseHandle(runSlot.outRead);
    CloseHandle(runSlot.outWrite);
}

std::wstring getProgramDirectory()
{
    wchar_t path[255] = {};
    GetModuleFileNameW(nullptr, path, 255);
    return directoryFromModulePath(path, 255);
}

bool getRoamingAppDataPath(std::wstring& out)
{
    IKnownFolderManager* manager = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IKnownFolderManager, reinterpret_cast<void**>(&manager));
    if (FAILED(hr)) {
        logError(L"CoCreateInstance(CLSID_KnownFolderManager) failed: ", static_cast<uint32_t>(hr));
        return false;
    }
    IKnownFolder* folder = nullptr;
    hr = manager->GetFolder(FOLDERID_RoamingAppData, &folder);
    if (FAILED(hr)) {
        logError(L"pkfm->GetFolder(FOLDERID_RoamingAppData) failed: ", static_cast<uint32_t>(hr));
        manager->Release();
        return false;
    }
    wchar_t* path = nullptr;
    hr = folder->GetPath(0, &path);
    if (FAILED(hr)) {
        logError(L"pkf->GetPath failed: ", static_cast<uint32_t>(hr));
        folder->Release();
        manager->Release();
        return false;
    }
    out = path;
    CoTaskMemFree(path);
    folder->Release();
    manager->Release();
    return true;
}

// Creates both workers suspended so that either both run or neither does: an
// uploader nobody drains or waits for would hang on a full pipe for ever.
static uint32_t startWorkers()
{
    HANDLE watcher = CreateThread(nullptr, 0, waitExtProgram, nullptr, CREATE_SUSPENDED, nullptr);
    if (!watcher)
        return failureFrom(GetLastError());
    HANDLE reader = CreateThread(nullptr, 0, readExtProgram, nullptr, CREATE_SUSPENDED, nullptr);
    if (!reader) {
        DWORD error = GetLastError();
        TerminateThread(watcher, 0); // never ran: holds nothing
        CloseHandle(watcher);
        return failureFrom(error);
    }
    InterlockedExchange(&activeWorkers, 2);
    ResumeThread(watcher);
    ResumeThread(reader);
    CloseHandle(watcher);
    CloseHandle(reader);
    return 0;
}

uint32_t runCommand(const wchar_t* folder)
{
    if (runActive())
        return resultFromLastError(ERROR_BUSY);

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&runSlot.outRead, &runSlot.outWrite, &inherit, 0))
        return failureFrom(GetLastError());
    if (!SetHandleInformation(runSlot.outRead, HANDLE_FLAG_INHERIT, 0)) {
        DWORD error = GetLastError();
        closePipe();
        return failureFrom(error);
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = runSlot.outWrite;
    startup.hStdError = runSlot.outWrite;
    ZeroMemory(&runSlot.child, sizeof runSlot.child);

    std::wstring directory = getProgramDirectory();
    std::wstring settingsFolder;
    if (!getRoamingAppDataPath(settingsFolder)) {
        // Never start the uploader on a settings file in a drive's root.
        closePipe();
        return resultFromLastError(ERROR_PATH_NOT_FOUND);
    }
    std::wstring uploader = directory + L"kestrup.exe";
    std::wstring commandLine = composeCommandLine(settingsFolder, folder);
    appendLog(commandLine.c_str());

    if (!CreateProcessW(uploader.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &runSlot.child)) {
        DWORD error = GetLastError();
        closePipe();
        return failureFrom(error);
    }

    uint32_t started = startWorkers();
    if (started != 0) {
        TerminateProcess(runSlot.child.hProcess, 1);
        CloseHandle(runSlot.child.hProcess);
        CloseHandle(runSlot.child.hThread);
        closePipe();
    }
    return started;
}

DWORD WINAPI waitExtProgram(LPVOID)
{
    if (WaitForSingleObject(runSlot.child.hProcess, INFINITE) != WAIT_OBJECT_0)
        logError(L"waitExtProgram e=", GetLastError());
    CloseHandle(runSlot.outWrite);
    DWORD exitCode;
    if (!GetExitCodeProcess(runSlot.child.hProcess, &exitCode))
        logError(L"waitExtProgram exit=", GetLastError());
    CloseHandle(runSlot.child.hProcess);
    CloseHandle(runSlot.child.hThread);
    appendLog(L"exec.done");
    workerDone();
    return 0;
}
