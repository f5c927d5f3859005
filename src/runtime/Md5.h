#pragma once
// MD5 message digest (RFC 1321) in its lower-case hexadecimal form.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvane {

std::array<uint8_t, 16> Md5(const void* data, size_t length);
// 32 lower-case hexadecimal digits.
std::string Md5Hex(const void* data, size_t length);
std::string Md5Hex(const std::string& text);

}  // namespace korvane
