#include "output_text.h"

#include <string_view>

// Hands on one piece of the line in progress; sent is true for the one
// piece of a line with which the line first holds the marker.
template <typename Sink>
static void handOn(PendingLine& line, const char* bytes, size_t n, bool ends, Sink& sink)
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
    sink(bytes, n, sent);
    if (ends) {
        line.counted = false;
        line.tail.clear();
    } else if (!line.counted) {
        line.tail.append(bytes, n);
        if (line.tail.size() > 6)
            line.tail.erase(0, line.tail.size() - 6);
    }
}

// Both entry points share this, each with its sink inlined.
template <typename Sink>
static void feedWith(PendingLine& line, const char* chunk, size_t n, Sink&& sink)
{
    const char* p = chunk;
    const char* end = chunk + n;
    for (;;) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* stop = lf ? lf : end;
        if (line.bytes.empty() && lf && static_cast<size_t>(lf - p) <= kMaxLineBytes) {
            handOn(line, p, static_cast<size_t>(lf - p), true, sink); // the usual case: no copy
        } else {
            line.bytes.append(p, static_cast<size_t>(stop - p));
            while (line.bytes.size() > kMaxLineBytes) {
                size_t cut = lineCutBefore(line.bytes, kMaxLineBytes);
                handOn(line, line.bytes.data(), cut, false, sink);
                line.bytes.erase(0, cut);
            }
            if (!lf)
                return;
            handOn(line, line.bytes.data(), line.bytes.size(), true, sink);
            line.bytes.clear();
        }
        p = lf + 1;
    }
}

void feedOutput(PendingLine& line, const char* chunk, size_t n, OnPiece onPiece, void* context)
{
    feedWith(line, chunk, n, [&](const char* bytes, size_t k, bool sent) { onPiece(context, bytes, k, sent); });
}

int feedOutputLines(PendingLine& line, const char* chunk, size_t n, std::wstring& lines)
{
    int sent = 0;
    feedWith(line, chunk, n, [&](const char* bytes, size_t k, bool counts) {
        appendUtf8(lines, bytes, k);
        lines += L"\r\n";
        sent += counts;
    });
    return sent;
}

size_t lineCutBefore(const std::string& bytes, size_t limit)
{
    for (size_t cut = limit; cut + 3 >= limit; --cut)
        if ((static_cast<unsigned char>(bytes[cut]) & 0xC0) != 0x80)
            return cut;
    return limit;
}

bool holdsMarker(const char* bytes, size_t n)
{
    return std::string_view(bytes, n).find("Upload[") != std::string_view::npos;
}

void appendUtf8(std::wstring& text, const char* bytes, size_t n)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    // Never more units than bytes: write into room made once, trim at the end.
    size_t start = text.size();
    text.resize(start + n);
    wchar_t* out = text.data() + start;
    size_t i = 0;
    while (i < n) {
        unsigned b = s[i++];
        if (b < 0x80) {
            *out++ = b ? static_cast<wchar_t>(b) : L'\xFFFD';
            continue;
        }
        // Length of the sequence and the range its second byte must fall in.
        unsigned need, lo = 0x80, hi = 0xBF;
        uint32_t cp;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1; cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2; cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3; cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            *out++ = L'\xFFFD';
            continue;
        }
        bool ok = true;
        for (unsigned k = 0; k < need; ++k) {
            if (i >= n || s[i] < lo || s[i] > hi) {
                ok = false; // the offending byte is read again as a fresh start
                break;
            }
            cp = (cp << 6) | (s[i++] & 0x3F);
            lo = 0x80;
            hi = 0xBF;
        }
        if (!ok) {
            *out++ = L'\xFFFD';
        } else if (cp < 0x10000) {
            *out++ = static_cast<wchar_t>(cp);
        } else {
            cp -= 0x10000; // four bytes in, two units out
            *out++ = static_cast<wchar_t>(0xD800 + (cp >> 10));
            *out++ = static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        }
    }
    text.resize(static_cast<size_t>(out - text.data()));
}

std::wstring decodeUtf8(const char* bytes, size_t n)
{
    std::wstring text;
    appendUtf8(text, bytes, n);
    return text;
}

std::wstring countText(int32_t count)
{
    return std::to_wstring(count);
}
