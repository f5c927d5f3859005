#pragma once
// What the video capture adapter holds of a motion detection channel.
#include "channels/ICameraChannel.h"

namespace korvane {

// Reports the camera's motion state to the host as small frames through the
// video channel's frame sink.
class IMotionChannel : public IEdgeMonitorChannel {
public:
    // Stops any earlier run, then starts polling.
    virtual bool Start() = 0;
    virtual void Stop() = 0;
    // Hook called by Stop before the thread is waited for.
    virtual void OnStopping() = 0;
    // A motion frame was accepted since the last loss.
    virtual bool IsConnected() = 0;
};

}  // namespace korvane
