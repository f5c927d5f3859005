#pragma once
// One opened driver for one camera, recording one stream at a time the way a
// recorder does: start the stream with a frame sink, watch the channel state,
// stop it.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CapabilityProbe.h"
#include "ConsoleLogSink.h"
#include "HeapFrames.h"
#include "HostParameters.h"
#include "PluginLibrary.h"
#include "ProbeRunner.h"
#include "RecordingSink.h"
#include "StreamRequest.h"
#include "tallowcam/IOInterfaces.h"
#include "tallowcam/PtzInterfaces.h"

namespace tallowcam_host {

enum class StreamRole : uint32_t { Rec = 0, Live = 1, Remote = 2 };

// The driver finds every camera's RTSP server on this port.
constexpr uint16_t kCameraRtspPort = 554;

struct RecordingPlan {
    StreamSettings stream;
    StreamRole role = StreamRole::Rec;
    double seconds = 3;             // of streaming, counted from the first frame
    double firstFrameSeconds = 20;  // the wait for the first frame
    std::string outputPath;         // empty: count frames only
    const std::atomic<bool>* interrupted = nullptr;  // set to end the recording early
};

struct StateChange {
    double atSeconds = 0;
    uint32_t state = 0;  // 0 streaming, 2 signal lost or stopped
};

struct RecordingResult {
    bool ok = false;
    std::string error;  // when not ok
    StreamStatistics statistics;
    std::vector<StateChange> stateChanges;  // the main stream's only
};

using ProgressCallback = std::function<void(double seconds, const StreamStatistics&)>;

// CameraSettings built from a capability report: model, channel and I/O
// counts and the numbered parameters the driver reads.
CameraSettings SettingsFromReport(const CapabilityReport& report, const CameraConnection& camera);

class DriverSession {
public:
    DriverSession(const PluginLibrary& plugin, ConsoleLogSink& logSink) : m_plugin(plugin), m_logSink(logSink) {}
    ~DriverSession() { Close(); }
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // host: the frame allocator the driver is given; null for the session's own heap frames.
    bool Open(const CameraSettings& camera, std::string& error,
              korvane::ipcapture::IFrameAllocator* host = nullptr);
    void Close();

    RecordingResult Record(const RecordingPlan& plan, const ProgressCallback& progress);

    // The main stream with motion detection: its frames and the motion frames go to sink.
    bool StartMotionDetection(korvane::ipcapture::IFrameSink& sink, const StreamSettings& stream);
    void StopMotionDetection()
    {
        if (m_video != nullptr)
            StopStream(StreamRole::Rec);
    }
    // The driver's digital I/O object; null while not open.
    korvane::ICaptureIOApi* IOApi() const { return m_driver != nullptr ? m_driver->GetIOApi() : nullptr; }
    // The opened driver; null while not open.
    IIPCaptureDriverEx5* Driver() const { return m_driver.get(); }
    // The first channel's PTZ interface; null while not open or without PTZ.
    korvane::IIPPTZApi* PtzApi() const;

    // Frames the driver took and has not given back.
    int64_t OutstandingFrames() const { return m_allocator.Outstanding(); }

private:
    bool StartStream(const RecordingPlan& plan, RecordingSink& sink, StreamRequest& request);
    void StopStream(StreamRole role);
    bool ReadState(uint32_t& state);

    const PluginLibrary& m_plugin;
    ConsoleLogSink& m_logSink;
    HeapFrameAllocator m_allocator;
    std::unique_ptr<HostParameters> m_parameters;
    PluginLibrary::DriverPtr m_driver;
    korvane::ipcapture::IIPVideoCaptureEx2* m_video = nullptr;
    std::string m_cameraAddress;
};

}  // namespace tallowcam_host
