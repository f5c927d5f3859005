#pragma once
// The Canon stream settings' numbers: frame rates and their codes (dh04),
// quality levels (dh01), bit-rate codes (dh02) and the JPEG bit-rate limit.
#include <cstdint>

namespace korvane {

// Camera types (host parameter 3).
enum : uint32_t {
    kCameraTypeBasic = 1,       // neither of the next two features
    kCameraTypeFullHd = 2,      // offers 1920x1080, no second stream
    kCameraTypeTwoStreams = 3,  // a second H.264 stream (setting dh10)
};

constexpr uint32_t kDefaultQualityLevels = 5;

// Frames per second of a frame-rate value: 0 gives 1, 0x7000 + r gives r,
// anything else is a period in milliseconds (rounded).
uint32_t FramesPerSecond(uint32_t frameRateValue);
// The period in milliseconds of a rate (rounded); 15 gives 67.
uint32_t FrameRateValue(uint32_t framesPerSecond);
uint32_t FrameRateCode(uint32_t cameraType, uint32_t framesPerSecond);
// Quality 1..100 as one of `levels` (1..100) steps, 1..levels. A quality of 0 counts as 1.
uint32_t QualityLevel(uint32_t quality, uint32_t levels);
// Index 1..17 into the camera's bit-rate table of the target rate for the quality.
uint32_t BitrateCode(uint32_t cameraType, uint32_t quality);
// kbit/s, 32..4096 for qualities 1..100.
uint32_t JpegBitrateLimit(uint32_t quality);

}  // namespace korvane
