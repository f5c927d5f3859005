#include "events/IOBase.h"

#include <memory>

#include "driver/DeviceInfo.h"
#include "driver/IDriver.h"

namespace korvane {

namespace {

const char kStartOperation[] = "korvane::CIOBase::StartIO";
const char kStopOperation[] = "korvane::CIOBase::StopIO";

}  // namespace

CIOBase::CIOBase(IDriver* driver)
    : m_driver(driver),
      m_inputThread(*this, &CIOBase::GetInputStatesWrapper, driver),
      m_outputThread(*this, &CIOBase::UpdateOutput, driver)
{
}

CIOBase::~CIOBase() = default;

bool CIOBase::SetEventSink(ipcapture::IIOEventSink* sink)
{
    if (sink == nullptr)
        return false;
    m_eventSink = sink;
    return true;
}

uint32_t CIOBase::GetInputCount()
{
    uint32_t inputs = 0;
    uint32_t outputs = 0;
    m_driver->GetCaptureValues(inputs, outputs);
    return inputs;
}

uint32_t CIOBase::GetOutputCount()
{
    uint32_t inputs = 0;
    uint32_t outputs = 0;
    m_driver->GetCaptureValues(inputs, outputs);
    return outputs;
}

bool CIOBase::StartIO()
{
    ResetTables();
    const DEVICE_INFO& device = *m_driver->GetDeviceInfo();
    bool result = true;
    const uint32_t outputs = GetOutputCount();
    if (outputs != 0) {
        if (!m_outputThread.Start("Digital Output thread")) {
            m_driver->DebugMessage(kLogError, "%s: Start Output thread failed! Device %s:%u", kStartOperation,
                                   device.address.c_str(), device.port);
            result = false;
        } else {
            for (uint32_t index = 0; index < outputs; ++index)
                SetOutputState(index, kIOStateOff);
        }
    }
    if (GetInputCount() != 0 && !m_inputThread.StartTicking("Digital Input thread")) {
        m_driver->DebugMessage(kLogError, "%s: Start Input thread failed! Device %s:%u", kStartOperation,
                               device.address.c_str(), device.port);
        result = false;
    }
    return result;
}

bool CIOBase::StopIO()
{
    m_inputThread.RequestStop();
    m_outputThread.RequestStop();
    AbortRequests();
    const DEVICE_INFO& device = *m_driver->GetDeviceInfo();
    bool result = true;
    if (!m_outputThread.Stop()) {
        m_driver->DebugMessage(kLogError, "%s: Stop Output thread failed! Device %s:%u", kStopOperation,
                               device.address.c_str(), device.port);
        result = false;
    }
    if (!m_inputThread.StopTicking()) {
        m_driver->DebugMessage(kLogError, "%s: Stop Input thread failed! Device %s:%u", kStopOperation,
                               device.address.c_str(), device.port);
        result = false;
    }
    ResetTables();
    return result;
}

bool CIOBase::SetOutputState(uint32_t index, uint32_t state)
{
    return m_outputThread.AddItem(std::make_unique<COutputState>(index, state), 0);
}

void CIOBase::UpdateOutput(uint32_t index, uint32_t state)
{
    {
        CAutoLock guard(m_tablesLock);
        const auto found = m_outputStates.find(index);
        if (found == m_outputStates.end() || found->second == state)
            return;  // an output the camera does not have, or no change
        found->second = state;
    }
    SetOutputStateWrapper(index, state);
}

void CIOBase::SetOutputStateWrapper(uint32_t index, uint32_t state)
{
    if (WriteOutput(index, state)) {
        m_logOutputFailure = true;
        return;
    }
    if (m_outputThread.IsStopRequested())
        return;  // ended by the stop, not by the camera
    ResetTables();
    ReportIOError();
    if (m_logOutputFailure) {
        m_logOutputFailure = false;
        const DEVICE_INFO& device = *m_driver->GetDeviceInfo();
        m_driver->DebugMessage(kLogDebug, "%s: Unable to change output state for device %s:%u (output index %u)",
                               "korvane::CIOBase::SetOutputStateWrapper", device.address.c_str(), device.port, index);
    }
}

void CIOBase::GetInputStatesWrapper()
{
    if (ReadInputs(GetInputCount())) {
        m_logInputFailure = true;
        return;
    }
    if (m_inputThread.IsStopRequested())
        return;  // ended by the stop, not by the camera
    ResetTables();
    ReportIOError();
    if (m_logInputFailure) {
        m_logInputFailure = false;
        const DEVICE_INFO& device = *m_driver->GetDeviceInfo();
        m_driver->DebugMessage(kLogDebug, "%s: GetInputStates() method failed! Device %s:%u",
                               "korvane::CIOBase::GetInputStatesWrapper", device.address.c_str(), device.port);
    }
}

void CIOBase::UpdateInput(uint32_t index, uint32_t state)
{
    {
        CAutoLock guard(m_tablesLock);
        const auto found = m_inputStates.find(index);
        if (found == m_inputStates.end() || found->second == state)
            return;
        found->second = state;
    }
    if (ipcapture::IIOEventSink* sink = m_eventSink) {
        try {
            sink->OnInputChanged(index, state);
        } catch (...) {
        }
    }
}

void CIOBase::ReportIOError()
{
    if (ipcapture::IIOEventSink* sink = m_eventSink) {
        try {
            sink->OnIOError();
        } catch (...) {
        }
    }
}

void CIOBase::ResetTables()
{
    const uint32_t inputs = GetInputCount();
    const uint32_t outputs = GetOutputCount();
    CAutoLock guard(m_tablesLock);
    m_outputStates.clear();
    for (uint32_t index = 0; index < outputs; ++index)
        m_outputStates[index] = kIOStateUnknown;
    m_inputStates.clear();
    for (uint32_t index = 0; index < inputs; ++index)
        m_inputStates[index] = kIOStateUnknown;
}

}  // namespace korvane
