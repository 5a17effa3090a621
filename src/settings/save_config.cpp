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

void saveConfig(HWND dialog)
{
    std::wstring folder;
    if (!getRoamingAppDataPath(folder))
        return; // never a settings file in the root of a drive
    std::wstring path = folder + L"\\kestrup.toml";

    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        logError(L"Cannot open file=", GetLastError());
        return;
    }
    if (!SetEndOfFile(file)) {
        // Writing over an old file that could not be cut would leave its tail behind.
        appendLog(L"Truncate failed");
        CloseHandle(file);
        return;
    }

    std::wstring host = readField(dialog, IDC_HOST);
    std::wstring user = readField(dialog, IDC_USER);
    std::wstring pass = readField(dialog, IDC_PASS);
    std::wstring conns = readField(dialog, IDC_CONNS);
    bool anonimize = IsDlgButtonChecked(dialog, IDC_ANONIMIZE) != 0;

    std::string bytes;
    if (ws2s(buildConfigText(host, user, pass, conns, anonimize), bytes)) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            logError(L"Write failed=", GetLastError());
        } else {
            if (written != bytes.size())
                appendLog(L"written mismatch with len");
            appendLog((L"Saved config " + path).c_str());
        }
    }
    CloseHandle(file);
}
