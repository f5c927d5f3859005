#include "channels/JpegChannelRTSP.h"

#include <vector>

#include "clocksync/TimeProvider.h"
#include "driver/IDriver.h"
#include "driver/StreamDefaults.h"

namespace korvane {

namespace {

const char kTemplateProfile[] = "profile0";

// The multicast part a new encoder configuration of the role starts with.
Onvif::MulticastConfiguration DefaultMulticast(uint32_t role)
{
    Onvif::MulticastConfiguration multicast;
    multicast.ipv4Address = role == kStreamLive     ? "239.110.100.100"
                            : role == kStreamRemote ? "239.120.100.100"
                                                    : "239.100.100.100";
    multicast.port = 6000;
    multicast.ttl = 5;
    multicast.autoStart = "false";
    return multicast;
}

// The nearest multiple of 8.
uint32_t RoundToMultipleOf8(uint32_t value)
{
    return static_cast<uint32_t>(value / 8.0 + 0.5) * 8;
}

}  // namespace

CJpegChannelRTSP::CJpegChannelRTSP(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : CCommonChannel(channelIndex, driver, frameSink), m_onvif(*driver->GetDeviceInfo())
{
}

CJpegChannelRTSP::~CJpegChannelRTSP()
{
    Stop();
    if (Params().streamNumber == kStreamLive)
        m_driver->GetStreamDefaults()->ClearPictureSize(kStreamLive);
}

bool CJpegChannelRTSP::ConfigureCamera()
{
    ChangeParams([](ChannelSettings& params) {
        if (params.height % 8 != 0)
            params.height = RoundToMultipleOf8(params.height);
    });
    CTimeProvider::SynchroniseNow();
    const bool configured = ConnectOnvif() && ResolveProfileToken(true) && WriteEncoderConfiguration();
    if (!configured && !IsStopRequested())
        LogConfigurationFailure();
    m_onvif.ReleaseSender();
    return configured;
}

void CJpegChannelRTSP::LogConfigurationFailure()
{
    // Without any reply the camera is just away, which the channel's state already tells the host.
    const uint32_t level = m_onvif.GetLastError().httpStatus != 0 ? kLogError : kLogDebug;
    Log(level, "korvane::CJpegChannelRTSP::ApplyParams: Unable to configure the Motion JPEG stream on device %s%s",
        m_driver->GetDeviceName(), m_onvif.GetLastErrorText(". ").c_str());
}

bool CJpegChannelRTSP::PrepareUnconfiguredStream()
{
    if (!m_profileToken.empty())
        return true;
    const bool found = ConnectOnvif() && ResolveProfileToken(false);
    m_onvif.ReleaseSender();
    return found;
}

bool CJpegChannelRTSP::ConnectOnvif()
{
    Onvif::Capabilities capabilities;
    m_onvif.Init(std::string(), std::string());
    // A stop that came before the new sender existed could not abort it.
    if (IsStopRequested())
        return false;
    m_onvif.GetCapabilities(capabilities);
    return true;
}

void CJpegChannelRTSP::OnStopThread()
{
    CCommonChannel::OnStopThread();
    m_onvif.Abort();
}

bool CJpegChannelRTSP::WriteEncoderConfiguration()
{
    const std::string token = ConfigurationToken();
    const ChannelSettings params = Params();
    Onvif::VideoEncoderConfiguration configuration;
    if (!m_onvif.GetVideoEncoderConfiguration(token, configuration)) {
        configuration = Onvif::VideoEncoderConfiguration();
        configuration.multicast = DefaultMulticast(params.streamNumber);
    }
    // A configuration that could not be read carries no token of its own.
    configuration.token = token;
    configuration.useCount = 1;
    configuration.name = "jpeg" + token;
    configuration.encoding = "JPEG";
    configuration.width = params.width;
    configuration.height = params.height;
    configuration.quality = static_cast<float>(QualityLevel(params.quality, m_qualityLevels));
    configuration.frameRateLimit = FramesPerSecond(params.frameRate);
    configuration.encodingInterval = 1;
    configuration.bitrateLimit = JpegBitrateLimit(params.quality);
    configuration.sessionTimeout = "PT1M0S";
    return m_onvif.SetVideoEncoderConfiguration(configuration) &&
           m_onvif.AddVideoEncoderConfiguration(m_profileToken, token);
}

bool CJpegChannelRTSP::ResolveProfileToken(bool mayCreate)
{
    if (!m_profileToken.empty())
        return true;
    const std::string name = ProfileName();
    std::vector<Onvif::MediaProfile> profiles;
    if (m_onvif.GetProfiles(profiles)) {
        for (const Onvif::MediaProfile& profile : profiles) {
            if (profile.name == name) {
                m_profileToken = profile.token;
                return true;
            }
        }
    }
    Onvif::MediaProfile templateProfile;
    std::string created;
    if (mayCreate && m_onvif.GetProfile(kTemplateProfile, templateProfile) && m_onvif.CreateProfile(name, created) &&
        m_onvif.AddVideoSourceConfiguration(created, templateProfile.videoSource.token))
        m_profileToken = created;
    return !m_profileToken.empty();
}

std::string CJpegChannelRTSP::ProfileName() const
{
    switch (Params().streamNumber) {
    case kStreamLive:
        return "MLIVE";
    case kStreamRemote:
        return "MREMOTE";
    default:
        return "MREC";
    }
}

std::string CJpegChannelRTSP::ConfigurationToken() const
{
    switch (Params().streamNumber) {
    case kStreamRec:
        return "1";
    case kStreamLive:
        return "2";
    case kStreamRemote:
        return "3";
    default:
        return std::string();
    }
}

std::string CJpegChannelRTSP::StreamPath(const std::string& mode)
{
    switch (m_cameraType) {
    case kCameraTypeBasic:
        return m_profileToken + "=" + mode;
    case kCameraTypeFullHd:
    case kCameraTypeTwoStreams:
        return "stream/" + m_profileToken + "=" + mode;
    default:
        return std::string();
    }
}

}  // namespace korvane
