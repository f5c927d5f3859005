#include "ptz/BasePTZHandler.h"

namespace korvane {

CBasePTZHandler::~CBasePTZHandler()
{
    CBasePTZHandler::ReleaseControls();
}

IIPPTZApiEx* CBasePTZHandler::GetPTZApiEx(uint32_t channel)
{
    if (channel >= m_channelCount)
        return nullptr;
    CAutoLock guard(m_controlsLock);
    std::unique_ptr<CBasePTZControl>& control = m_controls[channel];
    if (control == nullptr) {
        std::unique_ptr<CBasePTZControl> created = CreatePTZControl(channel);
        if (created != nullptr && created->Open())
            control = std::move(created);
    }
    return control.get();
}

void CBasePTZHandler::ReleaseControls()
{
    CAutoLock guard(m_controlsLock);
    m_controls.clear();
}

}  // namespace korvane
