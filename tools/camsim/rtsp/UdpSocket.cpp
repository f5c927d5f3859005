#include "camsim/rtsp/UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace camsim {

UdpSocket::~UdpSocket()
{
    if (m_handle >= 0)
        close(m_handle);
}

bool UdpSocket::Open()
{
    m_handle = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_handle < 0)
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    const unsigned char ttl = 1;
    const unsigned char loop = 1;
    return bind(m_handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
           setsockopt(m_handle, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback) == 0 &&
           setsockopt(m_handle, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0 &&
           setsockopt(m_handle, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) == 0;
}

uint16_t UdpSocket::LocalPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (m_handle < 0 || getsockname(m_handle, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

bool UdpSocket::SendTo(uint32_t address, uint16_t port, const uint8_t* data, size_t length)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = address;
    target.sin_port = htons(port);
    return m_handle >= 0 && sendto(m_handle, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&target),
                                   sizeof target) == static_cast<ssize_t>(length);
}

bool UdpSocket::TryReceive(std::vector<uint8_t>& datagram)
{
    datagram.resize(65536);
    const ssize_t received = m_handle < 0 ? -1 : recv(m_handle, datagram.data(), datagram.size(), MSG_DONTWAIT);
    if (received < 0) {
        datagram.clear();
        return false;
    }
    datagram.resize(static_cast<size_t>(received));
    return true;
}

}  // namespace camsim
