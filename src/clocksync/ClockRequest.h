#pragma once
// The settings request that writes the recorder's time and time zone into a camera.
#include <string>

#include "platform/Time.h"
#include "tallowcam/HostTypes.h"

namespace korvane {

// Offset (bc00, hours east of UTC), optionally the daylight-saving switch
// (bc30, with bc31), and the local date and time (bc20, "YYYYMMDD:hhmmss").
std::string BuildClockRequest(bool withDaylightKey, const platform::TimeZoneInfo& zone, const SYSTEMTIME& local);

}  // namespace korvane
