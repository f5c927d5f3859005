// Motion JPEG streams through the plug-in: the ONVIF profile of each stream
// role, the encoder configuration written for the request and the stream the
// camera then serves.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "runtime/StringFormat.h"
#include "support/WaitUntil.h"
#include "video/CameraCodes.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;

std::optional<camsim::OnvifProfile> ProfileNamed(const std::vector<camsim::OnvifProfile>& profiles,
                                                 const std::string& name)
{
    for (const camsim::OnvifProfile& profile : profiles)
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
    uint32_t setHeight;  // the height a multiple of 8
};

void ExpectRoleConfiguresItsProfile(VideoCamera& camera, const JpegRole& c, const std::string& pathPrefix)
{
    SCOPED_TRACE(RoleName(c.role));
    camera.ClearRequests();
    SettableStreamRequest request = StreamRequest(kCodecJpeg, c.width, c.height, c.framesPerSecond, c.quality);
    ASSERT_TRUE(camera.Video()->StartStream(0, c.role, &camera.frames, &request));
    ASSERT_TRUE(camera.WaitForFrames(c.role, 2));
    EXPECT_THAT(camera.OnvifOperations(),
                ElementsAre("GetCapabilities", "GetProfiles", "GetProfile", "CreateProfile", "AddVideoSourceConfiguration",
                            "GetVideoEncoderConfiguration", "SetVideoEncoderConfiguration",
                            "AddVideoEncoderConfiguration"));
    EXPECT_TRUE(camera.SettingsWrites().empty()) << "Motion JPEG goes over ONVIF only";

    const auto profile = ProfileNamed(camera.camera.Onvif().Profiles(), c.profileName);
    ASSERT_TRUE(profile.has_value()) << c.profileName;
    EXPECT_EQ(profile->videoSourceToken, "vsc0") << "profile0's video source";
    EXPECT_EQ(profile->encoderToken, c.encoderToken);

    const camsim::OnvifEncoderConfiguration encoder = Encoder(camera, c.encoderToken);
    EXPECT_EQ(encoder.name, std::string("jpeg") + c.encoderToken);
    EXPECT_EQ(encoder.useCount, 1u);
    EXPECT_EQ(encoder.encoding, "JPEG");
    EXPECT_EQ(encoder.width, c.width);
    EXPECT_EQ(encoder.height, c.setHeight);
    EXPECT_EQ(std::atof(encoder.quality.c_str()), ExpectedQualityLevel(c.quality, 5)) << encoder.quality;
    EXPECT_EQ(encoder.frameRateLimit, c.framesPerSecond);
    EXPECT_EQ(encoder.encodingInterval, 1u);
    EXPECT_EQ(encoder.bitrateLimit, ExpectedJpegBitrateLimit(c.quality));
    EXPECT_EQ(encoder.sessionTimeout, "PT1M0S");

    const std::string path = pathPrefix + profile->token + "=u";
    const auto described = camera.LastDescribed(path);
    ASSERT_TRUE(described.has_value()) << "nothing served on " << path;
    EXPECT_EQ(described->path, path);
    EXPECT_EQ(described->codec, camsim::MediaCodec::Jpeg);
    EXPECT_EQ(described->width, c.width);
    EXPECT_EQ(described->height, c.setHeight);
    EXPECT_EQ(described->framesPerSecond, c.framesPerSecond);

    for (const DeliveredFrame& frame : camera.FramesOf(c.role)) {
        EXPECT_EQ(frame.fourCC, kFourCCJpeg);
        ASSERT_GE(frame.bytes.size(), 4u);
        EXPECT_EQ(frame.bytes[0], 0xFF);
        EXPECT_EQ(frame.bytes[1], 0xD8) << "a whole JPEG picture";
    }
    EXPECT_TRUE(camera.Video()->StopStream(0, c.role));
}

TEST(VideoJpegSettings, EveryRoleCreatesItsProfileFromProfileZeroAndConfiguresItsEncoder)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    for (const JpegRole& role : {JpegRole{kRec, "MREC", "1", 640, 480, 10, 100, 480},
                                 JpegRole{kLive, "MLIVE", "2", 480, 270, 15, 1, 272},
                                 JpegRole{kRemote, "MREMOTE", "3", 320, 180, 5, 47, 184}})
        ExpectRoleConfiguresItsProfile(camera, role, "stream/");
    EXPECT_EQ(camera.frames.OutstandingFrames(), 0u);
}

TEST(VideoJpegSettings, ThePathOfEachCameraType)
{
    const HostConfigurationFile interleaved(kInterleaved);
    for (const auto& [cameraType, prefix] : {std::pair<uint32_t, const char*>{1, ""}, {3, "stream/"}}) {
        SCOPED_TRACE(FormatString("camera type %u", cameraType));
        VideoCamera camera(CameraOfType(cameraType));
        ASSERT_TRUE(camera.Open());
        ExpectRoleConfiguresItsProfile(camera, {kLive, "MLIVE", "2", 640, 480, 25, 60, 480}, prefix);
    }
}

