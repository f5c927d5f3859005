#include "platform/TcpSocket.h"

#include <winsock2.h>

#include <chrono>

namespace korvane::platform {

namespace {

constexpr int kWaitSliceMs = 20;  // how often a waiting read re-reads its time-out

uint64_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

SOCKET Native(SocketHandle handle)
{
    return static_cast<SOCKET>(handle);
}

bool SetBlocking(SocketHandle handle, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(Native(handle), FIONBIO, &nonBlocking) == 0;
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = address;
    socketAddress.sin_port = htons(port);
    return socketAddress;
}

bool WouldBlock()
{
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
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

bool TcpSocket::Create()
{
    Close();
    if (SocketsStartup() != 0)
        return false;
    m_handle = static_cast<SocketHandle>(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!IsOpen())
        SocketsCleanup();
    return IsOpen();
}

bool TcpSocket::SetReceiveBuffer(uint32_t bytes)
{
    const int value = static_cast<int>(bytes);
    return IsOpen() &&
           setsockopt(Native(m_handle), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

bool TcpSocket::Connect(uint32_t address, uint16_t port, uint32_t timeoutMs)
{
    // The socket stays non-blocking: every later call waits in select() with its time-out.
    if (!IsOpen() || !SetBlocking(m_handle, false))
        return false;
    const sockaddr_in target = MakeAddress(address, port);
    if (connect(Native(m_handle), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0)
        return true;
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
        Close();
        return false;
    }
    bool ready = false;
    for (uint32_t rounds = timeoutMs / 100; !ready; --rounds) {
        ready = WaitFor(true, 100) == 1;
        if (!ready && rounds <= 1) {
            Close();
            return false;
        }
    }
    int error = 0;
    int length = sizeof error;
    if (getsockopt(Native(m_handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
        error != 0) {
        Close();
        return false;
    }
    return true;
}

bool TcpSocket::Listen(uint32_t address, uint16_t port)
{
    if (!Create())
        return false;
    const sockaddr_in local = MakeAddress(address, port);
    if (bind(Native(m_handle), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        listen(Native(m_handle), 8) != 0) {
        Close();
        return false;
    }
    return true;
}

TcpSocket TcpSocket::Accept(uint32_t timeoutMs)
{
    if (!IsOpen() || WaitFor(false, timeoutMs) != 1)
        return TcpSocket();
    const SOCKET accepted = accept(Native(m_handle), nullptr, nullptr);
    if (accepted == INVALID_SOCKET || SocketsStartup() != 0) {  // each open socket holds one start-up
        if (accepted != INVALID_SOCKET)
            closesocket(accepted);
        return TcpSocket();
    }
    TcpSocket connection(static_cast<SocketHandle>(accepted));
    SetBlocking(connection.m_handle, false);
    return connection;
}

uint16_t TcpSocket::LocalPort() const
{
    sockaddr_in local{};
    int length = sizeof local;
    if (!IsOpen() || getsockname(Native(m_handle), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool TcpSocket::SendAll(const void* data, size_t length)
{
    const char* bytes = static_cast<const char*>(data);
    const uint64_t deadline = NowMs() + m_sendTimeoutMs;
    while (length > 0) {
        const uint64_t now = NowMs();
        if (now >= deadline || WaitFor(true, static_cast<uint32_t>(deadline - now)) != 1)
            return false;
        const int sent = send(Native(m_handle), bytes, static_cast<int>(length), 0);
        if (sent == SOCKET_ERROR && WouldBlock())
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
        const int received = recv(Native(m_handle), static_cast<char*>(buffer), static_cast<int>(capacity), 0);
        if (received == SOCKET_ERROR && WouldBlock())
            continue;
        return received < 0 ? -1 : received;
    }
}

bool TcpSocket::WaitReadable(uint32_t timeoutMs)
{
    return WaitFor(false, timeoutMs) == 1;
}

int TcpSocket::WaitFor(bool writable, uint32_t timeoutMs)
{
    if (!IsOpen())
        return -1;
    fd_set watched;
    FD_ZERO(&watched);
    FD_SET(Native(m_handle), &watched);
    fd_set failed = watched;  // a refused connect is reported here, not as writable
    timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    const int result = select(0, writable ? nullptr : &watched, writable ? &watched : nullptr, &failed, &timeout);
    if (result == SOCKET_ERROR)
        return WSAGetLastError() == WSAEINTR ? 0 : -1;
    // A hang-up or error is reported as ready: the following call sees it.
    return result == 0 ? 0 : 1;
}

void TcpSocket::Shutdown()
{
    if (IsOpen())
        shutdown(Native(m_handle), SD_BOTH);
}

void TcpSocket::Close()
{
    if (IsOpen()) {
        closesocket(Native(m_handle));
        m_handle = kInvalidSocket;
        SocketsCleanup();
    }
}

}  // namespace korvane::platform
