// The camera reply parsers, the capability store and the saving of capabilities into the host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "capabilities/BaseCameraProperties.h"
#include "capabilities/CameraReply.h"
#include "capabilities/CapabilitySaver.h"
#include "capabilities/ParameterWriter.h"
#include "platform/DynamicLibrary.h"
#include "support/CapabilityHost.h"
#include "support/TestData.h"

using namespace korvane;
using korvane::test::CapabilityHost;
using ::testing::HasSubstr;

namespace {

// A text of tests/data with its escapes \r, \n and \t turned into those characters.
std::string Unescaped(const std::string& text)
{
    return ReplaceAll(ReplaceAll(ReplaceAll(text, "\\r", "\r"), "\\n", "\n"), "\\t", "\t");
}

TEST(CameraReply, ValuesOfInformationRepliesSplitsAndSettingsTypes)
{
    const std::vector<std::string> rows = test::ReadTestDataLines("capabilities/reply-values.txt");
    EXPECT_EQ(rows.size(), 14u);
    for (const std::string& row : rows) {
        const std::vector<std::string> fields = Split(Unescaped(row), '|');  // key, value, reply
        ASSERT_EQ(fields.size(), 3u) << row;
        EXPECT_EQ(GetValue(fields[2], fields[0], kInfoSeparator, kReplyLineSeparators), fields[1]) << row;
    }
    EXPECT_EQ(GetValue("key:=1", "", ":=", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", "", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", ":=", ""), "");
    EXPECT_EQ(GetValue("Valra02=00%3A1e\r\n", "Valra02", kSettingsSeparator, kReplyLineSeparators), "00%3A1e");

    // Numbers are the leading decimal digits.
    const std::string reply = "a:=12\r\nb:=\r\nc:=abc\r\nd:= 7 \r\ne:=3 (mono)\r\nf:=-1\r\ng:=99999999999\r\n";
    const std::pair<const char*, uint32_t> numbers[] = {{"a", 12u}, {"b", 0u}, {"c", 0u}, {"d", 7u}, {"e", 3u},
                                                        {"f", 0u},  {"g", 0xFFFFFFFFu}, {"missing", 0u}};
    for (const auto& [key, number] : numbers)
        EXPECT_EQ(GetUIntValue(reply, key, kInfoSeparator, kReplyLineSeparators), number) << key;

    EXPECT_EQ(Split("a,b,c", ','), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));  // empty pieces are kept
    EXPECT_EQ(Split("", ','), (std::vector<std::string>{""}));
    EXPECT_EQ(Split("jpg:640x480", ':'), (std::vector<std::string>{"jpg", "640x480"}));

    EXPECT_EQ(ParseSettingsType("int%281%2C30%29"), (std::vector<std::string>{"1", "30"}));
    EXPECT_EQ(ParseSettingsType("int%280%2C100%29"), (std::vector<std::string>{"0", "100"}));
    EXPECT_EQ(ParseSettingsType("int%285%29"), (std::vector<std::string>{"5"}));
    EXPECT_TRUE(ParseSettingsType("").empty());
    EXPECT_EQ(SettingsTypeKey("dh04"), "Typdh04-0");
    EXPECT_EQ(ReplaceAll("00%3A1e%3A8f", "%3A", ":"), "00:1e:8f");
}

DEVICE_INFO Device()
{
    DEVICE_INFO device;
    device.address = "10.0.0.7";
    device.port = 8080;
    device.userName = "admin";
    device.password = "secret";
    return device;
}

// A capability store filled directly by the test.
class StoredProperties : public CBaseCameraProperties {
public:
    explicit StoredProperties(uint32_t videoStandard = 1) : CBaseCameraProperties(Device(), videoStandard) {}

    bool ListProperties(CParameterWriter& list) const override { return list.WriteText(2, "Firmware", m_firmware); }
    CResultDef Query(uint32_t&) override { return {}; }

    using CBaseCameraProperties::AddResolution;
    using CBaseCameraProperties::SetFrameRates;
    using CBaseCameraProperties::m_cameraCount;
    using CBaseCameraProperties::m_model;
    using CBaseCameraProperties::m_streams;

