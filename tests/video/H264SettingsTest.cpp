// H.264 streams through the plug-in: the settings each camera type and stream
// role writes into the camera, and the stream the camera then serves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/StringFormat.h"
#include "video/CameraCodes.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr uint32_t kQuality = 60;

// The bit-rate and picture keys of camera stream n, as every unicast H.264 request ends.
std::string StreamKeys(uint32_t cameraType, uint32_t n, uint32_t width, uint32_t height, uint32_t rate,
                       uint32_t quality = kQuality)
{
    return FormatString("&dh00-%u=1&dh02-%u=%u&dh03-%u=%u&dh04-%u=%u", n, n, ExpectedBitrateCode(cameraType, quality), n,
                        ExpectedResolutionCode(width, height), n, ExpectedFrameRateCode(cameraType, rate));
}

struct RoleExpectation {
    uint32_t role;
    std::vector<std::string> requests;
    std::string path;
};

// Starts each role's stream in turn on a fresh camera of the type and checks
// the requests, the path and the frames.
void ExpectRolesStream(uint32_t cameraType, const std::vector<RoleExpectation>& roles)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(cameraType));
    ASSERT_TRUE(camera.Open());
    EXPECT_EQ(camera.probedParameters[3], std::to_string(cameraType)) << "the query's camera type";
    ipcapture::IIPVideoCaptureEx2* video = camera.Video();
    for (const RoleExpectation& expected : roles) {
        SCOPED_TRACE(RoleName(expected.role));
        SettableStreamRequest request = StreamRequest(kCodecH264, 640, 480, 25, kQuality);
        ASSERT_TRUE(video->StartStream(0, expected.role, &camera.frames, &request));
        ASSERT_TRUE(camera.WaitForFrames(expected.role, 3));
        EXPECT_THAT(camera.SettingsRequests(), ElementsAreArray(expected.requests));

        const auto described = camera.LastDescribed(expected.path);
        ASSERT_TRUE(described.has_value()) << "nothing served on " << expected.path;
        EXPECT_EQ(described->path, expected.path);
        EXPECT_EQ(described->codec, camsim::MediaCodec::H264);
        EXPECT_EQ(described->width, 640u);
        EXPECT_EQ(described->height, 480u);

        const std::vector<DeliveredFrame> frames = camera.FramesOf(expected.role);
        EXPECT_EQ(frames[0].fourCC, kFourCCH264) << "the stream starts with a key frame";
        for (const DeliveredFrame& frame : frames) {
            EXPECT_TRUE(frame.fourCC == kFourCCH264 || frame.fourCC == kFourCCH264Delta) << frame.fourCC;
            EXPECT_FALSE(frame.bytes.empty());
        }
        EXPECT_TRUE(video->StopStream(0, expected.role));
        camera.ClearRequests();
    }
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
}

TEST(VideoH264Settings, CameraTypeOneConfiguresStreamZeroForEveryRole)
{
    const std::string write = "/admin/-set-?em=2&pt=8" + StreamKeys(1, 0, 640, 480, 25);
    ExpectRolesStream(1, {{kRec, {write}, "profile1=u"}, {kLive, {write}, "profile1=u"}, {kRemote, {write}, "profile1=u"}});
}

TEST(VideoH264Settings, CameraTypeTwoConfiguresStreamZeroForEveryRole)
{
    const std::string write = "/admin/-set-?em=2&pt=8" + StreamKeys(2, 0, 640, 480, 25) + "&dh05=1";
    const char* path = "stream/profile1=u";
    ExpectRolesStream(2, {{kRec, {write}, path}, {kLive, {write}, path}, {kRemote, {write}, path}});
}

TEST(VideoH264Settings, CameraTypeThreeGivesLiveTheSecondStreamAndSwitchesToTwoStreams)
{
    const std::string mainStream = "/admin/-set-?em=2&pt=8&ig10-4=4" + StreamKeys(3, 0, 640, 480, 25) + "&dh05-0=1";
    const std::string readSecond = "/admin/-set-?el=dh10&el=dh03-1&el=dh04-1";
    // The camera starts in one-stream mode: Live is configured, then the camera switched.
    ExpectRolesStream(3, {{kRec, {readSecond, mainStream}, "rtpstream/config5=u"},
                          {kLive,
                           {"/admin/-set-?el=dh10&el=dh03-0&el=dh04-0",
                            "/admin/-set-?em=2&pt=8" + StreamKeys(3, 1, 640, 480, 25) + "&dh05-1=1",
                            "/admin/-set-?em=2&pt=8&dh10=2", "/admin/-set-?em=2&pt=8&ig10-3=5"},
                           "rtpstream/config4=u"},
                          {kRemote, {readSecond, mainStream}, "rtpstream/config5=u"}});
}

}  // namespace
}  // namespace korvane::test
