#include "platform/UdpSocket.h"

#include <utility>

namespace korvane::platform {

namespace {

constexpr uint32_t kAnyInterface = 0;

uint32_t LoopbackInterface()
{
    return ParseIPv4("127.0.0.1");
}

}  // namespace

UdpSocket::~UdpSocket()
{
    Close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
{
    *this = std::move(other);
}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, kInvalidSocket);
        m_group = std::exchange(other.m_group, 0);
        m_joinedDefault = std::exchange(other.m_joinedDefault, false);
        m_joinedLoopback = std::exchange(other.m_joinedLoopback, false);
    }
    return *this;
}

bool UdpSocket::JoinGroup(uint32_t group)
{
    LeaveGroup();
    m_group = group;
    m_joinedDefault = ChangeMembership(true, kAnyInterface);
    m_joinedLoopback = ChangeMembership(true, LoopbackInterface());
    return m_joinedDefault || m_joinedLoopback;
}

void UdpSocket::LeaveGroup()
{
    if (m_joinedDefault)
        ChangeMembership(false, kAnyInterface);
    if (m_joinedLoopback)
        ChangeMembership(false, LoopbackInterface());
    m_joinedDefault = false;
    m_joinedLoopback = false;
}

}  // namespace korvane::platform
