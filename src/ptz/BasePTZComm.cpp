#include "ptz/BasePTZComm.h"

#include <cstdarg>

#include "driver/IDriver.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

// Posting with this limit first discards everything still pending.
constexpr uint32_t kOnlyThisItem = 1;

bool IsZoomDirection(int32_t direction)
{
    return direction == kPtzZoomTele || direction == kPtzZoomWide;
}

}  // namespace

CBasePTZComm::CBasePTZComm(IDriver* driver, uint16_t channel, const CPtzCapabilities& capabilities,
                           uint32_t queueLimit)
    : CQueueThread<CPTZItem>(driver),
      m_driver(driver),
      m_channel(channel),
      m_capabilities(capabilities),
      m_queueLimit(queueLimit)
{
}

CBasePTZComm::~CBasePTZComm()
{
    CBasePTZComm::Close();
}

bool CBasePTZComm::Open()
{
    if (!m_running) {
        m_running = Start(FormatString("BaseIPPTZThread_Ch%u", m_channel + 1u));
        if (!m_running)
            DebugMessage(kLogError, "%s: unable to start thread for PTZ channel %u", "korvane::CBasePTZComm::Open",
                         m_channel + 1u);
    }
    return m_running;
}

void CBasePTZComm::Close()
{
    if (m_running) {
        Stop();
        m_running = false;
    }
}

bool CBasePTZComm::IsPTZSupported() const
{
    return m_capabilities.m_pan || m_capabilities.m_tilt || m_capabilities.m_zoom || m_capabilities.m_focus ||
           m_capabilities.m_iris;
}

int32_t CBasePTZComm::GetCapabilities(PTZ_CAPABILITIES* capabilities) const
{
    capabilities->pan = m_capabilities.m_pan ? 1 : 0;
    capabilities->tilt = m_capabilities.m_tilt ? 1 : 0;
    capabilities->zoom = m_capabilities.m_zoom ? 1 : 0;
    capabilities->focus = m_capabilities.m_focus ? 1 : 0;
    capabilities->iris = m_capabilities.m_iris ? 1 : 0;
    capabilities->reserved6 = 0;
    capabilities->maxPresets = m_capabilities.m_preset;
    capabilities->presetCount = 0;
    capabilities->reserved9 = 0;
    capabilities->reserved10 = 0;
    capabilities->areaZoom = m_capabilities.m_areaZoom ? 1 : 0;
    capabilities->center = m_capabilities.m_center ? 1 : 0;
    capabilities->unzoom = m_capabilities.m_unzoom ? 1 : 0;
    return kPtzSuccess;
}

int32_t CBasePTZComm::StartMove(IIPParams* params, int32_t direction, uint32_t speed)
{
    const bool supported = IsZoomDirection(direction) ? m_capabilities.m_zoom
                                                      : (m_capabilities.m_pan || m_capabilities.m_tilt);
    return PostIfSupported("korvane::CBasePTZComm::StartMove", supported,
                           std::make_unique<CPTZItem>(PTZ_CMD_MOVE, PTZ_SUB_NONE, params, speed, direction));
}

int32_t CBasePTZComm::StartFocus(IIPParams* params, bool towardsNear, uint32_t speed)
{
    return PostIfSupported(
        "korvane::CBasePTZComm::StartFocus", m_capabilities.m_focus,
        std::make_unique<CPTZItem>(PTZ_CMD_FOCUS, towardsNear ? PTZ_SUB_FOCUS_NEAR : PTZ_SUB_FOCUS_FAR, params, speed));
}

int32_t CBasePTZComm::StartIris(IIPParams* params, bool up, uint32_t speed)
{
    return PostIfSupported(
        "korvane::CBasePTZComm::StartIris", m_capabilities.m_iris,
        std::make_unique<CPTZItem>(PTZ_CMD_IRIS, up ? PTZ_SUB_IRIS_UP : PTZ_SUB_IRIS_DOWN, params, speed));
}

int32_t CBasePTZComm::AreaZoom(IIPParams* params, int32_t x, int32_t y, int32_t zoom, uint32_t speed)
{
    return PostIfSupported("korvane::CBasePTZComm::AreaZoom", m_capabilities.m_areaZoom,
                           std::make_unique<CPTZItem>(PTZ_CMD_AREAZOOM, PTZ_SUB_NONE, params, speed, x, y, zoom));
}

int32_t CBasePTZComm::Center(IIPParams* params, int32_t x, int32_t y, uint32_t speed)
{
    return PostIfSupported("korvane::CBasePTZComm::Center", m_capabilities.m_center,
                           std::make_unique<CPTZItem>(PTZ_CMD_CENTER, PTZ_SUB_NONE, params, speed, x, y));
}

int32_t CBasePTZComm::Unzoom(IIPParams* params, uint32_t speed)
{
    return PostIfSupported("korvane::CBasePTZComm::Unzoom", m_capabilities.m_unzoom,
                           std::make_unique<CPTZItem>(PTZ_CMD_UNZOOM, PTZ_SUB_NONE, params, speed));
}

bool CBasePTZComm::StopMoving(IIPParams* params)
{
    return PostCommand("korvane::CBasePTZComm::StopMoving",
                       std::make_unique<CPTZItem>(PTZ_CMD_STOP, PTZ_SUB_STOP_PANTILT, params, 0), kOnlyThisItem);
}

bool CBasePTZComm::StopZooming(IIPParams* params)
{
    return PostCommand("korvane::CBasePTZComm::StopZooming",
                       std::make_unique<CPTZItem>(PTZ_CMD_STOP, PTZ_SUB_STOP_ZOOM, params, 0), m_queueLimit);
}

bool CBasePTZComm::StopFocusing(IIPParams* params)
{
    return PostCommand("korvane::CBasePTZComm::StopFocusing",
                       std::make_unique<CPTZItem>(PTZ_CMD_STOP, PTZ_SUB_STOP_FOCUS, params, 0), m_queueLimit);
}

bool CBasePTZComm::StopIrisChanging(IIPParams* params)
{
    return PostCommand("korvane::CBasePTZComm::StopIrisChanging",
                       std::make_unique<CPTZItem>(PTZ_CMD_STOP, PTZ_SUB_STOP_IRIS, params, 0), m_queueLimit);
}

int32_t CBasePTZComm::PostIfSupported(const char* operation, bool supported, std::unique_ptr<CPTZItem> item)
{
    if (!supported)
        return kPtzNotSupported;
    return PostCommand(operation, std::move(item), m_queueLimit) ? kPtzSuccess : kPtzFailure;
}

bool CBasePTZComm::PostCommand(const char* operation, std::unique_ptr<CPTZItem> item, uint32_t limit)
{
    const uint32_t type = item->m_type;
    if (AddItem(std::move(item), limit))
        return true;
    DebugMessage(kLogError, "%s: cannot send message (%d) to thread", operation, static_cast<int>(type));
    return false;
}

const char* CBasePTZComm::GetDeviceName()
{
    return m_driver->GetDeviceName();
}

void CBasePTZComm::DebugMessage(uint32_t level, const char* format, ...)
{
    std::string line;
    va_list args;
    va_start(args, format);
    const bool formatted = FormatStringTo(line, format, args);
    va_end(args);
    if (formatted)
        m_driver->DebugMessage(level, "%s", line.c_str());
}

}  // namespace korvane