TEST(VideoJpegSettings, TheChannelKeepsItsProfileAndANewChannelFindsIt)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    ipcapture::IIPVideoCaptureEx2* video = camera.Video();
    SettableStreamRequest request = StreamRequest(kCodecJpeg, 320, 240, 25, 30);
    ASSERT_TRUE(video->StartChannel(0, &camera.frames, &request));
    ASSERT_TRUE(camera.WaitForFrames(kRec, 1));
    const auto created = ProfileNamed(camera.camera.Onvif().Profiles(), "MREC");
    ASSERT_TRUE(created.has_value());
    const std::string token = created->token;

    camera.ClearRequests();
    SettableResolution larger;
    larger.width = 640;
    larger.height = 360;
    ASSERT_TRUE(video->ChangeChannel(0, &larger, 0x7000 + 5));
    EXPECT_THAT(camera.OnvifOperations(), ElementsAre("GetCapabilities", "GetVideoEncoderConfiguration",
                                                      "SetVideoEncoderConfiguration", "AddVideoEncoderConfiguration"))
        << "the stored profile token is used without asking the camera";
    camsim::OnvifEncoderConfiguration encoder = Encoder(camera, "1");
    EXPECT_EQ(encoder.width, 640u);
    EXPECT_EQ(encoder.height, 360u);
    EXPECT_EQ(encoder.frameRateLimit, 5u);
    EXPECT_EQ(std::atof(encoder.quality.c_str()), ExpectedQualityLevel(30, 5)) << "the quality stays";
    EXPECT_EQ(encoder.bitrateLimit, ExpectedJpegBitrateLimit(30));

    // A new channel object looks the profile up by its name and creates none.
    camera.ClearRequests();
    ASSERT_TRUE(video->StartChannel(0, &camera.frames, &request));
    ASSERT_TRUE(WaitUntil([&] { return camera.OnvifOperations().size() >= 5; }, kStreamWaitMs));
    EXPECT_THAT(camera.OnvifOperations(),
                ElementsAre("GetCapabilities", "GetProfiles", "GetVideoEncoderConfiguration",
                            "SetVideoEncoderConfiguration", "AddVideoEncoderConfiguration"));
    EXPECT_EQ(camera.camera.Onvif().Profiles().size(), 3u) << "profile0, profile1 and MREC";
    const size_t before = camera.FramesOf(kRec).size();
    EXPECT_TRUE(camera.WaitForFrames(kRec, before + 2));
    EXPECT_EQ(camera.LastDescribed("=u")->path, "stream/" + token + "=u");
    EXPECT_TRUE(video->StopChannel(0));
}

TEST(VideoJpegSettings, AnUnreadableEncoderConfigurationStartsFromTheRolesMulticastDefaults)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    camera.camera.Onvif().FailOperation("GetVideoEncoderConfiguration", camsim::OnvifFault{});
    struct Defaults {
        uint32_t role;
        const char* token;
        const char* group;
    };
    for (const Defaults& d : {Defaults{kRec, "1", "239.100.100.100"}, Defaults{kLive, "2", "239.110.100.100"},
                              Defaults{kRemote, "3", "239.120.100.100"}}) {
        SCOPED_TRACE(RoleName(d.role));
        SettableStreamRequest request = StreamRequest(kCodecJpeg, 320, 240, 10, 50);
        ASSERT_TRUE(camera.Video()->StartStream(0, d.role, &camera.frames, &request));
        ASSERT_TRUE(camera.WaitForFrames(d.role, 1)) << "a failed read does not stop the configuration";
        const camsim::OnvifEncoderConfiguration encoder = Encoder(camera, d.token);
        EXPECT_EQ(encoder.multicastAddress, d.group);
        EXPECT_EQ(encoder.multicastPort, 6000u);
        EXPECT_EQ(encoder.multicastTtl, 5u);
        EXPECT_EQ(encoder.autoStart, "false");
        EXPECT_EQ(encoder.encoding, "JPEG");
        EXPECT_TRUE(camera.Video()->StopStream(0, d.role));
    }
}

TEST(VideoJpegSettings, AFailedProfileOrEncoderCallStartsNoStreamAndIsTriedAgain)
{
    const HostConfigurationFile interleaved(kInterleaved);
    for (const char* operation : {"CreateProfile", "SetVideoEncoderConfiguration"}) {
        SCOPED_TRACE(operation);
        VideoCamera camera(CameraOfType(2));
        ASSERT_TRUE(camera.Open());
        camera.camera.Onvif().FailOperation(operation, camsim::OnvifFault{});
        const auto attempts = [&] {
            size_t count = 0;
            for (const std::string& called : camera.OnvifOperations())
                count += called == operation ? 1 : 0;
            return count;
        };
        SettableStreamRequest request = StreamRequest(kCodecJpeg, 320, 240, 10, 50);
        ASSERT_TRUE(camera.Video()->StartChannel(0, &camera.frames, &request));
        ASSERT_TRUE(WaitUntil([&] { return attempts() >= 2; }, kStreamWaitMs)) << "the channel tries again";
        EXPECT_TRUE(camera.camera.Rtsp().Recorder().Requests().empty());
        const auto lines = camera.logSink.LinesContaining("korvane::CJpegChannelRTSP::ApplyParams: Unable to configure "
                                                          "the Motion JPEG stream on device 127.0.0.1:");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].level, 1u);
        EXPECT_NE(lines[0].text.find(". HTTP status code: 400"), std::string::npos) << lines[0].text;
        const std::vector<std::string> operations = camera.OnvifOperations();
        EXPECT_EQ(std::count(operations.begin(), operations.end(), "AddVideoEncoderConfiguration"), 0);
        EXPECT_TRUE(camera.Video()->StopChannel(0));
        EXPECT_EQ(camera.frames.FrameCount(), 0u);
    }
}

}  // namespace
}  // namespace korvane::test
