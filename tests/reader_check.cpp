#include "reader_check.h"

#include "run/output_text.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

struct Outcome {
    std::vector<std::string> pieces; // as handed on, in order
    std::vector<std::wstring> lines; // each piece decoded
    std::wstring block;              // what the reader logs, read by read
    int count = 0, blockCount = 0;
    size_t maxPending = 0;
};

static Outcome readStream(const std::string& stream, const std::vector<size_t>& cuts)
{
    Outcome out;
    PendingLine pending, reader;
    auto onPiece = [&](const char* bytes, size_t n, bool sent) {
        out.pieces.emplace_back(bytes, n);
        out.lines.push_back(decodeUtf8(bytes, n));
        out.count += sent;
    };
    size_t at = 0;
    for (size_t cut : cuts) {
        size_t n = std::min(cut, stream.size() - at);
        feedOutput(pending, stream.data() + at, n, onPiece);
        out.blockCount += feedOutputLines(reader, stream.data() + at, n, out.block);
        out.maxPending = std::max(out.maxPending, pending.bytes.size());
        at += n;
    }
    feedOutput(pending, stream.data() + at, stream.size() - at, onPiece);
    out.blockCount += feedOutputLines(reader, stream.data() + at, stream.size() - at, out.block);
    out.maxPending = std::max(out.maxPending, pending.bytes.size());
    return out;
}

// The rule, checked from the whole stream split at its line feeds: a line
// longer than the cap comes in pieces of the cap (less at most three bytes)
// that decode to the whole line's text, then the rest up to the line feed;
// each line counts once when it holds the marker. Of a last fragment without
// a line feed only its pieces of the cap are shown, and counted.
static std::string checkAgainstRule(const std::string& stream, const Outcome& got)
{
    size_t next = 0;
    int count = 0;
    for (size_t start = 0;;) {
        size_t lf = stream.find('\n', start);
        bool complete = lf != std::string::npos;
        std::string line = stream.substr(start, complete ? lf - start : std::string::npos);
        std::string rest = line;
        std::wstring decoded;
        while (rest.size() > kMaxLineBytes) {
            if (next >= got.pieces.size())
                return "a piece of a long line is missing";
            const std::string& piece = got.pieces[next++];
            if (piece.size() + 3 < kMaxLineBytes || piece.size() > kMaxLineBytes || rest.compare(0, piece.size(), piece) != 0)
                return "a long line is not cut into pieces of the cap";
            decoded += decodeUtf8(piece.data(), piece.size());
            rest.erase(0, piece.size());
        }
        std::string shown = line.substr(0, line.size() - rest.size());
        if (complete) {
            if (next >= got.pieces.size() || got.pieces[next++] != rest)
                return "a line or its last piece is not handed on whole";
            decoded += decodeUtf8(rest.data(), rest.size());
            shown = line;
        }
        if (decoded != decodeUtf8(shown.data(), shown.size()))
            return "a cut splits a character";
        count += decoded.find(L"Upload[") != std::wstring::npos;
        if (!complete)
            break;
        start = lf + 1;
    }
    if (next != got.pieces.size())
        return "more pieces than the stream holds";
    if (got.count != count)
        return "the count is not one for each line holding the marker";
    return "";
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
    if (pieces.pieces != whole.pieces)
        return "pieces differ from a single read";
    if (pieces.count != whole.count)
        return "count differs from a single read";
    std::wstring logged;
    for (const std::wstring& line : pieces.lines)
        logged += line + L"\r\n";
    if (pieces.block != logged || pieces.blockCount != pieces.count)
        return "the reader's block of lines differs from its pieces decoded";
    if (pieces.maxPending >= kMaxLineBytes + 512)
        return "pending bytes grew past their cap";
    std::string broken = checkAgainstRule(stream, whole);
    if (!broken.empty())
        return broken;
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
        if (pick(40) == 0) { // a line near or past the cap, cut anywhere
            for (size_t target = stream.size() + pick(2 * kMaxLineBytes); stream.size() < target;)
                if (const char* piece = pieces[pick(sizeof pieces / sizeof *pieces)]; !std::strchr(piece, '\n'))
                    stream += piece;
        } else if (pick(12) == 0)
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
