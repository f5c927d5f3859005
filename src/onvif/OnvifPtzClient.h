#pragma once
// The ONVIF PTZ service calls on top of the SOAP client: PTZ configurations,
// attaching one to a media profile, and storing, recalling and removing the
// presets of the client's media profile.
#include <string>
#include <vector>

#include "onvif/OnvifClient.h"
#include "onvif/OnvifPtzRecords.h"

namespace korvane {

class COnvifPtzClient : public COnvifClient {
public:
    using COnvifClient::COnvifClient;

    // False at once while the PTZ service path is unknown.
    bool GetConfigurations(std::vector<Onvif::PTZConfiguration>& configurations);
    bool SetConfiguration(const Onvif::PTZConfiguration& configuration);
    // On success the profile becomes the one the preset calls refer to.
    bool AddPTZConfiguration(const std::string& profileToken, const std::string& configurationToken);
    // Forgets the client's profile token first.
    bool RemovePTZConfiguration(const std::string& profileToken);

    bool GetPresets(std::vector<Onvif::PresetNode>& presets);
    // Stores the camera's position under the name; an empty token makes a new
    // preset, and the token the camera returns comes back in it (empty when the
    // reply names none).
    bool SetPreset(const std::string& name, std::string& token);
    bool GotoPreset(const std::string& token, const Onvif::PtzSpeed& speed);
    bool RemovePreset(const std::string& token);

    // Ignored when empty.
    void SetProfileToken(const std::string& token);
    const std::string& GetProfileToken() const { return m_profileToken; }

    // "ver20" from the namespace bound to "tptz" ("http://www.onvif.org/ver20/ptz/wsdl");
    // empty when it names no version.
    static std::string PtzNamespaceVersion(const std::string& namespaceName);

private:
    // Executes the body on the PTZ service; the reply, when there is one to
    // read, is loaded into parser.
    bool ExecutePtz(const std::string& body, CXmlParser* parser);
    // True when the loaded reply binds "tptz" to the version 1.0 PTZ namespace.
    static bool RepliesInVersion10(CXmlParser& parser);
    std::string ProfileTokenElement() const;

    std::string m_profileToken;
};

}  // namespace korvane
