#pragma once
// UDP sockets: the only code that calls the operating system's datagram API.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/Network.h"

namespace korvane::platform {

// An IPv4 socket address: address in network byte order, port in host order.
struct IPv4Endpoint {
    uint32_t address = 0;
    uint16_t port = 0;

    bool operator==(const IPv4Endpoint& other) const { return address == other.address && port == other.port; }
};

// What a failed wait or read means to the receiving loop.
enum class SocketError {
    kNone,             // success: readable, or a datagram was read
    kTimedOut,         // the wait ended without data
    kClosed,           // the socket or the network is gone: report and end
    kInvalid,          // the socket can no longer be used: end silently
    kMessageTooLarge,  // the datagram did not fit the buffer: enlarge it
    kOther             // transient: try again
};

// Bytes that datagrams are read into: never initialised, and reallocated only to grow.
class DatagramBuffer {
public:
    DatagramBuffer() = default;
    DatagramBuffer(DatagramBuffer&& other) noexcept
        : m_bytes(std::move(other.m_bytes)), m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    DatagramBuffer& operator=(DatagramBuffer&& other) noexcept
    {
        m_bytes = std::move(other.m_bytes);
        m_capacity = std::exchange(other.m_capacity, 0);
        return *this;
    }

    // Makes room for size bytes; the content is lost when the buffer grows.
    void Reserve(size_t size)
    {
        if (m_capacity < size) {
            m_bytes.reset(new uint8_t[size]);
            m_capacity = size;
        }
    }
    uint8_t* Data() const { return m_bytes.get(); }
    size_t Capacity() const { return m_capacity; }

private:
    std::unique_ptr<uint8_t[]> m_bytes;
    size_t m_capacity = 0;
};

// One datagram of a batch read.
struct ReceivedDatagram {
    DatagramBuffer buffer;
    size_t length = 0;
    IPv4Endpoint sender;
    bool truncated = false;  // larger than the buffer, so discarded
};

// How many datagrams one batch read can take: 1 where the system reads one at a time.
extern const size_t kReceiveBatchSize;

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;

    bool Create();
    bool IsOpen() const { return m_handle != kInvalidSocket; }

    bool SetReuseAddress(bool enable);
    bool SetReceiveBufferSize(uint32_t bytes);
    bool SetReceiveTimeout(uint32_t ms);
    bool SetSendTimeout(uint32_t ms);
    // Sender side of multicast: loop datagrams back to local members, and
    // choose the outgoing interface (network order address).
    bool SetMulticastLoop(bool enable);
    bool SetMulticastInterface(uint32_t interfaceAddress);

    // Binds to the local address (network order; 0 = any); port 0 picks a free port.
    bool Bind(uint16_t port, uint32_t localAddress = 0);
    uint16_t LocalPort() const;

    // Joins the group on the default interface and on loopback, so that both
    // remote and local senders are heard; true when at least one join worked.
    bool JoinGroup(uint32_t group);
    // Leaves the group joined last; nothing when none is joined.
    void LeaveGroup();

    // Waits until a datagram can be read: kNone, kTimedOut or an error.
    SocketError WaitReadable(uint32_t timeoutMs) const;
    // Reads one datagram; its length (> 0), or 0 with the error set. A datagram
    // larger than the buffer is discarded and reported as kMessageTooLarge.
    size_t ReceiveFrom(uint8_t* buffer, size_t size, IPv4Endpoint& sender, SocketError& error);
    // Reads the datagrams waiting, at most count (and at most kReceiveBatchSize), each into its
    // buffer's capacity, without waiting; how many were read, or 0 with the error set.
    size_t ReceiveBatch(ReceivedDatagram* datagrams, size_t count, SocketError& error);
    // Sends all bytes as one datagram; false when nothing or only part went out.
    bool SendTo(const IPv4Endpoint& target, const uint8_t* data, size_t length);

    // Ends reception and sending; wakes a thread blocked in WaitReadable.
    void Shutdown();
    void Close();

private:
    // Joins or leaves m_group on the interface (network order address).
    bool ChangeMembership(bool join, uint32_t interfaceAddress);

    SocketHandle m_handle = kInvalidSocket;
    uint32_t m_group = 0;
    bool m_joinedDefault = false;
    bool m_joinedLoopback = false;
};

}  // namespace korvane::platform
