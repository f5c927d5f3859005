#include "QueriedCamera.h"

namespace tallowcam_host {

namespace {

constexpr uint32_t kProbeTimeoutMs = 30000;

}  // namespace

bool QueriedCamera::Query(const std::string& pluginPath, const CameraConnection& camera, std::string& error)
{
    if (!m_plugin.Load(pluginPath, error))
        return false;
    m_camera = camera;
    m_report = RunCapabilityQuery(m_plugin, camera, kProbeTimeoutMs);
    if (m_report.outcome != ProbeOutcome::Completed) {
        error = DescribeFailure(m_report, camera);
        return false;
    }
    return true;
}

}  // namespace tallowcam_host
