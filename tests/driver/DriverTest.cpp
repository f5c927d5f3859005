#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "driver/DebugInfo.h"
#include "driver/DeviceInfo.h"
#include "driver/IPVideoCapture.h"
#include "driver/plugin/TallowcamDriver.h"
#include "platform/Process.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"

namespace korvane::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The driver with its host version settable after Open.
class TestableDriver : public CTallowcamDriver {
public:
    using CIPCaptureDriver::SetHostVersion;
};

class DriverTest : public ::testing::Test {
protected:
    bool Open() { return driver.Open(&logSink, &allocator, &params); }

    RecordingLogSink logSink;
    CFrameHost allocator;
    SettableDriverParams params;
    TestableDriver driver;
};

TEST_F(DriverTest, OpenCopiesTheHostsDeviceData)
{
    params.deviceAddress.address = "127.0.0.1";
    params.deviceAddress.port = 8080;
    params.deviceAddress.userName = "admin";
    params.deviceAddress.password = "secret";
    params.deviceAddress.defaultCodec = 1;
    params.captureInfo.model = "VB-M40";
    params.captureInfo.channelCount = 2;
    params.captureInfo.inputCount = 3;
    params.captureInfo.outputCount = 1;
    ASSERT_TRUE(Open());

    const DEVICE_INFO* device = driver.GetDeviceInfo();
    EXPECT_EQ(device->address, "127.0.0.1");
    EXPECT_EQ(device->port, 8080u);
    EXPECT_EQ(device->userName, "admin");
    EXPECT_EQ(device->password, "secret");
    EXPECT_EQ(device->model, "VB-M40");
    EXPECT_EQ(device->requestTimeoutMs, 5000u);
    EXPECT_EQ(device->secondTimeoutMs, 15000u);
    EXPECT_STREQ(driver.GetDeviceName(), "127.0.0.1:8080");
    EXPECT_STREQ(driver.GetDriverName(), "Tallowcam");
    EXPECT_EQ(driver.GetDefaultCodec(), 1u);
    EXPECT_EQ(driver.GetChannelCount(), 2u);
    uint32_t inputs = 0;
    uint32_t outputs = 0;
    driver.GetCaptureValues(inputs, outputs);
    EXPECT_EQ(inputs, 3u);
    EXPECT_EQ(outputs, 1u);
    EXPECT_EQ(driver.GetHostContext(), &allocator);
    EXPECT_EQ(driver.GetHostDirectory(), platform::ExecutableDirectory());
    EXPECT_EQ(driver.GetHostDirectory()[std::string(driver.GetHostDirectory()).size() - 1], '/');
}

TEST_F(DriverTest, OpenCreatesOneVideoCaptureWithTheChannelCount)
{
    params.captureInfo.channelCount = 3;
    ASSERT_TRUE(Open());
    ipcapture::IIPVideoCaptureEx2* capture = driver.GetVideoCaptureEx2();
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->GetChannelCount(), 3u);
    EXPECT_EQ(driver.GetVideoCapture(), static_cast<ipcapture::IIPVideoCapture*>(capture));
    EXPECT_EQ(driver.GetVideoCaptureEx(), static_cast<ipcapture::IIPVideoCaptureEx*>(capture));
    EXPECT_EQ(driver.GetAudioCapture(), nullptr);
    EXPECT_EQ(driver.GetAudioSender(), nullptr);
    EXPECT_EQ(driver.Reserved5(), nullptr);
    EXPECT_EQ(driver.Reserved7(), nullptr);
}

TEST_F(DriverTest, CloseReleasesEverythingAndMayRepeat)
{
    driver.Close();
    params.parameters = {{101, "Count=1; IsStereo=0"}, {102, "Count=1; IsStereo=1"}};
    ASSERT_TRUE(Open());
    ASSERT_NE(driver.GetAudioSender(), nullptr);
    driver.Close();
    EXPECT_EQ(driver.GetVideoCapture(), nullptr);
    EXPECT_EQ(driver.GetAudioCapture(), nullptr);
    EXPECT_EQ(driver.GetAudioSender(), nullptr);
    driver.Close();
    EXPECT_TRUE(Open());
}

TEST_F(DriverTest, NumberedParametersAreReadUpToTheFirstMissingOne)
{
    params.parameters = {{1, "1"}, {2, "Ver. 1.0"}, {4, "00:1e:..."}};
    ASSERT_TRUE(Open());
    EXPECT_THAT(params.AskedIndices(), ElementsAre(1, 2, 3, 101, 102));
    EXPECT_EQ(driver.GetParameterString(2), "Ver. 1.0");
    EXPECT_EQ(driver.GetParameterString(4), "");
    EXPECT_EQ(driver.GetParameterInt(4), kParameterMissing);
}

TEST_F(DriverTest, WithoutParametersTextsAreEmptyAndNumbersMissing)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(driver.GetParameterString(1), "");
    EXPECT_EQ(driver.GetParameterInt(1), kParameterMissing);
    EXPECT_EQ(driver.GetParameter1Value(), 0);
}

