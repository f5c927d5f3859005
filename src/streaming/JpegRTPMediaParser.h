#pragma once
// Reassembles RTP/JPEG payloads (RFC 2435) into complete JPEG/JFIF images,
// rebuilding the headers the payload format leaves out.
#include <cstddef>
#include <cstdint>

#include "streaming/RTPMediaParser.h"

namespace korvane {

class CJpegRTPMediaParser : public CRTPMediaParser {
public:
    static constexpr uint32_t kFourCC = 0x4745504A;  // "JPEG"
    static constexpr uint32_t kHeaderRoom = 1024;    // frame bytes allocated beyond the payload

    explicit CJpegRTPMediaParser(IDriver* driver);

    void ProcessPacket(const CRTPPacket& packet) override;
    void Reset() override;

private:
    void HandlePayload(const uint8_t* payload, size_t length);
    void ProcessFrame(uint32_t rtpTimeStamp);
    // Writes the image into `out`; its size, or 0 (after Reset) when the frame is unusable.
    size_t BuildImage(uint8_t* out, size_t capacity);

    bool m_waiting = true;
    uint32_t m_headerLength = 8;
};

}  // namespace korvane
