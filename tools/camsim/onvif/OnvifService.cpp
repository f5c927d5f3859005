#include "camsim/onvif/OnvifService.h"

#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <memory>

#include "camsim/ptz/PtzState.h"
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

const char kPtzNamespace20[] = "http://www.onvif.org/ver20/ptz/wsdl";
const char kPtzNamespace10[] = "http://www.onvif.org/ver10/ptz/wsdl";
const char kPanTiltSpaces[] = "http://www.onvif.org/ver10/tptz/PanTiltSpaces/";
const char kZoomSpaces[] = "http://www.onvif.org/ver10/tptz/ZoomSpaces/";

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

// ptzNamespace: bound to "tptz" when not empty.
std::string Envelope(const std::string& body, const std::string& ptzNamespace = std::string())
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><env:Envelope xmlns:env=\"";
    text += kSoapNamespace;
    text += "\" xmlns:ter=\"http://www.onvif.org/ver10/error\"";
    for (const auto& [prefix, name] : kNamespaces) {
        if (std::string(prefix) != "s")
            text += std::string(" xmlns:") + prefix + "=\"" + name + "\"";
    }
    if (!ptzNamespace.empty())
        text += " xmlns:tptz=\"" + ptzNamespace + "\"";
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

std::string EncoderXml(const OnvifEncoderConfiguration& encoder)
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
        // PTZ requests come in either PTZ namespace.
        const bool version10 = operation->ns != nullptr && operation->ns->href != nullptr &&
                               std::string(reinterpret_cast<const char*>(operation->ns->href)) == kPtzNamespace10;
        xmlXPathRegisterNs(xpath.get(), reinterpret_cast<const xmlChar*>("tptz"),
                           reinterpret_cast<const xmlChar*>(version10 ? kPtzNamespace10 : kPtzNamespace20));
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
    m_profiles = {{"profile0", "profile0", "vsc0", "1", ""}, {"profile1", "profile1", "vsc0", "2", ""}};

    for (const char* token : {"ptzconf0", "ptzconf1"}) {
        OnvifPtzConfiguration ptz;
        ptz.token = token;
        ptz.name = std::string("PTZ ") + token;
        ptz.nodeToken = "ptznode0";
        ptz.absolutePanTiltSpace = std::string(kPanTiltSpaces) + "PositionGenericSpace";
        ptz.absoluteZoomSpace = std::string(kZoomSpaces) + "PositionGenericSpace";
        ptz.relativePanTiltSpace = std::string(kPanTiltSpaces) + "TranslationGenericSpace";
        ptz.relativeZoomSpace = std::string(kZoomSpaces) + "TranslationGenericSpace";
        ptz.continuousPanTiltSpace = std::string(kPanTiltSpaces) + "VelocityGenericSpace";
        ptz.continuousZoomSpace = std::string(kZoomSpaces) + "VelocityGenericSpace";
        ptz.speedPanTiltX = ptz.speedPanTiltY = ptz.speedZoomX = "0.5";
        ptz.speedPanTiltSpace = std::string(kPanTiltSpaces) + "GenericSpeedSpace";
        ptz.speedZoomSpace = std::string(kZoomSpaces) + "ZoomGenericSpeedSpace";
        ptz.timeout = "PT10S";
        m_ptzConfigurations.push_back(ptz);
    }
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

void COnvifService::FailOperation(const std::string& operation, const OnvifFault& fault)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_failingOperations[operation] = fault;
}

void COnvifService::ClearFailures()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_failingOperations.clear();
    m_failNext = false;
}

void COnvifService::AttachPtz(PtzState& ptz)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_ptz = &ptz;
}

void COnvifService::SetPtzVersion10(bool version10)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_ptzVersion10 = version10;
}

std::vector<OnvifPtzConfiguration> COnvifService::PtzConfigurations() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_ptzConfigurations;
}

