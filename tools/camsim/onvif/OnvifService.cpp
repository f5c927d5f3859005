#include "camsim/onvif/OnvifService.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <memory>

#include "runtime/Base64.h"
#include "runtime/Sha1.h"

namespace camsim {

namespace {

const char kSoapNamespace[] = "http://www.w3.org/2003/05/soap-envelope";
const char kPasswordDigestType[] =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest";

const std::pair<const char*, const char*> kNamespaces[] = {
    {"s", kSoapNamespace},
    {"wsse", "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"},
    {"wsu", "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"},
    {"tds", "http://www.onvif.org/ver10/device/wsdl"},
    {"trt", "http://www.onvif.org/ver10/media/wsdl"},
    {"tt", "http://www.onvif.org/ver10/schema"},
};

std::string Escape(const std::string& text)
{
    xmlChar* encoded = xmlEncodeSpecialChars(nullptr, reinterpret_cast<const xmlChar*>(text.c_str()));
    std::string escaped = encoded != nullptr ? reinterpret_cast<const char*>(encoded) : "";
    xmlFree(encoded);
    return escaped;
}

std::string Element(const std::string& name, const std::string& text)
{
    return "<" + name + ">" + Escape(text) + "</" + name + ">";
}

std::string Element(const std::string& name, uint32_t number)
{
    return Element(name, std::to_string(number));
}

uint32_t Number(const std::string& text)
{
    try {
        return static_cast<uint32_t>(std::stoul(text));
    } catch (...) {
        return 0;
    }
}

std::string Envelope(const std::string& body)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><env:Envelope xmlns:env=\"";
    text += kSoapNamespace;
    text += "\" xmlns:ter=\"http://www.onvif.org/ver10/error\"";
    for (const auto& [prefix, name] : kNamespaces) {
        if (std::string(prefix) != "s")
            text += std::string(" xmlns:") + prefix + "=\"" + name + "\"";
    }
    return text + "><env:Body>" + body + "</env:Body></env:Envelope>";
}

OnvifReply Ok(const std::string& body)
{
    return OnvifReply{200, Envelope(body)};
}

OnvifReply Fault(const OnvifFault& fault)
{
    std::string subcodes;
    std::string closing;
    for (const std::string& subcode : fault.subcodes) {
        subcodes += "<env:Subcode><env:Value>" + Escape(subcode) + "</env:Value>";
        closing += "</env:Subcode>";
    }
    std::string body = "<env:Fault><env:Code><env:Value>" + Escape(fault.code) + "</env:Value>" + subcodes +
                       closing + "</env:Code>";
    if (!fault.reason.empty())
        body += "<env:Reason><env:Text xml:lang=\"en\">" + Escape(fault.reason) + "</env:Text></env:Reason>";
    body += "</env:Fault>";
    return OnvifReply{fault.httpStatus, Envelope(body)};
}

OnvifReply SenderFault(const std::string& subcode, const std::string& detail, const std::string& reason)
{
    return Fault(OnvifFault{400, "env:Sender", {subcode, detail}, reason});
}

OnvifReply NotAuthorized()
{
    return Fault(OnvifFault{400, "env:Sender", {"ter:NotAuthorized"}, "Sender not authorized"});
}

OnvifReply ActionNotSupported()
{
    return Fault(OnvifFault{500, "env:Receiver", {"ter:ActionNotSupported"}, "Optional action not implemented"});
}

struct DocumentDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
struct ContextDeleter {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};

}  // namespace

// One parsed request.
struct COnvifService::Call {
    std::unique_ptr<xmlDoc, DocumentDeleter> document;
    std::unique_ptr<xmlXPathContext, ContextDeleter> xpath;
    xmlNode* operation = nullptr;
    OnvifRequestRecord record;

