#include <gtest/gtest.h>

#include "platform/Time.h"
#include "runtime/Time.h"

using namespace korvane;

TEST(Time, ElapsedCountsMillisecondsSinceTheStampAndZeroForOneInTheFuture)
{
    CTime time;
    time.Set(NowFileTime() + 60ull * 10000000ull);
    EXPECT_EQ(time.ElapsedMs(), 0u);
    time.Set(NowFileTime() - 1500ull * platform::kFileTimeTicksPerMs);
    EXPECT_GE(time.ElapsedMs(), 1500u);
    EXPECT_LT(time.ElapsedMs(), 60000u);
    time.Update();
    EXPECT_LT(time.ElapsedMs(), 1000u);
}

TEST(Time, FileTimeAndCalendarTimeConvertBothWays)
{
    SYSTEMTIME epoch{1970, 1, 4, 1, 0, 0, 0, 0};
    EXPECT_EQ(platform::SystemTimeToFileTime(epoch), 116444736000000000ull);
    SYSTEMTIME back{};
    ASSERT_TRUE(platform::FileTimeToSystemTime(116444736000000000ull + 12345678ull * 10000ull + 9ull, back));
    EXPECT_EQ(back.wYear, 1970);
    EXPECT_EQ(back.wDay, 1);
    EXPECT_EQ(back.wHour, 3);
    EXPECT_EQ(back.wMinute, 25);
    EXPECT_EQ(back.wSecond, 45);
    EXPECT_EQ(back.wMilliseconds, 678);
    EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
    SYSTEMTIME invalid{2026, 13, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(platform::SystemTimeToFileTime(invalid), 0u);
}
