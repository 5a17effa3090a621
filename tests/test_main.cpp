#include "harness.h"

#include <objbase.h>

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv)
{
    // The program's UI thread is a single-threaded COM apartment; so is this one.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        demoByItself = demoByItself || std::wstring(argv[i]) == L"--auto";
    installCleanUp();
    return RUN_ALL_TESTS();
}
