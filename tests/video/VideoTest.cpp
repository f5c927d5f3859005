// Video through the plug-in against a simulated camera on port 554 of the video
// tests' own loopback address, with a driver opened with what the plug-in's own
// capability query read from it: frames, the host's control of a running channel,
// multicast, and per camera type the H.264 and Motion JPEG settings each stream
// role writes into the camera (and ONVIF profile) and the stream served then.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "camsim/Camera.h"
#include "platform/Process.h"
#include "platform/Time.h"
#include "runtime/StringFormat.h"
#include "support/CameraAddress.h"
#include "support/PluginDriver.h"
#include "support/TestData.h"
#include "support/WaitUntil.h"

namespace korvane::test {
namespace {

using ::testing::AnyOf;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Not;
using ::testing::StartsWith;

constexpr uint32_t kCodecJpeg = 1;
constexpr uint32_t kCodecH264 = 3;
constexpr uint32_t kFourCCH264 = 0x34363248;       // "H264"
constexpr uint32_t kFourCCH264Delta = 0x34363249;  // "I264"
constexpr uint32_t kFourCCJpeg = 0x4745504A;       // "JPEG"

// A camera the capability query reports as camera type 1 (no 1920x1080, no
// second stream), 2 (1920x1080, one stream) or 3 (a second H.264 stream).
camsim::CameraOptions CameraOfType(uint32_t cameraType)
{
    camsim::CameraOptions options;
    options.address = CameraAddress(CameraSite::Video);
    options.rtspPort = 554;
    options.model.secondStream = cameraType == 3;
    if (cameraType == 1)
        options.model.videoList = {"jpg:640x480", "jpg:320x240", "h264:1280x720", "h264:640x480"};
    return options;
}

// RTP inside the RTSP connection: a stream starts without the UDP port search.
constexpr char kInterleaved[] = "<Default><RTPMode>RTPoverRTSP</RTPMode></Default>";

// "Tallowcam.xml" beside this program, which is where the driver reads it,
// for the life of the object.
class HostConfigurationFile {
public:
    explicit HostConfigurationFile(const std::string& body) : m_path(platform::ExecutableDirectory() + "Tallowcam.xml")
    {
        std::ofstream(m_path, std::ios::binary | std::ios::trunc)
            << "<?xml version=\"1.0\"?>\n<Configuration>" << body << "</Configuration>\n";
    }
    ~HostConfigurationFile() { std::remove(m_path.c_str()); }

private:
    std::string m_path;
};

class VideoCamera : public PluginDriver {
public:
    explicit VideoCamera(const camsim::CameraOptions& options) : camera(options) {}
    ~VideoCamera() { Close(); }  // before the camera goes

    // Starts the camera, runs the capability query and opens a driver with
    // what it reported; `overrides` replace single parameters.
    bool Open(const std::map<uint32_t, std::string>& overrides = {})
    {
        if (!camera.Start())
            return false;
        const DEVICE_INFO device = camera.DeviceInfo();
        params.deviceAddress.address = device.address;
        params.deviceAddress.port = static_cast<uint16_t>(device.port);
        params.deviceAddress.userName = device.userName;
        params.deviceAddress.password = device.password;
        if (!Probe())
            return false;
        for (const auto& [number, value] : overrides)
            params.parameters[number] = value;
        if (!PluginDriver::Open())
            return false;
        ClearRequests();  // what the query and the opening asked
        return true;
    }

