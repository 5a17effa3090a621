// The real program, started and driven from outside its process: the main
// window, the folder chooser with the real picker, the settings dialog.
#include "app_driver.h"
#include "harness.h"

#include "log/activity_log.h"
#include "run/command_line.h"
#include "run/run_slot.h"

#include <gtest/gtest.h>

#include <algorithm>

static std::wstring roaming()
{
    std::wstring folder;
    EXPECT_TRUE(getRoamingAppDataPath(folder));
    return folder;
}

static void expectLayout(HWND main, int width, int height)
{
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);
    RECT button = clientRectIn(GetDlgItem(main, 4), main), log = clientRectIn(GetDlgItem(main, 3), main);
    EXPECT_EQ(button.left, 0);
    EXPECT_EQ(button.top, 0);
    EXPECT_EQ(button.right, width);
    EXPECT_EQ(button.bottom, 50);
    EXPECT_EQ(log.left, 0);
    EXPECT_EQ(log.top, 50);
    EXPECT_EQ(log.right, width);
    EXPECT_EQ(log.bottom, std::max(50, height));
}

static bool resizeClient(HWND main, int width, int height)
{
    RECT window, client;
    GetWindowRect(main, &window);
    GetClientRect(main, &client);
    SetWindowPos(main, nullptr, 0, 0, width + (window.right - window.left) - client.right,
                 height + (window.bottom - window.top) - client.bottom, SWP_NOMOVE | SWP_NOZORDER);
    return waitFor([&] {
        RECT c, log;
        GetClientRect(main, &c);
        log = clientRectIn(GetDlgItem(main, 3), main);
        return c.right == width && c.bottom == height && log.right == width && log.bottom == std::max(50, height);
    }, 5000);
}

TEST(Shell, MainWindowAsBuilt)
{
    // Arguments are not read: the program starts the same with or without them.
    for (const wchar_t* arguments : {L"", L"--config C:\\elsewhere extra"}) {
        App app = startApp(L"shell", arguments);
        ASSERT_TRUE(app.main) << "no main window titled dravlet-ui";
        EXPECT_EQ(classOf(app.main), L"DRAVLETUI");
        EXPECT_EQ(styleOf(app.main) & 0xFFFF0000, WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPSIBLINGS);

        HWND log = GetDlgItem(app.main, 3), button = GetDlgItem(app.main, 4);
        EXPECT_EQ(_wcsicmp(classOf(log).c_str(), L"EDIT"), 0);
        EXPECT_EQ(_wcsicmp(classOf(button).c_str(), L"BUTTON"), 0);
        EXPECT_EQ(textOf(log), L"");
        EXPECT_EQ(textOf(button), L"Choose folder");
        // Wine reads an EDIT's style back without WS_BORDER.
        EXPECT_EQ(styleOf(log) | WS_BORDER, 0x50A00044);
        EXPECT_EQ(styleOf(button), 0x50010001);
        EXPECT_EQ(SendMessageW(log, EM_GETLIMITTEXT, 0, 0), 640000);

        RECT client;
        GetClientRect(app.main, &client);
        expectLayout(app.main, client.right, client.bottom);
        if (*arguments == 0)
            screenshot(app.main, L"main-window");
        EXPECT_TRUE(resizeClient(app.main, 500, 300));
        expectLayout(app.main, 500, 300);
        EXPECT_TRUE(resizeClient(app.main, 400, 30)); // no room left for the log: its height is 0
        expectLayout(app.main, 400, 30);

        PostMessageW(app.main, WM_CLOSE, 0, 0);
        EXPECT_EQ(waitExit(app), 0u);
    }
}

TEST(Shell, MenuAndExit)
{
    App app = startApp(L"menu");
    ASSERT_TRUE(app.main);
    // The window carries the menu bar. Wine keeps a menu's items inside its
    // process, so their texts and ids are checked in the executable's
    // resources, and the menu is driven by real keys in the dialog tests.
    EXPECT_TRUE(GetMenu(app.main));

    // Commands act on their low 16 bits alone.
    PostMessageW(app.main, WM_COMMAND, MAKEWPARAM(105, 1), 0);
    EXPECT_EQ(waitExit(app), 0u);
}

