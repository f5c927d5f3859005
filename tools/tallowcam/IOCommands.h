#pragma once
// "tallowcam events ADDRESS": prints the camera's motion and input changes as
// the driver reports them. "tallowcam output ADDRESS INDEX on|off": switches
// one output through the driver. Indexes count from 0, as the host counts.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddEventsCommand(CLI::App& app);
void AddOutputCommand(CLI::App& app);

}  // namespace tallowcam_host
