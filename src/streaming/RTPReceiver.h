#pragma once
// Receives a stream's RTP datagrams and delivers the parsed packets, in
// arrival order, on a thread of its own.
#include <atomic>
#include <cstdint>

#include "runtime/BaseThread.h"
#include "runtime/Events.h"
#include "runtime/SmartPtr.h"
#include "streaming/IRTPClient.h"
#include "streaming/IRTPReceiverUser.h"
#include "streaming/RTPPacketQueue.h"

namespace korvane {

class CRTPReceiver : private CBaseThread, private IRTPClientUser {
public:
    explicit CRTPReceiver(IDebugMessage* owner = nullptr);
    ~CRTPReceiver() override;

    void SetUser(IRTPReceiverUser* user) { m_user = user; }
    // Transport mode 0 receives over UDP; other modes are not received here.
    bool StartUnicast(uint32_t transportMode, uint16_t port);
    bool StartMulticast(const char* groupAddress, uint16_t port);
    // Callable from any thread, also from the user's callbacks; Start and
    // Stop are not meant to run concurrently with each other.
    void Stop();
    uint16_t GetPort();

private:
    static constexpr uint32_t kReceiveSize = 1536;
    static constexpr uint32_t kSelectTimeoutMs = 2000;
    static constexpr uint32_t kStopLimitMs = 2000;

    // Opens a new client with the given open call, then starts delivery.
    template <typename OpenCall>
    bool StartWith(OpenCall open);

    void DataReceived(IRTPClient* client, platform::ReceivedDatagram* datagrams, size_t count) override;
    void ReceiveTimeout(IRTPClient* client) override;
    void ClientClosed(IRTPClient* client) override;
    bool Run() override;

    bool IsCurrentClient(IRTPClient* client) const { return client == m_currentClient.load(); }
    void Deliver(const RTPPacketRecord& record);

    IRTPReceiverUser* m_user = nullptr;
    TSmartPtr<IRTPClient> m_client;
    // A stopped client kept alive until the next start: Stop may run on its thread.
    TSmartPtr<IRTPClient> m_stoppedClient;
    std::atomic<IRTPClient*> m_currentClient{nullptr};
    CRTPPacketQueue m_queue;
    CEvent m_queueEvent;
};

}  // namespace korvane
