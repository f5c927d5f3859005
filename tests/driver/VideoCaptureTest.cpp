#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "ChannelFakes.h"
#include "driver/IPVideoCapture.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "support/WaitUntil.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class VideoCaptureTest : public ::testing::Test {
protected:
    std::vector<std::string> TakeJournal() { return journal.Take(); }
    FakeCameraChannel& LastVideo() { return *creator.lastVideo.load(); }

    Journal journal;
    JournalingCreator creator{journal};
    CIPVideoCapture capture{&creator, 2};
    CFrameHost sink;
    SettableStreamRequest request;
};

TEST_F(VideoCaptureTest, StartChannelBuildsTheMainStreamFromTheRequest)
{
    request.rate.frameRate = 0x7000 + 15;
    request.rate.quality = 70;
    request.format.resolution.width = 1280;
    request.format.resolution.height = 720;
    request.format.codec = 1;
    request.hostInfo = 42;

    ASSERT_TRUE(capture.StartChannel(1, &sink, &request));
    ASSERT_NE(creator.lastVideo.load(), nullptr);
    const ChannelSettings& started = LastVideo().started;
    EXPECT_EQ(started.frameRate, 0x7000u + 15);
    EXPECT_EQ(started.quality, 70u);
    EXPECT_EQ(started.width, 1280u);
    EXPECT_EQ(started.height, 720u);
    EXPECT_EQ(started.codec, 1u);
    EXPECT_EQ(started.streamNumber, 0u);
    EXPECT_EQ(LastVideo().GetChannelIndex(), 1u);
    EXPECT_EQ(LastVideo().GetFrameSink(), &sink);
    EXPECT_THAT(TakeJournal(), ElementsAre("create video1 stream 0", "video1 hostInfo 42", "video1 start"));
}

TEST_F(VideoCaptureTest, IndexBeyondTheTableIsRefused)
{
    EXPECT_EQ(capture.GetChannelCount(), 2u);
    EXPECT_FALSE(capture.StartChannel(2, &sink, &request));
    EXPECT_FALSE(capture.StartStream(2, 1, &sink, &request));
    EXPECT_FALSE(capture.StopChannel(2));
    EXPECT_THAT(TakeJournal(), IsEmpty());
}

TEST_F(VideoCaptureTest, RestartStopsAndDeletesTheOldChannelBeforeCreatingTheNew)
{
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    TakeJournal();
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    EXPECT_THAT(TakeJournal(),
                ElementsAre("video1 stop", "video1 delete", "create video2 stream 0", "video2 hostInfo 0",
                            "video2 start"));
}

TEST_F(VideoCaptureTest, FailedCreationOrStartIsReported)
{
    creator.makeVideo = false;
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));
    uint32_t state = 99;
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));

    creator.makeVideo = true;
    creator.videoStartResult = false;
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));
    // The channel that failed to start stays in the table until stopped.
    EXPECT_TRUE(capture.StopChannel(0));
}

TEST_F(VideoCaptureTest, StopChannelOnAnEmptyEntryDoesNothing)
{
    EXPECT_FALSE(capture.StopChannel(0));
    EXPECT_THAT(TakeJournal(), IsEmpty());
}

TEST_F(VideoCaptureTest, StopChannelStopsMotionThenFurtherStreamsThenTheMainStream)
{
    request.rate.motionDetection = 1;
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 2, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 1, &sink, &request));
    EXPECT_THAT(TakeJournal(), ElementsAre("create video1 stream 0", "video1 hostInfo 0", "video1 start",
                                           "create motion2", "motion2 start", "create video3 stream 2",
                                           "video3 start", "create video4 stream 1", "video4 start"));

    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_THAT(TakeJournal(), ElementsAre("motion2 stop", "motion2 delete", "video3 stop", "video3 delete",
                                           "video4 stop", "video4 delete", "video1 stop", "video1 delete"));
    EXPECT_FALSE(capture.StopChannel(0));
}

TEST_F(VideoCaptureTest, MotionChannelDecidesTheResult)
{
    request.rate.motionDetection = 1;
    creator.motionStartResult = false;
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));

    creator.makeMotion = false;
    EXPECT_FALSE(capture.StartChannel(1, &sink, &request));

    // No motion channel is asked for when the video channel did not start.
    creator.makeMotion = true;
    creator.videoStartResult = false;
    TakeJournal();
    EXPECT_FALSE(capture.StartChannel(1, &sink, &request));
    EXPECT_THAT(TakeJournal(),
                ElementsAre("video3 stop", "video3 delete", "create video5 stream 0", "video5 hostInfo 0",
                            "video5 start"));
}

