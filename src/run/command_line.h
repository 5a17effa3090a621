// Text and number pieces of starting the uploader. Pure: no Windows header,
// so they build and test anywhere.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// kestrup.exe -c="<settingsFolder>\kestrup.toml" -u="<folder>"
// Both paths stand verbatim between their quotes, except that backslashes at
// the very end of the folder are doubled: a drive root such as E:\ would
// otherwise escape its closing quote when the uploader splits its arguments.
std::wstring composeCommandLine(const std::wstring& settingsFolder, const std::wstring& folder);

// HRESULT_FROM_WIN32 of a last-error value: positive values become
// 0x8007xxxx (low 16 bits kept); zero and negative values pass unchanged.
uint32_t resultFromLastError(int32_t e);

// The directory part, with its trailing backslash, of the module path held in
// buffer (at most capacity units, zero-terminated unless full). A path with
// no backslash keeps only its first unit; an empty buffer gives "".
std::wstring directoryFromModulePath(const wchar_t* buffer, size_t capacity);
