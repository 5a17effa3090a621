// A whole session as a person has it, with nobody there: settings saved
// through the dialog, the sample folder picked in the real picker, the run
// to its summary. scripts/demo.sh runs it with --auto in build/mingw/demo,
// printing the log and the screenshots; the test suite runs it in the
// release package unpacked (release-check), with the stand-in beside it.
#include "harness.h"
#include "picture.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

// The settings dialog as drawn: each field shows at least two columns of ink
// a character typed (masks in Password), each label and the check box's
// caption likewise.
static void expectDialogDrawn(const Picture& picture, HWND dialog, const std::vector<std::pair<int, std::wstring>>& fields)
{
    for (const auto& [id, text] : fields)
        EXPECT_GE(inkIn(picture, clientOnScreen(GetDlgItem(dialog, id))).columns, 2 * static_cast<int>(text.size()))
            << "field " << id << " does not show " << testing::PrintToString(text);
    std::vector<HWND> children;
    EnumChildWindows(dialog, [](HWND child, LPARAM all) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(all)->push_back(child);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&children));
    int labels = 0;
    for (HWND child : children) {
        std::wstring text = textOf(child);
        RECT area = clientOnScreen(child);
        if (classOf(child) == L"Button" && GetDlgCtrlID(child) == 1004)
            area.left += area.bottom - area.top; // the caption, right of the box
        else if (classOf(child) != L"Static" || (styleOf(child) & SS_TYPEMASK) == SS_ICON)
            continue;
        labels += classOf(child) == L"Static";
        EXPECT_GE(inkIn(picture, area).columns, 2 * static_cast<int>(text.size())) << "not drawn: " << testing::PrintToString(text);
    }
    EXPECT_EQ(labels, 4);
}

// The main window as drawn behind the summary box: each line of the log
// shows ink left of the box, and so does the box's text.
static void expectRunDrawn(const Picture& picture, HWND main, HWND box, const std::vector<std::wstring>& log)
{
    HWND view = GetDlgItem(main, 3);
    RECT client = clientOnScreen(view), boxFrame;
    GetWindowRect(box, &boxFrame);
    auto at = [&](size_t index) {
        LRESULT xy = SendMessageW(view, EM_POSFROMCHAR, index, 0);
        return POINT{client.left + static_cast<short>(LOWORD(xy)), client.top + static_cast<short>(HIWORD(xy))};
    };
    ASSERT_GE(log.size(), 2u);
    std::vector<POINT> starts;
    for (size_t i = 0, start = 0; i < log.size(); start += log[i].size() + 2, ++i)
        starts.push_back(at(start));
    LONG lineHeight = LONG_MAX; // a line may wrap: the least step between two lines' starts
    for (size_t i = 1; i < starts.size(); ++i)
        lineHeight = std::min(lineHeight, starts[i].y - starts[i - 1].y);
    ASSERT_GT(lineHeight, 4);
    for (size_t i = 0, start = 0; i < log.size(); start += log[i].size() + 2, ++i) {
        POINT first = starts[i], second = at(start + 1);
        LONG bottom = i + 1 < starts.size() ? starts[i + 1].y : first.y + lineHeight;
        RECT row = {first.x, first.y, std::min(client.right, boxFrame.left), std::min(bottom, client.bottom)};
        int fits = static_cast<int>((row.right - row.left) / std::max<LONG>(1, second.x - first.x));
        EXPECT_GE(inkIn(picture, row).columns, 2 * std::min(fits, static_cast<int>(log[i].size())))
            << "line " << i << " not drawn: " << testing::PrintToString(log[i]);
    }
    EXPECT_GE(inkIn(picture, clientOnScreen(GetDlgItem(box, 0xFFFF))).columns, 2 * 11) << "the box's text";
}

TEST(Demo, AWholeSessionByItself)
{
    std::wstring home = testDirectory() + L"..\\" + (demoByItself ? L"demo" : L"release-check");
    if (!demoByItself) { // laid out as demo.sh does it
        EXPECT_TRUE(CopyFileW((testDirectory() + L"kestrup.exe").c_str(), (home + L"\\kestrup.exe").c_str(), FALSE));
    }
    // The sample folder sits where a user keeps files: the Wine user's own
    // Documents, in the disposable prefix; anywhere else, the build folder.
    std::wstring samples = home + L"\\sample-posts";
    wchar_t* documents = nullptr;
    if (disposablePrefix() && SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents)))
        samples = std::wstring(documents) + L"\\sample-posts";
    CoTaskMemFree(documents);
    CreateDirectoryW(samples.c_str(), nullptr);
    for (int i = 1; i <= 5; ++i)
        writeFileBytes(samples + L"\\holiday-photos.part0" + std::to_wstring(i) + L".rar", std::string(1024 * i, 'r'));
    App app = startAppIn(home);
    ASSERT_TRUE(app.main) << "step 1: start the program in " << testing::PrintToString(home);

    std::wstring dialogPicture;
    // The saved settings stay for the run, whose uploader reports them.
    OnExit restore = disposablePrefix() ? keepSettings() : OnExit{[] {}};
    if (!disposablePrefix()) {
        printf("step 2 skipped: saving writes the user's own settings file, so only the disposable Wine prefix may\n");
    } else {
        SCOPED_TRACE("step 2: save settings through the Usenet config dialog");
        HWND dialog = openConfig(app);
        ASSERT_TRUE(dialog);
        typeSettings(dialog, L"news.example.com", L"demo-user", L"not-a-real-password", L"8");
        ASSERT_TRUE(waitUntil("the values typed", [&] { return textOf(GetDlgItem(dialog, 1005)) == L"8"; }));
        Picture picture = pictureOf({app.main, dialog});
        dialogPicture = savePicture(picture, L"settings-dialog");
        expectDialogDrawn(picture, dialog, {{1001, L"news.example.com"}, {1002, L"demo-user"},
                                            {1003, L"not-a-real-password"}, {1005, L"8"}});
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(waitClosed(app, dialog));
        ASSERT_TRUE(waitUntil("Saved config", [&] { return textOf(GetDlgItem(app.main, 3)).find(L"Saved config ") != std::wstring::npos; }));
    }
    {
        SCOPED_TRACE("step 3: pick the sample folder in the folder picker");
        pickFolder(app, samples);
    }
    SCOPED_TRACE("step 4: the run to its summary box");
    HWND box = summaryBox(app.process.dwProcessId);
    ASSERT_TRUE(box);
    std::vector<std::wstring> log = appLogLines(app);
    Picture picture = pictureOf({app.main, box});
    std::wstring runPicture = savePicture(picture, L"main-window-run");
    expectRunDrawn(picture, app.main, box, log);
    std::wstring summary = takeSummaryBox(app.process.dwProcessId);
    EXPECT_EQ(summary, L"NZBs sent=5");
    EXPECT_EQ(textOf(app.main), L"Kestrup sent=5");
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::wstring& line) { return line.rfind(L"Upload[", 0) == 0; }), 5);
    if (demoByItself) {
        printf("\nThe activity log:\n");
        for (const std::wstring& line : log)
            printf("  %ls\n", line.c_str());
        printf("The summary box: %ls\nScreenshots:\n  %ls\n  %ls\n\n", summary.c_str(), runPicture.c_str(),
               dialogPicture.c_str());
    }
    PostMessageW(app.main, WM_COMMAND, 105, 0);
    EXPECT_EQ(waitExit(app), 0u) << "File, Exit";
}
