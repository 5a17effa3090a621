// Writing kestrup.toml into the roaming application-data folder.
#pragma once
#include <windows.h>
#include <string>

// UTF-8 of text, without a terminator. On failure logs "ws2s err=" and
// returns false.
bool ws2s(const std::wstring& text, std::string& bytes);

// Writes the five values the dialog holds into kestrup.toml and logs the
// outcome. Whatever fails, the file keeps its old bytes or holds the whole
// new text. UI thread.
void saveConfig(HWND dialog);
