#include "camsim/rtsp/RtpTransports.h"

namespace camsim {

UdpRtpTransport::UdpRtpTransport(uint32_t address, uint16_t rtpPort, uint16_t rtcpPort)
    : m_address(address), m_rtpPort(rtpPort), m_rtcpPort(rtcpPort)
{
}

bool UdpRtpTransport::Open()
{
    return m_rtp.Open() && m_rtcp.Open();
}

void UdpRtpTransport::SendRtp(const std::vector<uint8_t>& packet)
{
    m_rtp.SendTo(m_address, m_rtpPort, packet.data(), packet.size());
}

void UdpRtpTransport::SendRtcp(const std::vector<uint8_t>& packet)
{
    m_rtcp.SendTo(m_address, m_rtcpPort, packet.data(), packet.size());
}

void UdpRtpTransport::CollectRtcp(std::vector<std::vector<uint8_t>>& reports)
{
    std::vector<uint8_t> datagram;
    while (m_rtcp.TryReceive(datagram))
        reports.push_back(datagram);
}

}  // namespace camsim
