// The reader from arbitrary bytes: no crash or sanitizer report, and
// formatting keeps what every clean entry grants and is stable.

#include "../tests/properties.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string failure = properties::formatKeepsMeaning({reinterpret_cast<const char*>(data), size});
    if (!failure.empty()) {
        std::fprintf(stderr, "violated: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
