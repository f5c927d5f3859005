// The plug-in driven through its exports, as a recorder does, against a camera
// whose faults the tests switch on: the host's calls stay bounded and nothing
// reaches it while HTTP hangs, answers late, refuses every credential or finds no
// camera; streaming goes on through damaged packets, BYE, a hung and restarted
// camera, refused or unanswered RTSP (the camera's RTSP server on port 554).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <thread>

#include "camsim/CameraStreams.h"
#include "streaming/H264RTPMediaParser.h"
#include "streaming/JpegRTPMediaParser.h"
#include "streaming/Mpeg4RTPMediaParser.h"
#include "streaming/ParserTestSupport.h"
#include "support/CameraAddress.h"
#include "support/CapabilityHost.h"
#include "support/FrameDecoding.h"
#include "support/PluginDriver.h"
#include "support/WaitUntil.h"
#include "tallowcam/IOInterfaces.h"
#include "tallowcam/PtzInterfaces.h"

namespace korvane::test {
namespace {

// The simulated camera's address, with port 554 free of other programs' cameras.
const std::string kCameraAddress = CameraAddress(CameraSite::Faults);
// The device record's time-outs the driver opens with: C and R.
constexpr uint32_t kConnectTimeoutMs = 5000;
constexpr uint32_t kReceiveTimeoutMs = 15000;
// A channel's stop waits at most 2 C for its capture thread; beyond that
// (plus margin) a stop hangs.
constexpr uint32_t kStopBoundMs = 2 * kConnectTimeoutMs + 2000;
// Guard for a host call that only queues work or starts a thread.
constexpr uint32_t kQuickCallBoundMs = 2000;
// Unicast start: the quiet time on a fresh port pair before the session starts.
constexpr uint32_t kPortProbeMs = 1500;

SettableStreamRequest H264Request() { return StreamRequest(3, 640, 480); }

// One camera and one driver for it; the driver is closed before the camera goes.
class FaultTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.IsLoaded()) << TALLOWCAM_PLUGIN_PATH; }
    void TearDown() override
    {
        plugin.Close();
        EXPECT_EQ(plugin.frames.OutstandingFrames(), 0u) << "every frame goes back to the host";
        EXPECT_FALSE(plugin.log.HasLineContaining("cannot be stopped"));
    }

    // A camera at kCameraAddress without HTTP authentication; RTSP on 554 when asked.
    camsim::Camera& StartCamera(bool onRtspPort, const std::function<void(camsim::CameraOptions&)>& adjust = {})
    {
        camsim::CameraOptions options;
        options.address = kCameraAddress;
        options.rtspPort = onRtspPort ? 554 : 0;
        if (adjust)
            adjust(options);
        camera = std::make_unique<camsim::Camera>(options);
        EXPECT_TRUE(camera->Start());
        return *camera;
    }
    // Opens the driver for the camera (or for `address` with the camera's port).
    void OpenDriver(const std::string& address = kCameraAddress)
    {
        plugin.params.deviceAddress.address = address;
        plugin.params.deviceAddress.port = camera ? camera->HttpPort() : 80;
        ASSERT_TRUE(plugin.Open());
    }
    // Stops the channel (or a further stream), expecting the stop to be bounded.
    void ExpectBoundedStop(uint32_t streamNumber)
    {
        ipcapture::IIPVideoCaptureEx2& video = plugin.Video();
        const uint64_t stopMs = TimedMs(
            [&] { EXPECT_TRUE(streamNumber == 0 ? video.StopChannel(0) : video.StopStream(0, streamNumber)); });
        EXPECT_LT(stopMs, kStopBoundMs) << "stream " << streamNumber;
    }

    std::unique_ptr<camsim::Camera> camera;
    PluginDriver plugin;
};

