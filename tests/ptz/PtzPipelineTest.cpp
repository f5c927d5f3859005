#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ptz/CanonPTZComm.h"
#include "ptz/CanonPTZControl.h"
#include "ptz/PtzFixture.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using PtzPipelineTest = PtzFixture;

TEST_F(PtzPipelineTest, OnlyChannelZeroExistsAndKeepsItsControl)
{
    CCanonPTZHandler handler(&driver);
    IIPPTZApiEx* first = handler.GetPTZApiEx(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(handler.GetPTZApiEx(0), first);
    EXPECT_EQ(handler.GetPTZApi(0), static_cast<IIPPTZApi*>(first));
    EXPECT_EQ(handler.GetPTZApiEx(1), nullptr);
    EXPECT_EQ(first->QueryExtension(7), 0u);
}

TEST_F(PtzPipelineTest, ChannelWithoutWorkerAnswersFailureExceptForPresets)
{
    CCanonPTZControl control(&driver, 0);  // never opened
    PTZ_CAPABILITIES record{};
    EXPECT_EQ(control.IsPTZSupported(), kPtzFailure);
    EXPECT_EQ(control.StartMove(kPtzMoveLeft, 5), kPtzFailure);
    EXPECT_EQ(control.Stop(), kPtzFailure);
    EXPECT_EQ(control.Center(1, 1, 1), kPtzFailure);
    EXPECT_EQ(control.IrisMinus(1), kPtzFailure);
    EXPECT_EQ(control.GetCapabilities(&record), kPtzFailure);
    EXPECT_EQ(control.GetPrepositionCount(), 0);
    EXPECT_EQ(control.SetPreposition(nullptr), kPtzInvalidArgument);
}

TEST_F(PtzPipelineTest, CapabilitiesFillTheHostRecord)
{
    UseCapabilities("Pan=1; Tilt=0; Zoom=1; Focus=0; Iris=1; Center=1; Unzoom=0; AreaZoom=1; Preset=12");
    PTZ_CAPABILITIES record;
    std::fill_n(reinterpret_cast<uint32_t*>(&record), sizeof(record) / sizeof(uint32_t), 0xAAAAAAAAu);
    ASSERT_EQ(Api()->GetCapabilities(&record), kPtzSuccess);
    EXPECT_EQ(record.hostField, 0xAAAAAAAAu);
    EXPECT_EQ(record.pan, 1u);
    EXPECT_EQ(record.tilt, 0u);
    EXPECT_EQ(record.zoom, 1u);
    EXPECT_EQ(record.focus, 0u);
    EXPECT_EQ(record.iris, 1u);
    EXPECT_EQ(record.reserved6, 0u);
    EXPECT_EQ(record.maxPresets, 12u);
    EXPECT_EQ(record.presetCount, 0u);
    EXPECT_EQ(record.reserved9, 0u);
    EXPECT_EQ(record.reserved10, 0u);
    EXPECT_EQ(record.areaZoom, 1u);
    EXPECT_EQ(record.center, 1u);
    EXPECT_EQ(record.unzoom, 0u);
    EXPECT_EQ(Api()->GetCapabilities(nullptr), kPtzInvalidArgument);
    EXPECT_EQ(Api()->IsPTZSupported(), 1);
}

TEST_F(PtzPipelineTest, CameraWithoutPtzIsNotSupported)
{
    UseCapabilities("Pan=0; Tilt=0; Zoom=0; Focus=0; Iris=0");
    EXPECT_EQ(Api()->IsPTZSupported(), 0);
}

TEST_F(PtzPipelineTest, CommandsOutsideTheCapabilitiesAreRefusedAndNothingIsSent)
{
    UseCapabilities("Pan=1; Tilt=0; Zoom=0; Focus=0; Iris=0; PanSpeed=0-15;Center=0; Unzoom=0; AreaZoom=0");
    IIPPTZApiEx* api = Api();
    EXPECT_EQ(api->StartMove(kPtzZoomTele, 5), kPtzNotSupported);
    EXPECT_EQ(api->StartMove(kPtzZoomWide, 5), kPtzNotSupported);
    EXPECT_EQ(api->ZoomIn(5), kPtzNotSupported);
    EXPECT_EQ(api->ZoomOut(5), kPtzNotSupported);
    EXPECT_EQ(api->FocusNear(5), kPtzNotSupported);
    EXPECT_EQ(api->FocusFar(5), kPtzNotSupported);
    EXPECT_EQ(api->IrisPlus(5), kPtzNotSupported);
    EXPECT_EQ(api->IrisMinus(5), kPtzNotSupported);
    EXPECT_EQ(api->Center(10, 10, 5), kPtzNotSupported);
    EXPECT_EQ(api->AreaZoom(10, 10, 200, 5), kPtzNotSupported);
    EXPECT_EQ(api->Unzoom(5), kPtzNotSupported);
    EXPECT_EQ(api->StartMove(kPtzMoveInvalid, 5), kPtzInvalidArgument);
    EXPECT_EQ(api->StartMove(-1, 5), kPtzInvalidArgument);
    EXPECT_EQ(api->StartMove(11, 5), kPtzInvalidArgument);
    // None of the refused commands left a motion to stop.
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(), IsEmpty());
}

