#pragma once
// What the audio adapters hold of an audio channel.
#include <cstdint>

#include "tallowcam/HostInterfaces.h"

namespace korvane {

// Camera microphone audio delivered to the host.
class IAudioInputChannel {
public:
    virtual ~IAudioInputChannel() = default;
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual uint32_t GetState() = 0;
};

// Host audio played on the camera's loudspeaker.
class IAudioOutputChannel {
public:
    virtual ~IAudioOutputChannel() = default;
    virtual bool Open() = 0;
    virtual bool Close() = 0;
    virtual uint32_t GetState() = 0;
    // Fills the host's format object with the format the channel expects.
    virtual bool GetAudioFormat(ipcapture::IAudioFormat* format) = 0;
    // Queues one packet; the channel returns it to the host once sent.
    virtual bool SendAudio(ipcapture::IAudioData* data) = 0;
};

}  // namespace korvane