class HttpFaults : public FaultTest {
protected:
    // The host's calls on a camera that cannot serve it: opening the driver, a
    // main stream, a PTZ move and a capability query, each returning at once.
    void UseTheDriver(const std::string& address = kCameraAddress)
    {
        EXPECT_LT(TimedMs([&] { OpenDriver(address); }), kQuickCallBoundMs);
        EXPECT_LT(TimedMs([&] { EXPECT_TRUE(plugin.StartChannel(H264Request())); }), kQuickCallBoundMs);
        IIPPTZApi* ptz = plugin.Driver().GetPTZDriver()->GetPTZApi(0);
        ASSERT_NE(ptz, nullptr);
        EXPECT_LT(TimedMs([&] { EXPECT_EQ(ptz->StartMove(kPtzMoveDownLeft, 8), kPtzSuccess); }), kQuickCallBoundMs);
        EXPECT_LT(TimedMs([&] { EXPECT_TRUE(StartQuery(address)); }), kQuickCallBoundMs);
    }

    // A capability query from the plug-in, started on the driver's port of address.
    bool StartQuery(const std::string& address)
    {
        m_query = plugin.CreateCapabilityQuery(&m_queryHost);
        const uint16_t port = plugin.params.deviceAddress.port;
        return m_query != nullptr && m_query->Start(address.c_str(), port, "root", "camera", &m_queryHost);
    }

    // The query (the count-th on this host) ended in a failure, not with a result.
    void ExpectQueryFailed(size_t count = 1)
    {
        ASSERT_TRUE(m_queryHost.WaitForOutcomes(count, 4 * kConnectTimeoutMs));  // in its own bounded steps
        EXPECT_EQ(m_queryHost.Outcome().rfind("failed ", 0), 0u) << m_queryHost.Text();
    }

    // Stop, close and query module deletion are bounded; nothing was delivered.
    void ExpectBoundedEnd()
    {
        ExpectBoundedStop(0);
        EXPECT_LT(TimedMs([&] { m_query.reset(); }), kStopBoundMs);
        EXPECT_LT(TimedMs([&] { plugin.Close(); }), kStopBoundMs);
        EXPECT_EQ(plugin.frames.FrameCount(), 0u);
        EXPECT_EQ(plugin.frames.Allocations(), 0u);
    }

    // HTTP requests other than the clock synchronisation's.
    std::vector<std::string> CameraRequests() const
    {
        std::vector<std::string> targets;
        for (std::string& target : camera->HttpRequests().Targets())
            if (target.find("bc") == std::string::npos)
                targets.push_back(std::move(target));
        return targets;
    }

    CapabilityHost m_queryHost;
    tallowcam_host::PluginLibrary::QueryPtr m_query;
};

