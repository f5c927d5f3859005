#include "platform/Time.h"

#include <windows.h>
#include <mmsystem.h>

namespace korvane::platform {

namespace {

uint64_t FromFileTime(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t time)
{
    FILETIME out{};
    out.dwLowDateTime = static_cast<DWORD>(time);
    out.dwHighDateTime = static_cast<DWORD>(time >> 32);
    return out;
}

}  // namespace

uint64_t NowFileTime()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return FromFileTime(now);
}

bool FileTimeToSystemTime(uint64_t fileTime, SYSTEMTIME& out)
{
    const FILETIME time = ToFileTime(fileTime);
    return ::FileTimeToSystemTime(&time, &out) != FALSE;
}

uint64_t SystemTimeToFileTime(const SYSTEMTIME& time)
{
    FILETIME out{};
    if (time.wMilliseconds > 999 || !::SystemTimeToFileTime(&time, &out))
        return 0;
    return FromFileTime(out);
}

SYSTEMTIME UtcTimeNow()
{
    SYSTEMTIME out{};
    GetSystemTime(&out);
    return out;
}

SYSTEMTIME LocalTimeNow()
{
    SYSTEMTIME out{};
    GetLocalTime(&out);
    return out;
}

TimeZoneInfo CurrentTimeZone()
{
    TIME_ZONE_INFORMATION zone{};
    const DWORD which = GetTimeZoneInformation(&zone);
    TimeZoneInfo info{};
    info.biasMinutes = zone.Bias + zone.StandardBias;
    // A zone without daylight saving time has no transition date.
    info.hasDaylightRules = which != TIME_ZONE_ID_INVALID && zone.DaylightDate.wMonth != 0;
    info.daylightNow = which == TIME_ZONE_ID_DAYLIGHT;
    info.daylightBiasMinutes = info.hasDaylightRules ? zone.DaylightBias - zone.StandardBias : 0;
    return info;
}

uint32_t TickCountMs()
{
    return timeGetTime();
}

}  // namespace korvane::platform
