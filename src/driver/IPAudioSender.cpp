#include "driver/IPAudioSender.h"

#include "driver/IAudioChannelCreator.h"

namespace korvane {

CIPAudioSender::CIPAudioSender(IAudioChannelCreator* creator, uint32_t channelLimit)
    : m_creator(creator), m_channels(channelLimit)
{
}

uint32_t CIPAudioSender::GetChannelCount()
{
    return m_channels.Count();
}

bool CIPAudioSender::OpenChannel(uint32_t audioId, uint32_t arg1, ipcapture::IAudioStateSink* stateSink,
                                 ipcapture::IAudioFormatList* formats)
{
    return m_channels.Open(audioId, [&] {
        return m_creator->CreateAudioOutputChannel(audioId, arg1, stateSink, formats);
    });
}

bool CIPAudioSender::CloseChannel(uint32_t audioId)
{
    return m_channels.Close(audioId);
}

bool CIPAudioSender::SendAudio(ipcapture::IAudioData* data)
{
    if (data == nullptr)
        return false;
    const uint32_t audioId = data->GetChannelId() & 0xFF;
    bool result = false;
    m_channels.WithChannel(audioId, [&](IAudioOutputChannel& channel) { result = channel.SendAudio(data); });
    return result;
}

bool CIPAudioSender::SetChannelOption(uint32_t audioId, ipcapture::IAudioFormat* format)
{
    bool result = false;
    m_channels.WithChannel(audioId, [&](IAudioOutputChannel& channel) { result = channel.GetAudioFormat(format); });
    return result;
}

void CIPAudioSender::RefreshChannel(uint32_t audioId)
{
    // The channel reports its state to the host by itself; refreshing only asks for it.
    m_channels.WithChannel(audioId, [](IAudioOutputChannel& channel) { channel.GetState(); });
}

}  // namespace korvane
