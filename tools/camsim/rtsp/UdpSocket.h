#pragma once
// A UDP socket of the simulator: unicast or multicast sending on loopback and
// non-blocking reads.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace camsim {

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds to 127.0.0.1 and a free port; multicast leaves through loopback.
    bool Open();
    uint16_t LocalPort() const;
    // Address in network byte order.
    bool SendTo(uint32_t address, uint16_t port, const uint8_t* data, size_t length);
    // One waiting datagram, or false when none is there.
    bool TryReceive(std::vector<uint8_t>& datagram);

private:
    int m_handle = -1;
};

}  // namespace camsim
