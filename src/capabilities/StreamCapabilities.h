#pragma once
// What one stream of a camera offers: codecs, resolutions and frame rates.
#include <cstdint>
#include <set>
#include <vector>

namespace korvane {

// Codec ids of the capability store (not the host's codec numbers).
enum : uint32_t {
    kCapabilityCodecH264 = 1,
    kCapabilityCodecMpeg4 = 2,
    kCapabilityCodecJpeg = 3,
};

// Stream groups: the main stream and the second and third streams.
enum : uint32_t {
    kMainStreamGroup = 0,
    kLiveStreamGroup = 1,
    kRemoteStreamGroup = 2,
    kStreamGroupCount = 3,
};

struct STREAM_RESOLUTION {
    uint16_t width = 0;
    uint16_t height = 0;
    uint32_t maxFrameRate = 0;  // frames per second, 0 = not limited
};

struct STREAM_CAPABILITIES {
    std::set<uint32_t> codecs;
    std::vector<STREAM_RESOLUTION> resolutions;  // in the order they were added
    std::set<uint32_t> frameRates;               // frames per second
    uint32_t defaultFrameRate = 0;               // 0 = unset

    // The highest frame rate, 0 without any.
    uint32_t HighestFrameRate() const { return frameRates.empty() ? 0 : *frameRates.rbegin(); }
};

}  // namespace korvane
