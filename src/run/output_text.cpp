#include "output_text.h"

#include <string_view>

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
