#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST_F(VideoCaptureTest, StartChannelBuildsTheMainStreamAndARestartReplacesIt)
{
    EXPECT_FALSE(capture.StartChannel(2, &sink, &request));  // beyond the table
    EXPECT_FALSE(capture.StartStream(2, 1, &sink, &request));
    EXPECT_FALSE(capture.StopChannel(2));
    EXPECT_FALSE(capture.StopChannel(0));  // an empty entry
    EXPECT_THAT(TakeJournal(), IsEmpty());

    request.rate.frameRate = 0x7000 + 15;
    request.rate.quality = 70;
    request.format.resolution.width = 1280;
    request.format.resolution.height = 720;
    request.format.codec = 1;
    request.hostInfo = 42;
    ASSERT_TRUE(capture.StartChannel(1, &sink, &request));
    ASSERT_NE(creator.lastVideo.load(), nullptr);
    EXPECT_EQ(Fields(LastVideo().started), Fields({0x7000 + 15, 70, 1280, 720, 1, 0}));
    EXPECT_EQ(LastVideo().GetChannelIndex(), 1u);
    EXPECT_EQ(LastVideo().GetFrameSink(), &sink);
    // Without edge storage no monitor is asked for.
    EXPECT_THAT(TakeJournal(), ElementsAre("create video1 stream 0", "video1 hostInfo 42", "video1 start"));

    ASSERT_TRUE(capture.StartChannel(1, &sink, &request));
    EXPECT_THAT(TakeJournal(), ElementsAre("video1 stop", "video1 delete", "create video2 stream 0",
                                           "video2 hostInfo 42", "video2 start"));
}

TEST_F(VideoCaptureTest, StopChannelStopsMotionThenFurtherStreamsThenTheMainStreamAndStreamsStopAlone)
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

    // Further streams are started and stopped on their own, and are no main stream.
    EXPECT_FALSE(capture.StartStream(0, 4, &sink, &request));
    ASSERT_TRUE(capture.StartStream(0, 3, &sink, &request));
    EXPECT_EQ(LastVideo().started.streamNumber, 3u);
    uint32_t state = 0;
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    journal.failing.insert("video start");
    EXPECT_FALSE(capture.StartStream(0, 1, &sink, &request));
    TakeJournal();
    EXPECT_TRUE(capture.StopStream(0, 1));  // kept although its start failed
    EXPECT_THAT(TakeJournal(), ElementsAre("video6 stop", "video6 delete"));
    EXPECT_FALSE(capture.StopStream(0, 1));
    EXPECT_FALSE(capture.StopStream(0, 4));
    EXPECT_TRUE(capture.StopStream(0, 3));
}

TEST_F(VideoCaptureTest, FailedCreationOrStartOfTheVideoOrMotionChannelIsReported)
{
    creator.makeVideo = false;
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));
    uint32_t state = 99;
    EXPECT_FALSE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
    creator.makeVideo = true;
    journal.failing.insert("video start");
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));
    EXPECT_TRUE(capture.StopChannel(0));  // the channel that failed to start stays in the table until stopped

    journal.failing.erase("video start");
    request.rate.motionDetection = 1;
    journal.failing.insert("motion start");
    EXPECT_FALSE(capture.StartChannel(0, &sink, &request));

    creator.makeMotion = false;
    EXPECT_FALSE(capture.StartChannel(1, &sink, &request));

    // No motion channel is asked for when the video channel did not start.
    creator.makeMotion = true;
    journal.failing.insert("video start");
    TakeJournal();
    EXPECT_FALSE(capture.StartChannel(1, &sink, &request));
    EXPECT_THAT(TakeJournal(),
                ElementsAre("video5 stop", "video5 delete", "create video7 stream 0", "video7 hostInfo 0",
                            "video7 start"));
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
    EXPECT_LT(TimedMs([&] { EXPECT_TRUE(capture.GetChannelState(1, &state, nullptr, nullptr, 0)); }), 100u);
    EXPECT_TRUE(capture.StopChannel(0));
    EXPECT_THAT(TakeJournal(), ElementsAre("video1 stop"));  // deleted only once the change is over
    answer.set_value();
    EXPECT_TRUE(change.get());
    EXPECT_THAT(TakeJournal(), ElementsAre("video1 delete"));
}

