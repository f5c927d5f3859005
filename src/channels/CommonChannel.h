#pragma once
// What the Canon video channels share: the camera's HTTP interface, the
// camera type and quality steps from the host parameters, the multicast
// address check, the RTSP server port and the stream path.
#include <cstdint>
#include <string>

#include "channels/BaseRTSPChannel.h"
#include "channels/CommonChannelRates.h"
#include "channels/PrivacyZoneHandler.h"
#include "runtime/HttpSender.h"
#include "runtime/RecursiveLock.h"

namespace korvane {

class CCommonChannel : public CBaseRTSPChannel {
public:
    static constexpr uint16_t kRtspPort = 554;
    static constexpr uint32_t kCameraTypeParameter = 3;
    static constexpr uint32_t kMaxQualityParameter = 7;

    CCommonChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    ~CCommonChannel() override;

    void SetHostInfo(uint32_t) override {}

    uint32_t GetCameraType() const { return m_cameraType; }
    uint32_t GetQualityLevels() const { return m_qualityLevels; }
    const CPrivacyZoneHandler& GetPrivacyZones() const { return m_privacyZones; }

protected:
    // In multicast operation the camera must have the stream's multicast
    // address; with the camera left as configured nothing more is done,
    // otherwise the codec's settings are written.
    bool ApplyParams() override;
    // Port 554 and the stream path of the camera type.
    void FillStreamSettings(RTSPClientSettings& settings) override;
    // Ends a camera request in progress: a stop does not wait for the camera.
    void OnStopThread() override;

    // Writes the stream's settings into the camera.
    virtual bool ConfigureCamera() = 0;
    // What to do when the camera is left as configured (multicast): nothing here.
    virtual bool PrepareUnconfiguredStream() { return true; }
    // The path for the camera type, with `mode` "u" (unicast) or "m"
    // (multicast) at its end; empty for an unknown camera type.
    virtual std::string StreamPath(const std::string& mode) = 0;

    bool CheckMulticastAddress();
    // The reply text of a settings request; false when it fails or the channel is stopping.
    bool RequestText(const std::string& request, std::string& reply);
    // A settings request that the camera accepted (no "SettingError" in the reply).
    bool SendSettings(const std::string& request);
    uint32_t StreamingMode() const { return m_configuration.streamingMode; }

    Web::CHttpSender m_httpSender;
    uint32_t m_cameraType = kCameraTypeFullHd;
    CPrivacyZoneHandler m_privacyZones;
    uint32_t m_qualityLevels;  // 1..100

private:
    // ApplyParams runs on the capture thread and, through ChangeSettings, on
    // the host's: one at a time, so the senders are never shared.
    CRecursiveLock m_applyLock;
};

}  // namespace korvane
