#pragma once
// A camera channel fed by RTP: the receivers, the time-stamp converter, the
// capture-thread body with its signal-lost supervision and restart loop, and
// the hand-over of the payload parser's frames to the host.
#include <cstdint>
#include <string>

#include "channels/BaseCameraChannel.h"
#include "channels/RTPReception.h"
#include "runtime/Events.h"
#include "runtime/Time.h"
#include "streaming/IRTCPHandlerUser.h"
#include "streaming/IRTPReceiverUser.h"
#include "streaming/RTPMediaParser.h"
#include "streaming/TimeStampConverter.h"

namespace korvane {

class CBaseRTPChannel : public CBaseCameraChannel,
                        public IRTPReceiverUser,
                        public IRTCPHandlerUser,
                        public IMediaParserClient {
public:
    static constexpr uint32_t kStreamingTickMs = 30000;
    static constexpr uint32_t kPortProbeMs = 1500;

    CBaseRTPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    ~CBaseRTPChannel() override;

    // IRTPReceiverUser: packets from the camera's address go to ProcessPacket.
    void PacketReceived(const RTPPacketRecord& record, const CRTPPacket& packet) override;
    void ReceiveTimeout() override {}
    void ReceiverClosed() override {}

    // IRTCPHandlerUser
    void ByeReceived() override { m_reception.ByeEvent().Set(); }

    // IMediaParserClient
    bool FrameReady(ipcapture::IHostFrame* frame) override;
    void GetRequestedSize(uint32_t& width, uint32_t& height) override;
    // The device name followed by "::RecStream", "::LiveStream" or "::RemoteStream".
    const std::string& GetStreamName() override;
    void GetFrameTime(uint32_t rtpTimeStamp, SYSTEMTIME& time) override;

protected:
    // Reads the configuration file, then runs the unicast loop or RunMulticast.
    uint32_t Run() override;

    // The restart loop of the multicast streaming modes.
    virtual void RunMulticast() = 0;
    virtual bool StartMulticastReceivers(const std::string& groupAddress, uint16_t port);
    // Opens the unicast receivers (nothing to open for RTP inside RTSP).
    virtual bool StartStream();
    virtual void StopStream();
    // True while frames arrive (or the channel is suspended).
    virtual bool IsStreaming();
    // Called by the unicast loop every 30 s while streaming.
    virtual void OnStreamingTick() {}
    virtual void ProcessPacket(const CRTPPacket& packet) = 0;

    uint32_t ConnectTimeoutMs() const;  // C: request time-out of the device record
    uint32_t ReceiveTimeoutMs() const;  // R: also the signal-lost time
    bool FramesArriving() const { return m_lastFrameTime.ElapsedMs() < ReceiveTimeoutMs() / 2; }
    // Signal lost towards the host and offline, once the last frame is R old.
    void ReportSignalLostWhenDue();

    CTime m_hookTimer;
    CTimeStampConverter m_timeStampConverter;
    // The stream name, rebuilt only when the device name or the stream number changes.
    std::string m_streamName;
    std::string m_streamNameDevice;
    uint32_t m_streamNameNumber = 0;
    CRTPReception m_reception;
    CManualEvent m_frameEvent;  // a frame went to the host
    StreamConfiguration m_configuration;

private:
    void RunUnicast();
    // Stops whatever runs, writes the settings into the camera and starts the stream.
    bool RestartStream();
};

}  // namespace korvane
