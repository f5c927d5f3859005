#pragma once
// The transports a SETUP can choose: UDP to a unicast or multicast
// destination, or frames interleaved in the RTSP connection.
#include <cstdint>
#include <functional>
#include <vector>

#include "camsim/rtsp/RtpTrack.h"
#include "platform/UdpSocket.h"

namespace camsim {

class UdpRtpTransport : public IRtpTransport {
public:
    // Addresses in network byte order: sent from source (the camera's own
    // address) to address, RTP to rtpPort, RTCP to rtcpPort.
    UdpRtpTransport(uint32_t source, uint32_t address, uint16_t rtpPort, uint16_t rtcpPort);
    bool Open();
    uint16_t ServerRtpPort() const { return m_rtp.LocalPort(); }
    uint16_t ServerRtcpPort() const { return m_rtcp.LocalPort(); }

    bool SendRtp(const std::vector<uint8_t>& packet) override;
    void SendRtcp(const std::vector<uint8_t>& packet) override;
    void CollectRtcp(std::vector<std::vector<uint8_t>>& reports) override;

private:
    uint32_t m_source;
    korvane::platform::IPv4Endpoint m_rtpTarget;
    korvane::platform::IPv4Endpoint m_rtcpTarget;
    korvane::platform::UdpSocket m_rtp;
    korvane::platform::UdpSocket m_rtcp;
};

class InterleavedRtpTransport : public IRtpTransport {
public:
    using FrameSender = std::function<bool(uint8_t channel, const std::vector<uint8_t>& payload)>;
    InterleavedRtpTransport(FrameSender sender, uint8_t rtpChannel, uint8_t rtcpChannel)
        : m_sender(std::move(sender)), m_rtpChannel(rtpChannel), m_rtcpChannel(rtcpChannel)
    {
    }

    bool SendRtp(const std::vector<uint8_t>& packet) override { return m_sender(m_rtpChannel, packet); }
    void SendRtcp(const std::vector<uint8_t>& packet) override { m_sender(m_rtcpChannel, packet); }
    // Reports on the RTCP channel arrive with the requests and are recorded there.
    void CollectRtcp(std::vector<std::vector<uint8_t>>&) override {}

private:
    FrameSender m_sender;
    uint8_t m_rtpChannel;
    uint8_t m_rtcpChannel;
};

}  // namespace camsim
