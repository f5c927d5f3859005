#pragma once
// A received RTP packet with the address it came from.
#include "platform/UdpSocket.h"
#include "streaming/RTPPacket.h"

namespace korvane {

struct RTPPacketRecord {
    platform::IPv4Endpoint sender;
    CRTPPacket packet;
};

}  // namespace korvane
