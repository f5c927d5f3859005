#pragma once
// Loopback helpers: a datagram peer for the camera, RTP packets, a user recording what it is told, a 5-second wait.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Network.h"
#include "platform/UdpSocket.h"
#include "streaming/IRTPClient.h"
#include "streaming/IRTSPClientUser.h"
#include "streaming/IRTCPHandlerUser.h"
#include "streaming/RTPPacket.h"
#include "streaming/IRTPReceiverUser.h"
#include "streaming/SdpInfo.h"
#include "support/WaitUntil.h"

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

template <typename Condition>
bool WaitUntil(Condition condition)
{
    return WaitUntil(condition, 5000);
}

inline std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> joined;
    for (const std::vector<uint8_t>& part : parts)
        joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// The text of tests/data with the escapes \r and \n replaced by CR and LF.
inline std::string Unescaped(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n');
        result += escape ? (text[++i] == 'r' ? '\r' : '\n') : text[i];
    }
    return result;
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

// Records the packets, datagrams, descriptions and events reported to it, from any thread.
class RecordingStreamUser : public IRTSPClientUser,
                            public IRTPReceiverUser,
                            public IRTCPHandlerUser,
                            public IRTPClientUser {
public:
    struct Received {
        uint16_t sequence;  // of an RTP packet
        std::vector<uint8_t> payload;
        platform::IPv4Endpoint sender;
        std::thread::id thread;
    };

    bool SdpInfoReceived(const SdpInfo& description) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_description = description;
        }
        ++descriptions;
        if (throwFromUser)
            throw std::runtime_error("user fault");
        return acceptDescription;
    }
    void InterleavedPacketReceived(const CRTPPacket& packet) override
    {
        Record({packet.m_sequenceNumber, packet.m_payload, {}, std::this_thread::get_id()});
        if (throwFromUser)
            throw std::runtime_error("user fault");
    }
    void SessionClosed() override { ++sessionsClosed; }
    void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) override
    {
        Record({packet.m_sequenceNumber, packet.m_payload, record.sender, std::this_thread::get_id()});
    }
    void ReceiveTimeout() override { ++timeouts; }
    void ReceiverClosed() override { ++closed; }
    void ByeReceived() override { ++byes; }
    void DataReceived(IRTPClient*, const platform::IPv4Endpoint& sender, const uint8_t* data, size_t length) override
    {
        Record({0, std::vector<uint8_t>(data, data + length), sender, std::this_thread::get_id()});
    }
    void ReceiveTimeout(IRTPClient*) override { ++timeouts; }
    void ClientClosed(IRTPClient*) override { ++closed; }

    std::vector<Received> All() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }
    template <typename Field>
    std::vector<Field> Each(Field Received::*field) const
    {
        std::vector<Field> values;
        for (const Received& received : All())
            values.push_back(received.*field);
        return values;
    }
    std::vector<uint16_t> Sequences() const { return Each(&Received::sequence); }
    std::vector<std::vector<uint8_t>> Payloads() const { return Each(&Received::payload); }
    SdpInfo Description() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_description;
    }

    std::atomic<bool> acceptDescription{true};
    std::atomic<bool> throwFromUser{false};
    std::atomic<size_t> packets{0};
    std::atomic<size_t> descriptions{0};
    std::atomic<size_t> sessionsClosed{0};
    std::atomic<int> closed{0};  // receivers and clients
    std::atomic<int> timeouts{0};
    std::atomic<int> byes{0};

private:
    void Record(Received received)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_received.push_back(std::move(received));
        ++packets;
    }

    mutable std::mutex m_mutex;
    SdpInfo m_description;
    std::vector<Received> m_received;
};

}  // namespace korvane::test
