// The real program, started and driven from outside its process: the main
// window, the folder chooser with the real picker, the settings dialog.
#include "harness.h"

#include "log/activity_log.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <algorithm>

// Nothing more comes: the program has served every message posted before a
// dialog it was then asked to open (and closes again).
static void settleApp(App& app)
{
    HWND dialog = openConfig(app);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    waitClosed(app, dialog);
}

// Picks a folder for a flooding stand-in and waits until the flood fills
// the log past 20,000 units; a start that Wine failed (see kStartTries),
// which the log reports, is picked again.
static bool startFlood(App& app)
{
    HWND view = GetDlgItem(app.main, 3);
    const std::wstring wineFailed = L"runCommand failed=" + errorText(kWineStartFailed);
    for (size_t tries = 1; tries <= kStartTries; ++tries) {
        pickFolder(app, L"C:\\windows");
        size_t failed = 0; // the starts Wine failed so far
        if (!waitUntil("the flood in the log", [&] {
                LRESULT shown = SendMessageW(view, WM_GETTEXTLENGTH, 0, 0);
                std::wstring text = shown < 20000 ? textOf(view) : L"";
                failed = 0;
                for (size_t at = 0; (at = text.find(wineFailed, at)) != std::wstring::npos; at += wineFailed.size())
                    ++failed;
                return shown > 20000 || failed == tries;
            }))
            return false;
        if (failed < tries)
            return true;
    }
    return false;
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
    return waitUntil("the layout to follow the new size", [&] {
        RECT c, log;
        GetClientRect(main, &c);
        log = clientRectIn(GetDlgItem(main, 3), main);
        return c.right == width && c.bottom == height && log.right == width && log.bottom == std::max(50, height);
    });
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
        // The limit is posted at creation, so it is set once the message loop runs.
        EXPECT_TRUE(waitUntil("the view's limit of 640000", [&] { return SendMessageW(log, EM_GETLIMITTEXT, 0, 0) == 640000; }));

        RECT client;
        GetClientRect(app.main, &client);
        expectLayout(app.main, client.right, client.bottom);
        EXPECT_TRUE(resizeClient(app.main, 500, 300));
        expectLayout(app.main, 500, 300);
        EXPECT_TRUE(resizeClient(app.main, 400, 30)); // no room left for the log: its height is 0
        expectLayout(app.main, 400, 30);

        PostMessageW(app.main, WM_CLOSE, 0, 0);
        EXPECT_EQ(waitExit(app), 0u);
    }
}

// Windows' own DLLs and the shell load DLLs by bare name while the program
// runs; one such load, made in the running program, must not find a DLL
// planted beside it.
TEST(Shell, ADllPlantedBesideTheProgramIsNotLoaded)
{
    App app = startApp(L"planted");
    ASSERT_TRUE(app.main);
    ASSERT_TRUE(CopyFileW((testDirectory() + L"planted.dll").c_str(), (app.folder + L"\\planted.dll").c_str(), FALSE));
    HANDLE process = app.process.hProcess;
    auto loaded = [&](const std::wstring& name) {
        HMODULE modules[512];
        DWORD bytes = 0;
        EnumProcessModules(process, modules, sizeof modules, &bytes);
        wchar_t base[MAX_PATH];
        for (DWORD i = 0; i < bytes / sizeof *modules; ++i)
            if (GetModuleBaseNameW(process, modules[i], base, MAX_PATH) && _wcsicmp(base, name.c_str()) == 0)
                return true;
        return false;
    };
    auto loadIn = [&](const std::wstring& name) {
        SIZE_T size = (name.size() + 1) * sizeof(wchar_t);
        void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
        WriteProcessMemory(process, remote, name.c_str(), size, nullptr);
        FARPROC load = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "LoadLibraryW"); // at one address in every process
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(load)),
                                           remote, 0, nullptr);
        EXPECT_TRUE(waitUntil("the load in the program", [&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }));
        CloseHandle(thread);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        return loaded(name);
    };
    EXPECT_FALSE(loaded(L"wtsapi32.dll"));
    EXPECT_FALSE(loadIn(L"planted.dll")) << "the DLL beside the program was loaded";
    EXPECT_TRUE(loadIn(L"wtsapi32.dll")) << "System32 is still searched";
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

