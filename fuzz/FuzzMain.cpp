// One libFuzzer program per target: TALLOWCAM_FUZZ_TARGET names it.
#include <cstdio>
#include <cstdlib>

#include "FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const korvane::fuzz::FuzzEntry entry = [] {
        const korvane::fuzz::FuzzEntry found = korvane::fuzz::FindFuzzEntry(TALLOWCAM_FUZZ_TARGET);
        if (found == nullptr) {
            std::fprintf(stderr, "unknown fuzz target %s\n", TALLOWCAM_FUZZ_TARGET);
            std::abort();
        }
        return found;
    }();
    if (!entry(data, size)) {
        std::fprintf(stderr, "fuzz target %s: the parser broke a rule\n", TALLOWCAM_FUZZ_TARGET);
        std::abort();
    }
    return 0;
}
