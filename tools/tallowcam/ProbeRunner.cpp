#include "ProbeRunner.h"

#include "runtime/StringFormat.h"

namespace tallowcam_host {

namespace ipc = korvane::ipcapture;

CapabilityReport RunCapabilityQuery(const PluginLibrary& plugin, const CameraConnection& camera, uint32_t timeoutMs)
{
    CapabilityProbe probe;  // outlives the query, which reports to it
    CapabilityReport failed;
    failed.outcome = ProbeOutcome::Failed;
    PluginLibrary::QueryPtr query = plugin.CreateCapabilityQuery(&probe, 0);
    if (query == nullptr) {
        failed.failureMessage = "the plug-in created no capability query";
        return failed;
    }
    if (!query->Start(camera.address.c_str(), camera.port, camera.userName.c_str(), camera.password.c_str(),
                      &probe)) {
        failed.failureMessage = "the capability query did not start";
        return failed;
    }
    const bool answered = probe.WaitForOutcome(timeoutMs);
    query.reset();  // ends a query still running, bounded
    if (!answered) {
        failed.failureMessage = korvane::FormatString("no answer within %u ms", timeoutMs);
        return failed;
    }
    return probe.Report();
}

std::string DescribeFailure(const CapabilityReport& report, const CameraConnection& camera)
{
    const std::string where = camera.address + ":" + std::to_string(camera.port);
    std::string hint;
    switch (report.failureStatus) {
    case ipc::kCapabilityStatusCredentials:
        hint = "bad credentials: the camera refused user \"" + camera.userName + "\"; check --user and --password";
        break;
    case ipc::kCapabilityStatusUnreachable:
        hint = "camera unreachable: nothing answers at " + where + "; check the address and --port";
        break;
    case ipc::kCapabilityStatusNotFound:
        hint = "not a supported camera: " + where + " does not offer the camera's HTTP interface";
        break;
    default:
        hint = "the camera at " + where + " could not be queried";
        break;
    }
    if (report.outcome == ProbeOutcome::TimedOut)
        hint = "the capability query at " + where + " did not end in time";
    return report.failureMessage.empty() ? hint : hint + " (" + report.failureMessage + ")";
}

}  // namespace tallowcam_host