    // The settings requests ("/admin/-set-?") the video channels sent, in
    // order; the clock synchronisation's left out.
    std::vector<std::string> SettingsRequests()
    {
        std::vector<std::string> selected;
        for (const std::string& target : camera.HttpRequests().Targets()) {
            const bool clock = target.find("bc00=") != std::string::npos || target.find("el=bc30") != std::string::npos;
            if (target.rfind("/admin/-set-?", 0) == 0 && !clock)
                selected.push_back(target);
        }
        return selected;
    }
    // Waits until the video channels sent count settings requests.
    bool WaitForSettingsRequests(size_t count)
    {
        return WaitUntil([&] { return SettingsRequests().size() >= count; }, kStreamWaitMs);
    }
    // Starts the role's stream, waits for count settings requests, stops the
    // stream again and returns the last request (empty: none).
    std::string LastSettingsOfStream(uint32_t role, const SettableStreamRequest& request, size_t count = 1)
    {
        ClearRequests();
        EXPECT_TRUE(StartStream(role, request));
        EXPECT_TRUE(WaitForSettingsRequests(count));
        Video().StopStream(0, role);
        const std::vector<std::string> requests = SettingsRequests();
        return requests.empty() ? std::string() : requests.back();
    }
    // The ONVIF operations the camera answered, in order.
    std::vector<std::string> OnvifOperations()
    {
        std::vector<std::string> operations;
        for (const camsim::OnvifRequestRecord& request : camera.Onvif().Requests())
            operations.push_back(request.operation);
        return operations;
    }
    // Forgets what the camera received so far (the RTSP requests stay).
    void ClearRequests()
    {
        camera.HttpRequests().Clear();
        camera.Onvif().ClearRequests();
    }
    size_t RtspRequests(const std::string& method = "")
    {
        return test::RtspRequests(camera.Rtsp().Recorder(), method).size();
    }
    // The RTSP request count once it has stayed put for half a second: the
    // camera logs a stopped stream's last requests after the stop returned.
    size_t SettledRtspRequests()
    {
        size_t count = RtspRequests();
        while (WaitUntil([&] { return RtspRequests() != count; }, 500))
            count = RtspRequests();
        return count;
    }
    // The description camsim gave for the last stream it served on a path
    // ending in `suffix` (an empty path: none).
    camsim::StreamDescription LastDescribed(const std::string& suffix)
    {
        const std::vector<camsim::StreamDescription> described = camera.Streams().Described();
        for (auto it = described.rbegin(); it != described.rend(); ++it)
            if (it->path.size() >= suffix.size() && it->path.rfind(suffix) == it->path.size() - suffix.size())
                return *it;
        return {};
    }

    camsim::Camera camera;
};

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

constexpr char kConfiguredByRecorder[] = "<StreamingMode>multicast primary</StreamingMode>";
constexpr char kLeftAsConfigured[] = "<StreamingMode>multicast</StreamingMode>";

// Multicast H.264 at 640x480, 10 frames per second (code 2) and quality 50
// (bit-rate code 13). Then a camera that takes the settings request and never
// answers: stopping the channel ends the request instead of waiting for its time-out.
TEST(VideoStreaming, MulticastRolesCheckTheirAddressFirstAndAStopEndsACameraRequestThatIsNotAnswered)
{
    VideoCamera camera(CameraOfType(3));
    ASSERT_TRUE(camera.Open());
    {
        const HostConfigurationFile multicast(kConfiguredByRecorder);
        camera.camera.Model().SetSetting("dh10", "2");
        // The role, its address check, the stream's path and group, the settings it writes.
        const std::tuple<uint32_t, const char*, const char*, const char*, const char*> cases[] = {
            {kRec, "/admin/-set-?el=ig12-4", "rtpstream/config5=m", "239.100.100.104",
             "/admin/-set-?em=2&pt=8&ig10-4=4&dh00-0=1&dh02-0=13&dh03-0=2&dh04-0=2&dh05-0=1"},
            {kLive, "/admin/-set-?el=ig12-3", "rtpstream/config4=m", "239.100.100.103",
             "/admin/-set-?em=2&pt=8&ig10-3=5&dh00-1=1&dh02-1=13&dh03-1=2&dh04-1=2&dh05-1=1"},
        };
        for (const auto& [role, check, path, group, write] : cases) {
            SCOPED_TRACE(RoleName(role));
            camera.ClearRequests();
            ASSERT_TRUE(camera.StartStream(role, StreamRequest(kCodecH264, 640, 480, 10, 50)));
            ASSERT_TRUE(camera.WaitForFrames(role, 3));
            const std::vector<std::string> requests = camera.SettingsRequests();
            ASSERT_GE(requests.size(), 3u);
            EXPECT_EQ(std::make_tuple(requests[0], requests.back(), camera.LastDescribed(path).multicastGroup),
                      std::make_tuple(check, write, group))
                << "the address comes first; " << path;
            EXPECT_TRUE(camera.Video().StopStream(0, role));
        }
        EXPECT_FALSE(camera.log.HasLineContaining("CheckMulticastAddress"));
        EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
    }

    const HostConfigurationFile interleaved(kInterleaved);
    for (uint32_t codec : {kCodecH264, kCodecJpeg}) {
        SCOPED_TRACE(FormatString("codec %u", codec));
        camera.ClearRequests();
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

TEST(VideoStreaming, AMulticastCameraLeftAsConfiguredOrWithoutTheAddressOfItsStream)
{
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    ipcapture::IIPVideoCaptureEx2& video = camera.Video();
    {
        // Left as configured, the camera is only asked for the address.
        const HostConfigurationFile multicast(kLeftAsConfigured);
        ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecH264, 1280, 720, 10, 50)));
        ASSERT_TRUE(camera.WaitForFrames(kRec, 3));
        EXPECT_THAT(camera.SettingsRequests(), ElementsAre("/admin/-set-?el=ig12-4"));
        const camsim::StreamDescription served = camera.LastDescribed("stream/profile1=m");
        EXPECT_EQ(std::tie(served.width, served.multicastGroup), std::make_tuple(480u, "239.100.100.104"))
            << "the camera's own size (code 4)";
        EXPECT_TRUE(video.StopChannel(0));
    }

