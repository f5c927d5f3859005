#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <thread>
#include <tuple>

#include "driver/DeviceInfo.h"
#include "driver/IPVideoCapture.h"
#include "driver/plugin/TallowcamDriver.h"
#include "platform/DynamicLibrary.h"
#include "platform/Process.h"
#include "support/DriverHost.h"
#include "support/FrameHost.h"
#include "support/LogEntries.h"
#include "tallowcam/HostInterfaces.h"

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

TEST_F(DriverTest, OpenCopiesTheHostsDeviceDataAndCreatesOneVideoCaptureAndChannels)
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
    EXPECT_EQ(std::tie(device->address, device->port, device->userName, device->password, device->model),
              std::make_tuple("127.0.0.1", 8080u, "admin", "secret", "VB-M40"));
    EXPECT_EQ(std::tie(device->requestTimeoutMs, device->secondTimeoutMs), std::make_tuple(5000u, 15000u));
    uint32_t inputs = 0, outputs = 0;
    driver.GetCaptureValues(inputs, outputs);
    EXPECT_EQ(std::make_tuple(std::string(driver.GetDeviceName()), std::string(driver.GetDriverName()),
                              driver.GetDefaultCodec(), driver.GetChannelCount(), inputs, outputs),
              std::make_tuple("127.0.0.1:8080", "Tallowcam", 1u, 2u, 3u, 1u));
    EXPECT_EQ(driver.GetHostContext(), &allocator);
    const std::string directory = driver.GetHostDirectory();
    EXPECT_EQ(directory, platform::ExecutableDirectory());
    EXPECT_EQ(directory.back(), platform::kDirectorySeparator);

    ipcapture::IIPVideoCaptureEx2* capture = driver.GetVideoCaptureEx2();
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->GetChannelCount(), 2u);
    EXPECT_EQ(driver.GetVideoCapture(), static_cast<ipcapture::IIPVideoCapture*>(capture));
    EXPECT_EQ(driver.GetVideoCaptureEx(), static_cast<ipcapture::IIPVideoCaptureEx*>(capture));
    EXPECT_EQ(
        std::make_tuple(driver.GetAudioCapture(), driver.GetAudioSender(), driver.Reserved5(), driver.Reserved7()),
        std::make_tuple(nullptr, nullptr, nullptr, nullptr));

    // Video channels need a sink and take the default codec; MPEG-4 has no channel in this driver.
    // Each row: with a sink or not, the codec asked for, whether a channel comes and the codec it takes.
    CFrameHost sink;
    const std::tuple<bool, uint32_t, bool, uint32_t> cases[] = {
        {false, 0, false, 0}, {true, 0, true, 1}, {true, 16, true, 1}, {true, 2, false, 2}};
    for (const auto& [withSink, codec, made, taken] : cases) {
        ChannelSettings settings;
        settings.codec = codec;
        std::unique_ptr<ICameraChannel> channel(driver.CreateVideoChannel(0, withSink ? &sink : nullptr, &settings));
        EXPECT_EQ(std::make_pair(channel != nullptr, settings.codec), std::make_pair(made, taken)) << codec;
    }
    EXPECT_EQ(driver.CreateEdgeMonitor(), nullptr);
}

TEST_F(DriverTest, NumberedParametersAreReadUpToTheFirstMissingOne)
{
    // None read yet.
    EXPECT_EQ(std::make_tuple(driver.GetParameterString(1), driver.GetParameterInt(1), driver.GetParameter1Value()),
              std::make_tuple("", kParameterMissing, 0));
    params.parameters = {{1, "1"}, {2, "Ver. 1.0"}, {4, "00:1e:..."}};
    ASSERT_TRUE(Open());
    EXPECT_THAT(params.AskedIndices(), ElementsAre(1, 2, 3, 101, 102));
    // The video standard is kept when it is a number.
    EXPECT_EQ(std::make_tuple(driver.GetParameterString(2), driver.GetParameterString(4), driver.GetParameterInt(4),
                              driver.GetParameter1Value()),
              std::make_tuple("Ver. 1.0", "", kParameterMissing, 1));

    TestableDriver other;
    SettableDriverParams textual;
    textual.parameters = {{1, "PAL"}};
    ASSERT_TRUE(other.Open(nullptr, nullptr, &textual));
    EXPECT_EQ(other.GetParameter1Value(), 0);
}

