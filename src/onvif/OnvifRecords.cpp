#include "onvif/OnvifRecords.h"

#include "onvif/OnvifText.h"
#include "onvif/XmlParser.h"
#include "runtime/StringFormat.h"

using korvane::CXmlParser;
using korvane::EscapeXml;
using korvane::FormatString;
using korvane::ParseFloat;
using korvane::ParseUnsigned;

namespace Onvif {

namespace {

uint32_t ReadUnsigned(const CXmlParser& reply, const std::string& path)
{
    return ParseUnsigned(reply.GetText(path));
}

std::string Element(const char* name, const std::string& text)
{
    return FormatString("<%s>%s</%s>", name, EscapeXml(text).c_str(), name);
}

// Truncated to a whole number; negative or not a number gives 0.
uint32_t WholeQuality(float quality)
{
    if (!(quality > 0.0f))
        return 0;
    if (quality >= 4294967295.0f)
        return 4294967295u;
    return static_cast<uint32_t>(quality);
}

std::string Element(const char* name, uint32_t number)
{
    return FormatString("<%s>%u</%s>", name, number, name);
}

}  // namespace

bool CCommonNamedStructure::Read(const CXmlParser& reply, const std::string& path)
{
    name = reply.GetText(path + "/tt:Name");
    if (token.empty())
        token = reply.GetAttribute(path, "token");
    return !token.empty();
}

bool MulticastConfiguration::Read(const CXmlParser& reply, const std::string& path)
{
    ipv4Address = reply.GetText(path + "/tt:Address/tt:IPv4Address");
    port = ReadUnsigned(reply, path + "/tt:Port");
    ttl = ReadUnsigned(reply, path + "/tt:TTL");
    autoStart = reply.GetText(path + "/tt:AutoStart");
    if (autoStart.empty())
        autoStart = "false";
    return true;
}

std::string MulticastConfiguration::ToXml() const
{
    std::string xml = "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type>";
    if (!ipv4Address.empty())
        xml += Element("tt:IPv4Address", ipv4Address);
    xml += "</tt:Address>";
    xml += Element("tt:Port", port);
    xml += Element("tt:TTL", ttl);
    xml += Element("tt:AutoStart", autoStart);
    return xml + "</tt:Multicast>";
}

bool VideoSourceConfiguration::Read(const CXmlParser& reply, const std::string& path)
{
    const bool named = CCommonNamedStructure::Read(reply, path);
    useCount = ReadUnsigned(reply, path + "/tt:UseCount");
    sourceToken = reply.GetText(path + "/tt:SourceToken");
    const std::string bounds = path + "/tt:Bounds";
    boundsX = ParseUnsigned(reply.GetAttribute(bounds, "x"));
    boundsY = ParseUnsigned(reply.GetAttribute(bounds, "y"));
    boundsWidth = ParseUnsigned(reply.GetAttribute(bounds, "width"));
    boundsHeight = ParseUnsigned(reply.GetAttribute(bounds, "height"));
    return named;
}

bool VideoEncoderConfiguration::Read(const CXmlParser& reply, const std::string& path)
{
    const bool named = CCommonNamedStructure::Read(reply, path);
    useCount = ReadUnsigned(reply, path + "/tt:UseCount");
    encoding = reply.GetText(path + "/tt:Encoding");
    quality = ParseFloat(reply.GetText(path + "/tt:Quality"));
    width = ReadUnsigned(reply, path + "/tt:Resolution/tt:Width");
    height = ReadUnsigned(reply, path + "/tt:Resolution/tt:Height");
    frameRateLimit = ReadUnsigned(reply, path + "/tt:RateControl/tt:FrameRateLimit");
    encodingInterval = ReadUnsigned(reply, path + "/tt:RateControl/tt:EncodingInterval");
    bitrateLimit = ReadUnsigned(reply, path + "/tt:RateControl/tt:BitrateLimit");
    h264GovLength = ReadUnsigned(reply, path + "/tt:H264/tt:GovLength");
    h264Profile = reply.GetText(path + "/tt:H264/tt:H264Profile");
    mpeg4GovLength = ReadUnsigned(reply, path + "/tt:MPEG4/tt:GovLength");
    mpeg4Profile = reply.GetText(path + "/tt:MPEG4/tt:Mpeg4Profile");
    sessionTimeout = reply.GetText(path + "/tt:SessionTimeout");
    multicast.Read(reply, path + "/tt:Multicast");
    return named;
}

std::string VideoEncoderConfiguration::ToXml() const
{
    std::string xml = FormatString("<Configuration token=\"%s\">", EscapeXml(token).c_str());
    xml += Element("tt:Name", name);
    xml += Element("tt:UseCount", useCount);
    xml += Element("tt:Encoding", encoding);
    xml += "<tt:Resolution>" + Element("tt:Width", width) + Element("tt:Height", height) + "</tt:Resolution>";
    xml += Element("tt:Quality", WholeQuality(quality));
    xml += "<tt:RateControl>" + Element("tt:FrameRateLimit", frameRateLimit) +
           Element("tt:EncodingInterval", encodingInterval) + Element("tt:BitrateLimit", bitrateLimit) +
           "</tt:RateControl>";
    if (encoding == "MPEG4")
        xml += "<tt:MPEG4>" + Element("tt:GovLength", mpeg4GovLength) + Element("tt:Mpeg4Profile", mpeg4Profile) +
               "</tt:MPEG4>";
    else if (encoding == "H264")
        xml += "<tt:H264>" + Element("tt:GovLength", h264GovLength) + Element("tt:H264Profile", h264Profile) +
               "</tt:H264>";
    xml += multicast.ToXml();
    xml += Element("tt:SessionTimeout", sessionTimeout);
    return xml + "</Configuration>";
}

bool MediaProfile::Read(const CXmlParser& reply, const std::string& path)
{
    const bool named = CCommonNamedStructure::Read(reply, path);
    const bool hasSource = videoSource.Read(reply, path + "/tt:VideoSourceConfiguration");
    videoEncoder.Read(reply, path + "/tt:VideoEncoderConfiguration");
    ptzConfiguration.Read(reply, path + "/tt:PTZConfiguration");
    return named && hasSource;
}

}  // namespace Onvif
