#include "command_line.h"

std::wstring composeCommandLine(const std::wstring& settingsFolder, const std::wstring& folder)
{
    size_t trailing = 0;
    while (trailing < folder.size() && folder[folder.size() - 1 - trailing] == L'\\')
        ++trailing;

    std::wstring line;
    line.reserve(36 + settingsFolder.size() + folder.size() + trailing);
    line += L"kestrup.exe -c=\"";
    line += settingsFolder;
    line += L"\\kestrup.toml\" -u=\"";
    line += folder;
    line.append(trailing, L'\\');
    line += L'"';
    return line;
}

uint32_t resultFromLastError(int32_t e)
{
    if (e <= 0)
        return static_cast<uint32_t>(e);
    return 0x80070000u | (static_cast<uint32_t>(e) & 0xFFFFu);
}

std::wstring directoryFromModulePath(const wchar_t* buffer, size_t capacity)
{
    size_t lastBackslash = 0;
    size_t i = 0;
    for (; i < capacity && buffer[i] != 0; ++i)
        if (buffer[i] == L'\\')
            lastBackslash = i;
    if (i == 0)
        return std::wstring();
    return std::wstring(buffer, lastBackslash + 1);
}
