#pragma once
// Base64 with the RFC 4648 alphabet and "=" padding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// Puts CR LF after every 76 output characters.
std::string Base64Encode(const uint8_t* data, size_t length);
// Skips every character outside the alphabet (padding, line ends, blanks).
std::vector<uint8_t> Base64Decode(const std::string& text);

}  // namespace korvane
