#pragma once
// Runs one capability query through the plug-in and waits for its outcome.
#include <cstdint>
#include <string>

#include "CapabilityProbe.h"
#include "PluginLibrary.h"

namespace tallowcam_host {

struct CameraConnection {
    std::string address;
    uint16_t port = 80;
    std::string userName = "root";
    std::string password;
};

// The report's outcome tells how the query ended; a query that cannot be
// started, or does not answer within timeoutMs, ends as Failed with a message.
CapabilityReport RunCapabilityQuery(const PluginLibrary& plugin, const CameraConnection& camera, uint32_t timeoutMs);

// One line for the user about a failed query: what went wrong and what to check.
std::string DescribeFailure(const CapabilityReport& report, const CameraConnection& camera);

}  // namespace tallowcam_host
