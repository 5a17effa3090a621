// The start-up hardening, in a process of its own: it is process-wide and
// cannot be undone. planted.dll sits beside this executable.
#include "ui/ui.h"

#include <gtest/gtest.h>

TEST(DllSearch, DllsBesideTheProgramAreNoLongerLoaded)
{
    HMODULE planted = LoadLibraryW(L"planted.dll");
    ASSERT_TRUE(planted) << "found beside the executable, before the hardening";
    FreeLibrary(planted);
    const wchar_t* system = L"version.dll"; // a System32 DLL this process has not loaded yet
    ASSERT_FALSE(GetModuleHandleW(system));

    restrictDllSearch();
    EXPECT_FALSE(LoadLibraryW(L"planted.dll"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(LoadLibraryW(system)) << "System32 is still searched";
}

int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
