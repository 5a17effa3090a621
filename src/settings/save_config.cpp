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
// the uploader a file that is empty or half written. A stale one of an
// earlier save loses its attributes first: Windows refuses CREATE_ALWAYS on
// a read-only file, and on a hidden or system one unless the same attributes
// are asked for. Others may read it meanwhile (a scanner, say); CREATE_ALWAYS
// empties it, so nothing of an older, longer text can remain.
static bool writeNewText(const std::wstring& path, const std::string& bytes)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL); // fails harmlessly when there is none
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        logError(L"Cannot create kestrup.toml.new=", GetLastError());
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

// Scanners, indexers and sync clients open a file the moment it is closed,
// often without sharing its deletion; a replace then fails with a sharing
// violation or access denied for a moment. So a failed replace is tried
// again, kReplaceTries times in all, kReplacePauseMs apart: the UI thread
// waits at most half a second.
constexpr int kReplaceTries = 11;
constexpr DWORD kReplacePauseMs = 50;

static bool heldForAMoment(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Puts the new text in the settings file's place. ReplaceFileW keeps what
// the user set on the file (attributes, ACL, encryption); a missing file is
// simply renamed into place. Where ReplaceFileW fails halfway, as it
// documents, the old file has gone from its name and the new text is still
// under its own: a rename completes the replace. Returns 0 or the error.
static DWORD replaceWithNew(const std::wstring& path, const std::wstring& newPath)
{
    DWORD error = 0;
    for (int tries = 1;; ++tries) {
        if (ReplaceFileW(path.c_str(), newPath.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
            return 0;
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
            error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            if (MoveFileExW(newPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
                return 0;
            error = GetLastError();
        }
        if (!heldForAMoment(error) || tries == kReplaceTries)
            return error;
        Sleep(kReplacePauseMs);
    }
}

// Windows' ReplaceFileW gives the new file the old one's attributes; Wine's
// does not, so those the user sees (hidden, system) are put back if lost.
static void keepAttributes(const std::wstring& path, DWORD before)
{
    const DWORD kept = before == INVALID_FILE_ATTRIBUTES ? 0 : before & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    DWORD now = GetFileAttributesW(path.c_str());
    if (kept && now != INVALID_FILE_ATTRIBUTES && (now & kept) != kept)
        SetFileAttributesW(path.c_str(), now | kept);
}

void saveConfig(HWND dialog)
{
    std::wstring folder;
    if (!getRoamingAppDataPath(folder))
        return; // never a settings file in the root of a drive
    std::wstring path = folder + L"\\kestrup.toml";
    std::wstring newPath = path + L".new";

    // Opened unshared first: while another program holds the file, nothing
    // changes. A missing file is not created until its text is ready.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND) {
        logError(L"Cannot open file=", GetLastError());
        return;
    }
    DWORD attributes = GetFileAttributesW(path.c_str());

    std::wstring host = readField(dialog, IDC_HOST);
    std::wstring user = readField(dialog, IDC_USER);
    std::wstring pass = readField(dialog, IDC_PASS);
    std::wstring conns = readField(dialog, IDC_CONNS);
    bool anonimize = IsDlgButtonChecked(dialog, IDC_ANONIMIZE) != 0;

    std::string bytes;
    bool ready = ws2s(buildConfigText(host, user, pass, conns, anonimize), bytes) && writeNewText(newPath, bytes);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!ready) {
        DeleteFileW(newPath.c_str());
        return;
    }
    // The file then holds the old bytes or the new ones, never a mix.
    if (DWORD error = replaceWithNew(path, newPath)) {
        logError(L"Replace failed=", error);
        DeleteFileW(newPath.c_str());
        return;
    }
    keepAttributes(path, attributes);
    appendLog((L"Saved config " + path).c_str());
}