TEST(Shell, ClosingDuringARunExitsAndLeavesTheUploader)
{
    std::wstring marker = freshFolder(L"closing-marker") + L"\\still-running.txt";
    App app = startApp(L"closing", L"", true, L"wait " + gate() + L"\nargs " + marker);
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitUntil("the title Kestrup...", [&] { return textOf(app.main) == L"Kestrup..."; }));
    PostMessageW(app.main, WM_COMMAND, 105, 0);
    EXPECT_EQ(waitExit(app), 0u);
    // The uploader was not stopped: let go, it goes on to write its report.
    openGate();
    waitUntil("the uploader's report", [&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

TEST(Shell, ClosingDuringAFloodExitsCleanlyEveryTime)
{
    // Under Wine a crash at exit may show as a hang (winedbg) rather than as
    // an exit code: the watchdog of waitExit catches both.
    const struct { const char* way; UINT message; WPARAM command; } ways[] = {
        {"File, Exit", WM_COMMAND, 105}, {"the close box", WM_SYSCOMMAND, SC_CLOSE}};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(std::string(ways[i % 2].way) + ", time " + std::to_string(i + 1));
        App app = startApp(L"flood-exit-" + std::to_wstring(i), L"", true, L"lines 100000000 Upload[n] a line of the flood");
        ASSERT_TRUE(app.main);
        ASSERT_TRUE(startFlood(app));
        PostMessageW(app.main, ways[i % 2].message, ways[i % 2].command, 0);
        EXPECT_EQ(waitExit(app), 0u);
    }
}

TEST(Shell, MinimizedDuringAFloodTheRunEndsAndTheRestoredViewShowsTheNewestLine)
{
    // 60,000 lines of 39 units: 3.7 times what the view holds, so it is cut
    // again and again while minimized.
    App app = startApp(L"minimized", L"", true, L"lines 60000 Upload[n] a line of the flood");
    ASSERT_TRUE(app.main);
    HWND view = GetDlgItem(app.main, 3);
    ASSERT_TRUE(startFlood(app));
    PostMessageW(app.main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(waitUntil("the window minimized", [&] { return IsIconic(app.main); }));
    EXPECT_TRUE(waitUntil("the run's end while minimized", [&] { return textOf(app.main) == L"Kestrup sent=60000"; }));
    EXPECT_TRUE(IsIconic(app.main));
    ShowWindowAsync(app.main, SW_RESTORE); // as the taskbar does: the summary box keeps the window disabled
    EXPECT_TRUE(waitUntil("the restored view to show its newest line", [&] {
        RECT client;
        GetClientRect(view, &client);
        LRESULT length = SendMessageW(view, WM_GETTEXTLENGTH, 0, 0);
        short y = static_cast<short>(HIWORD(SendMessageW(view, EM_POSFROMCHAR, length - 3, 0)));
        return !IsIconic(app.main) && client.bottom > 0 && y >= 0 && y < client.bottom;
    }));
    EXPECT_NE(textOf(view).find(L"Upload[n] a line of the flood 60000\r\n"), std::wstring::npos);
    EXPECT_EQ(takeSummaryBox(app.process.dwProcessId), L"NZBs sent=60000");
}

TEST(Chooser, PickedFolderRunsTheUploader)
{
    std::wstring folder = freshFolder(L"picked"), console = folder + L"\\console.txt", pipe = folder + L"\\pipe.txt";
    App app = startApp(L"chooser", L"", true, L"console " + console + L"\ninherited " + pipe + L"\nwait " + gate() +
                                              L"\ntext Upload[1/2] a\ntext between\ntext Upload[2/2] b");
    ASSERT_TRUE(app.main);
    pickFolder(app, folder);
    ASSERT_TRUE(waitUntil("the title Kestrup...", [&] { return textOf(app.main) == L"Kestrup..."; }));
    waitForLog(app, {uploaderCommandLine(folder)});
    openGate();
    EXPECT_EQ(takeSummaryBox(app.process.dwProcessId), L"NZBs sent=2");
    EXPECT_EQ(readFileBytes(console), "no console window") << "the uploader runs without a console window";
    EXPECT_EQ(readFileBytes(pipe), "no read end") << "the uploader inherits its output's write end alone";
    EXPECT_EQ(textOf(app.main), L"Kestrup sent=2");
    ASSERT_TRUE(waitUntil("exec.done", [&] { return appLogLines(app).size() == 5; }));
    std::vector<std::wstring> lines = appLogLines(app);
    lines.erase(std::remove(lines.begin(), lines.end(), L"exec.done"), lines.end());
    EXPECT_EQ(lines, (std::vector<std::wstring>{uploaderCommandLine(folder), L"Upload[1/2] a", L"between", L"Upload[2/2] b"}));
}

TEST(Chooser, CancelChangesNothing)
{
    App app = startApp(L"cancel");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"");
    settleApp(app);
    EXPECT_TRUE(appLogLines(app).empty());
    EXPECT_EQ(textOf(app.main), L"dravlet-ui");
}

TEST(Chooser, FailedStartIsReported)
{
    App app = startApp(L"no-uploader", L"", false);
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitUntil("the title Kestrup...", [&] { return textOf(app.main) == L"Kestrup..."; }));
    waitForLog(app, {uploaderCommandLine(L"C:\\windows"), L"runCommand failed=" + errorText(0x80070002u)});
}

