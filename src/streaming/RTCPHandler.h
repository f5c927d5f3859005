#pragma once
// RTCP for one stream: answers the camera's sender reports with receiver
// reports, tracks RTP sequence numbers and reports the camera's BYE.
#include <array>
#include <atomic>
#include <cstdint>

#include "runtime/BaseThread.h"
#include "runtime/Events.h"
#include "runtime/RecursiveLock.h"
#include "streaming/IRTCPHandlerUser.h"
#include "streaming/IRTPClient.h"
#include "streaming/RTPSequenceTracker.h"
#include "streaming/UDPClient.h"

namespace korvane {

class CRTCPHandler : private CBaseThread, private IRTPClientUser {
public:
    explicit CRTCPHandler(IDebugMessage* owner = nullptr);
    ~CRTCPHandler() override;

    void SetUser(IRTCPHandlerUser* user) { m_user = user; }
    // The camera address is in network byte order; datagrams from any other
    // address are ignored.
    bool StartUnicast(uint32_t cameraAddress, uint16_t port);
    bool StartMulticast(uint32_t cameraAddress, const char* groupAddress, uint16_t port);
    void Stop();
    // Called for every RTP packet of the stream.
    void TrackSequence(uint16_t sequenceNumber);
    uint16_t GetPort() { return m_client.GetPort(); }

    using Bytes4 = std::array<uint8_t, 4>;
    // Own SSRC in network byte order.
    const Bytes4& GetSsrc() const { return m_ownSsrc; }

private:
    static constexpr uint32_t kSelectTimeoutMs = 1000;
    static constexpr uint32_t kReceiveSize = 1536;
    static constexpr uint32_t kReportWaitMs = 10000;
    static constexpr uint32_t kStopLimitMs = 5000;

    template <typename OpenCall>
    bool StartWith(uint32_t cameraAddress, OpenCall open);

    void DataReceived(IRTPClient* client, platform::ReceivedDatagram* datagrams, size_t count) override;
    void HandleCompoundPacket(const platform::IPv4Endpoint& sender, const uint8_t* data, size_t length);
    void ReceiveTimeout(IRTPClient*) override {}
    void ClientClosed(IRTPClient*) override {}
    bool Run() override;

    void HandleSenderReport(const platform::IPv4Endpoint& sender, const uint8_t* packet);
    // True when a BYE ends the reported stream.
    bool HandleBye();
    void SendReceiverReport();
    void SendBye();

    CUDPClient m_client;
    std::atomic<uint32_t> m_cameraAddress{0};
    IRTCPHandlerUser* m_user = nullptr;
    bool m_senderReportSeen = false;
    CManualEvent m_reportDue;
    CRecursiveLock m_lock;
    platform::IPv4Endpoint m_senderReportSource;
    uint32_t m_senderReportTimeMs = 0;
    CRTPSequenceTracker m_sequence;
    Bytes4 m_ownSsrc{};
    Bytes4 m_senderSsrc{};
    Bytes4 m_lastSenderReport{};
};

}  // namespace korvane
