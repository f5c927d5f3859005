#pragma once
// SOAP 1.2 client for the camera's ONVIF device and media services, with a
// WS-Security UsernameToken header (password digest, or the plain password
// once the camera refused the digest).
#include <cstdint>
#include <string>
#include <vector>

#include "driver/DeviceInfo.h"
#include "onvif/OnvifRecords.h"
#include "onvif/OnvifText.h"
#include "onvif/XmlNamespaces.h"
#include "onvif/XmlParser.h"
#include "runtime/RecursiveLock.h"
#include "runtime/SmartPtr.h"

namespace Web {
class CHttpSender;
}

namespace Onvif {

// What GetCapabilities reports; the paths are service paths on the camera.
struct Capabilities {
    std::string devicePath;
    std::string mediaPath;
    std::string ptzPath;
    std::string eventsPath;
    bool eventsPullPointSupport = false;
    uint32_t inputConnectors = 0;
    uint32_t relayOutputs = 0;
};

}  // namespace Onvif

namespace korvane {

// The fault or HTTP outcome of the last call.
struct ONVIF_ERROR {
    std::string code;
    std::vector<std::string> subcodes;  // outermost first
    std::string reason;
    uint32_t httpStatus = 0;  // 0: no reply
};

// One SOAP call: envelope fields and the service path it goes to.
struct SOAP_REQUEST {
    std::string method = "POST";
    std::string path;
    std::string contentType = "application/soap+xml; charset=utf-8";
    std::string passwordDigest;
    std::string nonce;
    std::string created;
    std::string extraHeader;
    std::string body;
};

class COnvifClient {
public:
    explicit COnvifClient(const DEVICE_INFO& device);
    virtual ~COnvifClient();
    COnvifClient(const COnvifClient&) = delete;
    COnvifClient& operator=(const COnvifClient&) = delete;

    // New sender and namespace table; the digest form unless the scheme is
    // "Basic". `extraNamespaces`: blank-separated "prefix=namespace" items.
    bool Init(const std::string& authScheme, const std::string& extraNamespaces);
    // Drops the HTTP sender (and with it the connection).
    void ReleaseSender();
    // From another thread: ends the running request and drops the sender, so
    // that the calls after it fail at once until the next Init.
    void Abort();

    bool GetCapabilities(Onvif::Capabilities& capabilities);
    bool GetProfiles(std::vector<Onvif::MediaProfile>& profiles);
    bool GetProfile(const std::string& profileToken, Onvif::MediaProfile& profile);
    bool CreateProfile(const std::string& name, std::string& token);
    bool AddVideoSourceConfiguration(const std::string& profileToken, const std::string& configurationToken);
    bool AddVideoEncoderConfiguration(const std::string& profileToken, const std::string& configurationToken);
    bool GetVideoEncoderConfiguration(const std::string& configurationToken,
                                      Onvif::VideoEncoderConfiguration& configuration);
    bool SetVideoEncoderConfiguration(const Onvif::VideoEncoderConfiguration& configuration);

    // The last call's fault reason and codes, or its HTTP outcome, behind `prefix`;
    // empty after a successful exchange.
    std::string GetLastErrorText(const std::string& prefix) const;
    const ONVIF_ERROR& GetLastError() const { return m_lastError; }
    bool UsesDigest() const { return m_useDigest; }

    const std::string& GetDeviceServicePath() const { return m_devicePath; }
    const std::string& GetMediaServicePath() const { return m_mediaPath; }
    const std::string& GetPtzServicePath() const { return m_ptzPath; }
    const std::string& GetEventsServicePath() const { return m_eventsPath; }

    // Path part of a service address ("http://host/onvif/x" gives "/onvif/x").
    static std::string ServicePathFromAddress(const std::string& address);

protected:
    // "<name declarations>content</name>", or "<name declarations/>" for empty
    // content. Prefixes the table does not know declare nothing.
    std::string BuildElement(const std::string& name, const std::string& content,
                             const std::string& firstPrefix = std::string(),
                             const std::string& secondPrefix = std::string(),
                             const std::string& thirdPrefix = std::string()) const;
    // The same with `text` escaped as element content.
    std::string BuildTextElement(const std::string& name, const std::string& text) const;
    // The whole SOAP envelope for a request whose security fields are set.
    std::string BuildEnvelope(const SOAP_REQUEST& request) const;

    virtual void ParseFaultDetail(const CXmlParser& reply, const std::string& detailPath);

    // Posts the request; true with the reply text of a 200 answer. Faults and
    // the HTTP status end up in the last error record.
    bool Execute(const SOAP_REQUEST& request, std::string& reply);
    // Loads a reply with this client's own prefixes known.
    bool ParseReply(const std::string& reply, CXmlParser& parser) const;
    // Reads every record that `listPath` selects, by token, in document order.
    template <typename Record>
    void ReadList(const CXmlParser& reply, const std::string& listPath, std::vector<Record>& records) const;

    SOAP_REQUEST MakeRequest(const std::string& path, const std::string& body) const;
    // Executes the request on the media service; false at once without a media path.
    bool ExecuteMedia(const std::string& body, std::string& reply);
    // The prefix table of requests and replies.
    CXmlNamespaces& Namespaces() { return m_namespaces; }

private:
    std::string BuildSecurityHeader(const SOAP_REQUEST& request) const;
    void FillSecurityFields(SOAP_REQUEST& request) const;
    void ParseFault(const std::string& reply);
    bool Exchange(const SOAP_REQUEST& request, std::string& reply);
    // Adds a configuration to a profile with the named media operation.
    bool AddConfiguration(const std::string& operation, const std::string& profileToken,
                          const std::string& configurationToken);
    void TakeOverServicePaths(const Onvif::Capabilities& capabilities);

    bool m_useDigest = true;
    mutable CRecursiveLock m_lock;  // guards m_sender
    TSmartPtr<Web::CHttpSender> m_sender;
    ONVIF_ERROR m_lastError;
    DEVICE_INFO m_device;
    std::string m_devicePath = "/onvif/device_service";
    std::string m_mediaPath = "/onvif/media_service";
    std::string m_ptzPath;
    std::string m_eventsPath;
    CXmlNamespaces m_namespaces;
};

template <typename Record>
void COnvifClient::ReadList(const CXmlParser& reply, const std::string& listPath, std::vector<Record>& records) const
{
    for (const std::string& token : reply.GetAttributeList(listPath, "token")) {
        Record record;
        record.token = token;
        if (record.Read(reply, listPath + "[@token=" + XPathLiteral(token) + "]"))
            records.push_back(record);
    }
}

}  // namespace korvane
