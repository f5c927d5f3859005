#include "streaming/RTPPacket.h"

#include <cstring>

namespace korvane {

namespace {

constexpr size_t kFixedHeaderBytes = 12;

uint16_t ReadU16(const uint8_t* bytes)
{
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

uint32_t ReadU32(const uint8_t* bytes)
{
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

bool ParseFields(CRTPPacket& packet, const uint8_t* bytes, size_t length)
{
    if (bytes == nullptr || length <= kFixedHeaderBytes || (bytes[0] & 0xC0) != 0x80)
        return false;

    size_t header = kFixedHeaderBytes;
    const uint16_t csrcCount = bytes[0] & 0x0F;
    if (csrcCount != 0) {
        const size_t csrcBytes = 4u * csrcCount;
        if (length - header <= csrcBytes)
            return false;
        packet.m_csrcList = bytes + header;
        header += csrcBytes;
    }

    if (bytes[0] & 0x10) {
        if (length - header < 4)
            return false;
        const uint16_t profile = ReadU16(bytes + header);
        const uint16_t words = ReadU16(bytes + header + 2);
        const size_t extensionBytes = 4u * words;
        if (length - header - 4 < extensionBytes)
            return false;
        packet.m_extensionProfile = profile;
        packet.m_extensionLength = words;
        packet.m_extension = bytes + header + 4;
        header += 4 + extensionBytes;
    }

    const uint8_t padding = (bytes[0] >> 5) & 1;
    const size_t paddingBytes = padding ? bytes[length - 1] : 0;
    if (header + paddingBytes > length)
        return false;

    packet.m_csrcCount = csrcCount;
    packet.m_marker = bytes[1] >> 7;
    packet.m_payloadType = bytes[1] & 0x7F;
    packet.m_padding = padding;
    packet.m_sequenceNumber = ReadU16(bytes + 2);
    packet.m_timeStamp = ReadU32(bytes + 4);
    std::memcpy(&packet.m_ssrc, bytes + 8, sizeof packet.m_ssrc);
    packet.SetPayload(bytes + header, length - paddingBytes - header);
    return true;
}

}  // namespace

bool CRTPPacket::Parse(const uint8_t* bytes, size_t length)
{
    *this = CRTPPacket();
    if (ParseFields(*this, bytes, length))
        return true;
    *this = CRTPPacket();
    return false;
}

}  // namespace korvane