TEST_F(VideoCaptureTest, StreamsAreStartedAndStoppedOnTheirOwn)
{
    EXPECT_FALSE(capture.StartStream(0, 4, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 3, &sink, &request));
    EXPECT_EQ(LastVideo().started.streamNumber, 3u);

    // A further stream is no main stream.
    uint32_t state = 0;
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));

    creator.videoStartResult = false;
    EXPECT_FALSE(capture.StartStream(0, 1, &sink, &request));
    TakeJournal();
    EXPECT_TRUE(capture.StopStream(0, 1));  // kept although its start failed
    EXPECT_THAT(TakeJournal(), ElementsAre("video2 stop", "video2 delete"));
    EXPECT_FALSE(capture.StopStream(0, 1));
    EXPECT_FALSE(capture.StopStream(0, 4));
    EXPECT_TRUE(capture.StopStream(0, 3));
}

TEST_F(VideoCaptureTest, ChangeChannelPassesRateAndSizeToTheMainStream)
{
    SettableResolution resolution;
    resolution.width = 320;
    resolution.height = 240;
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 200));

    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    LastVideo().changeResult = false;
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 200));
    LastVideo().changeResult = true;
    EXPECT_TRUE(capture.ChangeChannel(0, &resolution, 200));
    const ChannelSettings& changed = LastVideo().changed;
    EXPECT_EQ(changed.frameRate, 200u);
    EXPECT_EQ(changed.quality, 0u);
    EXPECT_EQ(changed.width, 320u);
    EXPECT_EQ(changed.height, 240u);
    EXPECT_EQ(changed.codec, 0u);
    EXPECT_EQ(changed.streamNumber, 0u);
    EXPECT_FALSE(capture.ChangeChannel(0, nullptr, 200));
}

TEST_F(VideoCaptureTest, ASlowChangeHoldsUpNoOtherIndexAndKeepsItsChannelAlive)
{
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    FakeCameraChannel& slow = LastVideo();
    ASSERT_TRUE(capture.StartChannel(1, &sink, &request));
    std::promise<void> answer;
    slow.changeAnswer = answer.get_future().share();
    TakeJournal();
    SettableResolution resolution;
    auto change = std::async(std::launch::async, [&] { return capture.ChangeChannel(0, &resolution, 40); });
    std::vector<std::string> seen;
    ASSERT_TRUE(WaitUntil([&] { return !(seen = TakeJournal()).empty(); }, 1000));
    EXPECT_THAT(seen, ElementsAre("video1 change"));

    uint32_t state = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(capture.GetChannelState(1, &state, nullptr, nullptr, 0));
    using std::chrono::milliseconds;
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count(), 100);
    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_THAT(TakeJournal(), ElementsAre("video1 stop"));  // deleted only once the change is over
    answer.set_value();
    EXPECT_TRUE(change.get());
    EXPECT_THAT(TakeJournal(), ElementsAre("video1 delete"));
}

TEST_F(VideoCaptureTest, ChannelStateReportsStoppedAsSignalLost)
{
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    uint32_t state = 99;
    uint32_t extra = 99;
    char text[8] = "junk";

    LastVideo().state = kChannelStreaming;
    EXPECT_TRUE(capture.GetChannelState(0, &state, &extra, text, sizeof text));
    EXPECT_EQ(state, 0u);
    EXPECT_EQ(extra, 0u);
    EXPECT_STREQ(text, "");

    LastVideo().state = kChannelSignalLost;
    EXPECT_TRUE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    EXPECT_EQ(state, 2u);

    LastVideo().state = kChannelStopped;
    EXPECT_TRUE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    EXPECT_EQ(state, 2u);

    extra = 99;
    EXPECT_FALSE(capture.GetChannelState(1, &state, &extra, nullptr, 0));
    EXPECT_EQ(extra, 0u);
}

TEST_F(VideoCaptureTest, SuspendAndResumeGoToTheMainStream)
{
    EXPECT_FALSE(capture.SuspendChannel(0));
    EXPECT_FALSE(capture.ResumeChannel(0));
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    TakeJournal();
    EXPECT_TRUE(capture.SuspendChannel(0));
    LastVideo().resumeResult = false;
    EXPECT_FALSE(capture.ResumeChannel(0));
    EXPECT_THAT(TakeJournal(), ElementsAre("video1 suspend", "video1 resume"));
}

