#include "platform/TcpSocket.h"

#include <winsock2.h>


namespace korvane::platform {

namespace {

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
    int error = 0;
    int length = sizeof error;
    if (!WaitForConnect(timeoutMs) ||
        getsockopt(Native(m_handle), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
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

int TcpSocket::SendSome(const char* data, size_t length)
{
    const int sent = send(Native(m_handle), data, static_cast<int>(length), 0);
    if (sent == SOCKET_ERROR)
        return WouldBlock() ? kWouldBlock : -1;
    return sent;
}

int TcpSocket::ReceiveSome(void* buffer, size_t capacity)
{
    const int received = recv(Native(m_handle), static_cast<char*>(buffer), static_cast<int>(capacity), 0);
    if (received == SOCKET_ERROR)
        return WouldBlock() ? kWouldBlock : -1;
    return received;
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
