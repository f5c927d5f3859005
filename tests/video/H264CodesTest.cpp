// The codes an H.264 stream request turns into: bit rate or quality level,
// resolution and frame rate, the bit-rate modes of the configuration file and
// the frame-rate limit of a camera that runs two streams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/StringFormat.h"
#include "video/CameraCodes.h"
#include "video/VideoTestSupport.h"

namespace korvane::test {
namespace {

// Starts a stream with the request, returns the settings requests its
// configuration sent and stops the stream again.
std::vector<std::string> RequestsOfStream(VideoCamera& camera, uint32_t role, SettableStreamRequest request,
                                          size_t expectedCount = 1)
{
    camera.ClearRequests();
    ipcapture::IIPVideoCaptureEx2* video = camera.Video();
    EXPECT_TRUE(video->StartStream(0, role, &camera.frames, &request));
    EXPECT_TRUE(camera.WaitForSettingsRequests(expectedCount));
    video->StopStream(0, role);
    return camera.SettingsRequests();
}

std::string LastOf(const std::vector<std::string>& requests)
{
    return requests.empty() ? std::string() : requests.back();
}

struct RateCase {
    uint32_t quality;
    uint32_t frameRateValue;  // as the host sends it
    uint32_t framesPerSecond;
};

// Rates as frames per second (0x7000 + rate), as milliseconds between frames, and 0.
const RateCase kRateCases[] = {
    {1, 0x7000 + 30, 30}, {2, 0x7000 + 25, 25}, {20, 0x7000 + 24, 24}, {21, 0x7000 + 15, 15}, {40, 0x7000 + 14, 14},
    {41, 0x7000 + 11, 11}, {50, 0x7000 + 10, 10}, {60, 0x7000 + 9, 9}, {61, 0x7000 + 6, 6}, {80, 0x7000 + 5, 5},
    {81, 0x7000 + 4, 4}, {99, 0x7000 + 3, 3}, {100, 0x7000 + 2, 2}, {10, 0x7000 + 1, 1}, {30, 200, 5},
    {70, 67, 15}, {90, 40, 25}, {45, 0, 1}, {55, 333, 3},
};

void ExpectRateAndBitrateCodes(uint32_t cameraType, const std::string& tail)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(cameraType));
    ASSERT_TRUE(camera.Open());
    const uint32_t n = 0;
    for (const RateCase& c : kRateCases) {
        SCOPED_TRACE(FormatString("type %u, quality %u, frame-rate value %u", cameraType, c.quality, c.frameRateValue));
        SettableStreamRequest request = StreamRequest(kCodecH264, 1280, 720, 0, c.quality);
        request.rate.frameRate = c.frameRateValue;
        EXPECT_EQ(LastOf(RequestsOfStream(camera, kRec, request, cameraType == 3 ? 2 : 1)),
                  FormatString("/admin/-set-?em=2&pt=8%s&dh00-%u=1&dh02-%u=%u&dh03-%u=9&dh04-%u=%u%s",
                               cameraType == 3 ? "&ig10-4=4" : "", n, n, ExpectedBitrateCode(cameraType, c.quality),
                               n, n, ExpectedFrameRateCode(cameraType, c.framesPerSecond), tail.c_str()));
    }
}

TEST(VideoH264Codes, BitrateAndFrameRateCodesOfCameraTypeOne)
{
    ExpectRateAndBitrateCodes(1, "");
}

TEST(VideoH264Codes, BitrateAndFrameRateCodesOfCameraTypeTwo)
{
    ExpectRateAndBitrateCodes(2, "&dh05=1");
}

TEST(VideoH264Codes, BitrateAndFrameRateCodesOfCameraTypeThree)
{
    ExpectRateAndBitrateCodes(3, "&dh05-0=1");
}