// A camera that takes every request and never answers, then a name under
// .invalid, which never resolves.
TEST_F(HttpFaults, ACameraThatNeverAnswersOrIsNotFoundCannotHoldUpTheHost)
{
    StartCamera(false);
    camera->Http().SetFault(camsim::HttpFault::NeverReply);
    UseTheDriver();
    // The channel writes its settings first: the request is taken and never answered.
    ASSERT_TRUE(WaitUntil([&] { return !CameraRequests().empty(); }, kQuickCallBoundMs + kPortProbeMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(plugin.ChannelState(), 2u);
    ExpectBoundedEnd();
    ExpectQueryFailed();

    UseTheDriver("camera.invalid");
    ExpectQueryFailed(2);
    EXPECT_TRUE(WaitUntil([&] { return plugin.ChannelState() == 2; }, kStopBoundMs));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a few rounds of retrying
    ExpectBoundedEnd();
}

TEST_F(HttpFaults, RefusedCredentialsAreNotAnsweredWithAStorm)
{
    StartCamera(false, [](camsim::CameraOptions& options) {
        options.auth.user = "root";
        options.auth.password = "not the host's";
        options.auth.schemes = {camsim::AuthScheme::Digest, camsim::AuthScheme::Basic};
    });
    UseTheDriver();
    ExpectQueryFailed();
    const auto since = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const std::vector<std::string> requests = CameraRequests();
    const size_t settings = std::count_if(requests.begin(), requests.end(), [](const std::string& target) {
        return target.find("dh03") != std::string::npos;
    });
    // Each round of the channel: one request, and once the retry with the
    // camera's scheme; then a pause of 1 s.
    const uint64_t rounds = ElapsedMs(since) / 1000 + 2;
    EXPECT_GE(settings, 2u) << "the channel goes on trying";
    EXPECT_LE(settings, 2 * rounds);
    EXPECT_EQ(plugin.ChannelState(), 2u);
    ExpectBoundedEnd();
}

// Every owner of a sender, stopped at random moments, before, during and between the
// requests of a camera that answers each one late: no stop waits for a request.
TEST_F(HttpFaults, EveryStopEndsAtOnceWhateverItsMoment)
{
    constexpr uint32_t kReplyDelayMs = 1500;
    StartCamera(false).Http().SetFault(camsim::HttpFault::SlowReply, kReplyDelayMs);
    plugin.params.captureInfo.inputCount = plugin.params.captureInfo.outputCount = 1;
    OpenDriver();
    SettableStreamRequest withMotion = H264Request();
    withMotion.rate.motionDetection = 1;
    struct Owner {
        const char* name;
        std::function<void()> start, stop;
    };
    const Owner owners[] = {
        {"video and motion channels", [&] { plugin.StartChannel(withMotion); }, [&] { plugin.Video().StopChannel(0); }},
        {"digital I/O", [&] { plugin.Driver().GetIOApi()->StartIO(); }, [&] { plugin.Driver().GetIOApi()->StopIO(); }},
        {"capability query", [&] { StartQuery(kCameraAddress); }, [&] { m_query.reset(); }},
        {"clock synchronisation (the driver's close)", [&] { OpenDriver(); }, [&] { plugin.Close(); }},
    };
    std::mt19937 random(std::random_device{}());
    for (const Owner& owner : owners) {
        for (int round = 0; round < 4; ++round) {
            owner.start();
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % (kReplyDelayMs + 500)));
            EXPECT_LT(TimedMs(owner.stop), 1000u) << owner.name << ", round " << round;
        }
    }
}

constexpr uint32_t kFirstFramesMs = 15000;
// Long enough for frames in every fault phase, short against the signal-lost time.
constexpr uint32_t kPhaseMs = 1500;

class StreamingFaults : public FaultTest {
protected:
    size_t FrameCountOf(uint32_t role) const { return plugin.FramesOf(role).size(); }
    // Frames arriving on the stream again within the time-out.
    bool MoreFrames(uint32_t role, uint32_t timeoutMs)
    {
        return plugin.WaitForFrames(role, FrameCountOf(role) + 3, timeoutMs);
    }
    // The role's frames decode cleanly, one picture each, into pictures of the
    // sample the camera served last with this codec.
    void ExpectSamplePictures(uint32_t role, camsim::MediaCodec codec)
    {
        const std::string format = codec == camsim::MediaCodec::H264 ? "h264" : "mjpeg";
        SCOPED_TRACE(format);
        std::string samplePath;
        for (const camsim::StreamDescription& description : camera->Streams().Described())
            if (description.codec == codec)
                samplePath = description.sampleFile;
        const std::vector<DeliveredFrame> frames = plugin.FramesOf(role);
        ASSERT_FALSE(frames.empty());
        std::vector<DeliveredFrame> stream = frames;
        if (format == "h264") {
            // Each frame ends with the start of the next access unit's delimiter; the last one has no successor.
            std::vector<uint8_t>& last = stream.back().bytes;
            last.resize(last.size() >= 5 ? last.size() - 5 : 0);
        }
        const CFrameFile file(stream, "." + format);
        EXPECT_EQ(Decode(file, format).errors, "");
        const std::vector<std::string> decoded = PictureChecksums(file.Path(), format);
        EXPECT_EQ(decoded.size(), frames.size()) << "one picture per delivered frame";
        const std::vector<std::string> sample = PictureChecksums(samplePath, format);
        const std::set<std::string> samplePictures(sample.begin(), sample.end());
        const auto foreign = std::count_if(decoded.begin(), decoded.end(), [&](const std::string& picture) {
            return samplePictures.count(picture) == 0;
        });
        EXPECT_EQ(foreign, 0) << "pictures that are not the sample's, of " << decoded.size();
    }
};

