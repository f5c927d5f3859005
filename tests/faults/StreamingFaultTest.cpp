// Streaming through the plug-in while the camera misbehaves: damaged packet
// streams, RTCP BYE, a camera that hangs and restarts, refused RTSP
// credentials. The camera's RTSP server is on port 554 of its own loopback
// address, where the driver looks for it.
#include <thread>

#include "FaultFixture.h"
#include "camsim/CameraStreams.h"
#include "support/FrameDecoding.h"

namespace korvane::test {
namespace {

constexpr const char* kRec = "::RecStream";
constexpr const char* kLive = "::LiveStream";
constexpr uint32_t kFirstFramesMs = 15000;
// Long enough for frames in every fault phase, short against the signal-lost time.
constexpr uint32_t kPhaseMs = 1500;

class StreamingFaults : public FaultTest {
protected:
    // The sample file the camera serves on the stream described last with this codec.
    std::string SampleOf(camsim::MediaCodec codec) const
    {
        std::string sample;
        for (const camsim::StreamDescription& description : camera->Streams().Described())
            if (description.codec == codec)
                sample = description.sampleFile;
        return sample;
    }

    void StartMainStream()
    {
        SettableStreamRequest request = H264Request();
        ASSERT_TRUE(plugin.Video().StartChannel(0, &host, &request));
    }

    // Frames arriving on the stream again within the time-out.
    bool MoreFrames(const char* stream, uint32_t timeoutMs)
    {
        const size_t before = FrameCountOf(stream);
        return WaitForFrames(stream, before + 3, timeoutMs);
    }
};

TEST_F(StreamingFaults, DamagedPacketStreamsAndByeNeverDeliverDamagedFrames)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    StartCamera(true);
    OpenDriver();
    StartMainStream();
    SettableStreamRequest jpeg = JpegRequest();
    ASSERT_TRUE(plugin.Video().StartStream(0, kStreamLive, &host, &jpeg));
    ASSERT_TRUE(WaitForFrames(kRec, 10, kFirstFramesMs));
    ASSERT_TRUE(WaitForFrames(kLive, 10, kFirstFramesMs));
    ASSERT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 0; }, kConnectTimeoutMs));

    camsim::RtspFaults& faults = camera->Rtsp().Faults();
    struct Phase {
        const char* name;
        std::function<void()> begin;
        std::function<void()> end;
        bool h264Frames;  // H.264 waits for the next key frame after a loss
        bool jpegFrames;
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
        const size_t rec = FrameCountOf(kRec);
        const size_t live = FrameCountOf(kLive);
        phase.begin();
        std::this_thread::sleep_for(std::chrono::milliseconds(kPhaseMs));
        phase.end();
        if (phase.h264Frames) {
            EXPECT_GT(FrameCountOf(kRec), rec);
        }
        if (phase.jpegFrames) {
            EXPECT_GT(FrameCountOf(kLive), live);
        }
    }
    ASSERT_TRUE(MoreFrames(kRec, kConnectTimeoutMs));
    ASSERT_TRUE(MoreFrames(kLive, kConnectTimeoutMs));

    // None of this ended a session or reached the host as signal loss.
    EXPECT_EQ(plugin.ChannelState(), 0u);
    EXPECT_EQ(RtspRequests("DESCRIBE"), 2u);
    EXPECT_EQ(host.SignalLostCount(), 0u);
    ExpectBoundedStop(kStreamLive);
    ExpectBoundedStop(0);

    {
        SCOPED_TRACE("H.264");
        ExpectSamplePictures(FramesOf(kRec), "h264", SampleOf(camsim::MediaCodec::H264));
    }
    {
        SCOPED_TRACE("Motion JPEG");
        ExpectSamplePictures(FramesOf(kLive), "mjpeg", SampleOf(camsim::MediaCodec::Jpeg));
    }
}

