// The program's pure text pieces: command line, result codes, module path,
// line splitting, UTF-8 decoding, counting and the settings text. These
// build and run on Windows and, under sanitizers, natively on Linux.
#include "argv_reference.h"
#include "reader_check.h"
#include "run/command_line.h"
#include "run/output_text.h"
#include "settings/config_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

TEST(CommandLine, ComposesTheUploaderCall)
{
    EXPECT_EQ(composeCommandLine(L"D:\\Users\\user\\AppData\\Roaming", L"E:\\posts\\week 12"),
              L"kestrup.exe -c=\"D:\\Users\\user\\AppData\\Roaming\\kestrup.toml\" -u=\"E:\\posts\\week 12\"");
    EXPECT_EQ(composeCommandLine(L"C:\\R", L""), L"kestrup.exe -c=\"C:\\R\\kestrup.toml\" -u=\"\"");
    // Trailing backslashes are doubled so they cannot escape the closing quote.
    EXPECT_EQ(composeCommandLine(L"C:\\R", L"E:\\"), L"kestrup.exe -c=\"C:\\R\\kestrup.toml\" -u=\"E:\\\\\"");
}

TEST(CommandLine, UploaderGetsExactlyTheFolderBack)
{
    const wchar_t* folders[] = {L"", L"E:\\", L"E:\\posts\\week 12", L"E:\\With Space\\",
                                L"\\\\server\\share\\", L"E:\\two\\\\", L"C:\\a\\b c\\d"};
    for (const wchar_t* folder : folders) {
        std::vector<std::wstring> args = splitCommandLine(composeCommandLine(L"C:\\users\\me\\AppData\\Roaming", folder));
        ASSERT_EQ(args.size(), 3u) << folder;
        EXPECT_EQ(args[0], L"kestrup.exe");
        EXPECT_EQ(args[1], L"-c=C:\\users\\me\\AppData\\Roaming\\kestrup.toml");
        EXPECT_EQ(args[2], std::wstring(L"-u=") + folder);
    }
}

TEST(CommandLine, ResultCodes)
{
    const struct { int32_t error; uint32_t code; } cases[] = {
        {2, 0x80070002u}, {0x0001ABCD, 0x8007ABCDu}, {0, 0}, {static_cast<int32_t>(0x80004005u), 0x80004005u},
        {170, 0x800700AAu}, {-1, 0xFFFFFFFFu},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resultFromLastError(c.error), c.code) << c.error;
}

TEST(CommandLine, ProgramDirectoryFromModulePath)
{
    const struct { const wchar_t* path; const wchar_t* directory; } cases[] = {
        {L"D:\\Tools\\Upload\\dravlet-ui.exe", L"D:\\Tools\\Upload\\"},
        {L"C:\\x.exe", L"C:\\"},
        {L"", L""},
        {L"noslash.exe", L"n"},
        {L"\\\\srv\\share\\bin\\a.exe", L"\\\\srv\\share\\bin\\"},
    };
    for (const auto& c : cases) {
        wchar_t buffer[255] = {};
        wcsncpy(buffer, c.path, 254);
        EXPECT_EQ(directoryFromModulePath(buffer, 255), c.directory) << c.path;
    }
    // A full buffer without a terminator is read no further than its size.
    wchar_t full[255];
    std::fill(full, full + 255, L'a');
    full[100] = L'\\';
    full[254] = L'\\';
    EXPECT_EQ(directoryFromModulePath(full, 255).size(), 255u);
    full[254] = L'a';
    EXPECT_EQ(directoryFromModulePath(full, 255).size(), 101u);
}

static std::wstring units(std::initializer_list<unsigned> values)
{
    std::wstring text;
    for (unsigned v : values)
        text += static_cast<wchar_t>(v);
    return text;
}

