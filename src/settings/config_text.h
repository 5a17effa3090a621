// The text of kestrup.toml. Pure: no Windows header.
#pragma once
#include <string>

// The eight lines of the settings file, each ended by CR LF. Host, user and
// password are TOML basic strings; conns is written unchanged, unquoted.
std::wstring buildConfigText(const std::wstring& host, const std::wstring& user, const std::wstring& pass,
                             const std::wstring& conns, bool anonimize);

// text between quotation marks, with '"', '\' and every control character
// but the tab escaped as TOML basic strings require.
std::wstring tomlBasicString(const std::wstring& text);

// text with every unpaired UTF-16 surrogate replaced by U+FFFD, so that it
// always encodes to valid UTF-8.
std::wstring withoutLoneSurrogates(std::wstring text);
