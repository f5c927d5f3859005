#include "ptz/CanonPTZControl.h"

#include "driver/IDriver.h"
#include "ptz/CanonPTZComm.h"
#include "ptz/PtzSpeed.h"
#include "runtime/Configuration.h"

namespace korvane {

std::unique_ptr<CBasePTZComm> CCanonPTZControl::CreatePTZComm()
{
    CPtzCapabilities capabilities;
    if (const CPtzCapabilities* driverCapabilities = Driver().GetPtzCapabilities())
        capabilities = *driverCapabilities;
    const CConfigSettings settings = CConfiguration(Driver()).GetSettings();
    capabilities.m_panSpeed = LimitSpeedRange(capabilities.m_panSpeed, settings.panSpeed);
    capabilities.m_tiltSpeed = LimitSpeedRange(capabilities.m_tiltSpeed, settings.tiltSpeed);
    capabilities.m_zoomSpeed = LimitSpeedRange(capabilities.m_zoomSpeed, settings.zoomSpeed);
    return std::make_unique<CCanonPTZComm>(&Driver(), static_cast<uint16_t>(GetChannel()), capabilities,
                                           settings.ptzQueueSize);
}

}  // namespace korvane
