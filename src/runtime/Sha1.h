#pragma once
// SHA-1 message digest (FIPS 180-1).
#include <array>
#include <cstddef>
#include <cstdint>

namespace korvane {

std::array<uint8_t, 20> Sha1(const void* data, size_t length);

}  // namespace korvane