    // A Motion JPEG stream the recorder configured once (its profile exists from then on; the Rec
    // encoder configuration has a multicast group on this camera) is then only looked up.
    const SettableStreamRequest jpeg = StreamRequest(kCodecJpeg, 320, 240, 10, 50);
    for (const char* mode : {kConfiguredByRecorder, kLeftAsConfigured}) {
        const HostConfigurationFile multicast(mode);
        camera.ClearRequests();
        const size_t before = camera.FramesOf(kRec).size();
        ASSERT_TRUE(camera.StartStream(kRec, jpeg));
        ASSERT_TRUE(camera.WaitForFrames(kRec, before + 2));
        EXPECT_TRUE(video.StopStream(0, kRec));
    }
    EXPECT_THAT(camera.SettingsRequests(), ElementsAre("/admin/-set-?el=ig12-4"));
    EXPECT_THAT(camera.OnvifOperations(), ElementsAre("GetCapabilities", "GetProfiles"));
    EXPECT_FALSE(camera.LastDescribed("stream/created1=m").path.empty());

    // A stop during the address check is no missing address.
    const HostConfigurationFile multicast(kConfiguredByRecorder);
    camera.ClearRequests();
    camera.camera.Http().SetFault(camsim::HttpFault::NeverReply);
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecH264, 640, 480, 10, 50)));
    ASSERT_TRUE(camera.WaitForSettingsRequests(1));
    EXPECT_TRUE(video.StopChannel(0));
    EXPECT_FALSE(camera.log.HasLineContaining("CheckMulticastAddress"));
    camera.camera.Http().SetFault(camsim::HttpFault::None);

    // Without the camera's address nothing is configured or streamed.
    camera.camera.Model().SetSetting("ig12-4", "0.0.0.0");
    camera.camera.Model().SetSetting("ig12-3", "0.0.0.0");
    camera.ClearRequests();
    const size_t rtspRequests = camera.SettledRtspRequests(), frames = camera.FramesOf(kRec).size();
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecH264, 640, 480, 10, 50)));
    ASSERT_TRUE(camera.StartStream(kLive, jpeg));
    const auto missing = [&](uint32_t streaming) {
        return FormatString("korvane::CCommonChannel::CheckMulticastAddress: Multicast address for RTP Streaming %u "
                            "is not set, please set correct value! Device %s:%u",
                            streaming, camera.params.deviceAddress.address.c_str(), camera.params.deviceAddress.port);
    };
    ASSERT_TRUE(WaitUntil(
        [&] { return camera.log.HasLineContaining(missing(5)) && camera.log.HasLineContaining(missing(4)); },
        kStreamWaitMs));
    for (const LogLine& line : camera.log.LinesContaining("CheckMulticastAddress"))
        EXPECT_EQ(line.level, 1u) << line.text;
    EXPECT_THAT(camera.SettingsRequests(),
                Each(AnyOf("/admin/-set-?el=ig12-4", "/admin/-set-?el=ig12-3")));
    EXPECT_TRUE(camera.OnvifOperations().empty()) << "the Motion JPEG stream is not configured either";
    EXPECT_EQ(camera.RtspRequests(), rtspRequests);
    // Once the camera has the address, the next attempt streams.
    camera.camera.Model().SetSetting("ig12-4", "239.100.100.104");
    EXPECT_TRUE(camera.WaitForFrames(kRec, frames + 2));
    EXPECT_EQ(camera.FramesOf(kLive).size(), 0u);
    EXPECT_TRUE(video.StopChannel(0));
}

// The keys of camera stream 0 for 640x480 at 25 frames per second and quality 60 on camera type 1
// (bit-rate code 9: 1024 kbit/s of 4096), resolution code 2, frame-rate code 0.
const std::string kStreamZeroKeys = "&dh00-0=1&dh02-0=9&dh03-0=2&dh04-0=0";
// The same on camera types 2 and 3 (bit-rate code 13: 8192 kbit/s of 16384) for stream n.
std::string LargeCameraKeys(uint32_t n)
{
    return FormatString("&dh00-%u=1&dh02-%u=13&dh03-%u=2&dh04-%u=0", n, n, n, n);
}

