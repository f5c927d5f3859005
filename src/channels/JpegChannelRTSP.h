#pragma once
// A Canon Motion JPEG stream: its settings go to the camera's ONVIF media
// service as the video encoder configuration of the role's media profile,
// which is looked up (or created) once per channel.
#include <string>

#include "channels/CommonChannel.h"
#include "onvif/OnvifClient.h"

namespace korvane {

class CJpegChannelRTSP : public CCommonChannel {
public:
    CJpegChannelRTSP(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    // Forgets the picture size of the Live stream.
    ~CJpegChannelRTSP() override;

    const std::string& GetProfileToken() const { return m_profileToken; }

protected:
    bool ConfigureCamera() override;
    // The camera is left as configured, but the stream path needs the
    // profile: it is looked up without changing anything.
    bool PrepareUnconfiguredStream() override;
    std::string StreamPath(const std::string& mode) override;
    // Also ends an ONVIF call in progress.
    void OnStopThread() override;

private:
    // Init and GetCapabilities, so that the calls go to the announced services;
    // false when the channel is stopping.
    bool ConnectOnvif();
    bool WriteEncoderConfiguration();
    // The reason the camera gave, as an error; as a debug line when it did not answer.
    void LogConfigurationFailure();
    // Finds the role's profile by name; when `mayCreate`, a missing one is
    // created with the video source of "profile0".
    bool ResolveProfileToken(bool mayCreate);
    std::string ProfileName() const;
    std::string ConfigurationToken() const;

    COnvifClient m_onvif;
    std::string m_profileToken;
};

}  // namespace korvane
