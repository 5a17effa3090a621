// Whole uploader runs: a real pipe, the stand-in uploader as a real child
// process, the reader and watcher threads, the summary box.
#include "argv_reference.h"
#include "harness.h"

#include "log/activity_log.h"
#include "run/command_line.h"
#include "run/run_slot.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

TEST(Run, LogsCommandLineOutputAndSummary)
{
    RunOutcome run = runStub(L"text first line\ntext Upload[1/2] a.bin\nsleep 50\n"
                             L"hex 55 70 6c 6f 61 64 5b 32 2f 32 5d 20 62 2e 62 69 6e 0d 0a\n"
                             L"text Upload[ Upload[ twice\ntext upload[lower]\nraw no line feed\nexit 3",
                             L"E:\\posts\\week 12");
    ASSERT_EQ(run.code, 0u);
    std::vector<std::wstring> lines = splitLines(run.log);
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], uploaderCommandLine(L"E:\\posts\\week 12"));
    std::vector<std::wstring> output;
    int done = 0;
    for (size_t i = 1; i < lines.size(); ++i)
        lines[i] == L"exec.done" ? ++done : (output.push_back(lines[i]), 0);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(output, (std::vector<std::wstring>{L"first line", L"Upload[1/2] a.bin", L"Upload[2/2] b.bin\r",
                                                 L"Upload[ Upload[ twice", L"upload[lower]"}));
    EXPECT_EQ(run.box, L"NZBs sent=3");
    EXPECT_EQ(run.title, L"Kestrup sent=3");

    // A clean exit ends the same way, and the next run counts from zero.
    RunOutcome next = runStub(L"text Upload[9]\nexit 0");
    EXPECT_EQ(next.box, L"NZBs sent=1");
    EXPECT_EQ(next.title, L"Kestrup sent=1");
    RunOutcome none = runStub(L"text nothing sent");
    EXPECT_EQ(none.box, L"NZBs sent=0");
    EXPECT_EQ(none.title, L"Kestrup sent=0");
}

TEST(Run, PiecesSplitAcrossReadsJoinUp)
{
    // The marker and multi-byte characters cut between reads, a zero byte,
    // a byte-order mark, and a last fragment that is never shown. Each write
    // after the first waits until the line it follows is shown: the reader
    // has then taken the bytes before it, so each cut falls between reads.
    mainWindow();
    const std::wstring name = gate() + L"-shown", wait = L"\nwait " + name + L"\n";
    HANDLE shown = CreateEventW(nullptr, FALSE, FALSE, name.c_str()); // auto-reset: one write a signal
    OnExit close{[&] { CloseHandle(shown); }};
    setStubScript(L"hex 73 31 0a ef bb bf 55 70 6c" + wait + L"hex 6f 61 64 5b 31 5d 0a c3" + wait +
                  L"hex a9 0a e2 82" + wait + L"hex ac 0a 61 00 62 0a 0a\nraw Upload[dropped]");
    size_t mark = logMark();
    ASSERT_EQ(runCommand(L"C:\\windows"), 0u);
    setStubScript(L"");
    for (size_t shownLines = 2; shownLines <= 4; ++shownLines) { // the command line, then one more each write
        ASSERT_TRUE(waitUntil("the line before a cut", [&] { return splitLines(logSince(mark)).size() >= shownLines; }));
        SetEvent(shown);
    }
    EXPECT_EQ(takeSummaryBox(), L"NZBs sent=1");
    ASSERT_TRUE(waitUntil("the run's workers to end", [] { return !runActive(); }));
    std::vector<std::wstring> lines = splitLines(logSince(mark));
    lines.erase(std::remove(lines.begin() + 1, lines.end(), L"exec.done"), lines.end());
    EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 1, lines.end()),
              (std::vector<std::wstring>{L"s1", L"\xFEFFUpload[1]", L"\xE9", L"\x20AC", L"a\xFFFD" L"b", L""}));
}

TEST(Run, UploaderSeesItsArgumentsAsGiven)
{
    std::wstring folder = freshFolder(L"args");
    std::wstring argsFile = folder + L"\\args.txt";
    for (std::wstring target : {std::wstring(L"C:\\"), folder + L"\\with space"}) {
        RunOutcome run = runStub(L"args " + argsFile, target);
        ASSERT_EQ(run.code, 0u);
        std::vector<std::wstring> got;
        std::wstring text = fromUtf8(readFileBytes(argsFile));
        for (size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1)
            got.push_back(text.substr(at, end - at));
        ASSERT_EQ(got.size(), 4u) << text;
        EXPECT_EQ(got[2], L"-c=" + roamingFolder() + L"\\kestrup.toml");
        EXPECT_EQ(got[3], L"-u=" + target);
        int argc = 0; // the command line it was given splits into those arguments
        wchar_t** argv = CommandLineToArgvW(got[0].c_str(), &argc);
        EXPECT_EQ(std::vector<std::wstring>(argv, argv + argc), (std::vector<std::wstring>{L"kestrup.exe", got[2], got[3]}));
        LocalFree(argv);
    }
}

TEST(Run, MissingUploaderFailsWithoutThreads)
{
    OnExit moveBack = moveAside(testDirectory() + L"kestrup.exe");
    RunOutcome run = runStub(L"text never");
    EXPECT_EQ(run.code, 0x80070002u);
    EXPECT_EQ(splitLines(run.log), std::vector<std::wstring>{uploaderCommandLine(L"C:\\windows")});
    EXPECT_FALSE(runActive());
    EXPECT_EQ(run.box, L"");
}

TEST(Run, RoamingFolderIsTheUsersOwn)
{
    std::wstring folder = roamingFolder();
    EXPECT_EQ(folder.substr(1, 2), L":\\");
    EXPECT_NE(folder.back(), L'\\');
    EXPECT_NE(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(getProgramDirectory(), testDirectory());
}

TEST(Run, ReferenceSplitterAgreesWithWindows)
{
    // The reference splitter stands in for Windows in the native fuzzer; here
    // it must agree with CommandLineToArgvW on composed command lines.
    std::mt19937 random(7);
    const wchar_t alphabet[] = L"ab \\\t:.-\x00E9\x20AC";
    for (int i = 0; i < 3000; ++i) {
        std::wstring folder;
        for (size_t n = random() % 24; n > 0; --n)
            folder += alphabet[random() % (sizeof alphabet / sizeof *alphabet - 1)];
        std::wstring line = composeCommandLine(L"C:\\users\\me\\AppData\\Roaming", folder);
        int argc = 0;
        wchar_t** argv = CommandLineToArgvW(line.c_str(), &argc);
        std::vector<std::wstring> windows(argv, argv + argc);
        LocalFree(argv);
        ASSERT_EQ(splitCommandLine(line), windows) << testing::PrintToString(line);
        ASSERT_EQ(windows.back(), L"-u=" + folder);
    }
}

TEST(Run, FailedSettingsLookupStartsNothing)
{
    // A thread without COM cannot look the settings folder up.
    mainWindow();
    size_t mark = logMark();
    uint32_t code = 0;
    std::thread([&] { code = runCommand(L"C:\\windows"); }).join();
    EXPECT_EQ(code, 0x80070003u); // HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)
    EXPECT_FALSE(runActive());
    EXPECT_EQ(splitLines(logSince(mark)), std::vector<std::wstring>{L"CoCreateInstance(CLSID_KnownFolderManager) failed: " +
                                                                    errorText(static_cast<uint32_t>(CO_E_NOTINITIALIZED))});
}
