#pragma once
// Receives the audio frames a payload collector has filled.
#include "tallowcam/HostInterfaces.h"

namespace korvane {

class IAudioParserClient {
public:
    virtual ~IAudioParserClient() = default;
    // False: the frame was not taken; the collector starts again.
    virtual bool OnAudioFrame(ipcapture::IAudioData* frame) = 0;
};

}  // namespace korvane
