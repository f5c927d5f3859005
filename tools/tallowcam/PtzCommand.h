#pragma once
// "tallowcam ptz ADDRESS move ACTION ..." and "tallowcam presets ADDRESS
// list|set|goto|delete ...": open a driver for the camera and run one PTZ or
// preset command through the driver's PTZ interface.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddPtzCommand(CLI::App& app);
void AddPresetsCommand(CLI::App& app);

}  // namespace tallowcam_host
