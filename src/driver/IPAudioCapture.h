#pragma once
// The host's audio capture object: one audio input channel per audio channel id.
#include <cstdint>

#include "audio/IAudioChannels.h"
#include "driver/AudioChannelTable.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane {

class IAudioChannelCreator;

class CIPAudioCapture final : public ipcapture::IIPAudioCapture2 {
public:
    // channelLimit: how many channels may be open at once.
    CIPAudioCapture(IAudioChannelCreator* creator, uint32_t channelLimit);
    TALLOWCAM_DELETING_DESTRUCTOR

    uint32_t GetChannelCount() override;
    bool OpenChannel(uint32_t audioId, uint32_t channelIndex, ipcapture::IAudioSink* sink, uint32_t extra) override;
    bool CloseChannel(uint32_t audioId) override;
    void RefreshChannel(uint32_t audioId) override;
    uint32_t Reserved5() override { return 0; }

private:
    IAudioChannelCreator* m_creator;
    TAudioChannelTable<IAudioInputChannel> m_channels;
};

}  // namespace korvane
