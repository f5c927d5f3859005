#pragma once
// "tallowcam demo": starts the built-in simulated camera on loopback, runs the
// capability query and records a few seconds of H.264 and of Motion JPEG.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddDemoCommand(CLI::App& app);

}  // namespace tallowcam_host
