#pragma once
// A simulated camera with its RTSP server on port 554 of the video tests' own
// loopback address, and a driver from the plug-in's factory, opened with the
// numbered parameters the plug-in's own capability query read from that camera.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "camsim/Camera.h"
#include "support/PluginDriver.h"

namespace korvane::test {

constexpr uint32_t kCodecJpeg = 1;
constexpr uint32_t kCodecH264 = 3;
constexpr uint32_t kFourCCH264 = 0x34363248;       // "H264"
constexpr uint32_t kFourCCH264Delta = 0x34363249;  // "I264"
constexpr uint32_t kFourCCJpeg = 0x4745504A;       // "JPEG"

// A camera the capability query reports as camera type 1 (no 1920x1080, no
// second stream), 2 (1920x1080, one stream) or 3 (a second H.264 stream).
camsim::CameraOptions CameraOfType(uint32_t cameraType);

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

class VideoCamera : public PluginDriver {
public:
    explicit VideoCamera(const camsim::CameraOptions& options) : camera(options) {}
    ~VideoCamera() { Close(); }  // before the camera goes

    // Starts the camera, runs the capability query and opens a driver with
    // what it reported; `overrides` replace single parameters.
    bool Open(const std::map<uint32_t, std::string>& overrides = {});

    // The settings requests ("/admin/-set-?") the video channels sent, in
    // order; the clock synchronisation's left out.
    std::vector<std::string> SettingsRequests();
    // Waits until the video channels sent count settings requests.
    bool WaitForSettingsRequests(size_t count);
    // Starts the role's stream, waits for count settings requests, stops the
    // stream again and returns the last request (empty: none).
    std::string LastSettingsOfStream(uint32_t role, const SettableStreamRequest& request, size_t count = 1);
    // The ONVIF operations the camera answered, in order.
    std::vector<std::string> OnvifOperations();
    // Forgets what the camera received so far (the RTSP requests stay).
    void ClearRequests();
    size_t RtspRequests(const std::string& method = "")
    {
        return test::RtspRequests(camera.Rtsp().Recorder(), method).size();
    }
    // The RTSP request count once it has stayed put for half a second: the
    // camera logs a stopped stream's last requests after the stop returned.
    size_t SettledRtspRequests();
    // The description camsim gave for the last stream it served on a path
    // ending in `suffix` (an empty path: none).
    camsim::StreamDescription LastDescribed(const std::string& suffix);

    camsim::Camera camera;
};

}  // namespace korvane::test
