#pragma once
// Factory through which the audio adapters obtain their channels.
#include <cstdint>

#include "tallowcam/HostInterfaces.h"

namespace korvane {

class IAudioInputChannel;
class IAudioOutputChannel;

// Every object returned belongs to the caller; null when none can be made.
class IAudioChannelCreator {
public:
    virtual ~IAudioChannelCreator() = default;
    virtual IAudioInputChannel* CreateAudioInputChannel(uint32_t audioId, uint32_t channelIndex,
                                                        ipcapture::IAudioSink* sink, uint32_t extra) = 0;
    virtual IAudioOutputChannel* CreateAudioOutputChannel(uint32_t audioId, uint32_t arg1,
                                                          ipcapture::IAudioStateSink* stateSink,
                                                          ipcapture::IAudioFormatList* formats) = 0;
};

}  // namespace korvane
