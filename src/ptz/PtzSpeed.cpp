#include "ptz/PtzSpeed.h"

#include <algorithm>

namespace korvane {

namespace {

// A range whose maximum lies below its minimum has no span.
double Span(const PTZ_RANGE& range)
{
    return range.maximum > range.minimum ? static_cast<double>(range.maximum - range.minimum) : 0.0;
}

}  // namespace

int32_t CameraSpeed(const PTZ_RANGE& range, uint32_t hostSpeed)
{
    const int32_t steps = static_cast<int32_t>(std::clamp(hostSpeed, kSlowestHostSpeed, kFastestHostSpeed)) - 1;
    const double offset = Span(range) * steps / static_cast<double>(kFastestHostSpeed - kSlowestHostSpeed);
    return static_cast<int32_t>(range.minimum + static_cast<uint32_t>(offset));
}

PTZ_RANGE LimitSpeedRange(const PTZ_RANGE& range, uint32_t percent)
{
    PTZ_RANGE limited = range;
    if (percent < 100)
        limited.maximum = range.minimum + static_cast<uint32_t>(percent / 100.0 * Span(range));
    return limited;
}

}  // namespace korvane
