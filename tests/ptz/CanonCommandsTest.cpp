#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/ChannelSettings.h"
#include "ptz/PtzFixture.h"
#include "ptz/PtzSpeed.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using CanonCommandsTest = PtzFixture;

TEST(PtzSpeedTest, HostSpeedsSpanTheCameraRangeUpToAPercentLimit)
{
    const PTZ_RANGE range{1, 100};
    EXPECT_EQ(CameraSpeed(range, 1), 1);
    EXPECT_EQ(CameraSpeed(range, 8), 47);  // 1 + floor(99 * 7 / 15)
    EXPECT_EQ(CameraSpeed(range, 16), 100);
    // Speeds outside 1..16 stay inside the camera's range.
    EXPECT_EQ(CameraSpeed(range, 0), 1);
    EXPECT_EQ(CameraSpeed(range, 40), 100);
    EXPECT_EQ(CameraSpeed(PTZ_RANGE{9, 3}, 16), 9);

    EXPECT_EQ(LimitSpeedRange(PTZ_RANGE{0, 100}, 50).maximum, 50u);
    EXPECT_EQ(LimitSpeedRange(PTZ_RANGE{1, 150}, 10).maximum, 15u);  // 1 + trunc(14.9)
    EXPECT_EQ(LimitSpeedRange(PTZ_RANGE{1, 150}, 100).maximum, 150u);
    EXPECT_EQ(LimitSpeedRange(PTZ_RANGE{1, 150}, 10).minimum, 1u);
}

