#pragma once
// A datagram peer on loopback (a camera's or a stranger's socket) and minimal RTP packets for it to send.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/Network.h"
#include "platform/UdpSocket.h"

namespace korvane::test {

inline const uint32_t kLoopback = platform::ParseIPv4("127.0.0.1");

class UdpTestPeer {
public:
    explicit UdpTestPeer(const char* localAddress = "127.0.0.1")
    {
        m_socket.Create();
        m_socket.Bind(0, platform::ParseIPv4(localAddress));
        m_socket.SetMulticastLoop(true);
        m_socket.SetMulticastInterface(kLoopback);
    }

    uint16_t Port() const { return m_socket.LocalPort(); }

    bool Send(uint16_t port, const std::vector<uint8_t>& data, uint32_t address = kLoopback)
    {
        return m_socket.SendTo({address, port}, data.data(), data.size());
    }

    // The next datagram within the time-out; false when none came.
    bool Receive(std::vector<uint8_t>& data, uint32_t timeoutMs, platform::IPv4Endpoint* from = nullptr)
    {
        if (m_socket.WaitReadable(timeoutMs) != platform::SocketError::kNone)
            return false;
        data.resize(65536);
        platform::IPv4Endpoint sender;
        platform::SocketError error;
        data.resize(m_socket.ReceiveFrom(data.data(), data.size(), from != nullptr ? *from : sender, error));
        return error == platform::SocketError::kNone;
    }

private:
    platform::UdpSocket m_socket;
};

// A port nothing is bound to at the moment.
inline uint16_t FreePort()
{
    return UdpTestPeer().Port();
}

// A minimal RTP packet: version 2, the given sequence number, time stamp and payload.
inline std::vector<uint8_t> MakeRtp(uint16_t sequence, uint32_t timeStamp, const std::vector<uint8_t>& payload,
                                    bool marker = false)
{
    std::vector<uint8_t> packet(12 + payload.size());
    packet[0] = 0x80;
    packet[1] = static_cast<uint8_t>((marker ? 0x80 : 0) | 96);
    packet[2] = static_cast<uint8_t>(sequence >> 8);
    packet[3] = static_cast<uint8_t>(sequence);
    for (int i = 0; i < 4; ++i)
        packet[4 + i] = static_cast<uint8_t>(timeStamp >> (24 - 8 * i));
    for (int i = 0; i < 4; ++i)
        packet[8 + i] = static_cast<uint8_t>(0x11 * (i + 1));  // SSRC 11 22 33 44
    std::copy(payload.begin(), payload.end(), packet.begin() + 12);
    return packet;
}

}  // namespace korvane::test
