#pragma once
// ONVIF device, media and PTZ services of the simulated camera (SOAP 1.2 with
// WS-Security UsernameToken checking). Transport-free: the camera's HTTP
// server hands each POST to Handle(). The PTZ service answers in the version
// 2.0 PTZ namespace, or in the version 1.0 one of older cameras.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace camsim {

struct OnvifEncoderConfiguration {
    std::string token;
    std::string name;
    uint32_t useCount = 0;
    std::string encoding = "JPEG";
    std::string quality = "3";
    uint32_t width = 640;
    uint32_t height = 480;
    uint32_t frameRateLimit = 30;
    uint32_t encodingInterval = 1;
    uint32_t bitrateLimit = 2048;
    uint32_t govLength = 0;
    std::string profile;  // H.264 or MPEG-4 profile
    std::string multicastAddress;
    uint32_t multicastPort = 0;
    uint32_t multicastTtl = 0;
    std::string autoStart;
    std::string sessionTimeout = "PT60S";
};

struct OnvifProfile {
    std::string token;
    std::string name;
    std::string videoSourceToken;  // empty: none attached
    std::string encoderToken;      // empty: none attached
    std::string ptzToken;          // empty: none attached
};

// Texts as the camera writes them; the speeds are numbers ("0.5").
struct OnvifPtzConfiguration {
    std::string token;
    std::string name;
    uint32_t useCount = 0;
    std::string nodeToken;
    std::string absolutePanTiltSpace;
    std::string absoluteZoomSpace;
    std::string relativePanTiltSpace;
    std::string relativeZoomSpace;
    std::string continuousPanTiltSpace;
    std::string continuousZoomSpace;
    std::string speedPanTiltX;
    std::string speedPanTiltY;
    std::string speedPanTiltSpace;
    std::string speedZoomX;
    std::string speedZoomSpace;
    std::string timeout;
};

class PtzState;

enum class OnvifSecurity { None, Digest, Plain };

struct OnvifRequestRecord {
    std::string path;
    std::string envelope;
    std::string operation;  // local name of the body's first element
    OnvifSecurity security = OnvifSecurity::None;
    bool authorised = false;
};

struct OnvifFault {
    uint32_t httpStatus = 400;
    std::string code = "env:Sender";
    std::vector<std::string> subcodes;
    std::string reason;
};

struct OnvifReply {
    uint32_t status = 200;
    std::string body;
};

class COnvifService {
public:
    static constexpr const char* kDevicePath = "/onvif/device_service";
    static constexpr const char* kPtzPath = "/onvif/ptz_service";

    COnvifService();

    // Empty user and password: every request is accepted.
    void SetCredentials(const std::string& user, const std::string& password);
    // Scheme, host and port the capabilities reply announces ("http://127.0.0.1:8080").
    void SetBaseAddress(const std::string& address);
    // Path the media service answers on and is announced at.
    void SetMediaPath(const std::string& path);
    // Digest tokens are answered with ter:NotAuthorized; plain passwords still work.
    void SetRefuseDigest(bool refuse);
    // The next authorised request is answered with this fault.
    void FailNextRequest(const OnvifFault& fault);
    // Every authorised request of the operation (local name, "GetProfile") is
    // answered with this fault until ClearFailures.
    void FailOperation(const std::string& operation, const OnvifFault& fault);
    void ClearFailures();
    // The presets' positions; without it the PTZ service offers no presets.
    void AttachPtz(PtzState& ptz);
    // Replies in the version 1.0 PTZ namespace instead of the version 2.0 one.
    void SetPtzVersion10(bool version10);

    bool HandlesPath(const std::string& path) const;
    OnvifReply Handle(const std::string& path, const std::string& envelope);

    std::vector<OnvifRequestRecord> Requests() const;
    void ClearRequests();
    std::vector<OnvifProfile> Profiles() const;
    bool FindEncoder(const std::string& token, OnvifEncoderConfiguration& configuration) const;
    void RemoveEncoder(const std::string& token);
    std::vector<OnvifPtzConfiguration> PtzConfigurations() const;

private:
    struct Call;
    OnvifReply Dispatch(Call& call);
    OnvifReply GetCapabilities() const;
    OnvifReply GetProfiles() const;
    OnvifReply GetProfile(Call& call) const;
    OnvifReply CreateProfile(Call& call);
    OnvifReply AddConfiguration(Call& call, bool encoder);
    OnvifReply GetVideoEncoderConfiguration(Call& call) const;
    OnvifReply SetVideoEncoderConfiguration(Call& call);
    OnvifReply DispatchPtz(Call& call);
    OnvifReply GetPtzConfigurations() const;
    OnvifReply SetPtzConfiguration(Call& call);
    OnvifReply AddPtzConfiguration(Call& call);
    OnvifReply RemovePtzConfiguration(Call& call);
    OnvifReply GetPresets(Call& call) const;
    OnvifReply SetPreset(Call& call);
    OnvifReply GotoPreset(Call& call);
    OnvifReply RemovePreset(Call& call);
    // The profile of the preset call, when it has a PTZ configuration; else the fault.
    const OnvifProfile* PresetProfile(const Call& call, OnvifReply& fault) const;
    OnvifReply PtzOk(const std::string& body) const;
    std::string PtzConfigurationXml(const OnvifPtzConfiguration& configuration) const;
    bool Authorise(Call& call) const;
    std::string ProfileXml(const char* element, const OnvifProfile& profile) const;
    OnvifProfile* FindProfile(const std::string& token);
    const OnvifProfile* FindProfile(const std::string& token) const;

    mutable std::mutex m_mutex;
    std::string m_user;
    std::string m_password;
    std::string m_baseAddress = "http://127.0.0.1";
    std::string m_mediaPath = "/onvif/media_service";
    bool m_refuseDigest = false;
    bool m_failNext = false;
    OnvifFault m_nextFault;
    std::map<std::string, OnvifFault> m_failingOperations;
    PtzState* m_ptz = nullptr;
    bool m_ptzVersion10 = false;
    std::vector<OnvifPtzConfiguration> m_ptzConfigurations;
    std::vector<OnvifRequestRecord> m_requests;
    std::vector<OnvifProfile> m_profiles;
    std::map<std::string, OnvifEncoderConfiguration> m_encoders;
    uint32_t m_createdProfiles = 0;
};

}  // namespace camsim
