// The preset side of CCanonPTZComm: ONVIF PTZ calls on the caller's thread.
#include <algorithm>
#include <cmath>
#include <cstdarg>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"
#include "ptz/CanonPTZComm.h"
#include "ptz/PtzConfigurationAdjustment.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr char kProfile[] = "profile0";
constexpr float kHostSpeedStep = 0.0625f;  // host speed 16 is the camera's 1.0

}  // namespace

bool CCanonPTZComm::EnsureConfigured()
{
    if (IsStopRequested())
        return false;
    if (!m_configured)
        m_configured = UpdateDevicePtzConfiguration();
    return m_configured;
}

bool CCanonPTZComm::SendCommand_SetPreposition(PREPOSITION& entry)
{
    if (!EnsureConfigured())
        return false;
    std::string token = entry.token;
    if (!m_onvif.SetPreset(entry.name, token)) {
        DebugMessageOnvif("%s: Device %s is unable to set preposition \"%s\" (<tptz:SetPreset> request)",
                          "korvane::CCanonPTZComm::SendCommand_SetPreposition", GetDeviceName(), entry.name.c_str());
        m_configured = false;
        return false;
    }
    if (entry.token.empty())
        entry.token = token;
    return true;
}

bool CCanonPTZComm::SendCommand_MoveToPreposition(const PREPOSITION& entry, int32_t speed)
{
    if (!EnsureConfigured())
        return false;
    const float value = std::clamp(static_cast<float>(std::abs(static_cast<double>(speed))) * kHostSpeedStep,
                                   m_lowestPresetSpeed, m_highestPresetSpeed);
    Onvif::PtzSpeed onvifSpeed;
    onvifSpeed.panTiltX = value;
    onvifSpeed.panTiltY = value;
    onvifSpeed.zoomX = value;
    onvifSpeed.panTiltSpace = m_panTiltSpeedSpace;
    onvifSpeed.zoomSpace = m_zoomSpeedSpace;
    if (!m_onvif.GotoPreset(entry.token, onvifSpeed)) {
        DebugMessageOnvif("%s: Device %s cannot process <tptz:GotoPreset> request for preposition \"%s\"",
                          "korvane::CCanonPTZComm::SendCommand_MoveToPreposition", GetDeviceName(),
                          entry.token.c_str());
        m_configured = false;
        return false;
    }
    return true;
}

bool CCanonPTZComm::SendCommand_DeletePreposition(const PREPOSITION& entry)
{
    if (!EnsureConfigured())
        return false;
    if (!m_onvif.RemovePreset(entry.token)) {
        DebugMessageOnvif("%s: Device %s is unable to remove preposition \"%s\" (<tptz:RemovePreset> request)",
                          "korvane::CCanonPTZComm::SendCommand_DeletePreposition", GetDeviceName(),
                          entry.token.c_str());
        m_configured = false;
        return false;
    }
    return true;
}

bool CCanonPTZComm::SendCommand_LoadPrepositions(std::vector<PREPOSITION>& entries)
{
    entries.clear();
    // On success the client takes over the camera's service paths, the PTZ path
    // among them; before the first configuration it has no connection for that.
    if (m_onvif.GetPtzServicePath().empty() && !IsStopRequested())
        m_onvif.Init(std::string(), std::string());
    Onvif::Capabilities capabilities;
    m_onvif.GetCapabilities(capabilities);
    if (!EnsureConfigured())
        return false;
    std::vector<Onvif::PresetNode> presets;
    if (!m_onvif.GetPresets(presets)) {
        DebugMessageOnvif(
            "%s: Unable to load PTZ prepositions from device %s (<tptz:GetPresets> request, PTZ channel %u)",
            "korvane::CCanonPTZComm::SendCommand_LoadPrepositions", GetDeviceName(),
            static_cast<unsigned>(GetChannel()));
        m_configured = false;
        return false;
    }
    for (const Onvif::PresetNode& preset : presets) {
        if (!preset.token.empty())
            entries.push_back(PREPOSITION{preset.token, preset.name.empty() ? "Preset " + preset.token : preset.name});
    }
    return true;
}