    // A minimal camera that can be saved.
    void FillMinimal()
    {
        m_model = "Test";
        m_cameraCount = 1;
        AddCodec(kCapabilityCodecJpeg, kMainStreamGroup);
        SetFrameRates(kMainStreamGroup, 2);
    }

    // Every kind of capability, some of them twice.
    void FillEverything()
    {
        m_vendor = "Maker";
        m_model = "Cam 1";
        m_firmware = "";
        m_cameraCount = 2;
        m_hasHardware = true;
        m_inputCount = 4;
        m_ptzKind = 2;
        m_ptzCount = 3;
        m_streamCount = 2;
        m_audioOutput.m_channelCount = 1;
        AddCodec(kCapabilityCodecMpeg4, kMainStreamGroup);
        AddCodec(kCapabilityCodecH264, kMainStreamGroup);
        AddResolution(640, 480, 0, kMainStreamGroup);
        SetFrameRates(kMainStreamGroup, 2);
    }
};

// A host that hands out none of one kind of its list objects.
class RefusingHost : public CapabilityHost {
public:
    enum Refused { kNothing, kField, kFrameRates, kParameter };
    explicit RefusingHost(Refused refused) : m_refused(refused) {}

    ipcapture::ICapabilityField* GetConnectionField(uint32_t index) override
    {
        return m_refused == kField ? nullptr : CapabilityHost::GetConnectionField(index);
    }
    ipcapture::IFrameRateList* GetFrameRateList(uint32_t group) override
    {
        return m_refused == kFrameRates ? nullptr : CapabilityHost::GetFrameRateList(group);
    }
    ipcapture::ICapabilityParameter* AddParameter(uint32_t number) override
    {
        return m_refused == kParameter ? nullptr : CapabilityHost::AddParameter(number);
    }

private:
    const Refused m_refused;
};

}  // namespace

// Frame rates are reported in the host's encoding; known resolutions only raise their maximum rate.
TEST(CameraPropertiesStore, FrameRatesAndResolutions)
{
    // The host core library loaded (if any), whether the host takes more streams and high rates, rates and
    // their encodings.
    using Rates = std::vector<std::pair<uint32_t, uint32_t>>;
    const std::tuple<const char*, bool, bool, Rates> hosts[] = {
        {nullptr, false, false, {{0, 1000u}, {1, 1000u}, {15, 67u}, {25, 40u}, {30, 33u}, {60, 17u}}},
        {VEXHOST_61_PATH, true, false, {{60, 17u}}},
        {VEXHOST_64_PATH, true, true, {{30, 33u}, {31, 0x7000001Fu}, {0, 1000u}}}};
    for (const auto& [path, multiStream, highRate, rates] : hosts) {
        platform::DynamicLibrary hostCore;
        ASSERT_TRUE(path == nullptr || hostCore.Load(path));
        StoredProperties properties;
        EXPECT_EQ(std::make_pair(properties.IsMultiStreamHost(), properties.IsHighRateHost()),
                  std::make_pair(multiStream, highRate))
            << (path ? path : "no host core");
        for (const auto& [rate, encoded] : rates)
            EXPECT_EQ(properties.EncodeFrameRate(rate), encoded) << rate;
    }

    StoredProperties properties;
    // Width, height, maximum rate.
    const std::tuple<uint32_t, uint32_t, uint32_t> added[] = {{640, 480, 15}, {320, 240, 30}, {640, 480, 30},
                                                              {320, 240, 10}, {0, 480, 30},   {640, 0, 30},
                                                              {70000, 480, 30}};
    for (const auto& [width, height, rate] : added)
        properties.AddResolution(width, height, rate, kMainStreamGroup);
    const std::vector<STREAM_RESOLUTION>& list = properties.GetStream(kMainStreamGroup).resolutions;
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(std::tie(list[0].width, list[0].maxFrameRate, list[1].width, list[1].maxFrameRate),
              std::make_tuple(640, 30u, 320, 30u));
    EXPECT_TRUE(properties.GetStream(kLiveStreamGroup).resolutions.empty());

    properties.SetFrameRates(kLiveStreamGroup, 3);
    EXPECT_EQ(properties.GetStream(kLiveStreamGroup).frameRates, (std::set<uint32_t>{1, 2, 3}));
    EXPECT_EQ(properties.GetStream(kLiveStreamGroup).defaultFrameRate, 0u);
}

