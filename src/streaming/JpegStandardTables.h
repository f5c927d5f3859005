#pragma once
// The example tables of ITU-T T.81 Annex K that RTP JPEG (RFC 2435) relies on.
#include <cstddef>
#include <cstdint>

namespace korvane::jpeg {

// Position in natural order of each coefficient in zigzag order.
extern const uint8_t kZigzagToNatural[64];

// A Huffman table as a DHT segment holds it: code counts per length, then the values.
struct HuffmanTableSpec {
    const uint8_t* counts;  // 16 entries
    const uint8_t* values;
    size_t valueCount;
};

extern const HuffmanTableSpec kLuminanceDc;
extern const HuffmanTableSpec kLuminanceAc;
extern const HuffmanTableSpec kChrominanceDc;
extern const HuffmanTableSpec kChrominanceAc;

// The standard quantisers scaled for the quality factor q (1-99), in zigzag order.
void ScaledQuantisers(uint8_t q, uint8_t luminance[64], uint8_t chrominance[64]);

}  // namespace korvane::jpeg
