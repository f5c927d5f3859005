#pragma once
// A simulated camera with its RTSP server on port 554 of the video tests' own
// loopback address, and a driver from the plug-in's factory, opened with the
// numbered parameters the plug-in's own capability query read from that camera.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "PluginLibrary.h"
#include "camsim/Camera.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"

namespace korvane::test {

constexpr uint32_t kCodecJpeg = 1;
constexpr uint32_t kCodecH264 = 3;
constexpr uint32_t kFourCCH264 = 0x34363248;       // "H264"
constexpr uint32_t kFourCCH264Delta = 0x34363249;  // "I264"
constexpr uint32_t kFourCCJpeg = 0x4745504A;       // "JPEG"
constexpr uint32_t kStreamWaitMs = 8000;  // session set-up and the first frames, sanitizers included

enum StreamRole : uint32_t { kRec = 0, kLive = 1, kRemote = 2 };
const char* RoleName(uint32_t role);  // "Rec", "Live", "Remote"

// A camera the capability query reports as camera type 1 (no 1920x1080, no
// second stream), 2 (1920x1080, one stream) or 3 (a second H.264 stream).
camsim::CameraOptions CameraOfType(uint32_t cameraType);

// A stream request for codec, size, frames per second and quality.
SettableStreamRequest StreamRequest(uint32_t codec, uint32_t width, uint32_t height, uint32_t framesPerSecond,
                                    uint32_t quality);

// RTP inside the RTSP connection: a stream starts without the UDP port search.
constexpr char kInterleaved[] = "<Default><RTPMode>RTPoverRTSP</RTPMode></Default>";

// "Tallowcam.xml" beside this program, which is where the driver reads it,
// for the life of the object.
class HostConfigurationFile {
public:
    explicit HostConfigurationFile(const std::string& body);
    ~HostConfigurationFile();

private:
    std::string m_path;
};

class VideoCamera {
public:
    explicit VideoCamera(const camsim::CameraOptions& options) : camera(options) {}
    ~VideoCamera();  // closes the driver and gives it back to the plug-in

    // Starts the camera, runs the capability query and opens a driver with
    // what it reported; `overrides` replace single parameters.
    bool Open(const std::map<uint32_t, std::string>& overrides = {});
    ipcapture::IIPVideoCaptureEx2* Video() const;
    // The host's start calls for channel 0, with the request alive for the call.
    bool StartChannel(SettableStreamRequest request) { return Video()->StartChannel(0, &frames, &request); }
    bool StartStream(uint32_t role, SettableStreamRequest request)
    {
        return Video()->StartStream(0, role, &frames, &request);
    }

    // The settings requests ("/admin/-set-?") the video channels sent, in
    // order; the clock synchronisation's left out.
    std::vector<std::string> SettingsRequests();
    // Waits until the video channels sent count settings requests.
    bool WaitForSettingsRequests(size_t count, uint32_t timeoutMs = kStreamWaitMs);
    // Starts the role's stream, waits for count settings requests, stops the
    // stream again and returns the last request (empty: none).
    std::string LastSettingsOfStream(uint32_t role, const SettableStreamRequest& request, size_t count = 1);
    // The ONVIF operations the camera answered, in order.
    std::vector<std::string> OnvifOperations();
    // Forgets what the camera received so far (the RTSP requests stay).
    void ClearRequests();
    // The RTSP requests of the method the camera received ("" for all).
    size_t RtspRequests(const std::string& method = "");

    // The frames of one stream ("<device>::RecStream" and so on).
    std::vector<DeliveredFrame> FramesOf(uint32_t role) const;
    bool WaitForFrames(uint32_t role, size_t count, uint32_t timeoutMs = kStreamWaitMs) const;
    // The description camsim gave for the last stream it served on a path
    // ending in `suffix` (an empty path: none).
    camsim::StreamDescription LastDescribed(const std::string& suffix);
    bool HasLogLine(const std::string& part) const { return !logSink.LinesContaining(part).empty(); }

    camsim::Camera camera;
    std::map<uint32_t, std::string> probedParameters;
    RecordingLogSink logSink;
    CFrameHost frames;
    SettableDriverParams params;

private:
    tallowcam_host::PluginLibrary m_plugin;
    tallowcam_host::PluginLibrary::DriverPtr m_driver;
};

}  // namespace korvane::test
