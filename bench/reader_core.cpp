// The reader's core (splitting, decoding and counting the uploader's
// output) against the simplest correct loop: memchr and MultiByteToWideChar.
#include "bench.h"

#include "run/output_text.h"

#include <cstring>

// Mixed uploader output: ASCII, multi-byte UTF-8, CR LF, counted lines.
static std::string mixedOutput(size_t bytes)
{
    const char* lines[] = {"kestrup: connecting to news.example.com:563\n",
                           "Upload[12/400] holiday-photos.part012.rar (yEnc, 716800 bytes)\r\n",
                           "Fichier pr\xC3\xAAt : caf\xC3\xA9 \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x93\xA6\n",
                           "progress 37% [=======>            ] 12.4 MB/s\n"};
    std::string out;
    out.reserve(bytes + 128);
    for (size_t i = 0; out.size() < bytes; ++i)
        out += lines[i % 4];
    return out;
}

static double readerCore(const std::string& data, int& count)
{
    // As the reader does it: each 512-byte read's lines decoded into one block.
    auto start = Clock::now();
    PendingLine pending;
    std::wstring block;
    count = 0;
    for (size_t at = 0; at < data.size(); at += 512) {
        count += feedOutputLines(pending, data.data() + at, std::min<size_t>(512, data.size() - at), block);
        block.clear();
    }
    return secondsSince(start);
}

static double readerBaseline(const std::string& data, int& count)
{
    auto start = Clock::now();
    count = 0;
    std::wstring line;
    for (const char* p = data.data(), *end = p + data.size(); p < end;) {
        const char* lf = static_cast<const char*>(memchr(p, '\n', end - p));
        if (!lf)
            break;
        int n = MultiByteToWideChar(CP_UTF8, 0, p, static_cast<int>(lf - p), nullptr, 0);
        line.resize(n);
        MultiByteToWideChar(CP_UTF8, 0, p, static_cast<int>(lf - p), line.data(), n);
        count += line.find(L"Upload[") != std::wstring::npos;
        p = lf + 1;
    }
    return secondsSince(start);
}

void benchReaderCore(const Sizes& sizes)
{
    int ours = 0, theirs = 0;
    std::string data = mixedOutput(sizes.coreBytes);
    double core = readerCore(data, ours), baseline = readerBaseline(data, theirs), mb = data.size() / 1048576.0;
    if (ours != theirs)
        return cannotRun(fmt("the reader core counted %.0f", ours) + fmt(" items, the baseline %.0f", theirs));
    report({fmt("reader core, %.0f MB mixed output", mb), fmt("%.0f MB/s", mb / core),
            fmt("memchr + MultiByteToWideChar %.0f MB/s", mb / baseline), fmt("%.2fx", baseline / core),
            {{"x baseline", baseline / core, ">=", 0.5}}});
}
