#include "ProbeCommand.h"

#include <memory>

#include "CommandSupport.h"
#include "QueriedCamera.h"
#include "ReportPrinter.h"

namespace tallowcam_host {

namespace {

struct ProbeOptions {
    std::string plugin = DefaultPluginPath();
    CameraConnection camera;
    bool json = false;
};

int RunProbe(const ProbeOptions& options)
{
    QueriedCamera camera;
    std::string error;
    const bool completed = camera.Query(options.plugin, options.camera, error);
    const CapabilityReport& report = camera.Report();
    if (options.json && report.outcome != ProbeOutcome::Pending)
        std::printf("%s\n", ReportToJson(report).dump(2).c_str());
    else if (completed)
        PrintReport(report, stdout);
    return completed ? 0 : Fail(error);
}

}  // namespace

void AddProbeCommand(CLI::App& app)
{
    auto options = std::make_shared<ProbeOptions>();
    CLI::App* probe = app.add_subcommand("probe", "Ask a camera what it offers (the capability query)");
    AddCameraOptions(*probe, options->camera);
    probe->add_flag("--json", options->json, "Print the result as JSON");
    AddPluginOption(*probe, options->plugin);
    RunOnCallback(*probe, RunProbe, options);
}

}  // namespace tallowcam_host
