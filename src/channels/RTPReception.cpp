#include "channels/RTPReception.h"

#include "channels/SocketsReference.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "platform/Network.h"

namespace korvane {

namespace {

uint32_t ResolveCamera(IDriver& driver)
{
    CSocketsReference sockets;
    sockets.Acquire();
    const uint32_t address = platform::ResolveIPv4(driver.GetDeviceInfo()->address);
    return address == platform::kInvalidAddress ? 0 : address;
}

}  // namespace

StreamConfiguration StreamConfiguration::Read(IDriver& driver)
{
    StreamConfiguration configuration;
    configuration.settings = CConfiguration(driver).GetSettings();
    configuration.streamingMode = CConfiguration::GetStreamingMode(driver);
    return configuration;
}

CRTPReception::CRTPReception(IDriver* driver, IRTPReceiverUser* receiverUser, IRTCPHandlerUser* rtcpUser)
    : m_driver(driver), m_cameraAddress(ResolveCamera(*driver)), m_receiver(driver), m_rtcp(driver)
{
    m_receiver.SetUser(receiverUser);
    m_rtcp.SetUser(rtcpUser);
}

uint32_t CRTPReception::CameraAddress()
{
    // A name that could not be resolved at construction is tried again.
    if (m_cameraAddress == 0)
        m_cameraAddress = ResolveCamera(*m_driver);
    return m_cameraAddress;
}

bool CRTPReception::StartUnicast(CEvent& stopEvent, uint32_t probeMs)
{
    const uint32_t camera = CameraAddress();
    if (camera == 0)
        return false;
    for (uint32_t port = kFirstPort; port < kPortLimit; port += 2) {
        if (stopEvent.IsSet())
            return false;
        m_dataEvent.Reset();
        if (m_receiver.StartUnicast(0, static_cast<uint16_t>(port))) {
            CEvent* const events[] = {&stopEvent, &m_dataEvent};
            const bool quiet = WaitAny(events, 2, probeMs) < 0;
            if (quiet && m_rtcp.StartUnicast(camera, static_cast<uint16_t>(port + 1)))
                return true;
        }
        Stop();
    }
    return false;
}

bool CRTPReception::StartMulticast(const std::string& groupAddress, uint16_t port, CEvent& stopEvent)
{
    if (groupAddress.empty() || port == 0)
        return false;
    m_dataEvent.Reset();
    m_byeEvent.Reset();
    if (!stopEvent.IsSet() && m_receiver.StartMulticast(groupAddress.c_str(), port) &&
        m_rtcp.StartMulticast(CameraAddress(), groupAddress.c_str(), static_cast<uint16_t>(port + 1)))
        return true;
    Stop();
    return false;
}

void CRTPReception::Stop()
{
    m_receiver.Stop();
    m_rtcp.Stop();
}

bool CRTPReception::Accept(const RTPPacketRecord& record)
{
    if (record.sender.address != m_cameraAddress)
        return false;
    AcceptInterleaved(record.packet);
    return true;
}

void CRTPReception::AcceptInterleaved(const CRTPPacket& packet)
{
    m_dataEvent.Set();
    m_rtcp.TrackSequence(packet.m_sequenceNumber);
}

}  // namespace korvane
