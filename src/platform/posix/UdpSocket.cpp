#include "platform/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/Network.h"

namespace korvane::platform {

namespace {

constexpr size_t kMaxBatch = 32;

SocketError ErrorFromErrno(int code)
{
    switch (code) {
    case EBADF:
    case ENOTSOCK:
    case EFAULT:
    case ENETDOWN:
        return SocketError::kClosed;
    case EINVAL:
        return SocketError::kInvalid;
    case EMSGSIZE:
        return SocketError::kMessageTooLarge;
    default:
        return SocketError::kOther;
    }
}

timeval ToTimeval(uint32_t ms)
{
    timeval value{};
    value.tv_sec = static_cast<time_t>(ms / 1000);
    value.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    return value;
}

sockaddr_in ToSockaddr(uint32_t address, uint16_t port)
{
    sockaddr_in native{};
    native.sin_family = AF_INET;
    native.sin_addr.s_addr = address;
    native.sin_port = htons(port);
    return native;
}

}  // namespace

const size_t kReceiveBatchSize = kMaxBatch;

bool UdpSocket::Create()
{
    Close();
    if (SocketsStartup() != 0)
        return false;
    m_handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (!IsOpen())
        SocketsCleanup();
    return IsOpen();
}

bool UdpSocket::SetReuseAddress(bool enable)
{
    const int value = enable ? 1 : 0;
    return setsockopt(m_handle, SOL_SOCKET, SO_REUSEADDR, &value, sizeof value) == 0;
}

bool UdpSocket::SetReceiveBufferSize(uint32_t bytes)
{
    const int value = static_cast<int>(bytes);
    return setsockopt(m_handle, SOL_SOCKET, SO_RCVBUF, &value, sizeof value) == 0;
}

bool UdpSocket::SetReceiveTimeout(uint32_t ms)
{
    const timeval value = ToTimeval(ms);
    return setsockopt(m_handle, SOL_SOCKET, SO_RCVTIMEO, &value, sizeof value) == 0;
}

bool UdpSocket::SetSendTimeout(uint32_t ms)
{
    const timeval value = ToTimeval(ms);
    return setsockopt(m_handle, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value) == 0;
}

bool UdpSocket::SetMulticastLoop(bool enable)
{
    const unsigned char value = enable ? 1 : 0;
    return setsockopt(m_handle, IPPROTO_IP, IP_MULTICAST_LOOP, &value, sizeof value) == 0;
}

bool UdpSocket::SetMulticastInterface(uint32_t interfaceAddress)
{
    in_addr value{};
    value.s_addr = interfaceAddress;
    return setsockopt(m_handle, IPPROTO_IP, IP_MULTICAST_IF, &value, sizeof value) == 0;
}

bool UdpSocket::Bind(uint16_t port, uint32_t localAddress)
{
    const sockaddr_in local = ToSockaddr(localAddress, port);
    return bind(m_handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

uint16_t UdpSocket::LocalPort() const
{
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (getsockname(m_handle, reinterpret_cast<sockaddr*>(&local), &size) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::ChangeMembership(bool join, uint32_t interfaceAddress)
{
    ip_mreq request{};
    request.imr_multiaddr.s_addr = m_group;
    request.imr_interface.s_addr = interfaceAddress;
    return setsockopt(static_cast<int>(m_handle), IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request,
                      sizeof request) == 0;
}

SocketError UdpSocket::WaitReadable(uint32_t timeoutMs) const
{
    if (!IsOpen())
        return SocketError::kClosed;
    // poll rather than select: select cannot watch descriptors beyond FD_SETSIZE.
    pollfd watched{};
    watched.fd = static_cast<int>(m_handle);
    watched.events = POLLIN;
    const int timeout = timeoutMs > static_cast<uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(timeoutMs);
    const int ready = poll(&watched, 1, timeout);
    if (ready < 0)
        return ErrorFromErrno(errno);
    if (ready == 0)
        return SocketError::kTimedOut;
    if (watched.revents & POLLNVAL)
        return SocketError::kClosed;
    return SocketError::kNone;  // data, an error to read, or the shutdown
}

size_t UdpSocket::ReceiveFrom(uint8_t* buffer, size_t size, IPv4Endpoint& sender, SocketError& error)
{
    sockaddr_in from{};
    socklen_t fromSize = sizeof from;
    // MSG_TRUNC makes the call answer the datagram's full length.
    const ssize_t received =
        recvfrom(m_handle, buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &fromSize);
    if (received < 0) {
        error = ErrorFromErrno(errno);
        return 0;
    }
    if (static_cast<size_t>(received) > size) {
        error = SocketError::kMessageTooLarge;
        return 0;
    }
    error = received == 0 ? SocketError::kOther : SocketError::kNone;
    sender.address = from.sin_addr.s_addr;
    sender.port = ntohs(from.sin_port);
    return static_cast<size_t>(received);
}

size_t UdpSocket::ReceiveBatch(ReceivedDatagram* datagrams, size_t count, SocketError& error)
{
    count = std::min(count, kReceiveBatchSize);
    mmsghdr messages[kMaxBatch] = {};
    iovec pieces[kMaxBatch];
    sockaddr_in senders[kMaxBatch];
    for (size_t i = 0; i < count; ++i) {
        pieces[i] = {datagrams[i].buffer.Data(), datagrams[i].buffer.Capacity()};
        messages[i].msg_hdr.msg_iov = &pieces[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &senders[i];
        messages[i].msg_hdr.msg_namelen = sizeof senders[i];
    }
    const int received = recvmmsg(m_handle, messages, static_cast<unsigned>(count), MSG_DONTWAIT, nullptr);
    if (received <= 0) {
        error = received < 0 ? ErrorFromErrno(errno) : SocketError::kOther;
        return 0;
    }
    for (int i = 0; i < received; ++i) {
        ReceivedDatagram& datagram = datagrams[i];
        datagram.truncated = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        datagram.length = datagram.truncated ? 0 : messages[i].msg_len;
        datagram.sender.address = senders[i].sin_addr.s_addr;
        datagram.sender.port = ntohs(senders[i].sin_port);
    }
    error = SocketError::kNone;
    return static_cast<size_t>(received);
}

bool UdpSocket::SendTo(const IPv4Endpoint& target, const uint8_t* data, size_t length)
{
    const sockaddr_in to = ToSockaddr(target.address, target.port);
    const ssize_t sent =
        sendto(m_handle, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return sent > 0 && static_cast<size_t>(sent) == length;
}

void UdpSocket::Shutdown()
{
    if (IsOpen())
        shutdown(m_handle, SHUT_RDWR);
}

void UdpSocket::Close()
{
    if (!IsOpen())
        return;
    LeaveGroup();
    close(m_handle);
    m_handle = kInvalidSocket;
    SocketsCleanup();
}

}  // namespace korvane::platform
