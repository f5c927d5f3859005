#include "audio/AudioCaptureChannel.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "runtime/RequestHelpers.h"
#include "streaming/SdpInfo.h"

namespace korvane {

namespace {

constexpr uint32_t kCameraTypeParameter = 3;
constexpr uint16_t kRtspPort = 554;
const char kSdpInfoReceived[] = "korvane::CAudioCaptureChannel::SdpInfoReceived";

}  // namespace

CAudioCaptureChannel::CAudioCaptureChannel(IDriver* driver, uint32_t channelIndex, uint32_t audioId,
                                           ipcapture::IAudioSink* sink, uint32_t extra)
    : CBaseAudioRTSPChannel(driver, channelIndex, audioId, sink),
      m_parser(driver, audioId),
      m_format(AudioFormat::MuLaw8k()),
      m_httpSender(*driver->GetDeviceInfo()),
      m_extra(extra)
{
    const int32_t cameraType = driver->GetParameterInt(kCameraTypeParameter);
    if (cameraType != kParameterMissing)
        m_cameraType = static_cast<uint32_t>(cameraType);
    m_parser.SetClient(this);
}

CAudioCaptureChannel::~CAudioCaptureChannel()
{
    Stop();
    m_rtspClient.Stop();
}

bool CAudioCaptureChannel::MulticastAddressIsSet()
{
    std::string reply;
    return HUtils::RequestGetText(m_httpSender, "/admin/-set-?el=ig21", reply) &&
           reply.find("0.0.0.0") == std::string::npos;
}

bool CAudioCaptureChannel::SetAudioStreamParameters()
{
    if (m_configuration.streamingMode != kStreamingUnicast && !MulticastAddressIsSet()) {
        Log(kLogError,
            "korvane::CAudioCaptureChannel::SetAudioStreamParameters: Multicast address for audio is not set, please "
            "set correct value! Device %s",
            m_driver->GetDeviceName());
        return false;
    }
    if (!HUtils::RequestGet(m_httpSender, "/admin/-set-?em=2&pt=8&hb00=1"))
        return false;
    m_parser.SetFormat(m_format);
    return true;
}

void CAudioCaptureChannel::FillStreamSettings(RTSPClientSettings& settings)
{
    settings.serverPort = kRtspPort;
    settings.mediaSelector = kSelectAudio;
    const std::string mode = m_configuration.streamingMode != kStreamingUnicast ? "m" : "u";
    if (m_cameraType == 1)
        settings.path = "profile1=" + mode;
    else if (m_cameraType == 2 || m_cameraType == 3)
        settings.path = "stream/profile1=" + mode;
}

bool CAudioCaptureChannel::SdpInfoReceived(const SdpInfo& description)
{
    if (m_configuration.streamingMode == kStreamingUnicast)
        return true;
    const SdpMediaInfo& audio = description.Audio();
    if (audio.connectionAddress.empty()) {
        Log(kLogError,
            "%s: RTSP response doesn't contain connection data section. RTP multicast stream cannot be started for "
            "device %s",
            kSdpInfoReceived, m_driver->GetDeviceName());
        return false;
    }
    if (audio.port == 0) {
        Log(kLogError,
            "%s: RTSP response doesn't contain correct streaming port in media section. RTP multicast stream cannot "
            "be started for device %s",
            kSdpInfoReceived, m_driver->GetDeviceName());
        return false;
    }
    return StartMulticastReceivers(audio.connectionAddress, audio.port);
}

bool CAudioCaptureChannel::OnAudioFrame(ipcapture::IAudioData* frame)
{
    m_reconnectEvent.Set();
    if (IsStopRequested() || GetState() != kAudioRunning || m_audioSink == nullptr)
        return false;
    if (!m_audioSink->OnAudioFrame(frame))
        return false;
    m_lastPacketTime.Update();
    SetDeviceState(true);
    return true;
}

}  // namespace korvane
