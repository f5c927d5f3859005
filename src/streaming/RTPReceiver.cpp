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
    m_queue.Clear();
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
    m_queue.Clear();
    StopThread(kStopLimitMs);
}

uint16_t CRTPReceiver::GetPort()
{
    return m_client ? m_client->GetPort() : 0;
}

void CRTPReceiver::DataReceived(IRTPClient* client, platform::ReceivedDatagram* datagrams, size_t count)
{
    if (IsCurrentClient(client) && !IsStopRequested() && m_queue.Append(datagrams, count))
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
    CRTPPacketQueue::Records records;
    uint32_t timeoutMs = 0;
    while (WaitAny(events, 2, timeoutMs) != 0) {
        // One wake-up takes every packet queued by then, and delivers them in order.
        m_queue.TakeAll(records);
        for (const std::unique_ptr<RTPPacketRecord>& record : records) {
            if (IsStopRequested())
                break;
            Deliver(*record);
        }
        m_queue.Recycle(records);
        timeoutMs = 1000;
    }
    m_queue.Clear();
    return true;
}

void CRTPReceiver::Deliver(const RTPPacketRecord& record)
{
    if (m_user == nullptr)
        return;
    try {
        m_user->PacketReceived(record, record.packet);
    } catch (...) {
    }
}

}  // namespace korvane