TEST_F(DriverTest, ParameterNumbersAreStrictDecimals)
{
    const std::pair<const char*, int32_t> cases[] = {
        {"+", kParameterMissing},          {"-", kParameterMissing},  {"12a", kParameterMissing},
        {"", kParameterMissing},           {"-7", -7},                {"+15", 15},
        {"0", 0},                          {"2147483647", 2147483647}, {"2147483648", kParameterMissing},
        {" 5", kParameterMissing},         {"(none)", kParameterMissing}};
    for (uint32_t i = 0; i < std::size(cases); ++i)
        params.parameters[i + 1] = cases[i].first;
    ASSERT_TRUE(Open());
    for (uint32_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(driver.GetParameterInt(i + 1), cases[i].second) << cases[i].first;
    EXPECT_EQ(driver.GetParameterString(11), "");
    EXPECT_EQ(driver.GetParameterString(3), "12a");
}

TEST_F(DriverTest, PtzCapabilitiesComeFromParameterFive)
{
    params.parameters = {{1, "0"}, {2, "fw"}, {3, "2"}, {4, "mac"}, {5, "Pan=1; Tilt=0; Preset=20"}};
    ASSERT_TRUE(Open());
    const CPtzCapabilities* ptz = driver.GetPtzCapabilities();
    EXPECT_EQ(std::tie(ptz->m_pan, ptz->m_tilt, ptz->m_preset), std::make_tuple(true, false, 20u));
}

// A parser's thread writes the sizes while a PTZ thread reads them: never half of one size and half of another.
TEST_F(DriverTest, StreamDefaultsHoldTheHighResolutionCodesAndSizesAreReadWhole)
{
    CStreamDefaults* defaults = driver.GetStreamDefaults();
    const auto& codes = defaults->m_highResCodes;
    EXPECT_EQ(std::vector<uint32_t>(std::begin(codes), std::end(codes)), (std::vector<uint32_t>{6, 3, 9}));
    EXPECT_FALSE(defaults->m_recSize.Load().IsKnown() || defaults->m_liveSize.Load().IsKnown());
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
    // Each row: port, model, firmware, the line (none when empty).
    const std::tuple<uint16_t, const char*, const char*, std::string> cases[] = {
        {8080, "VB-H43", "Ver. 1.2 (100%)",
         "DRIVER IS OPENED (name: Tallowcam, device model: VB-H43, FW: Ver. 1.2 (100%), address: 127.0.0.1:8080)"},
        {80, "VB-H43", "(none)", "DRIVER IS OPENED (name: Tallowcam, device model: VB-H43, address: 127.0.0.1:80)"},
        {80, "", "Ver. 1.2", ""}};
    for (const auto& [port, model, firmware, line] : cases) {
        RecordingLogSink sink;
        TestableDriver opened;
        params.deviceAddress.port = port;
        params.captureInfo.model = model;
        params.parameters = {{1, "0"}, {2, firmware}};
        ASSERT_TRUE(opened.Open(&sink, &allocator, &params));
        const auto lines = sink.LinesContaining("DRIVER IS OPENED");
        ASSERT_EQ(lines.size(), line.empty() ? 0u : 1u) << model;
        EXPECT_EQ(lines.empty() ? std::string() : lines[0].text, line);
    }
}

TEST_F(DriverTest, MessagesAreFormattedOnceAndTheirLevelsFollowTheHostVersion)
{
    ASSERT_TRUE(Open());
    const size_t opened = logSink.Lines().size();
    driver.DebugMessage(kLogError, "%s: device %s, %d%%", "korvane::Test", driver.GetDeviceName(), 50);
    driver.DebugMessage(kLogError, "%s", "");
    EXPECT_THAT(LogEntries(logSink, opened), ElementsAre("1 korvane::Test: device 127.0.0.1:80, 50%", "1 "));

    // Each row: the host version and the levels of lines at levels 1, 2, 3 and 100.
    const std::tuple<uint16_t, uint16_t, std::vector<uint8_t>> cases[] = {{5, 11, {1, 2, 2, 2}}, {5, 12, {1, 2, 3, 3}},
                                                                           {6, 2, {1, 2, 3, 3}}, {6, 3, {1, 2, 3, 100}},
                                                                           {7, 0, {1, 2, 3, 100}}};
    for (const auto& [major, minor, expected] : cases) {
        SCOPED_TRACE("host " + std::to_string(major) + "." + std::to_string(minor));
        driver.SetHostVersion({major, minor, 9, 9});
        const size_t before = logSink.Lines().size();
        for (uint32_t level : {1u, 2u, 3u, 4u, 100u})
            driver.DebugMessage(level, "%s: level %u", "korvane::Test", level);
        const auto lines = logSink.Lines();
        std::vector<uint8_t> levels;
        for (size_t i = before; i < lines.size(); ++i)
            levels.push_back(lines[i].level);
        EXPECT_EQ(levels, expected);
    }
    EXPECT_THAT(logSink.LinesContaining("level 4"), IsEmpty());
}

TEST_F(DriverTest, AudioAdaptersFollowParameters101And102AndCloseReleasesEverything)
{
    driver.Close();  // never opened
    EXPECT_FALSE(driver.Open(&logSink, &allocator, nullptr));
    driver.Close();
    params.parameters = {{101, "Count=1; IsStereo=0"}};
    ASSERT_TRUE(Open());
    ASSERT_NE(driver.GetAudioCapture(), nullptr);
    EXPECT_EQ(driver.GetAudioSender(), nullptr);
    driver.Close();

    params.parameters = {{101, "Count=0; IsStereo=0"}, {102, "Count=2; IsStereo=0"}};
    ASSERT_TRUE(Open());
    EXPECT_EQ(driver.GetAudioCapture(), nullptr);
    EXPECT_NE(driver.GetAudioSender(), nullptr);
    driver.Close();
    EXPECT_EQ(std::make_tuple(driver.GetVideoCapture(), driver.GetAudioCapture(), driver.GetAudioSender()),
              std::make_tuple(nullptr, nullptr, nullptr));
    driver.Close();

    // Audio described but unusable fails the open.
    for (const auto& audio : {std::map<uint32_t, std::string>{{101, "two channels"}},
                              std::map<uint32_t, std::string>{{101, "Count=0; IsStereo=0"}, {102, "(none)"}}}) {
        params.parameters = audio;
        EXPECT_FALSE(Open());
        driver.Close();
    }
    params.parameters.clear();
    EXPECT_TRUE(Open());
}

// The plug-in as a host sees it: loaded at run time, used only through its exports.
using Factory = ipcapture::IIPCaptureDriverEx5* (*)();
using Deleter = void (*)(ipcapture::IPluginObject*);

// The fixture's driver stays unused; the host objects are handed to the plug-in's.
class PluginTest : public DriverTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_plugin.Load(TALLOWCAM_PLUGIN_PATH)) << TALLOWCAM_PLUGIN_PATH;
        create = reinterpret_cast<Factory>(Symbol("CreateIPCapture"));
        destroy = reinterpret_cast<Deleter>(Symbol("DeleteIPCapture"));
        ASSERT_NE(create, nullptr);
        ASSERT_NE(destroy, nullptr);
        plugged = create();
        ASSERT_NE(plugged, nullptr);
    }
    void TearDown() override
    {
        if (plugged != nullptr) {
            plugged->Close();
            destroy(plugged);  // through the plug-in's deleter, never here
        }
    }

    void* Symbol(const char* name) const { return m_plugin.Symbol(name); }
    bool OpenPlugged() { return plugged->Open(&logSink, &allocator, &params); }

    Factory create = nullptr;
    Deleter destroy = nullptr;
    ipcapture::IIPCaptureDriverEx5* plugged = nullptr;

