#pragma once
// A received RTP packet with the address it came from, parsed in the
// datagram buffer that the record owns.
#include "platform/UdpSocket.h"
#include "streaming/RTPPacket.h"

namespace korvane {

struct RTPPacketRecord {
    platform::IPv4Endpoint sender;
    CRTPPacket packet;
    platform::DatagramBuffer datagram;
};

}  // namespace korvane
