#include "onvif/OnvifPtzRecords.h"

#include <cmath>

#include "onvif/OnvifText.h"
#include "onvif/XmlParser.h"
#include "runtime/StringFormat.h"

using korvane::CXmlParser;
using korvane::EscapeXml;
using korvane::FormatString;
using korvane::ParseFloat;

namespace Onvif {

namespace {

// "%d" for a whole number, else "%1.5f".
std::string NumberText(float value)
{
    const double number = value;
    if (std::floor(number) == number && std::fabs(number) < 2147483648.0)
        return FormatString("%d", static_cast<int>(number));
    return FormatString("%1.5f", number);
}

std::string Element(const std::string& name, const std::string& text)
{
    return "<" + name + ">" + EscapeXml(text) + "</" + name + ">";
}

std::string OptionalElement(const std::string& name, const std::string& text)
{
    return text.empty() ? std::string() : Element(name, text);
}

// The configuration's text fields with their element names below the configuration.
struct SpaceField {
    const char* element;
    std::string PTZConfiguration::*field;
};

// The absolute pan-tilt space element is spelled "Pant" for reading and writing alike.
constexpr SpaceField kSpaceFields[] = {
    {"tt:DefaultAbsolutePantTiltPositionSpace", &PTZConfiguration::defaultAbsolutePantTiltPositionSpace},
    {"tt:DefaultAbsoluteZoomPositionSpace", &PTZConfiguration::defaultAbsoluteZoomPositionSpace},
    {"tt:DefaultRelativePanTiltTranslationSpace", &PTZConfiguration::defaultRelativePanTiltTranslationSpace},
    {"tt:DefaultRelativeZoomTranslationSpace", &PTZConfiguration::defaultRelativeZoomTranslationSpace},
    {"tt:DefaultContinuousPanTiltVelocitySpace", &PTZConfiguration::defaultContinuousPanTiltVelocitySpace},
    {"tt:DefaultContinuousZoomVelocitySpace", &PTZConfiguration::defaultContinuousZoomVelocitySpace},
};

}  // namespace

bool PtzVector::Read(const CXmlParser& reply, const std::string& path)
{
    const std::string panTilt = path + "/tt:PanTilt";
    const std::string zoom = path + "/tt:Zoom";
    panTiltX = ParseFloat(reply.GetAttribute(panTilt, "x"));
    panTiltY = ParseFloat(reply.GetAttribute(panTilt, "y"));
    panTiltSpace = reply.GetAttribute(panTilt, "space");
    zoomX = ParseFloat(reply.GetAttribute(zoom, "x"));
    zoomSpace = reply.GetAttribute(zoom, "space");
    return true;
}

std::string PtzVector::ToXml() const
{
    std::string xml;
    if (!panTiltSpace.empty())
        xml += FormatString("<tt:PanTilt space=\"%s\" x=\"%s\" y=\"%s\" />", EscapeXml(panTiltSpace).c_str(),
                            NumberText(panTiltX).c_str(), NumberText(panTiltY).c_str());
    if (!zoomSpace.empty())
        xml += FormatString("<tt:Zoom space=\"%s\" x=\"%s\" />", EscapeXml(zoomSpace).c_str(),
                            NumberText(zoomX).c_str());
    return xml;
}

bool PresetNode::Read(const CXmlParser& reply, const std::string& path)
{
    CCommonNamedStructure::Read(reply, path);
    position.Read(reply, path + "/tt:PTZPosition");
    return !token.empty();
}

std::string PresetNode::ToXml() const
{
    return OptionalElement("tptz:PresetName", name) + OptionalElement("tptz:PresetToken", token);
}

bool PTZConfiguration::Read(const CXmlParser& reply, const std::string& path)
{
    const bool named = CCommonNamedStructure::Read(reply, path);
    useCount = reply.GetText(path + "/tt:UseCount");
    nodeToken = reply.GetText(path + "/tt:NodeToken");
    for (const SpaceField& space : kSpaceFields)
        this->*space.field = reply.GetText(path + "/" + space.element);
    defaultSpeed.Read(reply, path + "/tt:DefaultPTZSpeed");
    defaultTimeout = reply.GetText(path + "/tt:DefaultPTZTimeout");
    return named;
}

std::string PTZConfiguration::ToXml() const
{
    std::string xml = FormatString("<tptz:PTZConfiguration token=\"%s\">", EscapeXml(token).c_str());
    xml += Element("tt:Name", name);
    xml += OptionalElement("tt:UseCount", useCount);
    xml += Element("tt:NodeToken", nodeToken);
    for (const SpaceField& space : kSpaceFields)
        xml += OptionalElement(space.element, this->*space.field);
    const std::string speed = defaultSpeed.ToXml();
    if (!speed.empty())
        xml += "<tt:DefaultPTZSpeed>" + speed + "</tt:DefaultPTZSpeed>";
    xml += OptionalElement("tt:DefaultPTZTimeout", defaultTimeout);
    return xml + "</tptz:PTZConfiguration>";
}

}  // namespace Onvif
