// A whole session as a person has it, with nobody there: settings saved
// through the dialog, the sample folder picked in the real picker, the run
// to its summary. scripts/demo.sh runs it with --auto in build/mingw/demo,
// printing the log and the screenshots; the test suite runs it as it is.
#include "app_driver.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(Demo, AWholeSessionByItself)
{
    SKIP_UNLESS_DISPOSABLE(); // it saves the settings file
    OnExit restore = keepSettings();
    std::wstring home = testDirectory() + L"..\\demo";
    if (!demoByItself) { // laid out as demo.sh does it
        home = freshFolder(L"demo");
        CreateDirectoryW((home + L"\\sample-posts").c_str(), nullptr);
        for (int i = 1; i <= 5; ++i)
            writeFileBytes(home + L"\\sample-posts\\holiday-photos.part0" + std::to_wstring(i) + L".rar",
                           std::string(1024 * i, 'r'));
    }
    App app = startAppIn(home);
    ASSERT_TRUE(app.main) << "step 1: start the program in " << testing::PrintToString(home);

    std::wstring dialogPicture;
    {
        SCOPED_TRACE("step 2: save settings through the Usenet config dialog");
        HWND dialog = openConfig(app);
        ASSERT_TRUE(dialog);
        typeInto(GetDlgItem(dialog, 1001), L"news.example.com");
        typeInto(GetDlgItem(dialog, 1002), L"demo-user");
        typeInto(GetDlgItem(dialog, 1003), L"not-a-real-password");
        typeInto(GetDlgItem(dialog, 1005), L"8");
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