    // Parses the envelope; false when it is not well-formed SOAP.
    bool Parse(const std::string& envelope)
    {
        document.reset(xmlReadMemory(envelope.data(), static_cast<int>(envelope.size()), nullptr, nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
        if (!document)
            return false;
        xpath.reset(xmlXPathNewContext(document.get()));
        for (const auto& [prefix, name] : kNamespaces)
            xmlXPathRegisterNs(xpath.get(), reinterpret_cast<const xmlChar*>(prefix),
                               reinterpret_cast<const xmlChar*>(name));
        operation = Node("/s:Envelope/s:Body/*[1]", nullptr);
        if (operation == nullptr)
            return false;
        record.operation = reinterpret_cast<const char*>(operation->name);
        return true;
    }

    xmlNode* Node(const std::string& path, xmlNode* context) const
    {
        xpath->node = context != nullptr ? context : xmlDocGetRootElement(document.get());
        xmlXPathObject* result = xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(path.c_str()), xpath.get());
        xmlNode* node = nullptr;
        if (result != nullptr && result->nodesetval != nullptr && result->nodesetval->nodeNr > 0)
            node = result->nodesetval->nodeTab[0];
        xmlXPathFreeObject(result);
        return node;
    }

    // Text of the node at the path below the operation element (or absolute).
    std::string Text(const std::string& path) const
    {
        xmlNode* node = Node(path, operation);
        if (node == nullptr)
            return std::string();
        xmlChar* content = xmlNodeGetContent(node);
        std::string text = content != nullptr ? reinterpret_cast<const char*>(content) : "";
        xmlFree(content);
        return text;
    }

    std::string Attribute(const std::string& path, const char* name) const
    {
        xmlNode* node = Node(path, operation);
        if (node == nullptr)
            return std::string();
        xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
        std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return text;
    }
};

COnvifService::COnvifService()
{
    OnvifEncoderConfiguration first;
    first.token = "1";
    first.name = "jpeg1";
    first.useCount = 1;
    first.multicastAddress = "239.100.100.100";
    first.multicastPort = 6000;
    first.multicastTtl = 5;
    first.autoStart = "false";
    OnvifEncoderConfiguration second;
    second.token = "2";
    second.name = "h264";
    second.useCount = 1;
    second.encoding = "H264";
    second.govLength = 30;
    second.profile = "Main";
    second.width = 1920;
    second.height = 1080;
    OnvifEncoderConfiguration third;
    third.token = "3";
    third.name = "jpeg3";
    third.multicastAddress = "239.120.100.100";
    third.multicastPort = 6000;
    m_encoders = {{first.token, first}, {second.token, second}, {third.token, third}};
    m_profiles = {{"profile0", "profile0", "vsc0", "1"}, {"profile1", "profile1", "vsc0", "2"}};
}

void COnvifService::SetCredentials(const std::string& user, const std::string& password)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_user = user;
    m_password = password;
}

void COnvifService::SetBaseAddress(const std::string& address)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_baseAddress = address;
}

void COnvifService::SetMediaPath(const std::string& path)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_mediaPath = path;
}

void COnvifService::SetRefuseDigest(bool refuse)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_refuseDigest = refuse;
}

void COnvifService::FailNextRequest(const OnvifFault& fault)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_failNext = true;
    m_nextFault = fault;
}

bool COnvifService::HandlesPath(const std::string& path) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return path == kDevicePath || path == m_mediaPath;
}

std::vector<OnvifRequestRecord> COnvifService::Requests() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_requests;
}

void COnvifService::ClearRequests()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_requests.clear();
}

std::vector<OnvifProfile> COnvifService::Profiles() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_profiles;
}

bool COnvifService::FindEncoder(const std::string& token, OnvifEncoderConfiguration& configuration) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    auto found = m_encoders.find(token);
    if (found == m_encoders.end())
        return false;
    configuration = found->second;
    return true;
}

void COnvifService::RemoveEncoder(const std::string& token)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_encoders.erase(token);
}

