#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Time.h"

using namespace korvane::platform;

namespace {

// Sets TZ for the duration of a test (POSIX rules, so no zone files are needed).
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_hadOld = old != nullptr;
        if (m_hadOld)
            m_old = old;
        setenv("TZ", zone, 1);
    }
    ~ScopedTimeZone()
    {
        if (m_hadOld)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
    }

private:
    bool m_hadOld = false;
    std::string m_old;
};

}  // namespace

TEST(TimeZone, HalfHourZoneWithoutDaylightRules)
{
    ScopedTimeZone zone("IST-5:30");
    const TimeZoneInfo info = CurrentTimeZone();
    EXPECT_EQ(info.biasMinutes, -330);
    EXPECT_FALSE(info.hasDaylightRules);
    EXPECT_FALSE(info.daylightNow);
}

TEST(TimeZone, WesternZoneWithDaylightRules)
{
    ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    const TimeZoneInfo info = CurrentTimeZone();
    EXPECT_EQ(info.biasMinutes, 300);
    EXPECT_TRUE(info.hasDaylightRules);
    EXPECT_EQ(info.daylightBiasMinutes, -60);
}

TEST(TimeZone, LocalTimeFollowsTheZone)
{
    ScopedTimeZone zone("UTC0");
    const SYSTEMTIME utc = UtcTimeNow();
    const SYSTEMTIME local = LocalTimeNow();
    const uint64_t utcStamp = SystemTimeToFileTime(utc);
    const uint64_t localStamp = SystemTimeToFileTime(local);
    ASSERT_NE(utcStamp, 0u);
    EXPECT_LT(localStamp - utcStamp, 10000000u);  // within one second

    ScopedTimeZone india("IST-5:30");
    const uint64_t indiaStamp = SystemTimeToFileTime(LocalTimeNow());
    const uint64_t offset = indiaStamp - SystemTimeToFileTime(UtcTimeNow());
    EXPECT_NEAR(static_cast<double>(offset) / 10000000.0, 5.5 * 3600, 2.0);
}