// The camera first hangs (its connections stay open, nothing is sent or
// answered, no FIN), then goes away and comes back on the same ports; then its
// packet streams are damaged.
TEST_F(StreamingFaults, AHungThenRestartedCameraIsLostAndFoundInTimeAndDamagedPacketsNeverMakeDamagedFrames)
{
    StartCamera(true);
    OpenDriver();
    ASSERT_TRUE(plugin.StartChannel(H264Request()));
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

    // Damaged packet streams and BYE, Motion JPEG on Live beside: never a damaged frame.
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    const size_t describes = RtspRequests(camera->Rtsp().Recorder(), "DESCRIBE").size();
    ASSERT_TRUE(plugin.StartStream(kLive, StreamRequest(1, 320, 240)));  // Motion JPEG
    ASSERT_TRUE(plugin.WaitForFrames(kLive, 10, kFirstFramesMs));
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
    EXPECT_EQ(RtspRequests(camera->Rtsp().Recorder(), "DESCRIBE").size(), describes + 1);
    EXPECT_EQ(plugin.frames.SignalLostCount(), signalLostReports);
    ExpectBoundedStop(kLive);
    ExpectBoundedStop(0);
    ExpectSamplePictures(kRec, camsim::MediaCodec::H264);
    ExpectSamplePictures(kLive, camsim::MediaCodec::Jpeg);
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

// A network that delivers packets twice must not cost frames: each payload
// parser drops the copy of the packet it has just handled.
using camsim::MediaCodec;

constexpr size_t kFrames = 20;

// Feeds kFrames access units of the codec's sample, every packet `copies` times,
// and returns what reached the host.
template <typename Parser, typename... Args>
std::vector<DeliveredFrame> Feed(MediaCodec codec, int copies, Args... args)
{
    ParserRig<Parser> rig("127.0.0.1:80::RecStream", args...);
    auto source = camsim::OpenMediaSource(codec);
    EXPECT_NE(source, nullptr);
    std::vector<camsim::RtpPayload> payloads;
    uint32_t step = 0;
    CRTPPacket packet;
    packet.m_sequenceNumber = 65530;  // across the wrap
    packet.m_timeStamp = 90000;
    packet.m_payloadType = 96;
    for (size_t frame = 0; source && frame < kFrames; ++frame, packet.m_timeStamp += step) {
        source->NextFrame(payloads, step);
        for (const camsim::RtpPayload& payload : payloads) {
            packet.m_marker = payload.marker ? 1 : 0;
            packet.SetPayload(payload.bytes.data(), payload.bytes.size());
            for (int copy = 0; copy < copies; ++copy)
                rig.parser->ProcessPacket(packet);
            ++packet.m_sequenceNumber;
        }
    }
    EXPECT_TRUE(rig.AllFramesReleased());
    return rig.host.Frames();
}

// Every packet arriving twice gives the same frames as every packet arriving once.
template <typename Parser, typename... Args>
void ExpectCopiesDropped(const char* name, MediaCodec codec, bool everyFrame, Args... args)
{
    SCOPED_TRACE(name);
    const auto twice = Feed<Parser>(codec, 2, args...);
    const auto once = Feed<Parser>(codec, 1, args...);
    EXPECT_FALSE(twice.empty());
    if (everyFrame) {
        EXPECT_EQ(twice.size(), kFrames);
    }
    ASSERT_EQ(twice.size(), once.size());
    for (size_t i = 0; i < twice.size(); ++i)
        EXPECT_EQ(twice[i].bytes, once[i].bytes) << "frame " << i;
}

TEST(DuplicatePackets, FramesSurviveEveryPacketArrivingTwice)
{
    ExpectCopiesDropped<CH264RTPMediaParser>("H.264", MediaCodec::H264, true);
    ExpectCopiesDropped<CJpegRTPMediaParser>("Motion JPEG", MediaCodec::Jpeg, true);
    const std::string noLibrary = "libquarnel-not-installed.so";
    ExpectCopiesDropped<CMpeg4RTPMediaParser>("MPEG-4", MediaCodec::Mpeg4, false, noLibrary);
}

}  // namespace
}  // namespace korvane::test
