#pragma once
// Wall-clock time on the Windows file-time scale (100 ns since 1601-01-01 UTC),
// calendar conversions, the local time zone and a millisecond tick counter.
#include <cstdint>

#include "tallowcam/HostTypes.h"

namespace korvane::platform {

constexpr uint64_t kFileTimeTicksPerMs = 10000;

uint64_t NowFileTime();
bool FileTimeToSystemTime(uint64_t fileTime, SYSTEMTIME& out);
// 0 when the calendar time is invalid.
uint64_t SystemTimeToFileTime(const SYSTEMTIME& time);
SYSTEMTIME UtcTimeNow();
SYSTEMTIME LocalTimeNow();

struct TimeZoneInfo {
    int32_t biasMinutes;          // UTC = local standard time + bias
    int32_t daylightBiasMinutes;  // added to bias while daylight saving time is in force
    bool hasDaylightRules;        // local time changes its offset from UTC in the current year
    bool daylightNow;             // daylight saving time is in force now
};
TimeZoneInfo CurrentTimeZone();

// Milliseconds since an arbitrary start, wrapping at 2^32 (timeGetTime).
uint32_t TickCountMs();

}  // namespace korvane::platform
