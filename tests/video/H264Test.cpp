// H.264 streams through the plug-in, one camera of each type: the settings
// each stream role writes into the camera and the stream the camera then
// serves; the codes a request turns into (bit rate or quality level,
// resolution, frame rate), the bit-rate modes of the configuration file and the
// frame-rate limit of a camera that runs two streams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>

#include "runtime/StringFormat.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAreArray;

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

// Starts each role's stream in turn and checks the requests, the path and the frames.
void ExpectRolesStream(VideoCamera& camera, uint32_t cameraType, const std::vector<RoleExpectation>& roles)
{
    EXPECT_EQ(camera.probedParameters[3], std::to_string(cameraType)) << "the query's camera type";
    for (const RoleExpectation& expected : roles) {
        SCOPED_TRACE(RoleName(expected.role));
        camera.ClearRequests();
        ASSERT_TRUE(camera.StartStream(expected.role, StreamRequest(kCodecH264, 640, 480, 25, 60)));
        ASSERT_TRUE(camera.WaitForFrames(expected.role, 3));
        EXPECT_THAT(camera.SettingsRequests(), ElementsAreArray(expected.requests));

        const camsim::StreamDescription served = camera.LastDescribed(expected.path);
        EXPECT_EQ(std::tie(served.path, served.codec, served.width, served.height),
                  std::make_tuple(expected.path, camsim::MediaCodec::H264, 640u, 480u));

        const std::vector<DeliveredFrame> frames = camera.FramesOf(expected.role);
        EXPECT_EQ(frames[0].fourCC, kFourCCH264) << "the stream starts with a key frame";
        for (const DeliveredFrame& frame : frames) {
            EXPECT_TRUE(frame.fourCC == kFourCCH264 || frame.fourCC == kFourCCH264Delta) << frame.fourCC;
            EXPECT_FALSE(frame.bytes.empty());
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

TEST(VideoH264, CameraTypeOneConfiguresStreamZeroForEveryRoleAndRequest)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(1));
    ASSERT_TRUE(camera.Open());
    const std::string write = "/admin/-set-?em=2&pt=8" + kStreamZeroKeys;
    const char* path = "profile1=u";
    ExpectRolesStream(camera, 1, {{kRec, {write}, path}, {kLive, {write}, path}, {kRemote, {write}, path}});
    ExpectRateAndBitrateCodes(camera, 1, "");
    ExpectResolutionCodes(camera, 1);
}

TEST(VideoH264, CameraTypeTwoConfiguresStreamZeroForEveryRoleAndRequestAndRetriesARejectedSetting)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
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
    ASSERT_TRUE(camera.WaitForFrames(kRec, frames + 1)) << "the next attempt streams";
    EXPECT_EQ(camera.camera.Model().Setting("dh05"), "1");
    EXPECT_TRUE(camera.Video().StopChannel(0));
}

struct TwoStreamCase {
    const char* what;
    std::map<std::string, std::string> cameraSettings;
    uint32_t role, width, height, framesPerSecond;
    std::string write;
};

// Live takes the second stream and switches the camera to two streams; high
// resolutions then limit the frame rate of both.
TEST(VideoH264, CameraTypeThreeGivesLiveTheSecondStreamAndLimitsTwoStreamsAtHighResolutions)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(3));
    ASSERT_TRUE(camera.Open());
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

    const std::string b0 = "&dh00-0=1&dh02-0=13", b1 = "&dh00-1=1&dh02-1=13";  // quality 50: 8192 kbit/s
    const TwoStreamCase cases[] = {
        {"Live beside a 1920x1080 stream at the top rate", {{"dh10", "2"}, {"dh03-0", "6"}, {"dh04-0", "0"}},
         kLive, 1280, 720, 25, start + "&ig10-3=5&dh04-0=1" + b1 + "&dh03-1=9&dh04-1=1&dh05-1=1"},
        {"Live beside a 1920x1080 stream already limited", {{"dh10", "2"}, {"dh03-0", "6"}, {"dh04-0", "1"}},
         kLive, 640, 480, 30, start + "&ig10-3=5" + b1 + "&dh03-1=2&dh04-1=1&dh05-1=1"},
        {"a slow Live stream keeps its rate, the other is still lowered",
         {{"dh10", "2"}, {"dh03-0", "6"}, {"dh04-0", "0"}}, kLive, 640, 480, 10,
         start + "&ig10-3=5&dh04-0=1" + b1 + "&dh03-1=2&dh04-1=2&dh05-1=1"},
        {"Live beside a 640x480 stream", {{"dh10", "2"}, {"dh03-0", "2"}, {"dh04-0", "0"}},
         kLive, 1280, 720, 30, start + "&ig10-3=5" + b1 + "&dh03-1=9&dh04-1=0&dh05-1=1"},
        {"1920x1080 Rec beside a 640x480 Live stream", {{"dh10", "2"}, {"dh03-1", "2"}, {"dh04-1", "0"}},
         kRec, 1920, 1080, 25, start + "&dh04-1=1&ig10-4=4" + b0 + "&dh03-0=6&dh04-0=1&dh05-0=1"},
        {"1280x720 Rec beside a 1280x720 Live stream", {{"dh10", "2"}, {"dh03-1", "9"}, {"dh04-1", "0"}},
         kRemote, 1280, 720, 30, start + "&dh04-1=1&ig10-4=4" + b0 + "&dh03-0=9&dh04-0=1&dh05-0=1"},
        {"1280x960 Rec beside a 1280x960 Live stream", {{"dh10", "2"}, {"dh03-1", "3"}, {"dh04-1", "2"}},
         kRec, 1280, 960, 30, start + "&ig10-4=4" + b0 + "&dh03-0=3&dh04-0=1&dh05-0=1"},
        {"1280x720 Rec beside a 1280x960 Live stream", {{"dh10", "2"}, {"dh03-1", "3"}, {"dh04-1", "0"}},
         kRec, 1280, 720, 30, start + "&ig10-4=4" + b0 + "&dh03-0=9&dh04-0=0&dh05-0=1"},
        {"1920x1080 Rec on a camera in one-stream mode", {{"dh10", "1"}, {"dh03-1", "6"}, {"dh04-1", "0"}},
         kRec, 1920, 1080, 30, start + "&ig10-4=4" + b0 + "&dh03-0=6&dh04-0=0&dh05-0=1"},
    };
    for (const TwoStreamCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& [key, value] : c.cameraSettings)
            camera.camera.Model().SetSetting(key, value);
        EXPECT_EQ(camera.LastSettingsOfStream(
                      c.role, StreamRequest(kCodecH264, c.width, c.height, c.framesPerSecond, 50), 2),
                  c.write);
    }

    // Bit-rate mode OFF leaves bit rate and quality alone.
    const HostConfigurationFile off("<Default><RTPMode>RTPoverRTSP</RTPMode><BitrateMode>OFF</BitrateMode></Default>");
    EXPECT_EQ(camera.LastSettingsOfStream(kRec, StreamRequest(kCodecH264, 640, 480, 15, 70), 2),
              start + "&ig10-4=4&dh03-0=2&dh04-0=1&dh05-0=1");
}

TEST(VideoH264, VariableBitrateWritesTheQualityLevelOfTheCamerasSteps)
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