TEST(CapabilitySaver, StreamTextsEverythingInTheHostsOrderTheFirstFailingStepEndsAndRatelessResolutions)
{
    StoredProperties properties;
    STREAM_CAPABILITIES& stream = properties.m_streams[kLiveStreamGroup];
    EXPECT_EQ(CCapabilitySaver::CodecListText(stream), "");
    stream.codecs = {kCapabilityCodecJpeg, kCapabilityCodecH264, kCapabilityCodecMpeg4};
    EXPECT_EQ(CCapabilitySaver::CodecListText(stream), "h264,mpeg,jpeg");

    CapabilityHost host;
    CCapabilitySaver saver(properties, host);
    stream.resolutions = {{1280, 960, 0}, {640, 480, 15}, {0, 480, 30}};
    EXPECT_EQ(saver.ResolutionListText(stream), "1280x960:40,640x480:67");
    EXPECT_EQ(saver.FrameRateText(stream), "");

    stream.frameRates = {25, 5, 10};
    EXPECT_EQ(saver.ResolutionListText(stream), "1280x960:40,640x480:67");
    EXPECT_EQ(saver.FrameRateText(stream), "values=200,100,40;default=40");
    stream.defaultFrameRate = 10;
    EXPECT_EQ(saver.FrameRateText(stream), "values=200,100,40;default=100");
    stream.frameRates = {30};
    stream.defaultFrameRate = 0;
    EXPECT_EQ(saver.ResolutionListText(stream), "1280x960:33,640x480:67");

    // The saving stops at the first step that fails.
    StoredProperties minimal;
    minimal.FillMinimal();
    minimal.m_model.clear();
    CapabilityHost withoutModel;
    EXPECT_FALSE(CCapabilitySaver(minimal, withoutModel).Save());
    EXPECT_EQ(withoutModel.Text(), "");

    minimal.FillMinimal();
    minimal.m_streams[kMainStreamGroup].codecs.clear();
    CapabilityHost withoutCodecs;
    EXPECT_FALSE(CCapabilitySaver(minimal, withoutCodecs).Save());
    EXPECT_EQ(withoutCodecs.Text().find("value 0"), std::string::npos);
    EXPECT_EQ(withoutCodecs.Text().find("frame rate"), std::string::npos);

    minimal.FillMinimal();
    minimal.m_cameraCount = 0;
    CapabilityHost withoutCamera;
    EXPECT_FALSE(CCapabilitySaver(minimal, withoutCamera).Save());

    minimal.FillMinimal();
    for (RefusingHost::Refused refused : {RefusingHost::kField, RefusingHost::kFrameRates, RefusingHost::kParameter}) {
        RefusingHost refusing(refused);
        EXPECT_FALSE(CCapabilitySaver(minimal, refusing).Save()) << refused;
    }
    RefusingHost accepting(RefusingHost::kNothing);
    EXPECT_TRUE(CCapabilitySaver(minimal, accepting).Save());

    for (uint32_t standard : {0u, 1u}) {
        StoredProperties rateless(standard);
        rateless.FillMinimal();
        rateless.m_streams[kMainStreamGroup].frameRates.clear();
        rateless.AddResolution(320, 240, 0, kMainStreamGroup);
        CapabilityHost saved;
        EXPECT_FALSE(CCapabilitySaver(rateless, saved).Save());  // no frame rates
        EXPECT_THAT(saved.Text(), HasSubstr(standard == 0 ? "resolution \"320x240\" 320 240 40\n"
                                                           : "resolution \"320x240\" 320 240 33\n"));
    }

    // Everything is written in the host's order.
    platform::DynamicLibrary hostCore;
    ASSERT_TRUE(hostCore.Load(VEXHOST_61_PATH));
    StoredProperties everything(0);
    everything.FillEverything();
    CapabilityHost written;
    ASSERT_TRUE(CCapabilitySaver(everything, written).Save());
    EXPECT_EQ(written.Text(), test::ReadTestData("capabilities/saved-in-host-order.txt") + "\n");
}