struct RoleExpectation {
    uint32_t role;
    std::vector<std::string> requests;
    std::string path;
};

// Starts each role's H.264 stream in turn and checks the requests, the path and the frames.
void ExpectRolesStream(VideoCamera& camera, uint32_t cameraType, const std::vector<RoleExpectation>& roles)
{
    EXPECT_EQ(camera.probedParameters[3], std::to_string(cameraType)) << "the query's camera type";
    for (const RoleExpectation& expected : roles) {
        SCOPED_TRACE(RoleName(expected.role));
        camera.ClearRequests();
        const size_t before = camera.FramesOf(expected.role).size();
        ASSERT_TRUE(camera.StartStream(expected.role, StreamRequest(kCodecH264, 640, 480, 25, 60)));
        ASSERT_TRUE(camera.WaitForFrames(expected.role, before + 3));
        EXPECT_THAT(camera.SettingsRequests(), ElementsAreArray(expected.requests));

        const camsim::StreamDescription served = camera.LastDescribed(expected.path);
        EXPECT_EQ(std::tie(served.path, served.codec, served.width, served.height),
                  std::make_tuple(expected.path, camsim::MediaCodec::H264, 640u, 480u));

        const std::vector<DeliveredFrame> frames = camera.FramesOf(expected.role);
        EXPECT_EQ(frames[before].fourCC, kFourCCH264) << "the stream starts with a key frame";
        for (size_t i = before; i < frames.size(); ++i) {
            EXPECT_TRUE(frames[i].fourCC == kFourCCH264 || frames[i].fourCC == kFourCCH264Delta) << frames[i].fourCC;
            EXPECT_FALSE(frames[i].bytes.empty());
        }
        EXPECT_TRUE(camera.Video().StopStream(0, expected.role));
    }
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
}

struct RateCase {
    uint32_t quality;
    uint32_t frameRateValue;  // as the host sends it
    uint32_t bitrateCode[2];  // dh02 of camera type 1 (4096 kbit/s at most), of types 2 and 3 (16384 kbit/s)
    uint32_t rateCode[2];     // dh04 of camera type 1 (nothing below 11 frames per second), of types 2 and 3
};

// Rates as frames per second (0x7000 + rate), as milliseconds between frames, and 0.
const RateCase kRateCases[] = {
    {1, 0x7000 + 30, {1, 1}, {0, 0}},     {2, 0x7000 + 25, {2, 4}, {0, 0}},     {20, 0x7000 + 24, {6, 10}, {1, 1}},
    {21, 0x7000 + 15, {6, 10}, {1, 1}},   {40, 0x7000 + 14, {8, 12}, {2, 2}},   {41, 0x7000 + 11, {8, 12}, {2, 2}},
    {50, 0x7000 + 10, {9, 13}, {2, 2}},   {60, 0x7000 + 9, {9, 13}, {2, 3}},    {61, 0x7000 + 6, {9, 13}, {2, 3}},
    {80, 0x7000 + 5, {10, 15}, {2, 4}},   {81, 0x7000 + 4, {10, 15}, {2, 5}},   {99, 0x7000 + 3, {10, 16}, {2, 5}},
    {100, 0x7000 + 2, {11, 17}, {2, 6}},  {10, 0x7000 + 1, {4, 8}, {2, 7}},     {30, 200, {7, 11}, {2, 4}},
    {70, 67, {9, 14}, {1, 1}},            {90, 40, {10, 16}, {0, 0}},           {45, 0, {8, 12}, {2, 7}},
    {55, 333, {9, 13}, {2, 5}},
};

// The main stream's bit-rate and frame-rate codes of every rate case; `tail` ends each request.
void ExpectRateAndBitrateCodes(VideoCamera& camera, uint32_t cameraType, const std::string& tail)
{
    const size_t large = cameraType == 1 ? 0 : 1;
    for (const RateCase& c : kRateCases) {
        SCOPED_TRACE(FormatString("type %u, quality %u, frame-rate value %u", cameraType, c.quality, c.frameRateValue));
        SettableStreamRequest request = StreamRequest(kCodecH264, 1280, 720, 0, c.quality);
        request.rate.frameRate = c.frameRateValue;
        EXPECT_EQ(camera.LastSettingsOfStream(kRec, request, cameraType == 3 ? 2 : 1),
                  FormatString("/admin/-set-?em=2&pt=8%s&dh00-0=1&dh02-0=%u&dh03-0=9&dh04-0=%u%s",
                               cameraType == 3 ? "&ig10-4=4" : "", c.bitrateCode[large], c.rateCode[large],
                               tail.c_str()));
    }
}

