#include <gtest/gtest.h>

#include <string>

#include "driver/DeviceInfo.h"
#include "platform/XmlDocument.h"
#include "runtime/Configuration.h"
#include "support/FakeDriver.h"
#include "support/ScratchDirectory.h"

namespace korvane {

// Found by argument-dependent lookup, so in the record's namespace.
static bool operator==(const CConfigSettings& a, const CConfigSettings& b)
{
    return a.rtpMode == b.rtpMode && a.rtpPacketSize == b.rtpPacketSize && a.panSpeed == b.panSpeed &&
           a.tiltSpeed == b.tiltSpeed && a.zoomSpeed == b.zoomSpeed && a.ptzQueueSize == b.ptzQueueSize;
}

static void PrintTo(const CConfigSettings& s, std::ostream* out)
{
    *out << "{" << s.rtpMode << ", " << s.rtpPacketSize << ", " << s.panSpeed << ", " << s.tiltSpeed << ", "
         << s.zoomSpeed << ", " << s.ptzQueueSize << "}";
}

namespace {

using test::FakeDriver;
using test::ScratchDirectory;

const CConfigSettings kDefaults{0, 0, 100, 100, 100, 8};

class ConfigurationTest : public testing::Test {
protected:
    ConfigurationTest()
    {
        driver.hostDirectory = directory.Path();
        driver.SetCamera("10.0.0.5", 80);
    }

    void WriteConfiguration(const std::string& body)
    {
        directory.WriteFile("Tallowcam.xml", "<?xml version=\"1.0\"?>\n<Configuration>\n" + body + "</Configuration>\n");
    }

    // Settings from a Default section holding these elements.
    CConfigSettings SettingsFromDefault(const std::string& elements)
    {
        WriteConfiguration("<Default>" + elements + "</Default>");
        return CConfiguration(driver).GetSettings();
    }

    uint32_t StreamingModeFor(const std::string& text)
    {
        WriteConfiguration("<StreamingMode>" + text + "</StreamingMode>");
        return CConfiguration::GetStreamingMode(driver);
    }

    uint32_t BitrateModeFor(const std::string& text)
    {
        WriteConfiguration("<Default><BitrateMode>" + text + "</BitrateMode></Default>");
        return CConfiguration(driver).GetBitrateMode();
    }

    ScratchDirectory directory;
    FakeDriver driver;
};

TEST(ConfigurationPath, IsTheDriverNameWithXmlInTheDirectory)
{
    EXPECT_EQ(CConfiguration::BuildPath("", "/opt/host/"), "");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", ""), "Tallowcam.xml");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", "/opt/host/"), "/opt/host/Tallowcam.xml");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", "/opt/host"), "/opt/host/Tallowcam.xml");
}

TEST_F(ConfigurationTest, NoFileGivesTheDefaults)
{
    CConfiguration configuration(driver);
    EXPECT_EQ(CConfiguration::GetStreamingMode(driver), kStreamingUnicast);
    EXPECT_EQ(configuration.GetBitrateMode(), kBitrateDefault);
    EXPECT_EQ(configuration.GetSettings(), kDefaults);

    CConfiguration unnamed("", directory.Path(), driver.deviceInfo);
    EXPECT_EQ(unnamed.GetSettings(), kDefaults);
    EXPECT_TRUE(driver.Lines().empty());
}

TEST_F(ConfigurationTest, ReadsEverySetting)
{
    EXPECT_EQ(SettingsFromDefault("<RTPMode>RTPoverRTSP</RTPMode><RTPPacketSize>1400</RTPPacketSize>"
                                  "<PanSpeed>10</PanSpeed><TiltSpeed>20</TiltSpeed><ZoomSpeed>30</ZoomSpeed>"
                                  "<PTZQueueSize>3</PTZQueueSize>"),
              (CConfigSettings{kRtpModeOverRtsp, 1400, 10, 20, 30, 3}));
    EXPECT_TRUE(driver.Lines().empty());
}

