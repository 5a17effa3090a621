// A whole session as a person has it, with nobody there: settings saved
// through the dialog, the sample folder picked in the real picker, the run
// to its summary. scripts/demo.sh runs it with --auto in build/mingw/demo,
// printing the log and the screenshots; the test suite runs it in the
// release package unpacked (release-check), with the stand-in beside it.
#include "app_driver.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(Demo, AWholeSessionByItself)
{
    std::wstring home = testDirectory() + L"..\\demo";
    if (!demoByItself) { // laid out as demo.sh does it
        home = testDirectory() + L"..\\release-check";
        EXPECT_TRUE(CopyFileW((testDirectory() + L"kestrup.exe").c_str(), (home + L"\\kestrup.exe").c_str(), FALSE));
        CreateDirectoryW((home + L"\\sample-posts").c_str(), nullptr);
        for (int i = 1; i <= 5; ++i)
            writeFileBytes(home + L"\\sample-posts\\holiday-photos.part0" + std::to_wstring(i) + L".rar",
                           std::string(1024 * i, 'r'));
    }
    App app = startAppIn(home);
    ASSERT_TRUE(app.main) << "step 1: start the program in " << testing::PrintToString(home);

    std::wstring dialogPicture;
    if (!disposablePrefix()) {
        printf("step 2 skipped: saving writes the user's own settings file, so only the disposable Wine prefix may\n");
    } else {
        OnExit restore = keepSettings();
        SCOPED_TRACE("step 2: save settings through the Usenet config dialog");
        HWND dialog = openConfig(app);
        ASSERT_TRUE(dialog);
        typeSettings(dialog, L"news.example.com", L"demo-user", L"not-a-real-password", L"8");
        ASSERT_TRUE(waitUntil("the values typed", [&] { return textOf(GetDlgItem(dialog, 1005)) == L"8"; }));
        dialogPicture = screenshot({app.main, dialog}, L"settings-dialog");
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(waitClosed(app, dialog));
        ASSERT_TRUE(waitUntil("Saved config", [&] { return appLog(app).find(L"Saved config ") != std::wstring::npos; }));
    }
    {
        SCOPED_TRACE("step 3: pick the sample folder in the folder picker");
        pickFolder(app, home + L"\\sample-posts");
    }
    SCOPED_TRACE("step 4: the run to its summary box");
    HWND box = findAppWindow(app, L"Kestrup Finished");
    ASSERT_TRUE(box);
    std::wstring runPicture = screenshot({app.main, box}, L"main-window-run");
    std::vector<std::wstring> log = appLogLines(app);
    std::wstring summary = takeAppSummary(app);
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
