#pragma once
// A datagram source for RTP or RTCP and the user it reports to.
#include <cstddef>
#include <cstdint>

#include "platform/UdpSocket.h"

namespace korvane {

class IRTPClient;

class IRTPClientUser {
public:
    virtual ~IRTPClientUser() = default;
    // The whole datagrams of one read, in arrival order. The user may take a datagram's buffer,
    // leaving another in its place.
    virtual void DataReceived(IRTPClient* client, platform::ReceivedDatagram* datagrams, size_t count) = 0;
    virtual void ReceiveTimeout(IRTPClient* client) = 0;
    virtual void ClientClosed(IRTPClient* client) = 0;
};

class IRTPClient {
public:
    virtual ~IRTPClient() = default;
    virtual bool OpenMulticast(IRTPClientUser* user, const char* groupAddress, uint16_t port) = 0;
    virtual bool OpenUnicast(IRTPClientUser* user, uint16_t port) = 0;
    // The result of stopping the receiving thread.
    virtual bool Close() = 0;
    virtual void SetReceiveSize(uint32_t bytes) = 0;
    virtual void SetSelectTimeout(uint32_t ms) = 0;
    // 0 while closed.
    virtual uint16_t GetPort() = 0;
};

}  // namespace korvane
