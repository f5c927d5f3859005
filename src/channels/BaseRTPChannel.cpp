#include "channels/BaseRTPChannel.h"

#include <algorithm>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"

namespace korvane {

CBaseRTPChannel::CBaseRTPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : CBaseCameraChannel(channelIndex, driver, frameSink), m_reception(driver, this, this)
{
}

CBaseRTPChannel::~CBaseRTPChannel()
{
    Stop();
}

uint32_t CBaseRTPChannel::ConnectTimeoutMs() const
{
    return m_driver->GetDeviceInfo()->requestTimeoutMs;
}

uint32_t CBaseRTPChannel::ReceiveTimeoutMs() const
{
    return m_driver->GetDeviceInfo()->secondTimeoutMs;
}

uint32_t CBaseRTPChannel::Run()
{
    m_configuration = StreamConfiguration::Read(*m_driver);
    if (m_configuration.streamingMode == kStreamingUnicast)
        RunUnicast();
    else
        RunMulticast();
    return 0;
}

void CBaseRTPChannel::RunUnicast()
{
    const uint32_t firstFrameWaitMs = std::max(ReceiveTimeoutMs() / 2, ConnectTimeoutMs());
    m_lastFrameTime.Update();
    for (;;) {
        uint32_t pauseMs = 1000;
        if (GetState() == kChannelStreaming) {
            if (m_hookTimer.ElapsedMs() > kStreamingTickMs) {
                OnStreamingTick();
                m_hookTimer.Update();
            }
        } else if (RestartStream()) {
            if (IsSuspended()) {
                SetState(kChannelStreaming);
                SetCameraState(true);
            }
            CEvent* const events[] = {&m_stopEvent, &m_frameEvent};
            const int signalled = WaitAny(events, 2, firstFrameWaitMs);
            if (signalled < 0)
                pauseMs = 10;
            else if (signalled == 1)
                SetState(kChannelStreaming);
        }
        if (m_stopEvent.Wait(pauseMs))
            break;
        if (IsStreaming())
            continue;
        SetState(kChannelSignalLost);
        ReportSignalLostWhenDue();
    }
    StopStream();
    SetState(kChannelStopped);
    if (!IsSuspended())
        SetCameraState(false);
}

bool CBaseRTPChannel::RestartStream()
{
    StopStream();
    m_frameEvent.Reset();
    m_timeStampConverter.Reset();
    if (ApplyParams() && StartStream())
        return true;
    StopStream();
    return false;
}

void CBaseRTPChannel::ReportSignalLostWhenDue()
{
    if (m_lastFrameTime.ElapsedMs() < ReceiveTimeoutMs())
        return;
    SendSignalLost();
    SetCameraState(false);
}

bool CBaseRTPChannel::StartStream()
{
    if (m_configuration.settings.rtpMode != kRtpModeDefault)
        return true;
    return m_reception.StartUnicast(m_stopEvent, kPortProbeMs);
}

void CBaseRTPChannel::StopStream()
{
    m_reception.Stop();
}

bool CBaseRTPChannel::StartMulticastReceivers(const std::string& groupAddress, uint16_t port)
{
    return m_reception.StartMulticast(groupAddress, port, m_stopEvent);
}

bool CBaseRTPChannel::IsStreaming()
{
    return IsSuspended() || FramesArriving();
}

void CBaseRTPChannel::PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet)
{
    if (m_reception.Accept(record))
        ProcessPacket(packet);
}

bool CBaseRTPChannel::FrameReady(ipcapture::IHostFrame* frame)
{
    m_frameEvent.Set();
    if (!SendFrameCallback(frame))
        return false;
    m_lastFrameTime.Update();
    SetCameraState(true);
    return true;
}

void CBaseRTPChannel::GetRequestedSize(uint32_t& width, uint32_t& height)
{
    const ChannelSettings params = Params();
    width = params.width;
    height = params.height;
}

const std::string& CBaseRTPChannel::GetStreamName()
{
    const char* device = m_driver->GetDeviceName();
    const uint32_t streamNumber = Params().streamNumber;
    if (!m_streamName.empty() && m_streamNameDevice == device && m_streamNameNumber == streamNumber)
        return m_streamName;
    m_streamNameDevice = device;
    m_streamNameNumber = streamNumber;
    m_streamName = device;
    switch (streamNumber) {
    case kStreamRec:
        m_streamName += "::RecStream";
        break;
    case kStreamLive:
        m_streamName += "::LiveStream";
        break;
    case kStreamRemote:
        m_streamName += "::RemoteStream";
        break;
    default:
        break;
    }
    return m_streamName;
}

void CBaseRTPChannel::GetFrameTime(uint32_t rtpTimeStamp, SYSTEMTIME& time)
{
    m_timeStampConverter.Update(rtpTimeStamp);
    m_timeStampConverter.GetTime(time);
}

}  // namespace korvane
