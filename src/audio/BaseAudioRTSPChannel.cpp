#include "audio/BaseAudioRTSPChannel.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

const char kThreadName[] = "Audio RTSP Channel";
const char kSetDeviceState[] = "korvane::CBaseAudioRTSPChannel::SetDeviceState";
constexpr uint32_t kSlowPollMs = 2000;
constexpr uint32_t kFastPollMs = 20;

}  // namespace

CBaseAudioRTSPChannel::CBaseAudioRTSPChannel(IDriver* driver, uint32_t channelIndex, uint32_t audioId,
                                             ipcapture::IAudioSink* sink)
    : CBaseRTPDataChannel(driver, channelIndex),
      CLoggerInstance(driver),
      m_audioId(audioId),
      m_audioSink(sink),
      m_rtspClient(driver)
{
}

CBaseAudioRTSPChannel::~CBaseAudioRTSPChannel()
{
    Stop();
    m_rtspClient.Stop();
}

bool CBaseAudioRTSPChannel::Open()
{
    CAutoLock guard(m_openLock);
    return Start(kThreadName);
}

bool CBaseAudioRTSPChannel::Close()
{
    CAutoLock guard(m_openLock);
    Stop();
    return true;
}

bool CBaseAudioRTSPChannel::IsAllowed(uint32_t from, uint32_t to)
{
    switch (from) {
    case kAudioStopped:
        return to == kAudioOpening;
    case kAudioOpening:
        return to == kAudioRunning || to == kAudioClosing || to == kAudioSignalLost;
    case kAudioRunning:
        return to == kAudioClosing || to == kAudioSignalLost;
    case kAudioClosing:
    case kAudioError:
        return to == kAudioStopped;
    case kAudioSignalLost:
        return to == kAudioOpening || to == kAudioClosing;
    default:
        return false;
    }
}

bool CBaseAudioRTSPChannel::SetAudioState(uint32_t state)
{
    uint32_t current = m_audioState;
    do {
        if (!IsAllowed(current, state))
            return false;
    } while (!m_audioState.compare_exchange_weak(current, state));
    if (m_audioSink != nullptr) {
        try {
            m_audioSink->OnAudioState(m_audioId, state);
        } catch (...) {
        }
    }
    return true;
}

std::string CBaseAudioRTSPChannel::DeviceLabel()
{
    const std::string& address = m_driver->GetDeviceInfo()->address;
    if (m_driver->GetChannelCount() > 1)
        return FormatString("video-server %s (channel %u)", address.c_str(), m_channelIndex);
    return FormatString("camera %s", address.c_str());
}

void CBaseAudioRTSPChannel::SetDeviceState(bool ok)
{
    if (m_signalOk.exchange(ok) == ok)
        return;
    const std::string device = DeviceLabel();
    if (ok) {
        m_driver->DebugMessage(kLogInfo, "%s: Audio signal from %s is OK", kSetDeviceState, device.c_str());
        return;
    }
    switch (GetState()) {
    case kAudioStopped:
        m_driver->DebugMessage(kLogInfo, "%s: Audio channel was stopped for %s", kSetDeviceState, device.c_str());
        break;
    case kAudioError:
        m_driver->DebugMessage(kLogError, "%s: Error occurs in audio channel for %s", kSetDeviceState, device.c_str());
        break;
    case kAudioSignalLost:
        m_driver->DebugMessage(kLogError, "%s: Audio signal was lost for %s", kSetDeviceState, device.c_str());
        break;
    default:
        m_driver->DebugMessage(kLogWarning, "%s: Unexpected channel status for %s", kSetDeviceState, device.c_str());
        break;
    }
}

bool CBaseAudioRTSPChannel::ConnectStream()
{
    SetAudioState(kAudioOpening);
    if (SetAudioStreamParameters())
        return true;
    SetAudioState(kAudioSignalLost);
    return false;
}

// A failed start is reported as 5 so that the next attempt can open again.
bool CBaseAudioRTSPChannel::StartUnicastReceivers()
{
    if (CBaseRTPDataChannel::StartUnicastReceivers() && StartUnicastSession())
        return true;
    SetAudioState(kAudioSignalLost);
    return false;
}

RTSPClientSettings CBaseAudioRTSPChannel::SessionSettings()
{
    const DEVICE_INFO& device = *m_driver->GetDeviceInfo();
    RTSPClientSettings settings;
    settings.address = device.address;
    settings.userName = device.userName;
    settings.password = device.password;
    settings.connectTimeoutMs = ConnectTimeoutMs();
    settings.blockSize = m_configuration.settings.rtpPacketSize;
    settings.mediaSelector = kSelectAudio;
    FillStreamSettings(settings);
    return settings;
}

bool CBaseAudioRTSPChannel::StartUnicastSession()
{
    RTSPClientSettings settings = SessionSettings();
    settings.clientRtpPort = m_reception.RtpPort();
    settings.clientRtcpPort = m_reception.RtcpPort();
    const auto mode = static_cast<RTSPTransportMode>(m_configuration.settings.rtpMode);
    if (!m_rtspClient.Start(settings, this, mode) || IsStopRequested())
        return false;
    SetAudioState(kAudioRunning);
    return true;
}

bool CBaseAudioRTSPChannel::StartMulticastSession()
{
    RTSPClientSettings settings = SessionSettings();
    settings.receiveTimeoutMs = ConnectTimeoutMs();
    m_sessionClosed.Reset();
    if (!IsStopRequested() && m_rtspClient.Start(settings, this, RTSPTransportMode::UDP))
        return true;
    SetAudioState(kAudioSignalLost);
    StopStream();
    return false;
}

void CBaseAudioRTSPChannel::EnterClosingUnlessRetrying()
{
    if (IsStopRequested() || GetState() != kAudioSignalLost)
        SetAudioState(kAudioClosing);
}

void CBaseAudioRTSPChannel::StopStream()
{
    EnterClosingUnlessRetrying();
    m_rtspClient.Stop();
    CBaseRTPDataChannel::StopStream();
}

void CBaseAudioRTSPChannel::OnSignalLost()
{
    SetAudioState(kAudioSignalLost);
    SetDeviceState(false);
}

void CBaseAudioRTSPChannel::OnStopped()
{
    SetAudioState(kAudioStopped);
    SetDeviceState(false);
}

bool CBaseAudioRTSPChannel::RestartMulticast()
{
    StopStream();
    m_reconnectEvent.Reset();
    if (!ConnectStream()) {
        StopStream();
        return true;
    }
    if (!StartMulticastSession())
        return true;
    CEvent* const events[] = {&m_stopEvent, &m_reconnectEvent, &m_sessionClosed};
    const int signalled = WaitAny(events, 3, ConnectTimeoutMs());
    return signalled == 1 || signalled == 2;
}

void CBaseAudioRTSPChannel::RunMulticast()
{
    bool slowPoll = RestartMulticast();
    while (!m_stopEvent.Wait(slowPoll ? kSlowPollMs : kFastPollMs)) {
        if (m_lastPacketTime.ElapsedMs() <= ConnectTimeoutMs() && !m_reception.ByeEvent().IsSet())
            continue;
        OnSignalLost();
        m_reconnectEvent.Reset();
        slowPoll = RestartMulticast();
    }
    StopStream();
    OnStopped();
}

}  // namespace korvane