TEST_F(DriverTest, ParameterNumbersAreStrictDecimals)
{
    params.parameters = {{1, "+"},   {2, "-"},  {3, "12a"},        {4, ""},           {5, "-7"},
                         {6, "+15"}, {7, "0"},  {8, "2147483647"}, {9, "2147483648"}, {10, " 5"},
                         {11, "(none)"}};
    ASSERT_TRUE(Open());
    EXPECT_EQ(driver.GetParameterInt(1), kParameterMissing);
    EXPECT_EQ(driver.GetParameterInt(2), kParameterMissing);
    EXPECT_EQ(driver.GetParameterInt(3), kParameterMissing);
    EXPECT_EQ(driver.GetParameterInt(4), kParameterMissing);
    EXPECT_EQ(driver.GetParameterInt(5), -7);
    EXPECT_EQ(driver.GetParameterInt(6), 15);
    EXPECT_EQ(driver.GetParameterInt(7), 0);
    EXPECT_EQ(driver.GetParameterInt(8), 2147483647);
    EXPECT_EQ(driver.GetParameterInt(9), kParameterMissing);
    EXPECT_EQ(driver.GetParameterInt(10), kParameterMissing);
    EXPECT_EQ(driver.GetParameterString(11), "");
    EXPECT_EQ(driver.GetParameterInt(11), kParameterMissing);
    EXPECT_EQ(driver.GetParameterString(3), "12a");
}

TEST_F(DriverTest, VideoStandardIsKeptWhenItIsANumber)
{
    params.parameters = {{1, "1"}};
    ASSERT_TRUE(Open());
    EXPECT_EQ(driver.GetParameter1Value(), 1);

    TestableDriver other;
    SettableDriverParams textual;
    textual.parameters = {{1, "PAL"}};
    ASSERT_TRUE(other.Open(nullptr, nullptr, &textual));
    EXPECT_EQ(other.GetParameter1Value(), 0);
}

TEST_F(DriverTest, PtzCapabilitiesComeFromParameterFive)
{
    params.parameters = {{1, "0"}, {2, "fw"}, {3, "2"}, {4, "mac"}, {5, "Pan=1; Tilt=0; Preset=20"}};
    ASSERT_TRUE(Open());
    const CPtzCapabilities* ptz = driver.GetPtzCapabilities();
    EXPECT_TRUE(ptz->m_pan);
    EXPECT_FALSE(ptz->m_tilt);
    EXPECT_EQ(ptz->m_preset, 20u);
}

TEST_F(DriverTest, StreamDefaultsHoldTheHighResolutionCodes)
{
    const CStreamDefaults* defaults = driver.GetStreamDefaults();
    EXPECT_EQ(defaults->m_highResCodes[0], 6u);
    EXPECT_EQ(defaults->m_highResCodes[1], 3u);
    EXPECT_EQ(defaults->m_highResCodes[2], 9u);
    EXPECT_FALSE(defaults->m_recSize.Load().IsKnown());
    EXPECT_FALSE(defaults->m_liveSize.Load().IsKnown());
}

// A parser's thread writes the sizes while a PTZ thread reads them: never half of one size and half of another.
TEST_F(DriverTest, StreamDefaultsSizesAreReadWhole)
{
    CStreamDefaults* defaults = driver.GetStreamDefaults();
    std::thread parser([defaults] {
        for (uint32_t i = 0; i < 20000; ++i)
            defaults->SetPictureSize(i % 2 ? PictureSize{640, 480} : PictureSize{1920, 1080}, "::RecStream");
    });
    for (int i = 0; i < 20000; ++i) {
        const PictureSize size = defaults->GetPictureSize();
        ASSERT_TRUE(size.width * 3 == size.height * 4 || size.width * 9 == size.height * 16) << size.width;
    }
    parser.join();
}

TEST_F(DriverTest, OpenedLineNamesDriverModelFirmwareAndAddress)
{
    params.deviceAddress.port = 8080;
    params.parameters = {{1, "0"}, {2, "Ver. 1.2 (100%)"}};
    ASSERT_TRUE(Open());
    const auto lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text,
              "DRIVER IS OPENED (name: Tallowcam, device model: VB-H43, FW: Ver. 1.2 (100%), address: 127.0.0.1:8080)");
}

TEST_F(DriverTest, OpenedLineLeavesOutAnEmptyFirmware)
{
    params.parameters = {{1, "0"}, {2, "(none)"}};
    ASSERT_TRUE(Open());
    const auto lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "DRIVER IS OPENED (name: Tallowcam, device model: VB-H43, address: 127.0.0.1:80)");
}

TEST_F(DriverTest, NoOpenedLineWithoutModel)
{
    params.captureInfo.model = "";
    ASSERT_TRUE(Open());
    EXPECT_THAT(logSink.LinesContaining("DRIVER IS OPENED"), IsEmpty());
}

struct LevelCase {
    uint16_t major;
    uint16_t minor;
    std::vector<uint8_t> expected;  // for levels 1, 2, 3, 100
};

