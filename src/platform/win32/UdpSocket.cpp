#include "platform/UdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>


#include "platform/Network.h"

namespace korvane::platform {

namespace {

SOCKET Native(SocketHandle handle)
{
    return static_cast<SOCKET>(handle);
}

SocketError ErrorFromCode(int code)
{
    switch (code) {
    case WSANOTINITIALISED:
    case WSAENOTSOCK:
    case WSAEFAULT:
    case WSAENETDOWN:
        return SocketError::kClosed;
    case WSAEINVAL:
        return SocketError::kInvalid;
    case WSAEMSGSIZE:
        return SocketError::kMessageTooLarge;
    default:  // WSAECONNRESET (an ICMP port unreachable), WSAESHUTDOWN, ...
        return SocketError::kOther;
    }
}

sockaddr_in ToSockaddr(uint32_t address, uint16_t port)
{
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_addr.s_addr = address;
    native.sin_port = htons(port);
    return native;
}

template <typename T>
bool SetOption(SocketHandle handle, int level, int option, const T& value)
{
    return setsockopt(Native(handle), level, option, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

}  // namespace

const size_t kReceiveBatchSize = 1;

bool UdpSocket::Create()
{
    Close();
    if (SocketsStartup() != 0)
        return false;
    m_handle = static_cast<SocketHandle>(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!IsOpen())
        SocketsCleanup();
    return IsOpen();
}

bool UdpSocket::SetReuseAddress(bool enable)
{
    return SetOption(m_handle, SOL_SOCKET, SO_REUSEADDR, BOOL(enable ? TRUE : FALSE));
}

bool UdpSocket::SetReceiveBufferSize(uint32_t bytes)
{
    return SetOption(m_handle, SOL_SOCKET, SO_RCVBUF, static_cast<int>(bytes));
}

bool UdpSocket::SetReceiveTimeout(uint32_t ms)
{
    return SetOption(m_handle, SOL_SOCKET, SO_RCVTIMEO, DWORD(ms));
}

bool UdpSocket::SetSendTimeout(uint32_t ms)
{
    return SetOption(m_handle, SOL_SOCKET, SO_SNDTIMEO, DWORD(ms));
}

bool UdpSocket::SetMulticastLoop(bool enable)
{
    return SetOption(m_handle, IPPROTO_IP, IP_MULTICAST_LOOP, DWORD(enable ? 1 : 0));
}

bool UdpSocket::SetMulticastInterface(uint32_t interfaceAddress)
{
    in_addr value{};
    value.s_addr = interfaceAddress;
    return SetOption(m_handle, IPPROTO_IP, IP_MULTICAST_IF, value);
}

bool UdpSocket::Bind(uint16_t port, uint32_t localAddress)
{
    const sockaddr_in local = ToSockaddr(localAddress, port);
    return bind(Native(m_handle), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

uint16_t UdpSocket::LocalPort() const
{
    sockaddr_in local{};
    int size = sizeof local;
    if (getsockname(Native(m_handle), reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::ChangeMembership(bool join, uint32_t interfaceAddress)
{
    ip_mreq request{};
    request.imr_multiaddr.s_addr = m_group;
    request.imr_interface.s_addr = interfaceAddress;
    return SetOption(m_handle, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, request);
}

SocketError UdpSocket::WaitReadable(uint32_t timeoutMs) const
{
    if (!IsOpen())
        return SocketError::kClosed;
    fd_set watched;
    FD_ZERO(&watched);
    FD_SET(Native(m_handle), &watched);
    timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    const int ready = select(0, &watched, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR)
        return ErrorFromCode(WSAGetLastError());
    return ready == 0 ? SocketError::kTimedOut : SocketError::kNone;
}

size_t UdpSocket::ReceiveFrom(uint8_t* buffer, size_t size, IPv4Endpoint& sender, SocketError& error)
{
    sockaddr_in from{};
    int fromSize = sizeof from;
    const int received = recvfrom(Native(m_handle), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0,
                                  reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received == SOCKET_ERROR) {
        error = ErrorFromCode(WSAGetLastError());  // WSAEMSGSIZE: the datagram did not fit
        return 0;
    }
    error = received == 0 ? SocketError::kOther : SocketError::kNone;
    sender.address = from.sin_addr.s_addr;
    sender.port = ntohs(from.sin_port);
    return static_cast<size_t>(received);
}

size_t UdpSocket::ReceiveBatch(ReceivedDatagram* datagrams, size_t count, SocketError& error)
{
    if (count == 0)
        return 0;
    ReceivedDatagram& datagram = datagrams[0];
    datagram.length = ReceiveFrom(datagram.buffer.Data(), datagram.buffer.Capacity(), datagram.sender, error);
    datagram.truncated = error == SocketError::kMessageTooLarge;
    if (datagram.truncated)
        error = SocketError::kNone;
    return error == SocketError::kNone ? 1 : 0;
}

bool UdpSocket::SendTo(const IPv4Endpoint& target, const uint8_t* data, size_t length)
{
    const sockaddr_in to = ToSockaddr(target.address, target.port);
    const int sent = sendto(Native(m_handle), reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent > 0 && static_cast<size_t>(sent) == length;
}

void UdpSocket::Shutdown()
{
    if (!IsOpen())
        return;
    // Shutting a datagram socket down does not end a select() that waits on it, as it does on
    // Linux; an empty datagram from the socket to itself does.
    sockaddr_in self{};
    int size = sizeof self;
    if (getsockname(Native(m_handle), reinterpret_cast<sockaddr*>(&self), &size) == 0) {
        if (self.sin_addr.s_addr == htonl(INADDR_ANY))
            self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(Native(m_handle), "", 0, 0, reinterpret_cast<const sockaddr*>(&self), sizeof self);
    }
    shutdown(Native(m_handle), SD_BOTH);
}

void UdpSocket::Close()
{
    if (!IsOpen())
        return;
    LeaveGroup();
    closesocket(Native(m_handle));
    m_handle = kInvalidSocket;
    SocketsCleanup();
}

}  // namespace korvane::platform
