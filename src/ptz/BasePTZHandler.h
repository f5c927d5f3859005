#pragma once
// The driver's PTZ side: creates, opens and owns one control per channel on
// first request. Only channel 0 exists.
#include <cstdint>
#include <map>
#include <memory>

#include "ptz/BasePTZControl.h"
#include "runtime/RecursiveLock.h"
#include "tallowcam/PtzInterfaces.h"

namespace korvane {

class IDriver;

class CIPPTZDriverIf : public IIPPTZDriverEx {
};

class CBasePTZHandler : public CIPPTZDriverIf {
public:
    explicit CBasePTZHandler(IDriver* driver) : m_driver(driver) {}
    virtual ~CBasePTZHandler();
    TALLOWCAM_DELETING_DESTRUCTOR
    CBasePTZHandler(const CBasePTZHandler&) = delete;
    CBasePTZHandler& operator=(const CBasePTZHandler&) = delete;

    // The channel's open control; null for a channel that does not exist or
    // does not open (a later call tries again).
    IIPPTZApiEx* GetPTZApiEx(uint32_t channel) override;
    virtual std::unique_ptr<CBasePTZControl> CreatePTZControl(uint32_t channel) = 0;
    virtual void ReleaseControls();

protected:
    IDriver* Driver() const { return m_driver; }

private:
    IDriver* m_driver;
    CRecursiveLock m_controlsLock;  // guards m_controls: hosts may ask from several threads
    std::map<uint32_t, std::unique_ptr<CBasePTZControl>> m_controls;
    uint32_t m_channelCount = 1;
};

}  // namespace korvane
