#include "streaming/UDPClient.h"

#include <algorithm>
#include <vector>

#include "platform/Network.h"
#include "runtime/StringFormat.h"

namespace korvane {

using platform::SocketError;

CUDPClient::CUDPClient(IDebugMessage* owner) : CBaseThread(owner) {}

CUDPClient::~CUDPClient()
{
    Close();
}

bool CUDPClient::OpenMulticast(IRTPClientUser* user, const char* groupAddress, uint16_t port)
{
    const uint32_t group = platform::ParseIPv4(groupAddress != nullptr ? groupAddress : "");
    if (group == platform::kInvalidAddress) {
        Close();
        return false;
    }
    return Open(user, group, port);
}

bool CUDPClient::OpenUnicast(IRTPClientUser* user, uint16_t port)
{
    return Open(user, platform::kInvalidAddress, port);
}

bool CUDPClient::Open(IRTPClientUser* user, uint32_t group, uint16_t port)
{
    if (user == nullptr)
        return false;
    bool opened;
    {
        CAutoLock guard(m_lock);
        if (m_socket.IsOpen())
            return false;
        m_user = user;
        m_threadReceiveSize = std::min<uint32_t>(m_receiveSize, kMaxReceiveSize);
        opened = OpenSocket(group, port);
    }
    if (!opened || !Start(FormatString("UDP client thread, port %u", static_cast<unsigned>(GetPort())))) {
        Close();
        return false;
    }
    return true;
}

bool CUDPClient::OpenSocket(uint32_t group, uint16_t port)
{
    const bool multicast = group != platform::kInvalidAddress;
    platform::UdpSocket socket;
    if (!socket.Create())
        return false;
    if (multicast && !socket.SetReuseAddress(true))
        return false;
    if (!socket.SetReceiveBufferSize(kSocketBufferBytes) || !socket.SetReceiveTimeout(kReceiveTimeoutMs) ||
        !socket.SetSendTimeout(kSendTimeoutMs))
        return false;
    if (!socket.Bind(port))
        return false;
    m_port = socket.LocalPort();
    m_stopLimitMs = std::max(kReceiveTimeoutMs, kSendTimeoutMs);
    m_socket = std::move(socket);
    return !multicast || m_socket.JoinGroup(group);
}

bool CUDPClient::Close()
{
    m_stopEvent.Set();
    uint32_t limitMs;
    {
        CAutoLock guard(m_lock);
        if (m_socket.IsOpen()) {
            m_socket.LeaveGroup();
            m_socket.Shutdown();
            m_port = 0;
        }
        limitMs = std::max(std::max(m_selectTimeoutMs.load(), m_stopLimitMs) + 1000, 5000u);
    }
    const bool stopped = StopThread(limitMs);
    IRTPClientUser* user = nullptr;
    {
        CAutoLock guard(m_lock);
        if (m_socket.IsOpen()) {
            m_socket.Close();
            user = m_user;
        }
    }
    if (user != nullptr)
        NotifyClosed(user);
    return stopped;
}

uint16_t CUDPClient::GetPort()
{
    CAutoLock guard(m_lock);
    return m_port;
}

bool CUDPClient::IsOpen()
{
    CAutoLock guard(m_lock);
    return m_socket.IsOpen();
}

bool CUDPClient::SendTo(const platform::IPv4Endpoint& target, const uint8_t* data, size_t length)
{
    CAutoLock guard(m_lock);
    return m_port != 0 && m_socket.SendTo(target, data, length);
}

bool CUDPClient::Run()
{
    // The socket stays open until this thread has ended (Close shuts it down
    // first, which wakes the wait), so it is used here without the lock.
    size_t receiveSize = m_threadReceiveSize;
    std::vector<platform::ReceivedDatagram> batch(platform::kReceiveBatchSize);
    while (!IsStopRequested()) {
        const SocketError waited = m_socket.WaitReadable(m_selectTimeoutMs);
        if (IsStopRequested())
            break;
        if (waited == SocketError::kTimedOut) {
            NotifyTimeout();
            continue;
        }
        if (waited == SocketError::kClosed) {
            NotifyClosed(m_user);
            break;
        }
        if (waited == SocketError::kInvalid)
            break;
        if (waited != SocketError::kNone)
            continue;

        // The user may have taken buffers of the last batch and left smaller ones.
        for (platform::ReceivedDatagram& datagram : batch)
            datagram.buffer.Reserve(receiveSize);
        SocketError error = SocketError::kNone;
        const size_t received = m_socket.ReceiveBatch(batch.data(), batch.size(), error);
        // An oversized datagram is lost, but makes room for the next reads.
        size_t whole = 0;
        for (size_t i = 0; i < received; ++i) {
            if (batch[i].truncated)
                receiveSize += 1024;
            else
                std::swap(batch[whole++], batch[i]);
        }
        if (whole > 0)
            Deliver(batch.data(), whole);
    }
    return true;
}

void CUDPClient::Deliver(platform::ReceivedDatagram* datagrams, size_t count)
{
    if (IsStopRequested())
        return;
    try {
        m_user->DataReceived(this, datagrams, count);
    } catch (...) {
    }
}

void CUDPClient::NotifyTimeout()
{
    try {
        m_user->ReceiveTimeout(this);
    } catch (...) {
    }
}

void CUDPClient::NotifyClosed(IRTPClientUser* user)
{
    try {
        user->ClientClosed(this);
    } catch (...) {
    }
}

}  // namespace korvane
