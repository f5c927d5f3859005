#pragma once
// Host speeds (1 slowest to 16 fastest) in the camera's speed ranges.
#include <cstdint>

#include "ptz/PtzCapabilities.h"

namespace korvane {

constexpr uint32_t kSlowestHostSpeed = 1;
constexpr uint32_t kFastestHostSpeed = 16;

// min + floor((max - min) * (speed - 1) / 15); a speed outside 1..16 counts as
// the nearest end, so the result always lies in the range.
int32_t CameraSpeed(const PTZ_RANGE& range, uint32_t hostSpeed);

// The range cut to percent (1 to 100) of its span: max = min + trunc(percent / 100 * (max - min)).
PTZ_RANGE LimitSpeedRange(const PTZ_RANGE& range, uint32_t percent);

}  // namespace korvane
