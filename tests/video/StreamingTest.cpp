// Frames from the Canon channels through the plug-in, and the host's control
// of a running channel: change, state, suspend and resume, stop, replace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/Time.h"
#include "runtime/StringFormat.h"
#include "support/WaitUntil.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;

// Milliseconds of a UTC time, on the driver's file-time scale.
int64_t TimeMs(const SYSTEMTIME& time)
{
    return static_cast<int64_t>(platform::SystemTimeToFileTime(time) / platform::kFileTimeTicksPerMs);
}

// Frame times: near the wall clock, in order, and apart by the stream's frame period.
void ExpectFrameTimes(const std::vector<DeliveredFrame>& frames, uint32_t framesPerSecond)
{
    ASSERT_GE(frames.size(), 3u);
    const int64_t now = static_cast<int64_t>(platform::NowFileTime() / platform::kFileTimeTicksPerMs);
    std::vector<int64_t> steps;
    for (size_t i = 0; i < frames.size(); ++i) {
        const int64_t at = TimeMs(frames[i].time);
        EXPECT_LT(std::llabs(at - now), 30000) << "frame " << i << " is stamped with the current UTC time";
        if (i > 0)
            steps.push_back(at - TimeMs(frames[i - 1].time));
    }
    EXPECT_TRUE(std::all_of(steps.begin(), steps.end(), [](int64_t step) { return step >= 0; }));
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    const int64_t period = 1000 / framesPerSecond;
    const int64_t median = steps[steps.size() / 2];
    EXPECT_GE(median, period * 8 / 10) << "median step";
    EXPECT_LE(median, period * 12 / 10) << "median step";
}