TEST(Utf8, DecodesStrictlyWithOneReplacementPerIllFormedPart)
{
    const unsigned F = 0xFFFD;
    const struct { std::string bytes; std::wstring text; } cases[] = {
        {"abc", L"abc"},
        {"\xC3\xA9\xE2\x82\xAC", units({0xE9, 0x20AC})},
        {"\xEF\xBB\xBFhi", units({0xFEFF, 'h', 'i'})},
        {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", units({'a', F, F, F, 'b', F, 'c', F, F, 'd'})},
        {"\xC0\xAF\xE0\x80\xBF\xF0\x81\x82\x41", units({F, F, F, F, F, F, F, F, 'A'})},
        {"\xED\xA0\x80\xED\xBF\xBF\xED\xAF\x41", units({F, F, F, F, F, F, F, F, 'A'})},
        {"\xF0\x9F\x98\x80", units({0xD83D, 0xDE00})},
        {"\xF4\x8F\xBF\xBF", units({0xDBFF, 0xDFFF})},
        {"\xF4\x90\x80\x80", units({F, F, F, F})},
        {"\xE1\x41", units({F, 'A'})},
        {"\xE2\x82", units({F})},
        {"\xC1\xBF\xF5\xFF", units({F, F, F, F})},
        {std::string("a\0b", 3), units({'a', F, 'b'})},
        {"done\r", L"done\r"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decodeUtf8(c.bytes.data(), c.bytes.size()), c.text) << testing::PrintToString(c.bytes);
}

TEST(Output, CountsLinesHoldingTheMarker)
{
    const struct { const char* line; bool sent; } cases[] = {
        {"Upload[1/3] done\r", true}, {"xUpload[Upload[", true}, {"Upload[", true},
        {"upload[1]", false}, {"Upload 1", false}, {"", false}, {"Upload(", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(holdsMarker(c.line, strlen(c.line)), c.sent) << c.line;
    EXPECT_EQ(countText(0), L"0");
    EXPECT_EQ(countText(3), L"3");
    EXPECT_EQ(countText(-12), L"-12");
    EXPECT_EQ(countText(2147483647), L"2147483647");
}

// Lines and count of a stream read in pieces cut at the given offsets.
static std::pair<std::vector<std::wstring>, int> readInPieces(const std::string& stream, std::vector<size_t> cuts)
{
    std::vector<std::wstring> lines;
    int count = 0;
    PendingLine pending;
    auto onPiece = [&](const char* bytes, size_t n, bool sent) {
        lines.push_back(decodeUtf8(bytes, n));
        count += sent;
    };
    size_t at = 0;
    cuts.push_back(stream.size());
    for (size_t cut : cuts) {
        feedOutput(pending, stream.data() + at, cut - at, onPiece);
        at = cut;
    }
    return {lines, count};
}

TEST(Output, AnyReadBoundaryGivesTheSameLinesAndCount)
{
    const std::string stream = std::string("\xEF\xBB\xBFstart\nUpload[1/3] caf\xC3\xA9\r\n\nUpl") +
                               std::string("oad[2/3] \xE2\x82\xAC\xF0\x9F\x98\x80\nzero\0byte Upload[3/3]\n", 39) +
                               "upload[x]\ntail without line feed";
    auto whole = readInPieces(stream, {});
    ASSERT_EQ(whole.first.size(), 6u);
    EXPECT_EQ(whole.second, 3);
    EXPECT_EQ(whole.first[0], units({0xFEFF}) + L"start");
    EXPECT_EQ(whole.first[1], units({'U', 'p', 'l', 'o', 'a', 'd', '[', '1', '/', '3', ']', ' ', 'c', 'a', 'f', 0xE9, '\r'}));
    EXPECT_EQ(whole.first[2], L"");
    EXPECT_EQ(whole.first[4], units({'z', 'e', 'r', 'o', 0xFFFD, 'b', 'y', 't', 'e'}) + L" Upload[3/3]");
    for (size_t a = 0; a <= stream.size(); ++a) {
        EXPECT_EQ(readInPieces(stream, {a}), whole) << "cut at " << a;
        for (size_t b = a; b <= stream.size(); b += 7)
            ASSERT_EQ(readInPieces(stream, {a, b}), whole) << "cuts at " << a << ", " << b;
    }
}

TEST(Output, LongLinesAreCutAlikeWhateverTheReads)
{
    // Each stream against the rule (pieces of the cap, one count a line), read
    // whole and in reads of these sizes (a byte of 128 + k reads 4k bytes).
    const std::string cap(kMaxLineBytes, 'y');
    std::vector<uint8_t> toTheCap(kMaxLineBytes / 508, 128 + 127); // reads of 508 bytes, then the rest
    toTheCap.push_back(kMaxLineBytes % 508);
    const struct { const char* what; std::string stream; int count; } cases[] = {
        {"a line of exactly the cap, its line feed in the next read", cap + "\nnext\n", 0},
        {"a line past the cap, its line feed in the same read", cap + cap + "\xE2\x82\xAC tail\n", 0},
        {"a marker across the cut", std::string(kMaxLineBytes - 3, 'z') + "Upload[1] rest\n", 1},
        {"a marker in two pieces of one line", "Upload[1]" + cap + "Upload[2]\n", 1},
        {"a character that ends at the cap, stray continuation bytes after it",
         std::string(kMaxLineBytes - 4, 'a') + "\xF0\x9F\x98\x80\x80\x80 x\n", 0},
        {"a fragment past the cap: its pieces shown, its rest dropped", "Upload[" + cap + "no line feed", 1},
    };
    for (const auto& c : cases) {
        for (bool split : {false, true}) {
            std::vector<uint8_t> reads = split ? toTheCap : std::vector<uint8_t>();
            std::string input(1, static_cast<char>(reads.size()));
            input.append(reads.begin(), reads.end());
            input += c.stream;
            EXPECT_EQ(checkReaderCore(reinterpret_cast<const uint8_t*>(input.data()), input.size()), "")
                << c.what << (split ? ", read to the cap" : ", read whole");
        }
        EXPECT_EQ(readInPieces(c.stream, {}).second, c.count) << c.what;
    }
}

TEST(Output, EndlessLineIsHandedOnInWholeCharacters)
{
    PendingLine pending;
    std::vector<std::string> pieces;
    std::string chunk;
    for (int i = 0; i < 170; ++i)
        chunk += "\xC3\xA9\xE2\x82\xAC"; // 5 bytes, so pieces fall mid-character
    size_t fed = 0;
    while (fed < 700 * 1024) {
        feedOutput(pending, chunk.data(), chunk.size(), [&](const char* b, size_t n, bool) { pieces.emplace_back(b, n); });
        fed += chunk.size();
        ASSERT_LE(pending.bytes.size(), kMaxLineBytes);
    }
    ASSERT_GE(pieces.size(), fed / kMaxLineBytes - 1);
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_LE(piece.size(), kMaxLineBytes);
        EXPECT_GE(piece.size(), kMaxLineBytes - 3);
        EXPECT_EQ(decodeUtf8(piece.data(), piece.size()).find(L'\xFFFD'), std::wstring::npos);
        joined += piece;
    }
    std::string fedBytes;
    while (fedBytes.size() < fed)
        fedBytes += chunk;
    EXPECT_TRUE(joined + pending.bytes == fedBytes);
}

TEST(Output, RandomStreamsAtRandomBoundaries)
{
    // The same check the fuzzer runs, over a fixed set of seeds.
    for (uint32_t seed = 1; seed <= 4000; ++seed) {
        std::string input = randomReaderInput(seed);
        ASSERT_EQ(checkReaderCore(reinterpret_cast<const uint8_t*>(input.data()), input.size()), "") << "seed " << seed;
    }
}

TEST(ConfigText, EscapesAsTomlBasicStrings)
{
    const struct { std::wstring value, written; } cases[] = {
        {L"plain", L"\"plain\""},
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"E:\\", L"\"E:\\\\\""},
        {L"a\tb", L"\"a\tb\""},
        {units({1, '|', 0x1F, '|', 0x7F, '|', '\n', '|', '\r', '|', 0}),
         L"\"\\u0001|\\u001F|\\u007F|\\u000A|\\u000D|\\u0000\""},
        {units({0xE9, 0x20AC}), units({'"', 0xE9, 0x20AC, '"'})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tomlBasicString(c.value), c.written);
    EXPECT_EQ(buildConfigText(L"h", L"u", L"p", L"x1", true),
              L"# Kestrup autogenerated file\r\n[NNTP]\r\nPort = 563\r\nHost = \"h\"\r\nUser = \"u\"\r\n"
              L"Pass = \"p\"\r\nConns = x1\r\nAnonimize = true\r\n");
    EXPECT_EQ(buildConfigText(L"", L"", L"", L"", false).size(), 112u); // all ASCII: bytes = units
}

TEST(ConfigText, LoneSurrogatesBecomeReplacementCharacters)
{
    EXPECT_EQ(withoutLoneSurrogates(units({'a', 0xD83D, 0xDE00})), units({'a', 0xD83D, 0xDE00}));
    EXPECT_EQ(withoutLoneSurrogates(units({'x', 0xD83D})), units({'x', 0xFFFD}));
    EXPECT_EQ(withoutLoneSurrogates(units({0xDE00, 'y', 0xD83D, 0xD83D, 0xDE00})),
              units({0xFFFD, 'y', 0xFFFD, 0xD83D, 0xDE00}));
}
