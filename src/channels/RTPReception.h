#pragma once
// The UDP side of one camera stream, shared by the video and audio channel
// bases: the RTP receiver and RTCP handler, the camera address that packets
// must come from, the data and BYE signals, the search for a free unicast
// port pair and the multicast start.
#include <atomic>
#include <cstdint>
#include <string>

#include "runtime/Configuration.h"
#include "runtime/Events.h"
#include "streaming/RTCPHandler.h"
#include "streaming/RTPReceiver.h"

namespace korvane {

class IDriver;

// How a stream is transported, from the configuration file.
struct StreamConfiguration {
    CConfigSettings settings;
    uint32_t streamingMode = kStreamingUnicast;

    static StreamConfiguration Read(IDriver& driver);
};

class CRTPReception {
public:
    static constexpr uint16_t kFirstPort = 3556;
    static constexpr uint16_t kPortLimit = 4556;  // pairs start below it

    CRTPReception(IDriver* driver, IRTPReceiverUser* receiverUser, IRTCPHandlerUser* rtcpUser);

    // Opens receiver and RTCP handler on the first port pair P, P + 1 from
    // kFirstPort on which both can be opened and no packet of the camera
    // arrives within the probe time (another stream of the camera uses it).
    bool StartUnicast(CEvent& stopEvent, uint32_t probeMs);
    bool StartMulticast(const std::string& groupAddress, uint16_t port, CEvent& stopEvent);
    void Stop();

    // True for a packet from the camera: the data event is set and its
    // sequence number tracked.
    bool Accept(const RTPPacketRecord& record);
    // A packet that came inside the RTSP connection.
    void AcceptInterleaved(const CRTPPacket& packet);

    uint16_t RtpPort() { return m_receiver.GetPort(); }
    uint16_t RtcpPort() { return m_rtcp.GetPort(); }
    // Network byte order; 0 while the camera's address cannot be resolved.
    uint32_t CameraAddress();

    // Set when a packet from the camera arrives.
    CManualEvent& DataEvent() { return m_dataEvent; }
    // Set when the camera ends its stream with RTCP BYE.
    CManualEvent& ByeEvent() { return m_byeEvent; }

private:
    IDriver* m_driver;
    CManualEvent m_dataEvent;
    CManualEvent m_byeEvent;
    std::atomic<uint32_t> m_cameraAddress;
    CRTPReceiver m_receiver;
    CRTCPHandler m_rtcp;
};

}  // namespace korvane
