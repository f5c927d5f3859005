#include "runtime/Configuration.h"

#include <limits>

#include "driver/IDriver.h"
#include "onvif/XmlParser.h"
#include "platform/Process.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

// Digits only, within 32 bits; anything else reads as 0.
uint32_t ReadStrictDecimal(const std::string& text)
{
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > std::numeric_limits<uint32_t>::max())
            return 0;
    }
    return static_cast<uint32_t>(value);
}

uint32_t StreamingModeFromText(const std::string& text)
{
    const size_t multicast = text.find("multicast");
    if (multicast == std::string::npos)
        return kStreamingUnicast;
    return text.find("primary", multicast) != std::string::npos ? kStreamingMulticastPrimary : kStreamingMulticast;
}

uint32_t BitrateModeFromText(const std::string& text)
{
    if (text == "VBR")
        return kBitrateVariable;
    if (text == "OFF")
        return kBitrateOff;
    return kBitrateDefault;
}

void TakeIfAbove(uint32_t& field, uint32_t value, uint32_t minimumExclusive)
{
    if (value > minimumExclusive)
        field = value;
}

void TakePercent(uint32_t& field, uint32_t value)
{
    if (value >= 1 && value <= 100)
        field = value;
}

}  // namespace

CConfiguration::CConfiguration(const std::string& fileName, const std::string& directory, const DEVICE_INFO& device)
    : m_device(device), m_path(BuildPath(fileName, directory))
{
}

CConfiguration::CConfiguration(IDriver& driver)
    : CConfiguration(driver.GetDriverName(), driver.GetHostDirectory(), *driver.GetDeviceInfo())
{
}

std::string CConfiguration::BuildPath(const std::string& fileName, const std::string& directory)
{
    if (fileName.empty())
        return {};
    if (directory.empty() || directory.back() == platform::kDirectorySeparator)
        return directory + fileName + ".xml";
    return directory + platform::kDirectorySeparator + fileName + ".xml";
}

uint32_t CConfiguration::GetStreamingMode(const std::string& fileName, const std::string& directory)
{
    const std::string path = BuildPath(fileName, directory);
    CXmlParser parser;
    if (path.empty() || !parser.LoadFromFile(path))
        return kStreamingUnicast;
    return StreamingModeFromText(parser.GetText("Configuration/StreamingMode"));
}

uint32_t CConfiguration::GetStreamingMode(IDriver& driver)
{
    return GetStreamingMode(driver.GetDriverName(), driver.GetHostDirectory());
}

std::string CConfiguration::SectionPath(const CXmlParser& parser) const
{
    const std::string device =
        FormatString("Configuration/Device[@address=\"%s\"][@port=\"%u\"]", m_device.address.c_str(), m_device.port);
    return parser.NodeExists(device) ? device : "Configuration/Default";
}

uint32_t CConfiguration::GetBitrateMode() const
{
    CXmlParser parser;
    if (m_path.empty() || !parser.LoadFromFile(m_path))
        return kBitrateDefault;
    return BitrateModeFromText(parser.GetText(SectionPath(parser) + "/BitrateMode"));
}

CConfigSettings CConfiguration::GetSettings() const
{
    CConfigSettings settings;
    CXmlParser parser;
    if (m_path.empty() || !parser.LoadFromFile(m_path))
        return settings;
    const std::string section = SectionPath(parser);
    const auto number = [&](const char* element) { return ReadStrictDecimal(parser.GetText(section + element)); };

    if (parser.GetText(section + "/RTPMode") == "RTPoverRTSP")
        settings.rtpMode = kRtpModeOverRtsp;
    TakeIfAbove(settings.rtpPacketSize, number("/RTPPacketSize"), 100);
    TakePercent(settings.panSpeed, number("/PanSpeed"));
    TakePercent(settings.tiltSpeed, number("/TiltSpeed"));
    TakePercent(settings.zoomSpeed, number("/ZoomSpeed"));
    TakeIfAbove(settings.ptzQueueSize, number("/PTZQueueSize"), 0);
    return settings;
}

}  // namespace korvane
