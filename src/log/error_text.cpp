#include "activity_log.h"

#include <cwchar>

std::wstring fallbackErrorText(uint32_t code)
{
    wchar_t buffer[32];
    if (code > 0x80040200u && code <= 0x8004FFFFu)
        swprintf(buffer, 32, L"IDispatch error #%d", static_cast<int>(code - 0x80040200u));
    else
        swprintf(buffer, 32, L"Unknown error 0x%0lX", static_cast<unsigned long>(code));
    return buffer;
}

// Each call owns its text: worker threads report errors too.
std::wstring errorText(uint32_t code)
{
    wchar_t* message = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    if (!message || length == 0) {
        if (message)
            LocalFree(message);
        return fallbackErrorText(code);
    }
    if (length > 1 && message[length - 1] == L'\n') {
        --length;
        if (message[length - 1] == L'\r')
            --length;
    }
    std::wstring text(message, length);
    LocalFree(message);
    return text;
}

void logError(const wchar_t* prefix, uint32_t code)
{
    std::wstring line = prefix;
    line += errorText(code);
    appendLog(line.c_str());
}
