// Multicast streams through the plug-in: the camera's multicast address of
// the stream is checked first, then the stream is configured (or left as the
// camera has it) and received from the announced group.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/StringFormat.h"
#include "support/WaitUntil.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;

constexpr char kConfiguredByRecorder[] = "<StreamingMode>multicast primary</StreamingMode>";
constexpr char kLeftAsConfigured[] = "<StreamingMode>multicast</StreamingMode>";

// H.264 at 640x480, 10 frames per second (code 2) and quality 50 (bit-rate code 13).
TEST(VideoMulticast, EachRoleChecksItsAddressConfiguresAndReceivesTheGroup)
{
    const HostConfigurationFile multicast(kConfiguredByRecorder);
    VideoCamera camera(CameraOfType(3));
    ASSERT_TRUE(camera.Open());
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

TEST(VideoMulticast, ACameraLeftAsConfiguredOrWithoutTheAddressOfItsStream)
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
                ::testing::Each(::testing::AnyOf("/admin/-set-?el=ig12-4", "/admin/-set-?el=ig12-3")));
    EXPECT_TRUE(camera.OnvifOperations().empty()) << "the Motion JPEG stream is not configured either";
    EXPECT_EQ(camera.RtspRequests(), rtspRequests);
    // Once the camera has the address, the next attempt streams.
    camera.camera.Model().SetSetting("ig12-4", "239.100.100.104");
    EXPECT_TRUE(camera.WaitForFrames(kRec, frames + 2));
    EXPECT_EQ(camera.FramesOf(kLive).size(), 0u);
    EXPECT_TRUE(video.StopChannel(0));
}

}  // namespace
}  // namespace korvane::test
