#pragma once
// The plug-in as a recorder uses it: loaded at run time, a driver from its
// exported factory opened with recording host objects, capability query
// modules from its exports. The driver goes back to the plug-in with the object.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "PluginLibrary.h"
#include "camsim/Camera.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"

namespace korvane::test {

enum StreamRole : uint32_t { kRec = 0, kLive = 1, kRemote = 2 };
constexpr uint32_t kStreamWaitMs = 8000;  // session set-up and the first frames, sanitizers included
const char* RoleName(uint32_t role);  // "Rec", "Live", "Remote"

class PluginDriver {
public:
    // Loads the plug-in; the parameters are those of a host without settings for the camera beyond PTZ.
    PluginDriver();
    ~PluginDriver() { Close(); }

    bool IsLoaded() const { return m_loaded; }
    // Runs the plug-in's capability query on the device of `params` and gives
    // the driver the numbered parameters and the model it reported.
    bool Probe();
    // A new driver opened with the host objects, closing the one before.
    bool Open();
    // Closes the driver and gives it back to the plug-in (nothing without one).
    void Close();

    ipcapture::IIPCaptureDriverEx5& Driver() { return *m_driver; }
    ipcapture::IIPVideoCaptureEx2& Video() { return *m_driver->GetVideoCaptureEx2(); }
    // The host's start calls for channel 0, with the request alive for the call.
    bool StartChannel(SettableStreamRequest request) { return Video().StartChannel(0, &frames, &request); }
    bool StartStream(uint32_t role, SettableStreamRequest request)
    {
        return Video().StartStream(0, role, &frames, &request);
    }
    // The channel's state as the host reads it (0 streaming, 2 signal lost, 99 no channel).
    uint32_t ChannelState(uint32_t index = 0);
    tallowcam_host::PluginLibrary::QueryPtr CreateCapabilityQuery(ipcapture::ICapabilityCallback* callback) const
    {
        return m_plugin.CreateCapabilityQuery(callback, 0);
    }

    // The frames of one stream role ("<address>:<port>::RecStream" and so on).
    std::vector<DeliveredFrame> FramesOf(uint32_t role) const { return frames.FramesOf(StreamName(role)); }
    bool WaitForFrames(uint32_t role, size_t count, uint32_t timeoutMs = kStreamWaitMs) const
    {
        return frames.WaitForFrames(StreamName(role), count, timeoutMs);
    }

    SettableDriverParams params;
    RecordingLogSink log;
    CFrameHost frames;
    std::map<uint32_t, std::string> probedParameters;  // as the capability query reported them

private:
    std::string StreamName(uint32_t role) const;

    tallowcam_host::PluginLibrary m_plugin;
    bool m_loaded = false;
    tallowcam_host::PluginLibrary::DriverPtr m_driver;
};

// The RTSP requests of the method a server received ("" for all).
std::vector<std::string> RtspRequests(const camsim::RtspRecorder& recorder, const std::string& method = "");

}  // namespace korvane::test
