#pragma once
// What a PTZ configuration needs before presets are recalled through it:
// generic coordinate spaces, the highest default speed, and a time-out that
// the camera's requests can wait for.
#include <cstdint>

#include "onvif/OnvifPtzRecords.h"

namespace korvane {

// Changes the configuration in place; true when the camera must be told
// (the default speed or the time-out changed). A configuration without token
// or name is left alone.
bool AdjustPtzConfiguration(Onvif::PTZConfiguration& configuration, float highestSpeed, uint32_t requestTimeoutMs);

}  // namespace korvane
