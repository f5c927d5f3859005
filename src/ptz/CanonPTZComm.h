#pragma once
// Executes a channel's queued PTZ commands as requests of the camera's HTTP
// control interface, keeping the camera's focus and exposure modes in step
// with the channel's cached flags. Presets go over ONVIF, on the caller's
// thread, through the PTZ configuration of the media profile "profile0".
#include <cstdint>
#include <string>
#include <vector>

#include "onvif/OnvifPtzClient.h"
#include "ptz/BasePTZComm.h"
#include "runtime/HttpSender.h"
#include "runtime/RecursiveLock.h"

namespace korvane {

class CCanonPTZComm : public CBasePTZComm {
public:
    CCanonPTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities, uint32_t queueLimit);
    ~CCanonPTZComm() override;

    // ---- IPrepositionComm
    bool SendCommand_SetPreposition(PREPOSITION& entry) override;
    bool SendCommand_MoveToPreposition(const PREPOSITION& entry, int32_t speed) override;
    bool SendCommand_DeletePreposition(const PREPOSITION& entry) override;
    bool SendCommand_LoadPrepositions(std::vector<PREPOSITION>& entries) override;

protected:
    void HandleWorkItem(CPTZItem& item) override;

private:
    using ModeGetter = bool (IIPParams::*)();
    using ModeSetter = void (IIPParams::*)(bool);

    void ProcessMoveCommand(const CPTZItem& item);
    void ProcessFocusCommand(const CPTZItem& item);
    void ProcessIrisCommand(const CPTZItem& item);
    void ProcessStopCommand(const CPTZItem& item);
    void ProcessCenterCommand(const CPTZItem& item);
    void ProcessAreaZoomCommand(const CPTZItem& item);

    // Switch the camera's focus (exposure) mode when the cached flag differs;
    // the flag takes the new value whatever the request's outcome.
    bool SetManualFocus(IIPParams* params, bool manual);
    bool SetManualIris(IIPParams* params, bool manual);
    bool SetManualMode(const char* operation, IIPParams* params, bool manual, ModeGetter get, ModeSetter set,
                       const char* requestName);

    // The point as the camera's relative pan and tilt texts ("+25", "0", "-40");
    // false (logged) while no picture size is known.
    bool RelativePosition(const char* operation, const CPTZItem& item, std::string& pan, std::string& tilt);
    bool ReadIris(uint32_t& value);
    // Sends "/-wvhttp-01-/control.cgi?" + query; failures are logged.
    bool SendControl(const std::string& query);
    bool SendGet(const std::string& path, std::vector<uint8_t>& body);

    // Configures the channel unless it is; false while the worker stops.
    bool EnsureConfigured();
    // Gives "profile0" a PTZ configuration fit for presets.
    bool UpdateDevicePtzConfiguration();
    // The camera's configuration for this channel (the last one for a channel beyond them).
    bool SelectPtzConfiguration(Onvif::PTZConfiguration& configuration);
    // The message with the client's last error; a repeat of the last one is dropped.
    void DebugMessageOnvif(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ForgetOnvifMessage();

    Web::CHttpSender m_sender;

    COnvifPtzClient m_onvif;
    bool m_configured = false;
    const float m_lowestPresetSpeed = 0.15f;
    const float m_highestPresetSpeed = 1.0f;
    CRecursiveLock m_onvifMessageLock;  // guards m_lastOnvifMessage
    std::string m_lastOnvifMessage;
    // The configuration's default speed spaces, which recalls name with their speed.
    std::string m_panTiltSpeedSpace;
    std::string m_zoomSpeedSpace;
};

}  // namespace korvane
