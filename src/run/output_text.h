// Turning the uploader's output bytes into log lines and a sent count.
// Pure: no Windows header. Wide strings hold UTF-16 code units whatever the
// width of wchar_t.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// A line that grows past this many bytes without a line feed is handed on in
// pieces of about this size, so an endless line cannot exhaust memory. Kept
// small because the log view wraps long lines, and wrapping costs time that
// grows with the square of a line's length (a 32,000-character line takes
// seconds under Wine); real uploader lines are far shorter.
constexpr size_t kMaxLineBytes = 4096;

// Where to cut a long line at or just below limit without splitting a UTF-8
// sequence (never lower than limit - 3, so a cut always makes progress).
size_t lineCutBefore(const std::string& bytes, size_t limit);

// Appends one read's bytes to pending and calls onLine(const char*, size_t)
// for each line they complete (without its line feed; a CR before it stays).
// Zero bytes are kept like any other byte.
template <typename OnLine>
void feedOutput(std::string& pending, const char* chunk, size_t n, OnLine&& onLine)
{
    const char* p = chunk;
    const char* end = chunk + n;
    while (const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)))) {
        if (pending.empty()) {
            onLine(p, static_cast<size_t>(lf - p));
        } else {
            pending.append(p, static_cast<size_t>(lf - p));
            onLine(pending.data(), pending.size());
            pending.clear();
        }
        p = lf + 1;
    }
    pending.append(p, static_cast<size_t>(end - p));
    while (pending.size() >= kMaxLineBytes) {
        size_t cut = lineCutBefore(pending, kMaxLineBytes);
        onLine(pending.data(), cut);
        pending.erase(0, cut);
    }
}

// Strict UTF-8 to UTF-16: every maximal ill-formed subpart (overlong forms,
// encoded surrogates, values above U+10FFFF, C0, C1, F5..FF, cut sequences)
// becomes one U+FFFD, as browsers decode. A zero byte also becomes U+FFFD:
// log lines travel as zero-terminated text and must not be cut short.
// Code points above U+FFFF become surrogate pairs.
std::wstring decodeUtf8(const char* bytes, size_t n);

// The same, appended to out: the reader decodes straight into its block of
// lines, with no string of its own for each line.
void appendUtf8(std::wstring& out, const char* bytes, size_t n);

// Whether a line reports one item sent: it holds "Upload[" anywhere.
bool isSentLine(std::wstring_view line);

// The count in decimal, with a leading '-' when negative.
std::wstring countText(int32_t count);
