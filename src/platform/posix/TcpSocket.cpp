#include "platform/TcpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace korvane::platform {

namespace {

bool SetBlocking(int handle, bool blocking)
{
    const int flags = fcntl(handle, F_GETFL, 0);
    if (flags < 0)
        return false;
    return fcntl(handle, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port)
{
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_addr.s_addr = address;
    socketAddress.sin_port = htons(port);
    return socketAddress;
}

}  // namespace

bool TcpSocket::Create()
{
    Close();
    m_handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return IsOpen();
}

bool TcpSocket::SetReceiveBuffer(uint32_t bytes)
{
    const int value = static_cast<int>(bytes);
    return IsOpen() && setsockopt(m_handle, SOL_SOCKET, SO_RCVBUF, &value, sizeof value) == 0;
}

bool TcpSocket::Connect(uint32_t address, uint16_t port, uint32_t timeoutMs)
{
    if (!IsOpen() || !SetBlocking(m_handle, false))
        return false;
    const sockaddr_in target = MakeAddress(address, port);
    if (connect(m_handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        if (errno != EINPROGRESS) {
            Close();
            return false;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (!WaitForConnect(timeoutMs) || getsockopt(m_handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
            error != 0) {
            Close();
            return false;
        }
    }
    return SetBlocking(m_handle, true);
}

bool TcpSocket::Listen(uint32_t address, uint16_t port)
{
    if (!Create())
        return false;
    const int reuse = 1;
    setsockopt(m_handle, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    const sockaddr_in local = MakeAddress(address, port);
    if (bind(m_handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 || listen(m_handle, 8) != 0) {
        Close();
        return false;
    }
    return true;
}

TcpSocket TcpSocket::Accept(uint32_t timeoutMs)
{
    if (!IsOpen() || WaitFor(false, timeoutMs) != 1)
        return TcpSocket();
    return TcpSocket(accept4(m_handle, nullptr, nullptr, SOCK_CLOEXEC));
}

uint16_t TcpSocket::LocalPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (!IsOpen() || getsockname(m_handle, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

int TcpSocket::SendSome(const char* data, size_t length)
{
    const ssize_t sent = send(static_cast<int>(m_handle), data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : -1;
    return static_cast<int>(sent);
}

int TcpSocket::ReceiveSome(void* buffer, size_t capacity)
{
    const ssize_t received = recv(static_cast<int>(m_handle), buffer, capacity, MSG_DONTWAIT);
    if (received < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kWouldBlock : -1;
    return static_cast<int>(received);
}

int TcpSocket::WaitFor(bool writable, uint32_t timeoutMs)
{
    if (!IsOpen())
        return -1;
    pollfd entry{static_cast<int>(m_handle), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
    const int result = poll(&entry, 1, static_cast<int>(timeoutMs));
    if (result < 0)
        return errno == EINTR ? 0 : -1;
    if (result == 0)
        return 0;
    // A hang-up or error is reported as ready: the following call sees it.
    return 1;
}

void TcpSocket::Shutdown()
{
    if (IsOpen())
        shutdown(m_handle, SHUT_RDWR);
}

void TcpSocket::Close()
{
    if (IsOpen()) {
        close(m_handle);
        m_handle = kInvalidSocket;
    }
}

}  // namespace korvane::platform
