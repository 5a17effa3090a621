// A DLL that does nothing, planted beside a test executable under a name
// that a program might load by bare name.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