bool CCanonPTZComm::UpdateDevicePtzConfiguration()
{
    const char* operation = "korvane::CCanonPTZComm::UpdateDevicePtzConfiguration";
    m_onvif.ReleaseSender();
    if (IsStopRequested() || !m_onvif.Init(std::string(), std::string()))
        return false;

    Onvif::MediaProfile profile;
    if (IsStopRequested())
        return false;
    if (!m_onvif.GetProfile(kProfile, profile)) {
        DebugMessageOnvif("%s: Unable to receive media profile \"%s\" from device %s (<trt:GetProfile> request)",
                          operation, kProfile, GetDeviceName());
        return false;
    }

    Onvif::PTZConfiguration configuration = profile.ptzConfiguration;
    if (configuration.token.empty() && !SelectPtzConfiguration(configuration))
        return false;
    if (IsStopRequested())
        return false;
    if (AdjustPtzConfiguration(configuration, m_highestPresetSpeed, Driver().GetDeviceInfo()->requestTimeoutMs) &&
        !m_onvif.SetConfiguration(configuration)) {
        DebugMessageOnvif("%s: Unable to update PTZ configuration \"%s\" for device %s (<tptz:SetConfiguration> request)",
                          operation, configuration.token.c_str(), GetDeviceName());
        return false;
    }

    if (IsStopRequested())
        return false;
    const std::string& attached = profile.ptzConfiguration.token;
    if (attached != configuration.token) {
        if (!attached.empty() && !m_onvif.RemovePTZConfiguration(kProfile)) {
            DebugMessageOnvif("%s: Unable to remove PTZ configuration from media profile \"%s\" for device %s "
                              "(<trt:RemovePTZConfiguration> request)",
                              operation, kProfile, GetDeviceName());
            return false;
        }
        if (IsStopRequested())
            return false;
        if (!m_onvif.AddPTZConfiguration(kProfile, configuration.token)) {
            DebugMessageOnvif("%s: Cannot associate PTZ configuration \"%s\" with media profile \"%s\" for device %s "
                              "(<trt:AddPTZConfiguration> request)",
                              operation, configuration.token.c_str(), kProfile, GetDeviceName());
            return false;
        }
    } else {
        m_onvif.SetProfileToken(kProfile);
    }
    // Recalls name the speed in the configuration's own speed spaces; without
    // them the camera would not see the speed at all.
    m_panTiltSpeedSpace = configuration.defaultSpeed.panTiltSpace;
    m_zoomSpeedSpace = configuration.defaultSpeed.zoomSpace;
    ForgetOnvifMessage();
    return true;
}

bool CCanonPTZComm::SelectPtzConfiguration(Onvif::PTZConfiguration& configuration)
{
    std::vector<Onvif::PTZConfiguration> configurations;
    if (!m_onvif.GetConfigurations(configurations)) {
        DebugMessageOnvif("%s: Unable to receive current PTZ configurations from device %s "
                          "(<tptz:GetConfigurations> request)",
                          "korvane::CCanonPTZComm::SelectPtzConfiguration", GetDeviceName());
        return false;
    }
    if (configurations.empty())
        return false;
    configuration = configurations[std::min<size_t>(GetChannel(), configurations.size() - 1)];
    return true;
}

void CCanonPTZComm::DebugMessageOnvif(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    try {
        const std::string message = FormatStringV(format, args) + m_onvif.GetLastErrorText(". ");
        bool repeated = false;
        {
            CAutoLock guard(m_onvifMessageLock);
            repeated = message == m_lastOnvifMessage;
            m_lastOnvifMessage = message;
        }
        // Without any reply the camera is just away: not an error for the host's log.
        const uint32_t level = m_onvif.GetLastError().httpStatus != 0 ? kLogError : kLogDebug;
        if (!repeated)
            DebugMessage(level, "%s", message.c_str());
    } catch (...) {
        DebugMessage(kLogError, "Unhandled exception in method %s", "korvane::CCanonPTZComm::DebugMessageOnvif");
    }
    va_end(args);
}

void CCanonPTZComm::ForgetOnvifMessage()
{
    CAutoLock guard(m_onvifMessageLock);
    m_lastOnvifMessage.clear();
}

}  // namespace korvane
