#include <gtest/gtest.h>

#include <thread>

#include "runtime/Events.h"

using namespace korvane;

TEST(Events, AutoResetIsConsumedByOneWaitAndManualStaysSignalledUntilReset)
{
    CEvent event(false);
    EXPECT_FALSE(event.Wait(0));
    EXPECT_FALSE(event.Wait(20));  // times out without a signal
    event.Set();
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));

    CManualEvent manual;
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(10));
    manual.Reset();
    EXPECT_FALSE(manual.Wait(0));
}

TEST(Events, WaitAnyReportsTheLowestSignalledAndConsumesOnlyIt)
{
    CEvent first(false);
    CEvent second(false);
    CEvent* events[] = {&first, &second};
    EXPECT_EQ(WaitAny(events, 2, 20), -1);  // times out without a signal
    first.Set();
    second.Set();
    EXPECT_EQ(WaitAny(events, 2, 0), 0);
    EXPECT_EQ(WaitAny(events, 2, 0), 1);
    EXPECT_EQ(WaitAny(events, 2, 0), -1);

    // Empty and null lists are refused.
    first.Set();
    CEvent* withNull[] = {&first, nullptr};
    EXPECT_EQ(WaitAny(nullptr, 1, 0), -1);
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
