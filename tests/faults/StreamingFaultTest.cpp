// Streaming through the plug-in while the camera misbehaves: damaged packet
// streams, RTCP BYE, a camera that hangs and restarts, refused RTSP
// credentials, unanswered RTSP requests. The camera's RTSP server is on port
// 554 of its own loopback address, where the driver looks for it.
#include <thread>

#include "FaultFixture.h"
#include "support/FrameDecoding.h"

namespace korvane::test {
namespace {

constexpr uint32_t kFirstFramesMs = 15000;
// Long enough for frames in every fault phase, short against the signal-lost time.
constexpr uint32_t kPhaseMs = 1500;

class StreamingFaults : public FaultTest {
protected:
    // A camera with RTSP on 554 and the driver's main stream started on it.
    void StartMainStream()
    {
        StartCamera(true);
        OpenDriver();
        ASSERT_TRUE(plugin.StartChannel(H264Request()));
    }
    // Frames arriving on the stream again within the time-out.
    bool MoreFrames(uint32_t role, uint32_t timeoutMs)
    {
        return plugin.WaitForFrames(role, FrameCountOf(role) + 3, timeoutMs);
    }
};

TEST_F(StreamingFaults, DamagedPacketStreamsAndByeNeverDeliverDamagedFrames)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    StartMainStream();
    ASSERT_TRUE(plugin.StartStream(kLive, StreamRequest(1, 320, 240)));  // Motion JPEG
    ASSERT_TRUE(plugin.WaitForFrames(kRec, 10, kFirstFramesMs));
    ASSERT_TRUE(plugin.WaitForFrames(kLive, 10, kFirstFramesMs));
    ASSERT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 0; }, kConnectTimeoutMs));

    camsim::RtspFaults& faults = camera->Rtsp().Faults();
    struct Phase {
        const char* name;
        std::function<void()> begin, end;
        bool h264Frames, jpegFrames;  // H.264 waits for the next key frame after a loss
    };
    const Phase phases[] = {
        // The camera announces the end of its stream but goes on sending.
        {"BYE", [&] { camera->Rtsp().SendBye(); }, [] {}, true, true},
        // One packet in 60 lost: frames with a hole are dropped, whole ones still arrive.
        {"loss", [&] { faults.dropEvery = 60; }, [&] { faults.dropEvery = 0; }, false, true},
        {"duplicates", [&] { faults.duplicate = true; }, [&] { faults.duplicate = false; }, true, true},
        // Every packet after its successor: nothing is whole in sequence.
        {"reordering", [&] { faults.reorder = true; }, [&] { faults.reorder = false; }, false, false},
        {"clean again", [] {}, [] {}, true, true},
    };
    for (const Phase& phase : phases) {
        SCOPED_TRACE(phase.name);
        const size_t rec = FrameCountOf(kRec), live = FrameCountOf(kLive);
        phase.begin();
        std::this_thread::sleep_for(std::chrono::milliseconds(kPhaseMs));
        phase.end();
        EXPECT_TRUE(!phase.h264Frames || FrameCountOf(kRec) > rec);
        EXPECT_TRUE(!phase.jpegFrames || FrameCountOf(kLive) > live);
    }
    ASSERT_TRUE(MoreFrames(kRec, kConnectTimeoutMs));
    ASSERT_TRUE(MoreFrames(kLive, kConnectTimeoutMs));

    // None of this ended a session or reached the host as signal loss.
    EXPECT_EQ(plugin.ChannelState(), 0u);
    EXPECT_EQ(RtspRequests(camera->Rtsp().Recorder(), "DESCRIBE").size(), 2u);
    EXPECT_EQ(plugin.frames.SignalLostCount(), 0u);
    ExpectBoundedStop(kLive);
    ExpectBoundedStop(0);
    ExpectSamplePictures(kRec, camsim::MediaCodec::H264);
    ExpectSamplePictures(kLive, camsim::MediaCodec::Jpeg);
}