// The resolution code of every size; camera type 2 streams no picture narrower than 480x270 (code 4).
void ExpectResolutionCodes(VideoCamera& camera, uint32_t cameraType)
{
    const uint32_t sizes[][3] = {{320, 240, 1}, {320, 180, 7}, {480, 270, 4}, {640, 480, 2}, {640, 360, 8},
                                 {960, 540, 5}, {1280, 960, 3}, {1280, 720, 9}, {1920, 1080, 6}};
    for (const auto& [width, height, code] : sizes) {
        SCOPED_TRACE(FormatString("type %u, %ux%u", cameraType, width, height));
        const std::string sent = camera.LastSettingsOfStream(kLive, StreamRequest(kCodecH264, width, height, 30, 50));
        const uint32_t expected = cameraType == 2 && width < 480 ? 4 : code;
        EXPECT_NE(sent.find(FormatString("&dh03-0=%u&", expected)), std::string::npos) << sent;
    }
}

std::optional<camsim::OnvifProfile> ProfileNamed(VideoCamera& camera, const std::string& name)
{
    for (const camsim::OnvifProfile& profile : camera.camera.Onvif().Profiles())
        if (profile.name == name)
            return profile;
    return std::nullopt;
}

camsim::OnvifEncoderConfiguration Encoder(VideoCamera& camera, const std::string& token)
{
    camsim::OnvifEncoderConfiguration encoder;
    EXPECT_TRUE(camera.camera.Onvif().FindEncoder(token, encoder)) << token;
    return encoder;
}

struct JpegRole {
    uint32_t role;
    const char* profileName;
    const char* encoderToken;
    uint32_t width, height, framesPerSecond, quality;
    uint32_t setHeight;     // the height a multiple of 8
    uint32_t qualityLevel;  // the quality in 5 steps
    uint32_t bitrateLimit;  // kbit/s: 32 + quality % of 4064
};

// The role's first stream creates its profile from profile0 and configures its encoder.
void ExpectRoleConfiguresItsProfile(VideoCamera& camera, const JpegRole& c, const std::string& pathPrefix)
{
    SCOPED_TRACE(RoleName(c.role));
    camera.ClearRequests();
    ASSERT_TRUE(camera.StartStream(c.role, StreamRequest(kCodecJpeg, c.width, c.height, c.framesPerSecond, c.quality)));
    ASSERT_TRUE(camera.WaitForFrames(c.role, 2));
    EXPECT_THAT(camera.OnvifOperations(),
                ElementsAre("GetCapabilities", "GetProfiles", "GetProfile", "CreateProfile",
                            "AddVideoSourceConfiguration", "GetVideoEncoderConfiguration",
                            "SetVideoEncoderConfiguration", "AddVideoEncoderConfiguration"));
    EXPECT_THAT(camera.SettingsRequests(), Each(Not(StartsWith("/admin/-set-?em=2"))))
        << "Motion JPEG goes over ONVIF only";

    const auto profile = ProfileNamed(camera, c.profileName);
    ASSERT_TRUE(profile.has_value()) << c.profileName;
    EXPECT_EQ(std::tie(profile->videoSourceToken, profile->encoderToken), std::make_tuple("vsc0", c.encoderToken))
        << "profile0's video source";

    const camsim::OnvifEncoderConfiguration e = Encoder(camera, c.encoderToken);
    EXPECT_EQ(std::tie(e.name, e.useCount, e.encoding, e.width, e.height, e.frameRateLimit, e.encodingInterval,
                       e.bitrateLimit, e.sessionTimeout),
              std::make_tuple(std::string("jpeg") + c.encoderToken, 1u, "JPEG", c.width, c.setHeight,
                              c.framesPerSecond, 1u, c.bitrateLimit, "PT1M0S"));
    EXPECT_EQ(std::atof(e.quality.c_str()), c.qualityLevel) << e.quality;

    const std::string path = pathPrefix + profile->token + "=u";
    const camsim::StreamDescription served = camera.LastDescribed(path);
    EXPECT_EQ(std::tie(served.path, served.codec, served.width, served.height, served.framesPerSecond),
              std::make_tuple(path, camsim::MediaCodec::Jpeg, c.width, c.setHeight, c.framesPerSecond));

    for (const DeliveredFrame& frame : camera.FramesOf(c.role)) {
        ASSERT_GE(frame.bytes.size(), 4u);
        EXPECT_EQ(std::make_tuple(frame.fourCC, frame.bytes[0], frame.bytes[1]),
                  std::make_tuple(kFourCCJpeg, 0xFF, 0xD8))
            << "a whole JPEG picture";
    }
    EXPECT_TRUE(camera.Video().StopStream(0, c.role));
}

