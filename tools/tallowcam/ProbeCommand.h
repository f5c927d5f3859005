#pragma once
// "tallowcam probe ADDRESS": the capability query, as text or JSON.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddProbeCommand(CLI::App& app);

}  // namespace tallowcam_host
