#include "onvif/OnvifClient.h"

#include <new>

#include "onvif/OnvifUsernameToken.h"
#include "runtime/HttpSender.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

const char kSoapEnvelopeNamespace[] = "http://www.w3.org/2003/05/soap-envelope";
const char kPasswordDigestType[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
const char kFaultPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/SOAP-ENV:Fault";
const char kCapabilitiesPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/tds:GetCapabilitiesResponse/tds:Capabilities";
const char kProfilesPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfilesResponse/trt:Profiles";
const char kProfilePath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfileResponse/trt:Profile";
const char kCreatedProfilePath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:CreateProfileResponse/trt:Profile";
const char kEncoderConfigurationPath[] =
    "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetVideoEncoderConfigurationResponse/trt:Configuration";
const char kDefaultMediaPath[] = "/onvif/media_service";

bool IsAuthenticationFault(const std::vector<std::string>& subcodes)
{
    for (const std::string& subcode : subcodes) {
        if (subcode == "ter:NotAuthorized" || subcode == "wsse:FailedAuthentication" ||
            subcode.find("NotAuthorize") != std::string::npos ||
            subcode.find("FailedAuthenticat") != std::string::npos)
            return true;
    }
    return false;
}

std::string JoinSubcodes(const std::vector<std::string>& subcodes)
{
    std::string joined;
    for (const std::string& subcode : subcodes)
        joined += (joined.empty() ? "" : " > ") + subcode;
    return joined;
}

// Reply bytes as text, without the terminating zero some reads append.
std::string ReplyText(const std::vector<uint8_t>& body)
{
    std::string text(body.begin(), body.end());
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

}  // namespace

COnvifClient::COnvifClient(const DEVICE_INFO& device) : m_device(device) {}

COnvifClient::~COnvifClient() = default;

bool COnvifClient::Init(const std::string& authScheme, const std::string& extraNamespaces)
{
    ReleaseSender();
    m_namespaces.Clear();
    if (m_devicePath.empty())
        return false;
    {
        CAutoLock guard(m_lock);
        m_sender = new (std::nothrow) Web::CHttpSender(m_device);
        if (!m_sender)
            return false;
    }
    m_useDigest = authScheme != "Basic";
    m_namespaces.AddStandard();
    m_namespaces.Add("s", kSoapEnvelopeNamespace);
    if (!extraNamespaces.empty())
        m_namespaces.AddFromList(extraNamespaces);
    return true;
}

void COnvifClient::ReleaseSender()
{
    CAutoLock guard(m_lock);
    m_sender.Release();
}

void COnvifClient::Abort()
{
    CAutoLock guard(m_lock);
    if (m_sender)
        m_sender->Abort();
    m_sender.Release();
}

std::string COnvifClient::BuildElement(const std::string& name, const std::string& content,
                                       const std::string& firstPrefix, const std::string& secondPrefix,
                                       const std::string& thirdPrefix) const
{
    std::string element = "<" + name;
    if (!firstPrefix.empty()) {
        element += name.find(':') != std::string::npos ? m_namespaces.GetDeclaration(firstPrefix)
                                                        : m_namespaces.GetDefaultDeclaration(firstPrefix);
        if (!secondPrefix.empty())
            element += m_namespaces.GetDeclaration(secondPrefix);
        if (!thirdPrefix.empty())
            element += m_namespaces.GetDeclaration(thirdPrefix);
    }
    if (content.empty())
        return element + "/>";
    return element + ">" + content + "</" + name + ">";
}

std::string COnvifClient::BuildTextElement(const std::string& name, const std::string& text) const
{
    return BuildElement(name, EscapeXml(text));
}

std::string COnvifClient::BuildSecurityHeader(const SOAP_REQUEST& request) const
{
    if (m_device.userName.empty() && m_device.password.empty())
        return std::string();
    std::string token = BuildTextElement("wsse:Username", m_device.userName);
    if (!request.passwordDigest.empty()) {
        token += FormatString("<wsse:Password Type=\"%s\">%s</wsse:Password>", kPasswordDigestType,
                              EscapeXml(request.passwordDigest).c_str());
        token += BuildTextElement("wsse:Nonce", request.nonce);
        token += BuildTextElement("wsu:Created", request.created);
    } else {
        token += BuildTextElement("wsse:Password", m_device.password);
    }
    return BuildElement("wsse:Security", BuildElement("wsse:UsernameToken", token), "wsse", "wsu");
}

std::string COnvifClient::BuildEnvelope(const SOAP_REQUEST& request) const
{
    const std::string headerContent = BuildSecurityHeader(request) + request.extraHeader;
    std::string content;
    if (!headerContent.empty())
        content = BuildElement("s:Header", headerContent);
    content += BuildElement("s:Body", request.body, "xsi", "xsd");
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + BuildElement("s:Envelope", content, "s") + "\r\n\r\n";
}

void COnvifClient::FillSecurityFields(SOAP_REQUEST& request) const
{
    if (!m_useDigest) {
        request.passwordDigest.clear();
        request.nonce.clear();
        request.created.clear();
        return;
    }
    const USERNAME_TOKEN_DIGEST digest = MakeUsernameTokenDigest(m_device.password);
    request.passwordDigest = digest.passwordDigest;
    request.nonce = digest.nonce;
    request.created = digest.created;
}

SOAP_REQUEST COnvifClient::MakeRequest(const std::string& path, const std::string& body) const
{
    SOAP_REQUEST request;
    request.path = path;
    request.body = body;
    return request;
}

bool COnvifClient::Exchange(const SOAP_REQUEST& request, std::string& reply)
{
    Web::CHttpRequest http(request.path, request.method);
    const std::string envelope = BuildEnvelope(request);
    http.m_body.assign(envelope.begin(), envelope.end());
    http.m_headers.push_back("Content-Type: " + request.contentType);

    TSmartPtr<Web::CHttpSender> sender;
    {
        CAutoLock guard(m_lock);
        sender = m_sender;
    }
    if (!sender)
        return false;
    const bool sent = sender->Send(http);
    // A refused login ends the send with the camera's status, which callers must see.
    m_lastError.httpStatus = sender->GetStatusCode();
    if (!sent)
        return false;
    std::vector<uint8_t> body;
    sender->ReadBody(body);
    reply = ReplyText(body);
    return true;
}

bool COnvifClient::Execute(const SOAP_REQUEST& request, std::string& reply)
{
    m_lastError = ONVIF_ERROR();
    reply.clear();
    SOAP_REQUEST secured = request;
    FillSecurityFields(secured);
    std::string received;
    if (!Exchange(secured, received))
        return false;

    switch (m_lastError.httpStatus) {
    case 200:
        reply = received;
        break;
    case 400:
        ParseFault(received);
        if (m_useDigest && IsAuthenticationFault(m_lastError.subcodes)) {
            m_useDigest = false;
            return Execute(request, reply);
        }
        break;
    case 500:
        ParseFault(received);
        break;
    default:
        break;
    }
    return !reply.empty();
}

void COnvifClient::ParseFault(const std::string& reply)
{
    CXmlParser parser;
    if (!ParseReply(reply, parser))
        return;
    const std::string fault = kFaultPath;
    m_lastError.code = parser.GetText(fault + "/SOAP-ENV:Code/SOAP-ENV:Value");
    m_lastError.reason = parser.GetText(fault + "/SOAP-ENV:Reason/SOAP-ENV:Text");
    std::string subcode = fault + "/SOAP-ENV:Code/SOAP-ENV:Subcode";
    for (;;) {
        const std::string value = parser.GetText(subcode + "/SOAP-ENV:Value");
        if (value.empty())
            break;
        m_lastError.subcodes.push_back(value);
        subcode += "/SOAP-ENV:Subcode";
    }
    ParseFaultDetail(parser, fault + "/SOAP-ENV:Detail");
}

void COnvifClient::ParseFaultDetail(const CXmlParser&, const std::string&) {}

bool COnvifClient::ParseReply(const std::string& reply, CXmlParser& parser) const
{
    parser.Namespaces().AddAll(m_namespaces);
    return parser.LoadFromText(reply);
}

std::string COnvifClient::GetLastErrorText(const std::string& prefix) const
{
    const std::string subcodes = JoinSubcodes(m_lastError.subcodes);
    if (!m_lastError.reason.empty())
        return prefix + "Reason: " + m_lastError.reason + (subcodes.empty() ? "" : " (code: " + subcodes + ")");
    if (!subcodes.empty())
        return prefix + "Error code: " + subcodes;
    if (m_lastError.httpStatus == 0)
        return prefix + "Device is not accessible";
    if (m_lastError.httpStatus >= 200 && m_lastError.httpStatus < 300)
        return std::string();
    return prefix + FormatString("HTTP status code: %u", m_lastError.httpStatus);
}

std::string COnvifClient::ServicePathFromAddress(const std::string& address)
{
    const size_t scheme = address.find("://");
    if (scheme == std::string::npos)
        return address;
    const size_t path = address.find('/', scheme + 3);
    return path == std::string::npos ? std::string() : address.substr(path);
}

void COnvifClient::TakeOverServicePaths(const Onvif::Capabilities& capabilities)
{
    if (!capabilities.devicePath.empty())
        m_devicePath = capabilities.devicePath;
    m_mediaPath = capabilities.mediaPath;
    m_ptzPath = capabilities.ptzPath;
    m_eventsPath = capabilities.eventsPath;
}

bool COnvifClient::GetCapabilities(Onvif::Capabilities& capabilities)
{
    const std::string body = BuildElement("tds:GetCapabilities", "<tds:Category>All</tds:Category>", "tds");
    std::string reply;
    CXmlParser parser;
    if (!Execute(MakeRequest(m_devicePath, body), reply) || !ParseReply(reply, parser))
        return false;
    const std::string root = kCapabilitiesPath;
    capabilities.devicePath = ServicePathFromAddress(parser.GetText(root + "/tt:Device/tt:XAddr"));
    capabilities.mediaPath = ServicePathFromAddress(parser.GetText(root + "/tt:Media/tt:XAddr"));
    capabilities.ptzPath = ServicePathFromAddress(parser.GetText(root + "/tt:PTZ/tt:XAddr"));
    capabilities.eventsPath = ServicePathFromAddress(parser.GetText(root + "/tt:Events/tt:XAddr"));
    capabilities.eventsPullPointSupport = parser.GetText(root + "/tt:Events/tt:WSPullPointSupport") == "true";
    capabilities.inputConnectors = ParseUnsigned(parser.GetText(root + "/tt:Device/tt:IO/tt:InputConnectors"));
    capabilities.relayOutputs = ParseUnsigned(parser.GetText(root + "/tt:Device/tt:IO/tt:RelayOutputs"));
    if (capabilities.mediaPath.empty())
        return false;
    TakeOverServicePaths(capabilities);
    return true;
}

bool COnvifClient::ExecuteMedia(const std::string& body, std::string& reply)
{
    if (m_mediaPath.empty())
        return false;
    return Execute(MakeRequest(m_mediaPath, body), reply);
}

bool COnvifClient::GetProfiles(std::vector<Onvif::MediaProfile>& profiles)
{
    profiles.clear();
    std::string reply;
    CXmlParser parser;
    if (!ExecuteMedia(BuildElement("trt:GetProfiles", "", "trt", "tt"), reply) || !ParseReply(reply, parser))
        return false;
    ReadList(parser, kProfilesPath, profiles);
    return true;
}

bool COnvifClient::GetProfile(const std::string& profileToken, Onvif::MediaProfile& profile)
{
    const std::string body =
        BuildElement("trt:GetProfile", BuildTextElement("trt:ProfileToken", profileToken), "trt", "tt");
    std::string reply;
    CXmlParser parser;
    if (!ExecuteMedia(body, reply) || !ParseReply(reply, parser))
        return false;
    return profile.Read(parser, kProfilePath);
}

bool COnvifClient::CreateProfile(const std::string& name, std::string& token)
{
    if (name.empty())
        return false;
    const std::string body = BuildElement("CreateProfile", BuildTextElement("Name", name), "trt");
    std::string reply;
    CXmlParser parser;
    if (!ExecuteMedia(body, reply) || !ParseReply(reply, parser))
        return false;
    token = parser.GetAttribute(kCreatedProfilePath, "token");
    return !token.empty();
}

bool COnvifClient::AddConfiguration(const std::string& operation, const std::string& profileToken,
                                    const std::string& configurationToken)
{
    if (profileToken.empty() || configurationToken.empty())
        return false;
    const std::string content =
        BuildTextElement("ProfileToken", profileToken) + BuildTextElement("ConfigurationToken", configurationToken);
    std::string reply;
    return ExecuteMedia(BuildElement(operation, content, "trt"), reply);
}

bool COnvifClient::AddVideoSourceConfiguration(const std::string& profileToken,
                                               const std::string& configurationToken)
{
    return AddConfiguration("AddVideoSourceConfiguration", profileToken, configurationToken);
}

bool COnvifClient::AddVideoEncoderConfiguration(const std::string& profileToken,
                                                const std::string& configurationToken)
{
    return AddConfiguration("AddVideoEncoderConfiguration", profileToken, configurationToken);
}

bool COnvifClient::GetVideoEncoderConfiguration(const std::string& configurationToken,
                                                Onvif::VideoEncoderConfiguration& configuration)
{
    const std::string body = BuildElement("GetVideoEncoderConfiguration",
                                          BuildTextElement("ConfigurationToken", configurationToken), "trt");
    std::string reply;
    CXmlParser parser;
    if (!ExecuteMedia(body, reply) || !ParseReply(reply, parser))
        return false;
    return configuration.Read(parser, kEncoderConfigurationPath);
}

bool COnvifClient::SetVideoEncoderConfiguration(const Onvif::VideoEncoderConfiguration& configuration)
{
    if (m_mediaPath.empty())
        m_mediaPath = kDefaultMediaPath;
    const std::string body =
        BuildElement("SetVideoEncoderConfiguration",
                     configuration.ToXml() + "<ForcePersistence>true</ForcePersistence>", "trt", "tt");
    std::string reply;
    return ExecuteMedia(body, reply);
}

}  // namespace korvane
