#include "camsim/rtsp/RtpTransports.h"

#include "platform/Network.h"

namespace camsim {

using korvane::platform::IPv4Endpoint;
using korvane::platform::SocketError;

namespace {

// A socket on a free port of source whose multicast leaves through loopback.
bool OpenSender(korvane::platform::UdpSocket& socket, uint32_t source)
{
    return socket.Create() && socket.Bind(0, source) && socket.SetMulticastLoop(true) &&
           socket.SetMulticastInterface(korvane::platform::ParseIPv4("127.0.0.1"));
}

}  // namespace

UdpRtpTransport::UdpRtpTransport(uint32_t source, uint32_t address, uint16_t rtpPort, uint16_t rtcpPort)
    : m_source(source), m_rtpTarget{address, rtpPort}, m_rtcpTarget{address, rtcpPort}
{
}

bool UdpRtpTransport::Open()
{
    return OpenSender(m_rtp, m_source) && OpenSender(m_rtcp, m_source);
}

bool UdpRtpTransport::SendRtp(const std::vector<uint8_t>& packet)
{
    return m_rtp.SendTo(m_rtpTarget, packet.data(), packet.size());
}

void UdpRtpTransport::SendRtcp(const std::vector<uint8_t>& packet)
{
    m_rtcp.SendTo(m_rtcpTarget, packet.data(), packet.size());
}

void UdpRtpTransport::CollectRtcp(std::vector<std::vector<uint8_t>>& reports)
{
    uint8_t buffer[2048];
    while (m_rtcp.WaitReadable(0) == SocketError::kNone) {
        IPv4Endpoint sender;
        SocketError error = SocketError::kNone;
        const size_t length = m_rtcp.ReceiveFrom(buffer, sizeof buffer, sender, error);
        if (length == 0)
            break;
        reports.emplace_back(buffer, buffer + length);
    }
}

}  // namespace camsim
