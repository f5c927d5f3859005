#pragma once
// Socket library start-up and IPv4 address helpers shared by the TCP and UDP wrappers.
#include <cstdint>
#include <string>

namespace korvane::platform {

constexpr uint32_t kInvalidAddress = 0xFFFFFFFFu;  // INADDR_NONE

// A native socket: a descriptor on POSIX, a SOCKET on Windows.
using SocketHandle = intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Reference-counted start-up of the socket library (a no-op on POSIX);
// 0 on success, as WSAStartup answers.
int SocketsStartup();
void SocketsCleanup();

// Dotted IPv4 text to an address in network byte order; kInvalidAddress when not one.
uint32_t ParseIPv4(const std::string& text);
// Address text or host name to an IPv4 address in network byte order; kInvalidAddress on failure.
uint32_t ResolveIPv4(const std::string& host);
// Network-order IPv4 address to dotted text.
std::string FormatIPv4(uint32_t address);

}  // namespace korvane::platform
