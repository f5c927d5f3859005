#pragma once
// Factory through which the video capture adapter obtains its channels.
#include <cstdint>

#include "driver/ChannelSettings.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane {

class ICameraChannel;
class IEdgeMonitor;
class IMotionChannel;

// Every object returned belongs to the caller; null when none can be made.
class IVideoChannelCreator {
public:
    virtual ~IVideoChannelCreator() = default;
    // May replace a default codec in settings with the device's.
    virtual ICameraChannel* CreateVideoChannel(uint32_t channelIndex, ipcapture::IFrameSink* sink,
                                               ChannelSettings* settings) = 0;
    virtual IMotionChannel* CreateMotionChannel(uint32_t channelIndex, ipcapture::IFrameSink* sink) = 0;
    virtual IEdgeMonitor* CreateEdgeMonitor() = 0;
};

}  // namespace korvane
