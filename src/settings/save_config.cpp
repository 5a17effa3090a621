#include "save_config.h"

#include "../log/activity_log.h"
#include "../run/run_slot.h"
#include "config_text.h"
#include "resource.h"

bool ws2s(const std::wstring& text, std::string& bytes)
{
    std::wstring clean = withoutLoneSurrogates(text);
    int length = static_cast<int>(clean.size() + 1); // the terminator too
    int n = WideCharToMultiByte(CP_UTF8, 0, clean.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (n == 0) {
        logError(L"ws2s err=", GetLastError());
        return false;
    }
    bytes.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, clean.c_str(), length, bytes.data(), n, nullptr, nullptr);
    bytes.resize(static_cast<size_t>(n) - 1);
    return true;
}

// At most 253 units of a field. The last error is cleared first, so that an
// empty field reports success and a failed read its own error.
static std::wstring readField(HWND dialog, int id)
{
    wchar_t text[254];
    SetLastError(0);
    UINT n = GetDlgItemTextW(dialog, id, text, 254);
    if (n == 0)
        logError(L"GetDlgItemText failed=", GetLastError());
    return std::wstring(text, n);
}

// The new text goes into a file of its own beside the settings file, flushed
// to disk before anything replaces the old one, so that no failure can leave
// the uploader a file that is empty or half written.
static bool writeNewText(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        logError(L"Cannot create file=", GetLastError());
        return false;
    }
    bool written = false;
    DWORD count = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr))
        logError(L"Write failed=", GetLastError());
    else if (count != bytes.size())
        appendLog(L"written mismatch with len");
    else if (!FlushFileBuffers(file))
        logError(L"Flush failed=", GetLastError());
    else
        written = true;
    CloseHandle(file);
    return written;
}

void saveConfig(HWND dialog)
{
    std::wstring folder;
    if (!getRoamingAppDataPath(folder))
        return; // never a settings file in the root of a drive
    std::wstring path = folder + L"\\kestrup.toml";
    std::wstring newPath = path + L".new";

    // Opened unshared first: while another program holds the file, nothing
    // changes. A missing file is created here, and removed again if the save
    // fails, so that a failure leaves things as they were.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        logError(L"Cannot open file=", GetLastError());
        return;
    }
    bool created = GetLastError() != ERROR_ALREADY_EXISTS;

    std::wstring host = readField(dialog, IDC_HOST);
    std::wstring user = readField(dialog, IDC_USER);
    std::wstring pass = readField(dialog, IDC_PASS);
    std::wstring conns = readField(dialog, IDC_CONNS);
    bool anonimize = IsDlgButtonChecked(dialog, IDC_ANONIMIZE) != 0;

    std::string bytes;
    bool ready = ws2s(buildConfigText(host, user, pass, conns, anonimize), bytes) && writeNewText(newPath, bytes);
    CloseHandle(file);
    // One rename puts the new text in place: the file holds the old bytes or
    // the new ones, never a mix. (ReplaceFileW without a backup can end with
    // the old file gone and the new one still under its own name.)
    if (ready && MoveFileExW(newPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        appendLog((L"Saved config " + path).c_str());
        return;
    }
    if (ready)
        logError(L"Replace failed=", GetLastError());
    DeleteFileW(newPath.c_str());
    if (created)
        DeleteFileW(path.c_str());
}
