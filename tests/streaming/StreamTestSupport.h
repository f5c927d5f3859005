#pragma once
// Stream helpers: a user recording what it is told, a 5-second wait, byte and text building.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "streaming/IRTPClient.h"
#include "streaming/IRTSPClientUser.h"
#include "streaming/IRTCPHandlerUser.h"
#include "streaming/RTPPacket.h"
#include "streaming/IRTPReceiverUser.h"
#include "streaming/SdpInfo.h"
#include "support/UdpPeer.h"
#include "support/WaitUntil.h"

namespace korvane::test {

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

// The bytes of a hexadecimal text; other characters (spaces, "-") are skipped.
inline std::vector<uint8_t> FromHex(const std::string& text)
{
    std::string digits;
    std::copy_if(text.begin(), text.end(), std::back_inserter(digits), [](char c) { return std::isxdigit(c) != 0; });
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (const uint8_t byte : bytes)
        text += {"0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]};
    return text;
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

inline std::vector<uint8_t> PayloadOf(const CRTPPacket& packet)
{
    return std::vector<uint8_t>(packet.Payload(), packet.Payload() + packet.PayloadLength());
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
        Record({packet.m_sequenceNumber, PayloadOf(packet), {}, std::this_thread::get_id()});
        if (throwFromUser)
            throw std::runtime_error("user fault");
    }
    void SessionClosed() override { ++sessionsClosed; }
    void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) override
    {
        Record({packet.m_sequenceNumber, PayloadOf(packet), record.sender, std::this_thread::get_id()});
    }
    void ReceiveTimeout() override { ++timeouts; }
    void ReceiverClosed() override { ++closed; }
    void ByeReceived() override { ++byes; }
    void DataReceived(IRTPClient*, platform::ReceivedDatagram* datagrams, size_t count) override
    {
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* data = datagrams[i].buffer.Data();
            Record({0, std::vector<uint8_t>(data, data + datagrams[i].length), datagrams[i].sender,
                    std::this_thread::get_id()});
        }
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
