#include "onvif/OnvifPtzClient.h"

namespace korvane {

namespace {

const char kConfigurationsPath[] =
    "SOAP-ENV:Envelope/SOAP-ENV:Body/tptz:GetConfigurationsResponse/tptz:PTZConfiguration";
const char kPresetsPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/tptz:GetPresetsResponse";
const char kPresetTokenPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/tptz:SetPresetResponse/tptz:PresetToken";
const char kVersion10[] = "ver10";
// Characters that end the version text of a namespace name.
const char kVersionDelimiters[] = " \\/\"'%";

}  // namespace

std::string COnvifPtzClient::PtzNamespaceVersion(const std::string& namespaceName)
{
    const size_t marker = namespaceName.find("/ver");
    if (marker == std::string::npos)
        return std::string();
    const size_t start = marker + 1;
    const size_t end = namespaceName.find_first_of(kVersionDelimiters, marker + 2);
    if (end == std::string::npos)
        return std::string();
    return namespaceName.substr(start, end - start);
}

bool COnvifPtzClient::RepliesInVersion10(CXmlParser& parser)
{
    return PtzNamespaceVersion(parser.Namespaces().GetNamespace("tptz")) == kVersion10;
}

bool COnvifPtzClient::ExecutePtz(const std::string& body, CXmlParser* parser)
{
    std::string reply;
    if (!Execute(MakeRequest(GetPtzServicePath(), body), reply))
        return false;
    return parser == nullptr || ParseReply(reply, *parser);
}

std::string COnvifPtzClient::ProfileTokenElement() const
{
    return BuildTextElement("tptz:ProfileToken", m_profileToken);
}

bool COnvifPtzClient::GetConfigurations(std::vector<Onvif::PTZConfiguration>& configurations)
{
    configurations.clear();
    CXmlParser parser;
    if (GetPtzServicePath().empty() || !ExecutePtz(BuildElement("tptz:GetConfigurations", "", "tptz"), &parser))
        return false;
    std::string path = kConfigurationsPath;
    if (RepliesInVersion10(parser))
        path += "s";
    ReadList(parser, path, configurations);
    return true;
}

bool COnvifPtzClient::SetConfiguration(const Onvif::PTZConfiguration& configuration)
{
    const std::string content = configuration.ToXml() + "<tptz:ForcePersistence>true</tptz:ForcePersistence>";
    return ExecutePtz(BuildElement("tptz:SetConfiguration", content, "tptz", "tt"), nullptr);
}

bool COnvifPtzClient::AddPTZConfiguration(const std::string& profileToken, const std::string& configurationToken)
{
    const std::string content = BuildTextElement("trt:ProfileToken", profileToken) +
                                BuildTextElement("trt:ConfigurationToken", configurationToken);
    std::string reply;
    if (!ExecuteMedia(BuildElement("trt:AddPTZConfiguration", content, "trt", "tt"), reply))
        return false;
    m_profileToken = profileToken;
    return true;
}

bool COnvifPtzClient::RemovePTZConfiguration(const std::string& profileToken)
{
    m_profileToken.clear();
    if (GetMediaServicePath().empty() || profileToken.empty())
        return false;
    const std::string body =
        BuildElement("trt:RemovePTZConfiguration", BuildTextElement("trt:ProfileToken", profileToken), "trt", "tt");
    std::string reply;
    return ExecuteMedia(body, reply);
}

bool COnvifPtzClient::GetPresets(std::vector<Onvif::PresetNode>& presets)
{
    presets.clear();
    CXmlParser parser;
    if (!ExecutePtz(BuildElement("tptz:GetPresets", ProfileTokenElement(), "tptz"), &parser))
        return false;
    const std::string path = std::string(kPresetsPath) + (RepliesInVersion10(parser) ? "/tptz:PTZPreset" : "/tptz:Preset");
    ReadList(parser, path, presets);
    return true;
}

bool COnvifPtzClient::SetPreset(const std::string& name, std::string& token)
{
    Onvif::PresetNode preset;
    preset.name = name;
    preset.token = token;
    CXmlParser parser;
    if (!ExecutePtz(BuildElement("tptz:SetPreset", ProfileTokenElement() + preset.ToXml(), "tptz", "tt"), &parser))
        return false;
    token = parser.GetText(kPresetTokenPath);
    return true;
}

bool COnvifPtzClient::GotoPreset(const std::string& token, const Onvif::PtzSpeed& speed)
{
    const std::string content = ProfileTokenElement() + BuildTextElement("tptz:PresetToken", token) +
                                BuildElement("tptz:Speed", speed.ToXml());
    return ExecutePtz(BuildElement("tptz:GotoPreset", content, "tptz", "tt"), nullptr);
}

bool COnvifPtzClient::RemovePreset(const std::string& token)
{
    const std::string content = ProfileTokenElement() + BuildTextElement("tptz:PresetToken", token);
    return ExecutePtz(BuildElement("tptz:RemovePreset", content, "tptz", "tt"), nullptr);
}

void COnvifPtzClient::SetProfileToken(const std::string& token)
{
    if (!token.empty())
        m_profileToken = token;
}

}  // namespace korvane
