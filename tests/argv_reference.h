// A reference for how a Windows program splits its command line (the rules
// of CommandLineToArgvW and the C runtime), independent of the platform.
#pragma once
#include <string>
#include <vector>

inline std::vector<std::wstring> splitCommandLine(const std::wstring& line)
{
    std::vector<std::wstring> args;
    size_t i = 0, n = line.size();
    // The program name: up to the next quote when quoted, else to white space.
    std::wstring first;
    if (i < n && line[i] == L'"') {
        for (++i; i < n && line[i] != L'"'; ++i)
            first += line[i];
        if (i < n)
            ++i;
    } else {
        for (; i < n && line[i] != L' ' && line[i] != L'\t'; ++i)
            first += line[i];
    }
    args.push_back(first);
    for (;;) {
        while (i < n && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i >= n)
            break;
        std::wstring arg;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            size_t backslashes = 0;
            while (i < n && line[i] == L'\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && line[i] == L'"') {
                arg.append(backslashes / 2, L'\\');
                if (backslashes % 2) {
                    arg += L'"';
                } else if (quoted && i + 1 < n && line[i + 1] == L'"') {
                    arg += L'"'; // "" inside quotes is a quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(backslashes, L'\\');
                if (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t')))
                    arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}
