#pragma once
// One UDP socket with the thread that receives its datagrams.
#include <atomic>
#include <cstdint>

#include "platform/UdpSocket.h"
#include "runtime/BaseThread.h"
#include "runtime/RecursiveLock.h"
#include "streaming/IRTPClient.h"

namespace korvane {

class CUDPClient : public IRTPClient, private CBaseThread {
public:
    explicit CUDPClient(IDebugMessage* owner = nullptr);
    ~CUDPClient() override;

    bool OpenMulticast(IRTPClientUser* user, const char* groupAddress, uint16_t port) override;
    bool OpenUnicast(IRTPClientUser* user, uint16_t port) override;
    bool Close() override;
    // Counts from the next open: a running thread keeps the size it started with.
    void SetReceiveSize(uint32_t bytes) override { m_receiveSize = bytes; }
    void SetSelectTimeout(uint32_t ms) override { m_selectTimeoutMs = ms; }
    uint16_t GetPort() override;

    bool IsOpen();
    // Sends one datagram from this socket; false while closed or on failure.
    bool SendTo(const platform::IPv4Endpoint& target, const uint8_t* data, size_t length);

private:
    static constexpr uint32_t kSocketBufferBytes = 65535;
    static constexpr uint32_t kMaxReceiveSize = 65535;
    static constexpr uint32_t kReceiveTimeoutMs = 5000;
    static constexpr uint32_t kSendTimeoutMs = 1000;

    bool Open(IRTPClientUser* user, uint32_t group, uint16_t port);
    bool OpenSocket(uint32_t group, uint16_t port);
    bool Run() override;
    void Deliver(platform::ReceivedDatagram* datagrams, size_t count);
    void NotifyTimeout();
    void NotifyClosed(IRTPClientUser* user);

    CRecursiveLock m_lock;
    IRTPClientUser* m_user = nullptr;
    platform::UdpSocket m_socket;
    uint16_t m_port = 0;
    std::atomic<uint32_t> m_receiveSize{8192};
    uint32_t m_threadReceiveSize = 0;  // taken from m_receiveSize when the thread starts
    std::atomic<uint32_t> m_selectTimeoutMs{2000};
    uint32_t m_stopLimitMs = 0;
};

}  // namespace korvane
