// tallowcam: a command-line host for the Tallowcam driver plug-in.
#include <CLI/CLI.hpp>

#include "AudioCommand.h"
#include "CommandSupport.h"
#include "DemoCommand.h"
#include "IOCommands.h"
#include "PtzCommand.h"
#include "ProbeCommand.h"
#include "RecordCommand.h"

int main(int argc, char** argv)
{
    CLI::App app{"Command-line host for the Tallowcam capture driver"};
    app.set_version_flag("--version", "tallowcam " TALLOWCAM_VERSION "\nplug-in: " + tallowcam_host::DefaultPluginPath());
    app.require_subcommand(1);
    tallowcam_host::AddDemoCommand(app);
    tallowcam_host::AddAudioCommand(app);
    tallowcam_host::AddPtzCommand(app);
    tallowcam_host::AddPresetsCommand(app);
    tallowcam_host::AddEventsCommand(app);
    tallowcam_host::AddOutputCommand(app);
    tallowcam_host::AddProbeCommand(app);
    tallowcam_host::AddRecordCommand(app);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
