#include <gtest/gtest.h>

#include <thread>

#include "runtime/Events.h"

using namespace korvane;

TEST(Events, AutoResetEventIsConsumedByOneWait)
{
    CEvent event(false);
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));
}

TEST(Events, ManualEventStaysSignalledUntilReset)
{
    CManualEvent event;
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_TRUE(event.Wait(10));
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(Events, WaitAnyReportsTheLowestSignalledAndConsumesOnlyIt)
{
    CEvent first(false);
    CEvent second(false);
    CEvent* events[] = {&first, &second};
    first.Set();
    second.Set();
    EXPECT_EQ(WaitAny(events, 2, 0), 0);
    EXPECT_EQ(WaitAny(events, 2, 0), 1);
    EXPECT_EQ(WaitAny(events, 2, 0), -1);
}

TEST(Events, WaitAnyRejectsEmptyAndNullLists)
{
    CEvent event(true);
    event.Set();
    CEvent* withNull[] = {&event, nullptr};
    EXPECT_EQ(WaitAny(nullptr, 1, 0), -1);
    CEvent* events[] = {&event};
    EXPECT_EQ(WaitAny(events, 0, 0), -1);
    EXPECT_EQ(WaitAny(withNull, 2, 0), -1);
}

TEST(Events, WaitAnyWakesWhenAnotherThreadSignals)
{
    CEvent stop(true);
    CEvent data(false);
    CEvent* events[] = {&stop, &data};
    std::thread setter([&] { data.Set(); });
    EXPECT_EQ(WaitAny(events, 2, 5000), 1);
    setter.join();
    EXPECT_FALSE(data.Wait(0));
}

TEST(Events, WaitTimesOutWithoutSignal)
{
    CEvent event(false);
    CEvent* events[] = {&event};
    EXPECT_EQ(WaitAny(events, 1, 20), -1);
    EXPECT_FALSE(event.Wait(20));
}

TEST(Events, PingPongBetweenThreadsLosesNoWakeUp)
{
    CEvent ping(false);
    CEvent pong(false);
    constexpr int kRounds = 2000;
    int answered = 0;
    std::thread responder([&] {
        for (int i = 0; i < kRounds; ++i)
            if (ping.Wait(5000)) {
                ++answered;
                pong.Set();
            }
    });
    int acknowledged = 0;
    for (int i = 0; i < kRounds; ++i) {
        ping.Set();
        if (pong.Wait(5000))
            ++acknowledged;
    }
    responder.join();
    EXPECT_EQ(answered, kRounds);
    EXPECT_EQ(acknowledged, kRounds);
}
