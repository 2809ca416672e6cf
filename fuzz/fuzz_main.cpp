// One libFuzzer target; RELIEVA_FUZZ_TARGET names the feed it drives.
#include "fuzz/uFuzzFeeds.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // A 256 x 256 grid: every path of the reader, in milliseconds per image.
    FuzzLargestTiff = 1 << 16;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const FuzzFeed feed = [] {
        for (const FuzzTarget &target : FuzzTargets())
            if (std::strcmp(target.name, RELIEVA_FUZZ_TARGET) == 0) return target.feed;
        std::fprintf(stderr, "no feed is named %s\n", RELIEVA_FUZZ_TARGET);
        std::abort();
    }();
    feed(data, size);
    return 0;
}
