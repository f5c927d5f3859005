#pragma once
// Base of the audio streams: a thread that keeps one RTP stream of the camera
// running. It opens the receivers (unicast on a free port pair or multicast),
// restarts the stream when packets stop for the connect time-out, and leaves
// the session and the payload to the derived class through its hooks.
#include <cstdint>
#include <string>

#include "channels/RTPReception.h"
#include "channels/SocketsReference.h"
#include "runtime/BaseThread.h"
#include "runtime/Events.h"
#include "runtime/Time.h"
#include "streaming/IRTCPHandlerUser.h"
#include "streaming/IRTPReceiverUser.h"

namespace korvane {

class IDriver;

class CBaseRTPDataChannel : protected CBaseThread, public IRTPReceiverUser, public IRTCPHandlerUser {
public:
    static constexpr uint32_t kPortProbeMs = 500;
    static constexpr uint32_t kSupervisionPeriodMs = 2000;

    CBaseRTPDataChannel(IDriver* driver, uint32_t channelIndex);
    // A derived class whose members the thread uses calls Stop() in its own destructor.
    ~CBaseRTPDataChannel() override;

    // Stops an earlier run, then starts the thread under the given name.
    bool Start(const std::string& threadName) override;
    // Asks the thread to end and waits for it (twice the connect time-out,
    // then it logs and keeps waiting).
    void Stop();

    // IRTPReceiverUser: packets from the camera's address go to ProcessPacket.
    void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) override;
    void ReceiveTimeout() override {}
    void ReceiverClosed() override {}

    // IRTCPHandlerUser
    void ByeReceived() override { m_reception.ByeEvent().Set(); }

protected:
    // Reads the configuration file, then runs the unicast loop or RunMulticast.
    bool Run() override;

    virtual bool StartMulticastReceivers(const std::string& groupAddress, uint16_t port);
    // Opens the receivers on a free port pair (none for RTP inside RTSP).
    virtual bool StartUnicastReceivers();
    virtual void StopStream();
    // The restart loop of the multicast streaming modes.
    virtual void RunMulticast() = 0;
    // Prepares the camera; called by the unicast start before the receivers open.
    virtual bool ConnectStream() = 0;
    virtual void ProcessPacket(const CRTPPacket& packet) = 0;
    // Called every 2 s while packets arrive.
    virtual void Supervise() = 0;
    virtual void OnReceiversStarted() {}
    virtual void OnStreamStopped() {}
    // Before the unicast loop restarts a stream that stopped delivering.
    virtual void OnSignalLost() {}
    // After the unicast loop.
    virtual void OnStopped() {}
    // When Stop has asked the thread to end, before it is waited for.
    virtual void OnStopRequested() {}

    // A packet that came inside the RTSP connection.
    void InterleavedPacketArrived(const CRTPPacket& packet);
    uint32_t ConnectTimeoutMs() const;  // C: request time-out of the device record

    IDriver* m_driver;
    uint32_t m_channelIndex;
    CEvent m_reconnectEvent;  // auto-reset: the stream delivers again
    CRTPReception m_reception;
    CTime m_lastPacketTime;
    StreamConfiguration m_configuration;

private:
    void RunUnicast();
    // Prepares the camera and opens the receivers; on failure stops again.
    bool StartUnicastStream();

    CSocketsReference m_sockets;
};

}  // namespace korvane
