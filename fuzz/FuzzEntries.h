#pragma once
// The driver's parsers fed arbitrary bytes: each entry takes one input and
// must neither crash, leak nor hang, whatever the bytes; it returns false
// when what the parser produced breaks one of its rules. The libFuzzer
// programs and the regression test both call these.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::fuzz {

using FuzzEntry = bool (*)(const uint8_t* data, size_t size);

struct FuzzTarget {
    std::string name;  // also the folder of its corpus and regressions
    FuzzEntry entry;
};

const std::vector<FuzzTarget>& FuzzTargets();
// Null for an unknown name.
FuzzEntry FindFuzzEntry(const std::string& name);

}  // namespace korvane::fuzz
