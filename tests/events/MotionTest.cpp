// Motion detection through the driver against the simulated camera.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "events/CanonMotionChannel.h"
#include "events/EventsTestSupport.h"
#include "support/WaitUntil.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kFirstPairMs = 3000;

// A driver's motion channel on one simulated camera.
class MotionCamera : public CameraWithDriver {
public:
    explicit MotionCamera(const camsim::CameraOptions& options = {}) : CameraWithDriver(options) {}
    ~MotionCamera() { Stop(); }

    // Opens the driver and starts the channel with these areas on the camera.
    bool Start(const std::vector<camsim::MotionArea>& areas)
    {
        camera.Events().SetMotionAreas(areas);
        if (!Open())
            return false;
        channel.reset(driver.CreateMotionChannel(0, &sink));
        return channel != nullptr && channel->Start();
    }
    void Stop()
    {
        if (channel != nullptr)
            channel->Stop();
    }
    bool WaitForReports(size_t count, uint32_t timeoutMs = kEventWaitMs)
    {
        return WaitUntil([&] { return sink.Count() >= count; }, timeoutMs);
    }
    // Waits until the channel has asked the camera count more times.
    bool WaitForPolls(size_t count)
    {
        return WaitForRequests(kAreasPoll, RequestCount(kAreasPoll) + count);
    }

    MotionSink sink{frames};
    std::unique_ptr<IMotionChannel> channel;
};

TEST(MotionChannel, FirstPollSendsTheOppositeValueThenTheValueAsMotionFrames)
{
    MotionCamera camera;
    ASSERT_TRUE(camera.Start({{1, false}}));
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));
    EXPECT_TRUE(camera.channel->IsConnected());
    EXPECT_THAT(camera.sink.Values(), ElementsAre(true, false));

    const std::vector<DeliveredFrame> frames = camera.frames.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_THAT(frames[0].bytes, ElementsAre(0x01, 0x01));
    EXPECT_THAT(frames[1].bytes, ElementsAre(0x01, 0x00));
    for (const DeliveredFrame& frame : frames) {
        EXPECT_EQ(frame.fourCC, 0x444D454Du);  // "MEMD"
        EXPECT_EQ(frame.streamName, "CBaseMotionChannel");
        EXPECT_EQ(frame.width, 320u);
        EXPECT_EQ(frame.height, 240u);
        EXPECT_EQ(frame.sizeClass, 2u);
        EXPECT_THAT(frame.calls, ElementsAre("SetDataSize", "SetWidth", "SetHeight", "SetSizeClass", "Commit"));
    }
    EXPECT_EQ(camera.frames.LastAllocationSize(), 1024u);
    camera.Stop();
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
    EXPECT_EQ(camera.sink.SignalLostCount(), 0u);
}

TEST(MotionChannel, StopEndsAPollThatWaitsForTheCamera)
{
    MotionCamera camera;
    ASSERT_TRUE(camera.Open());
    camera.camera.Http().SetFault(camsim::HttpFault::NeverReply);
    camera.channel.reset(camera.driver.CreateMotionChannel(0, &camera.sink));
    ASSERT_TRUE(camera.channel->Start());
    ASSERT_TRUE(camera.WaitForRequests(kAreasPoll, 1));

    const auto start = Clock::now();
    camera.channel->Stop();
    // The poll alone would last the request time-out.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(camera.driver.GetDeviceInfo()->requestTimeoutMs / 2));
    EXPECT_EQ(camera.sink.Count(), 0u);
}

TEST(MotionChannel, TheVideoCaptureStartsAndStopsMotionDetectionWithItsChannel)
{
    camsim::CameraOptions options;
    options.address = "127.0.0.61";  // nothing streams on its port 554: only motion frames come
    MotionCamera camera(options);
    camera.camera.Events().SetMotionAreas({{1, true}});
    ASSERT_TRUE(camera.Open());
    SettableStreamRequest request;
    request.rate.motionDetection = 1;
    ipcapture::IIPVideoCaptureEx2* video = camera.driver.GetVideoCaptureEx2();
    ASSERT_TRUE(video->StartChannel(0, &camera.sink, &request));
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));
    EXPECT_THAT(camera.sink.Values(), ElementsAre(false, true));
    EXPECT_TRUE(video->StopChannel(0));
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
}

void TypeTwoAreasAndRepliesWithoutACountChangeNothing()
{
    MotionCamera camera;
    ASSERT_TRUE(camera.Start({{2, true}, {1, false}}));
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));
    EXPECT_THAT(camera.sink.Values(), ElementsAre(true, false)) << "an active area of type 2 is no motion";

    camera.camera.Events().SetMotionActive(2, true);
    ASSERT_TRUE(camera.WaitForReports(3));
    EXPECT_TRUE(camera.sink.LastValue());

    camera.camera.Events().RemoveMotionAreaCount();
    camera.camera.Events().SetMotionActive(2, false);
    ASSERT_TRUE(camera.WaitForPolls(2));
    EXPECT_EQ(camera.sink.Count(), 3u) << "without r.count the previous areas still hold";
}