TEST(VideoH264Codes, ResolutionCodesAndTheSmallestSizeOfCameraTypeTwo)
{
    const HostConfigurationFile interleaved(kInterleaved);
    for (uint32_t cameraType : {1u, 2u}) {
        VideoCamera camera(CameraOfType(cameraType));
        ASSERT_TRUE(camera.Open());
        const std::pair<uint32_t, uint32_t> sizes[] = {{320, 240}, {320, 180}, {480, 270}, {640, 480}, {640, 360},
                                                       {960, 540}, {1280, 960}, {1280, 720}, {1920, 1080}};
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(FormatString("type %u, %ux%u", cameraType, width, height));
            const std::string request =
                LastOf(RequestsOfStream(camera, kLive, StreamRequest(kCodecH264, width, height, 30, 50)));
            // Camera type 2 streams no picture narrower than 480x270.
            const uint32_t code = cameraType == 2 && width < 480 ? ExpectedResolutionCode(480, 270)
                                                                 : ExpectedResolutionCode(width, height);
            EXPECT_NE(request.find(FormatString("&dh03-0=%u&", code)), std::string::npos) << request;
        }
    }
}

TEST(VideoH264Codes, VariableBitrateWritesTheQualityLevelOfTheCamerasSteps)
{
    const HostConfigurationFile vbr("<Default><RTPMode>RTPoverRTSP</RTPMode><BitrateMode>VBR</BitrateMode></Default>");
    struct StepsCase {
        uint32_t cameraSteps;        // what the capability query reads from the camera
        const char* parameter;       // parameter 7 handed to the driver; null: as the query reported it
        uint32_t levels;             // the steps the driver works with
    };
    // Parameter 7 outside 1..100 (or empty) leaves the default of 5 steps.
    const StepsCase cases[] = {{5, nullptr, 5}, {10, nullptr, 10}, {3, nullptr, 3}, {10, "0", 5},
                               {10, "101", 5}, {10, "(none)", 5}, {10, "100", 100}};
    for (const StepsCase& c : cases) {
        SCOPED_TRACE(FormatString("%u steps, parameter 7 %s", c.cameraSteps, c.parameter ? c.parameter : "probed"));
        camsim::CameraOptions options = CameraOfType(2);
        options.model.maxQuality = c.cameraSteps;
        VideoCamera camera(options);
        std::map<uint32_t, std::string> overrides;
        if (c.parameter != nullptr)
            overrides[7] = c.parameter;
        ASSERT_TRUE(camera.Open(overrides));
        EXPECT_EQ(camera.probedParameters[7], std::to_string(c.cameraSteps));
        for (uint32_t quality : {1u, 20u, 21u, 59u, 100u}) {
            EXPECT_EQ(LastOf(RequestsOfStream(camera, kRec, StreamRequest(kCodecH264, 640, 480, 30, quality))),
                      FormatString("/admin/-set-?em=2&pt=8&dh00-0=0&dh01-0=%u&dh03-0=2&dh04-0=0&dh05=1",
                                   ExpectedQualityLevel(quality, c.levels)))
                << "quality " << quality;
        }
    }
}

TEST(VideoH264Codes, BitrateModeOffLeavesBitrateAndQualityAlone)
{
    const HostConfigurationFile off("<Default><RTPMode>RTPoverRTSP</RTPMode><BitrateMode>OFF</BitrateMode></Default>");
    VideoCamera camera(CameraOfType(3));
    ASSERT_TRUE(camera.Open());
    EXPECT_EQ(LastOf(RequestsOfStream(camera, kRec, StreamRequest(kCodecH264, 640, 480, 15, 70), 2)),
              "/admin/-set-?em=2&pt=8&ig10-4=4&dh03-0=2&dh04-0=1&dh05-0=1");
}

struct TwoStreamCase {
    const char* what;
    std::map<std::string, std::string> cameraSettings;
    uint32_t role;
    uint32_t width, height, framesPerSecond;
    std::string write;
};

