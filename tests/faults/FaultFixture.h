#pragma once
// A host that drives the plug-in only through its exports, as a recorder
// does, against a simulated camera whose faults the tests switch on.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "camsim/CameraStreams.h"
#include "support/CameraAddress.h"
#include "support/CapabilityHost.h"
#include "support/PluginDriver.h"
#include "support/WaitUntil.h"
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

inline SettableStreamRequest H264Request() { return StreamRequest(3, 640, 480); }

// One camera and one driver for it; the driver is closed before the camera goes.
class FaultTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.IsLoaded()) << TALLOWCAM_PLUGIN_PATH; }
    void TearDown() override;

    // A camera at kCameraAddress without HTTP authentication; RTSP on 554 when asked.
    camsim::Camera& StartCamera(bool onRtspPort, const std::function<void(camsim::CameraOptions&)>& adjust = {});
    // Opens the driver for the camera (or for `address` with the camera's port).
    void OpenDriver(const std::string& address = kCameraAddress);

    size_t FrameCountOf(uint32_t role) const { return plugin.FramesOf(role).size(); }
    // HTTP requests other than the clock synchronisation's.
    std::vector<std::string> CameraRequests() const;
    // Stops the channel (or a further stream), expecting the stop to be bounded.
    void ExpectBoundedStop(uint32_t streamNumber);
    // The role's frames decode cleanly, one picture each, into pictures of the
    // sample the camera served last with this codec.
    void ExpectSamplePictures(uint32_t role, camsim::MediaCodec codec);

    std::unique_ptr<camsim::Camera> camera;
    PluginDriver plugin;
};

}  // namespace korvane::test
