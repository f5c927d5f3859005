#pragma once
// An RTP channel whose stream is an RTSP session: builds the client settings,
// picks the payload parser from the session description, starts multicast
// reception when the configuration asks for it and passes pause and resume
// to the session. Leaf classes supply the camera settings (ApplyParams) and
// where to connect (FillStreamSettings), and call Stop() in their destructor.
#include <string>

#include "channels/BaseRTPChannel.h"
#include "driver/LoggerInstance.h"
#include "runtime/Events.h"
#include "runtime/RecursiveLock.h"
#include "runtime/SmartPtr.h"
#include "streaming/BaseRTSPClient.h"
#include "streaming/IRTSPClientUser.h"
#include "streaming/RTPMediaParser.h"
#include "streaming/RTSPClientSettings.h"

namespace korvane {

class CBaseRTSPChannel : public CBaseRTPChannel, public IRTSPClientUser, public CLoggerInstance {
public:
    CBaseRTSPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink);
    ~CBaseRTSPChannel() override;

    // Frames are withheld from the host and the session is paused; false when
    // already suspended.
    bool Suspend() override;
    // False when not suspended.
    bool Resume() override;

    // IRTSPClientUser
    bool SdpInfoReceived(const SdpInfo& description) override;
    void InterleavedPacketReceived(const CRTPPacket& packet) override;
    void SessionClosed() override { m_sessionClosed.Set(); }

protected:
    void RunMulticast() override;
    bool StartStream() override;
    void StopStream() override;
    bool IsStreaming() override;
    void ProcessPacket(const CRTPPacket& packet) override;
    // Server port and stream path of the camera.
    virtual void FillStreamSettings(RTSPClientSettings& settings) = 0;

private:
    // Address, credentials, time-outs and block size from the device record
    // and the configuration, then the leaf's port and path.
    RTSPClientSettings SessionSettings(uint16_t rtpPort, uint32_t rtcpPort);
    // Stops whatever runs, writes the settings into the camera and opens a
    // session that asks for the announced multicast stream.
    bool RestartMulticastSession();
    // The parser for the description's video encoding; null (and a log line)
    // for one that cannot be handled.
    CRTPMediaParser* CreateParser(const std::string& encoding);
    bool HasMulticastData(const SdpMediaInfo& video);
    TSmartPtr<CRTPMediaParser> CurrentParser();
    void ReplaceParser(const TSmartPtr<CRTPMediaParser>& parser);

    CBaseRTSPClient m_rtspClient;
    CManualEvent m_sessionClosed;
    // Guards the pointer only: the parser is replaced on the RTSP client's
    // thread while packets may arrive on the receiver's.
    CRecursiveLock m_parserLock;
    TSmartPtr<CRTPMediaParser> m_parser;
};

}  // namespace korvane
