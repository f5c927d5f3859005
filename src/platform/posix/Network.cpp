#include "platform/Network.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstring>

namespace korvane::platform {

namespace {
std::atomic<int> g_socketUsers{0};
}

int SocketsStartup()
{
    ++g_socketUsers;
    return 0;
}

void SocketsCleanup()
{
    int users = g_socketUsers.load();
    while (users > 0 && !g_socketUsers.compare_exchange_weak(users, users - 1)) {
    }
}

uint32_t ParseIPv4(const std::string& text)
{
    struct in_addr address {};
    if (text.empty() || inet_pton(AF_INET, text.c_str(), &address) != 1)
        return kInvalidAddress;
    return address.s_addr;
}

uint32_t ResolveIPv4(const std::string& host)
{
    const uint32_t literal = ParseIPv4(host);
    if (literal != kInvalidAddress || host.empty())
        return literal;
    struct addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return kInvalidAddress;
    uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

std::string FormatIPv4(uint32_t address)
{
    char text[INET_ADDRSTRLEN] = {};
    struct in_addr in {};
    in.s_addr = address;
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

}  // namespace korvane::platform