OnvifReply COnvifService::Handle(const std::string& path, const std::string& envelope)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    Call call;
    call.record.path = path;
    call.record.envelope = envelope;
    OnvifReply reply;
    if (!call.Parse(envelope))
        reply = SenderFault("ter:WellFormed", "", "The request is not well-formed SOAP");
    else if (!Authorise(call))
        reply = NotAuthorized();
    else if (m_failNext) {
        m_failNext = false;
        reply = Fault(m_nextFault);
    } else {
        reply = Dispatch(call);
    }
    m_requests.push_back(call.record);
    return reply;
}

bool COnvifService::Authorise(Call& call) const
{
    xmlNode* token = call.Node("/s:Envelope/s:Header/wsse:Security/wsse:UsernameToken", nullptr);
    if (token != nullptr) {
        const std::string type = call.Attribute("/s:Envelope/s:Header/wsse:Security/wsse:UsernameToken/wsse:Password",
                                                "Type");
        call.record.security = type == kPasswordDigestType ? OnvifSecurity::Digest : OnvifSecurity::Plain;
    }
    if (m_user.empty() && m_password.empty()) {
        call.record.authorised = true;
        return true;
    }
    if (token == nullptr)
        return false;
    const std::string prefix = "/s:Envelope/s:Header/wsse:Security/wsse:UsernameToken/";
    const std::string user = call.Text(prefix + "wsse:Username");
    const std::string password = call.Text(prefix + "wsse:Password");
    bool valid = user == m_user;
    if (call.record.security == OnvifSecurity::Digest) {
        const std::vector<uint8_t> nonce = korvane::Base64Decode(call.Text(prefix + "wsse:Nonce"));
        std::string hashed(nonce.begin(), nonce.end());
        hashed += call.Text(prefix + "wsu:Created") + m_password;
        const std::array<uint8_t, 20> digest = korvane::Sha1(hashed.data(), hashed.size());
        std::string expected = korvane::Base64Encode(digest.data(), digest.size());
        valid = valid && !m_refuseDigest && password == expected;
    } else {
        valid = valid && password == m_password;
    }
    call.record.authorised = valid;
    return valid;
}

OnvifReply COnvifService::Dispatch(Call& call)
{
    const std::string& operation = call.record.operation;
    if (call.record.path == kDevicePath) {
        if (operation == "GetCapabilities")
            return GetCapabilities();
        return ActionNotSupported();
    }
    if (operation == "GetProfiles")
        return GetProfiles();
    if (operation == "GetProfile")
        return GetProfile(call);
    if (operation == "CreateProfile")
        return CreateProfile(call);
    if (operation == "AddVideoSourceConfiguration")
        return AddConfiguration(call, false);
    if (operation == "AddVideoEncoderConfiguration")
        return AddConfiguration(call, true);
    if (operation == "GetVideoEncoderConfiguration")
        return GetVideoEncoderConfiguration(call);
    if (operation == "SetVideoEncoderConfiguration")
        return SetVideoEncoderConfiguration(call);
    return ActionNotSupported();
}

OnvifReply COnvifService::GetCapabilities() const
{
    std::string body = "<tds:GetCapabilitiesResponse><tds:Capabilities>";
    body += "<tt:Device>" + Element("tt:XAddr", m_baseAddress + kDevicePath) +
            "<tt:IO><tt:InputConnectors>2</tt:InputConnectors><tt:RelayOutputs>1</tt:RelayOutputs></tt:IO>"
            "</tt:Device>";
    body += "<tt:Events>" + Element("tt:XAddr", m_baseAddress + "/onvif/event_service") +
            "<tt:WSPullPointSupport>true</tt:WSPullPointSupport></tt:Events>";
    body += "<tt:Media>" + Element("tt:XAddr", m_baseAddress + m_mediaPath) + "</tt:Media>";
    body += "<tt:PTZ>" + Element("tt:XAddr", m_baseAddress + "/onvif/ptz_service") + "</tt:PTZ>";
    return Ok(body + "</tds:Capabilities></tds:GetCapabilitiesResponse>");
}

