#pragma once
// A host that drives the plug-in only through its exports, as a recorder
// does, against a simulated camera whose faults the tests switch on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camsim/Camera.h"
#include "platform/DynamicLibrary.h"
#include "support/CameraAddress.h"
#include "support/CapabilityHost.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "support/WaitUntil.h"
#include "tallowcam/HostInterfaces.h"
#include "tallowcam/PtzInterfaces.h"

namespace korvane::test {

// The simulated camera's address, with port 554 free of other programs' cameras.
inline const std::string kCameraAddress = CameraAddress(CameraSite::Faults);
// The device record's time-outs the driver opens with: C and R.
constexpr uint32_t kConnectTimeoutMs = 5000;
constexpr uint32_t kReceiveTimeoutMs = 15000;
// A channel's stop waits at most 2 C for its capture thread; beyond that
// (plus margin) a stop hangs.
constexpr uint32_t kStopBoundMs = 2 * kConnectTimeoutMs + 2000;
// Guard for a host call that only queues work or starts a thread.
constexpr uint32_t kQuickCallBoundMs = 2000;
// Unicast start: the quiet time on a fresh port pair before the session starts.
constexpr uint32_t kPortProbeMs = 1500;

constexpr uint32_t kStreamLive = 1;

using Clock = std::chrono::steady_clock;

uint64_t ElapsedMs(Clock::time_point since);
// How long the call took.
uint64_t TimedMs(const std::function<void()>& call);

// A stream request as the host makes it.
SettableStreamRequest StreamRequest(uint32_t codec, uint32_t width, uint32_t height);
inline SettableStreamRequest H264Request() { return StreamRequest(3, 640, 480); }
inline SettableStreamRequest JpegRequest() { return StreamRequest(1, 320, 240); }

// The plug-in, loaded at run time, and one driver from its exported factory.
class CPluginDriver {
public:
    CPluginDriver();
    ~CPluginDriver();
    CPluginDriver(const CPluginDriver&) = delete;
    CPluginDriver& operator=(const CPluginDriver&) = delete;

    bool IsLoaded() const { return m_create != nullptr && m_destroy != nullptr && m_createQuery != nullptr; }
    // A new driver opened with the host's objects; false when it cannot be opened.
    bool Open(ipcapture::IFrameAllocator* allocator);
    // Closes and deletes the driver (nothing without one).
    void Close();

    ipcapture::IIPCaptureDriverEx5& Driver() { return *m_driver; }
    ipcapture::IIPVideoCaptureEx2& Video() { return *m_driver->GetVideoCaptureEx2(); }
    // The main stream's state as the host reads it (0 streaming, 2 signal lost).
    uint32_t ChannelState(uint32_t index = 0);
    // A capability query module from the plug-in's factory, deleted by its deleter.
    std::unique_ptr<ipcapture::IIPCapabilityQuery, std::function<void(ipcapture::IIPCapabilityQuery*)>>
    CreateCapabilityQuery(ipcapture::ICapabilityCallback* callback);

    SettableDriverParams params;
    RecordingLogSink log;

private:
    platform::DynamicLibrary m_plugin;
    ipcapture::IIPCaptureDriverEx5* (*m_create)() = nullptr;
    void (*m_destroy)(ipcapture::IPluginObject*) = nullptr;
    ipcapture::IIPCapabilityQuery* (*m_createQuery)(ipcapture::ICapabilityCallback*, uint32_t) = nullptr;
    ipcapture::IIPCaptureDriverEx5* m_driver = nullptr;
};

// One camera and one driver for it; the driver is closed before the camera goes.
class FaultTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A camera at kCameraAddress without HTTP authentication; RTSP on 554 when asked.
    camsim::Camera& StartCamera(bool onRtspPort, const std::function<void(camsim::CameraOptions&)>& adjust = {});
    // Opens the driver for the camera (or for `address` with the camera's port).
    void OpenDriver(const std::string& address = kCameraAddress);

    // Frames the host received on one stream ("::RecStream", "::LiveStream").
    std::vector<DeliveredFrame> FramesOf(const std::string& streamSuffix) const;
    size_t FrameCountOf(const std::string& streamSuffix) const { return FramesOf(streamSuffix).size(); }
    bool WaitForFrames(const std::string& streamSuffix, size_t count, uint32_t timeoutMs);
    // RTSP requests the camera received with this method.
    size_t RtspRequests(const std::string& method) const;
    // HTTP requests other than the clock synchronisation's.
    std::vector<std::string> CameraRequests() const;
    size_t LogLinesContaining(const std::string& part) const { return plugin.log.LinesContaining(part).size(); }

    // Stops the channel (or a further stream), expecting the stop to be bounded.
    void ExpectBoundedStop(uint32_t streamNumber);

    std::unique_ptr<camsim::Camera> camera;
    CFrameHost host;
    CPluginDriver plugin;
};

// The decoded pictures are exactly pictures of the sample the camera sent:
// every delivered frame decodes, cleanly, into one of them.
void ExpectSamplePictures(const std::vector<DeliveredFrame>& frames, const std::string& format,
                          const std::string& samplePath);

}  // namespace korvane::test