TEST_F(ConfigurationTest, PicksTheDeviceSectionByAddressAndPort)
{
    WriteConfiguration("<Device address=\"10.0.0.5\" port=\"80\"><PanSpeed>11</PanSpeed>"
                       "<BitrateMode>VBR</BitrateMode></Device>\n"
                       "<Device address=\"10.0.0.50\" port=\"8080\"><PanSpeed>12</PanSpeed></Device>\n"
                       "<Default><PanSpeed>22</PanSpeed><BitrateMode>OFF</BitrateMode></Default>\n");
    const auto panSpeedFor = [&](const std::string& address, uint32_t port) {
        DEVICE_INFO device;
        device.address = address;
        device.port = port;
        return CConfiguration("Tallowcam", directory.Path(), device).GetSettings().panSpeed;
    };
    EXPECT_EQ(panSpeedFor("10.0.0.5", 80), 11u);
    EXPECT_EQ(panSpeedFor("10.0.0.5", 8080), 22u);
    EXPECT_EQ(panSpeedFor("10.0.0.50", 8080), 12u);
    EXPECT_EQ(panSpeedFor("10.0.0.50", 80), 22u);
    EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), kBitrateVariable);
    driver.SetCamera("10.0.0.5", 8080);
    EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), kBitrateOff);
}

TEST_F(ConfigurationTest, NoMatchingSectionGivesTheDefaults)
{
    WriteConfiguration("<Device address=\"10.0.0.6\" port=\"80\"><PanSpeed>11</PanSpeed></Device>\n");
    EXPECT_EQ(CConfiguration(driver).GetSettings(), kDefaults);
}

TEST_F(ConfigurationTest, PacketSizeMustExceedOneHundred)
{
    EXPECT_EQ(SettingsFromDefault("<RTPPacketSize>100</RTPPacketSize>").rtpPacketSize, 0u);
    EXPECT_EQ(SettingsFromDefault("<RTPPacketSize>101</RTPPacketSize>").rtpPacketSize, 101u);
}

TEST_F(ConfigurationTest, SpeedsOutsideOneToOneHundredKeepTheDefault)
{
    EXPECT_EQ(SettingsFromDefault("<PanSpeed>0</PanSpeed>").panSpeed, 100u);
    EXPECT_EQ(SettingsFromDefault("<PanSpeed>101</PanSpeed>").panSpeed, 100u);
    EXPECT_EQ(SettingsFromDefault("<PanSpeed>1</PanSpeed>").panSpeed, 1u);
    EXPECT_EQ(SettingsFromDefault("<TiltSpeed>0</TiltSpeed>").tiltSpeed, 100u);
    EXPECT_EQ(SettingsFromDefault("<ZoomSpeed>101</ZoomSpeed>").zoomSpeed, 100u);
}

TEST_F(ConfigurationTest, OnlyPlainDecimalDigitsAreNumbers)
{
    for (const char* text : {"50%", " 50", "50 ", "+50", "-50", "0x32", "5e1", "", "fifty", "4294967346"}) {
        SCOPED_TRACE(text);
        const std::string value = text;
        EXPECT_EQ(SettingsFromDefault("<PanSpeed>" + value + "</PanSpeed><RTPPacketSize>" + value +
                                      "</RTPPacketSize><PTZQueueSize>" + value + "</PTZQueueSize>"),
                  kDefaults);
    }
    EXPECT_EQ(SettingsFromDefault("<PanSpeed>050</PanSpeed>").panSpeed, 50u);
    EXPECT_EQ(SettingsFromDefault("<RTPPacketSize>4294967295</RTPPacketSize>").rtpPacketSize, 4294967295u);
}