// With the camera failing the operation, the main stream starts no session and is tried again.
void ExpectFailedCallIsRetried(VideoCamera& camera, const std::string& operation)
{
    SCOPED_TRACE(operation);
    camera.camera.Onvif().FailOperation(operation, camsim::OnvifFault{});
    const auto calls = [&](const std::string& name) {
        const std::vector<std::string> called = camera.OnvifOperations();
        return std::count(called.begin(), called.end(), name);
    };
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecJpeg, 320, 240, 10, 50)));
    ASSERT_TRUE(WaitUntil([&] { return calls(operation) >= 2; }, kStreamWaitMs)) << "the channel tries again";
    EXPECT_EQ(camera.RtspRequests(), 0u);
    const auto lines = camera.log.LinesContaining(
        "korvane::CJpegChannelRTSP::ApplyParams: Unable to configure the Motion JPEG stream on device " +
        camera.params.deviceAddress.address + ":");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].level, 1u);
    EXPECT_NE(lines[0].text.find(". HTTP status code: 400"), std::string::npos) << lines[0].text;
    EXPECT_EQ(calls("AddVideoEncoderConfiguration"), 0);
    EXPECT_TRUE(camera.Video().StopChannel(0));
    EXPECT_EQ(camera.frames.FrameCount(), 0u);
    camera.camera.Onvif().ClearFailures();
}

// A camera type 1 serves the Motion JPEG profile streams without the "stream/" prefix.
TEST(VideoSettings, CameraTypeOneRetriesAFailedJpegProfileAndConfiguresStreamZeroForEveryRoleAndRequest)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(1));
    ASSERT_TRUE(camera.Open());
    ExpectFailedCallIsRetried(camera, "CreateProfile");
    ExpectRoleConfiguresItsProfile(camera, {kLive, "MLIVE", "2", 640, 480, 25, 60, 480, 3, 2470}, "");

    const std::string write = "/admin/-set-?em=2&pt=8" + kStreamZeroKeys;
    const char* path = "profile1=u";
    ExpectRolesStream(camera, 1, {{kRec, {write}, path}, {kLive, {write}, path}, {kRemote, {write}, path}});
    ExpectRateAndBitrateCodes(camera, 1, "");
    ExpectResolutionCodes(camera, 1);
}

TEST(VideoSettings, CameraTypeTwoConfiguresEveryRolesJpegProfileAndH264StreamZeroAndRetriesARejectedSetting)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    // Motion JPEG: each role's profile and encoder from what it reads, or from its defaults.
    for (const JpegRole& role : {JpegRole{kRec, "MREC", "1", 640, 480, 10, 100, 480, 5, 4096},
                                 JpegRole{kLive, "MLIVE", "2", 480, 270, 15, 1, 272, 1, 32},
                                 JpegRole{kRemote, "MREMOTE", "3", 320, 180, 5, 47, 184, 3, 1942}})
        ExpectRoleConfiguresItsProfile(camera, role, "stream/");
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);

    // An unreadable encoder configuration: each role starts from its multicast defaults.
    camera.camera.Onvif().FailOperation("GetVideoEncoderConfiguration", camsim::OnvifFault{});
    const std::tuple<uint32_t, const char*, const char*> defaults[] = {
        {kRec, "1", "239.100.100.100"}, {kLive, "2", "239.110.100.100"}, {kRemote, "3", "239.120.100.100"}};
    for (const auto& [role, token, group] : defaults) {
        SCOPED_TRACE(RoleName(role));
        const size_t before = camera.FramesOf(role).size();
        ASSERT_TRUE(camera.StartStream(role, StreamRequest(kCodecJpeg, 320, 240, 10, 50)));
        ASSERT_TRUE(camera.WaitForFrames(role, before + 1)) << "a failed read does not stop the configuration";
        const camsim::OnvifEncoderConfiguration e = Encoder(camera, token);
        EXPECT_EQ(std::tie(e.multicastAddress, e.multicastPort, e.multicastTtl, e.autoStart, e.encoding),
                  std::make_tuple(group, 6000u, 5u, "false", "JPEG"));
        EXPECT_TRUE(camera.Video().StopStream(0, role));
    }
    camera.camera.Onvif().ClearFailures();

    const std::string write = "/admin/-set-?em=2&pt=8" + LargeCameraKeys(0) + "&dh05=1";
    const char* path = "stream/profile1=u";
    ExpectRolesStream(camera, 2, {{kRec, {write}, path}, {kLive, {write}, path}, {kRemote, {write}, path}});
    ExpectRateAndBitrateCodes(camera, 2, "&dh05=1");
    ExpectResolutionCodes(camera, 2);

    // A rejected setting starts no stream and is tried again.
    camera.ClearRequests();
    const size_t rtspRequests = camera.SettledRtspRequests(), frames = camera.FramesOf(kRec).size();
    camera.camera.Model().RemoveSetting("dh05");  // the reply then says SettingError
    ASSERT_TRUE(camera.StartChannel(StreamRequest(kCodecH264, 640, 480, 30, 50)));
    ASSERT_TRUE(camera.WaitForSettingsRequests(2)) << "the channel tries again";
    EXPECT_EQ(camera.RtspRequests(), rtspRequests) << "no session without the settings";
    const uint32_t state = camera.ChannelState();
    EXPECT_TRUE(state != 0 && state != 99) << state << ": a channel, not streaming";
    camera.camera.Model().SetSetting("dh05", "0");
    // The next attempt comes after a pause, then the session starts.
    ASSERT_TRUE(camera.WaitForFrames(kRec, frames + 1, 2 * kStreamWaitMs)) << "the next attempt streams";
    EXPECT_EQ(camera.camera.Model().Setting("dh05"), "1");
    EXPECT_TRUE(camera.Video().StopChannel(0));
}

