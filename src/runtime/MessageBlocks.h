#pragma once
// The block framing MD5 and SHA-1 share: the message in 64-byte blocks, then
// the rest, a 1 bit, zeros and the message length in bits.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace korvane {

enum class LengthByteOrder { LittleEndian, BigEndian };

// Calls process(const uint8_t* block) for every 64-byte block of the padded message.
template <typename ProcessBlock>
void ForEachMessageBlock(const void* data, size_t length, LengthByteOrder order, ProcessBlock&& process)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    for (; length - done >= 64; done += 64)
        process(bytes + done);

    uint8_t tail[128] = {};
    const size_t rest = length - done;
    if (rest > 0)
        std::memcpy(tail, bytes + done, rest);
    tail[rest] = 0x80;
    const size_t tailLength = rest < 56 ? 64 : 128;
    const uint64_t bitLength = static_cast<uint64_t>(length) * 8;
    for (size_t i = 0; i < 8; ++i) {
        const size_t at = order == LengthByteOrder::LittleEndian ? tailLength - 8 + i : tailLength - 1 - i;
        tail[at] = static_cast<uint8_t>(bitLength >> (8 * i));
    }
    for (size_t offset = 0; offset < tailLength; offset += 64)
        process(tail + offset);
}

inline uint32_t RotateLeft(uint32_t value, uint32_t bits)
{
    return (value << bits) | (value >> (32 - bits));
}

}  // namespace korvane
