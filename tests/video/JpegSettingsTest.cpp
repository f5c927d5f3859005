// Motion JPEG streams through the plug-in: the ONVIF profile of each stream
// role, the encoder configuration written for the request and the stream the
// camera then serves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "support/WaitUntil.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::StartsWith;

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

TEST(VideoJpegSettings, EveryRoleCreatesItsProfileAndConfiguresItsEncoderFromWhatItReadsOrItsDefaults)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
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
}

// A camera type 1 serves the profile streams without the "stream/" prefix.
TEST(VideoJpegSettings, CameraTypeOneRetriesAFailedProfileAndServesTheProfilesPath)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(1));
    ASSERT_TRUE(camera.Open());
    ExpectFailedCallIsRetried(camera, "CreateProfile");
    ExpectRoleConfiguresItsProfile(camera, {kLive, "MLIVE", "2", 640, 480, 25, 60, 480, 3, 2470}, "");
}

// The channel keeps the token of its profile; a new channel looks it up by its name and creates none.
TEST(VideoJpegSettings, CameraTypeThreeRetriesAFailedEncoderCallAndKeepsAndFindsTheProfile)
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
}

}  // namespace
}  // namespace korvane::test
