#include "channels/CommonChannel.h"

#include "driver/ChannelSettings.h"
#include "driver/IDriver.h"
#include "runtime/RequestHelpers.h"

namespace korvane {

namespace {

// The host parameter as a number in 1..100; `fallback` otherwise.
uint32_t ParameterInRange(IDriver& driver, uint32_t index, uint32_t fallback)
{
    const int32_t value = driver.GetParameterInt(index);
    return value >= 1 && value <= 100 ? static_cast<uint32_t>(value) : fallback;
}

}  // namespace

CCommonChannel::CCommonChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : CBaseRTSPChannel(channelIndex, driver, frameSink),
      m_httpSender(*driver->GetDeviceInfo()),
      m_privacyZones(driver, channelIndex),
      // The quality-level formula needs 1..100 steps.
      m_qualityLevels(ParameterInRange(*driver, kMaxQualityParameter, kDefaultQualityLevels))
{
    const int32_t cameraType = driver->GetParameterInt(kCameraTypeParameter);
    if (cameraType != kParameterMissing)
        m_cameraType = static_cast<uint32_t>(cameraType);
}

CCommonChannel::~CCommonChannel()
{
    Stop();
}

bool CCommonChannel::ApplyParams()
{
    CAutoLock guard(m_applyLock);
    if (StreamingMode() != kStreamingUnicast && !CheckMulticastAddress())
        return false;
    if (StreamingMode() == kStreamingMulticast)
        return PrepareUnconfiguredStream();
    return ConfigureCamera();
}

void CCommonChannel::FillStreamSettings(RTSPClientSettings& settings)
{
    settings.serverPort = kRtspPort;
    const std::string path = StreamPath(StreamingMode() == kStreamingUnicast ? "u" : "m");
    if (!path.empty())
        settings.path = path;
}

void CCommonChannel::OnStopThread()
{
    m_httpSender.Abort();
}

bool CCommonChannel::RequestText(const std::string& request, std::string& reply)
{
    return !IsStopRequested() && HUtils::RequestGetText(m_httpSender, request, reply);
}

bool CCommonChannel::CheckMulticastAddress()
{
    const bool rec = Params().streamNumber == kStreamRec;
    std::string reply;
    const bool answered = RequestText(rec ? "/admin/-set-?el=ig12-4" : "/admin/-set-?el=ig12-3", reply);
    if (answered && reply.find("0.0.0.0") == std::string::npos)
        return true;
    if (!answered && IsStopRequested())
        return false;  // the stop ended the request: nothing is known about the address
    Log(kLogError,
        "korvane::CCommonChannel::CheckMulticastAddress: Multicast address for RTP Streaming %u is not set, please "
        "set correct value! Device %s",
        rec ? 5u : 4u, m_driver->GetDeviceName());
    return false;
}

bool CCommonChannel::SendSettings(const std::string& request)
{
    std::string reply;
    return RequestText(request, reply) && reply.find("SettingError") == std::string::npos;
}

}  // namespace korvane
