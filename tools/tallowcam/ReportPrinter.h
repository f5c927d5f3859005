#pragma once
// The capability report as readable text and as JSON.
#include <cstdio>

#include <nlohmann/json.hpp>

#include "CapabilityProbe.h"

namespace tallowcam_host {

// Frames per second of a frame value in the host's reporting encoding
// (milliseconds between frames, or 0x70000000 + rate).
double FramesPerSecond(uint32_t frameValue);

void PrintReport(const CapabilityReport& report, std::FILE* out);
nlohmann::json ReportToJson(const CapabilityReport& report);

}  // namespace tallowcam_host
