#include "ProbeCommand.h"

#include <memory>

#include "CommandSupport.h"
#include "ReportPrinter.h"

namespace tallowcam_host {

namespace {

struct ProbeOptions {
    std::string plugin = TALLOWCAM_DEFAULT_PLUGIN;
    CameraConnection camera;
    bool json = false;
};

int RunProbe(const ProbeOptions& options)
{
    PluginLibrary plugin;
    std::string error;
    if (!plugin.Load(options.plugin, error))
        return Fail(error);
    const CapabilityReport report = RunCapabilityQuery(plugin, options.camera, kProbeTimeoutMs);
    const bool completed = report.outcome == ProbeOutcome::Completed;
    if (options.json)
        std::printf("%s\n", ReportToJson(report).dump(2).c_str());
    else if (completed)
        PrintReport(report, stdout);
    return completed ? 0 : Fail(DescribeFailure(report, options.camera));
}

}  // namespace

void AddProbeCommand(CLI::App& app)
{
    auto options = std::make_shared<ProbeOptions>();
    CLI::App* probe = app.add_subcommand("probe", "Ask a camera what it offers (the capability query)");
    AddCameraOptions(*probe, options->camera);
    probe->add_flag("--json", options->json, "Print the result as JSON");
    AddPluginOption(*probe, options->plugin);
    probe->callback([options] {
        if (const int status = RunProbe(*options); status != 0)
            throw CLI::RuntimeError(status);
    });
}

}  // namespace tallowcam_host
