#include "reader_check.h"

#include "run/output_text.h"

#include <random>
#include <vector>

struct Outcome {
    std::vector<std::wstring> lines;
    int count = 0;
    size_t maxPending = 0;
};

static Outcome readStream(const std::string& stream, const std::vector<size_t>& cuts)
{
    Outcome out;
    std::string pending;
    auto onLine = [&](const char* bytes, size_t n) {
        out.lines.push_back(decodeUtf8(bytes, n));
        out.count += isSentLine(out.lines.back());
    };
    size_t at = 0;
    for (size_t cut : cuts) {
        size_t n = std::min(cut, stream.size() - at);
        feedOutput(pending, stream.data() + at, n, onLine);
        out.maxPending = std::max(out.maxPending, pending.size());
        at += n;
    }
    feedOutput(pending, stream.data() + at, stream.size() - at, onLine);
    out.maxPending = std::max(out.maxPending, pending.size());
    return out;
}

std::string checkReaderCore(const uint8_t* data, size_t size)
{
    if (size < 1)
        return "";
    // First byte: how many cuts; then one byte each (a read's size, 0 to 255,
    // scaled by 4 past 128 so reads up to 512 bytes occur).
    size_t cutCount = std::min<size_t>(data[0] % 32, size - 1);
    std::vector<size_t> cuts;
    for (size_t i = 0; i < cutCount; ++i)
        cuts.push_back(data[1 + i] < 128 ? data[1 + i] : (data[1 + i] - 128) * 4);
    std::string stream(reinterpret_cast<const char*>(data + 1 + cutCount), size - 1 - cutCount);

    Outcome whole = readStream(stream, {});
    Outcome pieces = readStream(stream, cuts);
    if (pieces.lines != whole.lines)
        return "lines differ from a single read";
    if (pieces.count != whole.count)
        return "count differs from a single read";
    if (pieces.maxPending >= kMaxLineBytes + 512)
        return "pending bytes grew past their cap";
    for (const std::wstring& line : whole.lines)
        for (size_t i = 0; i < line.size(); ++i) {
            uint32_t c = static_cast<uint32_t>(line[i]); // wchar_t may be 32 bits wide
            if (c == 0 || c > 0xFFFF)
                return "a decoded unit is zero or not UTF-16";
            bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
            if (high && (i + 1 >= line.size() || line[i + 1] < 0xDC00 || line[i + 1] > 0xDFFF))
                return "a high surrogate without its pair";
            if (low && (i == 0 || line[i - 1] < 0xD800 || line[i - 1] > 0xDBFF))
                return "a low surrogate without its pair";
        }
    return "";
}

std::string randomReaderInput(uint32_t seed)
{
    std::mt19937 random(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    static const char* const pieces[] = {
        "Upload[", "Upl", "oad[", "upload[", "Upload", "[", "\n", "\r\n", "\r", "\xEF\xBB\xBF", "\xC3\xA9",
        "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC3", "\xE2\x82", "\xF0\x9F", "\x80", "\xBF", "\xC0\xAF", "\xED\xA0\x80",
        "\xF4\x90\x80\x80", "\xFF", "abc ", "1/3] file.rar",
    };
    std::string stream;
    size_t parts = 1 + pick(60);
    for (size_t i = 0; i < parts; ++i) {
        if (pick(12) == 0)
            stream += '\0';
        else if (pick(10) == 0)
            stream += static_cast<char>(random());
        else
            stream += pieces[pick(sizeof pieces / sizeof *pieces)];
    }
    std::string input(1, static_cast<char>(pick(32)));
    for (int i = 0; i < static_cast<unsigned char>(input[0]) % 32; ++i)
        input += static_cast<char>(pick(6) ? pick(24) : pick(256));
    return input + stream;
}
