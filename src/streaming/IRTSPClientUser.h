#pragma once
// Callbacks of the RTSP client to the object that owns it; all come on the
// client thread.
namespace korvane {

struct SdpInfo;
class CRTPPacket;

class IRTSPClientUser {
public:
    virtual ~IRTSPClientUser() = default;
    // After a successful DESCRIBE; false ends the session before SETUP.
    virtual bool SdpInfoReceived(const SdpInfo& description) = 0;
    // Interleaved mode: one whole RTP packet read from the connection.
    virtual void InterleavedPacketReceived(const CRTPPacket& packet) = 0;
    // Once, when the session ends for whatever reason.
    virtual void SessionClosed() = 0;
};

}  // namespace korvane
