#include "driver/IPAudioCapture.h"

#include "driver/IAudioChannelCreator.h"

namespace korvane {

CIPAudioCapture::CIPAudioCapture(IAudioChannelCreator* creator, uint32_t channelLimit)
    : m_creator(creator), m_channels(channelLimit)
{
}

uint32_t CIPAudioCapture::GetChannelCount()
{
    return m_channels.Count();
}

bool CIPAudioCapture::OpenChannel(uint32_t audioId, uint32_t channelIndex, ipcapture::IAudioSink* sink, uint32_t extra)
{
    return m_channels.Open(audioId, [&] {
        return m_creator->CreateAudioInputChannel(audioId, channelIndex, sink, extra);
    });
}

bool CIPAudioCapture::CloseChannel(uint32_t audioId)
{
    return m_channels.Close(audioId);
}

void CIPAudioCapture::RefreshChannel(uint32_t audioId)
{
    // The channel reports its state to the host by itself; refreshing only asks for it.
    m_channels.WithChannel(audioId, [](IAudioInputChannel& channel) { channel.GetState(); });
}

}  // namespace korvane