private:
    platform::DynamicLibrary m_plugin;
};

TEST_F(PluginTest, EveryFactoryAndDeleterNameIsOneFunctionAndTheDeleterIgnoresNull)
{
    for (const char* name :
         {"CreateIPCaptureEx", "CreateIPCaptureEx2", "CreateIPCaptureEx3", "CreateIPCaptureEx4", "CreateIPCaptureEx5"})
        EXPECT_EQ(Symbol(name), reinterpret_cast<void*>(create)) << name;
    for (const char* name : {"DeleteIPCaptureEx", "DeleteIPCaptureEx2", "DeleteIPCaptureEx3", "DeleteIPCaptureEx4",
                             "DeleteIPCaptureEx5", "DeleteCapabilityQueryModule"})
        EXPECT_EQ(Symbol(name), reinterpret_cast<void*>(destroy)) << name;
    EXPECT_EXIT(
        {
            destroy(nullptr);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PluginTest, CreateOpenCloseReopenAndDelete)
{
    ASSERT_TRUE(OpenPlugged());
    ipcapture::IIPVideoCaptureEx2* capture = plugged->GetVideoCaptureEx2();
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->GetChannelCount(), 1u);
    EXPECT_EQ(plugged->GetAudioCapture(), nullptr);

    // Without a host core library the host counts as 5.12: notable lines arrive as information.
    auto lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 3u);

    plugged->Close();
    EXPECT_EQ(plugged->GetVideoCaptureEx2(), nullptr);

    // Audio adapters come from the descriptions.
    params.parameters = {{101, "Count=1; IsStereo=0"}, {102, "Count=1; IsStereo=0"}};
    ASSERT_TRUE(OpenPlugged());
    ASSERT_NE(plugged->GetAudioCapture(), nullptr);
    EXPECT_EQ(plugged->GetAudioCapture()->GetChannelCount(), 0u);
    plugged->Close();

    // With the host core library of version 6.3 loaded, notable lines keep their level.
    platform::DynamicLibrary hostCore;
    ASSERT_TRUE(hostCore.Load(TALLOWCAM_TEST_HOST_CORE)) << TALLOWCAM_TEST_HOST_CORE;
    ASSERT_TRUE(OpenPlugged());
    lines = logSink.LinesContaining("DRIVER IS OPENED");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].level, 100u);
}

}  // namespace
}  // namespace korvane::test