void PrintTo(const LevelCase& levelCase, std::ostream* out)
{
    *out << "host " << levelCase.major << "." << levelCase.minor;
}

class HostLevelTest : public DriverTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(HostLevelTest, LevelsFollowTheHostVersion)
{
    ASSERT_TRUE(Open());
    driver.SetHostVersion({GetParam().major, GetParam().minor, 9, 9});
    const size_t before = logSink.Lines().size();
    for (uint32_t level : {1u, 2u, 3u, 4u, 100u})
        driver.DebugMessage(level, "%s: level %u", "korvane::Test", level);
    std::vector<uint8_t> levels;
    const auto lines = logSink.Lines();
    for (size_t i = before; i < lines.size(); ++i)
        levels.push_back(lines[i].level);
    EXPECT_EQ(levels, GetParam().expected);
    EXPECT_THAT(logSink.LinesContaining("level 4"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Versions, HostLevelTest,
                         ::testing::Values(LevelCase{5, 11, {1, 2, 2, 2}}, LevelCase{5, 12, {1, 2, 3, 3}},
                                           LevelCase{6, 2, {1, 2, 3, 3}}, LevelCase{6, 3, {1, 2, 3, 100}},
                                           LevelCase{7, 0, {1, 2, 3, 100}}),
                         [](const auto& info) {
                             return "Host" + std::to_string(info.param.major) + "_" + std::to_string(info.param.minor);
                         });

TEST_F(DriverTest, WithoutHostCoreLibraryNotableLinesArriveAsInformation)
{
    ASSERT_TRUE(Open());
    driver.DebugMessage(kLogNotable, "%s", "notable");
    const auto lines = logSink.LinesContaining("notable");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, kLogInfo);
}

TEST_F(DriverTest, MessagesAreFormattedOnce)
{
    ASSERT_TRUE(Open());
    driver.DebugMessage(kLogError, "%s: device %s, %d%%", "korvane::Test", driver.GetDeviceName(), 50);
    driver.DebugMessage(kLogError, "%s", "");
    const auto lines = logSink.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].text, "korvane::Test: device 127.0.0.1:80, 50%");
    EXPECT_EQ(lines.back().text, "");
}

TEST(DebugInfo, CopiesTheLineAndHasNoTextForAnEmptyLine)
{
    std::string line = "line";
    CDebugInfo info(kLogWarning, line);
    line[0] = 'X';
    EXPECT_EQ(info.GetLevel(), 2u);
    EXPECT_STREQ(info.GetText(), "line");
    EXPECT_EQ(CDebugInfo(kLogError, "").GetText(), nullptr);
}

TEST_F(DriverTest, AudioAdaptersFollowParameters101And102)
{
    params.parameters = {{101, "Count=1; IsStereo=0"}};
    ASSERT_TRUE(Open());
    ASSERT_NE(driver.GetAudioCapture(), nullptr);
    EXPECT_EQ(driver.GetAudioSender(), nullptr);
    driver.Close();

    params.parameters = {{101, "Count=0; IsStereo=0"}, {102, "Count=2; IsStereo=0"}};
    ASSERT_TRUE(Open());
    EXPECT_EQ(driver.GetAudioCapture(), nullptr);
    EXPECT_NE(driver.GetAudioSender(), nullptr);
}

TEST_F(DriverTest, OpenFailsWhenAudioIsDescribedButUnusable)
{
    params.parameters = {{101, "two channels"}};
    EXPECT_FALSE(Open());
    driver.Close();

    params.parameters = {{101, "Count=0; IsStereo=0"}, {102, "(none)"}};
    EXPECT_FALSE(Open());
    driver.Close();
}

TEST_F(DriverTest, OpenFailsWithoutParameterObject)
{
    EXPECT_FALSE(driver.Open(&logSink, &allocator, nullptr));
}

TEST_F(DriverTest, VideoChannelsNeedASinkAndTakeTheDefaultCodec)
{
    params.deviceAddress.defaultCodec = 3;
    ASSERT_TRUE(Open());
    CFrameHost sink;
    ChannelSettings settings;
    EXPECT_EQ(driver.CreateVideoChannel(0, nullptr, &settings), nullptr);
    EXPECT_EQ(settings.codec, 0u);

    std::unique_ptr<ICameraChannel> channel(driver.CreateVideoChannel(0, &sink, &settings));
    EXPECT_EQ(settings.codec, 3u);
    settings.codec = 16;
    channel.reset(driver.CreateVideoChannel(0, &sink, &settings));
    EXPECT_EQ(settings.codec, 3u);

    // MPEG-4 has no channel in this driver.
    settings.codec = 2;
    EXPECT_EQ(driver.CreateVideoChannel(0, &sink, &settings), nullptr);
    EXPECT_EQ(settings.codec, 2u);
    EXPECT_EQ(driver.CreateEdgeMonitor(), nullptr);
}

}  // namespace
}  // namespace korvane::test
