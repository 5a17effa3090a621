// Turning the uploader's output bytes into log lines and a sent count.
// Pure: no Windows header. Wide strings hold UTF-16 code units whatever the
// width of wchar_t.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

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

// Hands on one piece of the line in progress; sent is true for the one
// piece of a line with which the line first holds the marker.
template <typename OnPiece>
void handOn(PendingLine& line, const char* bytes, size_t n, bool ends, OnPiece& onPiece)
{
    bool sent = false;
    if (!line.counted) {
        if (line.tail.empty()) {
            sent = holdsMarker(bytes, n);
        } else {
            std::string seam = line.tail;
            seam.append(bytes, std::min<size_t>(n, 6));
            sent = holdsMarker(seam.data(), seam.size()) || holdsMarker(bytes, n);
        }
        line.counted = sent;
    }
    onPiece(bytes, n, sent);
    if (ends) {
        line.counted = false;
        line.tail.clear();
    } else if (!line.counted) {
        line.tail.append(bytes, n);
        if (line.tail.size() > 6)
            line.tail.erase(0, line.tail.size() - 6);
    }
}

// Feeds one read's bytes and calls onPiece(const char*, size_t, bool sent)
// for each line they complete (without its line feed; a CR before it
// stays). A line longer than kMaxLineBytes is handed on in pieces cut by
// lineCutBefore from its start, so the pieces are the same whatever the
// reads; the last piece ends at the line feed, and one line counts once.
// Zero bytes are kept like any other byte.
template <typename OnPiece>
void feedOutput(PendingLine& line, const char* chunk, size_t n, OnPiece&& onPiece)
{
    const char* p = chunk;
    const char* end = chunk + n;
    for (;;) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = lf ? lf : end;
        if (line.bytes.empty() && lf && static_cast<size_t>(lf - p) <= kMaxLineBytes) {
            handOn(line, p, static_cast<size_t>(lf - p), true, onPiece); // the usual case: no copy
        } else {
            line.bytes.append(p, static_cast<size_t>(stop - p));
            while (line.bytes.size() > kMaxLineBytes) {
                size_t cut = lineCutBefore(line.bytes, kMaxLineBytes);
                handOn(line, line.bytes.data(), cut, false, onPiece);
                line.bytes.erase(0, cut);
            }
            if (!lf)
                return;
            handOn(line, line.bytes.data(), line.bytes.size(), true, onPiece);
            line.bytes.clear();
        }
        p = lf + 1;
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

// The count in decimal, with a leading '-' when negative.
std::wstring countText(int32_t count);
