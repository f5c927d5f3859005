#include "channels/BaseRTPDataChannel.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"

namespace korvane {

CBaseRTPDataChannel::CBaseRTPDataChannel(IDriver* driver, uint32_t channelIndex)
    : CBaseThread(driver), m_driver(driver), m_channelIndex(channelIndex), m_reception(driver, this, this)
{
}

CBaseRTPDataChannel::~CBaseRTPDataChannel()
{
    Stop();
}

uint32_t CBaseRTPDataChannel::ConnectTimeoutMs() const
{
    return m_driver->GetDeviceInfo()->requestTimeoutMs;
}

bool CBaseRTPDataChannel::Start(const std::string& threadName)
{
    Stop();
    m_sockets.Acquire();
    if (CBaseThread::Start(threadName))
        return true;
    m_sockets.Release();
    return false;
}

void CBaseRTPDataChannel::Stop()
{
    m_stopEvent.Set();
    OnStopRequested();
    StopThread(2 * ConnectTimeoutMs());
    m_sockets.Release();
}

bool CBaseRTPDataChannel::Run()
{
    m_configuration = StreamConfiguration::Read(*m_driver);
    m_lastPacketTime.Update();
    if (m_configuration.streamingMode == kStreamingUnicast)
        RunUnicast();
    else
        RunMulticast();
    return true;
}

void CBaseRTPDataChannel::RunUnicast()
{
    StartUnicastStream();
    while (!m_stopEvent.Wait(kSupervisionPeriodMs)) {
        if (m_lastPacketTime.ElapsedMs() < ConnectTimeoutMs()) {
            Supervise();
            continue;
        }
        OnSignalLost();
        StopStream();
        if (StartUnicastStream()) {
            CEvent* const events[] = {&m_stopEvent, &m_reconnectEvent};
            WaitAny(events, 2, ConnectTimeoutMs());
        }
    }
    StopStream();
    OnStopped();
}

bool CBaseRTPDataChannel::StartUnicastStream()
{
    m_reconnectEvent.Reset();
    if (ConnectStream() && StartUnicastReceivers())
        return true;
    StopStream();
    return false;
}

bool CBaseRTPDataChannel::StartUnicastReceivers()
{
    const bool overUdp = m_configuration.settings.rtpMode == kRtpModeDefault;
    if (overUdp && !m_reception.StartUnicast(m_stopEvent, kPortProbeMs))
        return false;
    OnReceiversStarted();
    return true;
}

bool CBaseRTPDataChannel::StartMulticastReceivers(const std::string& groupAddress, uint16_t port)
{
    if (!m_reception.StartMulticast(groupAddress, port, m_stopEvent))
        return false;
    OnReceiversStarted();
    return true;
}

void CBaseRTPDataChannel::StopStream()
{
    m_reception.Stop();
    OnStreamStopped();
}

void CBaseRTPDataChannel::PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet)
{
    if (m_reception.Accept(record))
        ProcessPacket(packet);
}

void CBaseRTPDataChannel::InterleavedPacketArrived(const CRTPPacket& packet)
{
    m_reception.AcceptInterleaved(packet);
    ProcessPacket(packet);
}

}  // namespace korvane