bool COnvifService::HandlesPath(const std::string& path) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return path == kDevicePath || path == m_mediaPath || path == kPtzPath;
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
    } else if (const auto failing = m_failingOperations.find(call.record.operation);
               failing != m_failingOperations.end()) {
        reply = Fault(failing->second);
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
    if (call.record.path == kPtzPath)
        return DispatchPtz(call);
    if (operation == "AddPTZConfiguration")
        return AddPtzConfiguration(call);
    if (operation == "RemovePTZConfiguration")
        return RemovePtzConfiguration(call);
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
    for (const OnvifPtzConfiguration& ptz : m_ptzConfigurations) {
        if (ptz.token == profile.ptzToken)
            xml += "<tt:PTZConfiguration token=\"" + Escape(ptz.token) + "\">" + PtzConfigurationXml(ptz) +
                   "</tt:PTZConfiguration>";
    }
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

namespace camsim {

namespace {

std::string OptionalElement(const std::string& name, const std::string& text)
{
    return text.empty() ? std::string() : Element(name, text);
}

// <tt:PanTilt .../><tt:Zoom .../>, each only with its space.
std::string VectorXml(const std::string& panTiltX, const std::string& panTiltY, const std::string& panTiltSpace,
                      const std::string& zoomX, const std::string& zoomSpace)
{
    std::string xml;
    if (!panTiltSpace.empty())
        xml += "<tt:PanTilt x=\"" + Escape(panTiltX) + "\" y=\"" + Escape(panTiltY) + "\" space=\"" +
               Escape(panTiltSpace) + "\"/>";
    if (!zoomSpace.empty())
        xml += "<tt:Zoom x=\"" + Escape(zoomX) + "\" space=\"" + Escape(zoomSpace) + "\"/>";
    return xml;
}

OnvifReply NoPreset()
{
    return SenderFault("ter:InvalidArgVal", "ter:NoToken", "The requested preset token does not exist");
}

}  // namespace

OnvifReply COnvifService::PtzOk(const std::string& body) const
{
    return OnvifReply{200, Envelope(body, m_ptzVersion10 ? kPtzNamespace10 : kPtzNamespace20)};
}

std::string COnvifService::PtzConfigurationXml(const OnvifPtzConfiguration& ptz) const
{
    std::string xml = Element("tt:Name", ptz.name) + Element("tt:UseCount", ptz.useCount) +
                      Element("tt:NodeToken", ptz.nodeToken) +
                      OptionalElement("tt:DefaultAbsolutePanTiltPositionSpace", ptz.absolutePanTiltSpace) +
                      OptionalElement("tt:DefaultAbsoluteZoomPositionSpace", ptz.absoluteZoomSpace) +
                      OptionalElement("tt:DefaultRelativePanTiltTranslationSpace", ptz.relativePanTiltSpace) +
                      OptionalElement("tt:DefaultRelativeZoomTranslationSpace", ptz.relativeZoomSpace) +
                      OptionalElement("tt:DefaultContinuousPanTiltVelocitySpace", ptz.continuousPanTiltSpace) +
                      OptionalElement("tt:DefaultContinuousZoomVelocitySpace", ptz.continuousZoomSpace);
    const std::string speed =
        VectorXml(ptz.speedPanTiltX, ptz.speedPanTiltY, ptz.speedPanTiltSpace, ptz.speedZoomX, ptz.speedZoomSpace);
    if (!speed.empty())
        xml += "<tt:DefaultPTZSpeed>" + speed + "</tt:DefaultPTZSpeed>";
    return xml + OptionalElement("tt:DefaultPTZTimeout", ptz.timeout);
}

OnvifReply COnvifService::DispatchPtz(Call& call)
{
    const std::string& operation = call.record.operation;
    if (operation == "GetConfigurations")
        return GetPtzConfigurations();
    if (operation == "SetConfiguration")
        return SetPtzConfiguration(call);
    if (m_ptz == nullptr)
        return ActionNotSupported();
    if (operation == "GetPresets")
        return GetPresets(call);
    if (operation == "SetPreset")
        return SetPreset(call);
    if (operation == "GotoPreset")
        return GotoPreset(call);
    if (operation == "RemovePreset")
        return RemovePreset(call);
    return ActionNotSupported();
}

OnvifReply COnvifService::GetPtzConfigurations() const
{
    const std::string element = m_ptzVersion10 ? "tptz:PTZConfigurations" : "tptz:PTZConfiguration";
    std::string body = "<tptz:GetConfigurationsResponse>";
    for (const OnvifPtzConfiguration& ptz : m_ptzConfigurations)
        body += "<" + element + " token=\"" + Escape(ptz.token) + "\">" + PtzConfigurationXml(ptz) + "</" + element +
                ">";
    return PtzOk(body + "</tptz:GetConfigurationsResponse>");
}

OnvifReply COnvifService::SetPtzConfiguration(Call& call)
{
    const std::string c = "tptz:PTZConfiguration/";
    const std::string token = call.Attribute("tptz:PTZConfiguration", "token");
    auto found = std::find_if(m_ptzConfigurations.begin(), m_ptzConfigurations.end(),
                              [&token](const OnvifPtzConfiguration& ptz) { return ptz.token == token; });
    if (found == m_ptzConfigurations.end())
        return SenderFault("ter:InvalidArgVal", "ter:NoConfig", "The requested configuration does not exist");
    // The request replaces the configuration: what it leaves out is gone.
    OnvifPtzConfiguration& ptz = *found;
    ptz.name = call.Text(c + "tt:Name");
    ptz.nodeToken = call.Text(c + "tt:NodeToken");
    ptz.absolutePanTiltSpace = call.Text(c + "tt:DefaultAbsolutePanTiltPositionSpace");
    ptz.absoluteZoomSpace = call.Text(c + "tt:DefaultAbsoluteZoomPositionSpace");
    ptz.relativePanTiltSpace = call.Text(c + "tt:DefaultRelativePanTiltTranslationSpace");
    ptz.relativeZoomSpace = call.Text(c + "tt:DefaultRelativeZoomTranslationSpace");
    ptz.continuousPanTiltSpace = call.Text(c + "tt:DefaultContinuousPanTiltVelocitySpace");
    ptz.continuousZoomSpace = call.Text(c + "tt:DefaultContinuousZoomVelocitySpace");
    const std::string speed = c + "tt:DefaultPTZSpeed/";
    ptz.speedPanTiltX = call.Attribute(speed + "tt:PanTilt", "x");
    ptz.speedPanTiltY = call.Attribute(speed + "tt:PanTilt", "y");
    ptz.speedPanTiltSpace = call.Attribute(speed + "tt:PanTilt", "space");
    ptz.speedZoomX = call.Attribute(speed + "tt:Zoom", "x");
    ptz.speedZoomSpace = call.Attribute(speed + "tt:Zoom", "space");
    ptz.timeout = call.Text(c + "tt:DefaultPTZTimeout");
    return PtzOk("<tptz:SetConfigurationResponse/>");
}

OnvifReply COnvifService::AddPtzConfiguration(Call& call)
{
    OnvifProfile* profile = FindProfile(call.Text("trt:ProfileToken"));
    if (profile == nullptr)
        return SenderFault("ter:InvalidArgVal", "ter:NoProfile", "The requested profile does not exist");
    const std::string token = call.Text("trt:ConfigurationToken");
    const bool known = std::any_of(m_ptzConfigurations.begin(), m_ptzConfigurations.end(),
                                   [&token](const OnvifPtzConfiguration& ptz) { return ptz.token == token; });
    if (!known)
        return SenderFault("ter:InvalidArgVal", "ter:NoConfig", "The requested configuration does not exist");
    profile->ptzToken = token;
    return Ok("<trt:AddPTZConfigurationResponse/>");
}

OnvifReply COnvifService::RemovePtzConfiguration(Call& call)
{
    OnvifProfile* profile = FindProfile(call.Text("trt:ProfileToken"));
    if (profile == nullptr)
        return SenderFault("ter:InvalidArgVal", "ter:NoProfile", "The requested profile does not exist");
    profile->ptzToken.clear();
    return Ok("<trt:RemovePTZConfigurationResponse/>");
}

const OnvifProfile* COnvifService::PresetProfile(const Call& call, OnvifReply& fault) const
{
    const OnvifProfile* profile = FindProfile(call.Text("tptz:ProfileToken"));
    if (profile == nullptr)
        fault = SenderFault("ter:InvalidArgVal", "ter:NoProfile", "The requested profile does not exist");
    else if (profile->ptzToken.empty())
        fault = SenderFault("ter:InvalidArgVal", "ter:NoPTZProfile", "The profile has no PTZ configuration");
    else
        return profile;
    return nullptr;
}

OnvifReply COnvifService::GetPresets(Call& call) const
{
    OnvifReply fault;
    if (PresetProfile(call, fault) == nullptr)
        return fault;
    const std::string element = m_ptzVersion10 ? "tptz:PTZPreset" : "tptz:Preset";
    std::string body = "<tptz:GetPresetsResponse>";
    for (const PtzPreset& preset : m_ptz->Presets()) {
        body += "<" + element + " token=\"" + Escape(preset.token) + "\">" + OptionalElement("tt:Name", preset.name);
        body += "<tt:PTZPosition>" +
                VectorXml(std::to_string(preset.panPosition), std::to_string(preset.tiltPosition),
                          std::string(kPanTiltSpaces) + "PositionGenericSpace", std::to_string(preset.zoomPercent),
                          std::string(kZoomSpaces) + "PositionGenericSpace") +
                "</tt:PTZPosition></" + element + ">";
    }
    return PtzOk(body + "</tptz:GetPresetsResponse>");
}

OnvifReply COnvifService::SetPreset(Call& call)
{
    OnvifReply fault;
    if (PresetProfile(call, fault) == nullptr)
        return fault;
    std::string token = call.Text("tptz:PresetToken");
    if (!m_ptz->StorePreset(call.Text("tptz:PresetName"), token))
        return NoPreset();
    return PtzOk("<tptz:SetPresetResponse>" + Element("tptz:PresetToken", token) + "</tptz:SetPresetResponse>");
}

OnvifReply COnvifService::GotoPreset(Call& call)
{
    OnvifReply fault;
    if (PresetProfile(call, fault) == nullptr)
        return fault;
    PtzRecallSpeed speed;
    speed.panTiltX = call.Attribute("tptz:Speed/tt:PanTilt", "x");
    speed.panTiltY = call.Attribute("tptz:Speed/tt:PanTilt", "y");
    speed.panTiltSpace = call.Attribute("tptz:Speed/tt:PanTilt", "space");
    speed.zoomX = call.Attribute("tptz:Speed/tt:Zoom", "x");
    speed.zoomSpace = call.Attribute("tptz:Speed/tt:Zoom", "space");
    if (!m_ptz->RecallPreset(call.Text("tptz:PresetToken"), speed))
        return NoPreset();
    return PtzOk("<tptz:GotoPresetResponse/>");
}

OnvifReply COnvifService::RemovePreset(Call& call)
{
    OnvifReply fault;
    if (PresetProfile(call, fault) == nullptr)
        return fault;
    if (!m_ptz->RemovePreset(call.Text("tptz:PresetToken")))
        return NoPreset();
    return PtzOk("<tptz:RemovePresetResponse/>");
}

}  // namespace camsim
