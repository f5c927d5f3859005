#include "platform/Time.h"

#include <time.h>

namespace korvane::platform {

namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

SYSTEMTIME FromTm(const struct tm& tm, long nanoseconds)
{
    SYSTEMTIME out{};
    out.wYear = static_cast<uint16_t>(tm.tm_year + 1900);
    out.wMonth = static_cast<uint16_t>(tm.tm_mon + 1);
    out.wDayOfWeek = static_cast<uint16_t>(tm.tm_wday);
    out.wDay = static_cast<uint16_t>(tm.tm_mday);
    out.wHour = static_cast<uint16_t>(tm.tm_hour);
    out.wMinute = static_cast<uint16_t>(tm.tm_min);
    out.wSecond = static_cast<uint16_t>(tm.tm_sec);
    out.wMilliseconds = static_cast<uint16_t>(nanoseconds / 1000000);
    return out;
}

// Whether local time changes its offset from UTC in the current year, sampled daily. glibc's
// `daylight` cannot tell: any daylight saving time in the zone's history sets it.
bool OffsetChangesThisYear(const struct tm& localNow)
{
    constexpr time_t kDay = 24 * 60 * 60;
    const int year = localNow.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    struct tm noonOfNewYear {};
    noonOfNewYear.tm_year = localNow.tm_year;
    noonOfNewYear.tm_mday = 1;
    noonOfNewYear.tm_hour = 12;
    const time_t first = timegm(&noonOfNewYear);
    for (time_t day = first; day < first + (leap ? 366 : 365) * kDay; day += kDay) {
        struct tm local {};
        if (localtime_r(&day, &local) != nullptr && local.tm_gmtoff != localNow.tm_gmtoff)
            return true;
    }
    return false;
}

}  // namespace

uint64_t NowFileTime()
{
    struct timespec now {};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0)
        return 0;
    return static_cast<uint64_t>((now.tv_sec + kSecondsFrom1601To1970) * kTicksPerSecond + now.tv_nsec / 100);
}

bool FileTimeToSystemTime(uint64_t fileTime, SYSTEMTIME& out)
{
    const int64_t seconds = static_cast<int64_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970;
    const long nanoseconds = static_cast<long>(fileTime % kTicksPerSecond) * 100;
    const time_t unixSeconds = static_cast<time_t>(seconds);
    struct tm tm {};
    if (gmtime_r(&unixSeconds, &tm) == nullptr)
        return false;
    out = FromTm(tm, nanoseconds);
    return true;
}

uint64_t SystemTimeToFileTime(const SYSTEMTIME& time)
{
    if (time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 || time.wDay > 31 || time.wHour > 23 ||
        time.wMinute > 59 || time.wSecond > 59 || time.wMilliseconds > 999 || time.wYear < 1601)
        return 0;
    struct tm tm {};
    tm.tm_year = time.wYear - 1900;
    tm.tm_mon = time.wMonth - 1;
    tm.tm_mday = time.wDay;
    tm.tm_hour = time.wHour;
    tm.tm_min = time.wMinute;
    tm.tm_sec = time.wSecond;
    const int64_t seconds = static_cast<int64_t>(timegm(&tm));
    return static_cast<uint64_t>((seconds + kSecondsFrom1601To1970) * kTicksPerSecond +
                                 static_cast<int64_t>(time.wMilliseconds) * 10000);
}

SYSTEMTIME UtcTimeNow()
{
    SYSTEMTIME out{};
    FileTimeToSystemTime(NowFileTime(), out);
    return out;
}

SYSTEMTIME LocalTimeNow()
{
    tzset();  // localtime_r need not notice a changed TZ by itself
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm tm {};
    localtime_r(&now.tv_sec, &tm);
    return FromTm(tm, now.tv_nsec);
}

TimeZoneInfo CurrentTimeZone()
{
    tzset();
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    TimeZoneInfo info{};
    info.biasMinutes = static_cast<int32_t>(timezone / 60);
    info.hasDaylightRules = OffsetChangesThisYear(local);
    info.daylightNow = local.tm_isdst > 0;
    info.daylightBiasMinutes = 0;
    if (info.hasDaylightRules) {
        // tm_gmtoff is east of UTC and includes daylight time when in force.
        if (info.daylightNow)
            info.daylightBiasMinutes = static_cast<int32_t>(-local.tm_gmtoff / 60) - info.biasMinutes;
        else
            info.daylightBiasMinutes = -60;
    }
    return info;
}

uint32_t TickCountMs()
{
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000);
}

}  // namespace korvane::platform