TEST(VideoH264Codes, HighResolutionsLimitBothStreamsOfATwoStreamCamera)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(3));
    ASSERT_TRUE(camera.Open());
    const std::string b0 = FormatString("&dh00-0=1&dh02-0=%u", ExpectedBitrateCode(3, 50));
    const std::string b1 = FormatString("&dh00-1=1&dh02-1=%u", ExpectedBitrateCode(3, 50));
    const std::string start = "/admin/-set-?em=2&pt=8";
    const TwoStreamCase cases[] = {
        {"Live beside a 1920x1080 stream at the top rate",
         {{"dh10", "2"}, {"dh03-0", "6"}, {"dh04-0", "0"}}, kLive, 1280, 720, 25,
         start + "&ig10-3=5&dh04-0=1" + b1 + "&dh03-1=9&dh04-1=1&dh05-1=1"},
        {"Live beside a 1920x1080 stream already limited",
         {{"dh10", "2"}, {"dh03-0", "6"}, {"dh04-0", "1"}}, kLive, 640, 480, 30,
         start + "&ig10-3=5" + b1 + "&dh03-1=2&dh04-1=1&dh05-1=1"},
        {"a slow Live stream keeps its rate, the other is still lowered",
         {{"dh10", "2"}, {"dh03-0", "6"}, {"dh04-0", "0"}}, kLive, 640, 480, 10,
         start + "&ig10-3=5&dh04-0=1" + b1 + "&dh03-1=2&dh04-1=2&dh05-1=1"},
        {"Live beside a 640x480 stream",
         {{"dh10", "2"}, {"dh03-0", "2"}, {"dh04-0", "0"}}, kLive, 1280, 720, 30,
         start + "&ig10-3=5" + b1 + "&dh03-1=9&dh04-1=0&dh05-1=1"},
        {"1920x1080 Rec beside a 640x480 Live stream",
         {{"dh10", "2"}, {"dh03-1", "2"}, {"dh04-1", "0"}}, kRec, 1920, 1080, 25,
         start + "&dh04-1=1&ig10-4=4" + b0 + "&dh03-0=6&dh04-0=1&dh05-0=1"},
        {"1280x720 Rec beside a 1280x720 Live stream",
         {{"dh10", "2"}, {"dh03-1", "9"}, {"dh04-1", "0"}}, kRemote, 1280, 720, 30,
         start + "&dh04-1=1&ig10-4=4" + b0 + "&dh03-0=9&dh04-0=1&dh05-0=1"},
        {"1280x960 Rec beside a 1280x960 Live stream",
         {{"dh10", "2"}, {"dh03-1", "3"}, {"dh04-1", "2"}}, kRec, 1280, 960, 30,
         start + "&ig10-4=4" + b0 + "&dh03-0=3&dh04-0=1&dh05-0=1"},
        {"1280x720 Rec beside a 1280x960 Live stream",
         {{"dh10", "2"}, {"dh03-1", "3"}, {"dh04-1", "0"}}, kRec, 1280, 720, 30,
         start + "&ig10-4=4" + b0 + "&dh03-0=9&dh04-0=0&dh05-0=1"},
        {"1920x1080 Rec on a camera in one-stream mode",
         {{"dh10", "1"}, {"dh03-1", "6"}, {"dh04-1", "0"}}, kRec, 1920, 1080, 30,
         start + "&ig10-4=4" + b0 + "&dh03-0=6&dh04-0=0&dh05-0=1"},
    };
    for (const TwoStreamCase& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& [key, value] : c.cameraSettings)
            camera.camera.Model().SetSetting(key, value);
        EXPECT_EQ(LastOf(RequestsOfStream(camera, c.role,
                                          StreamRequest(kCodecH264, c.width, c.height, c.framesPerSecond, 50), 2)),
                  c.write);
    }
}

TEST(VideoH264Codes, ARejectedSettingStartsNoStreamAndIsTriedAgain)
{
    const HostConfigurationFile interleaved(kInterleaved);
    VideoCamera camera(CameraOfType(2));
    ASSERT_TRUE(camera.Open());
    camera.camera.Model().RemoveSetting("dh05");  // the reply then says SettingError
    SettableStreamRequest request = StreamRequest(kCodecH264, 640, 480, 30, 50);
    ASSERT_TRUE(camera.Video()->StartChannel(0, &camera.frames, &request));
    ASSERT_TRUE(camera.WaitForSettingsRequests(2)) << "the channel tries again";
    EXPECT_TRUE(camera.camera.Rtsp().Recorder().Requests().empty()) << "no session without the settings";
    uint32_t state = 99, extra = 99;
    EXPECT_TRUE(camera.Video()->GetChannelState(0, &state, &extra, nullptr, 0));
    EXPECT_NE(state, 0u) << "not streaming";

    camera.camera.Model().SetSetting("dh05", "0");
    ASSERT_TRUE(camera.WaitForFrames(kRec, 1)) << "the next attempt streams";
    EXPECT_EQ(camera.camera.Model().Setting("dh05"), "1");
    EXPECT_TRUE(camera.Video()->StopChannel(0));
}

}  // namespace
}  // namespace korvane::test