static std::string EncoderXml(const OnvifEncoderConfiguration& encoder)
{
    std::string xml = Element("tt:Name", encoder.name) + Element("tt:UseCount", encoder.useCount) +
                      Element("tt:Encoding", encoder.encoding) + "<tt:Resolution>" +
                      Element("tt:Width", encoder.width) + Element("tt:Height", encoder.height) +
                      "</tt:Resolution>" + Element("tt:Quality", encoder.quality) + "<tt:RateControl>" +
                      Element("tt:FrameRateLimit", encoder.frameRateLimit) +
                      Element("tt:EncodingInterval", encoder.encodingInterval) +
                      Element("tt:BitrateLimit", encoder.bitrateLimit) + "</tt:RateControl>";
    if (encoder.encoding == "H264")
        xml += "<tt:H264>" + Element("tt:GovLength", encoder.govLength) + Element("tt:H264Profile", encoder.profile) +
               "</tt:H264>";
    else if (encoder.encoding == "MPEG4")
        xml += "<tt:MPEG4>" + Element("tt:GovLength", encoder.govLength) +
               Element("tt:Mpeg4Profile", encoder.profile) + "</tt:MPEG4>";
    xml += "<tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type>" + Element("tt:IPv4Address", encoder.multicastAddress) +
           "</tt:Address>" + Element("tt:Port", encoder.multicastPort) + Element("tt:TTL", encoder.multicastTtl);
    if (!encoder.autoStart.empty())
        xml += Element("tt:AutoStart", encoder.autoStart);
    return xml + "</tt:Multicast>" + Element("tt:SessionTimeout", encoder.sessionTimeout);
}

std::string COnvifService::ProfileXml(const char* element, const OnvifProfile& profile) const
{
    std::string xml = std::string("<") + element + " token=\"" + Escape(profile.token) + "\" fixed=\"false\">" +
                      Element("tt:Name", profile.name);
    if (!profile.videoSourceToken.empty())
        xml += "<tt:VideoSourceConfiguration token=\"" + Escape(profile.videoSourceToken) + "\">" +
               Element("tt:Name", "source") + Element("tt:UseCount", 2) + Element("tt:SourceToken", "vs0") +
               "<tt:Bounds x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"/></tt:VideoSourceConfiguration>";
    auto encoder = m_encoders.find(profile.encoderToken);
    if (encoder != m_encoders.end())
        xml += "<tt:VideoEncoderConfiguration token=\"" + Escape(encoder->first) + "\">" +
               EncoderXml(encoder->second) + "</tt:VideoEncoderConfiguration>";
    return xml + "</" + element + ">";
}

OnvifProfile* COnvifService::FindProfile(const std::string& token)
{
    for (OnvifProfile& profile : m_profiles) {
        if (profile.token == token)
            return &profile;
    }
    return nullptr;
}

const OnvifProfile* COnvifService::FindProfile(const std::string& token) const
{
    return const_cast<COnvifService*>(this)->FindProfile(token);
}

OnvifReply COnvifService::GetProfiles() const
{
    std::string body = "<trt:GetProfilesResponse>";
    for (const OnvifProfile& profile : m_profiles)
        body += ProfileXml("trt:Profiles", profile);
    return Ok(body + "</trt:GetProfilesResponse>");
}

OnvifReply COnvifService::GetProfile(Call& call) const
{
    const OnvifProfile* profile = FindProfile(call.Text("trt:ProfileToken"));
    if (profile == nullptr)
        return SenderFault("ter:InvalidArgVal", "ter:NoProfile", "The requested profile does not exist");
    return Ok("<trt:GetProfileResponse>" + ProfileXml("trt:Profile", *profile) + "</trt:GetProfileResponse>");
}

