#pragma once
// The plug-in as a recorder uses it: loaded at run time, a driver from its
// exported factory opened with recording host objects, capability query
// modules from its exports. The driver goes back to the plug-in with the object.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "PluginLibrary.h"
#include "ProbeRunner.h"
#include "camsim/Camera.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"

namespace korvane::test {

enum StreamRole : uint32_t { kRec = 0, kLive = 1, kRemote = 2 };
constexpr uint32_t kStreamWaitMs = 8000;  // session set-up and the first frames, sanitizers included
// "Rec", "Live", "Remote"
inline const char* RoleName(uint32_t role)
{
    const char* const names[] = {"Rec", "Live", "Remote"};
    return role < 3 ? names[role] : "?";
}

class PluginDriver {
public:
    // Loads the plug-in; the parameters are those of a host without settings for the camera beyond PTZ.
    PluginDriver()
    {
        std::string error;
        m_loaded = m_plugin.Load(TALLOWCAM_PLUGIN_PATH, error);
        // The host hands its numbered parameters without gaps; 5 lets PTZ commands through.
        for (uint32_t index = 1; index <= 4; ++index)
            params.parameters[index] = "(none)";
        params.parameters[5] = "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; PanSpeed=1-100;TiltSpeed=1-100;ZoomSpeed=1-7;";
    }
    ~PluginDriver() { Close(); }

    bool IsLoaded() const { return m_loaded; }
    // Runs the plug-in's capability query on the device of `params` and gives
    // the driver the numbered parameters and the model it reported.
    bool Probe()
    {
        const SettableDeviceAddress& device = params.deviceAddress;
        const tallowcam_host::CapabilityReport report = tallowcam_host::RunCapabilityQuery(
            m_plugin, {device.address, device.port, device.userName, device.password}, 10000);
        if (report.outcome != tallowcam_host::ProbeOutcome::Completed)
            return false;
        for (const auto& [number, parameter] : report.parameters)
            probedParameters[number] = parameter.value.empty() ? "(none)" : parameter.value;
        params.parameters = probedParameters;
        params.captureInfo.model = report.deviceName;
        return true;
    }
    // A new driver opened with the host objects, closing the one before.
    bool Open()
    {
        Close();
        m_driver = m_plugin.CreateDriver();
        return m_driver != nullptr && m_driver->Open(&log, &frames, &params);
    }
    // Closes the driver and gives it back to the plug-in (nothing without one).
    void Close()
    {
        if (m_driver != nullptr)
            m_driver->Close();
        m_driver.reset();
    }

    ipcapture::IIPCaptureDriverEx5& Driver() { return *m_driver; }
    ipcapture::IIPVideoCaptureEx2& Video() { return *m_driver->GetVideoCaptureEx2(); }
    // The host's start calls for channel 0, with the request alive for the call.
    bool StartChannel(SettableStreamRequest request) { return Video().StartChannel(0, &frames, &request); }
    bool StartStream(uint32_t role, SettableStreamRequest request)
    {
        return Video().StartStream(0, role, &frames, &request);
    }
    // The channel's state as the host reads it (0 streaming, 2 signal lost, 99 no channel).
    uint32_t ChannelState(uint32_t index = 0)
    {
        uint32_t state = 99;
        return Video().GetChannelState(index, &state, nullptr, nullptr, 0) ? state : 99;
    }
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
    std::string StreamName(uint32_t role) const
    {
        return params.deviceAddress.address + ":" + std::to_string(params.deviceAddress.port) + "::" +
               RoleName(role) + "Stream";
    }

    tallowcam_host::PluginLibrary m_plugin;
    bool m_loaded = false;
    tallowcam_host::PluginLibrary::DriverPtr m_driver;
};

// The RTSP requests of the method a server received ("" for all).
inline std::vector<std::string> RtspRequests(const camsim::RtspRecorder& recorder, const std::string& method = "")
{
    std::vector<std::string> found;
    for (const std::string& request : recorder.Requests())
        if (method.empty() || request.rfind(method + " ", 0) == 0)
            found.push_back(request);
    return found;
}

}  // namespace korvane::test
