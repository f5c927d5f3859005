#pragma once
// The camera's microphone for the host: switches the camera's audio
// transmission on, opens the audio track and hands one-second G.711 frames
// to the host's audio sink.
#include <cstdint>

#include "audio/AudioFormat.h"
#include "audio/BaseAudioRTSPChannel.h"
#include "audio/BaseRTPAudioParser.h"
#include "audio/IAudioParserClient.h"
#include "runtime/HttpSender.h"

namespace korvane {

class CAudioCaptureChannel : public CBaseAudioRTSPChannel, public IAudioParserClient {
public:
    // extra is kept for the host and not used.
    CAudioCaptureChannel(IDriver* driver, uint32_t channelIndex, uint32_t audioId, ipcapture::IAudioSink* sink,
                         uint32_t extra);
    ~CAudioCaptureChannel() override;

    bool SdpInfoReceived(const SdpInfo& description) override;
    bool OnAudioFrame(ipcapture::IAudioData* frame) override;

protected:
    bool SetAudioStreamParameters() override;
    void FillStreamSettings(RTSPClientSettings& settings) override;
    void ProcessPacket(const CRTPPacket& packet) override { m_parser.CollectPacket(packet); }

private:
    bool MulticastAddressIsSet();

    CBaseRTPAudioParser m_parser;
    uint32_t m_cameraType = 2;
    AudioFormat m_format;
    Web::CHttpSender m_httpSender;
    uint32_t m_extra;
};

}  // namespace korvane