OnvifReply COnvifService::CreateProfile(Call& call)
{
    OnvifProfile profile;
    profile.name = call.Text("trt:Name");
    profile.token = "created" + std::to_string(++m_createdProfiles);
    m_profiles.push_back(profile);
    return Ok("<trt:CreateProfileResponse>" + ProfileXml("trt:Profile", profile) + "</trt:CreateProfileResponse>");
}

OnvifReply COnvifService::AddConfiguration(Call& call, bool encoder)
{
    OnvifProfile* profile = FindProfile(call.Text("trt:ProfileToken"));
    if (profile == nullptr)
        return SenderFault("ter:InvalidArgVal", "ter:NoProfile", "The requested profile does not exist");
    const std::string token = call.Text("trt:ConfigurationToken");
    if (encoder ? m_encoders.count(token) == 0 : token != "vsc0")
        return SenderFault("ter:InvalidArgVal", "ter:NoConfig", "The requested configuration does not exist");
    (encoder ? profile->encoderToken : profile->videoSourceToken) = token;
    return Ok(encoder ? "<trt:AddVideoEncoderConfigurationResponse/>" : "<trt:AddVideoSourceConfigurationResponse/>");
}

OnvifReply COnvifService::GetVideoEncoderConfiguration(Call& call) const
{
    auto found = m_encoders.find(call.Text("trt:ConfigurationToken"));
    if (found == m_encoders.end())
        return SenderFault("ter:InvalidArgVal", "ter:NoConfig", "The requested configuration does not exist");
    return Ok("<trt:GetVideoEncoderConfigurationResponse><trt:Configuration token=\"" + Escape(found->first) +
              "\">" + EncoderXml(found->second) + "</trt:Configuration></trt:GetVideoEncoderConfigurationResponse>");
}

OnvifReply COnvifService::SetVideoEncoderConfiguration(Call& call)
{
    const std::string token = call.Attribute("trt:Configuration", "token");
    auto found = m_encoders.find(token);
    if (found == m_encoders.end())
        return SenderFault("ter:InvalidArgVal", "ter:NoConfig", "The requested configuration does not exist");
    OnvifEncoderConfiguration& encoder = found->second;
    const std::string c = "trt:Configuration/";
    encoder.name = call.Text(c + "tt:Name");
    encoder.useCount = Number(call.Text(c + "tt:UseCount"));
    encoder.encoding = call.Text(c + "tt:Encoding");
    encoder.width = Number(call.Text(c + "tt:Resolution/tt:Width"));
    encoder.height = Number(call.Text(c + "tt:Resolution/tt:Height"));
    encoder.quality = call.Text(c + "tt:Quality");
    encoder.frameRateLimit = Number(call.Text(c + "tt:RateControl/tt:FrameRateLimit"));
    encoder.encodingInterval = Number(call.Text(c + "tt:RateControl/tt:EncodingInterval"));
    encoder.bitrateLimit = Number(call.Text(c + "tt:RateControl/tt:BitrateLimit"));
    const std::string codec = encoder.encoding == "H264" ? "tt:H264/" : "tt:MPEG4/";
    encoder.govLength = Number(call.Text(c + codec + "tt:GovLength"));
    encoder.profile = call.Text(c + codec + (encoder.encoding == "H264" ? "tt:H264Profile" : "tt:Mpeg4Profile"));
    encoder.multicastAddress = call.Text(c + "tt:Multicast/tt:Address/tt:IPv4Address");
    encoder.multicastPort = Number(call.Text(c + "tt:Multicast/tt:Port"));
    encoder.multicastTtl = Number(call.Text(c + "tt:Multicast/tt:TTL"));
    encoder.autoStart = call.Text(c + "tt:Multicast/tt:AutoStart");
    encoder.sessionTimeout = call.Text(c + "tt:SessionTimeout");
    return Ok("<trt:SetVideoEncoderConfigurationResponse/>");
}

}  // namespace camsim