void ChangesComeAtMostOnceASecond()
{
    MotionCamera camera;
    ASSERT_TRUE(camera.Start({{1, false}}));
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));

    // A pulse between two polls is never seen.
    ASSERT_TRUE(camera.WaitForPolls(1));
    camera.camera.Events().SetMotionActive(1, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    camera.camera.Events().SetMotionActive(1, false);
    ASSERT_TRUE(camera.WaitForPolls(1));
    EXPECT_EQ(camera.sink.Count(), 2u);

    // The camera changing faster than the driver reports.
    const auto until = Clock::now() + std::chrono::milliseconds(2600);
    for (bool active = true; Clock::now() < until; active = !active) {
        camera.camera.Events().SetMotionActive(1, active);
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    camera.camera.Events().SetMotionActive(1, true);
    ASSERT_TRUE(WaitUntil([&] { return camera.sink.LastValue(); }, kEventWaitMs)) << "a change that holds comes";

    const std::vector<MotionReport> reports = camera.sink.Reports();
    for (size_t i = 2; i < reports.size(); ++i) {
        EXPECT_GE(reports[i].at - reports[i - 1].at, std::chrono::milliseconds(990)) << "report " << i;
        EXPECT_NE(reports[i].motion, reports[i - 1].motion) << "report " << i;
    }
}

void SignalIsLostOnceAfterTheSecondTimeOutAndTheNextValueIsAnEdge()
{
    MotionCamera camera;
    camera.camera.Events().SetMotionAreas({{1, true}});
    ASSERT_TRUE(camera.Open());
    camera.driver.GetDeviceInfo()->secondTimeoutMs = 1500;
    camera.channel.reset(camera.driver.CreateMotionChannel(0, &camera.sink));
    ASSERT_TRUE(camera.channel->Start());
    ASSERT_TRUE(camera.WaitForReports(2, kFirstPairMs));

    camera.camera.Http().SetFault(camsim::HttpFault::ServerError);
    ASSERT_TRUE(WaitUntil([&] { return camera.sink.SignalLostCount() == 1; }, kEventWaitMs));
    EXPECT_FALSE(camera.channel->IsConnected());
    ASSERT_TRUE(camera.WaitForPolls(1));
    EXPECT_EQ(camera.sink.SignalLostCount(), 1u);

    camera.camera.Http().SetFault(camsim::HttpFault::None);
    ASSERT_TRUE(camera.WaitForReports(4));
    EXPECT_THAT(camera.sink.Values(), ElementsAre(false, true, false, true));
    EXPECT_TRUE(camera.channel->IsConnected());
}

TEST(MotionChannel, PollingScenarios)
{
    RunSideBySide({
        {"type 2 areas and replies without a count", TypeTwoAreasAndRepliesWithoutACountChangeNothing},
        {"changes at most once a second", ChangesComeAtMostOnceASecond},
        {"signal lost after the second time-out", SignalIsLostOnceAfterTheSecondTimeOutAndTheNextValueIsAnEdge},
    });
}

// ---- The area list as the replies change it --------------------------------

using Areas = std::vector<CCanonMotionChannel::DetectionArea>;

TEST(MotionAreas, RepliesResizeAndUpdateTheAreas)
{
    Areas areas;
    CCanonMotionChannel::UpdateAreas("r.count:=2\r\nr.1:=1\r\nr.1.type:=1\r\nr.2:=1\r\nr.2.type:=0\r\n", areas);
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_TRUE(areas[0].active);
    EXPECT_FALSE(areas[1].active) << "an area of another type is never active";
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));

    // Missing items keep what the area had.
    CCanonMotionChannel::UpdateAreas("r.count:=2\r\n", areas);
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));
    CCanonMotionChannel::UpdateAreas("r.count:=0\r\nr.1:=0\r\n", areas);
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));

    CCanonMotionChannel::UpdateAreas("r.count:=3\r\nr.1:=0\r\nr.3:=1\r\n", areas);
    ASSERT_EQ(areas.size(), 3u);
    EXPECT_EQ(areas[2].type, 0u) << "a new area starts with type 0";
    EXPECT_FALSE(CCanonMotionChannel::HasMotion(areas));
}

TEST(MotionAreas, AnAbsurdCountIsCapped)
{
    Areas areas;
    CCanonMotionChannel::UpdateAreas("r.count:=4000000000\r\nr.1:=1\r\nr.1.type:=1\r\n", areas);
    EXPECT_EQ(areas.size(), CCanonMotionChannel::kMaxDetectionAreas);
    EXPECT_TRUE(CCanonMotionChannel::HasMotion(areas));
}

}  // namespace
}  // namespace korvane::test