TEST(Chooser, SecondPressDuringARunIsRefused)
{
    App app = startApp(L"busy", L"", true, L"wait " + gate() + L"\ntext Upload[1] only");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    ASSERT_TRUE(waitUntil("the title Kestrup...", [&] { return textOf(app.main) == L"Kestrup..."; }));
    pickFolder(app, L"C:\\users");
    waitForLog(app, {uploaderCommandLine(L"C:\\windows"), L"runCommand failed=" + errorText(0x800700AAu)});
    openGate();
    EXPECT_EQ(takeSummaryBox(app.process.dwProcessId), L"NZBs sent=1");
}

TEST(Chooser, FoldersReachTheUploaderExactly)
{
    std::wstring base = freshFolder(L"exact");
    std::wstring spaced = base + L"\\with space";
    CreateDirectoryW(spaced.c_str(), nullptr);
    // 200 characters whatever the length of the build folder's path.
    std::wstring deep = base;
    ASSERT_LT(deep.size(), 180u) << "scratch folder too deep for this case";
    while (deep.size() + 14 < 199)
        CreateDirectoryW((deep += L"\\deeper-folder").c_str(), nullptr);
    deep += L"\\" + std::wstring(198 - deep.size(), L'x') + L"z";
    CreateDirectoryW(deep.c_str(), nullptr);
    ASSERT_EQ(deep.size(), 200u);

    std::wstring argsFile = base + L"\\args.txt";
    for (const std::wstring& folder : {std::wstring(L"C:\\"), spaced, deep}) {
        DeleteFileW(argsFile.c_str());
        App app = startApp(L"exact-app", L"", true, L"args " + argsFile);
        ASSERT_TRUE(app.main);
        pickFolder(app, folder);
        EXPECT_EQ(takeSummaryBox(app.process.dwProcessId), L"NZBs sent=0");
        std::wstring args = fromUtf8(readFileBytes(argsFile));
        EXPECT_NE(args.find(L"\n-u=" + folder + L"\n"), std::wstring::npos) << args;
    }
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
        SCOPED_TRACE(way.way);
        HWND dialog;
        if (way.keys.empty()) {
            dialog = openConfig(app);
        } else {
            ASSERT_TRUE(bringToFront(app, app.main, app.main));
            sendKeys(way.keys);
            dialog = findWindow(app.process.dwProcessId, L"Usenet config");
        }
        ASSERT_TRUE(dialog);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), app.main);
        EXPECT_FALSE(IsWindowEnabled(app.main)) << "the main window takes no input under the dialog";
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(waitClosed(app, dialog));
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
    ASSERT_TRUE(bringToFront(app, dialog, GetDlgItem(dialog, IDOK))) << "Save starts with the focus";
    for (int id : {1001, 1002, 1003, 1005, 1004, IDOK}) {
        sendKeys({{VK_TAB, true}, {VK_TAB, false}});
        EXPECT_TRUE(waitUntil("Tab to reach control " + std::to_string(id),
                              [&] { return GetDlgCtrlID(appFocus(app)) == id; }));
    }
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(waitClosed(app, dialog));
}