// Motion JPEG: the channel keeps the token of its profile; a new channel looks
// it up by its name and creates none. H.264: Live takes the second stream and
// switches the camera to two streams; high resolutions then limit the frame
// rate of both.
TEST(VideoSettings, CameraTypeThreeKeepsAndFindsTheJpegProfileAndLimitsTwoH264StreamsAtHighResolutions)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(3));
    ASSERT_TRUE(camera.Open());
    ExpectFailedCallIsRetried(camera, "SetVideoEncoderConfiguration");

    ipcapture::IIPVideoCaptureEx2& video = camera.Video();
    const SettableStreamRequest request = StreamRequest(kCodecJpeg, 320, 240, 25, 30);
    ASSERT_TRUE(camera.StartChannel(request));
    ASSERT_TRUE(camera.WaitForFrames(kRec, 1));
    const auto created = ProfileNamed(camera, "MREC");
    ASSERT_TRUE(created.has_value());
    camera.ClearRequests();
    SettableResolution larger;
    larger.width = 640;
    larger.height = 360;
    ASSERT_TRUE(video.ChangeChannel(0, &larger, 0x7000 + 5));
    EXPECT_THAT(camera.OnvifOperations(), ElementsAre("GetCapabilities", "GetVideoEncoderConfiguration",
                                                      "SetVideoEncoderConfiguration", "AddVideoEncoderConfiguration"))
        << "the stored profile token is used without asking the camera";
    const camsim::OnvifEncoderConfiguration encoder = Encoder(camera, "1");
    EXPECT_EQ(std::tie(encoder.width, encoder.height, encoder.frameRateLimit, encoder.bitrateLimit),
              std::make_tuple(640u, 360u, 5u, 1251u));
    EXPECT_EQ(std::atof(encoder.quality.c_str()), 2) << "the quality stays (30: level 2 of 5)";

    camera.ClearRequests();
    ASSERT_TRUE(camera.StartChannel(request));
    ASSERT_TRUE(WaitUntil([&] { return camera.OnvifOperations().size() >= 5; }, kStreamWaitMs));
    EXPECT_THAT(camera.OnvifOperations(),
                ElementsAre("GetCapabilities", "GetProfiles", "GetVideoEncoderConfiguration",
                            "SetVideoEncoderConfiguration", "AddVideoEncoderConfiguration"));
    EXPECT_EQ(camera.camera.Onvif().Profiles().size(), 3u) << "profile0, profile1 and MREC";
    const size_t before = camera.FramesOf(kRec).size();
    EXPECT_TRUE(camera.WaitForFrames(kRec, before + 2));
    EXPECT_EQ(camera.LastDescribed("=u").path, "stream/" + created->token + "=u");
    EXPECT_TRUE(video.StopChannel(0));

    ExpectRoleConfiguresItsProfile(camera, {kLive, "MLIVE", "2", 640, 480, 25, 60, 480, 3, 2470}, "stream/");

    const std::string start = "/admin/-set-?em=2&pt=8";
    const std::string mainStream = start + "&ig10-4=4" + LargeCameraKeys(0) + "&dh05-0=1";
    const std::string readSecond = "/admin/-set-?el=dh10&el=dh03-1&el=dh04-1";
    // The camera starts in one-stream mode: Live is configured, then the camera switched.
    ExpectRolesStream(camera, 3,
                      {{kRec, {readSecond, mainStream}, "rtpstream/config5=u"},
                       {kLive,
                        {"/admin/-set-?el=dh10&el=dh03-0&el=dh04-0", start + LargeCameraKeys(1) + "&dh05-1=1",
                         start + "&dh10=2", start + "&ig10-3=5"},
                        "rtpstream/config4=u"},
                       {kRemote, {readSecond, mainStream}, "rtpstream/config5=u"}});
    ExpectRateAndBitrateCodes(camera, 3, "&dh05-0=1");

    // Two streams at high resolutions: the rows of the data file in order.
    for (const std::string& row : ReadTestDataLines("video/two-streams.txt")) {
        std::istringstream fields(row);
        std::string what, role, write;
        uint32_t width = 0, height = 0, framesPerSecond = 0;
        std::getline(fields, what, '|');
        fields >> role >> width >> height >> framesPerSecond >> write;
        SCOPED_TRACE(what);
        for (std::string key, value; std::getline(fields >> std::ws, key, '=') && fields >> value;)
            camera.camera.Model().SetSetting(key, value);
        const uint32_t roleNumber = role == "Rec" ? kRec : role == "Live" ? kLive : kRemote;
        const SettableStreamRequest request = StreamRequest(kCodecH264, width, height, framesPerSecond, 50);
        EXPECT_EQ(camera.LastSettingsOfStream(roleNumber, request, 2), write);
    }

    // Bit-rate mode OFF leaves bit rate and quality alone.
    const HostConfigurationFile off("<Default><RTPMode>RTPoverRTSP</RTPMode><BitrateMode>OFF</BitrateMode></Default>");
    EXPECT_EQ(camera.LastSettingsOfStream(kRec, StreamRequest(kCodecH264, 640, 480, 15, 70), 2),
              start + "&ig10-4=4&dh03-0=2&dh04-0=1&dh05-0=1");
}