TEST_F(PtzPipelineTest, FullQueueDropsTheOldestWaitingCommands)
{
    IIPPTZApiEx* api = Api();
    camera.Ptz().HoldControlRequests();
    ASSERT_EQ(api->StartMove(kPtzMoveRight, 1), kPtzSuccess);
    ASSERT_TRUE(camera.Ptz().WaitForHeldRequests(1, kWaitMs));
    for (uint32_t speed = 2; speed <= 11; ++speed)
        ASSERT_EQ(api->StartMove(kPtzMoveRight, speed), kPtzSuccess);  // the default limit keeps eight
    camera.Ptz().ReleaseControlRequests();

    std::vector<std::string> expected = {Control("pan=right&pan.speed.dir=0")};
    for (int cameraSpeed = 3; cameraSpeed <= 10; ++cameraSpeed)
        expected.push_back(Control("pan=right&pan.speed.dir=" + std::to_string(cameraSpeed)));
    EXPECT_EQ(ExecutedRequests(expected.size()), expected);
}

TEST_F(PtzPipelineTest, QueueSizeComesFromTheConfiguration)
{
    Configure("<PTZQueueSize>2</PTZQueueSize>");
    IIPPTZApiEx* api = Api();
    camera.Ptz().HoldControlRequests();
    ASSERT_EQ(api->StartMove(kPtzMoveRight, 1), kPtzSuccess);
    ASSERT_TRUE(camera.Ptz().WaitForHeldRequests(1, kWaitMs));
    for (uint32_t speed = 2; speed <= 5; ++speed)
        ASSERT_EQ(api->StartMove(kPtzMoveRight, speed), kPtzSuccess);
    camera.Ptz().ReleaseControlRequests();

    EXPECT_THAT(ExecutedRequests(3),
                ElementsAre(Control("pan=right&pan.speed.dir=0"), Control("pan=right&pan.speed.dir=3"),
                            Control("pan=right&pan.speed.dir=4")));
}

TEST_F(PtzPipelineTest, StopDiscardsPendingCommandsAndStopsEachRunningMotionInOrder)
{
    IIPPTZApiEx* api = Api();
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

TEST_F(PtzPipelineTest, StopSendsOnlyWhatStillRuns)
{
    IIPPTZApiEx* api = Api();
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    ASSERT_EQ(api->ZoomOut(16), kPtzSuccess);
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    EXPECT_EQ(api->Stop(), kPtzSuccess);
    EXPECT_THAT(ExecutedRequests(), ElementsAre(Control("zoom=wide&zoom.speed.dir=7"), Control("zoom=stop")));
}

TEST_F(PtzPipelineTest, CommandsAfterCloseCannotBeQueued)
{
    CCanonPTZComm comm(&driver, 0, capabilities, 8);
    ASSERT_TRUE(comm.Open());
    comm.Close();
    EXPECT_EQ(comm.StartMove(nullptr, kPtzMoveLeft, 1), kPtzFailure);
    EXPECT_FALSE(comm.StopZooming(nullptr));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CBasePTZComm::StartMove: cannot send message (1) to thread"));
    EXPECT_TRUE(driver.HasLineContaining("korvane::CBasePTZComm::StopZooming: cannot send message (4) to thread"));
    EXPECT_EQ(camera.HttpRequests().Count(), 0u);
}

}  // namespace
}  // namespace korvane::test
