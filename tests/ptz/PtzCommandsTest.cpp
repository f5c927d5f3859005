// PTZ commands from the host to the camera: speeds, the command pipeline, and
// the driver's exported PTZ objects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "driver/ChannelSettings.h"
#include "ptz/CanonPTZComm.h"
#include "ptz/CanonPTZControl.h"
#include "ptz/PtzFixture.h"
#include "ptz/PtzSpeed.h"
#include "support/CameraWithDriver.h"

namespace korvane::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using CanonCommandsTest = PtzFixture;
using PtzPipelineTest = PtzFixture;

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

TEST_F(PtzPipelineTest, OnlyChannelZeroExistsAndPipelinesWithoutAWorkerOrClosedChannelsRefuseCommands)
{
    CCanonPTZComm comm(&driver, 0, capabilities, 8);
    ASSERT_TRUE(comm.Open());
    comm.Close();
    EXPECT_EQ(comm.StartMove(nullptr, kPtzMoveLeft, 1), kPtzFailure);
    EXPECT_FALSE(comm.StopZooming(nullptr));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CBasePTZComm::StartMove: cannot send message (1) to thread"));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CBasePTZComm::StopZooming: cannot send message (4) to thread"));
    EXPECT_EQ(camera.HttpRequests().Count(), 0u);

    CCanonPTZControl control(&driver, 0);  // never opened
    PTZ_CAPABILITIES record{};
    EXPECT_THAT((std::vector<int32_t>{control.IsPTZSupported(), control.StartMove(kPtzMoveLeft, 5), control.Stop(),
                                      control.Center(1, 1, 1), control.IrisMinus(1), control.GetCapabilities(&record)}),
                Each(kPtzFailure));
    EXPECT_EQ(control.GetPrepositionCount(), 0);
    EXPECT_EQ(control.SetPreposition(nullptr), kPtzInvalidArgument);
    // Once closed, it forgets its presets and no longer reaches the camera.
    ASSERT_TRUE(control.Open());
    ASSERT_EQ(control.SetPreposition("A"), kPtzSuccess);
    control.Close();
    EXPECT_EQ(control.GetPrepositionCount(), 0);
    EXPECT_EQ(control.SetPreposition("B"), kPtzFailure);
    EXPECT_EQ(control.MoveToPreposition(8, "A"), kPtzPresetFailure);
    EXPECT_EQ(control.DeletePreposition("A"), kPtzPresetFailure);
    EXPECT_EQ(camera.Ptz().Presets().size(), 1u);

    CCanonPTZHandler channels(&driver);
    IIPPTZApiEx* first = channels.GetPTZApiEx(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(channels.GetPTZApiEx(0), first);
    EXPECT_EQ(channels.GetPTZApi(0), static_cast<IIPPTZApi*>(first));
    EXPECT_EQ(channels.GetPTZApiEx(1), nullptr);
    EXPECT_EQ(first->QueryExtension(7), 0u);
}