TEST_F(CanonCommandsTest, CameraErrorsMotionFocusAndIrisCommands)
{
    // Camera errors, from the opening of the channel on, are logged and the next command runs.
    camera.Http().SetFault(camsim::HttpFault::ServerError);
    IIPPTZApiEx* api = Api();
    ASSERT_EQ(api->StartMove(kPtzMoveRight, 1), kPtzSuccess);
    ASSERT_EQ(api->StartMove(kPtzMoveUp, 1), kPtzSuccess);
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(2, kWaitMs));
    camera.Http().SetFault(camsim::HttpFault::None);
    EXPECT_THAT(ExecutedRequests(2),
                ElementsAre(Control("pan=right&pan.speed.dir=0"), Control("tilt=up&tilt.speed.dir=1")));
    EXPECT_TRUE(driver.HasLineContaining("HTTP status code is 500"));

    for (int32_t direction = kPtzMoveLeft; direction <= kPtzMoveDownRight; ++direction)
        ASSERT_EQ(api->StartMove(direction, 8), kPtzSuccess);
    // No more than the queue limit (8) may wait at a time.
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(8, kWaitMs));
    ASSERT_EQ(api->StartMove(kPtzZoomTele, 1), kPtzSuccess);
    ASSERT_EQ(api->StartMove(kPtzZoomWide, 16), kPtzSuccess);
    // Host speed 8: pan 0-15 gives 7, tilt 1-150 gives 70.
    EXPECT_THAT(ExecutedRequests(10),
                ElementsAre(Control("pan=left&pan.speed.dir=7"), Control("pan=right&pan.speed.dir=7"),
                            Control("tilt=up&tilt.speed.dir=70"), Control("tilt=down&tilt.speed.dir=70"),
                            Control("tilt=up&tilt.speed.dir=70&pan=left&pan.speed.dir=7"),
                            Control("tilt=up&tilt.speed.dir=70&pan=right&pan.speed.dir=7"),
                            Control("tilt=down&tilt.speed.dir=70&pan=left&pan.speed.dir=7"),
                            Control("tilt=down&tilt.speed.dir=70&pan=right&pan.speed.dir=7"),
                            Control("zoom=tele&zoom.speed.dir=1"), Control("zoom=wide&zoom.speed.dir=7")));
    camsim::PtzSnapshot state = camera.Ptz().Snapshot();
    EXPECT_EQ(state.tiltMotion, "down");
    EXPECT_EQ(state.zoomMotion, "wide");
    EXPECT_EQ(state.zoomSpeed, 7);

    // Focus switches to manual once, and zoom back to automatic.
    ASSERT_EQ(api->FocusNear(4), kPtzSuccess);
    ASSERT_EQ(api->FocusFar(4), kPtzSuccess);
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(3, kWaitMs));
    EXPECT_EQ(camera.Ptz().Snapshot().focusMode, "manual");
    ASSERT_EQ(api->ZoomIn(1), kPtzSuccess);
    ASSERT_EQ(api->ZoomOut(1), kPtzSuccess);
    // Exposure was never manual, so no exposure request.
    EXPECT_THAT(ExecutedRequests(6),
                ElementsAre(Control("focus=manual"), Control("focus=near"), Control("focus=far"), Control("focus=auto"),
                            Control("zoom=tele&zoom.speed.dir=1"), Control("zoom=wide&zoom.speed.dir=1")));
    state = camera.Ptz().Snapshot();
    EXPECT_EQ(state.focusMode, "auto");
    EXPECT_EQ(state.exposureMode, "auto");
    EXPECT_EQ(state.focusMotion, "far");

    // Iris steps go from the current value and stay within the range.
    camera.Ptz().SetIris(100);
    ASSERT_EQ(api->IrisPlus(1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(kIrisInfo));
    camera.Ptz().SetIris(1);
    ASSERT_EQ(api->IrisMinus(1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(kIrisInfo));
    EXPECT_EQ(camera.Ptz().Snapshot().exposureMode, "auto");
    camera.Ptz().SetIris(50);
    ASSERT_EQ(api->IrisPlus(1), kPtzSuccess);
    ASSERT_EQ(api->IrisMinus(1), kPtzSuccess);
    ASSERT_EQ(api->IrisMinus(1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(6),
                ElementsAre(kIrisInfo, Control("exp=manual"), Control("c.1.me.iris=51"), kIrisInfo,
                            Control("c.1.me.iris=50"), kIrisInfo, Control("c.1.me.iris=49")));
    state = camera.Ptz().Snapshot();
    EXPECT_EQ(state.iris, 49u);
    EXPECT_EQ(state.exposureMode, "manual");
    camera.Model().RemoveInfo("c.1.me.iris");  // the current value is unknown: no step
    ASSERT_EQ(api->IrisPlus(1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(kIrisInfo));
    EXPECT_TRUE(driver.HasLineContaining("holds no iris value"));
}

TEST_F(CanonCommandsTest, ConfiguredPercentLimitsTheCameraSpeeds)
{
    UseCapabilities("Pan=1; Tilt=1; Zoom=1; PanSpeed=0-100;TiltSpeed=1-150;ZoomSpeed=1-7;");
    Configure("<PanSpeed>50</PanSpeed><TiltSpeed>10</TiltSpeed><ZoomSpeed>101</ZoomSpeed>");
    IIPPTZApiEx* api = Api();
    ASSERT_EQ(api->StartMove(kPtzMoveRight, 16), kPtzSuccess);
    ASSERT_EQ(api->StartMove(kPtzMoveUp, 16), kPtzSuccess);
    ASSERT_EQ(api->ZoomIn(16), kPtzSuccess);
    // The marker's pan speed is limited too: 50 instead of 100.
    ASSERT_EQ(api->StartMove(kPtzMoveLeft, 16), kPtzSuccess);
    ASSERT_TRUE(camera.HttpRequests().WaitForCount(4, kWaitMs));
    EXPECT_THAT(camera.HttpRequests().Targets(),
                ElementsAre(Control("pan=right&pan.speed.dir=50"), Control("tilt=up&tilt.speed.dir=15"),
                            Control("zoom=tele&zoom.speed.dir=7"), Control("pan=left&pan.speed.dir=50")));
}

TEST_F(CanonCommandsTest, CenterAndAreaZoomFollowThePictureSize)
{
    // Without a picture size both are skipped, as is an unexpected Unzoom.
    IIPPTZApiEx* api = Api();
    ASSERT_EQ(api->Center(320, 240, 1), kPtzSuccess);
    ASSERT_EQ(api->AreaZoom(320, 240, 200, 1), kPtzSuccess);
    ASSERT_EQ(api->Unzoom(3), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(), IsEmpty());
    EXPECT_TRUE(driver.HasLineContaining(
        "korvane::CCanonPTZComm::ProcessCenterCommand: The picture size of device 127.0.0.1"));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CCanonPTZComm::ProcessAreaZoomCommand: The picture size"));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CCanonPTZComm::HandleWorkItem: unexpected command ID=7"));

    // Positions are relative to the live picture.
    driver.streamDefaults.SetPictureSize({1280, 720}, "::RecStream");
    driver.streamDefaults.SetPictureSize({640, 480}, "::LiveStream");
    ASSERT_EQ(api->Center(320, 240, 1), kPtzSuccess);
    ASSERT_EQ(api->Center(0, 0, 1), kPtzSuccess);
    ASSERT_EQ(api->Center(480, 360, 1), kPtzSuccess);
    ASSERT_EQ(api->AreaZoom(480, 120, 200, 1), kPtzSuccess);
    ASSERT_EQ(api->AreaZoom(160, 240, 50, 1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(5),
                ElementsAre(Control("pan=v0&tilt=v0"), Control("pan=v-100&tilt=v+100"), Control("pan=v+50&tilt=v-50"),
                            Control("pan=v+50&tilt=v+50&zoom=v+50"), Control("pan=v-50&tilt=v0&zoom=v+200")));
    const camsim::PtzSnapshot state = camera.Ptz().Snapshot();
    EXPECT_EQ(state.panPosition, -50);
    EXPECT_EQ(state.tiltPosition, 100);
    EXPECT_EQ(state.zoomPercent, 100);

    // Points outside the picture are taken as its edge; a zoom value of 0 is refused.
    ASSERT_EQ(api->Center(0xFFFFFFFFu, 100000, 1), kPtzSuccess);
    ASSERT_EQ(api->AreaZoom(320, 240, 0, 1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(Control("pan=v-100&tilt=v-100")));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CCanonPTZComm::ProcessAreaZoomCommand: Invalid zoom value 0"));

    // While the live size is unknown, the other picture's counts.
    driver.streamDefaults.ClearPictureSize(kStreamLive);
    ASSERT_EQ(api->Center(1280, 720, 1), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(1), ElementsAre(Control("pan=v+100&tilt=v-100")));
}

}  // namespace
}  // namespace korvane::test
