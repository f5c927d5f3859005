#pragma once
// Settings of one video stream as the host asked for it.
#include <cstdint>

namespace korvane {

enum : uint32_t {
    kCodecDefault = 0,
    kCodecJpeg = 1,
    kCodecMpeg4 = 2,
    kCodecH264 = 3,
    kCodecDefaultAlt = 16,
};

// Stream roles (the stream number within a channel index).
enum : uint32_t {
    kStreamRec = 0,
    kStreamLive = 1,
    kStreamRemote = 2,
};

constexpr uint32_t kFrameRateFpsMarker = 0x7000;

struct ChannelSettings {
    uint32_t frameRate = 0;  // ms between frames, or 0x7000 + fps; 0 = 1 fps
    uint32_t quality = 0;    // 1..100
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t codec = 0;
    uint32_t streamNumber = 0;
};

}  // namespace korvane
