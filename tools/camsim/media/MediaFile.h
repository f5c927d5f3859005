#pragma once
// Helpers the media sources share: whole-file reading, start-code search,
// text encodings for SDP attributes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace camsim::media {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// Offsets of every 00 00 01 start code (of its first byte).
std::vector<size_t> FindStartCodes(const std::vector<uint8_t>& bytes);

// Base64 (RFC 4648) on one line, as SDP attributes need it.
std::string Base64Line(const uint8_t* bytes, size_t length);
std::string HexUpper(const uint8_t* bytes, size_t length);

// The sample media: installed beside the program, or in the source tree.
std::string MediaDirectory();
std::string SamplePath(const char* fileName);

}  // namespace camsim::media
