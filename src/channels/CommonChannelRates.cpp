#include "channels/CommonChannelRates.h"

#include "driver/ChannelSettings.h"

namespace korvane {

namespace {

constexpr uint32_t kBitrateTable[] = {64,   128,  256,  384,  512,   768,   1024,  1536, 2048,
                                      3072, 4096, 6144, 8192, 10240, 12288, 14336, 16384};

uint32_t RoundedThousandths(uint32_t divisor)
{
    return static_cast<uint32_t>(1000.0 / divisor + 0.5);
}

}  // namespace

uint32_t FramesPerSecond(uint32_t frameRateValue)
{
    if (frameRateValue == 0)
        return 1;
    if ((frameRateValue & 0xF000) == kFrameRateFpsMarker)
        return frameRateValue & 0x0FFF;
    return RoundedThousandths(frameRateValue);
}

uint32_t FrameRateValue(uint32_t framesPerSecond)
{
    return RoundedThousandths(framesPerSecond);
}

uint32_t FrameRateCode(uint32_t cameraType, uint32_t framesPerSecond)
{
    const uint32_t r = framesPerSecond;
    if (cameraType == kCameraTypeBasic && r < 11)
        return 2;
    if (r >= 25)
        return 0;
    if (r >= 15)
        return 1;
    if (r >= 10)
        return 2;
    if (r >= 6)
        return 3;
    if (r >= 5)
        return 4;
    if (r >= 3)
        return 5;
    if (r == 2)
        return 6;
    if (r == 1)
        return 7;
    return 0;
}

uint32_t QualityLevel(uint32_t quality, uint32_t levels)
{
    const uint32_t q = quality == 0 ? 1 : quality;
    return (q - 1) / (100 / levels) + 1;
}

uint32_t BitrateCode(uint32_t cameraType, uint32_t quality)
{
    if (quality < 2)
        return 1;
    const uint32_t maximum =
        cameraType == kCameraTypeFullHd || cameraType == kCameraTypeTwoStreams ? 16384 : 4096;
    const uint32_t target = (maximum - 64) * quality / 100 + 64;
    uint32_t code = 1;
    for (uint32_t k = 1; k <= 17 && kBitrateTable[k - 1] <= target; ++k)
        code = k;
    return target > 16384 ? 1 : code;
}

uint32_t JpegBitrateLimit(uint32_t quality)
{
    return quality < 2 ? 32 : quality * 4064 / 100 + 32;
}

}  // namespace korvane
