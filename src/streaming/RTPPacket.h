#pragma once
// One parsed RTP packet (RFC 3550, section 5.1).
#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane {

class CRTPPacket {
public:
    CRTPPacket() = default;
    virtual ~CRTPPacket() = default;

    // Parses a datagram; releases what the object held first. False for a
    // datagram that is not a well-formed RTP version 2 packet.
    bool Parse(const uint8_t* bytes, size_t length);

    uint16_t m_csrcCount = 0;
    std::vector<uint8_t> m_csrcList;
    uint32_t m_ssrc = 0;  // network byte order, as received
    uint8_t m_marker = 0;
    uint8_t m_padding = 0;
    uint8_t m_payloadType = 0;
    uint16_t m_sequenceNumber = 0;
    uint32_t m_timeStamp = 0;
    uint16_t m_extensionProfile = 0;
    uint16_t m_extensionLength = 0;  // in 32-bit words
    std::vector<uint8_t> m_extension;
    std::vector<uint8_t> m_payload;  // padding removed

    const uint8_t* Payload() const { return m_payload.data(); }
    uint32_t PayloadLength() const { return static_cast<uint32_t>(m_payload.size()); }
};

}  // namespace korvane
