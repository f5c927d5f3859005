#include <gtest/gtest.h>

#include "platform/Time.h"
#include "streaming/TimeStampConverter.h"

namespace korvane {
namespace {

uint64_t g_now = 0;
uint64_t FakeClock() { return g_now; }

class TimeStampConverterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const SYSTEMTIME start = {2026, 1, 5, 2, 3, 4, 5, 678};
        g_now = platform::SystemTimeToFileTime(start);
        ASSERT_NE(g_now, 0u);
        m_start = g_now;
    }

    CTimeStampConverter converter{FakeClock};
    uint64_t m_start = 0;
};

TEST_F(TimeStampConverterTest, StartsAtTheWallClockAndReportsItAsCalendarTime)
{
    converter.Update(1000);
    EXPECT_EQ(converter.GetFrameTime(), m_start);
    SYSTEMTIME time{};
    converter.GetTime(time);
    EXPECT_EQ(std::make_tuple(time.wYear, time.wSecond, time.wMilliseconds), std::make_tuple(2026, 5, 678));

    converter.Reset();
    EXPECT_EQ(converter.GetFrameTime(), 0u);
    converter.GetTime(time);
    EXPECT_EQ(time.wYear, platform::UtcTimeNow().wYear);  // the real clock while nothing is known
}

// Frame times while the rate is learnt, after each step of the wall clock and the RTP time stamp.
TEST_F(TimeStampConverterTest, LearnsOnTheNominalNinetyKilohertzClockWithinItsBounds)
{
    struct Step {
        uint64_t wallClockAdvance;
        uint32_t timeStamp;
        uint64_t frameTime;  // after the start
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } scenarios[] = {
        {"the nominal clock", {{0, 1000, 0}, {0, 4600, 399600}, {0, 8200, 2 * 399600}, {0, 11800, 3 * 399600},
                               {0, 15400, 4 * 399600}, {0, 19000, 5 * 399600}}},
        {"behind the wall clock: moved to it", {{0, 1000, 0}, {500000, 1000 + 3600, 500000}}},
        {"a step of a second or more restarts at the wall clock",
         {{0, 1000, 0}, {0, 1000 + 90090, 90090 * 111}, {1000, 1000 + 90090 + 90091, 1000}}},
        {"repeated or wrapped: one millisecond on",
         {{0, 0xFFFFF000u, 0}, {0, 0xFFFFF000u, 10000}, {0, 0x100, 20000}, {50000, 0x100, 50000}}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        CTimeStampConverter learning(FakeClock);
        g_now = m_start;
        for (const Step& step : scenario.steps) {
            g_now += step.wallClockAdvance;
            learning.Update(step.timeStamp);
            EXPECT_EQ(learning.GetFrameTime(), m_start + step.frameTime) << step.timeStamp;
        }
    }
}

TEST_F(TimeStampConverterTest, AfterLearningFollowsTheMeasuredRateAndWorksOffItsLead)
{
    // The camera's clock runs slow: 3600 ticks take 30 ms of wall clock, so
    // the nominal rate builds up a lead of almost 10 ms per frame.
    uint32_t timeStamp = 1000;
    converter.Update(timeStamp);
    for (int frame = 1; frame <= 100; ++frame) {
        g_now += 300000;
        converter.Update(timeStamp += 3600);
    }
    ASSERT_EQ(converter.GetFrameTime() - g_now, 100u * 99600);

    // The lead shrinks by a tenth of each measured step.
    for (const uint64_t lead : {100u * 99600 - 30000, 100u * 99600 - 60000}) {
        g_now += 300000;
        converter.Update(timeStamp += 3600);
        EXPECT_EQ(converter.GetFrameTime() - g_now, lead);
    }
}

TEST(StatisticsHelper, KeepsARollingWindow)
{
    TStatisticsHelper<unsigned int> statistics(3);
    EXPECT_EQ(statistics.Mean(), 0.0);
    for (unsigned int value : {10u, 20u, 30u, 100u})
        statistics.Add(value);
    EXPECT_EQ(statistics.Count(), 3u);
    EXPECT_DOUBLE_EQ(statistics.Mean(), 50.0);
    statistics.Clear();
    EXPECT_EQ(statistics.Count(), 0u);
}

}  // namespace
}  // namespace korvane
