#pragma once
// A simulated camera with HTTP and RTSP servers on loopback, and a driver
// pointed at it with short time-outs, for the audio channel tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "AudioFormats.h"
#include "support/FrameHost.h"
#include "camsim/Camera.h"
#include "camsim/audio/AudioTracks.h"
#include "camsim/rtsp/RtspServer.h"
#include "support/FakeDriver.h"
#include "support/ScratchDirectory.h"

namespace korvane::test {

constexpr uint32_t kAudioId = 0x105;           // the low byte goes into the frames
constexpr uint32_t kRequestTimeoutMs = 3000;   // C of the device record: above the one-second frame spacing
constexpr uint32_t kDeadlineMs = 15000;        // of the polling waits

template <typename Condition>
bool WaitFor(Condition condition, uint32_t timeoutMs = kDeadlineMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Input states: from each state the ones it may change to.
inline const std::vector<std::vector<uint32_t>>& InputStateTable()
{
    static const std::vector<std::vector<uint32_t>> table = {{1}, {2, 3, 5}, {3, 5}, {0}, {0}, {1, 3}};
    return table;
}

inline const std::vector<std::vector<uint32_t>>& OutputStateTable()
{
    static const std::vector<std::vector<uint32_t>> table = {{1}, {2, 3, 4, 5}, {3, 4, 5}, {0, 4}, {0}, {1, 3}};
    return table;
}

class AudioTest : public ::testing::Test {
protected:
    AudioTest() : rtsp(RtspOptions())
    {
        EXPECT_TRUE(camera.Start());
        driver.SetCamera("127.0.0.1", camera.HttpPort());
        driver.allocator = &host;
        driver.hostDirectory = scratch.Path();
        driver.deviceInfo.requestTimeoutMs = kRequestTimeoutMs;
        driver.deviceInfo.secondTimeoutMs = kRequestTimeoutMs;
    }

    static camsim::RtspServerOptions RtspOptions()
    {
        camsim::RtspServerOptions options;
        options.tracks = camsim::CameraTracks(camsim::MediaCodec::H264, camsim::CameraConfig());
        return options;
    }

    std::vector<std::string> HttpTargets() { return camera.HttpRequests().Targets(); }

    size_t CountTargets(const std::string& target)
    {
        const std::vector<std::string> targets = HttpTargets();
        return static_cast<size_t>(std::count(targets.begin(), targets.end(), target));
    }

    std::vector<std::string> RtspRequests(const std::string& method) const
    {
        std::vector<std::string> found;
        for (const std::string& request : rtsp.Recorder().Requests())
            if (request.rfind(method + " ", 0) == 0)
                found.push_back(request);
        return found;
    }

    camsim::Camera camera;
    camsim::RtspServer rtsp;
    FakeDriver driver;
    CFrameHost host;
    ScratchDirectory scratch;
};

}  // namespace korvane::test
