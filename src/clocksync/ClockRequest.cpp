#include "clocksync/ClockRequest.h"

#include "runtime/StringFormat.h"

namespace korvane {

std::string BuildClockRequest(bool withDaylightKey, const platform::TimeZoneInfo& zone, const SYSTEMTIME& local)
{
    // Adding 0.0 turns -0.0 (UTC) into 0.0, so it is written "0.00".
    const double offsetHours = -(zone.biasMinutes / 60.0) + 0.0;
    const std::string dateTime = FormatString("%.4u%.2u%.2u:%.2u%.2u%.2u", local.wYear, local.wMonth, local.wDay,
                                              local.wHour, local.wMinute, local.wSecond);
    if (withDaylightKey)
        return FormatString("/admin/-set-?em=2&pt=8&bc00=%.2f&bc30=%d&bc31=0&bc01=0&bc20=%s", offsetHours,
                            zone.hasDaylightRules ? 1 : 0, dateTime.c_str());
    return FormatString("/admin/-set-?em=2&pt=8&bc00=%.2f&bc01=0&bc20=%s", offsetHours, dateTime.c_str());
}

}  // namespace korvane
