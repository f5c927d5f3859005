#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "driver/DeviceInfo.h"
#include "platform/XmlDocument.h"
#include "runtime/Configuration.h"
#include "support/FakeDriver.h"
#include "support/ScratchDirectory.h"
#include "support/TestData.h"

namespace korvane {

namespace {

using test::FakeDriver;
using test::ReadTestDataLines;
using test::ScratchDirectory;

const CConfigSettings kDefaults{0, 0, 100, 100, 100, 8};

// A record as one comparable value.
auto Fields(const CConfigSettings& s)
{
    return std::make_tuple(s.rtpMode, s.rtpPacketSize, s.panSpeed, s.tiltSpeed, s.zoomSpeed, s.ptzQueueSize);
}

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

    ScratchDirectory directory;
    FakeDriver driver;
};

// The file is the driver's name with .xml in the host's directory; its device section is picked by address and port.
TEST_F(ConfigurationTest, PathTheDeviceSectionByAddressAndPortAndEachSettingWithinItsLimits)
{
    EXPECT_EQ(CConfiguration::BuildPath("", "/opt/host/"), "");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", ""), "Tallowcam.xml");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", "/opt/host/"), "/opt/host/Tallowcam.xml");
    EXPECT_EQ(CConfiguration::BuildPath("Tallowcam", "/opt/host"), "/opt/host/Tallowcam.xml");

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

    WriteConfiguration("<Device address=\"10.0.0.6\" port=\"80\"><PanSpeed>11</PanSpeed></Device>\n");
    EXPECT_EQ(Fields(CConfiguration(driver).GetSettings()), Fields(kDefaults));  // no matching section

    // Each setting is read within its limits.
    const std::vector<std::string> rows = ReadTestDataLines("runtime/default-settings.txt");
    EXPECT_EQ(rows.size(), 15u);
    for (const std::string& row : rows) {
        SCOPED_TRACE(row);
        const size_t arrow = row.find(" => ");
        std::istringstream values(row.substr(arrow + 4));
        CConfigSettings expected;
        values >> expected.rtpMode >> expected.rtpPacketSize >> expected.panSpeed >> expected.tiltSpeed >>
            expected.zoomSpeed >> expected.ptzQueueSize;
        EXPECT_EQ(Fields(SettingsFromDefault(row.substr(0, arrow))), Fields(expected));
    }
    for (const char* text : {"50%", " 50", "50 ", "+50", "-50", "0x32", "5e1", "", "fifty", "4294967346"}) {
        SCOPED_TRACE(text);
        const std::string value = text;
        EXPECT_EQ(Fields(SettingsFromDefault("<PanSpeed>" + value + "</PanSpeed><RTPPacketSize>" + value +
                                             "</RTPPacketSize><PTZQueueSize>" + value + "</PTZQueueSize>")),
                  Fields(kDefaults));
    }
    EXPECT_TRUE(driver.Lines().empty());
}

TEST_F(ConfigurationTest, ModesNeedTheirTextsTheFileIsReadAnewAtEachCallAndUnusableOnesGiveTheDefaults)
{
    // The streaming mode looks for "multicast", then for "primary".
    const std::pair<const char*, uint32_t> streamingModes[] = {
        {"multicast-primary", kStreamingMulticastPrimary}, {"multicastprimary", kStreamingMulticastPrimary},
        {"primary multicast", kStreamingMulticast},        {"multicast", kStreamingMulticast},
        {"Multicast", kStreamingUnicast},                  {"unicast", kStreamingUnicast},
        {"", kStreamingUnicast}};
    for (const auto& [text, mode] : streamingModes) {
        WriteConfiguration("<StreamingMode>" + std::string(text) + "</StreamingMode>");
        EXPECT_EQ(CConfiguration::GetStreamingMode(driver), mode) << text;
    }
    EXPECT_EQ(CConfiguration::GetStreamingMode("Other", directory.Path()), kStreamingUnicast);

    const std::pair<const char*, uint32_t> bitrateModes[] = {
        {"VBR", kBitrateVariable}, {"OFF", kBitrateOff}, {"vbr", kBitrateDefault}, {"CBR", kBitrateDefault}};
    for (const auto& [text, mode] : bitrateModes) {
        WriteConfiguration("<Default><BitrateMode>" + std::string(text) + "</BitrateMode></Default>");
        EXPECT_EQ(CConfiguration(driver).GetBitrateMode(), mode) << text;
    }

    // The file is read anew at each call; missing or unusable files give the defaults.
    CConfiguration configuration(driver);
    EXPECT_EQ(CConfiguration::GetStreamingMode(driver), kStreamingUnicast);
    EXPECT_EQ(configuration.GetBitrateMode(), kBitrateDefault);
    EXPECT_EQ(Fields(configuration.GetSettings()), Fields(kDefaults));
    EXPECT_EQ(Fields(CConfiguration("", directory.Path(), driver.deviceInfo).GetSettings()), Fields(kDefaults));
    WriteConfiguration("<Default><TiltSpeed>40</TiltSpeed></Default>");
    EXPECT_EQ(configuration.GetSettings().tiltSpeed, 40u);
    WriteConfiguration("<Default><TiltSpeed>60</TiltSpeed></Default>");
    EXPECT_EQ(configuration.GetSettings().tiltSpeed, 60u);

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
        EXPECT_EQ(Fields(CConfiguration(driver).GetSettings()), Fields(kDefaults));
    }
    EXPECT_TRUE(driver.Lines().empty());
}

}  // namespace
}  // namespace korvane