TEST(VideoSettings, VariableBitrateWritesTheQualityLevelOfTheCamerasSteps)
{
    const HostConfigurationFile vbr("<Default><RTPMode>RTPoverRTSP</RTPMode><BitrateMode>VBR</BitrateMode></Default>");
    // The steps the capability query reads from the camera, parameter 7 handed to the driver (null: as the
    // query reported it) and dh01 of the qualities 1, 20, 21, 59 and 100 in the driver's steps. Parameter 7
    // outside 1..100 (or empty) leaves the default of 5 steps.
    const std::tuple<uint32_t, const char*, std::array<uint32_t, 5>> cases[] = {
        {5, nullptr, {1, 1, 2, 3, 5}}, {10, nullptr, {1, 2, 3, 6, 10}}, {3, nullptr, {1, 1, 1, 2, 4}},
        {10, "0", {1, 1, 2, 3, 5}},    {10, "101", {1, 1, 2, 3, 5}},    {10, "(none)", {1, 1, 2, 3, 5}},
        {10, "100", {1, 20, 21, 59, 100}}};
    for (const auto& [cameraSteps, parameter, levels] : cases) {
        SCOPED_TRACE(FormatString("%u steps, parameter 7 %s", cameraSteps, parameter ? parameter : "probed"));
        camsim::CameraOptions options = CameraOfType(2);
        options.model.maxQuality = cameraSteps;
        VideoCamera camera(options);
        std::map<uint32_t, std::string> overrides;
        if (parameter != nullptr)
            overrides[7] = parameter;
        ASSERT_TRUE(camera.Open(overrides));
        EXPECT_EQ(camera.probedParameters[7], std::to_string(cameraSteps));
        const uint32_t qualities[] = {1, 20, 21, 59, 100};
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(camera.LastSettingsOfStream(kRec, StreamRequest(kCodecH264, 640, 480, 30, qualities[i])),
                      FormatString("/admin/-set-?em=2&pt=8&dh00-0=0&dh01-0=%u&dh03-0=2&dh04-0=0&dh05=1", levels[i]))
                << "quality " << qualities[i];
    }
}

}  // namespace
}  // namespace korvane::test
