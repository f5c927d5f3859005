#pragma once
// A TCP socket (IPv4) with time-outs on every blocking call. The receive
// time-out may be changed from another thread; a read already waiting picks
// the new value up within a few milliseconds.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/Network.h"

namespace korvane::platform {

class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket() { Close(); }
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool Create();
    bool IsOpen() const { return m_handle != kInvalidSocket; }
    bool SetReceiveBuffer(uint32_t bytes);
    void SetReceiveTimeout(uint32_t ms) { m_receiveTimeoutMs = ms; }
    void SetSendTimeout(uint32_t ms) { m_sendTimeoutMs = ms; }

    // Address in network byte order. Waits in rounds of 100 ms, at most
    // timeoutMs / 100 rounds (at least one).
    bool Connect(uint32_t address, uint16_t port, uint32_t timeoutMs);
    // Binds to the address (network order) and port (0: any free port) and listens.
    bool Listen(uint32_t address, uint16_t port);
    // An accepted connection, or a closed socket when none arrives in time.
    TcpSocket Accept(uint32_t timeoutMs);
    uint16_t LocalPort() const;

    // True when every byte went out within the send time-out.
    bool SendAll(const void* data, size_t length);
    // Bytes read; 0 when the peer closed; -1 on an error or the receive time-out.
    int Receive(void* buffer, size_t capacity);
    // True when data (or the peer's close) is waiting within the time-out.
    bool WaitReadable(uint32_t timeoutMs);

    void Shutdown();
    void Close();

private:
    explicit TcpSocket(SocketHandle handle) : m_handle(handle) {}
    // 1 ready, 0 time-out, -1 error.
    int WaitFor(bool writable, uint32_t timeoutMs);
    // Waits for a started connect in rounds of 100 ms (at least one); false when it did not end.
    bool WaitForConnect(uint32_t timeoutMs);
    // One non-blocking send or receive: the bytes moved (0 from a receive: the peer closed),
    // kWouldBlock, or -1 on an error.
    static constexpr int kWouldBlock = -2;
    int SendSome(const char* data, size_t length);
    int ReceiveSome(void* buffer, size_t capacity);

    SocketHandle m_handle = kInvalidSocket;
    std::atomic<uint32_t> m_receiveTimeoutMs{5000};
    std::atomic<uint32_t> m_sendTimeoutMs{1000};
};

}  // namespace korvane::platform
