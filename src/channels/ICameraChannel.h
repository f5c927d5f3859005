#pragma once
// What the video capture adapter holds of a video stream channel, and the
// optional edge-storage monitor that watches the channels' frame times.
#include <cstdint>

#include "driver/ChannelSettings.h"
#include "tallowcam/HostInterfaces.h"

namespace korvane {

class IEdgeMonitor;

// Channel states as the channel reports them.
enum : uint32_t {
    kChannelStreaming = 0,
    kChannelSignalLost = 2,
    kChannelStopped = 3,
};

// A channel that an edge-storage monitor can watch (video or motion).
class IEdgeMonitorChannel {
public:
    virtual ~IEdgeMonitorChannel() = default;
    virtual uint32_t GetChannelIndex() = 0;
    virtual ipcapture::IFrameSink* GetFrameSink() = 0;
    virtual void SetEdgeMonitor(IEdgeMonitor* monitor) = 0;
};

// Observer of the frame times of a driver's channels.
class IEdgeMonitor {
public:
    virtual ~IEdgeMonitor() = default;
    // Starts watching a channel; the monitor hands itself to it with SetEdgeMonitor.
    virtual void AddChannel(IEdgeMonitorChannel* channel) = 0;
    // Stops watching a channel that is about to be stopped and deleted.
    virtual void RemoveChannel(IEdgeMonitorChannel* channel) = 0;
    // time: 100-ns units since 1601 (file time).
    virtual void FrameReceived(uint32_t channelIndex, uint64_t time) = 0;
    virtual void SignalLost(uint32_t channelIndex) = 0;
};

// One live video stream of a camera.
class ICameraChannel : public IEdgeMonitorChannel {
public:
    // Value of the host's stream request, handed over before Start.
    virtual void SetHostInfo(uint32_t hostInfo) = 0;
    // Stops any earlier run, then streams with the given settings.
    virtual bool Start(const ChannelSettings& settings) = 0;
    virtual void Stop() = 0;
    // Takes frame rate, size, codec and stream number; keeps the current quality.
    virtual bool ChangeSettings(const ChannelSettings& settings) = 0;
    // Suspended channels keep streaming but withhold frames from the host.
    // Suspend: true when it was not suspended; Resume: true when it was.
    virtual bool Suspend() = 0;
    virtual bool Resume() = 0;
    virtual uint32_t GetState() = 0;

protected:
    // Capture thread body; its result is the thread's exit code.
    virtual uint32_t Run() = 0;
    // Writes the current settings into the camera.
    virtual bool ApplyParams() = 0;
    // Called before the capture thread is waited for, to wake a blocked body.
    virtual void OnStopThread() = 0;
};

}  // namespace korvane
