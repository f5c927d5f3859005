#pragma once
// "tallowcam demo": creates, opens, closes and deletes one driver and prints
// what it logs.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddDemoCommand(CLI::App& app);

}  // namespace tallowcam_host
