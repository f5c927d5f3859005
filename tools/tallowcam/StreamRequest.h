#pragma once
// What the host asks of one video stream: picture size, codec, frame rate and quality.
#include <cstdint>

#include "tallowcam/HostInterfaces.h"

namespace tallowcam_host {

enum : uint32_t {
    kCodecMotionJpeg = 1,
    kCodecH264 = 3,
};

struct StreamSettings {
    uint32_t codec = kCodecH264;
    uint32_t width = 640;
    uint32_t height = 480;
    uint32_t framesPerSecond = 25;
    uint32_t quality = 60;  // 1..100
    bool motionDetection = false;  // the driver also reports the camera's motion state
};

class StreamRequest final : public korvane::ipcapture::IStreamRequest,
                      private korvane::ipcapture::IStreamFormat,
                      private korvane::ipcapture::IStreamRate,
                      private korvane::ipcapture::IResolution {
public:
    TALLOWCAM_DELETING_DESTRUCTOR
    explicit StreamRequest(const StreamSettings& settings) : m_settings(settings) {}

    korvane::ipcapture::IStreamFormat* GetFormat() override { return this; }
    korvane::ipcapture::IStreamRate* GetRate() override { return this; }
    uint32_t GetHostInfo() override { return 0; }

private:
    // IStreamFormat
    korvane::ipcapture::IResolution* GetResolution() override { return this; }
    uint32_t GetCodec() override { return m_settings.codec; }
    // IStreamRate: a rate in frames per second is sent as 0x7000 + rate.
    uint32_t GetFrameRate() override { return 0x7000 + m_settings.framesPerSecond; }
    uint32_t GetQuality() override { return m_settings.quality; }
    uint32_t IsMotionDetectionWanted() override { return m_settings.motionDetection ? 1 : 0; }
    // IResolution
    uint32_t GetWidth() override { return m_settings.width; }
    uint32_t GetHeight() override { return m_settings.height; }

    StreamSettings m_settings;
};

}  // namespace tallowcam_host
