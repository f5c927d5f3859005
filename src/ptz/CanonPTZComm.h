#pragma once
// Executes a channel's queued PTZ commands as requests of the camera's HTTP
// control interface, keeping the camera's focus and exposure modes in step
// with the channel's cached flags.
#include <cstdint>
#include <string>
#include <vector>

#include "ptz/BasePTZComm.h"
#include "runtime/HttpSender.h"

namespace korvane {

class CCanonPTZComm : public CBasePTZComm {
public:
    CCanonPTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities, uint32_t queueLimit);
    ~CCanonPTZComm() override;

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

    Web::CHttpSender m_sender;
};

}  // namespace korvane