TEST(Shell, ClosingDuringARunExitsAtOnceAndLeavesTheUploader)
{
    std::wstring marker = freshFolder(L"closing-marker") + L"\\still-running.txt";
    App app = startApp(L"closing", L"", true, L"sleep 3000\nargs " + marker);
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitFor([&] { return textOf(app.main) == L"Kestrup..."; }));
    PostMessageW(app.main, WM_COMMAND, 105, 0);
    EXPECT_EQ(waitExit(app, 2500), 0u);
    // The uploader was not stopped: it goes on to write its report.
    EXPECT_TRUE(waitFor([&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));
}

TEST(Chooser, PickedFolderRunsTheUploader)
{
    std::wstring folder = freshFolder(L"picked");
    std::wstring argsFile = folder + L"\\args.txt";
    App app = startApp(L"chooser", L"", true, L"args " + argsFile + L"\nsleep 1500\ntext Upload[1/2] a\n"
                                                  L"text between\ntext Upload[2/2] b");
    ASSERT_TRUE(app.main);
    pickFolder(app, folder);
    ASSERT_TRUE(waitFor([&] { return textOf(app.main) == L"Kestrup..."; }));
    EXPECT_EQ(appLogLines(app), std::vector<std::wstring>{composeCommandLine(roaming(), folder)});
    ASSERT_TRUE(findAppWindow(app, L"Kestrup Finished", 30000));
    waitFor([&] { return appLogLines(app).size() >= 4; }, 5000);
    screenshot(app.main, L"main-window-run");
    EXPECT_EQ(takeAppSummary(app), L"NZBs sent=2");
    EXPECT_EQ(textOf(app.main), L"Kestrup sent=2");
    ASSERT_TRUE(waitFor([&] { return appLogLines(app).size() == 5; }));
    std::vector<std::wstring> lines = appLogLines(app);
    EXPECT_EQ(lines[0], composeCommandLine(roaming(), folder));
    lines.erase(std::remove(lines.begin(), lines.end(), L"exec.done"), lines.end());
    EXPECT_EQ(lines, (std::vector<std::wstring>{composeCommandLine(roaming(), folder), L"Upload[1/2] a",
                                                L"between", L"Upload[2/2] b"}));
}

TEST(Chooser, CancelChangesNothing)
{
    App app = startApp(L"cancel");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"");
    Sleep(500);
    EXPECT_EQ(appLog(app), L"");
    EXPECT_EQ(textOf(app.main), L"dravlet-ui");
}

TEST(Chooser, FailedStartIsReported)
{
    App app = startApp(L"no-uploader", L"", false);
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitFor([&] { return textOf(app.main) == L"Kestrup..."; }));
    EXPECT_EQ(appLogLines(app), (std::vector<std::wstring>{composeCommandLine(roaming(), L"C:\\windows"),
                                                          L"runCommand failed=" + errorText(0x80070002u)}));
}

TEST(Chooser, SecondPressDuringARunIsRefused)
{
    App app = startApp(L"busy", L"", true, L"sleep 2500\ntext Upload[1] only");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitFor([&] { return textOf(app.main) == L"Kestrup..."; }));
    pickFolder(app, L"C:\\users");
    ASSERT_TRUE(waitFor([&] { return appLogLines(app).size() >= 2; }));
    EXPECT_EQ(appLogLines(app), (std::vector<std::wstring>{composeCommandLine(roaming(), L"C:\\windows"),
                                                          L"runCommand failed=" + errorText(0x800700AAu)}));
    EXPECT_EQ(takeAppSummary(app), L"NZBs sent=1");
}

TEST(Chooser, FoldersReachTheUploaderExactly)
{
    std::wstring base = freshFolder(L"exact");
    std::wstring spaced = base + L"\\with space";
    CreateDirectoryW(spaced.c_str(), nullptr);
    std::wstring deep = base;
    while (deep.size() < 190)
        CreateDirectoryW((deep += L"\\deeper-folder").c_str(), nullptr);
    deep += std::wstring(200 - deep.size() - 1, L'x');
    deep = deep.substr(0, 199) + L"z";
    CreateDirectoryW(deep.c_str(), nullptr);
    ASSERT_EQ(deep.size(), 200u);

    std::wstring argsFile = base + L"\\args.txt";
    for (const std::wstring& folder : {std::wstring(L"C:\\"), spaced, deep}) {
        DeleteFileW(argsFile.c_str());
        App app = startApp(L"exact-app", L"", true, L"args " + argsFile);
        ASSERT_TRUE(app.main);
        pickFolder(app, folder);
        EXPECT_EQ(takeAppSummary(app), L"NZBs sent=0");
        std::wstring args = fromUtf8(readFileBytes(argsFile));
        EXPECT_NE(args.find(L"\n-u=" + folder + L"\n"), std::wstring::npos) << args;
    }
}

