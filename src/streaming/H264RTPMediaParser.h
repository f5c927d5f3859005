#pragma once
// Reassembles H.264 RTP payloads (RFC 6184: single NAL unit, STAP-A, FU-A)
// into Annex B access units for the host.
#include <cstddef>
#include <cstdint>

#include "streaming/RTPMediaParser.h"

namespace korvane {

// Picture size from the first sequence parameter set within the first 64
// bytes of Annex B data (frame cropping applied).
bool ReadPictureSizeFromSps(const uint8_t* annexB, size_t length, uint32_t& width, uint32_t& height);

class CH264RTPMediaParser : public CRTPMediaParser {
public:
    static constexpr uint32_t kFourCCKeyFrame = 0x34363248;    // "H264": carries a readable SPS
    static constexpr uint32_t kFourCCOtherFrame = 0x34363249;  // "I264"

    explicit CH264RTPMediaParser(IDriver* driver);

    void ProcessPacket(const CRTPPacket& packet) override;
    void Reset() override;
    void SetParameterSets(const SdpInfo& sdp) override;

private:
    bool HandlePayload(const uint8_t* payload, size_t length);
    bool HandleSingleNal(const uint8_t* nal, size_t length);
    bool HandleStapA(const uint8_t* payload, size_t length);
    bool HandleFuA(const uint8_t* payload, size_t length);
    void AppendNal(const uint8_t* nal, size_t length);
    void AppendNalHeader(uint8_t header);
    void AppendStoredParameterSets();
    void ProcessFrame(uint32_t rtpTimeStamp);

    bool m_waitingForKeyFrame = true;
    bool m_fragmentOpen = false;  // an FU-A start arrived and its end has not
};

}  // namespace korvane
