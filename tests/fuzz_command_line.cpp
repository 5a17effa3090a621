// libFuzzer: any folder string, composed into the uploader's command line,
// comes back whole from the Windows argument splitting rules.
#include "argv_reference.h"
#include "run/command_line.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Two bytes a UTF-16 unit. Windows paths hold neither NUL nor '"'.
    std::wstring folder;
    for (size_t i = 0; i + 1 < size; i += 2) {
        wchar_t unit = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        folder += (unit == 0 || unit == L'"') ? L'_' : unit;
    }
    std::vector<std::wstring> args = splitCommandLine(composeCommandLine(L"C:\\Users\\me\\AppData\\Roaming", folder));
    if (args.size() != 3 || args[0] != L"kestrup.exe" || args[1] != L"-c=C:\\Users\\me\\AppData\\Roaming\\kestrup.toml" ||
        args[2] != L"-u=" + folder) {
        std::fprintf(stderr, "folder of %zu units did not come back whole\n", folder.size());
        std::abort();
    }
    return 0;
}