static std::wstring settingsPath()
{
    return roaming() + L"\\kestrup.toml";
}

static void writeSettings(const std::string& bytes)
{
    HANDLE file = CreateFileW(settingsPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

static HWND openConfig(App& app)
{
    PostMessageW(app.main, WM_COMMAND, 104, 0);
    return findAppWindow(app, L"Usenet config");
}

static bool waitClosed(App& app, HWND dialog)
{
    return waitFor([&] { return !IsWindow(dialog) && IsWindowEnabled(app.main); }, 10000);
}

static void typeInto(HWND control, const std::wstring& text)
{
    for (wchar_t c : text)
        PostMessageW(control, WM_CHAR, c, 1);
}

static void pressKey(HWND control, WORD key)
{
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

TEST(Dialog, OpensByCommandMenuAndAccelerator)
{
    App app = startApp(L"dialog-open");
    ASSERT_TRUE(app.main);
    const struct { const char* way; std::vector<std::pair<WORD, bool>> keys; } ways[] = {
        {"command 104", {}},
        {"menu File, Config", {{VK_MENU, true}, {'F', true}, {'F', false}, {VK_MENU, false}, {'C', true}, {'C', false}}},
        {"Alt+/", {{VK_MENU, true}, {VK_OEM_2, true}, {VK_OEM_2, false}, {VK_MENU, false}}},
    };
    for (const auto& way : ways) {
        HWND dialog;
        if (way.keys.empty()) {
            dialog = openConfig(app);
        } else {
            bringToFront(app.main);
            ASSERT_EQ(appFocus(app), app.main) << way.way;
            sendKeys(way.keys);
            dialog = findAppWindow(app, L"Usenet config", 5000);
        }
        ASSERT_TRUE(dialog) << way.way;
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), app.main);
        EXPECT_FALSE(IsWindowEnabled(app.main)) << "the main window takes no input under the dialog";
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(waitClosed(app, dialog)) << way.way;
    }
}

TEST(Dialog, OpensEmptyWithSaveFocusedAndTabsInOrder)
{
    App app = startApp(L"dialog-tabs");
    ASSERT_TRUE(app.main);
    HWND dialog = openConfig(app);
    ASSERT_TRUE(dialog);
    for (int id : {1001, 1002, 1003, 1005})
        EXPECT_EQ(textOf(GetDlgItem(dialog, id)), L"") << id;
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 1004), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(appFocus(app), GetDlgItem(dialog, IDOK));
    screenshot(dialog, L"settings-dialog");

    bringToFront(dialog);
    for (int id : {1001, 1002, 1003, 1005, 1004, IDOK}) {
        sendKeys({{VK_TAB, true}, {VK_TAB, false}});
        EXPECT_EQ(GetDlgCtrlID(appFocus(app)), id);
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(waitClosed(app, dialog));
}

TEST(Dialog, TypedValuesAreSavedByEnter)
{
    App app = startApp(L"dialog-enter");
    ASSERT_TRUE(app.main);
    HWND dialog = openConfig(app);
    ASSERT_TRUE(dialog);
    typeInto(GetDlgItem(dialog, 1001), L"News.Example.COM");
    typeInto(GetDlgItem(dialog, 1002), L"JohnDoe");
    typeInto(GetDlgItem(dialog, 1003), L"Se\"cr\\eT");
    typeInto(GetDlgItem(dialog, 1005), L"1x2y");
    PostMessageW(GetDlgItem(dialog, 1004), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitFor([&] { return SendMessageW(GetDlgItem(dialog, 1004), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    EXPECT_EQ(textOf(GetDlgItem(dialog, 1001)), L"news.example.com");
    EXPECT_EQ(textOf(GetDlgItem(dialog, 1002)), L"JohnDoe");
    EXPECT_EQ(textOf(GetDlgItem(dialog, 1005)), L"12") << "letters are refused";
    EXPECT_NE(SendMessageW(GetDlgItem(dialog, 1003), EM_GETPASSWORDCHAR, 0, 0), 0) << "the password shows masked";

    pressKey(GetDlgItem(dialog, 1003), VK_RETURN); // Enter in any field saves
    ASSERT_TRUE(waitClosed(app, dialog));
    EXPECT_EQ(readFileBytes(settingsPath()),
              "# Kestrup autogenerated file\r\n[NNTP]\r\nPort = 563\r\nHost = \"news.example.com\"\r\n"
              "User = \"JohnDoe\"\r\nPass = \"Se\\\"cr\\\\eT\"\r\nConns = 12\r\nAnonimize = true\r\n");
    ASSERT_TRUE(waitFor([&] { return !appLogLines(app).empty(); }));
    EXPECT_EQ(appLogLines(app), std::vector<std::wstring>{L"Saved config " + settingsPath()});

    // Reopened, it is empty again; Save at once writes the empty values.
    dialog = openConfig(app);
    ASSERT_TRUE(dialog);
    EXPECT_EQ(textOf(GetDlgItem(dialog, 1001)), L"");
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 1004), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitClosed(app, dialog));
    EXPECT_EQ(readFileBytes(settingsPath()).size(), 112u);
}

TEST(Dialog, EscapeAndCloseWriteNothing)
{
    const std::string before = "# left alone\r\n";
    writeSettings(before);
    App app = startApp(L"dialog-cancel");
    ASSERT_TRUE(app.main);
    const struct { const char* way; std::function<void(HWND)> close; } ways[] = {
        {"Esc", [](HWND d) { pressKey(GetDlgItem(d, 1001), VK_ESCAPE); }},
        {"close box", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"window menu Close", [](HWND d) { PostMessageW(d, WM_CLOSE, 0, 0); }},
    };
    for (const auto& way : ways) {
        HWND dialog = openConfig(app);
        ASSERT_TRUE(dialog);
        typeInto(GetDlgItem(dialog, 1001), L"typed");
        way.close(dialog);
        EXPECT_TRUE(waitClosed(app, dialog)) << way.way;
    }
    EXPECT_EQ(readFileBytes(settingsPath()), before);
    EXPECT_EQ(appLog(app), L"");
}

TEST(Dialog, SaveWhileTheFileIsHeldStillCloses)
{
    const std::string before = "# held\r\n";
    writeSettings(before);
    HANDLE holder = holdFileOpen(settingsPath());
    App app = startApp(L"dialog-held");
    ASSERT_TRUE(app.main);
    HWND dialog = openConfig(app);
    ASSERT_TRUE(dialog);
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(waitClosed(app, dialog));
    ASSERT_TRUE(waitFor([&] { return !appLogLines(app).empty(); }));
    releaseFile(holder);
    EXPECT_EQ(appLogLines(app), std::vector<std::wstring>{L"Cannot open file=" + errorText(ERROR_SHARING_VIOLATION)});
    EXPECT_EQ(readFileBytes(settingsPath()), before);
}

TEST(Faults, UploaderCrashEndsTheRunLikeAnyOther)
{
    App app = startApp(L"crash", L"", true, L"text Upload[1] before the fault\ncrash");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    EXPECT_EQ(takeAppSummary(app), L"NZBs sent=1");
    ASSERT_TRUE(waitFor([&] { return appLogLines(app).size() == 3; }));
    std::vector<std::wstring> lines = appLogLines(app);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"exec.done"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Upload[1] before the fault"), 1);
}

TEST(Faults, UploaderThatIsNoProgramFailsToStart)
{
    App app = startApp(L"bad-exe", L"", false);
    ASSERT_TRUE(app.main);
    HANDLE bad = CreateFileW((app.folder + L"\\kestrup.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(bad, "MZ this is not a program\r\n", 26, &written, nullptr);
    CloseHandle(bad);
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitFor([&] { return appLogLines(app).size() >= 2; }));
    EXPECT_EQ(appLogLines(app), (std::vector<std::wstring>{composeCommandLine(roaming(), L"C:\\windows"),
                                                          L"runCommand failed=" + errorText(0x800700C1u)}));
    Sleep(300);
    EXPECT_FALSE(findAppWindow(app, L"Kestrup Finished", 0)) << "no run follows a failed start";
    // A start attempt leaves nothing running: the next one is not refused as busy.
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitFor([&] { return appLogLines(app).size() >= 4; }));
    EXPECT_EQ(appLogLines(app).back(), L"runCommand failed=" + errorText(0x800700C1u));
}

TEST(Faults, OutputHeldOpenByAGrandchildComesBeforeTheSummary)
{
    App app = startApp(L"grandchild", L"", true, L"spawn 2000 Upload[2] from the grandchild\ntext Upload[1] uploader done");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    HWND box = findAppWindow(app, L"Kestrup Finished", 30000);
    ASSERT_TRUE(box);
    std::vector<std::wstring> lines = appLogLines(app); // all in before the box shows
    EXPECT_EQ(takeAppSummary(app), L"NZBs sent=2");
    auto at = [&](const wchar_t* line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_LT(at(L"Upload[1] uploader done"), at(L"Upload[2] from the grandchild"));
    EXPECT_LT(at(L"exec.done"), at(L"Upload[2] from the grandchild")) << "the uploader exits first";
}

// Saves through the real dialog and returns the program's log lines.
static std::vector<std::wstring> saveThroughDialog(const std::wstring& name)
{
    App app = startApp(name);
    EXPECT_TRUE(app.main);
    HWND dialog = openConfig(app);
    EXPECT_TRUE(dialog);
    typeInto(GetDlgItem(dialog, 1001), L"host");
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(waitClosed(app, dialog));
    waitFor([&] { return !appLogLines(app).empty(); }, 5000);
    Sleep(200);
    return appLogLines(app);
}

TEST(Faults, SettingsFileThatCannotBeWrittenIsLeftAlone)
{
    const std::wstring file = settingsPath(), folder = roaming();
    const std::string before = "# read-only\r\n";
    writeSettings(before);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE probe = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        std::vector<std::wstring> log = saveThroughDialog(L"read-only");
        EXPECT_EQ(log, std::vector<std::wstring>{L"Cannot open file=" + errorText(ERROR_ACCESS_DENIED)});
        EXPECT_EQ(readFileBytes(file), before);
    } else {
        CloseHandle(probe); // Wine run as root ignores the read-only attribute
    }
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A folder where the file should be.
    DeleteFileW(file.c_str());
    CreateDirectoryW(file.c_str(), nullptr);
    std::vector<std::wstring> log = saveThroughDialog(L"folder-in-the-way");
    RemoveDirectoryW(file.c_str());
    EXPECT_EQ(log, std::vector<std::wstring>{L"Cannot open file=" + errorText(ERROR_ACCESS_DENIED)});

    // The settings folder itself is missing: one clear line, nothing created elsewhere.
    const std::wstring away = folder + L".away";
    ASSERT_TRUE(MoveFileW(folder.c_str(), away.c_str()));
    log = saveThroughDialog(L"no-folder");
    bool created = GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
        DeleteFileW(file.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    ASSERT_TRUE(MoveFileW(away.c_str(), folder.c_str()));
    ASSERT_EQ(log.size(), 1u) << testing::PrintToString(log);
    EXPECT_TRUE(log[0] == L"Cannot open file=" + errorText(ERROR_PATH_NOT_FOUND) ||
                log[0].rfind(L"pkf->GetPath failed: ", 0) == 0) << log[0];
    EXPECT_FALSE(created);
    EXPECT_EQ(GetFileAttributesW(L"C:\\kestrup.toml"), INVALID_FILE_ATTRIBUTES);
}

TEST(Release, UnpackedPackageRunsAWholeSession)
{
    std::wstring folder = freshFolder(L"release-posts");
    for (const wchar_t* name : {L"\\a.rar", L"\\b.rar", L"\\c.par2"})
        CloseHandle(CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    App app = startRelease(L""); // the stand-in uploader's demo: one line per file
    ASSERT_TRUE(app.main) << "the unpacked program did not start";

    HWND dialog = openConfig(app);
    ASSERT_TRUE(dialog);
    typeInto(GetDlgItem(dialog, 1001), L"news.example.com");
    typeInto(GetDlgItem(dialog, 1005), L"8");
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitClosed(app, dialog));
    EXPECT_NE(readFileBytes(settingsPath()).find("Host = \"news.example.com\"\r\n"), std::string::npos);

    pickFolder(app, folder);
    EXPECT_EQ(takeAppSummary(app), L"NZBs sent=3");
    EXPECT_EQ(textOf(app.main), L"Kestrup sent=3");
    std::wstring log = appLog(app);
    EXPECT_NE(log.find(L"Saved config " + settingsPath()), std::wstring::npos);
    EXPECT_NE(log.find(L"] a.rar\r\n"), std::wstring::npos);

    PostMessageW(app.main, WM_COMMAND, 105, 0);
    EXPECT_EQ(waitExit(app), 0u);
}
