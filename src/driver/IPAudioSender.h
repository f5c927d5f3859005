#pragma once
// The host's audio sender object: one audio output channel per audio channel id.
#include <cstdint>

#include "audio/IAudioChannels.h"
#include "driver/AudioChannelTable.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane {

class IAudioChannelCreator;

class CIPAudioSender final : public ipcapture::IIPAudioSender {
public:
    // channelLimit: how many channels may be open at once.
    CIPAudioSender(IAudioChannelCreator* creator, uint32_t channelLimit);
    TALLOWCAM_DELETING_DESTRUCTOR

    uint32_t GetChannelCount() override;
    bool OpenChannel(uint32_t audioId, uint32_t arg1, ipcapture::IAudioStateSink* stateSink,
                     ipcapture::IAudioFormatList* formats) override;
    bool CloseChannel(uint32_t audioId) override;
    // Goes to the channel named by the low byte of the data's channel id.
    bool SendAudio(ipcapture::IAudioData* data) override;
    // Fills format with what the channel expects.
    bool SetChannelOption(uint32_t audioId, ipcapture::IAudioFormat* format) override;
    void RefreshChannel(uint32_t audioId) override;
    uint32_t Reserved7() override { return 0; }
    uint32_t Reserved8() override { return 0; }

private:
    IAudioChannelCreator* m_creator;
    TAudioChannelTable<IAudioOutputChannel> m_channels;
};

}  // namespace korvane
