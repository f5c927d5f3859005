#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "camsim/Camera.h"
#include "driver/plugin/TallowcamDriver.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "tallowcam/PtzInterfaces.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;

constexpr uint32_t kWaitMs = 5000;

class PtzThroughDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(camera.Start());
        params.deviceAddress.port = camera.HttpPort();
        // The host hands its numbered parameters without gaps.
        for (uint32_t index = 1; index <= 4; ++index)
            params.parameters[index] = "(none)";
        params.parameters[5] = "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; PanSpeed=1-100;TiltSpeed=1-100;ZoomSpeed=1-7;";
        ASSERT_TRUE(driver.Open(&logSink, &allocator, &params));
        ASSERT_NE(driver.GetPTZDriver(), nullptr);
    }

    // The driver's clock synchronisation talks to the camera too: keep the PTZ requests.
    std::vector<std::string> ControlTargets()
    {
        std::vector<std::string> control;
        for (const auto& target : camera.HttpRequests().Targets())
            if (target.rfind("/-wvhttp-01-/control.cgi", 0) == 0)
                control.push_back(target);
        return control;
    }

    bool WaitForControlRequests(size_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
        while (ControlTargets().size() < count)
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    }

    camsim::Camera camera;
    RecordingLogSink logSink;
    CFrameHost allocator;
    SettableDriverParams params;
    CTallowcamDriver driver;
};

TEST_F(PtzThroughDriverTest, HostCommandsReachTheCameraWithTheOpenedCapabilities)
{
    IIPPTZApi* api = driver.GetPTZDriver()->GetPTZApi(0);
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(driver.GetPTZDriverEx()->GetPTZApiEx(0), api);
    EXPECT_EQ(driver.GetPTZDriver()->GetPTZApi(1), nullptr);

    EXPECT_EQ(api->FocusNear(1), kPtzNotSupported);
    ASSERT_EQ(api->StartMove(kPtzMoveDownLeft, 8), kPtzSuccess);
    ASSERT_TRUE(WaitForControlRequests(1));  // a stop discards a move still waiting
    ASSERT_EQ(api->Stop(), kPtzSuccess);
    ASSERT_TRUE(WaitForControlRequests(2));
    EXPECT_THAT(ControlTargets(),
                ElementsAre("/-wvhttp-01-/control.cgi?tilt=down&tilt.speed.dir=47&pan=left&pan.speed.dir=47",
                            "/-wvhttp-01-/control.cgi?pan=stop&tilt=stop"));
    driver.Close();
    EXPECT_EQ(driver.GetPTZDriver(), nullptr);
}

}  // namespace
}  // namespace korvane::test
