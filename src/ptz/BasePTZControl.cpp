#include "ptz/BasePTZControl.h"

#include <algorithm>

namespace korvane {

CBasePTZControl::CBasePTZControl(IDriver* driver, uint32_t channel)
    : m_driver(driver), m_channel(channel), m_prepositions(channel)
{
}

CBasePTZControl::~CBasePTZControl()
{
    CBasePTZControl::Close();
}

bool CBasePTZControl::Open()
{
    m_comm = CreatePTZComm();
    if (m_comm != nullptr && m_comm->Open()) {
        // A failed first load does not fail the channel: counting loads again.
        m_prepositions.Init(m_comm.get(), m_comm->Capabilities().m_preset);
        return true;
    }
    Close();
    return false;
}

void CBasePTZControl::Close()
{
    if (m_comm != nullptr) {
        m_prepositions.Release();
        m_comm->Close();
        m_comm.reset();
    }
}

int32_t CBasePTZControl::IsPTZSupported()
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return m_comm->IsPTZSupported() ? 1 : 0;
}

int32_t CBasePTZControl::StartMove(int32_t direction, uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    // Only the ten directions of the host interface are commands.
    if (direction < kPtzMoveLeft || direction >= kPtzMoveInvalid)
        return kPtzInvalidArgument;
    const bool zoom = direction == kPtzZoomTele || direction == kPtzZoomWide;
    return NoteMoved(NoteStarted(m_comm->StartMove(this, direction, speed), zoom ? m_zooming : m_moving));
}

int32_t CBasePTZControl::Stop()
{
    if (m_comm == nullptr)
        return kPtzFailure;
    bool queued = StopIfRunning(m_moving, &CBasePTZComm::StopMoving);
    queued = StopIfRunning(m_zooming, &CBasePTZComm::StopZooming) && queued;
    queued = StopIfRunning(m_irisChanging, &CBasePTZComm::StopIrisChanging) && queued;
    queued = StopIfRunning(m_focusing, &CBasePTZComm::StopFocusing) && queued;
    return queued ? kPtzSuccess : kPtzFailure;
}

int32_t CBasePTZControl::Center(uint32_t x, uint32_t y, uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(m_comm->Center(this, static_cast<int32_t>(x), static_cast<int32_t>(y), speed));
}

int32_t CBasePTZControl::ZoomIn(uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(NoteStarted(m_comm->StartMove(this, kPtzZoomTele, speed), m_zooming));
}

int32_t CBasePTZControl::ZoomOut(uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(NoteStarted(m_comm->StartMove(this, kPtzZoomWide, speed), m_zooming));
}

int32_t CBasePTZControl::Unzoom(uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(m_comm->Unzoom(this, speed));
}

int32_t CBasePTZControl::AreaZoom(uint32_t x, uint32_t y, uint32_t zoom, uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(m_comm->AreaZoom(this, static_cast<int32_t>(x), static_cast<int32_t>(y),
                                      static_cast<int32_t>(zoom), speed));
}

int32_t CBasePTZControl::FocusNear(uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(NoteStarted(m_comm->StartFocus(this, true, speed), m_focusing));
}

int32_t CBasePTZControl::FocusFar(uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(NoteStarted(m_comm->StartFocus(this, false, speed), m_focusing));
}

int32_t CBasePTZControl::IrisPlus(uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(NoteStarted(m_comm->StartIris(this, true, speed), m_irisChanging));
}

int32_t CBasePTZControl::IrisMinus(uint32_t speed)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    return NoteMoved(NoteStarted(m_comm->StartIris(this, false, speed), m_irisChanging));
}

int32_t CBasePTZControl::GetCapabilities(PTZ_CAPABILITIES* capabilities)
{
    if (m_comm == nullptr)
        return kPtzFailure;
    if (capabilities == nullptr)
        return kPtzInvalidArgument;
    const int32_t result = m_comm->GetCapabilities(capabilities);
    capabilities->presetCount = static_cast<uint32_t>(GetPrepositionCount());
    return result;
}

int32_t CBasePTZControl::GetPrepositionCount()
{
    return static_cast<int32_t>(m_prepositions.GetPrepositionCount());
}

int32_t CBasePTZControl::GetPrepositionName(int32_t index, char* buffer, uint32_t bufferSize)
{
    std::string name;
    if (!m_prepositions.GetPrepositionName(index, name))
        return kPtzPresetFailure;
    return CopyName(name, buffer, bufferSize);
}

int32_t CBasePTZControl::MoveToPreposition(int32_t speed, const char* name)
{
    if (name == nullptr)
        return kPtzInvalidArgument;
    return m_prepositions.MoveToPreposition(name, speed) ? kPtzSuccess : kPtzPresetFailure;
}

int32_t CBasePTZControl::SetPreposition(const char* name)
{
    if (name == nullptr)
        return kPtzInvalidArgument;
    return m_prepositions.SetPreposition(name);
}

int32_t CBasePTZControl::DeletePreposition(const char* name)
{
    if (name == nullptr)
        return kPtzInvalidArgument;
    return m_prepositions.DeletePreposition(name) ? kPtzSuccess : kPtzPresetFailure;
}

int32_t CBasePTZControl::GetCurrentPreposition(char* buffer, uint32_t bufferSize)
{
    std::string name;
    if (!m_prepositions.GetCurrentPreposition(name))
        return kPtzPresetFailure;
    return CopyName(name, buffer, bufferSize);
}

int32_t CBasePTZControl::CopyName(const std::string& name, char* buffer, uint32_t bufferSize)
{
    if (buffer == nullptr || name.size() >= bufferSize)
        return kPtzInvalidArgument;
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = '\0';
    return kPtzSuccess;
}

int32_t CBasePTZControl::NoteMoved(int32_t result)
{
    if (result == kPtzSuccess)
        m_prepositions.ResetCurrent();
    return result;
}

int32_t CBasePTZControl::NoteStarted(int32_t result, bool& flag)
{
    if (result == kPtzSuccess)
        flag = true;
    return result;
}

bool CBasePTZControl::StopIfRunning(bool& flag, StopOperation stop)
{
    if (!flag)
        return true;
    flag = !((*m_comm).*stop)(this);
    return !flag;
}

}  // namespace korvane