TEST_F(PtzPipelineTest, CapabilitiesFillTheHostRecordAndRefuseCommands)
{
    UseCapabilities("Pan=1; Tilt=0; Zoom=1; Focus=0; Iris=1; Center=1; Unzoom=0; AreaZoom=1; Preset=12");
    PTZ_CAPABILITIES record;
    uint32_t* const slots = reinterpret_cast<uint32_t*>(&record);
    const size_t count = sizeof(record) / sizeof(uint32_t);
    std::fill_n(slots, count, 0xAAAAAAAAu);
    ASSERT_EQ(Api()->GetCapabilities(&record), kPtzSuccess);
    // hostField (the host's), pan, tilt, zoom, focus, iris, reserved6, maxPresets, presetCount, reserved9,
    // reserved10, areaZoom, center, unzoom
    EXPECT_EQ(std::vector<uint32_t>(slots, slots + count),
              (std::vector<uint32_t>{0xAAAAAAAAu, 1, 0, 1, 0, 1, 0, 12, 0, 0, 0, 1, 1, 0}));
    EXPECT_EQ(Api()->GetCapabilities(nullptr), kPtzInvalidArgument);
    EXPECT_EQ(Api()->IsPTZSupported(), 1);

    handler.reset();
    UseCapabilities("Pan=0; Tilt=0; Zoom=0; Focus=0; Iris=0");
    EXPECT_EQ(Api()->IsPTZSupported(), 0);

    // Commands outside the capabilities are refused and send nothing.
    handler.reset();
    UseCapabilities("Pan=1; Tilt=0; Zoom=0; Focus=0; Iris=0; PanSpeed=0-15;Center=0; Unzoom=0; AreaZoom=0");
    IIPPTZApiEx* api = Api();
    EXPECT_THAT((std::vector<int32_t>{api->StartMove(kPtzZoomTele, 5), api->StartMove(kPtzZoomWide, 5), api->ZoomIn(5),
                                      api->ZoomOut(5), api->FocusNear(5), api->FocusFar(5), api->IrisPlus(5),
                                      api->IrisMinus(5), api->Center(10, 10, 5), api->AreaZoom(10, 10, 200, 5),
                                      api->Unzoom(5)}),
                Each(kPtzNotSupported));
    EXPECT_THAT((std::vector<int32_t>{api->StartMove(kPtzMoveInvalid, 5), api->StartMove(-1, 5),
                                      api->StartMove(11, 5)}),
                Each(kPtzInvalidArgument));
    // None of the refused commands left a motion to stop.
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(), IsEmpty());
}

TEST_F(PtzPipelineTest, FullQueueDropsTheOldestWaitingCommands)
{
    // The default limit keeps eight waiting commands; the configuration may set another.
    for (const uint32_t limit : {8u, 2u}) {
        SCOPED_TRACE(limit);
        if (limit != 8) {
            handler.reset();
            Configure("<PTZQueueSize>" + std::to_string(limit) + "</PTZQueueSize>");
        }
        IIPPTZApiEx* api = Api();
        camera.Ptz().HoldControlRequests();
        ASSERT_EQ(api->StartMove(kPtzMoveRight, 1), kPtzSuccess);
        ASSERT_TRUE(camera.Ptz().WaitForHeldRequests(1, kWaitMs));
        for (uint32_t speed = 2; speed <= limit + 3; ++speed)
            ASSERT_EQ(api->StartMove(kPtzMoveRight, speed), kPtzSuccess);
        camera.Ptz().ReleaseControlRequests();

        std::vector<std::string> expected = {Control("pan=right&pan.speed.dir=0")};
        for (uint32_t cameraSpeed = 3; cameraSpeed < limit + 3; ++cameraSpeed)
            expected.push_back(Control("pan=right&pan.speed.dir=" + std::to_string(cameraSpeed)));
        EXPECT_EQ(ExecutedRequests(expected.size()), expected);
    }
}

TEST_F(PtzPipelineTest, StopDiscardsPendingCommandsAndStopsWhatStillRunsInOrder)
{
    IIPPTZApiEx* api = Api();
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    ASSERT_EQ(api->ZoomOut(16), kPtzSuccess);
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(), ElementsAre(Control("zoom=wide&zoom.speed.dir=7"), Control("zoom=stop")));

    camera.Ptz().HoldControlRequests();
    ASSERT_EQ(api->StartMove(kPtzMoveUp, 16), kPtzSuccess);
    ASSERT_TRUE(camera.Ptz().WaitForHeldRequests(1, kWaitMs));
    ASSERT_EQ(api->ZoomIn(3), kPtzSuccess);
    ASSERT_EQ(api->FocusFar(3), kPtzSuccess);
    ASSERT_EQ(api->IrisPlus(3), kPtzSuccess);
    ASSERT_EQ(api->StartMove(kPtzMoveRight, 3), kPtzSuccess);
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    camera.Ptz().ReleaseControlRequests();
    // The iris stops by itself: its stop sends nothing.
    EXPECT_THAT(ExecutedRequests(4), ElementsAre(Control("tilt=up&tilt.speed.dir=150"), Control("pan=stop&tilt=stop"),
                                                Control("zoom=stop"), Control("focus=stop")));
    const camsim::PtzSnapshot state = camera.Ptz().Snapshot();
    EXPECT_EQ(state.tiltMotion, "stop");
    EXPECT_EQ(state.zoomMotion, "stop");
}

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
