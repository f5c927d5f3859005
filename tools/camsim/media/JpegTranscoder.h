#pragma once
// Rewrites a baseline JPEG picture into what RFC 2435 can carry: the scan
// re-encoded with the standard Huffman tables of ITU-T T.81 Annex K.3 and,
// for a Q below 128, requantised to the standard tables scaled by Q.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace camsim::media {

struct RtpJpegPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t type = 0;  // 0: 4:2:2, 1: 4:2:0
    uint16_t restartInterval = 0;
    std::array<uint8_t, 64> lumaTable{};    // zigzag order
    std::array<uint8_t, 64> chromaTable{};  // zigzag order
    std::vector<uint8_t> scan;              // entropy-coded data, restart markers included, no EOI
};

// jpeg: one picture from SOI to EOI. q below 128: requantise to the scaled
// standard tables; otherwise keep the picture's own tables. restartInterval:
// MCUs between restart markers in the result (0: the picture's own interval).
bool TranscodeForRtp(const uint8_t* jpeg, size_t length, uint8_t q, uint16_t restartInterval,
                     RtpJpegPicture& picture);

}  // namespace camsim::media
