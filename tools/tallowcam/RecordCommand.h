#pragma once
// "tallowcam record ADDRESS": records one stream of a camera into a file.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddRecordCommand(CLI::App& app);

}  // namespace tallowcam_host
