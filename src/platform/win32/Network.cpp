#include "platform/Network.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace korvane::platform {

namespace {

// Keeps Windows Sockets started for the lifetime of a call that needs it.
class SocketsScope {
public:
    SocketsScope() : m_started(SocketsStartup() == 0) {}
    ~SocketsScope()
    {
        if (m_started)
            SocketsCleanup();
    }
    SocketsScope(const SocketsScope&) = delete;
    SocketsScope& operator=(const SocketsScope&) = delete;
    bool Started() const { return m_started; }

private:
    const bool m_started;
};

}  // namespace

int SocketsStartup()
{
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
}

void SocketsCleanup()
{
    WSACleanup();
}

uint32_t ParseIPv4(const std::string& text)
{
    in_addr address{};
    if (text.empty() || inet_pton(AF_INET, text.c_str(), &address) != 1)
        return kInvalidAddress;
    return address.s_addr;
}

uint32_t ResolveIPv4(const std::string& host)
{
    const uint32_t literal = ParseIPv4(host);
    if (literal != kInvalidAddress || host.empty())
        return literal;
    SocketsScope sockets;
    if (!sockets.Started())
        return kInvalidAddress;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return kInvalidAddress;
    const uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

std::string FormatIPv4(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

}  // namespace korvane::platform