TEST(Dialog, ShowsAndTakesKeysDuringAFloodThatDoesNotEnd)
{
    // The stand-in prints for hours, until the clean-up stops it.
    App app = startApp(L"dialog-flood", L"", true, L"lines 4000000000 Upload[n] a line of the endless flood");
    ASSERT_TRUE(app.main);
    HWND view = GetDlgItem(app.main, 3);
    auto shown = [&] { return SendMessageW(view, WM_GETTEXTLENGTH, 0, 0); };
    ASSERT_TRUE(startFlood(app));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("opening " + std::to_string(round + 1));
        HWND dialog = openConfig(app);
        ASSERT_TRUE(dialog) << "Usenet config did not show during the flood";
        ASSERT_TRUE(bringToFront(app, dialog, GetDlgItem(dialog, IDOK)));
        HWND host = GetDlgItem(dialog, 1001);
        sendKeys({{VK_TAB, true}, {VK_TAB, false}, {'N', true}, {'N', false}, {'E', true}, {'E', false}});
        EXPECT_TRUE(waitUntil("keys typed into Host", [&] { return textOf(host) == L"ne"; }));
        LRESULT before = shown();
        EXPECT_TRUE(waitUntil("the log to go on behind the dialog", [&] { return shown() != before; }));
        sendKeys({{VK_ESCAPE, true}, {VK_ESCAPE, false}});
        ASSERT_TRUE(waitClosed(app, dialog));
    }
    pickFolder(app, L""); // the folder picker shows too, and cancels
}

TEST(Dialog, TypedValuesAreSavedByEnter)
{
    SKIP_UNLESS_DISPOSABLE();
    OnExit restore = keepSettings();
    App app = startApp(L"dialog-enter");
    ASSERT_TRUE(app.main);
    HWND dialog = openConfig(app);
    ASSERT_TRUE(dialog);
    typeSettings(dialog, L"News.Example.COM", L"JohnDoe", L"Se\"cr\\eT", L"1x2y");
    PostMessageW(GetDlgItem(dialog, 1004), BM_CLICK, 0, 0);
    ASSERT_TRUE(waitUntil("the box checked", [&] { return SendMessageW(GetDlgItem(dialog, 1004), BM_GETCHECK, 0, 0) == BST_CHECKED; }));
    EXPECT_EQ(textOf(GetDlgItem(dialog, 1001)), L"news.example.com");
    EXPECT_EQ(textOf(GetDlgItem(dialog, 1002)), L"JohnDoe");
    EXPECT_EQ(textOf(GetDlgItem(dialog, 1005)), L"12") << "letters are refused";
    EXPECT_NE(SendMessageW(GetDlgItem(dialog, 1003), EM_GETPASSWORDCHAR, 0, 0), 0) << "the password shows masked";

    pressKey(GetDlgItem(dialog, 1003), VK_RETURN); // Enter in any field saves
    ASSERT_TRUE(waitClosed(app, dialog));
    EXPECT_EQ(readFileBytes(settingsPath()),
              "# Kestrup autogenerated file\r\n[NNTP]\r\nPort = 563\r\nHost = \"news.example.com\"\r\n"
              "User = \"JohnDoe\"\r\nPass = \"Se\\\"cr\\\\eT\"\r\nConns = 12\r\nAnonimize = true\r\n");
    waitForLog(app, {L"Saved config " + settingsPath()});

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
    SKIP_UNLESS_DISPOSABLE();
    OnExit restore = keepSettings();
    const std::string before = "# left alone\r\n";
    writeFileBytes(settingsPath(), before);
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
    settleApp(app);
    EXPECT_EQ(readFileBytes(settingsPath()), before);
    EXPECT_TRUE(appLogLines(app).empty());
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
    settleApp(app);
    return appLogLines(app);
}

TEST(Dialog, SaveWhileTheFileIsHeldStillCloses)
{
    SKIP_UNLESS_DISPOSABLE();
    OnExit restore = keepSettings();
    const std::string before = "# held\r\n";
    writeFileBytes(settingsPath(), before);
    HANDLE holder = holdFileOpen(settingsPath());
    ASSERT_TRUE(holder);
    std::vector<std::wstring> log = saveThroughDialog(L"dialog-held");
    releaseFile(holder);
    EXPECT_EQ(log, std::vector<std::wstring>{L"Cannot open file=" + errorText(ERROR_SHARING_VIOLATION)});
    EXPECT_EQ(readFileBytes(settingsPath()), before);
}

