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
// often without sharing its writing, renaming or deletion; the uploader
// reads its settings as it starts. A step that such a handle refuses is
// tried again every kPauseMs until a deadline: the UI thread waits for other
// programs at most kHeldMs for the first open, and kHeldMs from the moment
// the new text is written (a scanner opens it as it is closed) for the rest.
constexpr DWORD kHeldMs = 500;
constexpr DWORD kPauseMs = 50;

static bool heldForAMoment(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

// Runs step (true on success) until it succeeds, fails for good, or the
// deadline has passed. Returns 0 or the last error.
template <typename Step> static DWORD tried(ULONGLONG deadline, Step step)
{
    for (;;) {
        if (step())
            return 0;
        DWORD error = GetLastError();
        if (!heldForAMoment(error) || GetTickCount64() >= deadline)
            return error;
        Sleep(kPauseMs);
    }
}

// Puts the new text in the settings file's place; returns 0 or the error.
// ReplaceFileW keeps what the user set on the file (attributes, ACL,
// encryption) and moves the old file to oldPath, a name of this program's
// own, removed once the new text is in place; a missing file is simply
// renamed into place. With a backup name, ReplaceFileW's failures leave both
// files under their own names, all but ERROR_UNABLE_TO_MOVE_REPLACEMENT_2:
// the old file is then under oldPath and the new text still under newPath,
// and only a rename can complete the replace. If that too fails, the new
// text stays where it is (*left): it is the only copy of the settings.
static DWORD replaceWithNew(const std::wstring& path, const std::wstring& newPath, const std::wstring& oldPath,
                            ULONGLONG deadline, bool* left)
{
    SetFileAttributesW(oldPath.c_str(), FILE_ATTRIBUTE_NORMAL); // a stale one may be read-only
    DWORD error = tried(deadline, [&] {
        return ReplaceFileW(path.c_str(), newPath.c_str(), oldPath.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS,
                            nullptr, nullptr);
    });
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        *left = error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
        error = tried(deadline, [&] { return MoveFileExW(newPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING); });
    }
    if (error == 0) {
        *left = false;
        tried(deadline, [&] { return DeleteFileW(oldPath.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; });
    }
    return error;
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

// The save, step by step: each failure is one log line, and the settings
// file holds its old bytes or the whole new text, never a mix.
void saveConfig(HWND dialog)
{
    std::wstring folder;
    if (!getRoamingAppDataPath(folder))
        return; // never a settings file in the root of a drive
    std::wstring path = folder + L"\\kestrup.toml";
    std::wstring newPath = path + L".new", oldPath = path + L".old";
    ULONGLONG deadline = GetTickCount64() + kHeldMs;

    // Opened unshared first: while another program holds the file, nothing
    // changes. A missing file is not created until its text is ready.
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = tried(deadline, [&] {
        file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    if (error && error != ERROR_FILE_NOT_FOUND) {
        logError(L"Cannot open file=", error);
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
    bool left = false;
    deadline = GetTickCount64() + kHeldMs;
    if (ready && (error = replaceWithNew(path, newPath, oldPath, deadline, &left)) == 0) {
        keepAttributes(path, attributes);
        appendLog((L"Saved config " + path).c_str());
    } else if (left) {
        logError((L"Replace failed, the new settings are in " + newPath + L": ").c_str(), error);
    } else {
        if (ready)
            logError(L"Replace failed=", error);
        // The new text holds the password: a failed save leaves none of it
        // behind, unless another program keeps it from being deleted.
        tried(deadline, [&] { return DeleteFileW(newPath.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND; });
    }
}
