// A stand-in for the kestrup uploader, for the tests and the demo.
//
// Without KESTRUP_STUB in its environment it acts as a demo: one line
// "Upload[i/n] <name>" per file of the -u= folder, with a short pause.
// With it, it runs the script held there, one command per line:
//   args PATH        write the command line, then each argv entry, to PATH
//   console PATH     write whether it has a console window to PATH
//   inherited PATH   write to PATH whether it inherited a pipe's read end
//   text STRING      write STRING and a line feed, in one write
//   raw STRING       write STRING alone
//   hex 41 0a ...    write these bytes, in one write
//   lines N PREFIX   write N lines "PREFIX i", in large writes
//   big N            write N bytes 'x' and no line feed
//   sleep MS         pause
//   wait NAME        block until the named event NAME is set
//   spawn NAME TEXT  start a copy of itself that inherits the output, waits
//                    for the event NAME, writes TEXT and exits; do not wait for it
//   hold NAME PATH   open PATH unshared, set the named event NAME, and keep
//                    it open until stopped; end with the error if the open fails
//   crash            fault on purpose
//   exit CODE        end with CODE (decimal or 0x hex)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

static HANDLE out;

static std::string utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

// Like an uploader whose reader has gone, it ends when its output breaks.
static void put(const std::string& bytes)
{
    DWORD written;
    if (!WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        ExitProcess(GetLastError());
}

static void writeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

static void writeArgs(const std::wstring& path, int argc, wchar_t** argv)
{
    std::wstring text = GetCommandLineW();
    text += L"\n";
    for (int i = 0; i < argc; ++i)
        text += std::wstring(argv[i]) + L"\n";
    writeFile(path, utf8(text));
}

// Inherited handles keep their values in the child. A read end among them
// would keep the uploader's own output open after the program has gone.
static bool inheritedAReadEnd()
{
    for (uintptr_t value = 4; value < 0x10000; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD flags, available;
        if (handle != out && GetHandleInformation(handle, &flags) && GetFileType(handle) == FILE_TYPE_PIPE &&
            PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr))
            return true;
    }
    return false;
}

static void spawn(const std::wstring& rest)
{
    size_t space = rest.find(L' ');
    std::wstring script = L"wait " + rest.substr(0, space) + L"\ntext " +
                          (space == std::wstring::npos ? L"" : rest.substr(space + 1));
    SetEnvironmentVariableW(L"KESTRUP_STUB", script.c_str());
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"kestrup.exe";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = out;
    PROCESS_INFORMATION child;
    if (CreateProcessW(self, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                       &startup, &child)) {
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
}

static int demo(int argc, wchar_t** argv)
{
    std::wstring folder, settings;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.rfind(L"-u=", 0) == 0)
            folder = arg.substr(3);
        else if (arg.rfind(L"-c=", 0) == 0)
            settings = arg.substr(3);
    }
    bool haveSettings = GetFileAttributesW(settings.c_str()) != INVALID_FILE_ATTRIBUTES;
    put(utf8(L"kestrup (demo): settings " + settings + (haveSettings ? L"" : L" (not saved yet)") + L"\n"));

    std::vector<std::wstring> names;
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\')
        pattern += L'\\';
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((pattern + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    put(utf8(L"kestrup (demo): " + std::to_wstring(names.size()) + L" files in " + folder + L"\n"));
    for (size_t i = 0; i < names.size(); ++i) {
        Sleep(300);
        put(utf8(L"Upload[" + std::to_wstring(i + 1) + L"/" + std::to_wstring(names.size()) + L"] " +
                 names[i] + L"\n"));
    }
    put("kestrup (demo): done\n");
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    out = GetStdHandle(STD_OUTPUT_HANDLE);
    wchar_t script[32767];
    DWORD length = GetEnvironmentVariableW(L"KESTRUP_STUB", script, 32767);
    if (length == 0 || length >= 32767)
        return demo(argc, argv);
    SetEnvironmentVariableW(L"KESTRUP_STUB", nullptr); // not for children

    std::wstring all(script, length);
    size_t at = 0;
    while (at <= all.size()) {
        size_t end = all.find(L'\n', at);
        if (end == std::wstring::npos)
            end = all.size();
        std::wstring line = all.substr(at, end - at);
        at = end + 1;
        size_t space = line.find(L' ');
        std::wstring verb = line.substr(0, space);
        std::wstring rest = space == std::wstring::npos ? L"" : line.substr(space + 1);

        if (verb == L"args") {
            writeArgs(rest, argc, argv);
        } else if (verb == L"console") {
            writeFile(rest, GetConsoleWindow() ? "a console window" : "no console window");
        } else if (verb == L"inherited") {
            writeFile(rest, inheritedAReadEnd() ? "a pipe's read end" : "no read end");
        } else if (verb == L"text") {
            put(utf8(rest) + "\n");
        } else if (verb == L"raw") {
            put(utf8(rest));
        } else if (verb == L"hex") {
            std::string bytes;
            for (wchar_t* p = rest.data(); *p;) {
                wchar_t* next;
                unsigned long value = wcstoul(p, &next, 16);
                if (next == p)
                    break;
                bytes += static_cast<char>(value);
                p = next;
            }
            put(bytes);
        } else if (verb == L"lines") {
            wchar_t* prefix;
            unsigned long count = wcstoul(rest.c_str(), &prefix, 10);
            std::string head = utf8(*prefix ? prefix + 1 : prefix);
            std::string batch;
            for (unsigned long i = 1; i <= count; ++i) {
                batch += head + " " + std::to_string(i) + "\n";
                if (batch.size() > 60000) {
                    put(batch);
                    batch.clear();
                }
            }
            put(batch);
        } else if (verb == L"big") {
            unsigned long count = wcstoul(rest.c_str(), nullptr, 10);
            std::string block(65536, 'x');
            for (; count >= block.size(); count -= static_cast<unsigned long>(block.size()))
                put(block);
            put(std::string(count, 'x'));
        } else if (verb == L"sleep") {
            Sleep(wcstoul(rest.c_str(), nullptr, 10));
        } else if (verb == L"wait") {
            HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, rest.c_str());
            WaitForSingleObject(gate, INFINITE);
            CloseHandle(gate);
        } else if (verb == L"spawn") {
            spawn(rest);
        } else if (verb == L"hold") {
            size_t space2 = rest.find(L' ');
            HANDLE file = CreateFileW(rest.c_str() + space2 + 1, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE)
                return static_cast<int>(GetLastError());
            SetEvent(CreateEventW(nullptr, TRUE, FALSE, rest.substr(0, space2).c_str()));
            Sleep(INFINITE);
        } else if (verb == L"crash") {
            // No debugger, no crash dialog: the fault just ends the process
            // with its code, 0xC0000005.
            SetErrorMode(SEM_NOGPFAULTERRORBOX);
            SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { return EXCEPTION_EXECUTE_HANDLER; });
            *static_cast<volatile int*>(nullptr) = 1;
        } else if (verb == L"exit") {
            return static_cast<int>(wcstoul(rest.c_str(), nullptr, 0));
        }
    }
    return 0;
}