TEST_F(ConfigurationTest, QueueSizeZeroKeepsEight)
{
    EXPECT_EQ(SettingsFromDefault("<PTZQueueSize>0</PTZQueueSize>").ptzQueueSize, 8u);
    EXPECT_EQ(SettingsFromDefault("<PTZQueueSize>1</PTZQueueSize>").ptzQueueSize, 1u);
}

TEST_F(ConfigurationTest, RtpModeNeedsTheExactText)
{
    EXPECT_EQ(SettingsFromDefault("<RTPMode>RTPoverRTSP</RTPMode>").rtpMode, kRtpModeOverRtsp);
    EXPECT_EQ(SettingsFromDefault("<RTPMode>rtpoverrtsp</RTPMode>").rtpMode, kRtpModeDefault);
    EXPECT_EQ(SettingsFromDefault("<RTPMode>RTPoverRTSP </RTPMode>").rtpMode, kRtpModeDefault);
}

TEST_F(ConfigurationTest, StreamingModeLooksForMulticastThenPrimary)
{
    EXPECT_EQ(StreamingModeFor("multicast-primary"), kStreamingMulticastPrimary);
    EXPECT_EQ(StreamingModeFor("multicastprimary"), kStreamingMulticastPrimary);
    EXPECT_EQ(StreamingModeFor("primary multicast"), kStreamingMulticast);
    EXPECT_EQ(StreamingModeFor("multicast"), kStreamingMulticast);
    EXPECT_EQ(StreamingModeFor("Multicast"), kStreamingUnicast);
    EXPECT_EQ(StreamingModeFor("unicast"), kStreamingUnicast);
    EXPECT_EQ(StreamingModeFor(""), kStreamingUnicast);
    EXPECT_EQ(CConfiguration::GetStreamingMode("Other", directory.Path()), kStreamingUnicast);
}

TEST_F(ConfigurationTest, BitrateModeIsVbrOffOrDefault)
{
    EXPECT_EQ(BitrateModeFor("VBR"), kBitrateVariable);
    EXPECT_EQ(BitrateModeFor("OFF"), kBitrateOff);
    EXPECT_EQ(BitrateModeFor("vbr"), kBitrateDefault);
    EXPECT_EQ(BitrateModeFor("CBR"), kBitrateDefault);
}

TEST_F(ConfigurationTest, IsReadAnewAtEachCall)
{
    CConfiguration configuration(driver);
    WriteConfiguration("<Default><TiltSpeed>40</TiltSpeed></Default>");
    EXPECT_EQ(configuration.GetSettings().tiltSpeed, 40u);
    WriteConfiguration("<Default><TiltSpeed>60</TiltSpeed></Default>");
    EXPECT_EQ(configuration.GetSettings().tiltSpeed, 60u);
}

TEST_F(ConfigurationTest, UnusableFilesGiveTheDefaults)
{
    const std::string oversized = "<Configuration><StreamingMode>multicast</StreamingMode><Default>"
                                  "<PanSpeed>5</PanSpeed></Default>" +
                                  std::string(platform::XmlDocument::kMaxDocumentBytes, ' ') + "</Configuration>";
    const std::string unrelatedRoot = "<Settings><Default><PanSpeed>5</PanSpeed></Default></Settings>";
    const std::string namespaced = "<Configuration xmlns=\"urn:x\"><Default><PanSpeed>5</PanSpeed></Default>"
                                   "</Configuration>";
    for (const std::string& contents :
         {std::string("<Configuration><Default><PanSpeed>5</PanSpeed></Default>"), std::string("\x01\x02garbage"),
          std::string(), oversized, unrelatedRoot, namespaced}) {
        directory.WriteFile("Tallowcam.xml", contents);
        EXPECT_EQ(CConfiguration::GetStreamingMode(driver), kStreamingUnicast);
        EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), kBitrateDefault);
        EXPECT_EQ(CConfiguration(driver).GetSettings(), kDefaults);
    }
    EXPECT_TRUE(driver.Lines().empty());
}

}  // namespace
}  // namespace korvane
