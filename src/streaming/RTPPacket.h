#pragma once
// One parsed RTP packet (RFC 3550, section 5.1), parsed in place: the packet
// refers to the datagram's bytes, which its owner keeps while the packet is used.
#include <cstddef>
#include <cstdint>

namespace korvane {

class CRTPPacket {
public:
    CRTPPacket() = default;
    virtual ~CRTPPacket() = default;

    // Parses a datagram; forgets what the object referred to first. False for a
    // datagram that is not a well-formed RTP version 2 packet.
    bool Parse(const uint8_t* bytes, size_t length);

    // Makes the packet refer to a payload of the caller's (for packets built by hand).
    void SetPayload(const uint8_t* bytes, size_t length)
    {
        m_payload = bytes;
        m_payloadLength = static_cast<uint32_t>(length);
    }

    uint16_t m_csrcCount = 0;
    const uint8_t* m_csrcList = nullptr;  // m_csrcCount × 4 bytes as received
    uint32_t m_ssrc = 0;                  // network byte order, as received
    uint8_t m_marker = 0;
    uint8_t m_padding = 0;
    uint8_t m_payloadType = 0;
    uint16_t m_sequenceNumber = 0;
    uint32_t m_timeStamp = 0;
    uint16_t m_extensionProfile = 0;
    uint16_t m_extensionLength = 0;  // in 32-bit words
    const uint8_t* m_extension = nullptr;

    const uint8_t* Payload() const { return m_payload; }
    uint32_t PayloadLength() const { return m_payloadLength; }  // padding removed

private:
    const uint8_t* m_payload = nullptr;
    uint32_t m_payloadLength = 0;
};

}  // namespace korvane
