#pragma once
// A parsed session description: video, audio and metadata sections and the
// codec parameter bytes of the video section.
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

struct SdpMediaInfo {
    uint16_t port = 0;
    std::string profile;            // transport profile of the media line, e.g. RTP/AVP
    std::string connectionAddress;  // without any /ttl suffix
    std::string control;            // value of "a=control:"
    std::string encoding;           // e.g. "H264/90000"

    void Reset() { *this = SdpMediaInfo(); }
};

struct SdpInfo {
    enum Section { kVideo = 0, kAudio = 1, kMetadata = 2, kSectionCount = 3 };

    SdpMediaInfo media[kSectionCount];
    std::vector<uint8_t> sequenceParameterSet;  // H.264 SPS
    std::vector<uint8_t> pictureParameterSet;   // H.264 PPS
    std::vector<uint8_t> config;                // codec configuration bytes ("config")

    const SdpMediaInfo& Video() const { return media[kVideo]; }
    const SdpMediaInfo& Audio() const { return media[kAudio]; }
    void Reset() { *this = SdpInfo(); }
};

}  // namespace korvane
