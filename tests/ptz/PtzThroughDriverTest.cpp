#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/CameraWithDriver.h"
#include "tallowcam/PtzInterfaces.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;

TEST(PtzThroughDriverTest, HostCommandsReachTheCameraWithTheOpenedCapabilities)
{
    CameraWithDriver setup;
    // The host hands its numbered parameters without gaps.
    for (uint32_t index = 1; index <= 4; ++index)
        setup.params.parameters[index] = "(none)";
    setup.params.parameters[5] =
        "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; PanSpeed=1-100;TiltSpeed=1-100;ZoomSpeed=1-7;";
    ASSERT_TRUE(setup.Open());
    ASSERT_NE(setup.driver.GetPTZDriver(), nullptr);
    IIPPTZApi* api = setup.driver.GetPTZDriver()->GetPTZApi(0);
    ASSERT_NE(api, nullptr);
    EXPECT_EQ(setup.driver.GetPTZDriverEx()->GetPTZApiEx(0), api);
    EXPECT_EQ(setup.driver.GetPTZDriver()->GetPTZApi(1), nullptr);

    // The driver's clock synchronisation talks to the camera too: only the PTZ requests count.
    const std::string control = "/-wvhttp-01-/control.cgi";
    EXPECT_EQ(api->FocusNear(1), kPtzNotSupported);
    ASSERT_EQ(api->StartMove(kPtzMoveDownLeft, 8), kPtzSuccess);
    ASSERT_TRUE(setup.WaitForRequests(control, 1));  // a stop discards a move still waiting
    ASSERT_EQ(api->Stop(), kPtzSuccess);
    ASSERT_TRUE(setup.WaitForRequests(control, 2));
    EXPECT_THAT(setup.Requests(control),
                ElementsAre("/-wvhttp-01-/control.cgi?tilt=down&tilt.speed.dir=47&pan=left&pan.speed.dir=47",
                            "/-wvhttp-01-/control.cgi?pan=stop&tilt=stop"));
    setup.driver.Close();
    EXPECT_EQ(setup.driver.GetPTZDriver(), nullptr);
}

}  // namespace
}  // namespace korvane::test