TEST_F(VideoCaptureTest, TheMainStreamIsChangedSuspendedResumedAndAskedForItsState)
{
    SettableResolution resolution;
    resolution.width = 320;
    resolution.height = 240;
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 200));
    EXPECT_FALSE(capture.SuspendChannel(0));
    EXPECT_FALSE(capture.ResumeChannel(0));
    uint32_t state = 99;
    uint32_t extra = 99;
    EXPECT_FALSE(capture.GetChannelState(1, &state, &extra, nullptr, 0));
    EXPECT_EQ(extra, 0u);
    ASSERT_TRUE(capture.StartChannel(0, &sink, &request));
    TakeJournal();

    journal.failing.insert("video change");
    EXPECT_FALSE(capture.ChangeChannel(0, &resolution, 200));
    journal.failing.erase("video change");
    EXPECT_TRUE(capture.ChangeChannel(0, &resolution, 200));
    EXPECT_EQ(Fields(LastVideo().changed), Fields({200, 0, 320, 240, 0, 0}));
    EXPECT_FALSE(capture.ChangeChannel(0, nullptr, 200));
    EXPECT_TRUE(capture.SuspendChannel(0));
    journal.failing.insert("video resume");
    EXPECT_FALSE(capture.ResumeChannel(0));
    EXPECT_THAT(TakeJournal(), ElementsAre("video1 change", "video1 change", "video1 suspend", "video1 resume"));

    char text[8] = "junk";
    EXPECT_TRUE(capture.GetChannelState(0, &state, &extra, text, sizeof text));
    EXPECT_EQ(std::make_tuple(state, extra, std::string(text)), std::make_tuple(0u, 0u, ""));
    // Stopped counts as signal lost.
    for (uint32_t lost : {kChannelSignalLost, kChannelStopped}) {
        LastVideo().state = lost;
        EXPECT_TRUE(capture.GetChannelState(0, &state, nullptr, nullptr, 0));
        EXPECT_EQ(state, 2u) << lost;
    }
}

TEST_F(VideoCaptureTest, EdgeStorageOptionNeedsTheSixteenBitTypeAndBringsAMonitor)
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

    // Once edge storage is on a monitor watches the channels.
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

TEST_F(VideoCaptureTest, DestructionStopsEveryChannelAndDeletesTheMonitor)
{
    {
        CIPVideoCapture own(&creator, 2);
        uint16_t on = 1;
        own.SetOption("EdgeStorageState", &on, 2);
        own.StartChannel(0, &sink, &request);
        own.StartStream(1, 2, &sink, &request);
        TakeJournal();
    }
    EXPECT_THAT(TakeJournal(), ElementsAre("monitor remove video1", "video1 stop", "video1 delete",
                                     "monitor remove video2", "video2 stop", "video2 delete", "monitor delete"));
}

TEST_F(VideoCaptureTest, ParallelStartsAndStopsLoseNoChannel)
{
    {
        CIPVideoCapture shared(&creator, 1);
        auto hostThread = [&] {
            SettableStreamRequest request;
            request.rate.motionDetection = 1;
            SettableResolution resolution;
            for (int round = 0; round < 200; ++round) {
                shared.StartChannel(0, &sink, &request);
                shared.StartStream(0, 1 + round % 3, &sink, &request);
                uint32_t state = 0;
                shared.GetChannelState(0, &state, nullptr, nullptr, 0);
                shared.ChangeChannel(0, &resolution, 40);
                shared.StopStream(0, 1 + round % 2);
                if (round % 4 == 0)
                    shared.StopChannel(0);
            }
        };
        std::thread first(hostThread);
        std::thread second(hostThread);
        first.join();
        second.join();
    }
    EXPECT_EQ(FirstUncleanChannel(TakeJournal()), "");
}

}  // namespace
}  // namespace korvane::test
