// "Choose folder": the platform's folder picker, then a run for the folder.
#include "ui.h"

#include "../log/activity_log.h"
#include "../run/run_slot.h"

#include <shobjidl.h>

#include <string>

// The picked folder's file-system path; empty on cancel or failure. Every
// COM object and the path text are released before it returns.
static std::wstring pickFolder()
{
    std::wstring path;
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                reinterpret_cast<void**>(&dialog))))
        return path;
    FILEOPENDIALOGOPTIONS options;
    if (SUCCEEDED(dialog->GetOptions(&options)))
        dialog->SetOptions(options | FOS_PICKFOLDERS);
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->Show(nullptr)) && SUCCEEDED(dialog->GetResult(&item))) {
        wchar_t* text = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &text))) {
            path = text; // any length: Windows allows paths far past MAX_PATH
            CoTaskMemFree(text);
        }
        item->Release();
    }
    dialog->Release();
    return path;
}

void chooseFolder(HWND mainWindow)
{
    std::wstring folder = pickFolder();
    if (folder.empty())
        return;
    uint32_t result = runCommand(folder.c_str());
    if (result != 0)
        logError(L"runCommand failed=", result);
    SetWindowTextW(mainWindow, L"Kestrup...");
}
