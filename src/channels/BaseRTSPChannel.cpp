#include "channels/BaseRTSPChannel.h"

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/RTSPTextUtils.h"
#include "streaming/SdpInfo.h"

namespace korvane {

namespace {

const char kSdpInfoReceived[] = "korvane::CBaseRTSPChannel::SdpInfoReceived";

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

CBaseRTSPChannel::CBaseRTSPChannel(uint32_t channelIndex, IDriver* driver, ipcapture::IFrameSink* frameSink)
    : CBaseRTPChannel(channelIndex, driver, frameSink), CLoggerInstance(driver), m_rtspClient(driver)
{
}

CBaseRTSPChannel::~CBaseRTSPChannel()
{
    Stop();
    m_rtspClient.Stop();
    ReplaceParser(TSmartPtr<CRTPMediaParser>());
}

bool CBaseRTSPChannel::Suspend()
{
    if (!SetSuspended(true))
        return false;
    m_rtspClient.Pause();
    return true;
}

bool CBaseRTSPChannel::Resume()
{
    if (!IsSuspended())
        return false;
    if (GetState() == kChannelStreaming)
        m_lastFrameTime.Update();
    m_rtspClient.Play();
    return SetSuspended(false);
}

RTSPClientSettings CBaseRTSPChannel::SessionSettings(uint16_t rtpPort, uint32_t rtcpPort)
{
    const DEVICE_INFO& device = *m_driver->GetDeviceInfo();
    RTSPClientSettings settings;
    settings.address = device.address;
    settings.userName = device.userName;
    settings.password = device.password;
    settings.connectTimeoutMs = ConnectTimeoutMs();
    settings.receiveTimeoutMs = ConnectTimeoutMs();
    settings.blockSize = m_configuration.settings.rtpPacketSize;
    settings.clientRtpPort = rtpPort;
    settings.clientRtcpPort = rtcpPort;
    FillStreamSettings(settings);
    return settings;
}

bool CBaseRTSPChannel::StartStream()
{
    if (!CBaseRTPChannel::StartStream())
        return false;
    const RTSPClientSettings settings = SessionSettings(m_reception.RtpPort(), m_reception.RtcpPort());
    if (IsStopRequested())
        return false;
    return m_rtspClient.Start(settings, this, static_cast<RTSPTransportMode>(m_configuration.settings.rtpMode));
}

void CBaseRTSPChannel::StopStream()
{
    m_rtspClient.Stop();
    CBaseRTPChannel::StopStream();
}

bool CBaseRTSPChannel::IsStreaming()
{
    if (IsSuspended())
        return m_rtspClient.LastRequestSucceeded();
    return FramesArriving() && m_rtspClient.LastRequestSucceeded();
}

void CBaseRTSPChannel::RunMulticast()
{
    const uint32_t signalLostWaitMs = ReceiveTimeoutMs() / 2;
    m_lastFrameTime.Update();
    uint32_t pauseMs = 10;
    while (!m_stopEvent.Wait(pauseMs)) {
        pauseMs = 1000;
        if (GetState() != kChannelStreaming) {
            if (GetState() == kChannelSignalLost)
                ReportSignalLostWhenDue();
            if (RestartMulticastSession()) {
                CEvent* const events[] = {&m_stopEvent, &m_frameEvent, &m_sessionClosed};
                const int signalled = WaitAny(events, 3, signalLostWaitMs);
                if (signalled < 0)
                    pauseMs = 10;
                else if (signalled == 1)
                    SetState(kChannelStreaming);
            }
        } else if (m_reception.ByeEvent().IsSet()) {
            SetState(kChannelSignalLost);
        } else if (!FramesArriving()) {
            SetState(kChannelSignalLost);
            pauseMs = 10;
        }
    }
    StopStream();
    SetState(kChannelStopped);
    SetCameraState(false);
}

bool CBaseRTSPChannel::RestartMulticastSession()
{
    StopStream();
    m_frameEvent.Reset();
    if (ApplyParams()) {
        const RTSPClientSettings settings = SessionSettings(0, 0);
        m_sessionClosed.Reset();
        if (!IsStopRequested() && m_rtspClient.Start(settings, this, RTSPTransportMode::UDP))
            return true;
    }
    StopStream();
    return false;
}

bool CBaseRTSPChannel::SdpInfoReceived(const SdpInfo& description)
{
    const SdpMediaInfo& video = description.Video();
    const bool multicast = m_configuration.streamingMode != kStreamingUnicast;
    if (multicast && !HasMulticastData(video))
        return false;

    TSmartPtr<CRTPMediaParser> parser(CreateParser(video.encoding));
    if (parser) {
        parser->SetClient(this);
        parser->SetParameterSets(description);
    }
    ReplaceParser(parser);
    if (!parser)
        return false;
    if (multicast && StartMulticastReceivers(video.connectionAddress, video.port))
        ResetLastMessage();
    return true;
}

bool CBaseRTSPChannel::HasMulticastData(const SdpMediaInfo& video)
{
    if (video.connectionAddress.empty()) {
        Log(kLogError,
            "%s: RTSP response doesn't contain connection data section. RTP multicast stream cannot be started for "
            "device %s",
            kSdpInfoReceived, m_driver->GetDeviceName());
        return false;
    }
    if (video.port == 0) {
        Log(kLogError,
            "%s: RTSP response doesn't contain correct streaming port in media section. RTP multicast stream cannot "
            "be started for device %s",
            kSdpInfoReceived, m_driver->GetDeviceName());
        return false;
    }
    return true;
}

CRTPMediaParser* CBaseRTSPChannel::CreateParser(const std::string& encoding)
{
    const std::string name = rtsp::ToLower(encoding);
    if (name.empty() || StartsWith(name, "jpeg"))
        return new CJpegRTPMediaParser(m_driver);
    if (StartsWith(name, "h264"))
        return new CH264RTPMediaParser(m_driver);
    if (StartsWith(name, "mpeg4") || StartsWith(name, "mp4v"))
        return new CMpeg4RTPMediaParser(m_driver);
    Log(kLogError, "%s: Unable to handle RTP video data from device %s - unexpected payload type \"%s\"",
        kSdpInfoReceived, m_driver->GetDeviceName(), encoding.c_str());
    return nullptr;
}

void CBaseRTSPChannel::InterleavedPacketReceived(const CRTPPacket& packet)
{
    m_reception.AcceptInterleaved(packet);
    ProcessPacket(packet);
}

void CBaseRTSPChannel::ProcessPacket(const CRTPPacket& packet)
{
    if (const TSmartPtr<CRTPMediaParser> parser = CurrentParser())
        parser->ProcessPacket(packet);
}

TSmartPtr<CRTPMediaParser> CBaseRTSPChannel::CurrentParser()
{
    CAutoLock guard(m_parserLock);
    return m_parser;
}

void CBaseRTSPChannel::ReplaceParser(const TSmartPtr<CRTPMediaParser>& parser)
{
    CAutoLock guard(m_parserLock);
    m_parser = parser;
}

}  // namespace korvane
