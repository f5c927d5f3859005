#include "platform/TcpSocket.h"

#include <chrono>

namespace korvane::platform {

namespace {

constexpr int kWaitSliceMs = 20;  // how often a waiting read re-reads its time-out

uint64_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : m_handle(other.m_handle)
{
    other.m_handle = kInvalidSocket;
    m_receiveTimeoutMs = other.m_receiveTimeoutMs.load();
    m_sendTimeoutMs = other.m_sendTimeoutMs.load();
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = other.m_handle;
        other.m_handle = kInvalidSocket;
        m_receiveTimeoutMs = other.m_receiveTimeoutMs.load();
        m_sendTimeoutMs = other.m_sendTimeoutMs.load();
    }
    return *this;
}

bool TcpSocket::WaitForConnect(uint32_t timeoutMs)
{
    for (uint32_t rounds = timeoutMs / 100;; --rounds) {
        if (WaitFor(true, 100) == 1)
            return true;
        if (rounds <= 1)
            return false;
    }
}

bool TcpSocket::SendAll(const void* data, size_t length)
{
    const char* bytes = static_cast<const char*>(data);
    const uint64_t deadline = NowMs() + m_sendTimeoutMs;
    while (length > 0) {
        const uint64_t now = NowMs();
        if (now >= deadline || WaitFor(true, static_cast<uint32_t>(deadline - now)) != 1)
            return false;
        const int sent = SendSome(bytes, length);
        if (sent == kWouldBlock)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

int TcpSocket::Receive(void* buffer, size_t capacity)
{
    if (!IsOpen())
        return -1;
    const uint64_t start = NowMs();
    for (;;) {
        const uint64_t elapsed = NowMs() - start;
        const uint32_t timeout = m_receiveTimeoutMs;
        if (elapsed >= timeout)
            return -1;
        const uint64_t remaining = timeout - elapsed;
        const int ready = WaitFor(false, static_cast<uint32_t>(remaining < kWaitSliceMs ? remaining : kWaitSliceMs));
        if (ready < 0)
            return -1;
        if (ready == 0)
            continue;
        const int received = ReceiveSome(buffer, capacity);
        if (received != kWouldBlock)
            return received;
    }
}

bool TcpSocket::WaitReadable(uint32_t timeoutMs)
{
    return WaitFor(false, timeoutMs) == 1;
}

}  // namespace korvane::platform
