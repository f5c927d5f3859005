#include <gtest/gtest.h>

#include "clocksync/ClockRequest.h"

using namespace korvane;

namespace {

SYSTEMTIME Local()
{
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 3;
    time.wDay = 7;
    time.wHour = 9;
    time.wMinute = 5;
    time.wSecond = 2;
    return time;
}

platform::TimeZoneInfo Zone(int32_t bias, bool daylightRules)
{
    return platform::TimeZoneInfo{bias, daylightRules ? -60 : 0, daylightRules, false};
}

}  // namespace

TEST(ClockRequest, HalfHourZoneWithoutDaylightRules)
{
    EXPECT_EQ(BuildClockRequest(true, Zone(-330, false), Local()),
              "/admin/-set-?em=2&pt=8&bc00=5.50&bc30=0&bc31=0&bc01=0&bc20=20260307:090502");
}

TEST(ClockRequest, WesternZoneWithDaylightRules)
{
    EXPECT_EQ(BuildClockRequest(true, Zone(300, true), Local()),
              "/admin/-set-?em=2&pt=8&bc00=-5.00&bc30=1&bc31=0&bc01=0&bc20=20260307:090502");
}

TEST(ClockRequest, CameraWithoutDaylightKey)
{
    EXPECT_EQ(BuildClockRequest(false, Zone(-60, true), Local()),
              "/admin/-set-?em=2&pt=8&bc00=1.00&bc01=0&bc20=20260307:090502");
}

TEST(ClockRequest, UtcIsWrittenWithoutSign)
{
    EXPECT_EQ(BuildClockRequest(false, Zone(0, false), Local()),
              "/admin/-set-?em=2&pt=8&bc00=0.00&bc01=0&bc20=20260307:090502");
}
