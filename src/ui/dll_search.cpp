// Start-up hardening: DLLs loaded by bare name come from System32 only.
#include "ui.h"

// Windows looks for a DLL loaded by bare name in the program's own folder
// first, and people unpack this program wherever it lands, often into a
// Downloads folder full of other files. The folder picker, COM and the shell
// load DLLs by name while the program runs, so a planted DLL of such a name
// would run inside it. From this call on, the default search covers System32
// alone. The function came with an update to Windows 7 (KB2533623): where it
// is missing the program starts as before, without the restriction.
void restrictDllSearch()
{
    using SetDirectories = BOOL(WINAPI*)(DWORD);
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (found)
        reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(found))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
