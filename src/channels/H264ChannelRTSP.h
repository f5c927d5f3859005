#pragma once
// A Canon H.264 stream: its settings go to the camera as one administration
// settings request (resolution, frame rate, bit rate or quality, and on
// two-stream cameras the switch to two streams).
#include <string>

#include "channels/CommonChannel.h"

namespace korvane {

class CH264ChannelRTSP : public CCommonChannel {
public:
    CH264ChannelRTSP(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    // Forgets the picture size of the Rec or Live stream.
    ~CH264ChannelRTSP() override;

protected:
    bool ConfigureCamera() override;
    std::string StreamPath(const std::string& mode) override;

private:
    // The camera's H.264 stream that this channel's settings are written for.
    uint32_t CameraStreamIndex() const;
    // Two-stream cameras: the Live stream shares the camera with stream 0 and
    // the Rec and Remote streams with stream 1; both are limited to 15 frames
    // per second when either runs at a high resolution.
    void AdjustForMainStream(const std::string& reply, std::string& request);
    void AdjustForSecondStream(const std::string& reply, std::string& request);
    // Caps this stream at 15 frames per second and lowers the other stream
    // (settings suffix `other`) from the top rate when the sizes need it.
    void LimitFrameRates(const std::string& reply, const std::string& other, std::string& request);
    bool NeedsFrameRateLimit(uint32_t otherStreamCode) const;
    void AppendBitrateOrQuality(uint32_t stream, uint32_t quality, std::string& request);
};

}  // namespace korvane
