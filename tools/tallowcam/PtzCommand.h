#pragma once
// "tallowcam ptz ADDRESS move ACTION ...": opens a driver for the camera and
// runs one PTZ command through the driver's PTZ interface.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddPtzCommand(CLI::App& app);

}  // namespace tallowcam_host