TEST(VideoStreaming, FramesOfEachCodecAndTheHostsControlOfTheChannels)
{
    VideoCamera camera(CameraOfType(2));
    camera.params.deviceAddress.defaultCodec = kCodecH264;
    ASSERT_TRUE(camera.Open());
    ipcapture::IIPVideoCaptureEx2& video = camera.Video();
    uint32_t state = 99, extra = 99;
    char text[8] = "xyz";
    EXPECT_FALSE(video.GetChannelState(0, &state, &extra, text, sizeof text)) << "no channel yet";
    EXPECT_EQ(std::make_tuple(extra, std::string(text)), std::make_tuple(0u, ""));

    // Over UDP: H.264 on the main stream, Motion JPEG on Live.
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecH264, 640, 480, 10, 70)));
    ASSERT_TRUE(camera.StartStream(kLive, StreamRequest(kCodecJpeg, 320, 240, 5, 70)));
    ASSERT_TRUE(camera.WaitForFrames(kRec, 6));
    ASSERT_TRUE(camera.WaitForFrames(kLive, 4));
    // The camera serves what the channels configured.
    const camsim::StreamDescription h264 = camera.LastDescribed("stream/profile1=u");
    const camsim::StreamDescription jpeg = camera.LastDescribed("stream/created1=u");
    EXPECT_EQ(std::tie(h264.width, h264.height, h264.framesPerSecond, jpeg.codec, jpeg.framesPerSecond),
              std::make_tuple(640u, 480u, 10u, camsim::MediaCodec::Jpeg, 5u));

    const std::vector<DeliveredFrame> h264Frames = camera.FramesOf(kRec);
    EXPECT_EQ(h264Frames[0].fourCC, kFourCCH264);
    for (const DeliveredFrame& frame : h264Frames) {
        EXPECT_TRUE(frame.fourCC == kFourCCH264 || frame.fourCC == kFourCCH264Delta);
        EXPECT_EQ(std::tie(frame.width, frame.height, frame.sizeClass), std::make_tuple(640u, 480u, 4u));
    }
    ExpectFrameTimes(h264Frames, 10);
    // The sample picture of camsim's Motion JPEG stream is 320x240.
    const std::vector<DeliveredFrame> jpegFrames = camera.FramesOf(kLive);
    for (const DeliveredFrame& frame : jpegFrames) {
        ASSERT_GE(frame.bytes.size(), 4u);
        EXPECT_EQ(std::make_tuple(frame.fourCC, frame.width, frame.height, frame.sizeClass,
                                  frame.bytes[frame.bytes.size() - 2], frame.bytes.back()),
                  std::make_tuple(kFourCCJpeg, 320u, 240u, 2u, 0xFF, 0xD9))
            << "the picture ends with EOI";
    }
    ExpectFrameTimes(jpegFrames, 5);

    const std::string cameraName = "Camera " + camera.params.deviceAddress.address;
    const std::string online = "korvane::CBaseCameraChannel::SetCameraState: " + cameraName + " is online";
    EXPECT_TRUE(camera.log.HasLineContaining(online + " (Rec)"));
    EXPECT_TRUE(camera.log.HasLineContaining(online + " (Live)"));
    EXPECT_TRUE(video.StopChannel(0)) << "stops every stream of the channel";
    EXPECT_FALSE(video.StopStream(0, kLive));
    EXPECT_TRUE(camera.log.HasLineContaining(cameraName + " is offline. Channel was stopped (Live)"));
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
    EXPECT_EQ(camera.frames.Allocations(), camera.frames.Releases());

    // Change, suspend and resume over UDP: the session is paused while the channel is suspended.
    const size_t plays = camera.RtspRequests("PLAY"), teardowns = camera.RtspRequests("TEARDOWN");
    const size_t frames = camera.FramesOf(kRec).size();
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecH264, 640, 480, 30, 40)));
    ASSERT_TRUE(camera.WaitForFrames(kRec, frames + 3));
    ASSERT_TRUE(WaitUntil([&] { return camera.ChannelState() == 0; }, kStreamWaitMs));
    camera.ClearRequests();
    SettableResolution size;
    size.width = 1280;
    size.height = 720;
    EXPECT_TRUE(video.ChangeChannel(0, &size, 0x7000 + 15));
    EXPECT_THAT(camera.SettingsRequests(),
                ElementsAre("/admin/-set-?em=2&pt=8&dh00-0=1&dh02-0=12&dh03-0=9&dh04-0=1&dh05=1"))
        << "the new size and rate with the quality the stream started with (40: bit-rate code 12)";
    EXPECT_EQ(camera.camera.Model().Setting("dh03-0"), "9");

    EXPECT_TRUE(video.SuspendChannel(0));
    EXPECT_FALSE(video.SuspendChannel(0)) << "already suspended";
    const size_t whileSuspended = camera.FramesOf(kRec).size();
    ASSERT_TRUE(WaitUntil([&] { return camera.RtspRequests("PAUSE") == 1; }, kStreamWaitMs));
    const size_t sent = camera.camera.Rtsp().Recorder().MarkedRtpPacketsSent();
    EXPECT_FALSE(WaitUntil([&] { return camera.camera.Rtsp().Recorder().MarkedRtpPacketsSent() >= sent + 3; }, 500))
        << "the camera goes on sending";
    EXPECT_LE(camera.FramesOf(kRec).size(), whileSuspended + 1) << "at most the frame handed over meanwhile";
    EXPECT_EQ(camera.ChannelState(), 0u) << "a suspended channel still counts as streaming";

    EXPECT_TRUE(video.ResumeChannel(0));
    EXPECT_FALSE(video.ResumeChannel(0)) << "not suspended";
    ASSERT_TRUE(WaitUntil([&] { return camera.RtspRequests("PLAY") == plays + 2; }, kStreamWaitMs));
    EXPECT_TRUE(camera.WaitForFrames(kRec, whileSuspended + 3)) << "frames reach the host again";
    EXPECT_TRUE(video.StopChannel(0));
    EXPECT_EQ(std::make_tuple(camera.RtspRequests("TEARDOWN"), camera.frames.OutstandingFrames()),
              std::make_tuple(teardowns + 1, 0u));

    // Over TCP: the driver's default codec, no channel for MPEG-4, and replacing the running channel.
    const HostConfigurationFile interleaved(kInterleaved);
    for (uint32_t codec : {0u, 16u}) {
        SCOPED_TRACE(FormatString("codec %u", codec));
        const size_t before = camera.FramesOf(kRec).size();
        ASSERT_TRUE(camera.StartChannel(StreamRequest(codec, 640, 480, 30, 50)));
        ASSERT_TRUE(camera.WaitForFrames(kRec, before + 1));
        EXPECT_EQ(camera.FramesOf(kRec)[before].fourCC, kFourCCH264) << "the driver's default codec";
        EXPECT_TRUE(video.StopChannel(0));
    }
    EXPECT_FALSE(camera.StartChannel(StreamRequest(2, 640, 480, 30, 50))) << "no channel for MPEG-4";
    EXPECT_FALSE(camera.StartStream(kLive, StreamRequest(2, 640, 480, 30, 50)));
    const size_t before = camera.FramesOf(kRec).size();
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecH264, 640, 480, 30, 50)));
    ASSERT_TRUE(camera.WaitForFrames(kRec, before + 2));
    const size_t running = camera.RtspRequests("TEARDOWN");
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecJpeg, 320, 240, 30, 50)));
    EXPECT_EQ(camera.RtspRequests("TEARDOWN"), running + 1) << "the old channel is gone before the new one";
    ASSERT_TRUE(WaitUntil([&] { return camera.FramesOf(kRec).back().fourCC == kFourCCJpeg; }, kStreamWaitMs));
    EXPECT_TRUE(video.StopChannel(0));
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
}

// A camera that takes the settings request and never answers: stopping the
// channel ends the request instead of waiting for its time-out.
TEST(VideoStreaming, StopEndsACameraRequestThatIsNotAnswered)
{
    const HostConfigurationFile interleaved(kInterleaved);
    for (uint32_t codec : {kCodecH264, kCodecJpeg}) {
        SCOPED_TRACE(FormatString("codec %u", codec));
        VideoCamera camera(CameraOfType(3));
        ASSERT_TRUE(camera.Open());
        camera.camera.Http().SetFault(camsim::HttpFault::NeverReply);
        const std::string firstRequest = codec == kCodecH264 ? "/admin/-set-?el=dh10" : "/onvif/device_service";
        ASSERT_TRUE(camera.StartChannel(StreamRequest(codec, 640, 480, 30, 50)));
        const auto asked = [&](const std::string& target) { return target.rfind(firstRequest, 0) == 0; };
        ASSERT_TRUE(WaitUntil(
            [&] {
                const std::vector<std::string> targets = camera.camera.HttpRequests().Targets();
                return std::any_of(targets.begin(), targets.end(), asked);
            },
            kStreamWaitMs));

        EXPECT_LT(TimedMs([&] { EXPECT_TRUE(camera.Video().StopChannel(0)); }), DEVICE_INFO().requestTimeoutMs / 2);
        EXPECT_FALSE(camera.log.HasLineContaining("cannot be stopped"));
        camera.camera.Http().SetFault(camsim::HttpFault::None);
    }
}

}  // namespace
}  // namespace korvane::test
