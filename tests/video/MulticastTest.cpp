// Multicast streams through the plug-in: the camera's multicast address of
// the stream is checked first, then the stream is configured (or left as the
// camera has it) and received from the announced group.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/StringFormat.h"
#include "support/WaitUntil.h"
#include "video/CameraCodes.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;

constexpr char kConfiguredByRecorder[] = "<StreamingMode>multicast primary</StreamingMode>";
constexpr char kLeftAsConfigured[] = "<StreamingMode>multicast</StreamingMode>";

std::string MissingAddressLine(uint32_t streaming, const VideoCamera& camera)
{
    return FormatString("korvane::CCommonChannel::CheckMulticastAddress: Multicast address for RTP Streaming %u is not "
                        "set, please set correct value! Device %s:%u",
                        streaming, camera.params.deviceAddress.address.c_str(), camera.params.deviceAddress.port);
}

TEST(VideoMulticast, EachRoleChecksItsAddressConfiguresAndReceivesTheGroup)
{
    const HostConfigurationFile multicast(kConfiguredByRecorder);
    VideoCamera camera(CameraOfType(3));
    ASSERT_TRUE(camera.Open());
    camera.camera.Model().SetSetting("dh10", "2");
    struct RoleCase {
        uint32_t role;
        const char* check;
        std::string write;
        const char* path;
        const char* group;
    };
    const std::string b = FormatString("=1&dh02-%%u=%u", ExpectedBitrateCode(3, 50));
    const RoleCase cases[] = {
        {kRec, "/admin/-set-?el=ig12-4",
         "/admin/-set-?em=2&pt=8&ig10-4=4&dh00-0" + FormatString(b.c_str(), 0u) + "&dh03-0=2&dh04-0=2&dh05-0=1",
         "rtpstream/config5=m", "239.100.100.104"},
        {kLive, "/admin/-set-?el=ig12-3",
         "/admin/-set-?em=2&pt=8&ig10-3=5&dh00-1" + FormatString(b.c_str(), 1u) + "&dh03-1=2&dh04-1=2&dh05-1=1",
         "rtpstream/config4=m", "239.100.100.103"},
    };
    for (const RoleCase& c : cases) {
        SCOPED_TRACE(RoleName(c.role));
        camera.ClearRequests();
        SettableStreamRequest request = StreamRequest(kCodecH264, 640, 480, 10, 50);
        ASSERT_TRUE(camera.Video()->StartStream(0, c.role, &camera.frames, &request));
        ASSERT_TRUE(camera.WaitForFrames(c.role, 3));
        const std::vector<std::string> requests = camera.SettingsRequests();
        ASSERT_GE(requests.size(), 3u);
        EXPECT_EQ(requests[0], c.check) << "the address comes first";
        EXPECT_EQ(requests.back(), c.write);
        const auto described = camera.LastDescribed(c.path);
        ASSERT_TRUE(described.has_value()) << c.path;
        EXPECT_EQ(described->multicastGroup, c.group);
        EXPECT_TRUE(camera.Video()->StopStream(0, c.role));
    }
    EXPECT_FALSE(camera.HasLogLine("CheckMulticastAddress"));
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
}

