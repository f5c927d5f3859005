#include "support/PluginDriver.h"

#include "ProbeRunner.h"

namespace korvane::test {

const char* RoleName(uint32_t role)
{
    const char* const names[] = {"Rec", "Live", "Remote"};
    return role < 3 ? names[role] : "?";
}

PluginDriver::PluginDriver()
{
    std::string error;
    m_loaded = m_plugin.Load(TALLOWCAM_PLUGIN_PATH, error);
    // The host hands its numbered parameters without gaps; 5 lets PTZ commands through.
    for (uint32_t index = 1; index <= 4; ++index)
        params.parameters[index] = "(none)";
    params.parameters[5] = "Pan=1; Tilt=1; Zoom=1; Focus=0; Iris=0; PanSpeed=1-100;TiltSpeed=1-100;ZoomSpeed=1-7;";
}

bool PluginDriver::Probe()
{
    const SettableDeviceAddress& device = params.deviceAddress;
    const tallowcam_host::CapabilityReport report = tallowcam_host::RunCapabilityQuery(
        m_plugin, {device.address, device.port, device.userName, device.password}, 10000);
    if (report.outcome != tallowcam_host::ProbeOutcome::Completed)
        return false;
    for (const auto& [number, parameter] : report.parameters)
        probedParameters[number] = parameter.value.empty() ? "(none)" : parameter.value;
    params.parameters = probedParameters;
    params.captureInfo.model = report.deviceName;
    return true;
}

bool PluginDriver::Open()
{
    Close();
    m_driver = m_plugin.CreateDriver();
    return m_driver != nullptr && m_driver->Open(&log, &frames, &params);
}

void PluginDriver::Close()
{
    if (m_driver != nullptr)
        m_driver->Close();
    m_driver.reset();
}

uint32_t PluginDriver::ChannelState(uint32_t index)
{
    uint32_t state = 99;
    return Video().GetChannelState(index, &state, nullptr, nullptr, 0) ? state : 99;
}

std::string PluginDriver::StreamName(uint32_t role) const
{
    return params.deviceAddress.address + ":" + std::to_string(params.deviceAddress.port) + "::" + RoleName(role) +
           "Stream";
}

std::vector<std::string> RtspRequests(const camsim::RtspRecorder& recorder, const std::string& method)
{
    std::vector<std::string> found;
    for (const std::string& request : recorder.Requests())
        if (method.empty() || request.rfind(method + " ", 0) == 0)
            found.push_back(request);
    return found;
}

}  // namespace korvane::test
