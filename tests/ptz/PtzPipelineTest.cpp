#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ptz/CanonPTZComm.h"
#include "ptz/CanonPTZControl.h"
#include "ptz/PtzFixture.h"

namespace korvane::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using PtzPipelineTest = PtzFixture;

TEST_F(PtzPipelineTest, OnlyChannelZeroExistsAndPipelinesWithoutAWorkerRefuseCommands)
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

}  // namespace
}  // namespace korvane::test
