#pragma once
// The camera's codes for what a stream request asks, worked out here from the
// camera's documented tables so that the tests do not take them from the driver.
#include <cstdint>

namespace korvane::test {

// dh03: resolution code of a picture size.
inline uint32_t ExpectedResolutionCode(uint32_t width, uint32_t height)
{
    switch (width) {
    case 320:
        return height == 240 ? 1 : 7;
    case 480:
        return 4;
    case 640:
        return height == 480 ? 2 : 8;
    case 960:
        return 5;
    case 1280:
        return height == 960 ? 3 : 9;
    case 1920:
        return 6;
    default:
        return 0;
    }
}

// dh04: frame-rate code of a rate in frames per second.
inline uint32_t ExpectedFrameRateCode(uint32_t cameraType, uint32_t rate)
{
    if (cameraType == 1 && rate < 11)
        return 2;
    const uint32_t lowest[] = {25, 15, 10, 6, 5, 3, 2, 1};  // the lowest rate of codes 0..7
    for (uint32_t code = 0; code < 8; ++code)
        if (rate >= lowest[code])
            return code;
    return 0;
}

// dh02: the largest bit rate of the camera's table not above the quality's share of the maximum.
inline uint32_t ExpectedBitrateCode(uint32_t cameraType, uint32_t quality)
{
    const uint32_t table[] = {64, 128, 256, 384, 512, 768, 1024, 1536, 2048,
                              3072, 4096, 6144, 8192, 10240, 12288, 14336, 16384};
    if (quality < 2)
        return 1;
    const uint32_t maximum = cameraType == 2 || cameraType == 3 ? 16384 : 4096;
    const uint32_t target = (maximum - 64) * quality / 100 + 64;
    uint32_t code = 1;
    for (uint32_t k = 0; k < 17; ++k)
        if (table[k] <= target)
            code = k + 1;
    return code;
}

// dh01 and the ONVIF encoder quality: quality 1..100 in `levels` steps.
inline uint32_t ExpectedQualityLevel(uint32_t quality, uint32_t levels)
{
    return (quality - 1) / (100 / levels) + 1;
}

// The ONVIF rate control's bit-rate limit of a Motion JPEG stream, kbit/s.
inline uint32_t ExpectedJpegBitrateLimit(uint32_t quality)
{
    return quality < 2 ? 32 : quality * 4064 / 100 + 32;
}

}  // namespace korvane::test
