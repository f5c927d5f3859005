#pragma once
// The owner of a stream's RTP packets.
#include "streaming/RTPPacketRecord.h"

namespace korvane {

class IRTPReceiverUser {
public:
    virtual ~IRTPReceiverUser() = default;
    virtual void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) = 0;
    virtual void ReceiveTimeout() = 0;
    virtual void ReceiverClosed() = 0;
};

}  // namespace korvane