// The camera first hangs (its connections stay open, nothing is sent or
// answered, no FIN), then goes away and comes back on the same ports.
TEST_F(StreamingFaults, AHungThenRestartedCameraIsLostAndFoundInTime)
{
    StartCamera(true);
    OpenDriver();
    StartMainStream();
    ASSERT_TRUE(WaitForFrames(kRec, 5, kFirstFramesMs));
    ASSERT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 0; }, kConnectTimeoutMs));
    EXPECT_EQ(LogLinesContaining(std::string("Camera ") + kCameraAddress + " is online (Rec)"), 1u);

    camsim::RtspFaults& faults = camera->Rtsp().Faults();
    faults.responseDelayMs = 10 * kReceiveTimeoutMs;
    faults.stopSending = true;
    const auto hungSince = Clock::now();

    // Without frames for R / 2 the channel reports signal lost through its state...
    ASSERT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 2; }, kReceiveTimeoutMs / 2 + 3000));
    const uint64_t stateAfterMs = ElapsedMs(hungSince);
    EXPECT_GE(stateAfterMs + 1000, kReceiveTimeoutMs / 2);
    EXPECT_EQ(host.SignalLostCount(), 0u);

    // ...and, the camera now gone altogether, to the host once the last frame is R old.
    camera->Stop();
    faults.responseDelayMs = 0;
    faults.stopSending = false;
    ASSERT_TRUE(WaitUntil([&] { return host.SignalLostCount() >= 1; }, kReceiveTimeoutMs + 3000));
    const uint64_t signalLostAfterMs = ElapsedMs(hungSince);
    EXPECT_GE(signalLostAfterMs + 1000, kReceiveTimeoutMs);
    EXPECT_EQ(LogLinesContaining(std::string("korvane::CBaseCameraChannel::SetCameraState: Signal was lost for camera ") +
                                  kCameraAddress + " (Rec)"),
              1u);

    ASSERT_TRUE(camera->Start());
    const auto backSince = Clock::now();
    // A failed start is retried after a pause of 1 s; in the worst case the
    // round under way is waiting for its first frame (the larger of R / 2 and C).
    const uint32_t recoveryBoundMs = kReceiveTimeoutMs / 2 + 1000 + kPortProbeMs + kConnectTimeoutMs;
    ASSERT_TRUE(MoreFrames(kRec, recoveryBoundMs));
    EXPECT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 0; }, kConnectTimeoutMs));
    const uint64_t recoveryMs = ElapsedMs(backSince);
    RecordProperty("state_lost_after_ms", static_cast<int>(stateAfterMs));
    RecordProperty("signal_lost_after_ms", static_cast<int>(signalLostAfterMs));
    RecordProperty("recovered_after_ms", static_cast<int>(recoveryMs));
    EXPECT_LT(recoveryMs, recoveryBoundMs);
    EXPECT_EQ(LogLinesContaining(std::string("Camera ") + kCameraAddress + " is online (Rec)"), 2u);
    // Signal lost goes to the host in every round that finds the last frame R old,
    // the log line only with the change.
    const size_t signalLostReports = host.SignalLostCount();
    EXPECT_TRUE(MoreFrames(kRec, kReceiveTimeoutMs / 2));
    EXPECT_EQ(host.SignalLostCount(), signalLostReports) << "no signal lost while frames arrive";
    ExpectBoundedStop(0);

    if (HaveFfmpeg())
        ExpectSamplePictures(FramesOf(kRec), "h264", SampleOf(camsim::MediaCodec::H264));
}

// A camera that takes connections and never answers: the host's stop does
// not wait for the hung request.
TEST_F(StreamingFaults, StopsWhileTheCameraNeverAnswersRtsp)
{
    StartCamera(true);
    camera->Rtsp().Faults().responseDelayMs = 10 * kReceiveTimeoutMs;
    OpenDriver();
    StartMainStream();
    ASSERT_TRUE(camera->Rtsp().Recorder().WaitForRequests(1, kFirstFramesMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // well inside the reply wait
    ExpectBoundedStop(0);
    EXPECT_EQ(host.FrameCount(), 0u);
    EXPECT_EQ(RtspRequests("DESCRIBE"), 1u);
}

// The camera refuses the RTSP credentials every time: each session asks
// twice (without and with the camera's Digest challenge) and no more.
TEST_F(StreamingFaults, RefusedRtspCredentialsAreNotAnsweredWithAStorm)
{
    StartCamera(true, [](camsim::CameraOptions& options) {
        options.auth.user = "root";
        options.auth.password = "not the host's";
    });
    camera->Rtsp().Options().auth = camsim::RtspAuth::Digest;
    camera->Stop();
    ASSERT_TRUE(camera->Start());
    OpenDriver();
    StartMainStream();
    ASSERT_TRUE(camera->Rtsp().Recorder().WaitForRequests(2, kFirstFramesMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(RtspRequests("DESCRIBE"), 2u);
    EXPECT_EQ(RtspRequests("SETUP"), 0u);
    EXPECT_EQ(plugin.ChannelState(), 2u);
    EXPECT_EQ(host.FrameCount(), 0u);
    ExpectBoundedStop(0);
}

}  // namespace
}  // namespace korvane::test