TEST(Faults, UploaderCrashEndsTheRunLikeAnyOther)
{
    App app = startApp(L"crash", L"", true, L"text Upload[1] before the fault\ncrash");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    EXPECT_EQ(takeSummaryBox(app.process.dwProcessId), L"NZBs sent=1");
    ASSERT_TRUE(waitUntil("three log lines", [&] { return appLogLines(app).size() == 3; }));
    std::vector<std::wstring> lines = appLogLines(app);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"exec.done"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Upload[1] before the fault"), 1);
}

TEST(Faults, UploaderThatIsNoProgramFailsToStart)
{
    App app = startApp(L"bad-exe", L"", false);
    ASSERT_TRUE(app.main);
    writeFileBytes(app.folder + L"\\kestrup.exe", "MZ this is not a program\r\n");
    const std::vector<std::wstring> failed = {uploaderCommandLine(L"C:\\windows"), L"runCommand failed=" + errorText(0x800700C1u)};
    pickFolder(app, L"C:\\windows");
    waitForLog(app, failed);
    // A start attempt leaves nothing running: the next one is not refused as busy.
    pickFolder(app, L"C:\\windows");
    std::vector<std::wstring> twice = failed;
    twice.insert(twice.end(), failed.begin(), failed.end());
    waitForLog(app, twice);
}

TEST(Faults, OutputHeldOpenByAGrandchildComesBeforeTheSummary)
{
    App app = startApp(L"grandchild", L"", true, L"spawn " + gate() + L" Upload[2] from the grandchild\n"
                                                 L"text Upload[1] uploader done");
    ASSERT_TRUE(app.main);
    pickFolder(app, L"C:\\windows");
    // The uploader has exited (its line and exec.done come in either order),
    // and its output stays open while the grandchild lives.
    ASSERT_TRUE(waitUntil("the uploader's line and exec.done", [&] { return appLogLines(app).size() == 3; }));
    openGate();
    HWND box = summaryBox(app.process.dwProcessId);
    ASSERT_TRUE(box);
    std::vector<std::wstring> lines = appLogLines(app); // all in before the box shows
    EXPECT_EQ(takeSummaryBox(app.process.dwProcessId), L"NZBs sent=2");
    ASSERT_EQ(lines.size(), 4u);
    std::sort(lines.begin() + 1, lines.begin() + 3);
    EXPECT_EQ(lines, (std::vector<std::wstring>{uploaderCommandLine(L"C:\\windows"), L"Upload[1] uploader done", L"exec.done",
                                                L"Upload[2] from the grandchild"}));
}

TEST(Faults, ReadOnlySettingsFileIsLeftAlone)
{
    SKIP_UNLESS_DISPOSABLE();
    OnExit restore = keepSettings();
    const std::wstring file = settingsPath();
    const std::string before = "# read-only\r\n";
    writeFileBytes(file, before);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE probe = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        GTEST_SKIP() << "the read-only attribute refuses no write here (Wine run as root maps it to Unix "
                        "permissions, which root passes); the held file and the folder in the way still run";
    }
    EXPECT_EQ(saveThroughDialog(L"read-only"), std::vector<std::wstring>{L"Cannot open file=" + errorText(ERROR_ACCESS_DENIED)});
    EXPECT_EQ(readFileBytes(file), before);
}

TEST(Faults, SettingsFileThatCannotBeWrittenIsLeftAlone)
{
    SKIP_UNLESS_DISPOSABLE();
    OnExit restore = keepSettings();
    const std::wstring file = settingsPath(), folder = roamingFolder();

    // A folder where the file should be.
    DeleteFileW(file.c_str());
    CreateDirectoryW(file.c_str(), nullptr);
    EXPECT_EQ(saveThroughDialog(L"folder-in-the-way"), std::vector<std::wstring>{L"Cannot open file=" + errorText(ERROR_ACCESS_DENIED)});
    RemoveDirectoryW(file.c_str());

    // The settings folder itself is missing: one clear line, nothing created elsewhere.
    OnExit moveBack = moveAside(folder);
    std::vector<std::wstring> log = saveThroughDialog(L"no-folder");
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(L"C:\\kestrup.toml"), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(log.size(), 1u) << testing::PrintToString(log);
    EXPECT_TRUE(log[0] == L"Cannot open file=" + errorText(ERROR_PATH_NOT_FOUND) ||
                log[0].rfind(L"pkf->GetPath failed: ", 0) == 0) << log[0];
}