TEST_F(VideoCaptureTest, EdgeStorageOptionNeedsTheSixteenBitType)
{
    uint16_t on = 1;
    uint32_t wide = 1;
    EXPECT_FALSE(capture.SetOption("EdgeStorageState", &wide, 4));
    EXPECT_FALSE(capture.SetOption("OtherOption", &on, 2));
    EXPECT_FALSE(capture.SetOption("EdgeStorageState", nullptr, 2));
    uint16_t read = 7;
    ASSERT_TRUE(capture.GetOption("EdgeStorageState", &read, 2));
    EXPECT_EQ(read, 0u);

    EXPECT_TRUE(capture.SetOption("EdgeStorageState", &on, 2));
    ASSERT_TRUE(capture.GetOption("EdgeStorageState", &read, 2));
    EXPECT_EQ(read, 1u);
    EXPECT_FALSE(capture.GetOption("EdgeStorageState", &read, 1));
    EXPECT_FALSE(capture.GetOption("Other", &read, 2));
}

TEST_F(VideoCaptureTest, EdgeMonitorWatchesTheChannelsOnceEdgeStorageIsOn)
{
    uint16_t on = 1;
    ASSERT_TRUE(capture.SetOption("EdgeStorageState", &on, 2));
    request.rate.motionDetection = 1;
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 1, &sink, &request));
    EXPECT_THAT(TakeJournal(), ElementsAre("create monitor", "create video1 stream 0", "video1 hostInfo 0",
                                           "video1 start", "create motion2", "motion2 start", "monitor add video1",
                                           "monitor add motion2", "create video3 stream 1", "video3 start",
                                           "monitor add video3"));
    EXPECT_TRUE(capture.StopStream(0, 1));
    EXPECT_THAT(TakeJournal(), ElementsAre("monitor remove video3", "video3 stop", "video3 delete"));
    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_THAT(TakeJournal(), ElementsAre("monitor remove motion2", "monitor remove video1", "motion2 stop",
                                           "motion2 delete", "video1 stop", "video1 delete"));
}

TEST_F(VideoCaptureTest, WithoutEdgeStorageNoMonitorIsAskedFor)
{
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    EXPECT_THAT(TakeJournal(), ElementsAre("create video1 stream 0", "video1 hostInfo 0", "video1 start"));
}

TEST(VideoCaptureLifetime, DestructionStopsEveryChannelAndDeletesTheMonitor)
{
    Journal journal;
    JournalingCreator creator(journal);
    CFrameHost sink;
    SettableStreamRequest request;
    {
        CIPVideoCapture capture(&creator, 2);
        uint16_t on = 1;
        capture.SetOption("EdgeStorageState", &on, 2);
        capture.StartChannel(0, &sink, &request);
        capture.StartStream(1, 2, &sink, &request);
        journal.Take();
    }
    EXPECT_THAT(journal.Take(), ElementsAre("monitor remove video1", "video1 stop", "video1 delete",
                                     "monitor remove video2", "video2 stop", "video2 delete", "monitor delete"));
}

TEST(VideoCaptureConcurrency, ParallelStartsAndStopsLoseNoChannel)
{
    Journal journal;
    JournalingCreator creator(journal);
    CFrameHost sink;
    {
        CIPVideoCapture capture(&creator, 1);
        auto hostThread = [&] {
            SettableStreamRequest request;
            request.rate.motionDetection = 1;
            SettableResolution resolution;
            for (int round = 0; round < 200; ++round) {
                capture.StartChannel(0, &sink, &request);
                capture.StartStream(0, 1 + round % 3, &sink, &request);
                uint32_t state = 0;
                capture.GetChannelState(0, &state, nullptr, nullptr, 0);
                capture.ChangeChannel(0, &resolution, 40);
                capture.StopStream(0, 1 + round % 2);
                if (round % 4 == 0)
                    capture.StopChannel(0);
            }
        };
        std::thread first(hostThread);
        std::thread second(hostThread);
        first.join();
        second.join();
    }
    std::string offender;
    EXPECT_TRUE(EveryChannelEndedCleanly(journal.Take(), offender)) << offender;
}

}  // namespace
}  // namespace korvane::test
