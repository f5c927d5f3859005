#include <gtest/gtest.h>

#include "platform/Time.h"
#include "streaming/TimeStampConverter.h"

namespace korvane {
namespace {

uint64_t g_now = 0;
uint64_t FakeClock()
{
    return g_now;
}

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
    EXPECT_EQ(time.wYear, 2026);
    EXPECT_EQ(time.wSecond, 5);
    EXPECT_EQ(time.wMilliseconds, 678);

    converter.Reset();
    EXPECT_EQ(converter.GetFrameTime(), 0u);
    converter.GetTime(time);
    EXPECT_EQ(time.wYear, platform::UtcTimeNow().wYear);  // the real clock while nothing is known
}

TEST_F(TimeStampConverterTest, LearnsOnTheNominalNinetyKilohertzClock)
{
    converter.Update(1000);
    for (uint64_t frame = 1; frame <= 5; ++frame) {
        converter.Update(static_cast<uint32_t>(1000 + frame * 3600));
        EXPECT_EQ(converter.GetFrameTime(), m_start + frame * 399600);
    }
}

TEST_F(TimeStampConverterTest, AFrameTimeBehindTheWallClockIsMovedToIt)
{
    converter.Update(1000);
    g_now += 500000;
    converter.Update(1000 + 3600);
    EXPECT_EQ(converter.GetFrameTime(), g_now);
}

TEST_F(TimeStampConverterTest, AStepOfOneSecondOrMoreRestartsAtTheWallClock)
{
    converter.Update(1000);
    converter.Update(1000 + 90090);  // just under a second
    EXPECT_EQ(converter.GetFrameTime(), m_start + 90090 * 111);

    g_now += 1000;
    converter.Update(1000 + 90090 + 90091);
    EXPECT_EQ(converter.GetFrameTime(), g_now);
}

TEST_F(TimeStampConverterTest, RepeatedOrWrappedTimeStampsAdvanceOneMillisecond)
{
    converter.Update(0xFFFFF000u);
    converter.Update(0xFFFFF000u);
    EXPECT_EQ(converter.GetFrameTime(), m_start + 10000);
    converter.Update(0x100);  // wrapped
    EXPECT_EQ(converter.GetFrameTime(), m_start + 20000);

    g_now += 50000;  // the wall clock is later than one more millisecond
    converter.Update(0x100);
    EXPECT_EQ(converter.GetFrameTime(), g_now);
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
    g_now += 300000;
    converter.Update(timeStamp += 3600);
    EXPECT_EQ(converter.GetFrameTime() - g_now, 100u * 99600 - 30000);
    g_now += 300000;
    converter.Update(timeStamp += 3600);
    EXPECT_EQ(converter.GetFrameTime() - g_now, 100u * 99600 - 60000);
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
