#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/Time.h"

using namespace korvane::platform;

namespace {

// Sets TZ for the duration of a test.
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

struct ZoneCase {
    const char* zone;
    int32_t biasMinutes;
    bool hasDaylightRules;  // in the current year, whatever the zone's history
};

class TimeZoneRules : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(TimeZoneRules, BiasAndDaylightRulesAreTheZonesCurrentOnes)
{
    SCOPED_TRACE(GetParam().zone);
    ScopedTimeZone zone(GetParam().zone);
    const TimeZoneInfo info = CurrentTimeZone();
    EXPECT_EQ(info.biasMinutes, GetParam().biasMinutes);
    EXPECT_EQ(info.hasDaylightRules, GetParam().hasDaylightRules);
    EXPECT_EQ(info.daylightBiasMinutes, GetParam().hasDaylightRules ? -60 : 0);
    EXPECT_TRUE(GetParam().hasDaylightRules || !info.daylightNow);
}

// POSIX rules need no zone files; the named zones come from tzdata.
INSTANTIATE_TEST_SUITE_P(Zones, TimeZoneRules,
                         ::testing::Values(ZoneCase{"IST-5:30", -330, false},
                                           ZoneCase{"EST5EDT,M3.2.0,M11.1.0", 300, true},
                                           ZoneCase{"Europe/Berlin", -60, true},
                                           ZoneCase{"Australia/Sydney", -600, true},
                                           ZoneCase{"Asia/Tokyo", -540, false},
                                           ZoneCase{"America/Sao_Paulo", 180, false},
                                           ZoneCase{"Europe/Istanbul", -180, false}));

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
