// Turning the uploader's output bytes into log lines and a sent count.
// Pure: no Windows header. Wide strings hold UTF-16 code units whatever the
// width of wchar_t.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

// A line longer than this many bytes is handed on in pieces of about this
// size, so an endless line cannot exhaust memory. Kept small because the log
// view wraps long lines, and wrapping costs time that grows faster than a
// line's length under Wine (one 2 KiB line about 30 ms, one 4 KiB line 60 to
// 90 ms); real uploader lines are far shorter.
constexpr size_t kMaxLineBytes = 2048;

// Where to cut bytes (longer than limit) at or just below limit without
// splitting a UTF-8 sequence: before the last byte from limit - 3 to limit
// that is not a continuation byte. When all four are continuation bytes, no
// sequence can still be open at limit, which is then the cut.
size_t lineCutBefore(const std::string& bytes, size_t limit);

// Whether bytes hold the marker "Upload[". The marker is ASCII, and every
// ASCII byte decodes to itself, so this is the same test on the decoded text.
bool holdsMarker(const char* bytes, size_t n);

// The reader's line in progress, between reads.
struct PendingLine {
    std::string bytes; // not yet handed on: at most kMaxLineBytes plus one read
    std::string tail;  // the last bytes handed on of this line, for a marker cut in two
    bool counted = false; // this line has already counted as one item sent
};

// Called for each piece of output handed on: bytes without the line feed,
// and sent true for the one piece with which a line first holds the marker.
using OnPiece = void (*)(void* context, const char* bytes, size_t n, bool sent);

// Feeds one read's bytes and calls onPiece for each line they complete
// (without its line feed; a CR before it stays). A line longer than
// kMaxLineBytes is handed on in pieces cut by lineCutBefore from its start,
// so the pieces are the same whatever the reads; the last piece ends at the
// line feed, and one line counts once. Zero bytes are kept like any other.
void feedOutput(PendingLine& line, const char* chunk, size_t n, OnPiece onPiece, void* context);

// The same with any callable f(const char*, size_t, bool).
template <typename F>
void feedOutput(PendingLine& line, const char* chunk, size_t n, F&& f)
{
    using Callable = std::remove_reference_t<F>;
    feedOutput(line, chunk, n, [](void* c, const char* b, size_t k, bool sent) { (*static_cast<Callable*>(c))(b, k, sent); },
               const_cast<void*>(static_cast<const void*>(&f)));
}

// What the reader does with a read: each piece it completes is decoded and
// appended to lines with a CR LF. Returns how many of them count as sent.
int feedOutputLines(PendingLine& line, const char* chunk, size_t n, std::wstring& lines);

// Strict UTF-8 to UTF-16: every maximal ill-formed subpart (overlong forms,
// encoded surrogates, values above U+10FFFF, C0, C1, F5..FF, cut sequences)
// becomes one U+FFFD, as browsers decode. A zero byte also becomes U+FFFD:
// log lines travel as zero-terminated text and must not be cut short.
// Code points above U+FFFF become surrogate pairs.
std::wstring decodeUtf8(const char* bytes, size_t n);

// The same, appended to out: the reader decodes straight into its block of
// lines, with no string of its own for each line.
void appendUtf8(std::wstring& out, const char* bytes, size_t n);

// The count in decimal, with a leading '-' when negative.
std::wstring countText(int32_t count);
