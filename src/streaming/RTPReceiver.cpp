#include "streaming/RTPReceiver.h"

#include "runtime/StringFormat.h"
#include "streaming/UDPClient.h"

namespace korvane {

CRTPReceiver::CRTPReceiver(IDebugMessage* owner) : CBaseThread(owner) {}

CRTPReceiver::~CRTPReceiver()
{
    Stop();
}

bool CRTPReceiver::StartUnicast(uint32_t transportMode, uint16_t port)
{
    if (transportMode != 0)
        return false;
    return StartWith([this, port](IRTPClient& client) { return client.OpenUnicast(this, port); });
}

bool CRTPReceiver::StartMulticast(const char* groupAddress, uint16_t port)
{
    return StartWith(
        [this, groupAddress, port](IRTPClient& client) { return client.OpenMulticast(this, groupAddress, port); });
}

template <typename OpenCall>
bool CRTPReceiver::StartWith(OpenCall open)
{
    if (m_client)
        return false;
    m_stoppedClient.Release();
    auto* client = new CUDPClient(GetOwner());
    m_client = client;
    if (!open(*client)) {
        Stop();
        return false;
    }
    // The running thread keeps the default size (8192), so datagrams above
    // this one's still arrive; the select time-out counts at once.
    client->SetReceiveSize(kReceiveSize);
    client->SetSelectTimeout(kSelectTimeoutMs);
    ClearQueue();
    if (!Start(FormatString("RTP Packet Queue (%hu)", client->GetPort()))) {
        Stop();
        return false;
    }
    // From now on the client's datagrams and reports are taken.
    m_currentClient = client;
    return true;
}

void CRTPReceiver::Stop()
{
    m_stopEvent.Set();
    TSmartPtr<IRTPClient> client = m_client;
    if (client)
        client->Close();
    m_currentClient = nullptr;
    m_client.Release();
    m_stoppedClient = client;
    ClearQueue();
    StopThread(kStopLimitMs);
}

uint16_t CRTPReceiver::GetPort()
{
    return m_client ? m_client->GetPort() : 0;
}

void CRTPReceiver::DataReceived(IRTPClient* client, const platform::IPv4Endpoint& sender, const uint8_t* data,
                                size_t length)
{
    if (!IsCurrentClient(client))
        return;
    auto record = std::make_unique<RTPPacketRecord>();
    record->sender = sender;
    if (!record->packet.Parse(data, length) || IsStopRequested())
        return;
    {
        CAutoLock guard(m_queueLock);
        m_queue.push_back(std::move(record));
    }
    m_queueEvent.Set();
}

void CRTPReceiver::ReceiveTimeout(IRTPClient* client)
{
    if (!IsCurrentClient(client) || m_user == nullptr)
        return;
    try {
        m_user->ReceiveTimeout();
    } catch (...) {
    }
}

void CRTPReceiver::ClientClosed(IRTPClient* client)
{
    if (!IsCurrentClient(client) || m_user == nullptr)
        return;
    try {
        m_user->ReceiverClosed();
    } catch (...) {
    }
}

bool CRTPReceiver::Run()
{
    CEvent* const events[] = {&m_stopEvent, &m_queueEvent};
    uint32_t timeoutMs = 0;
    while (WaitAny(events, 2, timeoutMs) != 0) {
        bool moreQueued = false;
        const std::unique_ptr<RTPPacketRecord> record = TakeOldest(moreQueued);
        if (record && m_user != nullptr) {
            try {
                m_user->PacketReceived(*record, record->packet);
            } catch (...) {
            }
        }
        timeoutMs = moreQueued ? 0 : 1000;
    }
    ClearQueue();
    return true;
}

std::unique_ptr<RTPPacketRecord> CRTPReceiver::TakeOldest(bool& moreQueued)
{
    CAutoLock guard(m_queueLock);
    std::unique_ptr<RTPPacketRecord> record;
    if (!m_queue.empty()) {
        record = std::move(m_queue.front());
        m_queue.pop_front();
    }
    moreQueued = !m_queue.empty();
    return record;
}

void CRTPReceiver::ClearQueue()
{
    CAutoLock guard(m_queueLock);
    m_queue.clear();
}

}  // namespace korvane
