// libFuzzer: arbitrary output at arbitrary read boundaries through the reader core.
#include "reader_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string failure = checkReaderCore(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "reader check failed: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