// The camera first hangs (its connections stay open, nothing is sent or
// answered, no FIN), then goes away and comes back on the same ports.
TEST_F(StreamingFaults, AHungThenRestartedCameraIsLostAndFoundInTime)
{
    StartMainStream();
    ASSERT_TRUE(plugin.WaitForFrames(kRec, 5, kFirstFramesMs));
    ASSERT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 0; }, kConnectTimeoutMs));
    const std::string online = "Camera " + kCameraAddress + " is online (Rec)";
    EXPECT_EQ(plugin.log.CountLinesContaining(online), 1u);

    camsim::RtspFaults& faults = camera->Rtsp().Faults();
    faults.responseDelayMs = 10 * kReceiveTimeoutMs;
    faults.stopSending = true;
    const auto hungSince = Clock::now();

    // Without frames for R / 2 the channel reports signal lost through its state...
    ASSERT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 2; }, kReceiveTimeoutMs / 2 + 3000));
    EXPECT_GE(ElapsedMs(hungSince) + 1000, kReceiveTimeoutMs / 2);
    EXPECT_EQ(plugin.frames.SignalLostCount(), 0u);

    // ...and, the camera now gone altogether, to the host once the last frame is R old.
    camera->Stop();
    faults.responseDelayMs = 0;
    faults.stopSending = false;
    ASSERT_TRUE(WaitUntil([&] { return plugin.frames.SignalLostCount() >= 1; }, kReceiveTimeoutMs + 3000));
    EXPECT_GE(ElapsedMs(hungSince) + 1000, kReceiveTimeoutMs);
    const std::string signalLost = "CBaseCameraChannel::SetCameraState: Signal was lost for camera " + kCameraAddress;
    EXPECT_EQ(plugin.log.CountLinesContaining("korvane::" + signalLost + " (Rec)"), 1u);

    ASSERT_TRUE(camera->Start());
    const auto backSince = Clock::now();
    // A failed start is retried after a pause of 1 s; in the worst case the
    // round under way is waiting for its first frame (the larger of R / 2 and C).
    const uint32_t recoveryBoundMs = kReceiveTimeoutMs / 2 + 1000 + kPortProbeMs + kConnectTimeoutMs;
    ASSERT_TRUE(MoreFrames(kRec, recoveryBoundMs));
    EXPECT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 0; }, kConnectTimeoutMs));
    EXPECT_LT(ElapsedMs(backSince), recoveryBoundMs);
    EXPECT_EQ(plugin.log.CountLinesContaining(online), 2u);
    // Signal lost goes to the host in every round that finds the last frame R old,
    // the log line only with the change.
    const size_t signalLostReports = plugin.frames.SignalLostCount();
    EXPECT_TRUE(MoreFrames(kRec, kReceiveTimeoutMs / 2));
    EXPECT_EQ(plugin.frames.SignalLostCount(), signalLostReports) << "no signal lost while frames arrive";
    ExpectBoundedStop(0);

    if (HaveFfmpeg())
        ExpectSamplePictures(kRec, camsim::MediaCodec::H264);
}

// The camera refuses the RTSP credentials every time: each session asks
// twice (without and with the camera's Digest challenge) and no more. Then it
// takes connections and never answers: the host's stop does not wait for the
// hung request.
TEST_F(StreamingFaults, RefusedOrUnansweredRtspNeitherStormsNorHoldsUpTheStop)
{
    StartCamera(true, [](camsim::CameraOptions& options) {
        options.auth.user = "root";
        options.auth.password = "not the host's";
    });
    camera->Rtsp().Options().auth = camsim::RtspAuth::Digest;
    camera->Stop();
    ASSERT_TRUE(camera->Start());
    OpenDriver();
    ASSERT_TRUE(plugin.StartChannel(H264Request()));
    ASSERT_TRUE(camera->Rtsp().Recorder().WaitForRequests(2, kFirstFramesMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(RtspRequests(camera->Rtsp().Recorder(), "DESCRIBE").size(), 2u);
    EXPECT_EQ(RtspRequests(camera->Rtsp().Recorder(), "SETUP").size(), 0u);
    EXPECT_EQ(plugin.ChannelState(), 2u);
    ExpectBoundedStop(0);

    camera->Rtsp().Faults().responseDelayMs = 10 * kReceiveTimeoutMs;
    ASSERT_TRUE(plugin.StartChannel(H264Request()));
    ASSERT_TRUE(camera->Rtsp().Recorder().WaitForRequests(3, kFirstFramesMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // well inside the reply wait
    ExpectBoundedStop(0);
    EXPECT_EQ(RtspRequests(camera->Rtsp().Recorder(), "DESCRIBE").size(), 3u);
    EXPECT_EQ(plugin.frames.FrameCount(), 0u);
}

}  // namespace
}  // namespace korvane::test