TEST(VideoMulticast, WithoutTheCamerasAddressNothingIsConfiguredOrStreamed)
{
    const HostConfigurationFile multicast(kConfiguredByRecorder);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    camera.camera.Model().SetSetting("ig12-4", "0.0.0.0");
    camera.camera.Model().SetSetting("ig12-3", "0.0.0.0");
    SettableStreamRequest h264 = StreamRequest(kCodecH264, 640, 480, 10, 50);
    SettableStreamRequest jpeg = StreamRequest(kCodecJpeg, 320, 240, 10, 50);
    ipcapture::IIPVideoCaptureEx2* video = camera.Video();
    ASSERT_TRUE(video->StartChannel(0, &camera.frames, &h264));
    ASSERT_TRUE(video->StartStream(0, kLive, &camera.frames, &jpeg));
    ASSERT_TRUE(WaitUntil([&] { return camera.HasLogLine(MissingAddressLine(5, camera)) &&
                                       camera.HasLogLine(MissingAddressLine(4, camera)); },
                          kStreamWaitMs));
    for (const HostLogLine& line : camera.logSink.LinesContaining("CheckMulticastAddress"))
        EXPECT_EQ(line.level, 1u) << line.text;
    EXPECT_THAT(camera.SettingsRequests(), Each(::testing::AnyOf("/admin/-set-?el=ig12-4", "/admin/-set-?el=ig12-3")));
    EXPECT_TRUE(camera.OnvifOperations().empty()) << "the Motion JPEG stream is not configured either";
    EXPECT_TRUE(camera.camera.Rtsp().Recorder().Requests().empty());

    // Once the camera has the address, the next attempt streams.
    camera.camera.Model().SetSetting("ig12-4", "239.100.100.104");
    EXPECT_TRUE(camera.WaitForFrames(kRec, 2));
    EXPECT_EQ(camera.FramesOf(kLive).size(), 0u);
    EXPECT_TRUE(video->StopChannel(0));
}

TEST(VideoMulticast, AStopDuringTheAddressCheckIsNoMissingAddress)
{
    const HostConfigurationFile multicast(kConfiguredByRecorder);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    camera.camera.Http().SetFault(camsim::HttpFault::NeverReply);
    SettableStreamRequest request = StreamRequest(kCodecH264, 640, 480, 10, 50);
    ASSERT_TRUE(camera.Video()->StartChannel(0, &camera.frames, &request));
    ASSERT_TRUE(camera.WaitForSettingsRequests(1));
    EXPECT_TRUE(camera.Video()->StopChannel(0));
    EXPECT_FALSE(camera.HasLogLine("CheckMulticastAddress"));
}

TEST(VideoMulticast, ACameraLeftAsConfiguredIsOnlyAskedForTheAddress)
{
    const HostConfigurationFile multicast(kLeftAsConfigured);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    SettableStreamRequest request = StreamRequest(kCodecH264, 1280, 720, 10, 50);
    ASSERT_TRUE(camera.Video()->StartChannel(0, &camera.frames, &request));
    ASSERT_TRUE(camera.WaitForFrames(kRec, 3));
    EXPECT_THAT(camera.SettingsRequests(), ElementsAre("/admin/-set-?el=ig12-4"));
    const auto described = camera.LastDescribed("stream/profile1=m");
    ASSERT_TRUE(described.has_value());
    EXPECT_EQ(described->width, 480u) << "the camera's own size (code 4)";
    EXPECT_EQ(described->multicastGroup, "239.100.100.104");
    EXPECT_TRUE(camera.Video()->StopChannel(0));
}

TEST(VideoMulticast, AMotionJpegStreamLeftAsConfiguredOnlyLooksItsProfileUp)
{
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    ipcapture::IIPVideoCaptureEx2* video = camera.Video();
    SettableStreamRequest request = StreamRequest(kCodecJpeg, 320, 240, 10, 50);
    // The Rec encoder configuration ("1") has a multicast group on this camera.
    {
        // The recorder configures the stream once: its profile exists from then on.
        const HostConfigurationFile multicast(kConfiguredByRecorder);
        ASSERT_TRUE(video->StartStream(0, kRec, &camera.frames, &request));
        ASSERT_TRUE(camera.WaitForFrames(kRec, 2));
        EXPECT_TRUE(video->StopStream(0, kRec));
    }
    const HostConfigurationFile multicast(kLeftAsConfigured);
    camera.ClearRequests();
    ASSERT_TRUE(video->StartStream(0, kRec, &camera.frames, &request));
    const size_t before = camera.FramesOf(kRec).size();
    ASSERT_TRUE(camera.WaitForFrames(kRec, before + 2));
    EXPECT_THAT(camera.SettingsRequests(), ElementsAre("/admin/-set-?el=ig12-4"));
    EXPECT_THAT(camera.OnvifOperations(), ElementsAre("GetCapabilities", "GetProfiles"));
    EXPECT_TRUE(camera.LastDescribed("stream/created1=m").has_value());
    EXPECT_TRUE(video->StopStream(0, kRec));
}

}  // namespace
}  // namespace korvane::test
